// An owned byte buffer laid out like MAPI's SBinary, so that a row or property builder can copy
// both fields straight into a PT_BINARY value. It carries entry identifiers inside the provider.
#pragma once

#include <cstddef>

#include "mapidefs.h"

class CBinary {
 public:
  CBinary() = default;
  CBinary(ULONG count, const BYTE* bytes) { Assign(count, bytes); }
  CBinary(const CBinary&) = delete;
  CBinary& operator=(const CBinary&) = delete;
  ~CBinary() { Assign(0, nullptr); }

  // Replaces the contents with a copy of `count` bytes (zeroes when `bytes` is null). An
  // allocation failure leaves the buffer empty; nothing is thrown.
  void Assign(ULONG count, const BYTE* bytes);

  // The buffer as a PT_BINARY value sees it; it stays owned by this object.
  SBinary AsSBinary() const { return SBinary{cb, lpb}; }

  ULONG cb = 0;
  LPBYTE lpb = nullptr;
};

static_assert(offsetof(CBinary, cb) == offsetof(SBinary, cb));
static_assert(offsetof(CBinary, lpb) == offsetof(SBinary, lpb));
static_assert(sizeof(CBinary) == sizeof(SBinary));
