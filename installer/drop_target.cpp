#include "installer/drop_target.h"

#include "installer/drop_source.h"

namespace kv {

CIDropTarget::CIDropTarget(HWND window) : dropWindow_(window) {
  if (FAILED(CoCreateInstance(kDragDropHelperClsid, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IDropTargetHelper, reinterpret_cast<void**>(&dragImageTarget_))))
    dragImageTarget_ = nullptr;
}

CIDropTarget::~CIDropTarget() {
  if (dragImageTarget_) dragImageTarget_->Release();
  for (FORMATETC& format : supportedFormats_) FreeFormatEtc(&format);
}

STDMETHODIMP CIDropTarget::QueryInterface(REFIID iid, void** out) {
  return QueryOneInterface<IDropTarget>(this, iid, IID_IDropTarget, out);
}

STDMETHODIMP_(ULONG) CIDropTarget::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) CIDropTarget::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

void CIDropTarget::AddSupportedFormat(const FORMATETC& format) {
  FORMATETC copy{};
  CopyFormatEtc(&copy, format);
  supportedFormats_.push_back(copy);
}

const FORMATETC* CIDropTarget::matchedFormat() const {
  return matched_ == kNoMatch ? nullptr : &supportedFormats_[matched_];
}

bool CIDropTarget::QueryDrop(DWORD keyState, DWORD* effect) const {
  const DWORD allowed = *effect;
  DWORD chosen = DROPEFFECT_NONE;
  if (allowDrop_) {
    const bool ctrl = (keyState & MK_CONTROL) != 0;
    const bool shift = (keyState & MK_SHIFT) != 0;
    if (ctrl && shift) {
      chosen = allowed & DROPEFFECT_LINK;
    } else if (ctrl) {
      chosen = allowed & DROPEFFECT_COPY;
    } else if (shift) {
      chosen = allowed & DROPEFFECT_MOVE;
    } else {
      for (DWORD preferred : {DROPEFFECT_COPY, DROPEFFECT_MOVE, DROPEFFECT_LINK}) {
        if (allowed & preferred) {
          chosen = preferred;
          break;
        }
      }
    }
  }
  *effect = chosen;
  return chosen != DROPEFFECT_NONE;
}

STDMETHODIMP CIDropTarget::DragEnter(IDataObject* data, DWORD keyState, POINTL point,
                                     DWORD* effect) {
  if (!data || !effect) return E_INVALIDARG;
  if (dragImageTarget_) {
    POINT pt{point.x, point.y};
    dragImageTarget_->DragEnter(dropWindow_, data, &pt, *effect);
  }
  matched_ = kNoMatch;
  allowDrop_ = false;
  for (size_t i = 0; i < supportedFormats_.size(); ++i) {
    allowDrop_ = data->QueryGetData(&supportedFormats_[i]) == S_OK;
    if (allowDrop_) {
      matched_ = i;
      break;
    }
  }
  QueryDrop(keyState, effect);
  return S_OK;
}

STDMETHODIMP CIDropTarget::DragOver(DWORD keyState, POINTL point, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  if (dragImageTarget_) {
    POINT pt{point.x, point.y};
    dragImageTarget_->DragOver(&pt, *effect);
  }
  QueryDrop(keyState, effect);
  return S_OK;
}

STDMETHODIMP CIDropTarget::DragLeave() {
  if (dragImageTarget_) dragImageTarget_->DragLeave();
  allowDrop_ = false;
  matched_ = kNoMatch;
  return S_OK;
}

STDMETHODIMP CIDropTarget::Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
  if (!data || !effect) return E_INVALIDARG;
  if (dragImageTarget_) {
    POINT pt{point.x, point.y};
    dragImageTarget_->Drop(data, &pt, *effect);
  }
  if (QueryDrop(keyState, effect) && allowDrop_ && matched_ != kNoMatch) {
    FORMATETC format = supportedFormats_[matched_];
    STGMEDIUM medium{};
    if (SUCCEEDED(data->GetData(&format, &medium))) {
      if (OnDrop(format, medium, effect)) ReleaseStgMedium(&medium);
    }
  }
  // The source is always told that nothing was done with its data.
  allowDrop_ = false;
  *effect = DROPEFFECT_NONE;
  matched_ = kNoMatch;
  return S_OK;
}

}  // namespace kv
