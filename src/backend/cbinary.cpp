#include "backend/cbinary.h"

#include <cstring>
#include <new>
#include <utility>

void CBinary::Assign(ULONG count, const BYTE* bytes) {
  // The new bytes are copied before the old ones go: `bytes` may point into this buffer.
  LPBYTE copy = nullptr;
  if (count != 0) {
    copy = new (std::nothrow) BYTE[count];
    if (copy) {
      if (bytes)
        std::memcpy(copy, bytes, count);
      else
        std::memset(copy, 0, count);
    }
  }
  delete[] lpb;
  lpb = copy;
  cb = copy ? count : 0;
}
