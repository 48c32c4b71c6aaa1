// kvcapture_latency [runs]: the steps of a "CaptureScreen" request one
// after another, as the host takes them, timed: screen copy, encoding into
// the capture file, the host's making of the event (the file read, its
// Base64 text when the event can carry it, escaping and framing in one
// buffer), and the write of the frame into standard output (a pipe, so its
// time depends on the reader). One line per run on standard error:
//   copy_ms encode_ms event_ms write_ms file_bytes width height event_bytes
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/host.h"
#include "output/capture_path.h"
#include "output/image_output.h"
#include "overlay/screen_copy.h"
#include "winutil/scoped_win.h"

namespace {

double Ms(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  const std::string name = "latency.png";
  int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  for (int i = 0; i < runs; ++i) {
    LARGE_INTEGER t0, t1, t2, t3, t4;
    QueryPerformanceCounter(&t0);
    kv::ScopedBitmap bitmap;
    {
      kv::ScopedGetDC desktop(GetDesktopWindow());
      bitmap.reset(kv::CaptureScreenArea(desktop.get(), x, y, w, h));
    }
    QueryPerformanceCounter(&t1);
    kv::SaveToCaptureFolder(bitmap.get(), name);
    QueryPerformanceCounter(&t2);
    const std::string path = kv::TemporaryCapturePath(name);
    const std::string frame = kv::CaptureEventFrame(path);
    QueryPerformanceCounter(&t3);
    kv::WriteFrame(frame);
    QueryPerformanceCounter(&t4);
    WIN32_FILE_ATTRIBUTE_DATA attrs{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attrs);
    std::fprintf(stderr, "%.3f %.3f %.3f %.3f %lu %d %d %zu\n", Ms(t0, t1), Ms(t1, t2), Ms(t2, t3),
                 Ms(t3, t4), attrs.nFileSizeLow, w, h, frame.size());
  }
  return 0;
}
