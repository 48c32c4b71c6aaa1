// The file-name rule, under no, Simplified and Traditional Chinese and
// Japanese double-byte rules: a name it accepts, read the way the system
// reads the path (a lead byte and the byte after it are one character),
// never leaves the capture folder: no separator, drive colon or zero in it,
// not a name of dots and spaces, not a device, within the path buffer; and
// it is the given name, with ".png" added only when the name has no dot.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_name.h"
#include "fuzz_check.h"

namespace {

bool GbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool SjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

const kv::LeadByteTest kRules[] = {nullptr, GbkLead, SjisLead};

// The characters of `text` as the system reads them.
std::vector<std::string> Characters(const std::string& text, kv::LeadByteTest isLead) {
  std::vector<std::string> out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = (isLead && isLead(c) && i + 1 < text.size()) ? 2 : 1;
    out.push_back(text.substr(i, n));
    i += n - 1;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const kv::LeadByteTest isLead = kRules[data[0] % 3];
  const std::string name(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string folder = "C:\\Users\\\xB2\xE2\xCA\xD4\\AppData\\Local\\Temp\\KvCapture\\";

  const std::string path = kv::CaptureFilePath(folder, name, isLead);
  const std::string bare = kv::CaptureFileName(name, isLead);
  if (path.empty()) return 0;
  KV_CHECK(path.size() < kv::kPathBufferSize);
  KV_CHECK(path.compare(0, folder.size(), folder) == 0);
  const std::string file = path.substr(folder.size());
  KV_CHECK(file == bare);
  KV_CHECK(file == name || file == name + ".png");

  bool onlyDotsAndSpaces = true;
  for (const std::string& ch : Characters(file, isLead)) {
    if (ch.size() == 1) {
      KV_CHECK(ch[0] != '\\' && ch[0] != '/' && ch[0] != ':' && ch[0] != '\0');
      if (ch[0] != '.' && ch[0] != ' ') onlyDotsAndSpaces = false;
    } else {
      onlyDotsAndSpaces = false;
    }
  }
  KV_CHECK(!onlyDotsAndSpaces);
  if (file != name) {
    for (const std::string& ch : Characters(name, isLead)) KV_CHECK(ch != ".");
  }
  // Device names open devices wherever they stand.
  std::string base = file.substr(0, file.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "COM1", "LPT1", "COM9", "LPT9"}) {
    KV_CHECK(base != device);
  }
  return 0;
}
