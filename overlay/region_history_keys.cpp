// Comma and full stop while no tool is in use: the regions of earlier
// completed captures come back, older with each comma, newer with each full
// stop, fixed as if just dragged. Completing a capture adds its region.
#include "annotate/annotate.h"
#include "core/region_history.h"
#include "overlay/overlay.h"
#include "overlay/overlay_state.h"
#include "winutil/user_settings.h"

namespace kv {

namespace {

OverlayState& o = overlayState;

constexpr wchar_t kRegionHistorySetting[] = L"RegionHistory";

// The entry shown, for the overlay window it was shown in.
HWND browsedIn = nullptr;
int browsed = -1;

}  // namespace

void StepThroughRegionHistory(int step) {
  if (!o.overlayWindow || o.editMode || !o.snapshotStack.empty()) return;
  if (browsedIn != o.overlayWindow) {
    browsedIn = o.overlayWindow;
    browsed = -1;
  }
  const std::vector<RegionHistoryEntry> entries =
      ParseRegionHistory(ReadUserSettingText(kRegionHistorySetting));
  const int next = StepRegionHistory(entries, browsed, step, o.ScreenWidth(), o.ScreenHeight());
  if (next == browsed || next < 0) return;
  browsed = next;
  o.selection = entries[next].region;
  o.selected = true;
  o.selectPhase = 2;
  o.pressed = false;
  o.moving = false;
  PlaceToolbar();
  ResetToolbarButtons();
  PaintOverlay();
}

void RememberCompletedRegion() {
  const Rect region = VisibleRegion();
  if (IsEmptyRect(region)) return;
  std::vector<RegionHistoryEntry> entries =
      ParseRegionHistory(ReadUserSettingText(kRegionHistorySetting));
  AddToRegionHistory(entries, RegionHistoryEntry{region, o.ScreenWidth(), o.ScreenHeight()});
  WriteUserSettingText(kRegionHistorySetting, FormatRegionHistory(entries));
}

}  // namespace kv
