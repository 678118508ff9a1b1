// The options that every `pxab directory` sub-command shares: which server, how to bind,
// what to search, the attribute mapping, the cache file and the answer to the offline
// question. They map one to one onto the settings of the provider's LDAPListManager.
//
//   DirectoryOptions options;
//   std::vector<std::string> rest;
//   std::string error;
//   switch (ParseDirectoryOptions(args, {"--show-names-by"}, options, rest, error)) { ... }
//   LDAPListManager manager;
//   if (int status = ConfigureManager(options, manager, error)) ...
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/ldapproviderdata.h"
#include "directory/ldapcon.h"
#include "messages.h"
#include "windows.h"

struct DirectoryOptions {
  std::string server;  // empty: localhost
  bool ssl = false;
  bool v3 = false;
  bool deep = false;
  std::string base;
  std::string filter = "(objectClass=*)";
  std::int32_t timeout = 60;
  std::optional<std::string> bindDn;  // none: anonymous, no bind at all
  std::optional<std::string> passwordFile;
  std::optional<std::string> mappingFile;  // none: the default mapping
  std::string cacheFile;
  OfflineAnswer offline = OfflineAnswer::Ask;
};

enum class ParseOutcome { Ok, Help, UsageError };

// Parses the shared options ("--name VALUE" or "--name=VALUE"; a lone "--" ends the options).
// Everything else goes to `rest` in order: other words as they stand, and the caller's own
// options named in `callerValueOptions` as "--name=VALUE", so that each sub-command only
// has to look at what is its own. On UsageError, `error` says what is wrong.
ParseOutcome ParseDirectoryOptions(const std::vector<std::string>& args,
                                   const std::vector<std::string>& callerValueOptions, DirectoryOptions& options,
                                   std::vector<std::string>& rest, std::string& error);

// The --help paragraph of the shared options.
const char* DirectoryOptionsHelp();

// The mapping pxab uses without --mapping: the configuration dialog's default.
extern const char* const kDefaultMapping;

// Fills the manager's settings from the options: reads the mapping file and the password
// (from --password-file, else asked on the terminal). Returns 0, or the exit status to end
// with (kExitFailure when a file cannot be read, kExitUsage when a password is needed and
// nobody can be asked) with `error` saying why.
int ConfigureManager(const DirectoryOptions& options, LDAPListManager& manager, std::string& error);

// The same for a configuration record, from which the address book's backend takes its
// snapshot: the connection settings, the mapping text and the password, in the fields the
// backend copies into its manager. Other settings keep the record's defaults.
int ConfigureProfile(const DirectoryOptions& options, CLDAPProfileData& profile, std::string& error);
