// The rules of the web page API that need no browser calls: which origins
// a list names, what a page's request must look like, where an upload may
// go, how fields become the host's "PostParams", and what a picture's size
// is. Shared by the service worker, the options page and the popup.
"use strict";

(function (global) {
  const COMMANDS = ["capture", "upload", "screen", "page"];
  const ERROR_CODES = ["not-allowed", "busy", "canceled", "bad-request", "host-missing",
                       "host-failed", "upload-failed", "unknown-capture"];
  const MAX_ID = 64;
  const MAX_URL = 2048;
  const MAX_NAME = 100;
  const MAX_FIELDS = 50;
  const MAX_VALUE = 65536;
  const MAX_PARAMS = 262144;

  // The origin of an http or https address ("https://help.example.com"),
  // or "" for anything else (other schemes, text that is no address).
  function originOf(address) {
    if (typeof address !== "string" || !address) return "";
    let url;
    try {
      url = new URL(address);
    } catch (e) {
      return "";
    }
    return url.protocol === "http:" || url.protocol === "https:" ? url.origin : "";
  }

  // The origins a list names, each once, in order; entries that are not
  // http or https addresses are left out.
  function originsOf(list) {
    const found = [];
    for (const entry of Array.isArray(list) ? list : []) {
      const origin = originOf(typeof entry === "string" ? entry.trim() : "");
      if (origin && !found.includes(origin)) found.push(origin);
    }
    return found;
  }

  // What `origin` may do, from the user's sites ({origin: {silent}}) and
  // the administrator's lists. A silent switch counts only for a site that
  // is allowed.
  function rightsOf(origin, userSites, managed) {
    const user = (userSites && Object.prototype.hasOwnProperty.call(userSites, origin))
      ? userSites[origin] : null;
    const managedAllowed = originsOf(managed && managed.AllowedSites).includes(origin);
    const managedSilent = originsOf(managed && managed.SilentCaptureSites).includes(origin);
    const allowed = !!origin && (managedAllowed || !!user);
    return {
      allowed,
      silent: allowed && (managedSilent || !!(user && user.silent === true)),
      managed: managedAllowed,
      managedSilent,
    };
  }

  // Every allowed origin: the administrator's first, then the user's.
  function allowedOrigins(userSites, managed) {
    const all = originsOf(managed && managed.AllowedSites);
    for (const origin of originsOf(Object.keys(userSites || {}))) {
      if (!all.includes(origin)) all.push(origin);
    }
    return all;
  }

  // Match patterns for the content script: one per origin. A pattern
  // without a port matches every port of its host; the service worker
  // checks the exact origin of each request.
  function matchPatterns(origins) {
    return origins.map((origin) => origin + "/*");
  }

  function badRequest(id, message) {
    return { id, error: "bad-request", message };
  }

  function isPlainObject(value) {
    return !!value && typeof value === "object" && !Array.isArray(value);
  }

  function hasControl(text) {
    return /[\u0000-\u001f\u007f]/.test(text);
  }

  // A form field name the host can send as it is: printable ASCII (the
  // host's code page may not hold other characters), without the quote
  // that ends it in the part header, nor "&" and "=", which split the
  // "PostParams" text.
  function fieldNameProblem(name) {
    if (typeof name !== "string" || name.length < 1 || name.length > MAX_NAME) {
      return "a field name must be text of 1 to " + MAX_NAME + " characters";
    }
    if (!/^[\x20-\x7e]+$/.test(name) || /["&=\\]/.test(name)) {
      return "a field name may hold printable ASCII characters except \" & = \\";
    }
    return "";
  }

  // {"name": value} as "PostParams": items joined by "&". The host splits
  // at every "&" and decodes nothing, so a value holding "&" (or a zero
  // character, where the host's text ends) cannot be sent.
  // Returns {params} or {problem}.
  function encodeFields(fields) {
    if (fields === undefined) return { params: "" };
    if (!isPlainObject(fields)) return { problem: "fields must be an object" };
    const names = Object.keys(fields);
    if (names.length > MAX_FIELDS) return { problem: "at most " + MAX_FIELDS + " fields" };
    const items = [];
    for (const name of names) {
      const nameProblem = fieldNameProblem(name);
      if (nameProblem) return { problem: nameProblem };
      let value = fields[name];
      if (typeof value === "number" && Number.isFinite(value)) value = String(value);
      if (typeof value === "boolean") value = String(value);
      if (typeof value !== "string") return { problem: "field " + name + " is not text" };
      if (value.length > MAX_VALUE) return { problem: "field " + name + " is too long" };
      if (/[&\u0000]/.test(value)) {
        return { problem: "field " + name + " holds & or a zero character, which cannot be sent" };
      }
      items.push(name + "=" + value);
    }
    const params = items.join("&");
    if (params.length > MAX_PARAMS) return { problem: "the fields are too long" };
    return { params };
  }

  // The checked form of a page's message:
  //   {ignore: true}                     no usable id: no answer at all
  //   {id, error, message}               answered with that error
  //   {id, command, params}              params checked and defaulted
  // `message` has already been told apart by its source.
  function checkRequest(message) {
    if (!isPlainObject(message)) return { ignore: true };
    const id = message.id;
    if (typeof id !== "string" || id.length < 1 || id.length > MAX_ID) return { ignore: true };
    const command = message.command;
    if (typeof command !== "string" || !COMMANDS.includes(command)) {
      return badRequest(id, "unknown command");
    }
    const has = (key) => message[key] !== undefined && message[key] !== null;
    const params = {};
    for (const key of ["prompt", "autoMinimize"]) {
      if (!has(key)) continue;
      if (typeof message[key] !== "boolean") return badRequest(id, key + " must be true or false");
    }
    if (command === "capture" || command === "screen" || command === "page") {
      if (has("type") && message.type !== "png" && message.type !== "jpeg") {
        return badRequest(id, "type must be \"png\" or \"jpeg\"");
      }
      params.type = has("type") ? message.type : "png";
      if (command === "capture") {
        params.prompt = message.prompt === true;
        params.autoMinimize = message.autoMinimize === true;
      }
    } else if (command === "upload") {
      const captureId = message.captureId;
      if (typeof captureId !== "string" || captureId.length < 1 || captureId.length > MAX_ID) {
        return badRequest(id, "captureId must be the text a capture gave");
      }
      const url = message.url;
      if (typeof url !== "string" || url.length < 1 || url.length > MAX_URL || hasControl(url)) {
        return badRequest(id, "url must be an address of 1 to " + MAX_URL + " characters");
      }
      let fileField = "UploadFile";
      if (has("fileField")) {
        const problem = fieldNameProblem(message.fileField);
        if (problem) return badRequest(id, "fileField: " + problem);
        fileField = message.fileField;
      }
      const fields = encodeFields(has("fields") ? message.fields : undefined);
      if (fields.problem) return badRequest(id, fields.problem);
      Object.assign(params, { captureId, url, fileField, postParams: fields.params });
    }
    return { id, command, params };
  }

  // Where an upload of a page at `pageUrl` (origin `pageOrigin`) may go:
  // `url` resolved against the page's address as a browser does. Returns
  //   {address}            the absolute address to post to
  //   {error, message}     "bad-request" (no http/https address, or one
  //                        with a user name) or "not-allowed" (another origin)
  // The fragment is dropped (it is never sent), and an "@" after the host
  // is written "%40": the host's address parser would otherwise take the
  // text before it for a user name and post to what follows.
  function uploadAddress(url, pageUrl, pageOrigin) {
    let target;
    try {
      target = new URL(url, pageUrl);
    } catch (e) {
      return { error: "bad-request", message: "url is not an address" };
    }
    if (target.protocol !== "http:" && target.protocol !== "https:") {
      return { error: "bad-request", message: "url must be an http or https address" };
    }
    if (target.username || target.password) {
      return { error: "bad-request", message: "url must not carry a user name or password" };
    }
    if (target.origin !== pageOrigin) {
      return { error: "not-allowed", message: "a page may upload only to its own origin" };
    }
    target.hash = "";
    const rest = (target.pathname + target.search).replace(/@/g, "%40");
    return { address: target.origin + rest };
  }

  // Width and height of a PNG or JPEG file, or null.
  function imageSize(bytes) {
    if (!bytes || bytes.length < 24) return null;
    const u32 = (at) => ((bytes[at] << 24) >>> 0) + (bytes[at + 1] << 16) +
                        (bytes[at + 2] << 8) + bytes[at + 3];
    if (bytes[0] === 0x89 && bytes[1] === 0x50 && bytes[2] === 0x4e && bytes[3] === 0x47) {
      return { width: u32(16), height: u32(20) };
    }
    if (bytes[0] !== 0xff || bytes[1] !== 0xd8) return null;
    let at = 2;
    while (at + 9 < bytes.length) {
      if (bytes[at] !== 0xff) return null;
      const marker = bytes[at + 1];
      if (marker === 0xff) {
        at += 1;
        continue;
      }
      const length = (bytes[at + 2] << 8) + bytes[at + 3];
      // Start of frame: every SOFn except DHT (C4), JPG (C8) and DAC (CC).
      if (marker >= 0xc0 && marker <= 0xcf && ![0xc4, 0xc8, 0xcc].includes(marker)) {
        return { width: (bytes[at + 7] << 8) + bytes[at + 8],
                 height: (bytes[at + 5] << 8) + bytes[at + 6] };
      }
      at += 2 + length;
    }
    return null;
  }

  // Base64 text of bytes, built a block at a time (a whole large picture
  // would not fit one call's argument list).
  function bytesToBase64(bytes) {
    const BLOCK = 3 * 4096;
    const parts = [];
    for (let at = 0; at < bytes.length; at += BLOCK) {
      parts.push(btoa(String.fromCharCode.apply(null, bytes.subarray(at, at + BLOCK))));
    }
    return parts.join("");
  }

  // A random id no page can guess: 32 hex digits.
  function newCaptureId() {
    const bytes = crypto.getRandomValues(new Uint8Array(16));
    return Array.from(bytes, (b) => b.toString(16).padStart(2, "0")).join("");
  }

  global.KvPageRules = {
    COMMANDS, ERROR_CODES, originOf, originsOf, rightsOf, allowedOrigins, matchPatterns,
    fieldNameProblem, encodeFields, checkRequest, uploadAddress, imageSize, bytesToBase64,
    newCaptureId,
  };
})(typeof self !== "undefined" ? self : globalThis);
