// The source side of a drag: the IDropSource that follows the mouse and the
// keyboard, and the shell's drag-image service.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <shobjidl.h>

#include "installer/com_object.h"

namespace kv {

// The shell's drag-image object (IDragSourceHelper, IDropTargetHelper).
extern const CLSID kDragDropHelperClsid;

class CIDropSource final : public IDropSource, public LiveObjects<CIDropSource> {
 public:
  CIDropSource() = default;
  CIDropSource(const CIDropSource&) = delete;
  CIDropSource& operator=(const CIDropSource&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // Escape cancels; a mouse button still down goes on; otherwise drop.
  STDMETHODIMP QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
  STDMETHODIMP GiveFeedback(DWORD effect) override;

 private:
  ~CIDropSource() = default;
  ULONG refs_ = 0;
};

// Shows a bitmap under the cursor during a drag, through the shell's
// IDragSourceHelper; without that service the drag runs without an image.
class CDragSourceHelper {
 public:
  CDragSourceHelper();
  virtual ~CDragSourceHelper();
  CDragSourceHelper(const CDragSourceHelper&) = delete;
  CDragSourceHelper& operator=(const CDragSourceHelper&) = delete;

  bool available() const { return helper_ != nullptr; }
  // The image is the bitmap's rectangle; point is where the cursor holds it
  // (in the bitmap's coordinates). On success the shell owns the bitmap.
  HRESULT InitializeFromBitmap(HBITMAP bitmap, POINT point, RECT rect, IDataObject* dataObject,
                               COLORREF colourKey);

 private:
  IDragSourceHelper* helper_ = nullptr;
};

}  // namespace kv
