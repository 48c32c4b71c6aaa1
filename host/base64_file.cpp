#include "core/base64.h"
#include "host/host.h"
#include "winutil/scoped_win.h"

namespace kv {

std::string Base64FileText(const std::string& path) {
  if (path.empty()) return std::string();
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || file.get() == INVALID_HANDLE_VALUE) return std::string();
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > 0x7FFFFFFFull)
    return std::string();
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(bytes.size() - got);
    if (!ReadFile(file.get(), &bytes[got], want, &n, nullptr) || n == 0) break;
    got += n;
  }
  bytes.resize(got);
  return Base64Encode(bytes);
}

}  // namespace kv
