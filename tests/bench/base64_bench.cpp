// Base64 text of a capture file: throughput of the encoder with its line
// breaks, for the sizes the completed event carries.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/base64.h"
#include "core/event.h"
#include "core/framing.h"

namespace {

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> data(n);
  uint32_t state = 0x12345678u;
  for (auto& b : data) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(state >> 24);
  }
  return data;
}

void BM_Base64Encode(benchmark::State& state) {
  const auto data = Bytes(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    std::string text = kv::Base64Encode(data.data(), data.size());
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// 4 KiB, the largest file whose text fits an event (about 780 KB), and a
// screen-sized bitmap file.
BENCHMARK(BM_Base64Encode)->Arg(4096)->Arg(786432)->Arg(8 << 20);

// The largest capture file whose completed event carries its text: the
// event is then just below 1 MiB.
constexpr size_t kLargestCarried = 745000;

// Stops a benchmark whose event came out without the text.
bool CarriesText(benchmark::State& state, const std::string& frame) {
  if (frame.size() > 1000000) return true;
  state.SkipWithError("the event does not carry the text");
  return false;
}

// The framed completed event of a capture whose text just fits (about
// 1 MiB): escaping and framing in one buffer.
void BM_FramedCaptureEvent(benchmark::State& state) {
  const auto data = Bytes(kLargestCarried);
  const std::string text = kv::Base64Encode(data.data(), data.size());
  const std::string path = "C:\\Users\\user\\AppData\\Local\\Temp\\KvCapture\\capture.png";
  for (auto _ : state) {
    std::string frame =
        kv::FramedEvent("OnCaptureCompleted", path, text, false, kv::kMaxEventBytes);
    if (!CarriesText(state, frame)) break;
    benchmark::DoNotOptimize(frame.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_FramedCaptureEvent);

// The same event made from the file's bytes: the Base64 text made apart and
// then escaped into the frame (argument 0), against the text encoded
// straight into it (argument 1).
void BM_CaptureEventFromBytes(benchmark::State& state) {
  const auto data = Bytes(kLargestCarried);
  const std::string path = "C:\\Users\\user\\AppData\\Local\\Temp\\KvCapture\\capture.png";
  const char name[] = "OnCaptureCompleted";
  for (auto _ : state) {
    std::string frame =
        state.range(0)
            ? kv::FramedBase64Event(name, path, data.data(), data.size(), kv::kMaxEventBytes)
            : kv::FramedEvent(name, path, kv::Base64Encode(data.data(), data.size()), false,
                              kv::kMaxEventBytes);
    if (!CarriesText(state, frame)) break;
    benchmark::DoNotOptimize(frame.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * data.size());
}
BENCHMARK(BM_CaptureEventFromBytes)->Arg(0)->Arg(1);

}  // namespace
