// The multipart/form-data body of an upload.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kv {

// Announced in the Content-Type header; every delimiter line is "--" and it.
constexpr char kBoundary[] = "--MULTI-PARTS-FORM-DATA-BOUNDARY";
// "----MULTI-PARTS-FORM-DATA-BOUNDARY--" CR LF.
constexpr char kClosingLine[] = "----MULTI-PARTS-FORM-DATA-BOUNDARY--\r\n";

// One form field. A text field is {name, value, value, false}; a file field
// {name, local path, announced file name, true}.
struct PostField {
  std::string name;
  std::string value;
  std::string announcedName;
  bool isFile = false;
};

// A file opened for reading by BuildMultipartBody.
class FileSource {
 public:
  virtual ~FileSource() = default;
  // Size as the file system reports it when the body is planned.
  virtual uint64_t Size() = 0;
  // Reads up to `size` bytes; 0 at the end or on an error.
  virtual size_t Read(char* buffer, size_t size) = 0;
};
// Opens the file at a path; null when it cannot be opened.
using OpenFileFn = std::function<std::unique_ptr<FileSource>(const std::string& path)>;

// Header text (field names, announced file names) made safe for a quoted
// header value the way browsers do it: CR, LF and '"' become %0D, %0A, %22.
std::string EscapeHeaderText(const std::string& text);

// The file name a file part announces for a local path in UTF-8: its last
// component (after the last '\\' or '/'), extension kept; the folders would
// tell every server the user's account name.
std::string AnnouncedFileName(const std::string& utf8Path);

// The image subtype announced for a file: the text after the last '.' of
// `announcedName`, or "png" when there is no '.'.
std::string ImageSubtype(const std::string& announcedName);

// A whole text part: delimiter line, Content-Disposition, empty line, the
// value, CR LF. 81 bytes plus the (escaped) name and the value.
std::string FormatTextPart(const std::string& name, const std::string& value);

// The header of a file part, up to and including its empty line. 114 bytes
// plus the (escaped) name, announced name and subtype.
std::string FormatFilePartHeader(const std::string& name, const std::string& announcedName);

enum class BodyOutcome {
  kBuilt,
  kTooLarge,           // the body does not fit in memory
  kDelimiterInContent  // a value or file holds the delimiter line
};

// Builds the body: every field's part in order, then the closing line. A
// file part is its header, the file's bytes and CR LF; a file that cannot be
// opened gives the header alone. The body is allocated once for its whole
// size and each file is read straight into it, no further than the size it
// had when the body was planned. Content that holds CR LF and the delimiter
// would end its part early and lose the fields after it: such a body is not
// built.
BodyOutcome BuildMultipartBody(const std::vector<PostField>& fields, const OpenFileFn& openFile,
                               std::string* body);

// The "PostParams" items name=value joined by '&'. Empty items are skipped;
// the name ends at the first '=' from the item's second character on, and
// further '=' belong to the value. An item without such '=' is a field with
// an empty value. Nothing is decoded.
std::vector<std::pair<std::string, std::string>> SplitPostParams(const std::string& params);

}  // namespace kv
