/*
 * kvcapture-client.js: the KvCapture extension's page API as promises.
 *
 *   <script src="kvcapture-client.js"></script>
 *   const version = await KvCapture.ready();          // rejects: "not-available"
 *   const shot = await KvCapture.capture({ type: "png" });
 *   img.src = "data:" + shot.type + ";base64," + shot.base64;
 *   const sent = await KvCapture.upload({ captureId: shot.captureId, url: "upload",
 *                                         fileField: "picture", fields: { ticket: "42" } });
 *
 * Every command resolves to the extension's answer (without "source", "id"
 * and "ok") or rejects with a KvCapture.Error whose `code` is one of
 * not-allowed, busy, canceled, bad-request, host-missing, host-failed,
 * upload-failed, unknown-capture, or not-available when the extension does
 * not announce itself within ready()'s timeout.
 * The extension answers only on sites the user or an administrator allowed:
 * anywhere else ready() rejects after its timeout and nothing else happens.
 */
(function (global) {
  "use strict";

  var PAGE = "kvcapture-page";
  var EXTENSION = "kvcapture";
  var pending = {};
  var counter = 0;
  var version = null;
  var readyWaiters = [];

  function KvCaptureError(code, message) {
    var error = new Error(message || code);
    error.name = "KvCaptureError";
    error.code = code;
    return error;
  }

  global.addEventListener("message", function (event) {
    var data = event.data;
    if (event.source !== global || !data || data.source !== EXTENSION) return;
    if (data.type === "ready") {
      version = String(data.version);
      var waiters = readyWaiters;
      readyWaiters = [];
      waiters.forEach(function (resolve) { resolve(version); });
      return;
    }
    var request = typeof data.id === "string" && pending[data.id];
    if (!request) return;
    delete pending[data.id];
    if (data.ok) {
      var result = {};
      Object.keys(data).forEach(function (key) {
        if (key !== "source" && key !== "id" && key !== "ok") result[key] = data[key];
      });
      request.resolve(result);
    } else {
      request.reject(KvCaptureError(data.error || "host-failed", data.message));
    }
  });

  // The extension's version once it has announced itself on this page.
  function ready(timeoutMs) {
    var existing = global.document && global.document.documentElement.dataset.kvcapture;
    if (version || existing) return Promise.resolve(version || existing);
    return new Promise(function (resolve, reject) {
      var timer = setTimeout(function () {
        readyWaiters = readyWaiters.filter(function (w) { return w !== done; });
        reject(KvCaptureError("not-available", "the KvCapture extension does not answer on this site"));
      }, timeoutMs || 3000);
      function done(v) {
        clearTimeout(timer);
        resolve(v);
      }
      readyWaiters.push(done);
      global.postMessage({ source: PAGE, type: "hello" }, global.location.origin);
    });
  }

  // Requests wait for the extension to have announced itself: before that
  // it would not take them.
  function send(command, parameters) {
    return ready().then(function () { return request(command, parameters); });
  }

  function request(command, parameters) {
    return new Promise(function (resolve, reject) {
      var id = "kv" + Date.now().toString(36) + "-" + (++counter);
      pending[id] = { resolve: resolve, reject: reject };
      var message = { source: PAGE, id: id, command: command };
      Object.keys(parameters || {}).forEach(function (key) {
        if (parameters[key] !== undefined) message[key] = parameters[key];
      });
      global.postMessage(message, global.location.origin);
    });
  }

  global.KvCapture = {
    ready: ready,
    // {prompt, autoMinimize, type}: {captureId, width, height, type, base64}
    capture: function (options) { return send("capture", options); },
    // {captureId, url, fileField, fields}: {status, answer}
    upload: function (options) { return send("upload", options); },
    // {type}: as capture; only for sites with silent captures switched on
    screen: function (options) { return send("screen", options); },
    // the whole page, where the extension offers it
    page: function (options) { return send("page", options); },
    Error: KvCaptureError,
  };
})(window);
