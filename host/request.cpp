// The process-wide request record.
#include "host/host.h"
#include "winutil/codepage.h"

namespace kv {

CaptureRequest captureRequest;

bool ParseRequest(const std::string& utf8Text) {
  RequestFields fields = captureRequest;
  if (ParseRequestText(utf8Text, &fields, Utf8ToAnsi) != ParseOutcome::kParsed) return false;
  static_cast<RequestFields&>(captureRequest) = fields;
  if (fields.hasWinName) captureRequest.targetWindow = FindWindowA(nullptr, fields.winName.c_str());
  return true;
}

}  // namespace kv
