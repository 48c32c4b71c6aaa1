// The bridge to the capture host: one request per host process, and the
// one busy mark that every way of starting a request
// (popup, shortcut, web page) goes through.
"use strict";

(function (global) {
  const P = global.KvProtocol;

  // Requests that last as long as the user (an interactive capture) or a
  // server (an upload) takes.
  const LONG_COMMANDS = ["startcapture", "capture", "upload"];

  // While a single message is outstanding, a cheap call every 20 s keeps
  // the worker from being stopped as idle.
  const KEEPALIVE_MS = 20000;

  // One request to a new host process; resolves to {event} with the host's
  // answer, or to {error} with the browser's text when it gives none (host
  // not registered, ended without answer, answer unreadable...).
  function callHost(request) {
    const long = LONG_COMMANDS.includes(String(request.Command || "").toLowerCase());
    return long ? callOverPort(request) : callOnce(request);
  }

  async function callOnce(request) {
    const timer = setInterval(() => chrome.runtime.getPlatformInfo(() => {}), KEEPALIVE_MS);
    try {
      return { event: await chrome.runtime.sendNativeMessage(P.HOST_NAME, request) };
    } catch (e) {
      return { error: String((e && e.message) || e) };
    } finally {
      clearInterval(timer);
    }
  }

  // A native port: while it is open the browser keeps the service worker
  // running however long the request takes, where a single message
  // outstanding for more than five minutes may have the worker stopped.
  // (An answer that is not JSON is dropped by the browser on a port, so it
  // shows as no answer.)
  function callOverPort(request) {
    return new Promise((resolve) => {
      let port;
      try {
        port = chrome.runtime.connectNative(P.HOST_NAME);
      } catch (e) {
        resolve({ error: String((e && e.message) || e) });
        return;
      }
      let settled = false;
      port.onMessage.addListener((event) => {
        if (settled) return;
        settled = true;
        port.disconnect();
        resolve({ event });
      });
      port.onDisconnect.addListener(() => {
        if (settled) return;
        settled = true;
        const error = chrome.runtime.lastError;
        resolve({ error: String((error && error.message) || "Native host has exited.") });
      });
      port.postMessage(request);
    });
  }

  // What the browser's error text says about the host: it ended without
  // writing anything (another capture is running, or it was stopped), its
  // answer could not be read (too long, or not a message), or it could not be
  // started at all (not registered, not allowed, missing program).
  function classifyError(message) {
    if (/exited/i.test(message)) return "noAnswer";
    if (/communicating|invalid JSON/i.test(message)) return "brokenAnswer";
    return "hostMissing";
  }

  // The request under way: {command, site} (site: the origin of the web
  // page that asked, "" for the extension's own commands), or null. Checked
  // and taken in one synchronous step, so two starts in the same moment
  // (the shortcut pressed twice, the shortcut and a click, two pages) never
  // both get through; session storage carries a copy for the popup.
  let current = null;

  function claim(command, site) {
    if (current) return false;
    current = { command, site: site || "" };
    mirror();
    return true;
  }

  function release() {
    const was = current;
    current = null;
    mirror();
    if (was && was.site) {
      chrome.action.setBadgeText({ text: "" });
      chrome.action.setTitle({ title: chrome.i18n.getMessage("extName") });
    }
  }

  function busyWith() {
    return current;
  }

  function mirror() {
    const state = current || { command: "", site: "" };
    chrome.storage.session.set({ busy: state.command, busySite: state.site }).catch(() => {});
    if (current && current.site) {
      // The badge names who asked: the first letters of the site's host,
      // its whole origin in the button's title.
      let host = current.site;
      try {
        host = new URL(current.site).hostname.replace(/^www\./, "");
      } catch (e) { /* keep the origin */ }
      chrome.action.setBadgeText({ text: host.slice(0, 4) });
      chrome.action.setTitle({ title: chrome.i18n.getMessage("badgeCapturingFor", current.site) });
    }
  }

  global.KvHostBridge = { callHost, classifyError, claim, release, busyWith };
})(self);
