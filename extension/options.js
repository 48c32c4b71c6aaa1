// Options page: the upload address, the file's field name, extra form
// fields and the image format, kept in the extension's local storage.
"use strict";

const P = self.KvProtocol;
const $ = (id) => document.getElementById(id);
const msg = (key, ...subs) => chrome.i18n.getMessage(key, subs);

function showStatus(text, tone) {
  $("save-status").textContent = text;
  $("save-status").dataset.tone = tone;
}

// The values of the form, or {error} naming the first problem.
function readForm() {
  const uploadUrl = $("upload-url").value.trim();
  if (uploadUrl && !P.isUploadAddress(uploadUrl)) return { error: msg("badUploadUrl") };
  const extraFields = $("extra-fields").value;
  const fields = P.encodePostParams(extraFields);
  if (fields.error === "badFieldLine") return { error: msg("badFieldLine", String(fields.line)) };
  if (fields.error) return { error: msg("ampersandInField", String(fields.line)) };
  return {
    values: {
      uploadUrl,
      fileField: $("file-field").value.trim(),
      extraFields,
      imageFormat: $("image-format").value === "jpg" ? "jpg" : "png",
    },
  };
}

async function load() {
  const stored = await chrome.storage.local.get(["uploadUrl", "fileField", "extraFields",
                                                "imageFormat"]);
  $("upload-url").value = stored.uploadUrl || "";
  $("file-field").value = stored.fileField || "";
  $("extra-fields").value = stored.extraFields || "";
  $("image-format").value = stored.imageFormat === "jpg" ? "jpg" : "png";
}

$("options").addEventListener("submit", async (e) => {
  e.preventDefault();
  const form = readForm();
  if (form.error) {
    showStatus(form.error, "error");
    return;
  }
  await chrome.storage.local.set(form.values);
  showStatus(msg("saved"), "ok");
});

// The sites that may ask for screenshots: the administrator's (fixed) and
// the user's, each with its switch for silent captures; the user's can be
// revoked.
async function loadSites() {
  const R = self.KvPageRules;
  const { pageSites } = await chrome.storage.local.get("pageSites");
  const sites = pageSites || {};
  const managed = await chrome.storage.managed.get(["AllowedSites", "SilentCaptureSites"])
    .catch(() => ({}));
  const rows = $("site-rows");
  rows.textContent = "";
  const origins = R.allowedOrigins(sites, managed);
  $("no-sites").hidden = origins.length > 0;
  $("sites").hidden = origins.length === 0;
  for (const origin of origins) {
    const rights = R.rightsOf(origin, sites, managed);
    const row = rows.insertRow();
    row.dataset.origin = origin;
    row.insertCell().textContent = origin;
    const silent = document.createElement("input");
    silent.type = "checkbox";
    silent.className = "silent";
    silent.checked = rights.silent;
    silent.disabled = rights.managedSilent;
    silent.addEventListener("change", () => changeSite(origin, { silent: silent.checked }));
    row.insertCell().append(silent);
    const last = row.insertCell();
    if (rights.managed) {
      last.textContent = msg("siteManaged");
    } else {
      const revoke = document.createElement("button");
      revoke.type = "button";
      revoke.className = "revoke";
      revoke.textContent = msg("revokeSite");
      revoke.addEventListener("click", () => changeSite(origin, null));
      last.append(revoke);
    }
  }
}

// Sets (or, with null, removes) the user's entry of a site. A site the
// administrator allowed gets a user entry only for its silent switch.
async function changeSite(origin, entry) {
  const { pageSites } = await chrome.storage.local.get("pageSites");
  const sites = Object.assign({}, pageSites || {});
  if (entry) sites[origin] = entry;
  else delete sites[origin];
  await chrome.storage.local.set({ pageSites: sites });
}

chrome.storage.onChanged.addListener((changes, area) => {
  if (area === "managed" || (area === "local" && changes.pageSites)) loadSites();
});

load();
loadSites();
