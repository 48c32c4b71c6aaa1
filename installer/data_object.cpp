#include "installer/data_object.h"

#include <cwchar>
#include <new>

namespace kv {

// ---- CIDataObject -----------------------------------------------------------

CIDataObject::~CIDataObject() {
  for (STGMEDIUM& medium : media_) ReleaseStgMedium(&medium);
  for (FORMATETC& format : formats_) FreeFormatEtc(&format);
}

STDMETHODIMP CIDataObject::QueryInterface(REFIID iid, void** out) {
  return QueryOneInterface<IDataObject>(this, iid, IID_IDataObject, out);
}

STDMETHODIMP_(ULONG) CIDataObject::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) CIDataObject::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

bool CIDataObject::CopyMedium(STGMEDIUM* destination, const STGMEDIUM& source,
                              const FORMATETC& format) {
  bool copied = true;
  switch (source.tymed) {
    case TYMED_HGLOBAL:
    case TYMED_GDI:
    case TYMED_MFPICT:
    case TYMED_ENHMF:
      destination->hGlobal =
          static_cast<HGLOBAL>(OleDuplicateData(source.hGlobal, format.cfFormat, 0));
      copied = destination->hGlobal || !source.hGlobal;
      break;
    case TYMED_FILE:
      // The medium holds a file name in task memory, not a handle.
      destination->lpszFileName = nullptr;
      if (source.lpszFileName) {
        size_t bytes = (std::wcslen(source.lpszFileName) + 1) * sizeof(WCHAR);
        destination->lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (destination->lpszFileName)
          std::wmemcpy(destination->lpszFileName, source.lpszFileName, bytes / sizeof(WCHAR));
        copied = destination->lpszFileName != nullptr;
      }
      break;
    case TYMED_ISTREAM:
      destination->pstm = source.pstm;
      if (destination->pstm) destination->pstm->AddRef();
      break;
    case TYMED_ISTORAGE:
      destination->pstg = source.pstg;
      if (destination->pstg) destination->pstg->AddRef();
      break;
    default: break;
  }
  destination->tymed = source.tymed;
  destination->pUnkForRelease = source.pUnkForRelease;
  if (destination->pUnkForRelease) destination->pUnkForRelease->AddRef();
  return copied;
}

STDMETHODIMP CIDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (!format || !medium) return E_INVALIDARG;
  for (size_t i = 0; i < formats_.size(); ++i) {
    const FORMATETC& have = formats_[i];
    if ((have.tymed & format->tymed) && have.dwAspect == format->dwAspect &&
        have.cfFormat == format->cfFormat) {
      *medium = STGMEDIUM{};
      if (CopyMedium(medium, media_[i], have)) return S_OK;
      ReleaseStgMedium(medium);
      *medium = STGMEDIUM{};
      return E_OUTOFMEMORY;
    }
  }
  return DV_E_FORMATETC;
}

STDMETHODIMP CIDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP CIDataObject::QueryGetData(FORMATETC* format) {
  if (!format) return E_INVALIDARG;
  if (!(format->dwAspect & DVASPECT_CONTENT)) return DV_E_DVASPECT;
  // The answer for a miss is the one of the last entry looked at.
  HRESULT pending = DV_E_TYMED;
  for (const FORMATETC& have : formats_) {
    pending = DV_E_TYMED;
    if (have.tymed & format->tymed) {
      if (have.cfFormat == format->cfFormat) return S_OK;
      pending = DV_E_CLIPFORMAT;
    }
  }
  return pending;
}

STDMETHODIMP CIDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (!out) return E_INVALIDARG;
  return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP CIDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
  if (!format || !medium) return E_INVALIDARG;
  FORMATETC keptFormat{};
  STGMEDIUM keptMedium{};
  if (!CopyFormatEtc(&keptFormat, *format)) {
    FreeFormatEtc(&keptFormat);
    return E_OUTOFMEMORY;
  }
  if (release) {
    keptMedium = *medium;
  } else if (!CopyMedium(&keptMedium, *medium, *format)) {
    ReleaseStgMedium(&keptMedium);
    FreeFormatEtc(&keptFormat);
    return E_OUTOFMEMORY;
  }
  try {
    formats_.reserve(formats_.size() + 1);
    media_.reserve(media_.size() + 1);
  } catch (const std::bad_alloc&) {
    // A medium handed over stays the caller's when it could not be kept.
    if (!release) ReleaseStgMedium(&keptMedium);
    FreeFormatEtc(&keptFormat);
    return E_OUTOFMEMORY;
  }
  formats_.push_back(keptFormat);
  media_.push_back(keptMedium);
  return S_OK;
}

STDMETHODIMP CIDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  CEnumFormatEtc* enumerator = nullptr;
  try {
    enumerator = new CEnumFormatEtc(formats_);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  enumerator->AddRef();
  *out = enumerator;
  return S_OK;
}

STDMETHODIMP CIDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) {
  return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP CIDataObject::DUnadvise(DWORD) { return E_NOTIMPL; }

STDMETHODIMP CIDataObject::EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }

// ---- CEnumFormatEtc ---------------------------------------------------------

CEnumFormatEtc::CEnumFormatEtc(const std::vector<FORMATETC>& formats) {
  formats_.reserve(formats.size());
  for (const FORMATETC& format : formats) {
    FORMATETC copy{};
    CopyFormatEtc(&copy, format);
    formats_.push_back(copy);
  }
}

CEnumFormatEtc::~CEnumFormatEtc() {
  for (FORMATETC& format : formats_) FreeFormatEtc(&format);
}

STDMETHODIMP CEnumFormatEtc::QueryInterface(REFIID iid, void** out) {
  return QueryOneInterface<IEnumFORMATETC>(this, iid, IID_IEnumFORMATETC, out);
}

STDMETHODIMP_(ULONG) CEnumFormatEtc::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) CEnumFormatEtc::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP CEnumFormatEtc::Next(ULONG count, FORMATETC* formats, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (count == 0 || !formats || index_ >= formats_.size() || (!fetched && count != 1))
    return S_FALSE;
  ULONG copied = 0;
  while (copied < count && index_ < formats_.size()) {
    // The receiver owns (and frees) the target device of what it gets.
    CopyFormatEtc(&formats[copied], formats_[index_]);
    ++copied;
    ++index_;
  }
  if (fetched) *fetched = copied;
  return copied == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumFormatEtc::Skip(ULONG count) {
  if (static_cast<unsigned long long>(index_) + count >= formats_.size()) return S_FALSE;
  index_ += count;
  return S_OK;
}

STDMETHODIMP CEnumFormatEtc::Reset() {
  index_ = 0;
  return S_OK;
}

STDMETHODIMP CEnumFormatEtc::Clone(IEnumFORMATETC** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  CEnumFormatEtc* clone = nullptr;
  try {
    clone = new CEnumFormatEtc(formats_);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  clone->index_ = index_;
  clone->AddRef();
  *out = clone;
  return S_OK;
}

}  // namespace kv
