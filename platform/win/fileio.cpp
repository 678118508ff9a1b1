#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "windows.h"

namespace {
// Makes the folder's list of names (a rename in it) durable.
bool SyncFolderOf(const char* path) {
  std::string folder(path);
  const std::size_t slash = folder.find_last_of('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
  ::close(fd);
  return synced;
}
}  // namespace

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  if (!existing || !newName) return FALSE;
  if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
    // link fails when the name exists, so no file is ever replaced unasked.
    if (::link(existing, newName) != 0 || ::unlink(existing) != 0) return FALSE;
  } else if (std::rename(existing, newName) != 0) {
    return FALSE;
  }
  if ((flags & MOVEFILE_WRITE_THROUGH) && !SyncFolderOf(newName)) return FALSE;
  return TRUE;
}

int _fileno(std::FILE* stream) { return stream ? ::fileno(stream) : -1; }

int _commit(int fd) { return ::fsync(fd) == 0 ? 0 : -1; }
