// One snapshot of the directory: the connection settings, the list of entries taken from
// the server, and the cache file that keeps the last snapshot for working offline.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "directory/ldapattriblist.h"
#include "directory/ldapitem.h"
#include "winldap.h"

class LDAPListManager {
 public:
  LDAPListManager();
  ~LDAPListManager();
  LDAPListManager(const LDAPListManager&) = delete;
  LDAPListManager& operator=(const LDAPListManager&) = delete;

  // Open only while a fetch runs.
  LDAP* Connection = nullptr;
  // The snapshot, in the order of the search result or of the cache file.
  std::vector<LDAPItem> Items;

  // Settings, copied in by the owner; Reset restores these defaults.
  std::string ServerName;
  bool UseSSL = false;
  bool UseVersion3 = false;
  bool DeepSearch = false;
  std::string SearchDN;
  std::string SearchString;
  std::int32_t TimeOut = 60;
  LDAPAttribList AttribList;
  std::string CacheFileName;
  bool Authenticate = false;
  std::string BindDN;
  std::string Password;

  // Restores every setting to its default, clears the attribute list and empties Items;
  // leaves Connection alone.
  void Reset();
  LDAPAttribList& GetAttribList() { return AttribList; }

  unsigned Count() const { return static_cast<unsigned>(Items.size()); }
  // The item at `index`, or null when the index is not below Count().
  const LDAPItem* GetItem(unsigned index) const { return index < Items.size() ? &Items[index] : nullptr; }

  // Takes the snapshot: connects, binds unless anonymous, searches once and saves the result
  // to the cache file; when the server name is unusable, the server cannot be reached or it
  // refuses the bind, shows the failure with its code, asks whether to
  // work offline and then loads the cache file instead. False when no snapshot was taken.
  // Never throws; the connection is released on every path.
  bool Fetch();
  // The search step of Fetch on the open Connection: appends one item per entry. On any
  // failure shows the search error (for a failed search call), appends nothing and returns
  // false. Never throws.
  bool Search();

  // Writes Items to CacheFileName, replacing the file in one step: on any failure the old
  // file stays as it was.
  bool SaveCache();
  // Replaces Items by the items of the file CacheFileName. On a damaged record the items
  // before it stay.
  bool LoadCache();
};
