#include "directory/ldapcon.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "directory/byteorder.h"
#include "gnugettext.h"
#include "provider/guard.h"
#include "windows.h"

namespace {
constexpr const char* kCaption = "Pernix";

struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

// Translates `format`, fills it printf-style and shows it as an error box.
void ShowError(const char* format, ...) {
  const char* translated = Translate(format);
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, translated, args);
  va_end(args);
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, translated, again);
  va_end(again);
  MessageBoxA(nullptr, text.c_str(), kCaption, MB_ICONERROR | MB_OK);
}

// The LDAP boxes: `first` translated and filled with the thread's last LDAP result code
// (upper-case hexadecimal), then `second` translated and appended as it stands.
int ShowLdapBox(const char* first, const char* second, UINT style) {
  const char* format = Translate(first);
  const unsigned code = LdapGetLastError();
  const int size = std::snprintf(nullptr, 0, format, code);
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0) std::snprintf(text.data(), text.size() + 1, format, code);
  text += Translate(second);
  return MessageBoxA(nullptr, text.c_str(), kCaption, style);
}

constexpr const char* kWorkOffline = ".\nDo you want to work offline?";

bool AskOffline(const char* first) { return ShowLdapBox(first, kWorkOffline, MB_ICONQUESTION | MB_YESNO) == IDYES; }

// Creates a new, empty file in the folder of `path`, named after it, and opens it for
// writing; `name` receives its name. Null when no such file can be made.
File CreateTemporaryBeside(const std::string& path, std::string& name) {
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
    name = path + suffix;
    // "x": never reuse (or follow a link at) a name that exists.
    if (File file{std::fopen(name.c_str(), "wbx")}) return file;
    if (errno != EEXIST) break;
  }
  name.clear();
  return nullptr;
}

struct ResultRelease {
  void operator()(LDAPMessage* result) const { ldap_msgfree(result); }
};

}  // namespace

LDAPListManager::LDAPListManager() { Reset(); }

LDAPListManager::~LDAPListManager() {
  if (Connection) {
    ldap_unbind(Connection);
    Connection = nullptr;
  }
  Reset();
}

void LDAPListManager::Reset() {
  ServerName.clear();
  UseSSL = false;
  UseVersion3 = false;
  DeepSearch = false;
  SearchDN.clear();
  SearchString.clear();
  TimeOut = 60;
  AttribList.Clear();
  CacheFileName.clear();
  Authenticate = false;
  BindDN.clear();
  Password.clear();
  Items.clear();
}

bool LDAPListManager::Fetch() {
  bool result = false;
  try {
    // A manager is fetched once, while empty; a repeated fetch starts afresh rather than
    // adding a second copy of the directory to the first.
    Items.clear();
    if (Connection) {
      ldap_unbind(Connection);
      Connection = nullptr;
    }
    Connection =
        UseSSL ? ldap_sslinit(ServerName.data(), LDAP_SSL_PORT, 1) : ldap_sslinit(ServerName.data(), LDAP_PORT, 0);
    if (!Connection) {
      // A server name the client cannot use (a URL, an empty or out-of-range port, an open
      // bracket) fails here, before any connection: the user learns it as a connection failure
      // with its code, and may work offline.
      if (AskOffline("Unable to connect to the LDAP server. Error Code 0x%X")) result = LoadCache();
      return result;
    }
    if (UseVersion3) {
      const int version = LDAP_VERSION3;
      if (ldap_set_option(Connection, LDAP_OPT_VERSION, &version) != LDAP_SUCCESS)
        RaiseFailure("ldap_set_option  failed");
    }
    if (TimeOut != 0 && ldap_set_option(Connection, LDAP_OPT_TIMELIMIT, &TimeOut) != LDAP_SUCCESS)
      RaiseFailure("ldap_set_option  failed");
    if (ldap_connect(Connection, nullptr) != LDAP_SUCCESS) {
      if (AskOffline("Unable to connect to the LDAP server. Error Code 0x%X")) result = LoadCache();
    } else if (Authenticate &&
               ldap_bind_s(Connection, BindDN.data(), Password.data(), LDAP_AUTH_SIMPLE) != LDAP_SUCCESS) {
      if (AskOffline("Authentication failure to the LDAP server. Error Code 0x%X")) result = LoadCache();
    } else {
      result = Search();
      ldap_unbind(Connection);
      Connection = nullptr;
      // A snapshot that cannot be saved is still a snapshot.
      if (result) SaveCache();
    }
  } catch (...) {
  }
  if (Connection) {
    ldap_unbind(Connection);
    Connection = nullptr;
  }
  return result;
}

bool LDAPListManager::Search() {
  try {
    std::vector<char*> attributes = AttribList.RequestedAttributes();
    const ULONG scope = DeepSearch ? LDAP_SCOPE_SUBTREE : LDAP_SCOPE_ONELEVEL;
    // One search, its entries taken as they arrive and released one by one: the client works
    // while the server still sends, and never holds the whole result besides the items.
    // Filled aside and added at the end, so that a failure half-way adds nothing.
    std::vector<LDAPItem> found;
    constexpr ULONG kFailed = static_cast<ULONG>(-1);
    const ULONG id = ldap_search(Connection, SearchDN.data(), scope, SearchString.data(), attributes.data(), 0);
    ULONG rc = id == kFailed ? LdapGetLastError() : LDAP_SUCCESS;
    while (id != kFailed) {
      LDAPMessage* message = nullptr;
      const ULONG type = ldap_result(Connection, id, LDAP_MSG_ONE, nullptr, &message);
      const std::unique_ptr<LDAPMessage, ResultRelease> result{message};
      if (type == LDAP_RES_SEARCH_ENTRY) {
        if (LDAPMessage* entry = ldap_first_entry(Connection, result.get()))
          found.emplace_back().FillFromEntry(Connection, entry, AttribList);
      } else if (type == LDAP_RES_SEARCH_RESULT) {
        // Also a size or time limit: the entries before it are no snapshot.
        rc = ldap_result2error(Connection, result.get(), 0);
        break;
      } else if (type == 0 || type == kFailed) {
        rc = LdapGetLastError() != LDAP_SUCCESS ? LdapGetLastError() : LDAP_LOCAL_ERROR;
        break;
      }
    }
    if (rc != LDAP_SUCCESS) {
      ShowLdapBox("LDAP search failed. Error Code 0x%X",
                  ".\nPlease check the search base and search string in the configuration settings.",
                  MB_ICONERROR | MB_OK);
      RaiseFailure("ldap_search_s failed");
    }
    if (Items.empty()) {
      Items = std::move(found);
    } else {
      Items.insert(Items.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool LDAPListManager::SaveCache() {
  bool result = false;
  std::string temporary;
  try {
    if (CacheFileName.empty()) RaiseFailure("No cache file name set");
    // The snapshot goes to a new file beside the old one and replaces it only once it is
    // whole and on the disk: a full disk or a failed write leaves the last good snapshot.
    File file = CreateTemporaryBeside(CacheFileName, temporary);
    if (!file) {
      ShowError(
          "Unable to create the cache file '%s'. Please  set a valid file name in the configuration "
          "settings.",
          CacheFileName.c_str());
      RaiseFailure("Cannot create the cache file");
    }
    unsigned char header[12];
    PutLittleEndian32(header, kCacheFileMagic);
    PutLittleEndian32(header + 4, kCacheFileVersion);
    PutLittleEndian32(header + 8, static_cast<std::uint32_t>(Items.size()));
    if (std::fwrite(header, 1, sizeof header, file.get()) != sizeof header)
      RaiseFailure("Error writing the cache header to the cache file");
    for (const LDAPItem& item : Items)
      if (!item.WriteToCache(file.get())) RaiseFailure("Error writing an item to the cache file");
    if (std::fflush(file.get()) != 0 || _commit(_fileno(file.get())) != 0) RaiseFailure("Error writing the cache file");
    if (std::fclose(file.release()) != 0) RaiseFailure("Error writing the cache file");
    if (!MoveFileExA(temporary.c_str(), CacheFileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      RaiseFailure("Cannot replace the cache file");
    temporary.clear();
    result = true;
  } catch (...) {
  }
  if (!temporary.empty()) std::remove(temporary.c_str());
  return result;
}

bool LDAPListManager::LoadCache() {
  bool result = false;
  try {
    Items.clear();
    if (CacheFileName.empty()) RaiseFailure("No cache file name set");
    const File file{std::fopen(CacheFileName.c_str(), "rb")};
    if (!file) {
      ShowError("Unable to open the cache file '%s'.", CacheFileName.c_str());
      RaiseFailure("Cannot open the cache file");
    }
    unsigned char header[12];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header)
      RaiseFailure("Unable to load the cache file header");
    if (GetLittleEndian32(header) != kCacheFileMagic) RaiseFailure("No a LDAP cache file");
    if (GetLittleEndian32(header + 4) != kCacheFileVersion) RaiseFailure("Incorrect version of the cache file");
    const std::uint32_t count = GetLittleEndian32(header + 8);
    // Room for the announced items, but never for more than the file can hold (a record is
    // at least 48 bytes), so a damaged count cannot make us reserve wildly.
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
      const long size = std::ftell(file.get());
      if (size > 12) Items.reserve(std::min<std::uint64_t>(count, static_cast<std::uint64_t>(size - 12) / 48));
      if (std::fseek(file.get(), 12, SEEK_SET) != 0) RaiseFailure("Unable to load the cache file header");
    }
    CacheReader reader(file.get(), true);
    for (std::uint32_t i = 0; i < count; ++i) {
      // Read in place; a record that fails to read leaves nothing behind.
      if (!Items.emplace_back().ReadFromCache(reader)) {
        Items.pop_back();
        RaiseFailure("Error Loading LDAP item from the cache file");
      }
    }
    result = true;
  } catch (...) {
  }
  return result;
}
