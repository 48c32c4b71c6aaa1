// Whole-page capture in the service worker: the page (or, when its document
// does not scroll, its largest inner scroller) is taken one screen at a time
// with chrome.tabs.captureVisibleTab, the screens are stitched in an
// OffscreenCanvas, and the picture goes into the host's capture file with
// "WriteCapture", piece by piece, so that Upload, ReadCapture and the popup
// treat it like any capture.
//
//   self.KvWholePage.capture(tabId, options) -> Promise<result>
//     tabId     the tab to capture; it must be the active tab of its window
//               and stay so (the browser captures what a window shows)
//     options   fileName  capture file name for the host ("KvCapture.png")
//               type      "image/png" (default) or "image/jpeg"
//               call      (request) => Promise<{event} | {error}>: one native
//                         message (default: chrome.runtime.sendNativeMessage)
//               onProgress (fraction 0..1) => void
//     result    {captureFile, width, height, type, bytes, truncated}
//               captureFile: the capture file's path as the host reports it;
//               bytes: the picture (Uint8Array); truncated: true when the
//               page was taller than a picture can be and only its top part
//               was taken
//   Rejects with an Error whose `kind` says why:
//     "busy"          another whole-page capture is running
//     "notCapturable" the page cannot be scripted or captured (browser pages,
//                     the web store, no permission for the tab)
//     "canceled"      Escape on the page, or KvWholePage.cancel()
//     "tabClosed"     the tab was closed or navigated away meanwhile
//     "tabChanged"    another tab was brought to the front meanwhile
//     "failed"        the picture could not be made (`detail` says more)
//     "host"          the host refused a piece or could not be reached;
//                     `answer` is what `call` resolved to
//   The page is put back (scroll positions, styles, hidden elements) in every
//   case; the badge shows the progress while it runs.
//
//   self.KvWholePage.cancel()   ends a running capture as Escape does.
"use strict";

(function (global) {
  const CONTENT_SCRIPT = "content/whole_page_content.js";
  // The browser allows two captureVisibleTab calls a second.
  const CAPTURE_INTERVAL_MS = 520;
  const CAPTURE_RETRIES = 3;
  // A picture is at most this tall (the largest size image formats and
  // canvases agree on), and a canvas holds at most this many pixels.
  const MAX_HEIGHT = 32767;
  const MAX_PIXELS = 268435456;
  // Bytes a "WriteCapture" piece carries at most.
  const PIECE_BYTES = 737280;
  const HOST_NAME = "com.kvcapture.host";

  let job = null;
  let lastCaptureAt = 0;

  function failure(kind, detail, extra) {
    const error = new Error(detail ? `${kind}: ${detail}` : kind);
    return Object.assign(error, { kind, detail: detail || "" }, extra || {});
  }

  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  function badge(text) {
    chrome.action.setBadgeText({ text }).catch(() => {});
  }

  function progress(options, fraction) {
    badge(`${Math.min(99, Math.floor(fraction * 100))}%`);
    if (options.onProgress) {
      try {
        options.onProgress(fraction);
      } catch (e) {
        // the caller's display is not the capture's concern
      }
    }
  }

  function checkCancelled(current) {
    if (current.stopped) throw failure(current.stopped);
  }

  // One step of the content script; its answer.
  async function step(current, name, argument) {
    checkCancelled(current);
    let results;
    try {
      results = await chrome.scripting.executeScript({
        target: { tabId: current.tabId },
        func: (n, a) => (globalThis.KvWholePageContent
          ? globalThis.KvWholePageContent[n](a) : { gone: true }),
        args: [name, argument === undefined ? null : argument],
      });
    } catch (e) {
      checkCancelled(current);
      throw failure("tabClosed", String((e && e.message) || e));
    }
    const value = results && results[0] && results[0].result;
    // A new document in the tab (navigation) has no content script.
    if (!value || value.gone) throw failure("tabClosed", "the page changed");
    if (value.lost) throw failure("failed", "the page was put back meanwhile");
    if (value.cancelled && name !== "restore") current.stopped = "canceled";
    checkCancelled(current);
    return value;
  }

  // The visible part of the tab's window as an ImageBitmap.
  async function captureScreen(current) {
    for (let attempt = 0; ; attempt++) {
      const wait = lastCaptureAt + CAPTURE_INTERVAL_MS - Date.now();
      if (wait > 0) await sleep(wait);
      checkCancelled(current);
      const tab = await chrome.tabs.get(current.tabId).catch(() => null);
      if (!tab) throw failure("tabClosed");
      if (!tab.active || tab.windowId !== current.windowId) throw failure("tabChanged");
      lastCaptureAt = Date.now();
      try {
        const url = await chrome.tabs.captureVisibleTab(current.windowId, { format: "png" });
        const blob = await (await fetch(url)).blob();
        return await createImageBitmap(blob);
      } catch (e) {
        const text = String((e && e.message) || e);
        // The rate limit is shared with every other caller in the extension.
        if (/MAX_CAPTURE_VISIBLE_TAB_CALLS_PER_SECOND/i.test(text) && attempt < CAPTURE_RETRIES) {
          continue;
        }
        throw failure("notCapturable", text);
      }
    }
  }

  // Which fixed elements a tile shows: a page cut short has no bottom edge
  // in the picture, so its bottom fixed elements (a footer) stay hidden.
  function roleOf(first, last, truncated) {
    const end = last && !truncated;
    if (first) return end ? "only" : "first";
    return end ? "last" : "middle";
  }

  // Takes the page a screen at a time from the top and draws each screen's
  // new rows into one canvas. Every tile reports where it really scrolled
  // to and how tall the screen is then (a bar of the browser may come or go
  // meanwhile).
  async function stitch(current, page, options) {
    const whole = page.total <= page.height;
    let view = await step(current, "showTile", { y: 0, role: whole ? "only" : "first" });
    let bitmap = await captureScreen(current);
    // Device pixels per CSS pixel as the browser really captured them
    // (zoom and display scaling included).
    const scale = bitmap.width / view.viewportWidth;
    const D = (v) => Math.round(v * scale);
    const width = D(view.width);
    if (width < 1 || view.height < 1) throw failure("failed", "nothing to capture");
    const maxHeight = Math.min(MAX_HEIGHT, Math.floor(MAX_PIXELS / width));
    const limit = Math.floor(maxHeight / scale);
    const truncated = view.total > limit;
    const cssHeight = Math.min(view.total, limit);
    const height = Math.min(D(cssHeight), maxHeight);
    const canvas = new OffscreenCanvas(width, height);
    const context = canvas.getContext("2d");
    let done = 0;  // CSS pixels of the page drawn so far
    for (let first = true; ; first = false) {
      // The last screen is drawn whole, over rows the one before drew: its
      // bottom fixed elements (a footer) cover the end of the page there.
      let from = done;
      if (!first) {
        bitmap.close();
        progress(options, 0.1 + 0.8 * (done / cssHeight));
        const last = done + view.height >= cssHeight;
        const y = last ? Math.max(0, Math.min(done, view.total - view.height)) : done;
        const role = roleOf(false, last, truncated);
        view = await step(current, "showTile", { y, role });
        bitmap = await captureScreen(current);
        if (role === "last") from = Math.min(done, Math.max(0, view.y));
      }
      // Scrolled as far as it goes, the screen shows the end of the page,
      // also when its height in CSS pixels is not whole (at a zoom).
      const atEnd = view.y + view.height >= view.total - 1;
      const end = atEnd ? cssHeight : Math.min(view.y + view.height, cssHeight);
      if (end <= done) throw failure("failed", "the page did not scroll");
      // A screen that starts below the rows drawn so far would leave a gap.
      if (view.y > from + 1) throw failure("failed", "the page scrolled past a part of itself");
      const top = D(from);
      const bottom = Math.min(D(end), height);
      const sourceTop = D(view.top) + top - D(view.y);
      const rows = Math.min(bottom - top, bitmap.height - sourceTop);
      if (rows > 0) {
        context.drawImage(bitmap, D(view.left), sourceTop, width, rows, 0, top, width, rows);
      }
      done = end;
      if (done >= cssHeight) break;
    }
    bitmap.close();
    return { canvas, width, height, truncated };
  }

  function base64Of(bytes) {
    let binary = "";
    for (let i = 0; i < bytes.length; i += 0x8000) {
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    }
    return btoa(binary);
  }

  function sendNative(request) {
    return chrome.runtime.sendNativeMessage(HOST_NAME, request).then(
      (event) => ({ event }), (e) => ({ error: String((e && e.message) || e) }));
  }

  // Writes the picture into the capture file; resolves to its path.
  async function writeToHost(current, bytes, options) {
    const call = options.call || sendNative;
    let path = "";
    for (let offset = 0; offset === 0 || offset < bytes.length; offset += PIECE_BYTES) {
      checkCancelled(current);
      progress(options, 0.92 + 0.07 * (offset / bytes.length));
      const piece = bytes.subarray(offset, offset + PIECE_BYTES);
      const last = offset + piece.length >= bytes.length;
      const answer = await call({ Command: "WriteCapture", FileName: options.fileName,
                                  Offset: offset, Data: base64Of(piece), Last: last });
      const event = answer && answer.event;
      const expected = `${offset} ${piece.length} ${offset + piece.length}`;
      if (!event || event.EventName !== "OnCaptureData" || event.arg1 !== expected) {
        throw failure("host", answer && answer.error, { answer });
      }
      if (last) path = typeof event.arg2 === "string" ? event.arg2 : "";
    }
    return path;
  }

  async function run(current, options) {
    const tab = await chrome.tabs.get(current.tabId).catch(() => null);
    if (!tab) throw failure("tabClosed");
    current.windowId = tab.windowId;
    badge("…");
    try {
      await chrome.scripting.executeScript({ target: { tabId: current.tabId },
                                             files: [CONTENT_SCRIPT] });
    } catch (e) {
      throw failure("notCapturable", String((e && e.message) || e));
    }
    current.injected = true;
    const prepared = await step(current, "prepare");
    // The load pass goes no further than a picture can reach at the
    // device pixel ratio the page reports.
    const limit = Math.ceil(MAX_HEIGHT / Math.max(0.25, prepared.devicePixelRatio || 1));
    const loaded = await step(current, "loadAll", { limit });
    const page = Object.assign({}, prepared, loaded);
    const { canvas, width, height, truncated } = await stitch(current, page, options);
    progress(options, 0.9);
    const type = options.type === "image/jpeg" ? "image/jpeg" : "image/png";
    let blob;
    try {
      blob = await canvas.convertToBlob(type === "image/jpeg" ? { type, quality: 0.92 } : { type });
    } catch (e) {
      throw failure("failed", String((e && e.message) || e));
    }
    // The page is put back before the (slower) trip to the host.
    await restorePage(current);
    const bytes = new Uint8Array(await blob.arrayBuffer());
    const captureFile = await writeToHost(current, bytes, options);
    return { captureFile, width, height, type, bytes, truncated };
  }

  async function restorePage(current) {
    if (!current.injected || current.restored) return;
    current.restored = true;
    try {
      await chrome.scripting.executeScript({
        target: { tabId: current.tabId },
        func: () => globalThis.KvWholePageContent && globalThis.KvWholePageContent.restore(),
      });
    } catch (e) {
      // the tab is gone: nothing left to put back
    }
  }

  async function capture(tabId, options) {
    if (job) throw failure("busy");
    const current = { tabId, stopped: "", injected: false, restored: false };
    job = current;
    const onRemoved = (id) => { if (id === tabId) current.stopped = "tabClosed"; };
    chrome.tabs.onRemoved.addListener(onRemoved);
    try {
      return await run(current, Object.assign({ fileName: "KvCapture.png" }, options || {}));
    } finally {
      chrome.tabs.onRemoved.removeListener(onRemoved);
      await restorePage(current);
      badge("");
      job = null;
    }
  }

  function cancel() {
    if (job && !job.stopped) job.stopped = "canceled";
  }

  global.KvWholePage = { capture, cancel };
})(typeof self !== "undefined" ? self : globalThis);
