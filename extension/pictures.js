// The last capture's picture, kept in the extension's IndexedDB as a Blob:
// a picture can be larger than session storage holds. Shared by the
// service worker, which writes it, and the popup, which shows it.
"use strict";

(function (global) {
  const DATABASE = "kvcapture";
  const STORE = "pictures";
  const KEY = "last";

  function openDatabase() {
    return new Promise((resolve, reject) => {
      const request = indexedDB.open(DATABASE, 1);
      request.onupgradeneeded = () => request.result.createObjectStore(STORE);
      request.onsuccess = () => resolve(request.result);
      request.onerror = () => reject(request.error);
    });
  }

  // Runs one request on the store in a transaction of `mode`; resolves to
  // its result once the transaction has completed.
  async function transact(mode, makeRequest) {
    const db = await openDatabase();
    try {
      return await new Promise((resolve, reject) => {
        const tx = db.transaction(STORE, mode);
        const request = makeRequest(tx.objectStore(STORE));
        tx.oncomplete = () => resolve(request.result);
        tx.onerror = tx.onabort = () => reject(tx.error);
      });
    } finally {
      db.close();
    }
  }

  global.KvPictures = {
    // {id, blob}: replaces the kept picture.
    put: (picture) => transact("readwrite", (store) => store.put(picture, KEY)),
    // The kept picture, or undefined.
    get: () => transact("readonly", (store) => store.get(KEY)),
  };
})(typeof self !== "undefined" ? self : globalThis);
