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

load();
