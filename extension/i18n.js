// Fills every element that names a message in data-i18n with the text of
// the browser's language.
"use strict";

function applyTranslations(root) {
  document.documentElement.lang = chrome.i18n.getUILanguage();
  for (const el of (root || document).querySelectorAll("[data-i18n]")) {
    el.textContent = chrome.i18n.getMessage(el.dataset.i18n);
  }
}

applyTranslations();
