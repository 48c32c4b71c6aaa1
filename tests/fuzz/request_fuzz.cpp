// The request parser: any text gives a defined outcome. A parsed request
// holds only valid UTF-8 without zero bytes in its texts (every text passed
// through the converter), and its upload address follows from the post and
// page URLs; text that is not JSON, or JSON the parser refuses, leaves every
// field as it was. Parsing is deterministic.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/request.h"
#include "core/utf8.h"
#include "fuzz_check.h"

namespace {

bool SameFields(const kv::RequestFields& a, const kv::RequestFields& b) {
  return a.command == b.command && a.postUrl == b.postUrl && a.pageUrl == b.pageUrl &&
         a.uploadUrl == b.uploadUrl && a.fileField == b.fileField && a.fileName == b.fileName &&
         a.postParams == b.postParams && a.tipInfo == b.tipInfo && a.uiLanguage == b.uiLanguage &&
         a.autoMinimize == b.autoMinimize && a.captureLeft == b.captureLeft &&
         a.captureTop == b.captureTop && a.captureWidth == b.captureWidth &&
         a.captureHeight == b.captureHeight && a.captureWinIndex == b.captureWinIndex &&
         a.hasWinName == b.hasWinName && a.winName == b.winName;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int converted = 0;
  auto toAnsi = [&converted](const std::string& utf8) {
    KV_CHECK(kvfuzz::IsValidUtf8(utf8));
    KV_CHECK(utf8.find('\0') == std::string::npos);
    ++converted;
    return "<" + utf8 + ">";
  };
  const kv::RequestFields defaults;
  kv::RequestFields fields;
  const kv::ParseOutcome outcome = kv::ParseRequestText(text, &fields, toAnsi);
  if (outcome != kv::ParseOutcome::kParsed) {
    KV_CHECK(SameFields(fields, defaults));
  } else {
    KV_CHECK(fields.uploadUrl == kv::ResolveUploadUrl(fields.postUrl, fields.pageUrl));
    KV_CHECK(fields.hasWinName || fields.winName.empty());
  }
  kv::RequestFields again;
  KV_CHECK(kv::ParseRequestText(text, &again, toAnsi) == outcome);
  KV_CHECK(SameFields(fields, again));

  // Without a converter the texts are the UTF-8 itself.
  kv::RequestFields plain;
  KV_CHECK(kv::ParseRequestText(text, &plain) == outcome);
  if (outcome == kv::ParseOutcome::kParsed) {
    for (const std::string* s :
         {&plain.command, &plain.postUrl, &plain.pageUrl, &plain.fileField, &plain.fileName,
          &plain.postParams, &plain.tipInfo, &plain.uiLanguage, &plain.winName}) {
      KV_CHECK(kv::SanitizeUtf8(*s) == *s && s->find('\0') == std::string::npos);
    }
  }
  return 0;
}
