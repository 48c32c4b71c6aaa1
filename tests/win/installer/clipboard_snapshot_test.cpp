// The user's clipboard survives the assistant borrowing it: text, a
// picture and a program's own format all come back.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "installer/clipboard_snapshot.h"

namespace kv {
namespace {

void Put(UINT format, const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  std::memcpy(GlobalLock(block), bytes, size);
  GlobalUnlock(block);
  ASSERT_TRUE(SetClipboardData(format, block));
}

std::vector<char> Read(UINT format, size_t size) {
  HANDLE data = GetClipboardData(format);
  if (!data || GlobalSize(data) < size) return {};
  const char* p = static_cast<const char*>(GlobalLock(data));
  std::vector<char> bytes(p, p + size);
  GlobalUnlock(data);
  return bytes;
}

TEST(ClipboardSnapshot, TextPictureAndOwnFormatComeBack) {
  const UINT own = RegisterClipboardFormatW(L"KvCapture test format");
  const wchar_t text[] = L"the user's own text";
  struct {
    BITMAPINFOHEADER header;
    DWORD pixels[4];
  } dib{{sizeof(BITMAPINFOHEADER), 2, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0},
        {0x112233, 0x445566, 0x778899, 0xAABBCC}};
  const char mine[] = {1, 2, 3, 0, 5};
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  Put(CF_UNICODETEXT, text, sizeof text);
  Put(CF_DIB, &dib, sizeof dib);
  Put(own, mine, sizeof mine);
  CloseClipboard();

  ClipboardSnapshot snapshot;
  ASSERT_TRUE(TakeClipboardSnapshot(nullptr, 10, 25, &snapshot));
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  Put(CF_TEXT, "chrome://extensions", 20);
  CloseClipboard();
  ASSERT_TRUE(RestoreClipboardSnapshot(nullptr, 10, 25, snapshot));

  ASSERT_TRUE(OpenClipboard(nullptr));
  const std::vector<char> textBack = Read(CF_UNICODETEXT, sizeof text);
  const std::vector<char> dibBack = Read(CF_DIB, sizeof dib);
  EXPECT_EQ(std::vector<char>(mine, mine + sizeof mine), Read(own, sizeof mine));
  EXPECT_TRUE(GetClipboardData(CF_BITMAP));  // made again from the picture
  CloseClipboard();
  ASSERT_EQ(textBack.size(), sizeof text);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(textBack.data())), text);
  ASSERT_EQ(dibBack.size(), sizeof dib);
  EXPECT_EQ(std::memcmp(dibBack.data(), &dib, sizeof dib), 0);
}

}  // namespace
}  // namespace kv
