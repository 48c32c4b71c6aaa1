#include "installer/main_dialog.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <utility>

#include "resources/installer/installer_ids.h"
#include "winutil/dpi.h"
#include "winutil/system_function.h"

namespace kv {

namespace {

const char kExtensionsPage[] = "chrome://extensions";
// The browser's time to come up before the address goes on the clipboard;
// then a browser that is slow to come to the front gets this much longer,
// looked at every kFocusPollMs; between the paste and Return, kPasteMs.
constexpr UINT kBrowserStartMs = 2000;
constexpr DWORD kSlowBrowserMs = 6000;
constexpr UINT kFocusPollMs = 100;
constexpr UINT kPasteMs = 200;
// After Return, the browser's time to read the clipboard before the
// user's text goes back on it.
constexpr UINT kRestoreClipboardMs = 1000;
// About a quarter of a second of tries for a clipboard another program holds.
constexpr int kClipboardTries = 10;
constexpr DWORD kClipboardPauseMs = 25;
constexpr UINT_PTR kLaunchTimer = 1;
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

// Replaces what the clipboard holds with `text` (CF_TEXT); false when the
// clipboard cannot be opened or takes nothing.
bool PutTextOnClipboard(HWND owner, const char* text) {
  const size_t size = std::strlen(text) + 1;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
  if (!block) return false;
  {
    ScopedGlobalLock<char> lock(block);
    if (lock.get()) std::memcpy(lock.get(), text, size);
  }
  ScopedClipboard clipboard(owner, kClipboardTries, kClipboardPauseMs);
  if (!clipboard.is_open() || !EmptyClipboard() || !SetClipboardData(CF_TEXT, block)) {
    GlobalFree(block);
    return false;
  }
  return true;
}

std::wstring LongPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH];
  DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? path : std::wstring(buffer, n);
}

// The program named by the App Paths registration of chrome.exe (an
// install for all users registers there), per user first; "" when none.
std::wstring RegisteredBrowser() {
  const wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe";
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, kKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) continue;
    ScopedRegKey key(opened);
    wchar_t value[MAX_PATH] = {};
    DWORD type = 0, bytes = sizeof value - sizeof(wchar_t);
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
      continue;
    }
    std::wstring path = value;
    if (type == REG_EXPAND_SZ) {
      wchar_t expanded[MAX_PATH] = {};
      DWORD n = ExpandEnvironmentStringsW(value, expanded, MAX_PATH);
      if (n == 0 || n > MAX_PATH) continue;
      path = expanded;
    }
    // Some installers write the path in quotes.
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
      path = path.substr(1, path.size() - 2);
    }
    if (!path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
  }
  return std::wstring();
}

// Signed client coordinates of a mouse message.
POINT PointFromLParam(LPARAM lParam) {
  return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

void Key(BYTE key, DWORD flags) { keybd_event(key, 0, flags, 0); }

}  // namespace

std::wstring GetLocalAppDataShortPath() {
  // Wide throughout: a user name outside the ANSI code page stays intact.
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_LOCAL_APPDATA, &items)) || !items)
    return L"";
  wchar_t path[MAX_PATH] = {};
  BOOL ok = SHGetPathFromIDListW(items, path);
  CoTaskMemFree(items);
  if (!ok) return L"";
  wchar_t shortPath[MAX_PATH] = {};
  DWORD n = GetShortPathNameW(path, shortPath, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return L"";
  return shortPath;
}

std::wstring BrowserPath() {
  const std::wstring perUser =
      GetLocalAppDataShortPath() + L"\\Google\\Chrome\\Application\\chrome.exe";
  if (GetFileAttributesW(perUser.c_str()) != INVALID_FILE_ATTRIBUTES) return perUser;
  const std::wstring registered = RegisteredBrowser();
  return registered.empty() ? perUser : registered;
}

bool StartBrowser(HWND dialog, const std::wstring& path) {
  auto started = reinterpret_cast<INT_PTR>(
      ShellExecuteW(dialog, L"open", path.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED));
  return started > 32;
}

std::wstring ExtensionFolderPath() {
  const std::wstring folder = ProgramFolder();
  return folder.empty() ? folder : folder + L"\\extension";
}

// ---- CMainDlg ---------------------------------------------------------------

CMainDlg::CMainDlg() : CDialogBase(IDD_MAINDLG) {}

CMainDlg::~CMainDlg() = default;

bool CMainDlg::ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_INITDIALOG: result = OnInitDialog(); return true;
    case WM_COMMAND: return OnCommand(LOWORD(wParam));
    case WM_CTLCOLORSTATIC:
      return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                              result);
    case WM_MOUSEMOVE: OnMouseMove(PointFromLParam(lParam)); return true;
    case WM_LBUTTONDOWN: OnLButtonDown(PointFromLParam(lParam)); return true;
    case WM_TIMER: OnTimer(wParam); return true;
    case WM_DPICHANGED:
      if (!lParam) return false;
      OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return true;
    case WM_DESTROY: OnDestroy(); return false;
    default: return false;
  }
}

LRESULT CMainDlg::OnInitDialog() {
  CenterWindow();
  dpi_ = static_cast<UINT>(DpiOfWindow(hwnd()));
  SetIcons();
  RememberLayout();
  pictureBox_.Subclass(Item(IDC_PICTURE));
  pictureBox_.SetPackageMissingHandler([this] { ShowPackageMissing(); });
  ShowPicture();
  noteText_ = WindowText(Item(IDC_NOTE));
  unpackedHintText_ = WindowText(Item(IDC_UNPACKED_HINT));
  if (!PackageFound()) ShowPackageMissing();
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
  // Sized for the window's DPI where the system can tell (Windows 10 1607
  // on), else for the system's.
  using MetricsForDpiFn = int(WINAPI*)(int, UINT);
  static const auto metricsForDpi =
      LookUpSystemFunction<MetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
  auto metric = [this](int index) {
    return metricsForDpi ? metricsForDpi(index, dpi_) : GetSystemMetrics(index);
  };
  auto load = [](int width, int height) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAINICON),
                                         IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
  };
  ScopedIcon large(load(metric(SM_CXICON), metric(SM_CYICON)));
  ScopedIcon little(load(metric(SM_CXSMICON), metric(SM_CYSMICON)));
  SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large.get()));
  SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(little.get()));
  // The icons the window held before are given up only now.
  largeIcon_ = std::move(large);
  smallIcon_ = std::move(little);
}

void CMainDlg::ShowPicture() {
  HWND picture = pictureBox_.hwnd();
  LONG_PTR style = GetWindowLongPtrW(picture, GWL_STYLE);
  if ((style & kPictureStyles) != kPictureStyles)
    SetWindowLongPtrW(picture, GWL_STYLE, style | kPictureStyles);
  HBITMAP bitmap = LoadArt(IDB_PICTURE, dpi_);
  auto previous = reinterpret_cast<HGDIOBJ>(
      SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  if (previous) DeleteObject(previous);
  pictureShown_ = bitmap;
  InvalidateRect(picture, nullptr, FALSE);
}

bool ForegroundRunsProgram(const std::wstring& path) {
  using QueryImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
  static const auto queryImageName =
      LookUpSystemFunction<QueryImageNameFn>(L"kernel32.dll", "QueryFullProcessImageNameW");
  HWND foreground = GetForegroundWindow();
  DWORD process = 0;
  if (!queryImageName || path.empty() || !foreground ||
      !GetWindowThreadProcessId(foreground, &process)) {
    return false;
  }
  ScopedHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
  if (!handle) return false;
  wchar_t image[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!queryImageName(handle.get(), 0, image, &size)) return false;
  return lstrcmpiW(LongPath(std::wstring(image, size)).c_str(), LongPath(path).c_str()) == 0;
}

bool CMainDlg::LaunchBrowser() {
  startedBrowser_ = BrowserPath();
  return StartBrowser(hwnd(), startedBrowser_);
}

void CMainDlg::PutAddressOnClipboard() {
  // On a second start the address may still be there from the first: what
  // the user had before that is what goes back.
  if (addressSequence_ == 0 || GetClipboardSequenceNumber() != addressSequence_) {
    hasUserClipboard_ =
        TakeClipboardSnapshot(hwnd(), kClipboardTries, kClipboardPauseMs, &userClipboard_);
  }
  addressSequence_ = PutTextOnClipboard(hwnd(), kExtensionsPage) ? GetClipboardSequenceNumber() : 0;
}

void CMainDlg::RestoreUserClipboard() {
  // Whatever the user copied since stays.
  if (hasUserClipboard_ && addressSequence_ != 0 &&
      GetClipboardSequenceNumber() == addressSequence_) {
    RestoreClipboardSnapshot(hwnd(), kClipboardTries, kClipboardPauseMs, userClipboard_);
  }
  addressSequence_ = 0;
  hasUserClipboard_ = false;
  userClipboard_ = ClipboardSnapshot{};
}

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
    // The waits run on a timer, so that the dialog keeps answering. A start
    // while an earlier one is waited for begins the steps anew.
    launchStep_ = LaunchStep::kBrowserStarting;
    SetTimer(hwnd(), kLaunchTimer, kBrowserStartMs, nullptr);
  } else {
    // Tell the user rather than typing into whatever window has the focus.
    StopLaunch();
    ShowWarning(IDC_NOTE, IDS_BROWSER_MISSING, &browserMissing_);
  }
}

void CMainDlg::OnTimer(UINT_PTR id) {
  if (id != kLaunchTimer) return;
  switch (launchStep_) {
    case LaunchStep::kBrowserStarting:
      PutAddressOnClipboard();
      launchStep_ = LaunchStep::kWaitingForFocus;
      focusDeadline_ = GetTickCount() + kSlowBrowserMs;
      WaitForBrowserFocus();
      break;
    case LaunchStep::kWaitingForFocus: WaitForBrowserFocus(); break;
    case LaunchStep::kPasted:
      // Only into the browser: the user may have turned to another window
      // meanwhile (Return would send whatever it holds).
      if (ForegroundRunsProgram(startedBrowser_)) {
        Key(VK_RETURN, 0);
        Key(VK_RETURN, KEYEVENTF_KEYUP);
      }
      launchStep_ = LaunchStep::kEntered;
      SetTimer(hwnd(), kLaunchTimer, kRestoreClipboardMs, nullptr);
      break;
    case LaunchStep::kEntered:
      RestoreUserClipboard();
      StopLaunch();
      break;
    case LaunchStep::kIdle: StopLaunch(); break;
  }
}

void CMainDlg::WaitForBrowserFocus() {
  if (!ForegroundRunsProgram(startedBrowser_)) {
    // The keys would land in the wrong window (this one, or a chat window
    // that would send the address); past the deadline the address stays on
    // the clipboard for the user to paste, and nothing is typed.
    if (static_cast<LONG>(GetTickCount() - focusDeadline_) >= 0)
      StopLaunch();
    else
      SetTimer(hwnd(), kLaunchTimer, kFocusPollMs, nullptr);
    return;
  }
  // The new browser window has the focus in its address field.
  Key(VK_CONTROL, 0);
  Key('V', 0);
  Key('V', KEYEVENTF_KEYUP);
  Key(VK_CONTROL, KEYEVENTF_KEYUP);
  launchStep_ = LaunchStep::kPasted;
  SetTimer(hwnd(), kLaunchTimer, kPasteMs, nullptr);
}

void CMainDlg::StopLaunch() {
  launchStep_ = LaunchStep::kIdle;
  KillTimer(hwnd(), kLaunchTimer);
}

void CMainDlg::ShowWarning(int control, UINT textId, bool* flag) {
  *flag = true;
  SetWindowTextW(Item(control), ResourceString(textId).c_str());
}

void CMainDlg::ShowPackageMissing() {
  ShowWarning(IDC_HINT, IDS_PACKAGE_MISSING, &packageMissing_);
}

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
      LOGFONTW font{};
      GetObjectW(DialogFont(), sizeof font, &font);
      font.lfUnderline = static_cast<BYTE>(linkHover_);
      linkFont_.reset(CreateFontIndirectW(&font));
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
  SendMessageW(Item(IDC_LINK), WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  linkFont_.reset();
}

HFONT CMainDlg::DialogFont() const {
  if (scaledFont_) return scaledFont_.get();
  return reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0));
}

void CMainDlg::RememberLayout() {
  layoutDpi_ = dpi_;
  GetObjectW(DialogFont(), sizeof layoutFont_, &layoutFont_);
  layout_.clear();
  for (HWND child = GetWindow(hwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    layout_.push_back(ChildPlace{child, rect});
  }
  // The relayout below is the whole of it: Windows 10 must not scale the
  // dialog a second time.
  using SetBehaviourFn =
      BOOL(WINAPI*)(HWND, DIALOG_DPI_CHANGE_BEHAVIORS, DIALOG_DPI_CHANGE_BEHAVIORS);
  static const auto setBehaviour =
      LookUpSystemFunction<SetBehaviourFn>(L"user32.dll", "SetDialogDpiChangeBehavior");
  if (setBehaviour) setBehaviour(hwnd(), DDC_DISABLE_ALL, DDC_DISABLE_ALL);
}

void CMainDlg::OnDpiChanged(UINT dpi, const RECT& suggested) {
  // Windows' suggested rectangle keeps the window's place on the new
  // monitor; the controls, the font and the artwork follow the new DPI,
  // each scaled from the first layout so that repeated moves do not drift.
  SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (dpi == 0 || dpi == dpi_) return;
  dpi_ = dpi;
  const int scale = static_cast<int>(dpi), base = static_cast<int>(layoutDpi_);
  LOGFONTW font = layoutFont_;
  font.lfHeight = MulDiv(font.lfHeight, scale, base);
  font.lfWidth = MulDiv(font.lfWidth, scale, base);
  ScopedFont previous(scaledFont_.release());
  scaledFont_.reset(CreateFontIndirectW(&font));
  DropLinkFont();
  for (const ChildPlace& place : layout_) {
    const RECT& r = place.rect;
    SetWindowPos(place.child, nullptr, MulDiv(r.left, scale, base), MulDiv(r.top, scale, base),
                 MulDiv(r.right - r.left, scale, base), MulDiv(r.bottom - r.top, scale, base),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (scaledFont_)
      SendMessageW(place.child, WM_SETFONT, reinterpret_cast<WPARAM>(scaledFont_.get()), FALSE);
  }
  SetIcons();
  // A picture the user dropped stays; the assistant's own is drawn anew.
  if (reinterpret_cast<HBITMAP>(SendMessageW(Item(IDC_PICTURE), STM_GETIMAGE, IMAGE_BITMAP, 0)) ==
      pictureShown_)
    ShowPicture();
  RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CMainDlg::OnDestroy() {
  // Closed after the paste: the user's text goes back all the same.
  if (launchStep_ == LaunchStep::kPasted || launchStep_ == LaunchStep::kEntered) {
    RestoreUserClipboard();
  }
  StopLaunch();
  DropLinkFont();
  // The controls give up the scaled font before it is deleted.
  if (scaledFont_) {
    const auto original = static_cast<WPARAM>(SendMessageW(hwnd(), WM_GETFONT, 0, 0));
    for (const ChildPlace& place : layout_) SendMessageW(place.child, WM_SETFONT, original, FALSE);
  }
}

}  // namespace kv
