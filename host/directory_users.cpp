#include "directory_users.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "backend/ldapbe.h"
#include "command.h"
#include "directory_options.h"
#include "jsonline.h"
#include "mapicode.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "properties.h"

namespace {
const char* const kShowNamesByHelp =
    "How display names are made (the address book's \"Show names by\" setting):\n"
    "  --show-names-by first|last|cn\n"
    "                       first: first name, a blank, last name (the default);\n"
    "                       last: last name, a comma and a blank, first name;\n"
    "                       cn: the common name\n";

void PrintUsersHelp() {
  std::printf(
      "Usage: pxab directory users [OPTIONS]\n"
      "\n"
      "Loads the directory exactly as the address book does at its first logon (one snapshot,\n"
      "one user per entry, display names made as configured, sorted by display name) and\n"
      "prints the directory container's contents table in table order, one JSON object per\n"
      "row with the members display_name, email and entryid (the entry identifier in\n"
      "lower-case hex).\n"
      "\n"
      "%s\n%s"
      "\n"
      "Messages of the address book are written to standard error. When the server cannot\n"
      "be used and working offline is declined, the address book is empty.\n"
      "\n"
      "Exit status: 0 when the directory was loaded, 1 when not, 2 for a wrong command line.\n",
      kShowNamesByHelp, DirectoryOptionsHelp());
}

void PrintFindHelp() {
  std::printf(
      "Usage: pxab directory find [OPTIONS] NAME\n"
      "\n"
      "Loads the directory as 'pxab directory users' does and resolves the typed NAME the way\n"
      "a mail client's check names does: the users whose display name contains NAME, without\n"
      "regard to case. Prints one line:\n"
      "  resolved {...}   exactly one user: the properties a resolved recipient carries, keyed\n"
      "                   by property name (\"PR_DISPLAY_NAME\"; a tag without a name as\n"
      "                   \"0x3001001E\"); texts as strings, numbers as numbers, binaries in\n"
      "                   lower-case hex, a missing property as {\"error\": \"0x8004010F\"}\n"
      "  ambiguous        more than one user\n"
      "  not found        no user (also for the empty NAME)\n"
      "\n"
      "%s\n%s"
      "\n"
      "Exit status: 0 for each of the three answers, 1 when the directory could not be loaded\n"
      "or the properties could not be read, 2 for a wrong command line.\n",
      kShowNamesByHelp, DirectoryOptionsHelp());
}

// The backend for one command: made from the options, loaded, and taken apart again.
class LoadedBackend {
 public:
  LoadedBackend() : backend_(new ABLDAPBackeEnd(nullptr, nullptr)) {}
  ~LoadedBackend() {
    // The users hold references on the backend; clearing the list lets it go.
    backend_->ClearUsers();
    backend_->Release();
  }
  LoadedBackend(const LoadedBackend&) = delete;
  LoadedBackend& operator=(const LoadedBackend&) = delete;
  ABLDAPBackeEnd* operator->() const { return backend_; }

 private:
  ABLDAPBackeEnd* backend_;
};

// Parses the shared options, --show-names-by and `wordCount` plain arguments, and loads the
// directory into `backend`. -1 after --help, else an exit status: kExitOk when loaded.
int Load(const char* sub, const std::vector<std::string>& args, void (*help)(), std::size_t wordCount,
         std::vector<std::string>& words, LoadedBackend& backend, DirectoryOptions& options) {
  std::vector<std::string> rest;
  std::string error;
  switch (ParseDirectoryOptions(args, {"--show-names-by"}, options, rest, error)) {
    case ParseOutcome::Help: help(); return -1;
    case ParseOutcome::UsageError: return DirectoryUsage(sub, error);
    case ParseOutcome::Ok: break;
  }
  LONG showNamesBy = 0;
  const std::string showPrefix = "--show-names-by=";
  for (const std::string& arg : rest) {
    if (arg.compare(0, showPrefix.size(), showPrefix) == 0) {
      const std::string value = arg.substr(showPrefix.size());
      if (value == "first") {
        showNamesBy = 0;
      } else if (value == "last") {
        showNamesBy = 1;
      } else if (value == "cn") {
        showNamesBy = 2;
      } else {
        return DirectoryUsage(sub, "--show-names-by is first, last or cn, not '" + value + "'");
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return DirectoryUsage(sub, "unknown option '" + arg + "'");
    } else {
      words.push_back(arg);
    }
  }
  if (words.size() < wordCount) return DirectoryUsage(sub, "missing NAME");
  if (words.size() > wordCount) return DirectoryUsage(sub, "unexpected argument '" + words[wordCount] + "'");

  auto profile = std::make_unique<CLDAPProfileData>();
  const std::string prefix = std::string("pxab directory ") + sub;
  if (const int status = ConfigureProfile(options, *profile, error)) {
    std::fprintf(stderr, "%s: %s\n", prefix.c_str(), error.c_str());
    return status;
  }
  profile->ShowNamesBy = showNamesBy;
  backend->Profile = std::move(profile);
  DirectoryMessages messages(prefix, options.offline);
  if (!backend->LoadDirectory()) {
    std::fprintf(stderr, "%s: the directory could not be loaded (out of memory)\n", prefix.c_str());
    return kExitFailure;
  }
  std::fprintf(stderr, "%s: %zu users%s\n", prefix.c_str(), backend->Users->size(),
               messages.workOffline == true ? " from the cache file (offline)" : "");
  return kExitOk;
}

bool Flush(const char* sub) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  std::fprintf(stderr, "pxab directory %s: cannot write the output: %s\n", sub, std::strerror(errno));
  return false;
}
}  // namespace

int RunDirectoryUsers(const std::vector<std::string>& args) {
  LoadedBackend backend;
  DirectoryOptions options;
  std::vector<std::string> words;
  const int status = Load("users", args, PrintUsersHelp, 0, words, backend, options);
  if (status < 0) return kExitOk;  // --help
  if (status != kExitOk) return status;

  if (FAILED(backend->InitTables()) || !backend->DirContents) {
    std::fprintf(stderr, "pxab directory users: the contents table could not be made\n");
    return kExitFailure;
  }
  ComPtr<IMAPITable> view;
  LPSRowSet rows = nullptr;
  if (FAILED(backend->DirContents->HrGetView(nullptr, nullptr, 0, view.put())) ||
      FAILED(view->QueryRows(0x7FFFFFFF, 0, &rows))) {
    std::fprintf(stderr, "pxab directory users: the contents table could not be read\n");
    return kExitFailure;
  }
  std::string line;
  for (ULONG i = 0; i < rows->cRows; ++i) {
    const SRow& row = rows->aRow[i];
    const auto text = [&](ULONG tag) {
      const SPropValue* v = PpropFindProp(row.lpProps, row.cValues, tag);
      return JsonString(v && v->Value.lpszA ? v->Value.lpszA : "");
    };
    const SPropValue* id = PpropFindProp(row.lpProps, row.cValues, PR_ENTRYID);
    line = "{\"display_name\": " + text(PR_DISPLAY_NAME) + ", \"email\": " + text(PR_EMAIL_ADDRESS) +
           ", \"entryid\": " + JsonString(id ? HexBytes(id->Value.bin.lpb, id->Value.bin.cb) : "") + "}\n";
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size()) break;
  }
  FreeProws(rows);
  return Flush("users") ? kExitOk : kExitFailure;
}

int RunDirectoryFind(const std::vector<std::string>& args) {
  LoadedBackend backend;
  DirectoryOptions options;
  std::vector<std::string> words;
  const int status = Load("find", args, PrintFindHelp, 1, words, backend, options);
  if (status < 0) return kExitOk;  // --help
  if (status != kExitOk) return status;

  LPSPropValue values = nullptr;
  ULONG count = 0;
  const HRESULT hr = backend->FindUserByName(words[0], nullptr, &values, &count);
  MapiBuffer<SPropValue> owned(values, MAPIFreeBuffer);
  std::string line;
  if (hr == MAPI_E_AMBIGUOUS_RECIP) {
    line = "ambiguous\n";
  } else if (hr == MAPI_E_NOT_FOUND) {
    line = "not found\n";
  } else if (FAILED(hr)) {
    std::fprintf(stderr, "pxab directory find: the properties could not be read (%s)\n", HexCode(hr).c_str());
    return kExitFailure;
  } else {
    line = "resolved " + JsonProps(values, count) + "\n";
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  return Flush("find") ? kExitOk : kExitFailure;
}
