// The request frame reader, fed the input in pieces of varying size: an
// empty or overlong frame is answered as such, any other frame gives the
// bytes that arrived up to the first zero, and a framed message reads back.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/framing.h"
#include "core/utf8.h"
#include "fuzz_check.h"

namespace {

// Hands out `stream` in pieces whose sizes come from `sizes`.
kv::ReadFn PieceReader(const std::string& stream, size_t* pos, FuzzedDataProvider* sizes) {
  return [&stream, pos, sizes](char* buffer, size_t want) -> size_t {
    size_t n =
        std::min({want, stream.size() - *pos, sizes->ConsumeIntegralInRange<size_t>(1, 70000)});
    std::memcpy(buffer, stream.data() + *pos, n);
    *pos += n;
    return n;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  const std::string stream = fdp.ConsumeRandomLengthString(size);
  const std::string rest = fdp.ConsumeRemainingBytesAsString();
  FuzzedDataProvider sizes(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());

  size_t pos = 0;
  bool unreadable = true;
  const std::string body = kv::ReadFramedRequest(PieceReader(stream, &pos, &sizes), &unreadable);
  unsigned char prefix[4] = {0, 0, 0, 0};
  std::memcpy(prefix, stream.data(), std::min<size_t>(4, stream.size()));
  const uint32_t length = prefix[0] | prefix[1] << 8 | prefix[2] << 16 | uint32_t(prefix[3]) << 24;
  if (length == 0) {
    KV_CHECK(body.empty() && !unreadable);
  } else if (length > kv::kMaxRequestBytes) {
    KV_CHECK(body.empty() && unreadable);
  } else {
    KV_CHECK(!unreadable);
    const std::string arrived = stream.size() > 4 ? stream.substr(4, length) : std::string();
    KV_CHECK(body == kv::CutAtZero(arrived));
    KV_CHECK(pos <= 4 + size_t(length));  // nothing read past the frame
  }

  // A message framed by the writer reads back whole.
  const std::string framed = kv::FrameMessage(stream);
  KV_CHECK(framed.size() == stream.size() + 4);
  size_t again = 0;
  FuzzedDataProvider sizes2(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());
  KV_CHECK(kv::ReadFramedRequest(PieceReader(framed, &again, &sizes2)) == kv::CutAtZero(stream));
  return 0;
}
