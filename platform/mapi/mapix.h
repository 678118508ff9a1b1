// MAPI's memory routines. Buffers are linked: everything allocated "more" on a buffer is
// freed with it.
#pragma once

#include "mapicode.h"
#include "mapidefs.h"

// C linkage, as MAPI exports them: a client written in C links against them.
extern "C" {

// Allocates a root buffer of `cbSize` bytes, aligned for any type.
// MAPI_E_INVALID_PARAMETER when `lppBuffer` is null, MAPI_E_NOT_ENOUGH_MEMORY on exhaustion.
SCODE STDAPICALLTYPE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer);
// Allocates `cbSize` bytes linked to `lpObject` (a buffer from MAPIAllocateBuffer, or one
// allocated more on it): freeing that root frees this block too.
// MAPI_E_INVALID_PARAMETER when `lppBuffer` is null or `lpObject` is not a live buffer.
SCODE STDAPICALLTYPE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
// Frees a root buffer and every block linked to it. A null pointer is accepted; a block
// allocated more is freed with its root, not alone. Returns S_OK, or
// MAPI_E_INVALID_PARAMETER for a pointer that is not a live buffer.
ULONG STDAPICALLTYPE MAPIFreeBuffer(LPVOID lpBuffer);

}  // extern "C"

// Number of live root buffers: lets tests show that nothing handed out was lost.
std::size_t MAPIOutstandingBuffers();
