// The popup: starts commands through the service worker and shows what the
// last ones brought, from session storage (the popup may have been closed
// and opened again in between).
"use strict";

const msg = (key, ...subs) => chrome.i18n.getMessage(key, subs);

const BUTTONS = {
  "start-capture": "StartCapture",
  "capture-minimized": "Capture",
  "capture-screen": "CaptureScreen",
  "upload": "Upload",
};

// Status text and tone for each kind of outcome.
function describe(result) {
  switch (result.kind) {
    case "captured": return [msg("resultCaptured"), "ok"];
    case "tooLarge": return [msg("resultTooLarge"), "warning"];
    case "noPicture": return [msg("resultNoPicture"), "error"];
    case "canceled": return [msg("resultCanceled"), "ok"];
    case "uploaded": return [msg("resultUploaded"), "ok"];
    case "uploadFailed": return [msg("resultUploadFailed"), "error"];
    case "refused": return [msg("resultRefused"), "error"];
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

function workingText(command) {
  return command === "Upload" ? msg("statusUploading") : msg("statusCapturing");
}

function setStatus(kind, text, tone) {
  const status = document.getElementById("status");
  status.dataset.kind = kind;
  status.dataset.tone = tone;
  status.textContent = text;
}

function render(state) {
  const busy = state.busy || "";
  const capture = state.lastCapture || null;
  const result = state.result || null;

  for (const id of Object.keys(BUTTONS)) document.getElementById(id).disabled = !!busy;
  const upload = document.getElementById("upload");
  if (!capture || !capture.path) upload.disabled = true;
  upload.classList.toggle("suggested", !!capture && capture.kind === "tooLarge");

  if (busy) {
    setStatus("working", workingText(busy), "ok");
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
  const picture = document.getElementById("picture");
  if (capture && capture.image) {
    const src = `data:${capture.type || "image/png"};base64,${capture.image}`;
    if (picture.src !== src) picture.src = src;
    picture.hidden = false;
  } else {
    picture.removeAttribute("src");
    picture.hidden = true;
  }
  document.getElementById("capture-path").textContent =
      capture && capture.path ? msg("savedAs", capture.path) : "";
}

async function refresh() {
  render(await chrome.storage.session.get(["busy", "result", "lastCapture"]));
}

for (const [id, command] of Object.entries(BUTTONS)) {
  document.getElementById(id).addEventListener("click", () => {
    chrome.runtime.sendMessage({ type: "run", command });
  });
}

chrome.storage.onChanged.addListener((changes, area) => {
  if (area === "session") refresh();
});

chrome.action.setBadgeText({ text: "" });
refresh();
