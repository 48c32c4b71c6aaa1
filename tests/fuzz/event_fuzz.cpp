// The event writer: every event text is one line of JSON that gives back
// the name and arguments it was made from (arguments absent when empty),
// and the size rule keeps an event within its limit with arg1 cut at a
// character boundary and arg2 emptied or marked "truncated".
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "core/event.h"
#include "core/utf8.h"
#include "fuzz_check.h"

namespace {

nlohmann::json ParseEvent(const std::string& text) {
  KV_CHECK(!text.empty() && text.back() == '\n');
  KV_CHECK(text.find('\n') == text.size() - 1);
  nlohmann::json event = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  KV_CHECK(event.is_object());
  return event;
}

std::string Member(const nlohmann::json& event, const char* key) {
  auto it = event.find(key);
  if (it == event.end()) return std::string();
  KV_CHECK(it->is_string() && !it->get<std::string>().empty());
  return it->get<std::string>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  // The host hands the writer UTF-8 only (every value is converted first).
  const std::string name = kv::SanitizeUtf8(fdp.ConsumeRandomLengthString(64));
  const std::string arg1 = kv::SanitizeUtf8(fdp.ConsumeRandomLengthString(4096));
  const std::string arg2 = kv::SanitizeUtf8(fdp.ConsumeRandomLengthString(4096));
  const size_t limit = fdp.ConsumeIntegralInRange<size_t>(0, 12000);

  const nlohmann::json event = ParseEvent(kv::EventText(name, arg1, arg2));
  KV_CHECK(event.size() == 1 + !arg1.empty() + !arg2.empty());
  KV_CHECK(event.at("EventName") == name);
  KV_CHECK(Member(event, "arg1") == arg1);
  KV_CHECK(Member(event, "arg2") == arg2);

  const std::string limited = kv::EventTextLimited(name, arg1, arg2, limit);
  const nlohmann::json cut = ParseEvent(limited);
  KV_CHECK(cut.at("EventName") == name);
  const std::string minimal = kv::EventText(name, "x", kv::kTruncatedMark);
  if (limited == kv::EventText(name, arg1, arg2)) return 0;
  // Only an event too large for the limit is changed; an event that had to
  // change fits unless not even one character of arg1 could have.
  KV_CHECK(kv::EventText(name, arg1, arg2).size() > limit);
  if (limited.size() > limit) {
    KV_CHECK(minimal.size() > limit || arg1.empty());
  }
  auto a2 = cut.find("arg2");
  KV_CHECK(a2 != cut.end());
  const std::string cutArg1 = Member(cut, "arg1");
  if (*a2 == "") {
    KV_CHECK(cutArg1 == arg1);  // the picture went first
  } else {
    KV_CHECK(*a2 == kv::kTruncatedMark);
    KV_CHECK(arg1.compare(0, cutArg1.size(), cutArg1) == 0 && cutArg1.size() < arg1.size());
    KV_CHECK(kv::SanitizeUtf8(cutArg1) == cutArg1);
  }
  return 0;
}
