#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "windows.h"

namespace {
// Asks the kernel to copy one byte out of our own address space: an unreadable page is
// reported as EFAULT instead of faulting the process.
bool ByteReadable(std::uintptr_t address) {
  unsigned char sink;
  struct iovec local {
    &sink, 1
  };
  struct iovec remote {
    reinterpret_cast<void*>(address), 1
  };
  if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == 1) return true;
  if (errno != ENOSYS && errno != EPERM) return false;
  // Where that call is not allowed a pipe write tells the same without crashing.
  int fds[2];
  if (pipe(fds) != 0) return false;
  const ssize_t written = write(fds[1], reinterpret_cast<const void*>(address), 1);
  close(fds[0]);
  close(fds[1]);
  return written == 1;
}
}  // namespace

BOOL IsBadReadPtr(LPCVOID address, UINT_PTR size) {
  if (size == 0) return FALSE;
  if (!address) return TRUE;
  const auto start = reinterpret_cast<std::uintptr_t>(address);
  const std::uintptr_t last = start + (size - 1);
  if (last < start) return TRUE;
  const long pageSize = sysconf(_SC_PAGESIZE);
  const std::uintptr_t page = static_cast<std::uintptr_t>(pageSize > 0 ? pageSize : 4096);
  // Readability is decided page by page: one byte of every page touched is enough.
  if (!ByteReadable(start)) return TRUE;
  for (std::uintptr_t p = (start / page + 1) * page; p != 0 && p <= last; p += page)
    if (!ByteReadable(p)) return TRUE;
  return FALSE;
}
