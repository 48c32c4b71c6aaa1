// The portable work of an upload: assembling the multipart body around a
// capture file, splitting "PostParams", and fitting a long answer into one
// event message.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/event.h"
#include "core/framing.h"
#include "core/multipart.h"

namespace {

// A capture file held in memory.
class MemoryFile : public kv::FileSource {
 public:
  explicit MemoryFile(const std::string* data) : data_(data) {}
  uint64_t Size() override { return data_->size(); }
  size_t Read(char* buffer, size_t size) override {
    size_t n = std::min(size, data_->size() - pos_);
    std::memcpy(buffer, data_->data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const std::string* data_;
  size_t pos_ = 0;
};

void BM_MultipartBody(benchmark::State& state) {
  std::string file(static_cast<size_t>(state.range(0)), '\0');
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 131 + (i >> 9));
  std::vector<kv::PostField> fields = {
      {"title", "Demo", "Demo", false},
      {"tags", "kv,capture", "kv,capture", false},
      {"UploadFile", "C:\\t\\KvCapture\\shot.png", "C:\\t\\KvCapture\\shot.png", true},
  };
  auto open = [&file](const std::string&) -> std::unique_ptr<kv::FileSource> {
    return std::make_unique<MemoryFile>(&file);
  };
  for (auto _ : state) {
    std::string body;
    benchmark::DoNotOptimize(kv::BuildMultipartBody(fields, open, &body));
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MultipartBody)->Arg(1 << 20)->Arg(50 << 20)->Unit(benchmark::kMillisecond);

void BM_SplitPostParams(benchmark::State& state) {
  std::string params;
  for (int i = 0; i < 100; ++i) params += "name" + std::to_string(i) + "=value&&";
  for (auto _ : state) benchmark::DoNotOptimize(kv::SplitPostParams(params));
}
BENCHMARK(BM_SplitPostParams);

// A 3 MB answer cut to fit one message.
void BM_LongAnswerEvent(benchmark::State& state) {
  std::string answer(3000000, 'a');
  for (size_t i = 0; i < answer.size(); i += 80) answer[i] = '"';
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        kv::EventTextLimited("OnUploadCompleted", answer, "", kv::kMaxEventBytes));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(answer.size()));
}
BENCHMARK(BM_LongAnswerEvent)->Unit(benchmark::kMillisecond);

}  // namespace
