#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "core/multipart.h"

namespace {

const std::string kDelim = "----MULTI-PARTS-FORM-DATA-BOUNDARY";

// Files held in memory; `shortBy` makes a file yield fewer bytes than its
// reported size (a file cut while it is read).
struct MemoryFiles {
  std::map<std::string, std::string> files;
  uint64_t shortBy = 0;
  uint64_t growBy = 0;
  size_t largestRead = 0;

  kv::OpenFileFn Opener() {
    return [this](const std::string& path) -> std::unique_ptr<kv::FileSource> {
      auto it = files.find(path);
      if (it == files.end()) return nullptr;
      return std::make_unique<Source>(this, it->second);
    };
  }

  struct Source : kv::FileSource {
    Source(MemoryFiles* owner, std::string data) : owner(owner), data(std::move(data)) {
      this->data.append(owner->growBy, 'G');
    }
    uint64_t Size() override { return data.size() - owner->growBy + owner->shortBy; }
    size_t Read(char* buffer, size_t size) override {
      owner->largestRead = std::max(owner->largestRead, size);
      size_t n = std::min(size, data.size() - pos);
      std::memcpy(buffer, data.data() + pos, n);
      pos += n;
      return n;
    }
    MemoryFiles* owner;
    std::string data;
    size_t pos = 0;
  };
};

std::string Build(const std::vector<kv::PostField>& fields, MemoryFiles* files,
                  kv::BodyOutcome expected = kv::BodyOutcome::kBuilt) {
  std::string body = "stale";
  EXPECT_EQ(kv::BuildMultipartBody(fields, files->Opener(), &body), expected);
  return body;
}

kv::PostField Text(const std::string& name, const std::string& value) {
  return {name, value, value, false};
}
kv::PostField File(const std::string& name, const std::string& path, const std::string& announced) {
  return {name, path, announced, true};
}

TEST(Multipart, TextPartTextAndLength) {
  EXPECT_EQ(kv::FormatTextPart("a", "1"),
            kDelim + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n");
  for (auto [name, value] :
       {std::pair<std::string, std::string>{"", ""}, {"k", "x=y"}, {"名前", "値\r\n\r\nmore"}}) {
    EXPECT_EQ(kv::FormatTextPart(name, value).size(), 81 + name.size() + value.size());
  }
}

TEST(Multipart, FilePartHeaderAndSubtype) {
  EXPECT_EQ(kv::FormatFilePartHeader("UploadFile", "C:\\t\\KvCapture\\shot.jpg"),
            kDelim +
                "\r\nContent-Disposition: form-data; name=\"UploadFile\"; "
                "filename=\"C:\\t\\KvCapture\\shot.jpg\"\r\nContent-Type: image/jpg\r\n\r\n");
  struct {
    const char *announced, *subtype;
  } cases[] = {
      {"shot.png", "png"}, {"noextension", "png"}, {"a.b.png", "png"}, {"a.GIF", "GIF"},
      {"dot.", ""},        {"C:\\x.y\\z", "y\\z"}, {"", "png"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kv::ImageSubtype(c.announced), c.subtype) << c.announced;
    std::string header = kv::FormatFilePartHeader("f", c.announced);
    EXPECT_EQ(header.size(), 114 + 1 + std::strlen(c.announced) + std::strlen(c.subtype));
    EXPECT_NE(header.find("Content-Type: image/" + std::string(c.subtype) + "\r\n\r\n"),
              std::string::npos);
  }
}

TEST(Multipart, AnnouncedFileNameIsTheBaseNameOnly) {
  EXPECT_EQ(kv::AnnouncedFileName("C:\\Users\\alice\\AppData\\Local\\Temp\\KvCapture\\shot.jpg"),
            "shot.jpg");
  EXPECT_EQ(kv::AnnouncedFileName("C:/Users/alice/a.b.png"), "a.b.png");
  // A UTF-8 name of a Chinese folder and file.
  EXPECT_EQ(kv::AnnouncedFileName("C:\\\xe7\x94\xa8\\\xe5\x9b\xbe.png"), "\xe5\x9b\xbe.png");
  EXPECT_EQ(kv::AnnouncedFileName("shot.png"), "shot.png");
  EXPECT_EQ(kv::AnnouncedFileName("C:\\dir\\"), "");
  EXPECT_EQ(kv::ImageSubtype(kv::AnnouncedFileName("C:\\x.y\\shot")), "png");
}

TEST(Multipart, HeaderTextCannotBreakTheHeader) {
  struct {
    const char *in, *out;
  } cases[] = {
      {"plain", "plain"},
      {"a\"b", "a%22b"},
      {"a\r\nContent-Type: x", "a%0D%0AContent-Type: x"},
      {"\n\r\"", "%0A%0D%22"},
      {"100%", "100%"},
      {"名前", "名前"},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::EscapeHeaderText(c.in), c.out);
  EXPECT_EQ(kv::FormatTextPart("x\"\r\ny", "v"),
            kDelim + "\r\nContent-Disposition: form-data; name=\"x%22%0D%0Ay\"\r\n\r\nv\r\n");
  std::string header = kv::FormatFilePartHeader("f\n", "C:\\a\"b\r.png");
  EXPECT_NE(header.find("name=\"f%0A\"; filename=\"C:\\a%22b%0D.png\"\r\n"), std::string::npos);
}

TEST(Multipart, BodyWithoutFieldsIsTheClosingLine) {
  MemoryFiles files;
  std::string body = Build({}, &files);
  EXPECT_EQ(body, kDelim + "--\r\n");
  EXPECT_EQ(body.size(), 38u);
}

TEST(Multipart, BodyOfFieldsAndFile) {
  MemoryFiles files;
  std::string bytes("\x89PNG\r\n\x1a\n\0\0data\r\n", 16);
  files.files["C:\\k\\s.png"] = bytes;
  std::string body = Build(
      {Text("a", "1"), Text("b", ""), File("UploadFile", "C:\\k\\s.png", "C:\\k\\s.png")}, &files);
  std::string expected = kv::FormatTextPart("a", "1") + kv::FormatTextPart("b", "") +
                         kv::FormatFilePartHeader("UploadFile", "C:\\k\\s.png") + bytes + "\r\n" +
                         kDelim + "--\r\n";
  EXPECT_EQ(body, expected);
}

TEST(Multipart, FileThatCannotBeOpenedGivesTheHeaderAlone) {
  MemoryFiles files;
  std::string body = Build({File("f", "missing", "m.png"), Text("after", "x")}, &files);
  EXPECT_EQ(body, kv::FormatFilePartHeader("f", "m.png") + kv::FormatTextPart("after", "x") +
                      kDelim + "--\r\n");
}

TEST(Multipart, FileIsReadNoFurtherThanItsPlannedSize) {
  MemoryFiles files;
  files.files["p"] = std::string(200000, 'x');
  const std::string tail = "\r\n" + kDelim + "--\r\n";
  const size_t header = kv::FormatFilePartHeader("f", "p").size();

  files.growBy = 5;  // the file grew after the body was planned
  std::string grown = Build({File("f", "p", "p")}, &files);
  EXPECT_EQ(grown.size(), header + 200000 + tail.size());
  EXPECT_EQ(grown.substr(grown.size() - tail.size()), tail);
  EXPECT_LE(files.largestRead, 64u * 1024u);

  files.growBy = 0;
  files.shortBy = 1000;  // the file shrank: the body holds what was there
  std::string shrunk = Build({File("f", "p", "p")}, &files);
  EXPECT_EQ(shrunk.size(), header + 200000 + tail.size());
  EXPECT_EQ(shrunk.substr(shrunk.size() - tail.size()), tail);
}

TEST(Multipart, ContentHoldingTheDelimiterIsRefused) {
  MemoryFiles files;
  files.files["evil"] = "abc\r\n" + kDelim + "--\r\n";
  files.files["starts"] = kDelim + "\r\n";
  files.files["harmless"] = "x" + kDelim + "\r\n-" + kDelim.substr(2) + "\n" + kDelim;
  using O = kv::BodyOutcome;
  struct {
    std::vector<kv::PostField> fields;
    O outcome;
  } cases[] = {
      {{Text("a", "x\r\n" + kDelim)}, O::kDelimiterInContent},
      {{Text("a", kDelim + "--")}, O::kDelimiterInContent},
      {{Text("a", "x\r\n" + kDelim.substr(0, 20))}, O::kBuilt},
      {{Text("a", "line\r\nline\r\n\"quoted\"")}, O::kBuilt},
      {{File("f", "evil", "e.png")}, O::kDelimiterInContent},
      {{File("f", "starts", "s.png")}, O::kDelimiterInContent},
      {{File("f", "harmless", "h.png")}, O::kBuilt},
  };
  for (auto& c : cases) {
    std::string body = Build(c.fields, &files, c.outcome);
    if (c.outcome != O::kBuilt) {
      EXPECT_TRUE(body.empty());
    }
  }
}

TEST(Multipart, HugeFileIsRefusedBeforeAnyAllocation) {
  struct Huge : kv::FileSource {
    uint64_t Size() override { return ~uint64_t{0} - 10; }
    size_t Read(char*, size_t) override { return 0; }
  };
  std::string body;
  auto open = [](const std::string&) -> std::unique_ptr<kv::FileSource> {
    return std::make_unique<Huge>();
  };
  EXPECT_EQ(kv::BuildMultipartBody({File("f", "p", "p")}, open, &body), kv::BodyOutcome::kTooLarge);
  EXPECT_TRUE(body.empty());
}

TEST(Multipart, PostParamsSplit) {
  using Items = std::vector<std::pair<std::string, std::string>>;
  struct {
    const char* params;
    Items items;
  } cases[] = {
      {"", {}},
      {"a=1&&b=2", {{"a", "1"}, {"b", "2"}}},
      {"&a=1&", {{"a", "1"}}},
      {"&&&", {}},
      {"k=x=y", {{"k", "x=y"}}},
      {"a=", {{"a", ""}}},
      {"flag&b=2", {{"flag", ""}, {"b", "2"}}},
      {"=x", {{"=x", ""}}},
      {"==x", {{"=", "x"}}},
      {"a=%41+b", {{"a", "%41+b"}}},
      {"n=\xe5\x80\xa4", {{"n", "\xe5\x80\xa4"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::SplitPostParams(c.params), c.items) << c.params;
}

}  // namespace
