// The conversation with the capture host: the requests the extension sends
// and what each event the host answers means. Plain functions without
// browser calls, shared by the service worker and the extension's pages.
"use strict";

(function (global) {
  // Name of the native-messaging host, as registered with the browser.
  const HOST_NAME = "com.kvcapture.host";

  // Image formats the host writes, by the extension of the file name.
  const IMAGE_TYPES = {
    png: "image/png",
    jpg: "image/jpeg",
    jpeg: "image/jpeg",
    bmp: "image/bmp",
    gif: "image/gif",
  };

  // The host speaks "en", "cn" and "tw". Every locale of the extension
  // carries the code of its own language, so the host always shows the same
  // language as the extension's own texts.
  function hostLanguage(i18nMessage) {
    const code = i18nMessage || "";
    return ["en", "cn", "tw"].includes(code) ? code : "en";
  }

  function fileNameFor(format) {
    return format === "jpg" ? "KvCapture.jpg" : "KvCapture.png";
  }

  // Last component of a Windows (or Unix) path.
  function baseName(path) {
    const parts = String(path || "").split(/[\\/]/);
    return parts[parts.length - 1];
  }

  function imageType(path) {
    const name = baseName(path);
    const dot = name.lastIndexOf(".");
    const ext = dot < 0 ? "" : name.slice(dot + 1).toLowerCase();
    return IMAGE_TYPES[ext] || "image/png";
  }

  // Extra upload fields, one "name=value" per line, as the host's
  // "PostParams" text: items joined by "&". The host splits at every "&"
  // and does no percent-decoding, so a name or value holding "&" cannot be
  // sent; a line without a name cannot either. Blank lines are skipped.
  // Returns {params} or {error, line} (line counted from 1).
  function encodePostParams(text) {
    const items = [];
    const lines = String(text || "").split(/\r?\n/);
    for (let i = 0; i < lines.length; i++) {
      const line = lines[i].trim();
      if (!line) continue;
      const eq = line.indexOf("=");
      if (eq < 1) return { error: "badFieldLine", line: i + 1 };
      if (line.includes("&")) return { error: "ampersandInField", line: i + 1 };
      items.push(line);
    }
    return { params: items.join("&") };
  }

  // Only absolute web addresses: the extension has no page address that a
  // relative one could be resolved against.
  function isUploadAddress(url) {
    return /^https?:\/\/[^\s/]+/i.test(String(url || "").trim());
  }

  // The request for a capture command.
  function captureRequest(command, options, language, extra) {
    const request = {
      Command: command,
      UILanguage: language,
      FileName: fileNameFor(options && options.imageFormat),
    };
    if (command === "Capture") request.AutoMinimize = true;
    return Object.assign(request, extra || {});
  }

  // The upload request for the last capture, or {error}.
  function uploadRequest(options, lastCapture, language) {
    if (!lastCapture || !lastCapture.path) return { error: "noCapture" };
    if (!isUploadAddress(options && options.uploadUrl)) return { error: "noUploadAddress" };
    const fields = encodePostParams(options.extraFields);
    if (fields.error) return { error: "badOptions" };
    return {
      request: {
        Command: "Upload",
        UILanguage: language,
        PostUrl: options.uploadUrl.trim(),
        FileField: (options.fileField || "").trim() || "UploadFile",
        FileName: baseName(lastCapture.path),
        PostParams: fields.params,
      },
    };
  }

  // The request for the piece of the capture file `path` that starts at
  // byte `offset`.
  function readCaptureRequest(path, offset) {
    return { Command: "ReadCapture", FileName: baseName(path), Offset: offset };
  }

  // Bytes of Base64 text (line breaks allowed); null when it is not Base64.
  function base64ToBytes(text) {
    let binary;
    try {
      binary = atob(String(text).replace(/\s+/g, ""));
    } catch (e) {
      return null;
    }
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  // One piece from "OnCaptureData": {offset, length, total, bytes}, or null
  // for any other answer and for a piece whose bytes do not match its
  // announced length.
  function interpretCaptureData(event) {
    if (!event || event.EventName !== "OnCaptureData" || typeof event.arg1 !== "string") {
      return null;
    }
    const numbers = /^(\d+) (\d+) (\d+)$/.exec(event.arg1);
    if (!numbers) return null;
    const [offset, length, total] = numbers.slice(1).map(Number);
    const bytes = base64ToBytes(typeof event.arg2 === "string" ? event.arg2 : "");
    if (!bytes || bytes.length !== length || offset + length > total) return null;
    return { offset, length, total, bytes };
  }

  // Reads the capture file `path` piece by piece; `call` sends one request
  // to the host and resolves to {event} or {error}. Resolves to
  //   {kind: "whole", bytes, pieces} : the file, all of it
  //   {kind: "changed"}              : its size changed between pieces
  //                                    (another capture replaced it)
  //   {kind: "failed"}               : any other answer
  async function readCapturePieces(path, call) {
    const parts = [];
    let offset = 0;
    let total = -1;
    do {
      const answer = await call(readCaptureRequest(path, offset));
      const piece = interpretCaptureData(answer && answer.event);
      if (!piece || piece.offset !== offset) return { kind: "failed" };
      if (total >= 0 && piece.total !== total) return { kind: "changed" };
      total = piece.total;
      // An empty piece before the end: the file became shorter while read
      // (or it is empty, which no capture is).
      if (piece.length === 0) return { kind: "failed" };
      parts.push(piece.bytes);
      offset += piece.length;
    } while (offset < total);
    const bytes = new Uint8Array(total);
    let at = 0;
    for (const part of parts) {
      bytes.set(part, at);
      at += part.length;
    }
    return { kind: "whole", bytes, pieces: parts.length };
  }

  // readCapturePieces, started over once when the file changed under it.
  async function readWholeCapture(path, call) {
    const first = await readCapturePieces(path, call);
    return first.kind === "changed" ? readCapturePieces(path, call) : first;
  }

  // What an answer of the host means. `event` is the parsed message, or
  // undefined when the host ended without one.
  //   kind "captured"  : picture in `image` (Base64) of type `type`, file `path`
  //   kind "tooLarge"  : the file `path` exists but its picture was left out
  //                      of the message to keep it within the browser's limit
  //                      (the service worker then reads it with ReadCapture)
  //   kind "noPicture" : the capture reported no readable file
  //   kind "canceled", "uploaded" (answer, truncated), "uploadFailed",
  //   kind "refused"   : the host could not carry out the request ("OnExit")
  //   kind "uploadRefused": the same for an upload (`command` "Upload"): no
  //                      capture file yet, or an address the host refused
  //   kind "noAnswer"  : no event (host busy with another request, or gone)
  //   kind "unknown"   : an event this extension does not know
  function interpretEvent(event, command) {
    if (!event || typeof event !== "object" || typeof event.EventName !== "string") {
      return { kind: "noAnswer" };
    }
    const arg1 = typeof event.arg1 === "string" ? event.arg1 : "";
    const hasArg2 = typeof event.arg2 === "string";
    const arg2 = hasArg2 ? event.arg2 : "";
    switch (event.EventName) {
      case "OnCaptureCompleted":
        if (!arg1) return { kind: "noPicture" };
        // The host keeps "arg2" present and empty when the picture would
        // have made the message too long; a missing "arg2" means the file
        // could not be read.
        // The host breaks its Base64 text into lines; a data: URL wants it
        // in one piece.
        if (arg2) {
          return { kind: "captured", path: arg1, image: arg2.replace(/\s+/g, ""),
                   type: imageType(arg1) };
        }
        return { kind: hasArg2 ? "tooLarge" : "noPicture", path: arg1 };
      case "OnCaptureCanceled":
        return { kind: "canceled" };
      case "OnUploadCompleted":
        return { kind: "uploaded", answer: arg1, truncated: arg2 === "truncated" };
      case "OnUploadFailed":
        return { kind: "uploadFailed" };
      case "OnExit":
        return { kind: command === "Upload" ? "uploadRefused" : "refused" };
      default:
        return { kind: "unknown", name: event.EventName };
    }
  }

  global.KvProtocol = {
    HOST_NAME, hostLanguage, fileNameFor, baseName, imageType, encodePostParams,
    isUploadAddress, captureRequest, uploadRequest, interpretEvent, readCaptureRequest,
    base64ToBytes, interpretCaptureData, readCapturePieces, readWholeCapture,
  };
})(typeof self !== "undefined" ? self : globalThis);
