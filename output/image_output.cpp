// Image output: every picture that leaves the host is encoded here (format
// by file extension: PNG by the host's own writer, the others by GDI+),
// offered through "Save As" or put on the clipboard.
#include "output/image_output.h"

#include <commdlg.h>
#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include <gdiplus.h>

#include "core/file_name.h"
#include "core/languages.h"
#include "core/png_writer.h"
#include "output/capture_path.h"
#include "winutil/codepage.h"
#include "winutil/scoped_win.h"
#include "winutil/system_function.h"
#include "winutil/ui_text.h"

namespace kv {

namespace {

namespace gp = Gdiplus;
namespace flat = Gdiplus::DllExports;

// GDI+ is started before the first encoding and stays started.
bool EnsureGdiplus() {
  static bool started = false;
  if (!started) {
    ULONG_PTR token = 0;
    gp::GdiplusStartupInput input;
    started = gp::GdiplusStartup(&token, &input, nullptr) == gp::Ok;
  }
  return started;
}

// True when one entry of an encoder's extension list ("*.JPG;*.JPEG;...")
// has the extension `ext` (dot included), ignoring case.
bool ListsExtension(const WCHAR* list, const std::wstring& ext) {
  if (!list || ext.empty()) return false;
  std::wstring entries = list;
  size_t start = 0;
  while (start <= entries.size()) {
    size_t end = entries.find(L';', start);
    if (end == std::wstring::npos) end = entries.size();
    std::wstring entry = entries.substr(start, end - start);
    if (lstrcmpiW(PathFindExtensionW(entry.c_str()), ext.c_str()) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The encoder for the extension of `path`; false when none lists it.
bool FindEncoder(const std::wstring& path, CLSID* clsid, HRESULT* failure) {
  UINT count = 0, bytes = 0;
  if (flat::GdipGetImageEncodersSize(&count, &bytes) != gp::Ok || count == 0 || bytes == 0) {
    *failure = E_FAIL;
    return false;
  }
  std::vector<BYTE> buffer(bytes);
  auto* codecs = reinterpret_cast<gp::ImageCodecInfo*>(buffer.data());
  if (flat::GdipGetImageEncoders(count, bytes, codecs) != gp::Ok) {
    *failure = E_FAIL;
    return false;
  }
  std::wstring ext = PathFindExtensionW(path.c_str());
  for (UINT i = 0; i < count; ++i) {
    if (ListsExtension(codecs[i].FilenameExtension, ext)) {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  *failure = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
  return false;
}

// About a quarter of a second of tries for a clipboard another program holds.
constexpr int kClipboardTries = 10;
constexpr DWORD kClipboardPauseMs = 25;

using GetSaveFileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEW);

// The common dialog is not on every system: looked up when first needed.
GetSaveFileNameFn SaveFileDialog() {
  static const auto fn =
      LookUpSystemFunction<GetSaveFileNameFn>(L"comdlg32.dll", "GetSaveFileNameW");
  return fn;
}

// A GDI+ bitmap over the pixels of a 24- or 32-bit section, without copying
// them (a large capture is not held twice); null for any other bitmap. The
// section must outlive the GDI+ bitmap.
gp::GpBitmap* WrapSection(HBITMAP bitmap) {
  DIBSECTION section{};
  if (GetObject(bitmap, sizeof section, &section) != sizeof section) return nullptr;
  const BITMAPINFOHEADER& h = section.dsBmih;
  if (!section.dsBm.bmBits || h.biCompression != BI_RGB ||
      (h.biBitCount != 24 && h.biBitCount != 32)) {
    return nullptr;
  }
  GdiFlush();  // drawing queued on the section has landed
  const int width = section.dsBm.bmWidth, height = section.dsBm.bmHeight;
  INT stride = section.dsBm.bmWidthBytes;
  auto* first = static_cast<BYTE*>(section.dsBm.bmBits);
  if (h.biHeight > 0) {  // bottom-up: the top row is the last one in memory
    first += static_cast<size_t>(height - 1) * stride;
    stride = -stride;
  }
  const gp::PixelFormat format = h.biBitCount == 32 ? PixelFormat32bppRGB : PixelFormat24bppRGB;
  gp::GpBitmap* image = nullptr;
  if (flat::GdipCreateBitmapFromScan0(width, height, stride, format, first, &image) != gp::Ok) {
    return nullptr;
  }
  return image;
}

bool IsPngPath(const std::wstring& path) {
  return lstrcmpiW(PathFindExtensionW(path.c_str()), L".png") == 0;
}

// The bitmap's pixels for the PNG writer: a 24- or 32-bit section is read
// where it lies; any other bitmap is first copied into 32-bit rows
// (`copy`). False when there are none to read.
bool PixelsOf(HBITMAP bitmap, BgrPixels* pixels, std::vector<uint8_t>* copy) {
  DIBSECTION section{};
  if (GetObject(bitmap, sizeof section, &section) == sizeof section && section.dsBm.bmBits &&
      section.dsBmih.biCompression == BI_RGB &&
      (section.dsBmih.biBitCount == 24 || section.dsBmih.biBitCount == 32)) {
    GdiFlush();  // drawing queued on the section has landed
    const ptrdiff_t stride = section.dsBm.bmWidthBytes;
    auto* first = static_cast<const uint8_t*>(section.dsBm.bmBits);
    pixels->width = section.dsBm.bmWidth;
    pixels->height = section.dsBm.bmHeight;
    pixels->bytesPerPixel = section.dsBmih.biBitCount / 8;
    const bool bottomUp = section.dsBmih.biHeight > 0;
    pixels->top = bottomUp ? first + (pixels->height - 1) * stride : first;
    pixels->stride = bottomUp ? -stride : stride;
    return true;
  }
  BITMAP info{};
  if (!GetObject(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0)
    return false;
  BITMAPINFO rows{};
  rows.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  rows.bmiHeader.biWidth = info.bmWidth;
  rows.bmiHeader.biHeight = -info.bmHeight;  // top-down
  rows.bmiHeader.biPlanes = 1;
  rows.bmiHeader.biBitCount = 32;
  rows.bmiHeader.biCompression = BI_RGB;
  copy->resize(4 * static_cast<size_t>(info.bmWidth) * info.bmHeight);
  ScopedGetDC screen(nullptr);
  if (!screen || GetDIBits(screen.get(), bitmap, 0, info.bmHeight, copy->data(), &rows,
                           DIB_RGB_COLORS) != info.bmHeight) {
    return false;
  }
  *pixels = BgrPixels{copy->data(), 4 * static_cast<ptrdiff_t>(info.bmWidth), info.bmWidth,
                      info.bmHeight, 4};
  return true;
}

// Writes the bitmap as a PNG file by the host's own writer. A file that
// could not be written whole is removed.
HRESULT WritePngFile(HBITMAP bitmap, const std::wstring& path) {
  BgrPixels pixels;
  std::vector<uint8_t> copy;
  if (!PixelsOf(bitmap, &pixels, &copy)) return E_FAIL;
  bool written = false;
  {
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return HRESULT_FROM_WIN32(GetLastError());
    // The writer's pieces are gathered into large writes.
    constexpr size_t kWriteSize = 1 << 20;
    std::vector<uint8_t> pending;
    pending.reserve(kWriteSize);
    auto flush = [&]() {
      DWORD done = 0;
      const bool ok =
          pending.empty() || (WriteFile(file.get(), pending.data(),
                                        static_cast<DWORD>(pending.size()), &done, nullptr) &&
                              done == pending.size());
      pending.clear();
      return ok;
    };
    written =
        WritePng(pixels,
                 [&](const uint8_t* data, size_t size) {
                   if (pending.size() + size > kWriteSize && !flush()) return false;
                   if (size >= kWriteSize) {
                     DWORD done = 0;
                     return WriteFile(file.get(), data, static_cast<DWORD>(size), &done, nullptr) &&
                            done == size;
                   }
                   pending.insert(pending.end(), data, data + size);
                   return true;
                 }) &&
        flush();
  }
  if (!written) DeleteFileW(path.c_str());
  return written ? S_OK : E_FAIL;
}

}  // namespace

HRESULT EncodeImageFile(HBITMAP bitmap, const std::string& path) {
  if (path.empty()) return E_INVALIDARG;
  return EncodeImageFileW(bitmap, AnsiToWide(path));
}

HRESULT EncodeImageFileW(HBITMAP bitmap, const std::wstring& widePath) {
  if (!bitmap || widePath.empty()) return E_INVALIDARG;
  if (IsPngPath(widePath)) return WritePngFile(bitmap, widePath);
  if (!EnsureGdiplus()) return E_FAIL;
  CLSID clsid{};
  HRESULT failure = E_FAIL;
  if (!FindEncoder(widePath, &clsid, &failure)) return failure;
  gp::GpBitmap* image = WrapSection(bitmap);
  if (!image && (flat::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) != gp::Ok || !image)) {
    return E_FAIL;
  }
  gp::GpStatus status = flat::GdipSaveImageToFile(image, widePath.c_str(), &clsid, nullptr);
  flat::GdipDisposeImage(image);
  return status == gp::Ok ? S_OK : E_FAIL;
}

bool SaveToCaptureFolder(HBITMAP bitmap, const std::string& fileName) {
  const std::wstring path = CapturePathWide(fileName);
  if (path.empty()) return false;
  const std::wstring folder = CaptureFolderWide();
  if (!PathFileExistsW(folder.c_str()) && !CreateDirectoryW(folder.c_str(), nullptr)) return false;
  if (bitmap && EncodeImageFileW(bitmap, path) >= 0) return true;
  // Neither a half-written file nor one left from an earlier capture may
  // be reported as this capture.
  DeleteFileW(path.c_str());
  return false;
}

bool SaveImageAs(HWND owner, HBITMAP bitmap, const std::string& fileName) {
  GetSaveFileNameFn getSaveFileName = SaveFileDialog();
  if (!getSaveFileName) return false;
  // The dialog is a Unicode one: its title shows in every language whatever
  // the system's code page, and the file chosen may have any name.
  wchar_t file[MAX_PATH] = {};
  std::wstring proposed = AnsiToWide(CutToFit(fileName, MAX_PATH - 1, IsAnsiLeadByte));
  proposed.resize(std::min<size_t>(proposed.size(), MAX_PATH - 1));
  std::copy(proposed.begin(), proposed.end(), file);
  const std::string& filter = SaveAsFilter();  // ASCII, with its zero separators
  const std::wstring wideFilter(filter.begin(), filter.end());
  const std::wstring title = UiTextWide("Save As");

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = wideFilter.c_str();
  ofn.nFilterIndex = SaveAsFilterIndex(fileName);
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrInitialDir = L"";
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  ofn.lpstrDefExt = L"png";
  if (!getSaveFileName(&ofn)) return false;
  return EncodeImageFileW(bitmap, file) >= 0;
}

bool CopyImageToClipboard(HWND owner, HBITMAP bitmap) {
  // The copy comes first: without it the user's clipboard stays as it was.
  BITMAP info{};
  if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) return false;
  ScopedBitmap copy(
      static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, info.bmWidth, info.bmHeight, 0)));
  if (!copy) return false;
  // Opened with an owner: after EmptyClipboard the clipboard belongs to
  // that window, and Windows refuses SetClipboardData to a clipboard that
  // belongs to no window.
  ScopedClipboard clipboard(owner, kClipboardTries, kClipboardPauseMs);
  if (!clipboard.is_open() || !EmptyClipboard()) return false;
  // The clipboard owns the copy once it takes it.
  if (!SetClipboardData(CF_BITMAP, copy.get())) return false;
  copy.release();
  return true;
}

}  // namespace kv
