// The page bridge: a content script on the sites allowed to ask for
// captures. It speaks window.postMessage with the page on the page's own
// window and passes each request to the service worker over a port. Until
// the worker confirms that this frame's site is allowed it stays silent, so
// a page elsewhere cannot even learn that the extension is installed.
"use strict";

(() => {
  // Injected again into an open tab when the user allows its site.
  if (globalThis.kvcapturePageBridge) return;
  globalThis.kvcapturePageBridge = true;

  const PAGE = "kvcapture-page";
  const EXTENSION = "kvcapture";
  let version = "";

  function post(message) {
    window.postMessage(Object.assign({ source: EXTENSION }, message), window.location.origin);
  }

  function announce() {
    document.documentElement.dataset.kvcapture = version;
    post({ type: "ready", version });
  }

  // One request, one port: the answer may come in several messages (the
  // Base64 text of a large picture in pieces).
  function forward(request) {
    const port = chrome.runtime.connect({ name: "kvcapture-page" });
    const pieces = [];
    let answered = false;
    port.onMessage.addListener((message) => {
      if (typeof message.piece === "string") {
        pieces.push(message.piece);
        return;
      }
      answered = true;
      port.disconnect();
      if (!message.answer) return;
      const answer = Object.assign({ id: request.id }, message.answer);
      if (pieces.length) answer.base64 = pieces.join("");
      post(answer);
    });
    port.onDisconnect.addListener(() => {
      if (answered || typeof request.id !== "string") return;
      post({ id: request.id, ok: false, error: "host-failed",
             message: "the extension stopped before it answered" });
    });
    try {
      port.postMessage({ request });
    } catch (e) {
      // Values a message cannot carry (a BigInt, ...).
      answered = true;
      port.disconnect();
      if (typeof request.id === "string" && request.id.length >= 1 && request.id.length <= 64) {
        post({ id: request.id, ok: false, error: "bad-request", message: "the request cannot be sent" });
      }
    }
  }

  window.addEventListener("message", (event) => {
    // Only the page's own window: never another frame or window posting here.
    if (event.source !== window || !version) return;
    const data = event.data;
    if (!data || typeof data !== "object" || data.source !== PAGE) return;
    if (data.type === "hello" && data.command === undefined) {
      announce();
      return;
    }
    forward(data);
  });

  chrome.runtime.sendMessage({ type: "pageHello" }).then((reply) => {
    if (!reply || !reply.allowed) return;
    version = String(reply.version);
    announce();
  }, () => {});
})();
