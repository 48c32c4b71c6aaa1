#include "core/request.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <new>

#include <nlohmann/json.hpp>

#include "core/utf8.h"

namespace kv {

namespace {

using json = nlohmann::json;

// Thrown when a value cannot be converted to the kind its key needs.
struct Rejected {};

std::string RealText(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string ToText(const json& v, const TextConverter& toAnsi) {
  switch (v.type()) {
    case json::value_t::string: {
      std::string s = CutAtZero(v.get_ref<const std::string&>());
      return toAnsi ? toAnsi(s) : s;
    }
    case json::value_t::boolean: return v.get<bool>() ? "true" : "false";
    case json::value_t::number_integer: return std::to_string(v.get<int64_t>());
    case json::value_t::number_unsigned: return std::to_string(v.get<uint64_t>());
    case json::value_t::number_float: return RealText(v.get<double>());
    default: throw Rejected{};
  }
}

bool ToBool(const json& v) {
  switch (v.type()) {
    case json::value_t::boolean: return v.get<bool>();
    case json::value_t::number_integer: return v.get<int64_t>() != 0;
    case json::value_t::number_unsigned: return v.get<uint64_t>() != 0;
    case json::value_t::number_float: return v.get<double>() != 0.0;
    default: throw Rejected{};
  }
}

bool InInt32(double d) { return d > -2147483649.0 && d < 2147483648.0; }

// Integer conversion within [lo, hi]: an integer gives itself, a real
// number its value truncated toward zero, true 1 and false 0; a value out
// of the range or of another kind is refused.
int64_t ToInteger(const json& v, int64_t lo, int64_t hi) {
  switch (v.type()) {
    case json::value_t::boolean: return v.get<bool>() ? 1 : 0;
    case json::value_t::number_integer: {
      int64_t i = v.get<int64_t>();
      if (i < lo || i > hi) throw Rejected{};
      return i;
    }
    case json::value_t::number_unsigned: {
      uint64_t u = v.get<uint64_t>();
      if (u > uint64_t(hi)) throw Rejected{};
      return static_cast<int64_t>(u);
    }
    case json::value_t::number_float: {
      double d = v.get<double>();
      if (!std::isfinite(d) || d <= double(lo) - 1.0 || d >= double(hi) + 1.0) throw Rejected{};
      return static_cast<int64_t>(std::trunc(d));
    }
    default: throw Rejected{};
  }
}

// The capture coordinates: signed 32-bit.
int32_t ToInt(const json& v) { return static_cast<int32_t>(ToInteger(v, INT32_MIN, INT32_MAX)); }

// "Offset": a byte position, 0 to 2^32 - 1, refused outside that range as a
// coordinate is outside its own.
uint32_t ToOffset(const json& v) { return static_cast<uint32_t>(ToInteger(v, 0, UINT32_MAX)); }

// "CaptureWinIndex": only whole numbers in range count; anything else is
// ignored rather than refused.
bool WholeInt(const json& v, int32_t* out) {
  switch (v.type()) {
    case json::value_t::number_integer: {
      int64_t i = v.get<int64_t>();
      if (i < INT32_MIN || i > INT32_MAX) return false;
      *out = static_cast<int32_t>(i);
      return true;
    }
    case json::value_t::number_unsigned: {
      uint64_t u = v.get<uint64_t>();
      if (u > uint64_t(INT32_MAX)) return false;
      *out = static_cast<int32_t>(u);
      return true;
    }
    case json::value_t::number_float: {
      double d = v.get<double>();
      if (!std::isfinite(d) || !InInt32(d) || std::trunc(d) != d) return false;
      *out = static_cast<int32_t>(d);
      return true;
    }
    default: return false;
  }
}

const json* Member(const json& root, const char* key) {
  if (!root.is_object()) return nullptr;
  auto it = root.find(key);
  if (it == root.end() || it->is_null()) return nullptr;
  return &*it;
}

}  // namespace

std::string RealToText(double value) { return RealText(value); }

bool HasUploadScheme(const std::string& url) {
  auto starts = [&](const char* scheme) {
    size_t n = std::char_traits<char>::length(scheme);
    if (url.size() < n + 1 || url[n] != ':') return false;
    for (size_t i = 0; i < n; ++i) {
      char c = url[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != scheme[i]) return false;
    }
    return true;
  };
  return starts("http") || starts("https") || starts("ftp");
}

std::string ResolveUploadUrl(const std::string& postUrl, const std::string& pageUrl) {
  if (!postUrl.empty() && HasUploadScheme(postUrl)) return postUrl;
  if (postUrl.empty()) return pageUrl;
  size_t slash = pageUrl.rfind('/');
  std::string base = slash == std::string::npos ? std::string() : pageUrl.substr(0, slash);
  return base + "/" + postUrl;
}

ParseOutcome ParseRequestText(const std::string& utf8Text, RequestFields* fields,
                              const TextConverter& toAnsi) {
  json root;
  try {
    root = json::parse(SanitizeUtf8(utf8Text), nullptr, /*allow_exceptions=*/false,
                       /*ignore_comments=*/true);
  } catch (const std::bad_alloc&) {
    // A request within the size limit can still describe more values than
    // a 32-bit process holds (a huge array, deep nesting): unreadable.
    return ParseOutcome::kNotJson;
  }
  if (root.is_discarded()) return ParseOutcome::kNotJson;
  if (!root.is_object() && !root.is_null()) return ParseOutcome::kRejected;

  RequestFields f = *fields;
  try {
    if (auto v = Member(root, "PostUrl")) f.postUrl = ToText(*v, toAnsi);
    if (auto v = Member(root, "PageUrl")) f.pageUrl = ToText(*v, toAnsi);
    if (auto v = Member(root, "FileField")) f.fileField = ToText(*v, toAnsi);
    if (auto v = Member(root, "FileName")) f.fileName = ToText(*v, toAnsi);
    if (auto v = Member(root, "PostParams")) f.postParams = ToText(*v, toAnsi);
    if (auto v = Member(root, "TipInfo")) f.tipInfo = ToText(*v, toAnsi);
    if (auto v = Member(root, "UILanguage")) f.uiLanguage = ToText(*v, toAnsi);
    if (auto v = Member(root, "AutoMinimize")) f.autoMinimize = ToBool(*v);
    if (auto v = Member(root, "Command")) f.command = ToText(*v, toAnsi);
    if (auto v = Member(root, "CaptureLeft")) f.captureLeft = ToInt(*v);
    if (auto v = Member(root, "CaptureTop")) f.captureTop = ToInt(*v);
    if (auto v = Member(root, "CaptureWidth")) f.captureWidth = ToInt(*v);
    if (auto v = Member(root, "CaptureHeight")) f.captureHeight = ToInt(*v);
    if (auto v = Member(root, "CaptureWinIndex")) WholeInt(*v, &f.captureWinIndex);
    if (auto v = Member(root, "WinName")) {
      f.winName = ToText(*v, toAnsi);
      f.hasWinName = true;
    }
    if (auto v = Member(root, "Offset")) f.offset = ToOffset(*v);
    // Base64 is ASCII in every code page: taken without conversion, and
    // only as text (a number would pass for Base64 digits).
    if (auto v = Member(root, "Data")) {
      if (!v->is_string()) throw Rejected{};
      f.data = v->get<std::string>();
    }
    if (auto v = Member(root, "Last")) f.last = ToBool(*v);
  } catch (const Rejected&) {
    return ParseOutcome::kRejected;
  }
  f.uploadUrl = ResolveUploadUrl(f.postUrl, f.pageUrl);
  *fields = f;
  return ParseOutcome::kParsed;
}

}  // namespace kv
