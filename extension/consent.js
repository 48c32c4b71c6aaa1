// Which web sites may ask for captures: the user's list (local storage
// "pageSites": {origin: {silent}}) and the administrator's (managed storage
// "AllowedSites", "SilentCaptureSites"). The page bridge is registered as a
// content script on the allowed sites only, and follows every change of
// either list.
"use strict";

(function (global) {
  const R = global.KvPageRules;
  const SCRIPT_ID = "kvcapture-page-bridge";
  const SCRIPT_FILES = ["content/page_bridge.js"];

  async function managedPolicy() {
    try {
      return await chrome.storage.managed.get(["AllowedSites", "SilentCaptureSites"]);
    } catch (e) {
      return {};  // no policy, or a platform without managed storage
    }
  }

  async function userSites() {
    const { pageSites } = await chrome.storage.local.get("pageSites");
    return pageSites && typeof pageSites === "object" ? pageSites : {};
  }

  // {allowed, silent, managed, managedSilent} of an origin, read afresh:
  // a site the user revoked a moment ago is refused at once.
  async function rightsOf(origin) {
    const [sites, managed] = await Promise.all([userSites(), managedPolicy()]);
    return R.rightsOf(R.originOf(origin) === origin ? origin : "", sites, managed);
  }

  // Registers the page bridge for the allowed sites (or removes it when
  // there are none). Calls are queued: they change one registration.
  let syncing = Promise.resolve();

  function syncContentScripts() {
    syncing = syncing.then(syncOnce, syncOnce);
    return syncing;
  }

  async function syncOnce() {
    const [sites, managed] = await Promise.all([userSites(), managedPolicy()]);
    const origins = R.allowedOrigins(sites, managed);
    const registered = await chrome.scripting.getRegisteredContentScripts({ ids: [SCRIPT_ID] });
    if (!origins.length) {
      if (registered.length) await chrome.scripting.unregisterContentScripts({ ids: [SCRIPT_ID] });
      return;
    }
    const script = {
      id: SCRIPT_ID,
      js: SCRIPT_FILES,
      matches: R.matchPatterns(origins),
      allFrames: true,
      runAt: "document_start",
      persistAcrossSessions: true,
    };
    if (registered.length) {
      await chrome.scripting.updateContentScripts([script]);
    } else {
      await chrome.scripting.registerContentScripts([script]);
    }
  }

  function watch() {
    chrome.storage.onChanged.addListener((changes, area) => {
      if (area === "managed" || (area === "local" && changes.pageSites)) {
        syncContentScripts().catch(() => {});
      }
    });
    syncContentScripts().catch(() => {});
  }

  global.KvConsent = { SCRIPT_FILES, rightsOf, userSites, managedPolicy, syncContentScripts,
                       watch };
})(self);
