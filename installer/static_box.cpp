#include "installer/static_box.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "installer/data_object.h"
#include "installer/drop_source.h"
#include "resources/installer/installer_ids.h"
#include "winutil/scoped_win.h"

namespace kv {

namespace {

static_assert(sizeof(DROPFILES) == 20, "the file list header is 20 bytes on every target");

FORMATETC Format(CLIPFORMAT format, DWORD tymed) {
  return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, tymed};
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string PackagePath() {
  char module[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "";
  char* slash = std::strrchr(module, '\\');
  if (slash) *slash = '\0';
  return std::string(module) + "\\KvCapture.crx";
}

HGLOBAL BuildFileList(const std::string& path) {
  // Header, the name, its terminating zero and the zero that ends the list.
  const size_t size = sizeof(DROPFILES) + path.size() + 2;
  HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
  if (!block) return nullptr;
  auto* files = static_cast<DROPFILES*>(GlobalLock(block));
  files->pFiles = sizeof(DROPFILES);
  files->pt = POINT{0, 0};
  files->fNC = FALSE;
  files->fWide = FALSE;
  std::memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), path.data(), path.size());
  GlobalUnlock(block);
  return block;
}

// ---- CStaticDropTarget ------------------------------------------------------

bool CStaticDropTarget::OnDrop(const FORMATETC&, STGMEDIUM& medium, DWORD*) {
  if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) return true;
  ScopedGlobalLock<void> lock(medium.hGlobal);
  auto drop = static_cast<HDROP>(medium.hGlobal);
  if (lock.get() && DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) >= 1) {
    char name[MAX_PATH] = {};
    if (DragQueryFileA(drop, 0, name, MAX_PATH) > 0) {
      auto bitmap = static_cast<HBITMAP>(
          LoadImageA(nullptr, name, IMAGE_BITMAP, 0, 0, LR_DEFAULTSIZE | LR_LOADFROMFILE));
      if (bitmap) {
        auto previous = reinterpret_cast<HGDIOBJ>(SendMessageA(
            control_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
        if (previous) DeleteObject(previous);
      }
    }
  }
  return true;
}

// ---- CStaticBox -------------------------------------------------------------

bool CStaticBox::ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_LBUTTONDOWN:
      OnLButtonDown();
      return true;
    case WM_MOUSEMOVE:
      OnMouseMove(static_cast<UINT>(wParam));
      return true;
    case WM_DESTROY:
      OnDestroy();
      return true;
    default:
      break;
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
  const std::string package = PackagePath();
  if (package.empty() || !FileExists(package)) {
    // Dragging would offer a file that is not there.
    buttonDown_ = false;
    if (packageMissing_) packageMissing_();
    return;
  }

  auto* source = new CIDropSource;
  source->AddRef();
  auto* data = new CIDataObject;
  data->AddRef();

  HBITMAP image = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_DRAGIMAGE));
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
    if (!image || FAILED(helper.InitializeFromBitmap(image, POINT{32, 40}, rect, data,
                                                     GetSysColor(COLOR_WINDOW)))) {
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
