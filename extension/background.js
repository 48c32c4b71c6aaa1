// Service worker: runs each request of the popup as one request to the
// capture host and keeps the outcome in session storage, where the popup
// finds it (the popup usually closes while the user captures). Web pages'
// requests are page_api.js's.
"use strict";

importScripts("protocol.js", "pictures.js", "host_bridge.js", "page_rules.js", "consent.js",
              "whole_page.js", "page_api.js");

const P = self.KvProtocol;
const Bridge = self.KvHostBridge;
const { callHost, classifyError } = Bridge;

// A worker that starts afresh has no request outstanding.
chrome.storage.session.set({ busy: "", busySite: "" });

self.KvPageApi.start();

async function loadOptions() {
  const stored = await chrome.storage.local.get(["uploadUrl", "fileField", "extraFields",
                                                "imageFormat"]);
  return {
    uploadUrl: stored.uploadUrl || "",
    fileField: stored.fileField || "",
    extraFields: stored.extraFields || "",
    imageFormat: stored.imageFormat || "png",
  };
}

function language() {
  return P.hostLanguage(chrome.i18n.getMessage("hostLanguage"));
}

// Kinds of outcome that leave a capture file behind.
const CAPTURE_KINDS = ["captured", "tooLarge", "captureChanged", "noPicture"];

async function record(command, outcome) {
  const update = { busy: "", result: Object.assign({ command, at: Date.now() }, outcome) };
  if (CAPTURE_KINDS.includes(outcome.kind)) {
    update.lastCapture = { path: outcome.path || "", type: outcome.type || "", kind: outcome.kind,
                           pictureId: outcome.pictureId || 0 };
  }
  await chrome.storage.session.set(update);
  if (["captured", "tooLarge", "captureChanged"].includes(outcome.kind)) {
    chrome.action.setBadgeText({ text: "1" });
  }
}

// Keeps the picture of a "captured" outcome apart from session storage (it
// may be far larger than that allows); the outcome then names it by
// `pictureId` instead of carrying its bytes.
async function keepPicture(outcome) {
  const { bytes, ...rest } = outcome;
  if (!bytes) return { kind: "noPicture", path: outcome.path };
  const pictureId = Date.now();
  try {
    await self.KvPictures.put({ id: pictureId, blob: new Blob([bytes], { type: outcome.type }) });
  } catch (e) {
    return { kind: "tooLarge", path: outcome.path };
  }
  return Object.assign(rest, { pictureId });
}

// A picture left out of the capture event: read from the capture file in
// pieces. The outcome stays "tooLarge" only when that fails.
async function readLargeCapture(outcome) {
  const started = Date.now();
  const read = await P.readWholeCapture(outcome.path, callHost);
  if (read.kind === "whole") {
    return { kind: "captured", path: outcome.path, type: P.imageType(outcome.path),
             bytes: read.bytes, pieces: read.pieces, readMs: Date.now() - started };
  }
  if (read.kind === "changed") return { kind: "captureChanged", path: outcome.path };
  return outcome;
}

async function buildRequest(command, extra) {
  const options = await loadOptions();
  if (command === "Upload") {
    const { lastCapture } = await chrome.storage.session.get("lastCapture");
    return P.uploadRequest(options, lastCapture, language());
  }
  return { request: P.captureRequest(command, options, language(), extra && extra.fields) };
}

// Asks the host and makes the outcome of its answer.
async function carryOut(command, request) {
  const answer = await callHost(request);
  if (answer.error) return { kind: classifyError(answer.error), detail: answer.error };
  let outcome = P.interpretEvent(answer.event, command);
  if (outcome.kind === "captured") {
    const { image, ...rest } = outcome;
    outcome = Object.assign(rest, { bytes: P.base64ToBytes(image) });
  } else if (outcome.kind === "tooLarge") {
    outcome = await readLargeCapture(outcome);
  }
  if (outcome.kind === "captured") outcome = await keepPicture(outcome);
  return outcome;
}

// Resolves once the toolbar popup is closed (it closes itself when it
// starts a capture, which must not show it), or after 1 s.
async function popupClosed() {
  if (!chrome.runtime.getContexts) return;
  for (let waited = 0; waited < 1000; waited += 50) {
    const open = await chrome.runtime.getContexts({ contextTypes: ["POPUP"] }).catch(() => []);
    if (!open.length) return;
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

// The whole page of a tab (the active tab of the last focused window when
// none is named), written into the capture file as any capture.
const WHOLE_PAGE = "WholePage";

async function carryOutWholePage(tabId) {
  if (tabId === undefined || tabId === null) {
    const [tab] = await chrome.tabs.query({ active: true, lastFocusedWindow: true });
    tabId = tab && tab.id;
  }
  const options = await loadOptions();
  const type = options.imageFormat === "jpg" ? "image/jpeg" : "image/png";
  let page;
  try {
    page = await self.KvWholePage.capture(tabId, {
      fileName: P.fileNameFor(options.imageFormat), type, call: callHost });
  } catch (e) {
    if (e.kind === "canceled" || e.kind === "tabClosed") return { kind: "canceled" };
    if (e.kind === "busy") return { kind: "busy", command: WHOLE_PAGE };
    if (e.kind === "host") {
      const answer = e.answer || {};
      if (answer.error) return { kind: classifyError(answer.error), detail: answer.error };
      const outcome = P.interpretEvent(answer.event, WHOLE_PAGE);
      return outcome.kind === "unknown" || outcome.kind === "noAnswer" ? outcome
        : { kind: "refused" };
    }
    return { kind: "pageFailed", reason: e.kind || "failed",
             detail: e.detail || e.kind || String(e) };
  }
  return keepPicture({ kind: "captured", path: page.captureFile, type: page.type,
                       bytes: page.bytes, width: page.width, height: page.height,
                       truncated: page.truncated });
}

// Runs one command; returns the outcome that was recorded. Whatever
// happens on the way (a failing call, a storage write refused), the busy
// mark is taken away again, so the popup never stays "Capturing..." until
// the worker restarts.
async function run(command, extra) {
  if (!Bridge.claim(command, "")) return { kind: "busy", command: Bridge.busyWith().command };
  let outcome;
  try {
    const built = await buildRequest(command, extra);
    if (built.error) {
      outcome = { kind: "notSent", reason: built.error };
      await record(command, outcome);
      return outcome;
    }
    if (command !== "Upload" && command !== WHOLE_PAGE) await popupClosed();
    outcome = command === WHOLE_PAGE ? await carryOutWholePage(extra && extra.tabId)
      : await carryOut(command, built.request);
    await record(command, outcome);
  } catch (e) {
    const detail = String((e && e.message) || e);
    outcome = { kind: "notRecorded", detail };
    await chrome.storage.session.set({ result: { command, at: Date.now(), ...outcome } })
      .catch(() => {});
  } finally {
    Bridge.release();
  }
  return outcome;
}

// The keyboard shortcuts (commands API): an interactive capture, as the
// popup's first button starts it, and the whole page of the tab in front.
chrome.commands.onCommand.addListener((name, tab) => {
  if (name === "start-capture") run("StartCapture");
  if (name === "whole-page") run(WHOLE_PAGE, { tabId: tab && tab.id });
});

// {type: "run", command, fields?}: answered at once; the outcome arrives in
// storage. {type: "runAndWait", ...}: answered with the outcome.
// Only the extension's own pages may send them.
chrome.runtime.onMessage.addListener((message, sender, sendResponse) => {
  if (!message || (message.type !== "run" && message.type !== "runAndWait")) return false;
  if (!String(sender.url || "").startsWith(chrome.runtime.getURL(""))) return false;
  const done = run(String(message.command || ""),
                   { fields: message.fields, tabId: message.tabId });
  if (message.type === "run") {
    sendResponse({ started: true });
    return false;
  }
  done.then(sendResponse, (e) => sendResponse({ kind: "hostMissing", detail: String(e) }));
  return true;
});
