// The request record and its parser.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace kv {

// Text fields hold text in the host's ANSI code page (the parser converts
// every string it takes from the UTF-8 request with the converter it is
// given). The window named by "WinName" is looked up by the caller.
struct RequestFields {
  std::string command;
  std::string postUrl;
  std::string pageUrl;
  std::string uploadUrl;
  std::string fileField = "UploadFile";
  std::string fileName = "VovoDodere.png";
  std::string postParams;
  std::string tipInfo;
  std::string uiLanguage;
  bool autoMinimize = false;
  int32_t captureLeft = 0;
  int32_t captureTop = 0;
  int32_t captureWidth = 0;
  int32_t captureHeight = 0;
  int32_t captureWinIndex = 0;
  bool hasWinName = false;  // "WinName" present and not null
  std::string winName;
  uint32_t offset = 0;  // "Offset": where "ReadCapture" reads, "WriteCapture" writes
  std::string data;     // "Data": Base64 text of a "WriteCapture" piece, as sent
  bool last = false;    // "Last": the piece completes the file
};

// Converts UTF-8 text to the host's ANSI code page.
using TextConverter = std::function<std::string(const std::string& utf8)>;

enum class ParseOutcome {
  kParsed,    // every present key converted
  kNotJson,   // empty text, or not JSON: fields unchanged
  kRejected,  // JSON, but a root or value the conversions refuse: fields unchanged
};

// Parses the UTF-8 request text into `fields`. Comments are accepted and a
// member given twice counts with its later value. On any outcome other than
// kParsed, `fields` is left exactly as it was. `toAnsi` may be empty
// (texts stay UTF-8).
ParseOutcome ParseRequestText(const std::string& utf8Text, RequestFields* fields,
                              const TextConverter& toAnsi = {});

// The upload address from "PostUrl" and "PageUrl".
std::string ResolveUploadUrl(const std::string& postUrl, const std::string& pageUrl);

// True when `url` starts with http:, https: or ftp: (letters in any case).
bool HasUploadScheme(const std::string& url);

// Text form of a real number as the request parser writes it ("%.17g").
std::string RealToText(double value);

}  // namespace kv
