// The data carried by a drag: a list of (format, medium) entries, and the
// enumerator over its formats.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <vector>

#include "installer/com_object.h"

namespace kv {

class CIDataObject final : public IDataObject, public LiveObjects<CIDataObject> {
 public:
  CIDataObject() = default;
  CIDataObject(const CIDataObject&) = delete;
  CIDataObject& operator=(const CIDataObject&) = delete;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IDataObject
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
  STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
  STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                       DWORD* connection) override;
  STDMETHODIMP DUnadvise(DWORD connection) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override;

  // Duplicates source into destination for the given format: handles through
  // OleDuplicateData, stream and storage interfaces shared (AddRef'd), the
  // release object shared. False when a handle could not be duplicated.
  static bool CopyMedium(STGMEDIUM* destination, const STGMEDIUM& source, const FORMATETC& format);

 private:
  ~CIDataObject();

  ULONG refs_ = 0;
  // Entry i of formats_ belongs to entry i of media_; both are owned.
  std::vector<FORMATETC> formats_;
  std::vector<STGMEDIUM> media_;
};

class CEnumFormatEtc final : public IEnumFORMATETC, public LiveObjects<CEnumFormatEtc> {
 public:
  // Copies the formats; the enumerator starts at the first one.
  explicit CEnumFormatEtc(const std::vector<FORMATETC>& formats);
  CEnumFormatEtc(const CEnumFormatEtc&) = delete;
  CEnumFormatEtc& operator=(const CEnumFormatEtc&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP Next(ULONG count, FORMATETC* formats, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumFORMATETC** out) override;

 private:
  ~CEnumFormatEtc();

  ULONG refs_ = 0;
  std::vector<FORMATETC> formats_;
  size_t index_ = 0;
};

}  // namespace kv
