// The PNG writer on the screen pictures of tests/bench/png_corpus.py (binary
// PPM files in $KV_PNG_CORPUS, default build/png-corpus), held as the host
// holds a capture: 32-bit pixels, bottom-up. For comparison, zlib's
// deflate at levels 1 and 6 over the same filtered rows (what a writer
// built on zlib would spend on compression alone), when zlib is linked.
// Counters: bytes of the file, and its size against Pillow's (sizes.txt).
// With KV_PNG_WRITE_TO set, the files are also written into that folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/png_writer.h"
#ifdef KV_BENCH_ZLIB
#include <zlib.h>
#endif

namespace {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> bgrx;  // bottom-up rows
  kv::BgrPixels View() const {
    kv::BgrPixels p;
    const ptrdiff_t stride = 4 * static_cast<ptrdiff_t>(width);
    p.top = bgrx.data() + (height - 1) * stride;
    p.stride = -stride;
    p.width = width;
    p.height = height;
    p.bytesPerPixel = 4;
    return p;
  }
};

std::string CorpusFolder() {
  const char* env = std::getenv("KV_PNG_CORPUS");
  return env ? env : "build/png-corpus";
}

bool LoadPpm(const std::string& path, Picture& pic) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxValue = 0;
  if (!(in >> magic >> pic.width >> pic.height >> maxValue) || magic != "P6") return false;
  in.get();
  std::vector<uint8_t> rgb(3 * static_cast<size_t>(pic.width) * pic.height);
  if (!in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size())))
    return false;
  pic.bgrx.resize(4 * static_cast<size_t>(pic.width) * pic.height);
  for (int y = 0; y < pic.height; ++y) {
    const uint8_t* s = rgb.data() + 3 * static_cast<size_t>(y) * pic.width;
    uint8_t* d = pic.bgrx.data() + 4 * static_cast<size_t>(pic.height - 1 - y) * pic.width;
    for (int x = 0; x < pic.width; ++x, s += 3, d += 4) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = 0;
    }
  }
  return true;
}

std::map<std::string, double> PillowSizes() {
  std::map<std::string, double> sizes;
  std::ifstream in(CorpusFolder() + "/sizes.txt");
  std::string name, colours;
  double bytes;
  while (in >> name >> bytes >> colours) sizes[name] = bytes;
  return sizes;
}

void BM_EncodePng(benchmark::State& state, const std::string& name) {
  Picture pic;
  if (!LoadPpm(CorpusFolder() + "/" + name + ".ppm", pic)) {
    state.SkipWithError("corpus missing: run tests/bench/png_corpus.py build/png-corpus");
    return;
  }
  size_t bytes = 0;
  for (auto _ : state) {
    std::vector<uint8_t> file = kv::EncodePng(pic.View());
    bytes = file.size();
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  if (const char* folder = std::getenv("KV_PNG_WRITE_TO")) {  // for pngcheck
    const std::vector<uint8_t> file = kv::EncodePng(pic.View());
    if (FILE* f = std::fopen((std::string(folder) + "/" + name + ".png").c_str(), "wb")) {
      std::fwrite(file.data(), 1, file.size(), f);
      std::fclose(f);
    }
  }
  const double pillow = PillowSizes()[name];
  if (pillow > 0) state.counters["vs_pillow"] = bytes / pillow;
  state.counters["Mpixel/s"] =
      benchmark::Counter(static_cast<double>(pic.width) * pic.height * state.iterations() / 1e6,
                         benchmark::Counter::kIsRate);
}

#ifdef KV_BENCH_ZLIB
// zlib alone over rows filtered with "up" (a floor for a zlib-based
// writer: its filtering and palette work come on top).
void BM_ZlibDeflate(benchmark::State& state, const std::string& name, int level) {
  Picture pic;
  if (!LoadPpm(CorpusFolder() + "/" + name + ".ppm", pic)) {
    state.SkipWithError("corpus missing");
    return;
  }
  const size_t rowBytes = 3 * static_cast<size_t>(pic.width);
  std::vector<uint8_t> filtered((rowBytes + 1) * pic.height);
  std::vector<uint8_t> prev(rowBytes, 0), cur(rowBytes);
  for (int y = 0; y < pic.height; ++y) {
    const uint8_t* s = pic.bgrx.data() + 4 * static_cast<size_t>(pic.height - 1 - y) * pic.width;
    for (int x = 0; x < pic.width; ++x) {
      cur[3 * x] = s[4 * x + 2];
      cur[3 * x + 1] = s[4 * x + 1];
      cur[3 * x + 2] = s[4 * x];
    }
    uint8_t* d = filtered.data() + y * (rowBytes + 1);
    d[0] = 2;
    for (size_t i = 0; i < rowBytes; ++i) d[1 + i] = static_cast<uint8_t>(cur[i] - prev[i]);
    prev.swap(cur);
  }
  std::vector<uint8_t> out(compressBound(filtered.size()));
  uLongf size = 0;
  for (auto _ : state) {
    size = out.size();
    compress2(out.data(), &size, filtered.data(), filtered.size(), level);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(size);
}
#endif

const char* const kCorpus[] = {"web-1920x1080",       "editor-1920x1080",   "dialog-1920x1080",
                               "wallpaper-1920x1080", "web-3840x2160",      "editor-3840x2160",
                               "dialog-3840x2160",    "wallpaper-3840x2160"};

const int kRegistered = [] {
  for (const char* name : kCorpus) {
    benchmark::RegisterBenchmark((std::string("BM_EncodePng/") + name).c_str(), BM_EncodePng,
                                 std::string(name))
        ->Unit(benchmark::kMillisecond);
  }
#ifdef KV_BENCH_ZLIB
  for (int level : {1, 6}) {
    for (const char* name : kCorpus) {
      benchmark::RegisterBenchmark(
          (std::string("BM_ZlibDeflate/level") + std::to_string(level) + "/" + name).c_str(),
          BM_ZlibDeflate, std::string(name), level)
          ->Unit(benchmark::kMillisecond);
    }
  }
#endif
  return 0;
}();

}  // namespace
