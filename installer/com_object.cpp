#include "installer/com_object.h"

#include <cstring>

namespace kv {

bool CopyFormatEtc(FORMATETC* destination, const FORMATETC& source) {
  *destination = source;
  if (!source.ptd) return true;
  const DWORD size = source.ptd->tdSize;
  const DWORD room = size < sizeof(DVTARGETDEVICE) ? sizeof(DVTARGETDEVICE) : size;
  auto* copy = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(room));
  destination->ptd = copy;
  if (!copy) return false;
  std::memset(copy, 0, room);
  std::memcpy(copy, source.ptd, size);
  return true;
}

void FreeFormatEtc(FORMATETC* format) {
  if (format->ptd) CoTaskMemFree(format->ptd);
  format->ptd = nullptr;
}

}  // namespace kv
