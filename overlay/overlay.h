// The interactive capture overlay.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

#include "core/selection.h"
#include "winutil/scoped_win.h"

namespace kv {

// Takes the snapshot and shows the frozen screen; the outcome arrives at
// notifyWindow as WM_CAPTURE_DONE or WM_CAPTURE_CANCEL (also when the
// overlay cannot be opened). The companion windows (toolbar, option bars,
// text box, tooltip) and the context menu are made right after the first
// frame, when the overlay receives WM_OVERLAY_COMPANIONS, which it posts to
// itself.
void StartOverlay(HWND notifyWindow, const std::string& fileName);
constexpr UINT WM_OVERLAY_COMPANIONS = WM_USER + 0x110;

// The steps of StartOverlay after PrepareOverlay, in order; one that fails
// ends the opening with AbandonOverlay.
struct OverlayOpeningStep {
  const char* name;
  bool (*run)();
};
extern const OverlayOpeningStep kOverlayOpening[];
extern const size_t kOverlayOpeningSteps;
// The steps of CreateOverlayCompanions; one that fails cancels the capture.
extern const OverlayOpeningStep kOverlayCompanions[];
extern const size_t kOverlayCompanionSteps;
void CreateOverlayCompanions();
// Keeps the notification window and file name, resets the capture state and
// reads the virtual screen's size.
void PrepareOverlay(HWND notifyWindow, const std::string& fileName);
// The overlay could not be opened: the host is told the capture was
// cancelled, so the browser is not left waiting.
void AbandonOverlay();

// Ends the capture with the current region: clipboard, capture file,
// WM_CAPTURE_DONE. Crossed edges are put in order first; a region with
// nothing on the screen is not completed (the overlay stays open).
void CompleteCapture();
// CompleteCapture, calling `alsoWith` (when given) with the composed picture
// and the region it shows, once the overlay is off the screen and before
// the clipboard, the file and the event.
void CompleteCaptureAnd(void (*alsoWith)(HBITMAP picture, const Rect& region));
// Completes as CompleteCapture does and pins the picture at the region's
// place in a process of its own.
void PinCapture();
// Ends the capture without an image: WM_CAPTURE_CANCEL.
void CancelCapture();
// Offers the current region to the Save As dialog; the overlay stays open
// and unchanged whatever the outcome.
void SaveCaptureAs();
// Back to choosing a region: region, annotations and tool discarded. Does
// not paint or hide anything.
void ResetCapture();
// Hides the toolbar, the option bars and the text box where visible; text
// still being typed is discarded, not drawn.
void HideToolWindows();
void HideOptionBars();
// Releases the snapshots, the composed image and the toolbar artwork, then
// ResetCapture.
void ReleaseOverlayResources();

// A picture of the overlay's artwork (its number at 100 %) from the set made
// for the overlay's screen density.
HBITMAP LoadArtwork(int pictureId);

// Brings the overlay's picture up to date (and, with composeFlag set,
// makes composedImage). Only the part that changed since the last paint is
// drawn and copied to the window, with whatever part of the window waits
// to be painted again. No effect while the overlay window does
// not exist.
void PaintOverlay();
// The window's picture is not one the last paint left (a new window): the
// next paint draws the whole window.
void ForgetShownPicture();
// Shows the darkened screen on the whole window straight from its snapshot
// (the picture of a paint without a region) and leaves nothing to paint.
void PaintFrozenScreen();
// Draws `part` (window coordinates, within the region) of the region's
// picture before the stroke being drawn (the capture, or the picture the
// last annotation left) at `at` in `target`.
void DrawRegionPicture(HDC target, const Rect& part, Point at);
// Draws the overlay as PaintOverlay does into `target` (a context holding a
// bitmap of the virtual screen's size), with the pointer at `pointer`.
void RenderOverlay(HDC target, Point pointer);

// A companion window's rectangle in overlay client coordinates.
Rect RectInOverlay(HWND window);

// The part of the region that lies on the screen: where the bright picture
// and the annotations go, and what a composition takes.
Rect VisibleRegion();
// A new 24-bit bottom-up section of the region's size holding `region` of
// the picture selected into `source`; empty when it cannot be made.
ScopedBitmap CopyToRegionSection(HDC source, const Rect& region);

// Comma (+1, older) and full stop (-1, newer): the region of an earlier
// completed capture comes back, fixed, while no tool is in use.
void StepThroughRegionHistory(int step);
// Adds the region being completed to the user's region history.
void RememberCompletedRegion();

// Shows the context menu at a screen point, owned by the overlay.
void ShowContextMenu(POINT screenPoint);

// Offers the window under the pointer as the region while none is fixed.
void HighlightWindowUnderPointer();

// A key pressed while the overlay, the toolbar or an option bar has the
// focus (the text box keeps its keys): arrow keys step the pointer or the
// region, Ctrl with a letter runs a command.
void OnOverlayKey(UINT virtualKey);

LRESULT CALLBACK OverlayWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace kv
