#include "config/getpath.h"

#include <algorithm>
#include <vector>

#include "windows.h"

std::string GetInstallPath() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\Software\\Veskari Networks\\PXB", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::string();
  std::string path;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, "Path", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ && size > 0) {
    std::vector<BYTE> data(size);
    if (RegQueryValueExA(key, "Path", nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
      // The stored size may or may not count a terminating NUL.
      path.assign(reinterpret_cast<const char*>(data.data()), std::min<std::size_t>(size, data.size()));
      if (const auto nul = path.find('\0'); nul != std::string::npos) path.resize(nul);
    }
  }
  RegCloseKey(key);
  return path;
}
