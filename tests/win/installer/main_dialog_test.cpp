// The assistant's dialog (made modeless here, with the browser launch
// replaced by a counter) and the picture control's mouse handling.
#include <ole2.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "installer/data_object.h"
#include "installer/drop_source.h"
#include "installer/main_dialog.h"
#include "resources/installer/installer_ids.h"
#include "test_util.h"

namespace kv {
namespace {

const std::wstring kHint = L"要完成Chrome浏览器插件的安装，请将上面的图标拖拽至：";
const std::wstring kNote = L"如果已安装过，建议先将旧版本移除后再拖拽。";
const std::wstring kPackageMissing = L"未找到安装包KvCapture.crx，请将它放到本程序所在的文件夹。";
const std::wstring kBrowserMissing = L"未找到Chrome浏览器，请先安装Google Chrome。";

std::wstring Text(HWND hwnd) {
  wchar_t text[256] = {};
  GetWindowTextW(hwnd, text, 256);
  return text;
}

class TestDialog : public CMainDlg {
 public:
  int launches = 0;
  bool browserStarts = true;

 protected:
  bool LaunchBrowser() override {
    ++launches;
    return browserStarts;
  }
};

// The package file next to the test program, present or not.
class PackageFile {
 public:
  explicit PackageFile(bool present) : path_(PackagePath()) {
    DeleteFileW(path_.c_str());
    if (present) {
      FILE* f = _wfopen(path_.c_str(), L"wb");
      std::fputs("Cr24", f);
      std::fclose(f);
    }
  }
  ~PackageFile() { DeleteFileW(path_.c_str()); }

 private:
  std::wstring path_;
};

class MainDialogTest : public ::testing::Test {
 protected:
  void Open(bool browserStarts = true) {
    dialog.browserStarts = browserStarts;
    hwnd = dialog.Create(nullptr);
    ASSERT_NE(nullptr, hwnd);
  }
  void TearDown() override {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    EXPECT_EQ(0, LiveObjects<CStaticDropTarget>::Count());
  }
  POINT ClientCentreOf(int id) {
    RECT r{};
    GetWindowRect(dialog.Item(id), &r);
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(hwnd, &p);
    return p;
  }
  void Mouse(UINT message, POINT client) {
    SendMessageW(hwnd, message, 0, MAKELPARAM(client.x, client.y));
  }
  // The font, colour and background the dialog gives a static control.
  struct Look {
    LOGFONTW font{};
    COLORREF colour = 0;
    HBRUSH brush = nullptr;
  };
  Look LookOf(int id) {
    Look look;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ before = GetCurrentObject(dc, OBJ_FONT);
    look.brush =
        reinterpret_cast<HBRUSH>(SendMessageW(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                              reinterpret_cast<LPARAM>(dialog.Item(id))));
    GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof look.font, &look.font);
    look.colour = GetTextColor(dc);
    SelectObject(dc, before);
    DeleteDC(dc);
    return look;
  }

  PackageFile package{true};
  TestDialog dialog;
  HWND hwnd = nullptr;
};

TEST_F(MainDialogTest, InitialisationShowsEverythingAndLaunchesTheBrowserOnce) {
  Open();
  EXPECT_EQ(L"Chrome插件安装助手", Text(hwnd));
  EXPECT_EQ(kHint, Text(dialog.Item(IDC_HINT)));
  EXPECT_EQ(L"Chrome://extensions  页面", Text(dialog.Item(IDC_LINK)));
  EXPECT_EQ(kNote, Text(dialog.Item(IDC_NOTE)));
  EXPECT_EQ(L"关闭(&C)", Text(dialog.Item(IDOK)));

  HWND picture = dialog.Item(IDC_PICTURE);
  const LONG style = GetWindowLongW(picture, GWL_STYLE);
  EXPECT_EQ(SS_BITMAP, style & SS_TYPEMASK);
  EXPECT_EQ(SS_CENTERIMAGE | SS_REALSIZEIMAGE, style & (SS_CENTERIMAGE | SS_REALSIZEIMAGE));
  auto shown = reinterpret_cast<HBITMAP>(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
  BITMAP size{};
  ASSERT_TRUE(GetObjectW(shown, sizeof size, &size));
  EXPECT_EQ(400, size.bmWidth);
  EXPECT_EQ(128, size.bmHeight);
  EXPECT_NE(0, SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
  EXPECT_NE(0, SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0));

  EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(1, dialog.launches);
  EXPECT_TRUE(dialog.waitingForBrowser());  // its steps run on a timer
  EXPECT_FALSE(dialog.packageMissing());
  EXPECT_FALSE(dialog.browserMissing());
  // The picture is registered as a drop target, once.
  ASSERT_NE(nullptr, dialog.pictureBox().dropTarget());
  EXPECT_EQ(1, LiveObjects<CStaticDropTarget>::Count());
  EXPECT_EQ(DRAGDROP_E_ALREADYREGISTERED,
            RegisterDragDrop(picture, dialog.pictureBox().dropTarget()));
}

TEST_F(MainDialogTest, CentredInTheWorkArea) {
  Open();
  RECT r{}, work{};
  GetWindowRect(hwnd, &r);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR((work.left + work.right) / 2, (r.left + r.right) / 2, 1);
  EXPECT_NEAR((work.top + work.bottom) / 2, (r.top + r.bottom) / 2, 1);
}

TEST_F(MainDialogTest, CloseEscapeAndEnterEndTheDialogOtherCommandsDoNot) {
  Open();
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_PICTURE, STN_CLICKED),
               reinterpret_cast<LPARAM>(dialog.Item(IDC_PICTURE)));
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_LINK, 0), 0);
  EXPECT_TRUE(IsWindow(hwnd));
  for (int id : {IDOK, IDCANCEL}) {
    if (id == IDCANCEL) {
      TestDialog again;
      hwnd = again.Create(nullptr);
      SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
      EXPECT_FALSE(IsWindow(hwnd));
    } else {
      SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
      EXPECT_FALSE(IsWindow(hwnd));
    }
  }
  // The drop target went with the picture.
  EXPECT_EQ(0, LiveObjects<CStaticDropTarget>::Count());
}

TEST_F(MainDialogTest, HoveringTheLinkUnderlinesItAndShowsTheHandCursor) {
  Open();
  const Look plain = LookOf(IDC_LINK);
  EXPECT_EQ(GetStockObject(NULL_BRUSH), plain.brush);
  EXPECT_EQ(RGB(0, 0, 255), plain.colour);
  EXPECT_FALSE(plain.font.lfUnderline);

  Mouse(WM_MOUSEMOVE, ClientCentreOf(IDC_LINK));
  EXPECT_TRUE(dialog.linkHover());
  EXPECT_EQ(LoadCursor(nullptr, IDC_HAND), GetCursor());
  EXPECT_EQ(nullptr, dialog.linkFont());  // made again for the new look
  const Look hovered = LookOf(IDC_LINK);
  EXPECT_TRUE(hovered.font.lfUnderline);
  EXPECT_EQ(RGB(0, 0, 255), hovered.colour);
  HFONT kept = dialog.linkFont();
  Mouse(WM_MOUSEMOVE, ClientCentreOf(IDC_LINK));  // no change, no new font
  EXPECT_EQ(kept, dialog.linkFont());

  Mouse(WM_MOUSEMOVE, ClientCentreOf(IDOK));
  EXPECT_FALSE(dialog.linkHover());
  const Look left = LookOf(IDC_LINK);
  EXPECT_FALSE(left.font.lfUnderline);
  EXPECT_EQ(RGB(0, 0, 255), left.colour);
  // Other statics keep the default look.
  EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), LookOf(IDC_HINT).colour);
}

TEST_F(MainDialogTest, ClickingTheLinkLaunchesTheBrowserAgain) {
  Open();
  Mouse(WM_LBUTTONDOWN, ClientCentreOf(IDC_LINK));
  EXPECT_EQ(2, dialog.launches);
  for (int elsewhere : {IDC_HINT, IDC_NOTE, IDOK}) Mouse(WM_LBUTTONDOWN, ClientCentreOf(elsewhere));
  Mouse(WM_LBUTTONDOWN, POINT{-5, -5});
  EXPECT_EQ(2, dialog.launches);
}

TEST_F(MainDialogTest, NoBrowserIsSaidInTheDialogAndALaterStartClearsIt) {
  Open(/*browserStarts=*/false);
  EXPECT_EQ(1, dialog.launches);
  EXPECT_TRUE(dialog.browserMissing());
  EXPECT_FALSE(dialog.waitingForBrowser());  // nothing to type into
  EXPECT_EQ(kBrowserMissing, Text(dialog.Item(IDC_NOTE)));
  EXPECT_EQ(RGB(200, 0, 0), LookOf(IDC_NOTE).colour);
  EXPECT_TRUE(IsWindow(hwnd));

  dialog.browserStarts = true;
  Mouse(WM_LBUTTONDOWN, ClientCentreOf(IDC_LINK));
  EXPECT_TRUE(dialog.waitingForBrowser());
  EXPECT_FALSE(dialog.browserMissing());
  EXPECT_EQ(kNote, Text(dialog.Item(IDC_NOTE)));
  EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), LookOf(IDC_NOTE).colour);
}

TEST_F(MainDialogTest, MovingToAMonitorOfAnotherDpiScalesTheDialogAndItsArtwork) {
  Open();
  const UINT dpi = dialog.dpi();
  ASSERT_GT(dpi, 0u);
  auto sizeOf = [](HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
  };
  auto fontHeight = [](HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return std::abs(font.lfHeight);
  };
  const SIZE picture = sizeOf(dialog.Item(IDC_PICTURE));
  const LONG hintFont = fontHeight(dialog.Item(IDC_HINT));
  // Twice and back: the layout comes from the first one, without drift.
  for (UINT factor : {2u, 1u}) {
    const UINT newDpi = dpi * factor;
    RECT suggested{10, 20, 10 + 540 * static_cast<LONG>(factor),
                   20 + 400 * static_cast<LONG>(factor)};
    SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    GetWindowRect(hwnd, &now);
    EXPECT_TRUE(EqualRect(&suggested, &now));
    const SIZE scaled = sizeOf(dialog.Item(IDC_PICTURE));
    EXPECT_EQ(picture.cx * static_cast<LONG>(factor), scaled.cx);
    EXPECT_EQ(picture.cy * static_cast<LONG>(factor), scaled.cy);
    EXPECT_NEAR(hintFont * static_cast<LONG>(factor), fontHeight(dialog.Item(IDC_HINT)), 1);
    BITMAP art{};
    GetObjectW(reinterpret_cast<HBITMAP>(
                   SendMessageW(dialog.Item(IDC_PICTURE), STM_GETIMAGE, IMAGE_BITMAP, 0)),
               sizeof art, &art);
    EXPECT_EQ(400 * static_cast<LONG>(factor), art.bmWidth);
    EXPECT_EQ(128 * static_cast<LONG>(factor), art.bmHeight);
    // The caption's icon is loaded anew at the size of the new DPI.
    ICONINFO icon{};
    ASSERT_TRUE(
        GetIconInfo(reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0)), &icon));
    BITMAP mask{};
    GetObjectW(icon.hbmMask, sizeof mask, &mask);
    DeleteObject(icon.hbmMask);
    if (icon.hbmColor) DeleteObject(icon.hbmColor);
    EXPECT_EQ(MulDiv(GetSystemMetrics(SM_CXSMICON), static_cast<int>(factor), 1), mask.bmWidth);
  }
}

TEST(MissingPackage, TheDialogSaysSoInsteadOfOfferingADrag) {
  PackageFile none(false);
  TestDialog dialog;
  HWND hwnd = dialog.Create(nullptr);
  ASSERT_NE(nullptr, hwnd);
  EXPECT_TRUE(dialog.packageMissing());
  EXPECT_EQ(kPackageMissing, Text(dialog.Item(IDC_HINT)));
  EXPECT_EQ(1, dialog.launches);  // the rest of the start-up is unchanged
  DestroyWindow(hwnd);
}

TEST(RegistrationFailure, TheDialogStaysUsableButNeitherTopmostNorLaunching) {
  PackageFile present(true);
  // A thread outside any OLE apartment cannot register a drop target.
  std::thread outside([] {
    TestDialog dialog;
    HWND hwnd = dialog.Create(nullptr);
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(nullptr, dialog.pictureBox().dropTarget());
    EXPECT_EQ(0, LiveObjects<CStaticDropTarget>::Count());  // the failed target was freed
    EXPECT_FALSE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(0, dialog.launches);
    EXPECT_NE(0, SendMessageW(dialog.Item(IDC_PICTURE), STM_GETIMAGE, IMAGE_BITMAP, 0));
    // The link label and Close still work.
    RECT r{};
    GetWindowRect(dialog.Item(IDC_LINK), &r);
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(hwnd, &p);
    SendMessageW(hwnd, WM_LBUTTONDOWN, 0, MAKELPARAM(p.x, p.y));
    EXPECT_EQ(1, dialog.launches);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(hwnd));
  });
  outside.join();
}

// ---- the picture control's mouse handling -----------------------------------

class PictureBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr, nullptr,
                             nullptr);
    control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_NOTIFY, 0, 0, 400, 130, parent,
                              nullptr, nullptr, nullptr);
    ASSERT_TRUE(box.Subclass(control));
    box.SetPackageMissingHandler([this] { ++dragsAsked; });
  }
  void TearDown() override { DestroyWindow(parent); }
  void Send(UINT message, WPARAM keys) { SendMessageW(control, message, keys, MAKELPARAM(20, 20)); }

  PackageFile none{false};  // a drag then reports the missing package instead of running
  HWND parent = nullptr;
  HWND control = nullptr;
  CStaticBox box;
  int dragsAsked = 0;
};

TEST_F(PictureBoxTest, OnlyAPlainLeftButtonDragOnThePictureStartsADrag) {
  Send(WM_MOUSEMOVE, MK_LBUTTON);  // the button went down elsewhere
  EXPECT_EQ(0, dragsAsked);
  Send(WM_LBUTTONDOWN, MK_LBUTTON);
  EXPECT_TRUE(box.buttonDown());
  const WPARAM notPlainLeft[] = {MK_LBUTTON | MK_SHIFT, MK_LBUTTON | MK_CONTROL,
                                 MK_LBUTTON | MK_RBUTTON, MK_RBUTTON, 0};
  for (WPARAM keys : notPlainLeft) {
    Send(WM_MOUSEMOVE, keys);
    EXPECT_EQ(0, dragsAsked) << keys;
  }
  EXPECT_TRUE(box.buttonDown());  // a release does not clear it
  Send(WM_MOUSEMOVE, MK_LBUTTON);
  EXPECT_EQ(1, dragsAsked);
  EXPECT_FALSE(box.buttonDown());
  Send(WM_MOUSEMOVE, MK_LBUTTON);
  EXPECT_EQ(1, dragsAsked);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

TEST(PictureBoxDrag, ADragThatEndsAtOnceFreesEverythingItMade) {
  PackageFile present(true);
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr,
                                nullptr, nullptr);
  HWND control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_NOTIFY, 0, 0, 400, 130, parent,
                                 nullptr, nullptr, nullptr);
  CStaticBox box;
  ASSERT_TRUE(box.Subclass(control));
  int missing = 0;
  box.SetPackageMissingHandler([&] { ++missing; });
  // No mouse button is really down: the drag loop drops at once.
  SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SendMessageW(control, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(0, missing);
  EXPECT_FALSE(box.buttonDown());
  EXPECT_EQ(0, LiveObjects<CIDataObject>::Count());
  EXPECT_EQ(0, LiveObjects<CIDropSource>::Count());
  DestroyWindow(parent);
}

}  // namespace
}  // namespace kv
