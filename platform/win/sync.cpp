#include "windows.h"

#include <atomic>
#include <mutex>
#include <new>

namespace {
std::recursive_mutex& MutexOf(LPCRITICAL_SECTION cs) {
  return *std::launder(reinterpret_cast<std::recursive_mutex*>(cs->opaque));
}
}  // namespace

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque));

void InitializeCriticalSection(LPCRITICAL_SECTION cs) { new (cs->opaque) std::recursive_mutex(); }
void DeleteCriticalSection(LPCRITICAL_SECTION cs) { MutexOf(cs).~recursive_mutex(); }
void EnterCriticalSection(LPCRITICAL_SECTION cs) { MutexOf(cs).lock(); }
void LeaveCriticalSection(LPCRITICAL_SECTION cs) { MutexOf(cs).unlock(); }
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) { return MutexOf(cs).try_lock() ? TRUE : FALSE; }

LONG InterlockedIncrement(LONG volatile* value) {
  return std::atomic_ref<LONG>(*const_cast<LONG*>(value)).fetch_add(1) + 1;
}
LONG InterlockedDecrement(LONG volatile* value) {
  return std::atomic_ref<LONG>(*const_cast<LONG*>(value)).fetch_sub(1) - 1;
}
