#include "backend/cbinary.h"

#include <cstring>
#include <new>

void CBinary::Assign(ULONG count, const BYTE* bytes) {
  delete[] lpb;
  lpb = nullptr;
  cb = 0;
  if (count == 0) return;
  LPBYTE copy = new (std::nothrow) BYTE[count];
  if (!copy) return;
  if (bytes)
    std::memcpy(copy, bytes, count);
  else
    std::memset(copy, 0, count);
  lpb = copy;
  cb = count;
}
