// The web page API in the service worker: requests of allowed sites, passed
// on by the page bridge (content/page_bridge.js) over a port each, carried
// out with the capture host and answered on the same port. Each site sees
// only its own captures: captureId -> {origin, fileName, type}, kept in
// session storage so that a restarted worker still knows them.
"use strict";

(function (global) {
  const P = global.KvProtocol;
  const R = global.KvPageRules;
  const Bridge = global.KvHostBridge;
  const Consent = global.KvConsent;

  const PORT_NAME = "kvcapture-page";
  // Base64 text goes to the page bridge in pieces of this many characters:
  // a message between the worker and a content script has a size limit.
  const PIECE_CHARS = 4 << 20;
  const MIME = { png: "image/png", jpeg: "image/jpeg" };

  function language() {
    return P.hostLanguage(chrome.i18n.getMessage("hostLanguage"));
  }

  function fail(error, message) {
    return { ok: false, error, message };
  }

  // ------------------------------------------------------------ captures

  let captures = null;  // {captureId: {origin, fileName, type}}

  async function knownCaptures() {
    if (!captures) {
      const { pageCaptures } = await chrome.storage.session.get("pageCaptures");
      captures = Object.assign({}, pageCaptures || {}, captures || {});
    }
    return captures;
  }

  async function remember(captureId, entry) {
    const all = await knownCaptures();
    all[captureId] = entry;
    await chrome.storage.session.set({ pageCaptures: all });
  }

  // ------------------------------------------------------------ commands

  // The host's answer to a capture request as the page's result: the
  // picture whole (read in pieces when it did not fit the event).
  async function capturePicture(request, captureId, origin, type) {
    const answer = await Bridge.callHost(request);
    if (answer.error) {
      const kind = Bridge.classifyError(answer.error);
      if (kind === "hostMissing") return fail("host-missing", "the capture program is not installed");
      return fail("host-failed", kind === "noAnswer"
        ? "the capture program ended without an answer; another capture may be running"
        : "the answer of the capture program could not be read");
    }
    const outcome = P.interpretEvent(answer.event, request.Command);
    if (outcome.kind === "canceled") return fail("canceled", "the user canceled the capture");
    let bytes = null;
    if (outcome.kind === "captured") {
      bytes = P.base64ToBytes(outcome.image);
    } else if (outcome.kind === "tooLarge") {
      const read = await P.readWholeCapture(outcome.path, Bridge.callHost);
      if (read.kind === "whole") bytes = read.bytes;
    }
    const size = bytes && R.imageSize(bytes);
    if (!size) return fail("host-failed", "the capture program gave no readable picture");
    await remember(captureId, { origin, fileName: request.FileName, type });
    return {
      ok: true, captureId, width: size.width, height: size.height, type: MIME[type],
      base64: outcome.kind === "captured" ? outcome.image : R.bytesToBase64(bytes),
    };
  }

  function captureRequest(command, params, captureId) {
    const request = {
      Command: command,
      UILanguage: language(),
      FileName: "KvPage-" + captureId + (params.type === "jpeg" ? ".jpg" : ".png"),
    };
    if (command !== "CaptureScreen") request.AutoMinimize = params.autoMinimize;
    return request;
  }

  async function upload(params, sender) {
    const all = await knownCaptures();
    const entry = Object.prototype.hasOwnProperty.call(all, params.captureId)
      ? all[params.captureId] : null;
    if (!entry || entry.origin !== sender.origin) {
      return fail("unknown-capture", "no capture of this site has that captureId");
    }
    const answer = await Bridge.callHost({
      Command: "Upload",
      UILanguage: language(),
      PostUrl: params.address,
      PageUrl: sender.url.split("#")[0],
      FileField: params.fileField,
      FileName: entry.fileName,
      PostParams: params.postParams,
    });
    if (answer.error) {
      return Bridge.classifyError(answer.error) === "hostMissing"
        ? fail("host-missing", "the capture program is not installed")
        : fail("upload-failed", "the capture program ended without an answer");
    }
    const outcome = P.interpretEvent(answer.event, "Upload");
    if (outcome.kind === "uploaded") {
      return { ok: true, status: outcome.truncated ? "truncated" : "answered",
               answer: outcome.answer };
    }
    if (outcome.kind === "uploadRefused") {
      return fail("upload-failed", "the capture file is gone or the address was refused");
    }
    return fail("upload-failed", "the server could not be reached or sent no answer");
  }

  // The whole page of the asking tab (whole_page.js), as a capture of this
  // site. Only a tab's top document may ask: a frame of another site would
  // otherwise get the picture of the page around it.
  async function wholePage(params, sender) {
    if (sender.frameId !== 0 || !sender.tab) {
      return fail("not-allowed", "only the top page of a tab may ask for the whole page");
    }
    const captureId = R.newCaptureId();
    const fileName = "KvPage-" + captureId + (params.type === "jpeg" ? ".jpg" : ".png");
    let page;
    try {
      page = await global.KvWholePage.capture(sender.tab.id, {
        fileName, type: MIME[params.type], call: Bridge.callHost });
    } catch (e) {
      const kind = e && e.kind;
      if (kind === "canceled" || kind === "tabClosed" || kind === "tabChanged") {
        return fail("canceled", "the whole-page capture was canceled");
      }
      if (kind === "busy") return fail("busy", "another capture or upload is under way");
      if (kind === "host" && e.answer && e.answer.error &&
          Bridge.classifyError(e.answer.error) === "hostMissing") {
        return fail("host-missing", "the capture program is not installed");
      }
      return fail("host-failed", "the page could not be captured" +
                  (e && e.detail ? ": " + e.detail : ""));
    }
    await remember(captureId, { origin: sender.origin, fileName, type: params.type });
    return { ok: true, captureId, width: page.width, height: page.height, type: page.type,
             truncated: !!page.truncated, base64: R.bytesToBase64(page.bytes) };
  }


  async function carryOut(checked, sender, rights) {
    const { command, params } = checked;
    if (command === "upload") return upload(params, sender);
    if (command === "page") return wholePage(params, sender);
    if (command === "screen" && !rights.silent) {
      return fail("not-allowed", "silent captures are not switched on for this site");
    }
    const captureId = R.newCaptureId();
    const hostCommand = command === "screen" ? "CaptureScreen"
      : (params.prompt ? "StartCapture" : "Capture");
    return capturePicture(captureRequest(hostCommand, params, captureId), captureId,
                          sender.origin, params.type);
  }

  // The answer to one message of a page, without its id, or null for none.
  async function answer(message, sender) {
    const rights = await Consent.rightsOf(sender.origin);
    if (!rights.allowed) return null;  // a site not allowed learns nothing
    const checked = R.checkRequest(message);
    if (checked.ignore) return null;
    if (checked.error) return fail(checked.error, checked.message);
    if (checked.command === "upload") {
      const target = R.uploadAddress(checked.params.url, sender.url, sender.origin);
      if (target.error) return fail(target.error, target.message);
      checked.params.address = target.address;
    }
    if (!Bridge.claim(checked.command, sender.origin)) {
      return fail("busy", "another capture or upload is under way");
    }
    try {
      return await carryOut(checked, sender, rights);
    } catch (e) {
      return fail("host-failed", String((e && e.message) || e));
    } finally {
      Bridge.release();
    }
  }

  // A page's request arrives over a port of its own: {request}. The answer
  // goes back as {piece} messages holding the Base64 text, if any, then
  // {answer} with the rest; no answer at all is {answer: null}.
  function onPort(port) {
    const sender = port.sender || {};
    if (port.name !== PORT_NAME || !sender.tab || !R.originOf(sender.url || "") ||
        R.originOf(sender.origin || "") !== sender.origin) {
      port.disconnect();
      return;
    }
    port.onMessage.addListener(async (message) => {
      const result = await answer(message && message.request, sender);
      try {
        if (result && typeof result.base64 === "string") {
          const text = result.base64;
          delete result.base64;
          for (let at = 0; at < text.length; at += PIECE_CHARS) {
            port.postMessage({ piece: text.slice(at, at + PIECE_CHARS) });
          }
        }
        port.postMessage({ answer: result });
      } catch (e) {
        // The page went away before its answer.
      }
    });
  }

  // {type: "pageHello"} from the page bridge: whether its frame's site is
  // allowed, and the version it announces.
  function onMessage(message, sender, sendResponse) {
    if (!message || message.type !== "pageHello" || !sender.tab || !sender.origin) return false;
    Consent.rightsOf(sender.origin).then(
      (rights) => sendResponse(rights.allowed
        ? { allowed: true, version: chrome.runtime.getManifest().version }
        : { allowed: false }),
      () => sendResponse({ allowed: false }));
    return true;
  }

  function start() {
    chrome.runtime.onConnect.addListener(onPort);
    chrome.runtime.onMessage.addListener(onMessage);
    Consent.watch();
  }

  global.KvPageApi = { start };
})(self);
