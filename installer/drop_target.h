// The target side of a drag: accepts the first supported format that the
// dragged data offers and hands it to OnDrop.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <shobjidl.h>

#include <vector>

#include "installer/com_object.h"

namespace kv {

class CIDropTarget : public IDropTarget {
 public:
  // Window over which drops arrive (also given to the drag-image service).
  explicit CIDropTarget(HWND window);
  CIDropTarget(const CIDropTarget&) = delete;
  CIDropTarget& operator=(const CIDropTarget&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
  STDMETHODIMP DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
  STDMETHODIMP DragLeave() override;
  STDMETHODIMP Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

  // Formats are tried in the order they were added.
  void AddSupportedFormat(const FORMATETC& format);
  // Picks the effect from the keys held among those in *effect (on entry:
  // the effects the source allows) and writes it back; false for none.
  bool QueryDrop(DWORD keyState, DWORD* effect) const;

  bool allowDrop() const { return allowDrop_; }
  // The supported format the current drag matched, or null.
  const FORMATETC* matchedFormat() const;
  bool hasDragImageTarget() const { return dragImageTarget_ != nullptr; }

 protected:
  virtual ~CIDropTarget();
  // Takes the dropped data. True when the medium is to be released after
  // the call; false when the handler kept it.
  virtual bool OnDrop(const FORMATETC& format, STGMEDIUM& medium, DWORD* effect) = 0;

 private:
  static constexpr size_t kNoMatch = static_cast<size_t>(-1);

  ULONG refs_ = 0;
  bool allowDrop_ = false;
  IDropTargetHelper* dragImageTarget_ = nullptr;
  std::vector<FORMATETC> supportedFormats_;
  size_t matched_ = kNoMatch;
  HWND dropWindow_;
};

}  // namespace kv
