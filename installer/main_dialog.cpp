#include "installer/main_dialog.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "resources/installer/installer_ids.h"

namespace kv {

namespace {

const char kExtensionsPage[] = "chrome://extensions";
// After its two seconds, a browser that is slow to come to the front gets
// this much longer before the page address is typed.
constexpr DWORD kSlowBrowserMs = 6000;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);
constexpr COLORREF kWarningColour = RGB(200, 0, 0);
constexpr LONG kPictureStyles = SS_BITMAP | SS_CENTERIMAGE | SS_REALSIZEIMAGE;

std::wstring ResourceString(UINT id) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::wstring WindowText(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, &text[0], length + 1)));
  return text;
}

// Puts the text on the clipboard as CF_TEXT; skipped when the clipboard
// cannot be opened.
void PutTextOnClipboard(HWND owner, const char* text) {
  ScopedClipboard clipboard(owner);
  if (!clipboard.is_open()) return;
  EmptyClipboard();
  const size_t size = std::strlen(text) + 1;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
  if (!block) return;
  {
    ScopedGlobalLock<char> lock(block);
    if (lock.get()) std::memcpy(lock.get(), text, size);
  }
  if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
}

// Signed client coordinates of a mouse message.
POINT PointFromLParam(LPARAM lParam) {
  return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

void Key(BYTE key, DWORD flags) { keybd_event(key, 0, flags, 0); }

// True when the window with the keyboard focus belongs to this program:
// keystrokes meant for the browser would then land here instead (Return
// would press Close).
bool ForegroundIsOurs() {
  HWND foreground = GetForegroundWindow();
  if (!foreground) return false;
  DWORD process = 0;
  GetWindowThreadProcessId(foreground, &process);
  return process == GetCurrentProcessId();
}

}  // namespace

std::string GetLocalAppDataShortPath() {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_LOCAL_APPDATA, &items)) || !items)
    return "";
  char path[MAX_PATH] = {};
  BOOL ok = SHGetPathFromIDListA(items, path);
  CoTaskMemFree(items);
  if (!ok) return "";
  char shortPath[MAX_PATH] = {};
  DWORD n = GetShortPathNameA(path, shortPath, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "";
  return shortPath;
}

std::string BrowserPath() {
  return GetLocalAppDataShortPath() + "\\Google\\Chrome\\Application\\chrome.exe";
}

bool LaunchBrowserOnExtensionsPage(HWND dialog) {
  const std::string path = BrowserPath();
  auto started = reinterpret_cast<INT_PTR>(
      ShellExecuteA(dialog, "open", path.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED));
  if (started <= 32) return false;
  Sleep(2000);
  PutTextOnClipboard(dialog, kExtensionsPage);
  for (DWORD waited = 0; ForegroundIsOurs() && waited < kSlowBrowserMs; waited += 100) Sleep(100);
  if (ForegroundIsOurs()) return true;
  // The new browser window has the focus in its address field.
  Key(VK_CONTROL, 0);
  Key('V', 0);
  Key('V', KEYEVENTF_KEYUP);
  Key(VK_CONTROL, KEYEVENTF_KEYUP);
  Sleep(200);
  Key(VK_RETURN, 0);
  Key(VK_RETURN, KEYEVENTF_KEYUP);
  return true;
}

std::wstring ExtensionFolderPath() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  std::wstring folder(path, n);
  size_t slash = folder.find_last_of(L'\\');
  if (slash == std::wstring::npos) return std::wstring();
  return folder.substr(0, slash + 1) + L"extension";
}

// ---- CMainDlg ---------------------------------------------------------------

CMainDlg::CMainDlg() : CDialogBase(IDD_MAINDLG) {}

CMainDlg::~CMainDlg() {
  if (largeIcon_) DestroyIcon(largeIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
}

bool CMainDlg::ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_INITDIALOG:
      result = OnInitDialog();
      return true;
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam));
    case WM_CTLCOLORSTATIC:
      return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                              result);
    case WM_MOUSEMOVE:
      OnMouseMove(PointFromLParam(lParam));
      return true;
    case WM_LBUTTONDOWN:
      OnLButtonDown(PointFromLParam(lParam));
      return true;
    case WM_DESTROY:
      OnDestroy();
      return false;
    default:
      return false;
  }
}

LRESULT CMainDlg::OnInitDialog() {
  CenterWindow();
  SetIcons();
  pictureBox_.Subclass(Item(IDC_PICTURE));
  pictureBox_.SetPackageMissingHandler([this] { ShowPackageMissing(); });
  ShowPicture();
  noteText_ = WindowText(Item(IDC_NOTE));
  unpackedHintText_ = WindowText(Item(IDC_UNPACKED_HINT));
  const std::string package = PackagePath();
  DWORD attributes = package.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(package.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    ShowPackageMissing();
  // Without the drop target the dialog still works (Close, the link label,
  // the drag of the package), but it stays an ordinary window and does not
  // open the browser by itself.
  if (!pictureBox_.InitDropTarget()) return -1;
  SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(hwnd());
  OpenExtensionsPage();
  return 1;
}

void CMainDlg::SetIcons() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  largeIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAINICON), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_));
  smallIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAINICON), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
}

void CMainDlg::ShowPicture() {
  HWND picture = pictureBox_.hwnd();
  LONG_PTR style = GetWindowLongPtrW(picture, GWL_STYLE);
  if ((style & kPictureStyles) != kPictureStyles)
    SetWindowLongPtrW(picture, GWL_STYLE, style | kPictureStyles);
  HBITMAP bitmap = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_PICTURE));
  auto previous = reinterpret_cast<HGDIOBJ>(
      SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  if (previous) DeleteObject(previous);
}

bool CMainDlg::LaunchBrowser() { return LaunchBrowserOnExtensionsPage(hwnd()); }

bool CMainDlg::OpenFolder(const std::wstring& folder) {
  // The shell's file manager (Explorer) shows the folder.
  auto opened = reinterpret_cast<INT_PTR>(
      ShellExecuteW(hwnd(), L"open", L"explorer.exe", folder.c_str(), nullptr, SW_SHOWNORMAL));
  return opened > 32;
}

void CMainDlg::OnOpenExtensionFolder() {
  const std::wstring folder = ExtensionFolderPath();
  DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
  bool present = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  // A folder that is not there (or will not open) is said, not silently
  // ignored; one that opens later puts the hint back.
  if (present && OpenFolder(folder)) {
    if (folderMissing_) {
      folderMissing_ = false;
      SetWindowTextW(Item(IDC_UNPACKED_HINT), unpackedHintText_.c_str());
    }
  } else {
    ShowWarning(IDC_UNPACKED_HINT, IDS_FOLDER_MISSING, &folderMissing_);
  }
}

void CMainDlg::OpenExtensionsPage() {
  if (LaunchBrowser()) {
    if (browserMissing_) {
      browserMissing_ = false;
      SetWindowTextW(Item(IDC_NOTE), noteText_.c_str());
    }
  } else {
    // Tell the user rather than typing into whatever window has the focus.
    ShowWarning(IDC_NOTE, IDS_BROWSER_MISSING, &browserMissing_);
  }
}

void CMainDlg::ShowWarning(int control, UINT textId, bool* flag) {
  *flag = true;
  SetWindowTextW(Item(control), ResourceString(textId).c_str());
}

void CMainDlg::ShowPackageMissing() { ShowWarning(IDC_HINT, IDS_PACKAGE_MISSING, &packageMissing_); }

bool CMainDlg::OnCommand(int id) {
  if (id == IDC_OPEN_FOLDER) {
    OnOpenExtensionFolder();
    return true;
  }
  if (id != IDOK && id != IDCANCEL) return false;
  EndDialog(0);
  return true;
}

bool CMainDlg::OnCtlColorStatic(HDC dc, HWND control, LRESULT& result) {
  const int id = GetDlgCtrlID(control);
  if (id == IDC_LINK) {
    if (!linkFont_) {
      LOGFONTA font{};
      auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0));
      GetObjectA(dialogFont, sizeof font, &font);
      font.lfUnderline = static_cast<BYTE>(linkHover_);
      linkFont_.reset(CreateFontIndirectA(&font));
      // Also the label's own font: a static control may select its font
      // only after asking for its colours.
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.get()), FALSE);
    }
    SelectObject(dc, linkFont_.get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kLinkColour);
    result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    return true;
  }
  if ((id == IDC_HINT && packageMissing_) || (id == IDC_NOTE && browserMissing_) ||
      (id == IDC_UNPACKED_HINT && folderMissing_)) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kWarningColour);
    result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    return true;
  }
  return false;
}

bool CMainDlg::PointOnLink(POINT clientPoint, RECT* linkScreenRect) const {
  POINT screen = clientPoint;
  ClientToScreen(hwnd(), &screen);
  RECT rect{};
  GetWindowRect(Item(IDC_LINK), &rect);
  if (linkScreenRect) *linkScreenRect = rect;
  return PtInRect(&rect, screen) != FALSE;
}

void CMainDlg::OnMouseMove(POINT clientPoint) {
  RECT link{};
  const bool inside = PointOnLink(clientPoint, &link);
  if (inside) SetCursor(LoadCursor(nullptr, IDC_HAND));
  const int hover = inside ? 1 : 0;
  if (hover == linkHover_) return;
  linkHover_ = hover;
  DropLinkFont();
  // Repaint the dialog under the label too: the label draws on a null brush,
  // so the old underline would stay otherwise.
  MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&link), 2);
  RedrawWindow(hwnd(), &link, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CMainDlg::OnLButtonDown(POINT clientPoint) {
  if (PointOnLink(clientPoint, nullptr)) OpenExtensionsPage();
}

void CMainDlg::DropLinkFont() {
  if (!linkFont_) return;
  // The label goes back to the dialog's font before its own one is deleted.
  SendMessageW(Item(IDC_LINK), WM_SETFONT, SendMessageW(hwnd(), WM_GETFONT, 0, 0), FALSE);
  linkFont_.reset();
}

void CMainDlg::OnDestroy() { DropLinkFont(); }

}  // namespace kv
