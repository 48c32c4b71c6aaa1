#include "installer/drop_source.h"

namespace kv {

const CLSID kDragDropHelperClsid = {
    0x4657278a, 0x411b, 0x11d2, {0x83, 0x9a, 0x00, 0xc0, 0x4f, 0xd9, 0x18, 0xd0}};

// ---- CIDropSource -----------------------------------------------------------

STDMETHODIMP CIDropSource::QueryInterface(REFIID iid, void** out) {
  return QueryOneInterface<IDropSource>(this, iid, IID_IDropSource, out);
}

STDMETHODIMP_(ULONG) CIDropSource::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) CIDropSource::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP CIDropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
  if (escapePressed) return DRAGDROP_S_CANCEL;
  if (keyState & (MK_LBUTTON | MK_RBUTTON)) return S_OK;
  return DRAGDROP_S_DROP;
}

STDMETHODIMP CIDropSource::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }

// ---- CDragSourceHelper ------------------------------------------------------

CDragSourceHelper::CDragSourceHelper() {
  if (FAILED(CoCreateInstance(kDragDropHelperClsid, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IDragSourceHelper, reinterpret_cast<void**>(&helper_))))
    helper_ = nullptr;
}

CDragSourceHelper::~CDragSourceHelper() {
  if (helper_) helper_->Release();
}

HRESULT CDragSourceHelper::InitializeFromBitmap(HBITMAP bitmap, POINT point, RECT rect,
                                                IDataObject* dataObject, COLORREF colourKey) {
  if (!helper_) return E_FAIL;
  SHDRAGIMAGE image{};
  image.sizeDragImage.cx = rect.right - rect.left;
  image.sizeDragImage.cy = rect.bottom - rect.top;
  image.ptOffset.x = point.x - rect.left;
  image.ptOffset.y = point.y - rect.top;
  image.hbmpDragImage = bitmap;
  image.crColorKey = colourKey;
  return helper_->InitializeFromBitmap(&image, dataObject);
}

}  // namespace kv
