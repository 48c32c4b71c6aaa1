// The annotation tools through the real overlay, on a known picture: what
// each tool burns in, what undo gives back, and how the text box commits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "annotate/annotate.h"
#include "core/annotation.h"
#include "core/highlighter.h"
#include "core/overlay_layout.h"
#include "overlay_fixture.h"

namespace {

using kv::Point;
using kv::Rect;
using kvtest::o;
using kvtest::PatternAt;
using kvtest::Picture;

constexpr COLORREF kBlue = RGB(0, 0, 255);

// The pixels of a 24-bit bottom-up section, row 0 at the top.
struct Pixels {
  explicit Pixels(HBITMAP section) {
    DIBSECTION info{};
    if (!section || GetObject(section, sizeof info, &info) != sizeof info) return;
    GdiFlush();
    width = info.dsBm.bmWidth;
    height = info.dsBm.bmHeight;
    stride = info.dsBm.bmWidthBytes;
    const auto* bits = static_cast<const BYTE*>(info.dsBm.bmBits);
    bytes.assign(bits, bits + size_t(stride) * height);
  }
  COLORREF At(int x, int y) const {
    const BYTE* p = bytes.data() + size_t(height - 1 - y) * stride + x * 3;
    return RGB(p[2], p[1], p[0]);
  }
  int width = 0, height = 0, stride = 0;
  std::vector<BYTE> bytes;
};

class Annotate : public kvtest::OverlayWindow {
 protected:
  static constexpr Rect kRegion{400, 300, 800, 600};

  void SetUp() override {
    OverlayWindow::SetUp();
    // The frozen screen becomes the position pattern.
    const int w = o.ScreenWidth(), h = o.ScreenHeight();
    Picture screen(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) screen.Set(x, y, PatternAt(x, y));
    o.screenSnapshot.reset(screen.Release());
    WaitUntilReady();
    Drag({kRegion.left - 1, kRegion.top - 1},
         {{kRegion.left, kRegion.top}, {kRegion.right, kRegion.bottom}});
    ASSERT_EQ(o.selection, kRegion);
  }

  void Use(UINT command, COLORREF colour = kBlue, int width = 2) {
    Command(command);
    o.penColor = colour;
    o.penWidth = width;
  }
  // The picture a completion would take now.
  Pixels Composed() {
    kv::ComposeRegion();
    return Pixels(o.composedImage.get());
  }
  static COLORREF Plain(Point client) { return PatternAt(client.x, client.y); }
  // A client point as a point of the composed picture.
  static COLORREF At(const Pixels& p, Point client) {
    return p.At(client.x - kRegion.left, client.y - kRegion.top);
  }
};

TEST_F(Annotate, EachShapeToolBurnsInItsOutlineAndLeavesTheRestAlone) {
  Use(kv::kCmdAddRectangle, kBlue, 5);
  Drag({600, 500}, {{599, 499}, {500, 400}});  // dragged up and left
  Use(kv::kCmdAddEllipse, RGB(0, 255, 0), 1);
  Drag({420, 320}, {{421, 321}, {480, 380}});
  Use(kv::kCmdAddArrow, RGB(255, 0, 0), 5);  // the arrow ignores the width
  Drag({650, 350}, {{651, 351}, {750, 351}});
  Use(kv::kCmdBrushTool, RGB(255, 255, 0), 1);
  Drag({420, 550}, {{425, 555}, {430, 545}, {440, 560}});
  ASSERT_EQ(o.snapshotStack.size(), 4u);

  const Pixels p = Composed();
  ASSERT_EQ(p.width, kRegion.Width());
  // Rectangle (500, 400)-(600, 500), 5 wide, centred on its edges.
  for (Point q :
       {Point{500, 450}, Point{502, 450}, Point{498, 450}, Point{550, 400}, Point{597, 450}})
    EXPECT_EQ(At(p, q), kBlue) << q.x << "," << q.y;
  for (Point q : {Point{503, 450}, Point{550, 450}, Point{495, 450}})
    EXPECT_EQ(At(p, q), Plain(q)) << q.x << "," << q.y;
  // Ellipse in (420, 320)-(480, 380): leftmost and topmost points, empty
  // middle, the box's corner not drawn.
  EXPECT_EQ(At(p, {420, 350}), RGB(0, 255, 0));
  EXPECT_EQ(At(p, {450, 320}), RGB(0, 255, 0));
  EXPECT_EQ(At(p, {450, 350}), Plain({450, 350}));
  EXPECT_EQ(At(p, {421, 321}), Plain({421, 321}));
  // Arrow from (650, 350) to (750, 351): a 1-pixel line, the head filled.
  EXPECT_EQ(At(p, {660, 350}), RGB(255, 0, 0));
  EXPECT_EQ(At(p, {735, 351}), RGB(255, 0, 0));
  EXPECT_EQ(At(p, {700, 352}), Plain({700, 352}));
  EXPECT_EQ(At(p, {750, 351}), RGB(255, 0, 0));  // the tip
  EXPECT_EQ(At(p, {744, 351}), RGB(255, 0, 0));  // inside the head
  const kv::ArrowHead head = kv::ComputeArrowHead({650, 350}, {750, 351});
  EXPECT_EQ(At(p, head.p1), RGB(255, 0, 0));
  EXPECT_EQ(At(p, head.p2), RGB(255, 0, 0));
  // Brush: from the press point through each point reached.
  for (Point q : {Point{420, 550}, Point{425, 555}, Point{430, 545}, Point{434, 551}})
    EXPECT_EQ(At(p, q), RGB(255, 255, 0)) << q.x << "," << q.y;
  EXPECT_EQ(At(p, {440, 550}), Plain({440, 550}));
}

// The free-hand tools draw a stroke move by move; its picture is that of
// every segment drawn at once, as a paint that draws the whole stroke again
// would show it. The highlighter tints each pixel once, however often the
// stroke crosses it.
TEST_F(Annotate, ALongFreehandStrokeBurnsInWhatDrawingItWholeGives) {
  // A stroke crossing itself many times: drawn move by move (and once
  // repainted without a move), then released.
  std::vector<Point> stroke{{410, 310}};
  for (int i = 1; i < 300; ++i) stroke.push_back({410 + i, 310 + (i * 37) % 280});
  auto drawStroke = [&] {
    Press(stroke[0]);
    for (size_t i = 1; i < stroke.size(); ++i) MoveHeld(stroke[i]);
    kv::PaintOverlay();
    EXPECT_EQ(o.brushPoints.size(), stroke.size());
    Release(stroke.back());
    EXPECT_FALSE(o.brushLayer);
    EXPECT_FALSE(o.highlighterMask);
  };
  // `pen` drawn through every segment at once, over the plain region or
  // over black.
  const int w = kRegion.Width(), h = kRegion.Height();
  auto drawWhole = [&](Picture* picture, HPEN pen, bool overPlain) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        picture->Set(x, y, overPlain ? Plain({kRegion.left + x, kRegion.top + y}) : 0);
    if (!pen) return;
    kv::ScopedSelect select(picture->dc(), pen);
    for (size_t i = 1; i < stroke.size(); ++i) {
      MoveToEx(picture->dc(), stroke[i - 1].x - kRegion.left, stroke[i - 1].y - kRegion.top,
               nullptr);
      LineTo(picture->dc(), stroke[i].x - kRegion.left, stroke[i].y - kRegion.top);
    }
  };
  auto differing = [&](const Picture& expected) {
    const Pixels p = Composed();
    int count = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) count += p.At(x, y) != expected.At(x, y);
    return count;
  };
  const COLORREF colour = RGB(200, 30, 60);
  Use(kv::kCmdBrushTool, colour, 5);
  drawStroke();
  Picture expected(w, h);
  kv::ScopedPen brush(CreatePen(PS_SOLID, 5, colour));
  drawWhole(&expected, brush.get(), true);
  EXPECT_EQ(differing(expected), 0);

  Command(kv::kCmdUndo);
  Use(kv::kCmdHighlighter, colour, 5);
  drawStroke();
  const LOGBRUSH white{BS_SOLID, RGB(255, 255, 255), 0};
  kv::ScopedPen wide(ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                                  kv::HighlighterWidth(5, o.uiScale), &white, 0, nullptr));
  Picture mask(w, h);
  drawWhole(&mask, wide.get(), false);
  drawWhole(&expected, nullptr, true);
  GdiFlush();
  auto view = [&](const Picture& p) {
    DIBSECTION d{};
    GetObject(p.bitmap(), sizeof d, &d);
    return kv::MutablePixelView{static_cast<uint8_t*>(d.dsBm.bmBits), w, h, d.dsBm.bmWidthBytes, 4};
  };
  const kv::MutablePixelView m = view(mask);
  kv::MultiplyUnderMask(view(expected), {m.bits, w, h, m.stride, 4}, GetRValue(colour),
                        GetGValue(colour), GetBValue(colour));
  EXPECT_EQ(differing(expected), 0);
}

TEST_F(Annotate, UndoGivesBackEachEarlierPictureExactly) {
  std::vector<std::vector<BYTE>> pictures{Composed().bytes};
  const UINT tools[] = {kv::kCmdAddRectangle, kv::kCmdBrushTool, kv::kCmdAddEllipse};
  for (int i = 0; i < 3; ++i) {
    Use(tools[i], RGB(40 * i, 200, 90), 5);
    Drag({450 + 60 * i, 350}, {{451 + 60 * i, 351}, {700, 560}, {720 - 30 * i, 590}});
    pictures.push_back(Composed().bytes);
  }
  // A click without a move adds an entry that changes nothing.
  Drag({500, 500}, {});
  EXPECT_EQ(o.snapshotStack.size(), 4u);
  EXPECT_EQ(Composed().bytes, pictures[3]);
  Command(kv::kCmdUndo);
  EXPECT_EQ(Composed().bytes, pictures[3]);
  for (int i = 2; i >= 0; --i) {
    Command(kv::kCmdUndo);
    EXPECT_EQ(Composed().bytes, pictures[i]) << "after undoing shape " << i + 1;
  }
  EXPECT_TRUE(o.snapshotStack.empty());
  EXPECT_TRUE(o.selected);
  // Redo brings each back in order; a new annotation forgets what is left.
  Command(kv::kCmdRedo);
  Command(kv::kCmdRedo);
  EXPECT_EQ(Composed().bytes, pictures[2]);
  EXPECT_TRUE(kv::CanRedo());
  // What the stack holds for a shape is far less than a picture per entry.
  Use(kv::kCmdAddRectangle);
  Drag({450, 350}, {{451, 351}, {470, 370}});
  EXPECT_FALSE(kv::CanRedo());
  EXPECT_LT(o.snapshotStack.entries.back().Footprint(), pictures[0].size() / 10);
}

TEST_F(Annotate, AShapeReachesTheRegionsTopLeftCornerAtTheScreensOrigin) {
  Command(kv::kCmdResetCapture);
  WaitUntilReady();
  Drag({1, 1}, {{0, 0}, {300, 200}});
  ASSERT_EQ(o.selection, (Rect{0, 0, 300, 200}));
  Use(kv::kCmdAddRectangle, kBlue, 1);
  Drag({100, 100}, {{0, 0}});
  kv::ComposeRegion();
  const Pixels p(o.composedImage.get());
  EXPECT_EQ(p.At(0, 0), kBlue);
  EXPECT_EQ(p.At(100, 50), PatternAt(100, 50));
  EXPECT_EQ(p.At(99, 50), kBlue);
}

TEST_F(Annotate, AStrokeHoldsThePointerUntilItsRelease) {
  Use(kv::kCmdAddRectangle);
  Press({500, 400});
  EXPECT_EQ(GetCapture(), o.overlayWindow);
  MoveHeld({520, 420});
  Release({520, 420});
  EXPECT_NE(GetCapture(), o.overlayWindow);
  EXPECT_FALSE(o.shapeInProgress);
  // Taken away mid-stroke (a menu, another window), the stroke ends there.
  Press({500, 400});
  MoveHeld({530, 430});
  ReleaseCapture();
  EXPECT_FALSE(o.shapeInProgress);
  EXPECT_EQ(o.snapshotStack.size(), 2u);
}

class AnnotateText : public Annotate {
 protected:
  // Opens a box by dragging from `from` to `to` with the text tool.
  void OpenBox(Point from, Point to) {
    Command(kv::kCmdAddText);
    o.penColor = kBlue;
    if (from == to) {
      Drag(from, {});
    } else {
      Drag(from, {{from.x + 1, from.y + 1}, to});
    }
    ASSERT_TRUE(IsWindowVisible(o.textEdit));
    ASSERT_EQ(GetFocus(), o.textEdit);
  }
  Rect Box() { return WindowRectInOverlay(o.textEdit); }
  // Ink of the pen's colour inside and outside `box` in the composed picture.
  std::pair<int, int> Ink(const Rect& box) {
    const Pixels p = Composed();
    int inside = 0, outside = 0;
    for (int y = kRegion.top; y < kRegion.bottom; ++y) {
      for (int x = kRegion.left; x < kRegion.right; ++x) {
        if (At(p, {x, y}) == Plain({x, y})) continue;
        (kv::Contains(box, {x, y}) ? inside : outside)++;
      }
    }
    return {inside, outside};
  }
};

TEST_F(AnnotateText, TheBoxGoesOverTheDraggedAreaWithTheSizesFont) {
  OpenBox({700, 550}, {500, 400});
  EXPECT_EQ(Box(), (Rect{501, 401, 699, 549}));
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(o.textEdit, WM_GETFONT, 0, 0));
  EXPECT_EQ(font, o.textBoxFont.get());
  LOGFONTW lf{};
  GetObjectW(font, sizeof lf, &lf);
  kv::ScopedGetDC dc(o.overlayWindow);
  EXPECT_EQ(lf.lfHeight, kv::TextCellHeight(12, GetDeviceCaps(dc.get(), LOGPIXELSY)));
  EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET);
  SetFocus(o.overlayWindow);  // commits the empty box: nothing added
  EXPECT_TRUE(o.snapshotStack.empty());

  // A click gives the smallest box; a release beyond the region keeps the
  // far edge inside it.
  OpenBox({600, 500}, {600, 500});
  EXPECT_EQ(Box(), (Rect{601, 501, 611, 521}));
  SetFocus(o.overlayWindow);
  OpenBox({600, 500}, {900, 700});
  EXPECT_EQ(Box(), (Rect{601, 501, 798, 598}));
}

TEST_F(AnnotateText, CommittedTextIsDrawnInsideItsBoxAnyScriptAtMost499Units) {
  OpenBox({450, 350}, {700, 450});
  const Rect box = Box();
  SetWindowTextW(o.textEdit, L"Hello,\r\n\x622A\x56FE \x8868\x683C");  // Chinese on the second line
  EXPECT_EQ(kv::TextOfBox(), L"Hello,\r\n\x622A\x56FE \x8868\x683C");
  SetFocus(o.overlayWindow);
  EXPECT_FALSE(IsWindowVisible(o.textEdit));
  ASSERT_EQ(o.snapshotStack.size(), 1u);
  EXPECT_TRUE(o.textString.empty());  // burned in, not kept
  const auto [inside, outside] = Ink(box);
  EXPECT_GT(inside, 40);
  EXPECT_EQ(outside, 0);
  // Both lines: ink in the top and in the second cell row of the box.
  const Pixels p = Composed();
  auto inkInRows = [&](int top, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = box.left; x < box.right; ++x) n += At(p, {x, y}) != Plain({x, y});
    return n;
  };
  const int cell = kv::TextCellHeight(12, 96);
  EXPECT_GT(inkInRows(box.top, box.top + cell), 10);
  EXPECT_GT(inkInRows(box.top + cell, box.top + 2 * cell), 10);

  OpenBox({450, 500}, {790, 590});
  SetWindowTextW(o.textEdit, std::wstring(600, L'x').c_str());
  EXPECT_EQ(kv::TextOfBox().size(), 499u);
}

TEST_F(AnnotateText, CommittedTextKeepsItsColourWhenTheColourChanges) {
  o.penColor = RGB(0, 0, 255);
  OpenBox({450, 350}, {700, 450});
  SetWindowTextW(o.textEdit, L"Hello");
  SetFocus(o.overlayWindow);
  const Pixels committed = Composed();
  o.penColor = RGB(255, 0, 0);
  EXPECT_EQ(Composed().bytes, committed.bytes);
}

TEST_F(AnnotateText, APressOnABarCommitsButDiscardingTheRegionDoesNot) {
  OpenBox({450, 350}, {700, 450});
  SetWindowTextW(o.textEdit, L"first");
  // The colour bar's red swatch (row 2, column 3).
  const Rect swatch = kv::ColourSwatchRects()[10];
  POINT at{(swatch.left + swatch.right) / 2, (swatch.top + swatch.bottom) / 2};
  ClientToScreen(o.optionBars[0], &at);
  SetCursorPos(at.x, at.y);
  SendMessageA(o.optionBars[0], WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SendMessageA(o.optionBars[0], WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(o.snapshotStack.size(), 1u);
  EXPECT_EQ(o.penColor, RGB(255, 0, 0));

  OpenBox({450, 500}, {700, 590});
  SetWindowTextW(o.textEdit, L"never drawn");
  kv::HideToolWindows();  // as a reset or a right click outside the region does
  EXPECT_FALSE(IsWindowVisible(o.textEdit));
  EXPECT_TRUE(o.textString.empty());
  EXPECT_EQ(o.snapshotStack.size(), 1u);
}

TEST_F(AnnotateText, CancellingWhileTypingEndsCleanly) {
  OpenBox({450, 350}, {700, 450});
  SetWindowTextW(o.textEdit, L"typed");
  kv::CancelCapture();
  EXPECT_FALSE(o.overlayWindow);
  EXPECT_TRUE(Notified(kv::WM_CAPTURE_CANCEL));
  EXPECT_FALSE(o.composedImage);
  EXPECT_FALSE(o.textBoxFont);
}

}  // namespace
