#include "core/multipart.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <new>

namespace kv {

namespace {

const std::string kDelimiterLine = std::string("--") + kBoundary;
// What a part's content must not hold: CR LF and the delimiter line.
const std::string kDelimiter = "\r\n" + kDelimiterLine;
// Files are read straight into the body in pieces of this size.
constexpr size_t kReadPiece = 64 * 1024;

// True when content in [begin, end) would end its part early: it holds CR LF
// and the delimiter line, or starts with the delimiter line (the CR LF that
// ends the part header stands right before it).
bool HoldsDelimiter(const char* begin, const char* end) {
  const size_t n = static_cast<size_t>(end - begin);
  if (n >= kDelimiterLine.size() &&
      std::memcmp(begin, kDelimiterLine.data(), kDelimiterLine.size()) == 0) {
    return true;
  }
  std::boyer_moore_horspool_searcher<const char*> searcher(kDelimiter.data(),
                                                           kDelimiter.data() + kDelimiter.size());
  return std::search(begin, end, searcher) != end;
}

// A part as planned before the body is assembled.
struct PlannedPart {
  std::string text;                  // whole text part, or a file part's header
  std::unique_ptr<FileSource> file;  // open file of a file part
  uint64_t fileSize = 0;
};

}  // namespace

std::string EscapeHeaderText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\r': out += "%0D"; break;
      case '\n': out += "%0A"; break;
      case '"': out += "%22"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string AnnouncedFileName(const std::string& utf8Path) {
  // UTF-8 never has '\\' or '/' inside a multibyte character.
  size_t slash = utf8Path.find_last_of("\\/");
  return slash == std::string::npos ? utf8Path : utf8Path.substr(slash + 1);
}

std::string ImageSubtype(const std::string& announcedName) {
  size_t dot = announcedName.rfind('.');
  return dot == std::string::npos ? "png" : announcedName.substr(dot + 1);
}

std::string FormatTextPart(const std::string& name, const std::string& value) {
  return kDelimiterLine + "\r\nContent-Disposition: form-data; name=\"" + EscapeHeaderText(name) +
         "\"\r\n\r\n" + value + "\r\n";
}

std::string FormatFilePartHeader(const std::string& name, const std::string& announcedName) {
  std::string announced = EscapeHeaderText(announcedName);
  return kDelimiterLine + "\r\nContent-Disposition: form-data; name=\"" + EscapeHeaderText(name) +
         "\"; filename=\"" + announced + "\"\r\nContent-Type: image/" + ImageSubtype(announced) +
         "\r\n\r\n";
}

BodyOutcome BuildMultipartBody(const std::vector<PostField>& fields, const OpenFileFn& openFile,
                               std::string* body) {
  body->clear();
  std::vector<PlannedPart> parts;
  parts.reserve(fields.size());
  const uint64_t kMaxBody =
      std::min<uint64_t>(body->max_size(), std::numeric_limits<size_t>::max() / 2);
  uint64_t total = std::strlen(kClosingLine);
  for (const PostField& field : fields) {
    PlannedPart part;
    if (!field.isFile) {
      const char* v = field.value.data();
      if (HoldsDelimiter(v, v + field.value.size())) return BodyOutcome::kDelimiterInContent;
      part.text = FormatTextPart(field.name, field.value);
    } else {
      part.text = FormatFilePartHeader(field.name, field.announcedName);
      part.file = openFile ? openFile(field.value) : nullptr;
      if (part.file) {
        part.fileSize = part.file->Size();
        if (part.fileSize > kMaxBody) return BodyOutcome::kTooLarge;
        total += part.fileSize + 2;
      }
    }
    total += part.text.size();
    if (total > kMaxBody) return BodyOutcome::kTooLarge;
    parts.push_back(std::move(part));
  }

  try {
    body->resize(static_cast<size_t>(total));
  } catch (const std::bad_alloc&) {
    body->clear();
    body->shrink_to_fit();
    return BodyOutcome::kTooLarge;
  }
  char* out = &(*body)[0];
  size_t pos = 0;
  for (PlannedPart& part : parts) {
    std::memcpy(out + pos, part.text.data(), part.text.size());
    pos += part.text.size();
    if (!part.file) continue;
    const size_t size = static_cast<size_t>(part.fileSize);
    size_t got = 0;
    while (got < size) {
      size_t n = part.file->Read(out + pos + got, std::min(kReadPiece, size - got));
      if (n == 0) break;
      got += std::min(n, size - got);
    }
    if (HoldsDelimiter(out + pos, out + pos + got)) {
      body->clear();
      return BodyOutcome::kDelimiterInContent;
    }
    pos += got;
    std::memcpy(out + pos, "\r\n", 2);
    pos += 2;
    part.file.reset();
  }
  std::memcpy(out + pos, kClosingLine, std::strlen(kClosingLine));
  pos += std::strlen(kClosingLine);
  body->resize(pos);
  return BodyOutcome::kBuilt;
}

std::vector<std::pair<std::string, std::string>> SplitPostParams(const std::string& params) {
  std::vector<std::pair<std::string, std::string>> items;
  size_t pos = 0;
  while (pos < params.size()) {
    size_t amp = params.find('&', pos);
    if (amp == std::string::npos) amp = params.size();
    if (amp > pos) {
      std::string item = params.substr(pos, amp - pos);
      size_t eq = item.find('=', 1);
      if (eq == std::string::npos) {
        items.emplace_back(item, std::string());
      } else {
        items.emplace_back(item.substr(0, eq), item.substr(eq + 1));
      }
    }
    pos = amp + 1;
  }
  return items;
}

}  // namespace kv
