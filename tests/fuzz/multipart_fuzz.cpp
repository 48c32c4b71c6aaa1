// PostParams splitting and the multipart body. Splitting keeps the
// non-empty items in order, each cut at its first "=" from the second
// character on. A body that is built parses back, the way a server reads
// it, into exactly the parts it was given: no name, file name or value can
// end its part or start another, and content arrives byte for byte. A body
// that is refused really held the delimiter in some content.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/multipart.h"
#include "fuzz_check.h"

namespace {

const std::string kDelimiterLine = std::string("--") + kv::kBoundary;

class MemoryFile : public kv::FileSource {
 public:
  explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() override { return bytes_.size(); }
  size_t Read(char* buffer, size_t size) override {
    size_t n = std::min(size, bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  std::string bytes_;
  size_t pos_ = 0;
};

// Reads `prefix` and then a quoted text at `*pos` of a part header, the way
// a server's parser does; the quoted text ends at the first quote and must
// hold no CR or LF.
std::string Quoted(const std::string& header, size_t* pos, const std::string& prefix) {
  KV_CHECK(header.compare(*pos, prefix.size(), prefix) == 0);
  const size_t begin = *pos + prefix.size();
  const size_t end = header.find('"', begin);
  KV_CHECK(end != std::string::npos);
  std::string value = header.substr(begin, end - begin);
  KV_CHECK(value.find_first_of("\r\n") == std::string::npos);
  *pos = end + 1;
  return value;
}

void CheckSplit(const std::string& params) {
  const auto items = kv::SplitPostParams(params);
  size_t next = 0;
  for (size_t pos = 0; pos <= params.size();) {
    size_t amp = params.find('&', pos);
    if (amp == std::string::npos) amp = params.size();
    if (amp > pos) {
      KV_CHECK(next < items.size());
      const std::string item = params.substr(pos, amp - pos);
      const auto& [name, value] = items[next++];
      KV_CHECK(!name.empty() && name.find('&') == std::string::npos);
      KV_CHECK(value.find('&') == std::string::npos);
      if (name == item) {
        KV_CHECK(value.empty());
      } else {
        KV_CHECK(item == name + "=" + value);
        KV_CHECK(name.find('=', 1) == std::string::npos);
      }
    }
    pos = amp + 1;
  }
  KV_CHECK(next == items.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  CheckSplit(fdp.ConsumeRandomLengthString(512));

  std::vector<kv::PostField> fields;
  std::map<std::string, std::string> files;  // path -> bytes
  const int count = fdp.ConsumeIntegralInRange(0, 5);
  for (int i = 0; i < count; ++i) {
    kv::PostField f;
    f.isFile = fdp.ConsumeBool();
    f.name = fdp.ConsumeRandomLengthString(64);
    if (f.isFile) {
      f.value = "file" + std::to_string(i);
      f.announcedName = fdp.ConsumeRandomLengthString(64);
      if (fdp.ConsumeBool()) files[f.value] = fdp.ConsumeRandomLengthString(512);
    } else {
      f.value = fdp.ConsumeRandomLengthString(512);
    }
    fields.push_back(f);
  }
  auto open = [&files](const std::string& path) -> std::unique_ptr<kv::FileSource> {
    auto it = files.find(path);
    if (it == files.end()) return nullptr;
    return std::make_unique<MemoryFile>(it->second);
  };

  std::string body;
  const kv::BodyOutcome outcome = kv::BuildMultipartBody(fields, open, &body);
  auto holdsDelimiter = [](const std::string& content) {
    return content.compare(0, kDelimiterLine.size(), kDelimiterLine) == 0 ||
           content.find("\r\n" + kDelimiterLine) != std::string::npos;
  };
  bool anyDelimiter = false;
  for (const auto& f : fields) {
    if (!f.isFile)
      anyDelimiter |= holdsDelimiter(f.value);
    else if (files.count(f.value))
      anyDelimiter |= holdsDelimiter(files[f.value]);
  }
  if (outcome == kv::BodyOutcome::kDelimiterInContent) {
    KV_CHECK(anyDelimiter);
    return 0;
  }
  KV_CHECK(outcome == kv::BodyOutcome::kBuilt && !anyDelimiter);

  // Read the body as a server does: split at CR LF + delimiter line.
  const std::string closing = kv::kClosingLine;
  KV_CHECK(body.size() >= closing.size() &&
           body.compare(body.size() - closing.size(), std::string::npos, closing) == 0);
  std::vector<std::string> parts;
  size_t pos = 0;
  if (fields.empty()) {
    KV_CHECK(body == closing);
    return 0;
  }
  KV_CHECK(body.compare(0, kDelimiterLine.size() + 2, kDelimiterLine + "\r\n") == 0);
  pos = kDelimiterLine.size() + 2;
  for (;;) {
    size_t next = body.find("\r\n" + kDelimiterLine, pos);
    KV_CHECK(next != std::string::npos);
    parts.push_back(body.substr(pos, next - pos));
    pos = next + 2 + kDelimiterLine.size();
    if (body.compare(pos, 4, "--\r\n") == 0) {
      KV_CHECK(pos + 4 == body.size());
      break;
    }
    KV_CHECK(body.compare(pos, 2, "\r\n") == 0);
    pos += 2;
  }
  KV_CHECK(parts.size() == fields.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    const kv::PostField& f = fields[i];
    size_t headEnd = parts[i].find("\r\n\r\n");
    const bool fileMissing = f.isFile && !files.count(f.value);
    std::string header, content;
    if (headEnd == std::string::npos) {
      // Only a file that could not be opened leaves the part without content:
      // the CR LF of its header's blank line starts the next delimiter.
      KV_CHECK(fileMissing && parts[i].size() >= 2 &&
               parts[i].compare(parts[i].size() - 2, 2, "\r\n") == 0);
      header = parts[i].substr(0, parts[i].size() - 2);
    } else {
      header = parts[i].substr(0, headEnd);
      content = parts[i].substr(headEnd + 4);
    }
    size_t at = 0;
    KV_CHECK(Quoted(header, &at, "Content-Disposition: form-data; name=\"") ==
             kv::EscapeHeaderText(f.name));
    if (f.isFile) {
      KV_CHECK(Quoted(header, &at, "; filename=\"") == kv::EscapeHeaderText(f.announcedName));
      KV_CHECK(header.compare(at, 22, "\r\nContent-Type: image/") == 0);
      KV_CHECK(header.find("\r\n", at + 2) == std::string::npos);
      if (!fileMissing) KV_CHECK(content == files[f.value]);
    } else {
      KV_CHECK(at == header.size());
      KV_CHECK(content == f.value);
    }
  }
  return 0;
}
