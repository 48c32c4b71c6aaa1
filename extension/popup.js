// The popup: starts commands through the service worker and shows what the
// last ones brought, from session storage (the popup may have been closed
// and opened again in between).
"use strict";

const msg = (key, ...subs) => chrome.i18n.getMessage(key, subs);
const P = self.KvProtocol;

const BUTTONS = {
  "start-capture": "StartCapture",
  "capture-minimized": "Capture",
  "capture-screen": "CaptureScreen",
  "whole-page": "WholePage",
  "upload": "Upload",
};

// Status text and tone for each kind of outcome.
function describe(result) {
  switch (result.kind) {
    case "captured":
      if (result.truncated) return [msg("resultPageCutShort", String(result.height)), "warning"];
      return [msg("resultCaptured"), "ok"];
    case "pageFailed": return [msg("resultPageFailed", result.detail || ""), "error"];
    case "tooLarge": return [msg("resultTooLarge"), "warning"];
    case "captureChanged": return [msg("resultCaptureChanged"), "warning"];
    case "noPicture": return [msg("resultNoPicture"), "error"];
    case "canceled": return [msg("resultCanceled"), "ok"];
    // The host cannot know the HTTP status: the server's own words decide.
    case "uploaded": return [msg("resultServerAnswered"), "info"];
    case "uploadFailed": return [msg("resultUploadFailed"), "error"];
    case "refused": return [msg("resultRefused"), "error"];
    case "uploadRefused": return [msg("resultUploadRefused"), "error"];
    case "notRecorded": return [msg("resultNotRecorded", result.detail || ""), "error"];
    case "noAnswer": return [msg("resultNoAnswer"), "error"];
    case "brokenAnswer": return [msg("resultBrokenAnswer"), "error"];
    case "hostMissing": return [msg("resultHostMissing", result.detail || ""), "error"];
    case "busy": return [msg("resultBusy"), "warning"];
    case "notSent":
      if (result.reason === "noCapture") return [msg("needCapture"), "warning"];
      if (result.reason === "noUploadAddress") return [msg("needUploadAddress"), "warning"];
      return [msg("badOptions"), "warning"];
    default: return [msg("resultUnknown", result.name || ""), "error"];
  }
}

function workingText(command, site) {
  if (site) return msg("statusWorkingFor", site);
  if (command === "WholePage") return msg("statusCapturingPage");
  return command === "Upload" ? msg("statusUploading") : msg("statusCapturing");
}

function setStatus(kind, text, tone) {
  const status = document.getElementById("status");
  status.dataset.kind = kind;
  status.dataset.tone = tone;
  status.textContent = text;
}

function render(state, picture) {
  const busy = state.busy || "";
  const capture = state.lastCapture || null;
  const result = state.result || null;

  for (const id of Object.keys(BUTTONS)) document.getElementById(id).disabled = !!busy;
  const upload = document.getElementById("upload");
  if (!capture || !capture.path) upload.disabled = true;
  upload.classList.toggle("suggested",
                         !!capture && ["tooLarge", "captureChanged"].includes(capture.kind));

  if (busy) {
    setStatus("working", workingText(busy, state.busySite), "ok");
  } else if (result) {
    const [text, tone] = describe(result);
    setStatus(result.kind, text, tone);
  } else {
    setStatus("idle", "", "ok");
  }

  const answerBox = document.getElementById("answer-box");
  const showAnswer = !busy && result && result.kind === "uploaded";
  answerBox.hidden = !showAnswer;
  if (showAnswer) {
    document.getElementById("answer").textContent = result.answer;
    const note = document.getElementById("answer-note");
    note.textContent = result.truncated ? msg("answerTruncated") : msg("answerComplete");
    note.dataset.truncated = result.truncated ? "1" : "0";
  }

  const captureBox = document.getElementById("capture-box");
  captureBox.hidden = !capture || !capture.path;
  const image = document.getElementById("picture");
  const url = picture ? picture.url : "";
  if (url) {
    if (image.src !== url) image.src = url;
    const save = document.getElementById("save-picture");
    save.href = url;
    save.download = P.baseName(capture.path) || "KvCapture.png";
  } else {
    image.removeAttribute("src");
  }
  image.hidden = !url;
  document.getElementById("picture-actions").hidden = !url;
  document.getElementById("capture-path").textContent =
      capture && capture.path ? msg("savedAs", capture.path) : "";
}

// The picture on show: {id, url, blob}, its object URL made once.
let shown = null;

// The kept picture that `capture` names, or null.
async function pictureOf(capture) {
  const id = capture && capture.pictureId;
  if (!id) return null;
  if (shown && shown.id === id) return shown;
  const kept = await self.KvPictures.get().catch(() => undefined);
  if (!kept || kept.id !== id) return null;
  if (shown) URL.revokeObjectURL(shown.url);
  shown = { id, blob: kept.blob, url: URL.createObjectURL(kept.blob) };
  setPictureNote("");  // a note on the copy of an earlier picture
  return shown;
}

// Refreshes may overlap (storage changes in quick succession): only the
// latest one renders.
let refreshes = 0;

async function refresh() {
  const turn = ++refreshes;
  const state = await chrome.storage.session.get(["busy", "busySite", "result",
                                                    "lastCapture"]);
  const picture = await pictureOf(state.lastCapture);
  if (turn === refreshes) render(state, picture);
}

function setPictureNote(key) {
  const note = document.getElementById("picture-note");
  note.dataset.key = key;
  note.textContent = key ? msg(key) : "";
}

// The clipboard takes PNG pictures only: a JPEG is converted first.
async function pngOf(blob) {
  if (blob.type === "image/png") return blob;
  const bitmap = await createImageBitmap(blob);
  const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
  canvas.getContext("2d").drawImage(bitmap, 0, 0);
  return canvas.convertToBlob({ type: "image/png" });
}

async function copyPicture() {
  setPictureNote("");
  try {
    if (!shown) throw new Error("no picture");
    await navigator.clipboard.write([new ClipboardItem({ "image/png": await pngOf(shown.blob) })]);
    setPictureNote("pictureCopied");
  } catch (e) {
    setPictureNote("pictureNotCopied");
  }
}

document.getElementById("copy-picture").addEventListener("click", copyPicture);

// True when this page is the toolbar button's popup (not the same page
// opened in a tab).
function isToolbarPopup() {
  try {
    return chrome.extension.getViews({ type: "popup" }).includes(window);
  } catch (e) {
    return false;
  }
}

// The tab the popup was opened over: the one a whole-page capture takes.
async function pageTabId() {
  const [tab] = await chrome.tabs.query({ active: true, currentWindow: true });
  return tab ? tab.id : undefined;
}

for (const [id, command] of Object.entries(BUTTONS)) {
  document.getElementById(id).addEventListener("click", async () => {
    const tabId = command === "WholePage" ? await pageTabId() : undefined;
    chrome.runtime.sendMessage({ type: "run", command, tabId });
    // A capture of the screen would show an open popup: the popup closes
    // itself (the worker waits until it is gone). A whole page is taken
    // from the tab, and the popup stays to show it.
    if (command !== "Upload" && command !== "WholePage" && isToolbarPopup()) window.close();
  });
}

chrome.storage.onChanged.addListener((changes, area) => {
  if (area === "session") refresh();
});

// The keyboard shortcut as the browser has it (the user may change it on
// the browser's shortcuts page, or have none).
async function showShortcut() {
  const commands = await chrome.commands.getAll().catch(() => []);
  const command = commands.find((c) => c.name === "start-capture");
  const keys = command && command.shortcut;
  const note = document.getElementById("shortcut");
  note.dataset.keys = keys || "";
  note.textContent = keys ? msg("shortcutIs", keys) : msg("shortcutNone");
}

// The site of the tab the popup was opened on: whether its pages may ask
// for screenshots. Allowing it also starts the page bridge in the open tab,
// so the page need not be loaded again.
async function showSite() {
  const [tab] = await chrome.tabs.query({ active: true, currentWindow: true }).catch(() => []);
  const origin = self.KvPageRules.originOf(tab && tab.url);
  if (!origin) return;
  const { pageSites } = await chrome.storage.local.get("pageSites");
  const managed = await chrome.storage.managed.get(["AllowedSites", "SilentCaptureSites"])
    .catch(() => ({}));
  const rights = self.KvPageRules.rightsOf(origin, pageSites || {}, managed);
  const box = document.getElementById("site-box");
  const check = document.getElementById("site-allowed");
  box.hidden = false;
  box.dataset.origin = origin;
  document.getElementById("site-allowed-label").textContent = msg("allowSite", origin);
  check.checked = rights.allowed;
  check.disabled = rights.managed;
  document.getElementById("site-note").textContent = rights.managed ? msg("siteManaged") : "";
  check.addEventListener("change", async () => {
    const { pageSites: now } = await chrome.storage.local.get("pageSites");
    const sites = Object.assign({}, now || {});
    if (check.checked) {
      sites[origin] = { silent: !!(sites[origin] && sites[origin].silent) };
    } else {
      delete sites[origin];
    }
    await chrome.storage.local.set({ pageSites: sites });
    if (check.checked) {
      chrome.scripting.executeScript({ target: { tabId: tab.id, allFrames: true },
                                       files: ["content/page_bridge.js"] }).catch(() => {});
    }
  });
}

// The badge's mark of a new capture is seen now; a badge naming the site of
// a capture under way stays.
chrome.storage.session.get("busySite").then((state) => {
  if (!state.busySite) chrome.action.setBadgeText({ text: "" });
});
showShortcut();
showSite();
refresh();
