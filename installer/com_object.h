// Small helpers shared by the hand-written COM objects of the install
// assistant: a live-object count per class (so that tests can tell that
// every object is freed exactly once) and deep copies of FORMATETC records.
#pragma once
#include <windows.h>
#include <objidl.h>

namespace kv {

// Counts the live objects of one class. Everything runs on the GUI thread
// (one OLE single-threaded apartment), so plain integers do.
template <typename T>
class LiveObjects {
 public:
  static long Count() { return count_; }

 protected:
  LiveObjects() { ++count_; }
  LiveObjects(const LiveObjects&) { ++count_; }
  ~LiveObjects() { --count_; }

 private:
  static inline long count_ = 0;
};

// QueryInterface of an object that implements one interface besides
// IUnknown.
template <typename I>
HRESULT QueryOneInterface(I* self, REFIID iid, REFIID own, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == own) {
    *out = self;
    self->AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// Copies a format; the target device (owned by the copy) is duplicated with
// CoTaskMemAlloc, as the receiver of an enumerated format frees it. Returns
// false (and leaves a copy without a target device) when that fails.
bool CopyFormatEtc(FORMATETC* destination, const FORMATETC& source);
// Frees the target device of a copy made by CopyFormatEtc.
void FreeFormatEtc(FORMATETC* format);

}  // namespace kv
