// The registry stand-in: string values read from one text file. Only reading is offered; the
// installer (or the user) writes the file.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "windows.h"

namespace {
struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};
using Values = std::map<std::string, std::string, CaseLess>;

// An open key: its values as the file held them when the key was opened.
struct OpenKey {
  Values values;
};

std::string RegistryFile() {
  if (const char* file = std::getenv("PXAB_REGISTRY"); file && *file) return file;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
    return std::string(config) + "/pxab/registry";
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/pxab/registry";
  return std::string();
}

const char* HiveName(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  return nullptr;
}

// "Software\\A\\B" without leading, trailing or doubled backslashes.
std::string NormalKey(std::string_view path) {
  std::string out;
  for (char c : path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// The values of `wanted` ("HIVE\\path"); false when the file has no such key.
bool ReadKey(const std::string& wanted, Values& values) {
  const std::string file = RegistryFile();
  if (file.empty()) return false;
  std::ifstream in(file);
  if (!in) return false;
  bool found = false, inside = false;
  std::string line;
  while (std::getline(in, line)) {
    line = Trimmed(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      inside = strcasecmp(NormalKey(line.substr(1, line.size() - 2)).c_str(), wanted.c_str()) == 0;
      found = found || inside;
      continue;
    }
    const auto equals = line.find('=');
    if (!inside || equals == std::string::npos) continue;
    values[Trimmed(line.substr(0, equals))] = Trimmed(line.substr(equals + 1));
  }
  return found;
}
}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  const char* hive = HiveName(key);
  if (!hive) return ERROR_INVALID_HANDLE;
  auto open = std::make_unique<OpenKey>();
  if (!ReadKey(NormalKey(std::string(hive) + "\\" + (subKey ? subKey : "")), open->values)) return ERROR_FILE_NOT_FOUND;
  *result = reinterpret_cast<HKEY>(open.release());
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (!key || HiveName(key)) return ERROR_INVALID_HANDLE;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  const Values& values = reinterpret_cast<OpenKey*>(key)->values;
  const auto found = values.find(valueName ? valueName : "");
  if (found == values.end()) return ERROR_FILE_NOT_FOUND;
  const DWORD needed = static_cast<DWORD>(found->second.size() + 1);
  if (type) *type = REG_SZ;
  if (!data) {
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  const DWORD room = *size;
  *size = needed;
  if (room < needed) return ERROR_MORE_DATA;
  std::memcpy(data, found->second.c_str(), needed);
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  if (!key || HiveName(key)) return ERROR_INVALID_HANDLE;
  delete reinterpret_cast<OpenKey*>(key);
  return ERROR_SUCCESS;
}
