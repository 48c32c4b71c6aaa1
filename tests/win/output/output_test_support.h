// Helpers of the image output tests: a private temporary folder, pictures
// with known pixels, and reading image files back.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

// Points the process's temporary folder (TMP, TEMP) at a fresh folder and
// removes it again at the end.
class ScratchTemp {
 public:
  ScratchTemp();
  ~ScratchTemp();
  ScratchTemp(const ScratchTemp&) = delete;
  ScratchTemp& operator=(const ScratchTemp&) = delete;
  // Ends with a backslash.
  const std::string& dir() const { return dir_; }
  // Every file below dir(), relative, sorted.
  std::vector<std::string> Files() const;

 private:
  std::string dir_, oldTmp_, oldTemp_;
};

// The colour of a test pattern at (x, y).
COLORREF PatternColor(int x, int y, int seed);

// A 24-bit (or 32-bit) DIB section holding the pattern of `seed`.
HBITMAP MakePatternDib(int width, int height, int seed, int bitsPerPixel = 24);

std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// A decoded image file.
struct Decoded {
  bool ok = false;
  int width = 0, height = 0;
  std::vector<COLORREF> pixels;  // row by row
  COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Decoded DecodeImageFile(const std::string& path);

// Number of pixels of `image` that differ from the pattern of `seed` taken
// from (dx, dy).
int PatternMismatches(const Decoded& image, int seed, int dx = 0, int dy = 0);

}  // namespace kvtest
