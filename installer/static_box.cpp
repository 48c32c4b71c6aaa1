#include "installer/static_box.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "core/ui_scale.h"
#include "installer/data_object.h"
#include "installer/drop_source.h"
#include "resources/installer/installer_ids.h"
#include "winutil/dpi.h"
#include "winutil/module_path.h"
#include "winutil/scoped_win.h"

namespace kv {

namespace {

static_assert(sizeof(DROPFILES) == 20, "the file list header is 20 bytes on every target");

FORMATETC Format(CLIPFORMAT format, DWORD tymed) {
  return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, tymed};
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::wstring PackagePath() {
  const std::wstring folder = ProgramFolder();
  return folder.empty() ? folder : folder + L"\\KvCapture.crx";
}

bool PackageFound() {
  const std::wstring package = PackagePath();
  return !package.empty() && FileExists(package);
}

HBITMAP LoadArt(int base, UINT dpi) {
  const int id = UiScale{static_cast<int>(dpi)}.ArtResourceId(base);
  return LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
}

HGLOBAL BuildFileList(const std::wstring& path) {
  // Header, the name, its terminating zero and the zero that ends the list.
  const size_t size = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
  if (!block) return nullptr;
  auto* files = static_cast<DROPFILES*>(GlobalLock(block));
  files->pFiles = sizeof(DROPFILES);
  files->pt = POINT{0, 0};
  files->fNC = FALSE;
  files->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), path.data(),
              path.size() * sizeof(wchar_t));
  GlobalUnlock(block);
  return block;
}

// ---- CStaticDropTarget ------------------------------------------------------

bool CStaticDropTarget::OnDrop(const FORMATETC&, STGMEDIUM& medium, DWORD*) {
  if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) return true;
  ScopedGlobalLock<void> lock(medium.hGlobal);
  auto drop = static_cast<HDROP>(medium.hGlobal);
  if (lock.get() && DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) >= 1) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring name(length + 1, L'\0');
    if (length > 0 && DragQueryFileW(drop, 0, &name[0], length + 1) == length) {
      name.resize(length);
      auto bitmap = static_cast<HBITMAP>(
          LoadImageW(nullptr, name.c_str(), IMAGE_BITMAP, 0, 0, LR_DEFAULTSIZE | LR_LOADFROMFILE));
      if (bitmap) {
        auto previous = reinterpret_cast<HGDIOBJ>(
            SendMessageW(control_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
        if (previous) DeleteObject(previous);
        InvalidateRect(control_, nullptr, FALSE);
      }
    }
  }
  return true;
}

// ---- CStaticBox -------------------------------------------------------------

bool CStaticBox::ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_LBUTTONDOWN: OnLButtonDown(); return true;
    case WM_MOUSEMOVE: OnMouseMove(static_cast<UINT>(wParam)); return true;
    case WM_DESTROY: OnDestroy(); return true;
    case WM_PAINT: OnPaint(); return true;
    case WM_ERASEBKGND:
      result = 1;  // the paint covers every pixel
      return true;
    default: break;
  }
  if (message >= kReflectBase + WM_NOTIFY && message <= kReflectBase + WM_CTLCOLORSTATIC) {
    // Notifications the dialog sent back to us: the default answer.
    result = DefWindowProcW(hwnd(), message - kReflectBase, wParam, lParam);
    return true;
  }
  return false;
}

void CStaticBox::OnLButtonDown() { buttonDown_ = true; }

void CStaticBox::OnMouseMove(UINT keyState) { BeginPackageDrag(keyState); }

void CStaticBox::OnDestroy() {
  RevokeDragDrop(hwnd());
  dropTarget_ = nullptr;
}

void CStaticBox::OnPaint() {
  ScopedPaint paint(hwnd());
  RECT client{};
  GetClientRect(hwnd(), &client);
  auto picture = reinterpret_cast<HBITMAP>(DefaultProc(STM_GETIMAGE, IMAGE_BITMAP, 0));
  BITMAP size{};
  ScopedMemDC source(CreateCompatibleDC(paint.get()));
  if (!picture || !GetObjectW(picture, sizeof size, &size) || !source) {
    FillRect(paint.get(), &client, GetSysColorBrush(COLOR_BTNFACE));
    return;
  }
  ScopedSelect selected(source.get(), picture);
  ScopedBrush background(CreateSolidBrush(GetPixel(source.get(), 0, 0)));
  FillRect(paint.get(), &client, background.get());
  const int left = (client.right - size.bmWidth) / 2;
  const int top = (client.bottom - size.bmHeight) / 2;
  BitBlt(paint.get(), left, top, size.bmWidth, size.bmHeight, source.get(), 0, 0, SRCCOPY);
}

bool CStaticBox::InitDropTarget() {
  auto* target = new CStaticDropTarget(hwnd());
  target->AddRef();
  dropTarget_ = target;
  if (FAILED(RegisterDragDrop(hwnd(), target))) {
    dropTarget_ = nullptr;
    target->Release();
    return false;
  }
  // From here on OLE holds the target; RevokeDragDrop lets it go.
  target->Release();
  target->AddSupportedFormat(Format(CF_HDROP, TYMED_HGLOBAL));
  return true;
}

void CStaticBox::BeginPackageDrag(UINT keyState) {
  if (!buttonDown_ || keyState != MK_LBUTTON) return;
  if (!PackageFound()) {
    // Dragging would offer a file that is not there.
    buttonDown_ = false;
    if (packageMissing_) packageMissing_();
    return;
  }
  const std::wstring package = PackagePath();

  auto* source = new CIDropSource;
  source->AddRef();
  auto* data = new CIDataObject;
  data->AddRef();

  HBITMAP image = LoadArt(IDB_DRAGIMAGE, static_cast<UINT>(DpiOfWindow(hwnd())));
  FORMATETC bitmapFormat = Format(CF_BITMAP, TYMED_GDI);
  STGMEDIUM bitmapMedium{};
  bitmapMedium.tymed = TYMED_GDI;
  bitmapMedium.hBitmap = image;
  data->SetData(&bitmapFormat, &bitmapMedium, FALSE);  // the data object keeps a duplicate
  BITMAP size{};
  GetObjectA(image, sizeof size, &size);

  FORMATETC listFormat = Format(CF_HDROP, TYMED_HGLOBAL);
  STGMEDIUM listMedium{};
  listMedium.tymed = TYMED_HGLOBAL;
  listMedium.hGlobal = BuildFileList(package);
  if (listMedium.hGlobal && FAILED(data->SetData(&listFormat, &listMedium, TRUE)))
    GlobalFree(listMedium.hGlobal);

  {
    CDragSourceHelper helper;
    RECT rect{0, 0, size.bmWidth, size.bmHeight};
    // The shell takes the image over only when it accepts it.
    // The pointer holds the image at its centre.
    const POINT centre{size.bmWidth / 2, size.bmHeight / 2};
    if (!image ||
        FAILED(helper.InitializeFromBitmap(image, centre, rect, data, GetSysColor(COLOR_WINDOW)))) {
      if (image) DeleteObject(image);
    }
    // Copy only: a drop on the desktop or a folder of the same drive must
    // not move the package out of the program's folder.
    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(data, source, DROPEFFECT_COPY, &effect);
  }

  source->Release();
  data->Release();
  buttonDown_ = false;
}

}  // namespace kv
