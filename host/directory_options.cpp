#include "directory_options.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "command.h"

const char* const kDefaultMapping =
    "First Name=givenname\nLast Name=sn\nTitle=title\nCompany=o\nDepartment=ou\n"
    "Telephone Number=telephoneNumber\nFax Number=facsimileTelephoneNumber\nMobile=mobile\n"
    "E-mail Address=mail";

const char* DirectoryOptionsHelp() {
  return "Where the directory is:\n"
         "  --server HOST        the LDAP server: a host name or address, optionally HOST:PORT;\n"
         "                       several separated by blanks are tried in turn (default: localhost)\n"
         "  --ssl                LDAPS (port 636 unless HOST:PORT says otherwise); the server's\n"
         "                       certificate must be valid: trust a private CA with the\n"
         "                       environment variable LDAPTLS_CACERT=FILE\n"
         "  --v3                 set LDAP protocol version 3 explicitly\n"
         "\n"
         "How to bind (default: anonymous, no bind at all):\n"
         "  --bind-dn DN         bind with this DN and a password\n"
         "  --password-file FILE read the password from the first line of FILE; without it\n"
         "                       the password is asked on the terminal. It is never taken from\n"
         "                       the command line, where other users could see it.\n"
         "\n"
         "What to read:\n"
         "  --base DN            search base (default: empty)\n"
         "  --deep               search the whole subtree below the base, not only its children\n"
         "  --filter FILTER      LDAP search filter (default: (objectClass=*))\n"
         "  --timeout SECONDS    time limit of the search; 0 leaves the server's (default: 60)\n"
         "  --mapping FILE       attribute mapping, one 'Field=attribute' a line, as on the\n"
         "                       address book's Schema Mapping page (default: givenname, sn,\n"
         "                       title, o, ou, telephoneNumber, facsimileTelephoneNumber,\n"
         "                       mobile, mail)\n"
         "\n"
         "The offline cache:\n"
         "  --cache FILE         the cache file: written after every successful search, read\n"
         "                       when working offline\n"
         "  --offline=ask|yes|no when the server cannot be reached or refuses the bind: ask\n"
         "                       (the default; without a terminal the answer is no), or work\n"
         "                       offline from the cache file (yes) or not (no)\n";
}

namespace {
enum class Kind { Flag, Value };
struct Option {
  const char* name;
  Kind kind;
};
constexpr Option kOptions[] = {
    {"--server", Kind::Value},  {"--ssl", Kind::Flag},      {"--v3", Kind::Flag},
    {"--deep", Kind::Flag},     {"--base", Kind::Value},    {"--filter", Kind::Value},
    {"--timeout", Kind::Value}, {"--bind-dn", Kind::Value}, {"--password-file", Kind::Value},
    {"--mapping", Kind::Value}, {"--cache", Kind::Value},   {"--offline", Kind::Value},
};

bool Apply(const std::string& name, const std::string& value, DirectoryOptions& options, std::string& error) {
  if (name == "--server") {
    options.server = value;
  } else if (name == "--ssl") {
    options.ssl = true;
  } else if (name == "--v3") {
    options.v3 = true;
  } else if (name == "--deep") {
    options.deep = true;
  } else if (name == "--base") {
    options.base = value;
  } else if (name == "--filter") {
    options.filter = value;
  } else if (name == "--timeout") {
    std::int32_t seconds = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (ec != std::errc() || end != value.data() + value.size() || seconds < 0) {
      error = "--timeout wants a number of seconds (0 or more), not '" + value + "'";
      return false;
    }
    options.timeout = seconds;
  } else if (name == "--bind-dn") {
    options.bindDn = value;
  } else if (name == "--password-file") {
    options.passwordFile = value;
  } else if (name == "--mapping") {
    options.mappingFile = value;
  } else if (name == "--cache") {
    options.cacheFile = value;
  } else if (name == "--offline") {
    if (value == "ask") {
      options.offline = OfflineAnswer::Ask;
    } else if (value == "yes") {
      options.offline = OfflineAnswer::Yes;
    } else if (value == "no") {
      options.offline = OfflineAnswer::No;
    } else {
      error = "--offline is ask, yes or no, not '" + value + "'";
      return false;
    }
  }
  return true;
}

bool ReadFile(const std::string& path, std::string& text, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  text.assign(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

// Asks on the terminal without echo; false when there is no terminal to ask on.
bool AskPassword(const std::string& dn, std::string& password) {
  const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) return false;
  const std::string prompt = "Password for " + dn + ": ";
  if (write(tty, prompt.data(), prompt.size()) < 0) {
    close(tty);
    return false;
  }
  termios saved{};
  const bool isTerminal = tcgetattr(tty, &saved) == 0;
  if (isTerminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  password.clear();
  char c;
  while (read(tty, &c, 1) == 1 && c != '\n') password += c;
  if (isTerminal) tcsetattr(tty, TCSAFLUSH, &saved);
  if (write(tty, "\n", 1) < 0) {
  }
  close(tty);
  return isTerminal;
}
}  // namespace

ParseOutcome ParseDirectoryOptions(const std::vector<std::string>& args,
                                   const std::vector<std::string>& callerValueOptions, DirectoryOptions& options,
                                   std::vector<std::string>& rest, std::string& error) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      if (arg == "-h") return ParseOutcome::Help;
      rest.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help") return ParseOutcome::Help;
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--password") {
      error = "a password is not taken from the command line; use --password-file FILE or let pxab ask";
      return ParseOutcome::UsageError;
    }
    const Option* option = nullptr;
    for (const Option& candidate : kOptions)
      if (name == candidate.name) option = &candidate;
    bool callers = false;
    for (const std::string& candidate : callerValueOptions) callers = callers || name == candidate;
    if (!option && !callers) {
      rest.push_back(arg);  // the caller's flag, or unknown: the caller decides
      continue;
    }
    std::string value;
    if (option && option->kind == Kind::Flag) {
      if (equals != std::string::npos) {
        error = name + " takes no value";
        return ParseOutcome::UsageError;
      }
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      error = name + " needs a value";
      return ParseOutcome::UsageError;
    }
    if (callers) {
      rest.push_back(name + "=" + value);
    } else if (!Apply(name, value, options, error)) {
      return ParseOutcome::UsageError;
    }
  }
  if (options.passwordFile && !options.bindDn) {
    error = "--password-file is for a bind: give --bind-dn DN too";
    return ParseOutcome::UsageError;
  }
  return ParseOutcome::Ok;
}

namespace {
// The settings the options name only by file or leave to be asked: the mapping text and the
// password.
int ReadSecrets(const DirectoryOptions& options, std::string& mapping, std::string& password, std::string& error) {
  mapping = kDefaultMapping;
  if (options.mappingFile && !ReadFile(*options.mappingFile, mapping, error)) return kExitFailure;
  password.clear();
  if (options.bindDn) {
    if (options.passwordFile) {
      if (!ReadFile(*options.passwordFile, password, error)) return kExitFailure;
      // The first line; its line end is not part of the password.
      password.erase(std::min(password.find_first_of("\r\n"), password.size()));
    } else if (!AskPassword(*options.bindDn, password)) {
      error = "--bind-dn needs a password and there is no terminal to ask for it: give --password-file FILE";
      return kExitUsage;
    }
  }
  return 0;
}
}  // namespace

int ConfigureManager(const DirectoryOptions& options, LDAPListManager& manager, std::string& error) {
  std::string mapping, password;
  if (const int status = ReadSecrets(options, mapping, password, error)) return status;
  manager.Reset();
  manager.ServerName = options.server;
  manager.UseSSL = options.ssl;
  manager.UseVersion3 = options.v3;
  manager.DeepSearch = options.deep;
  manager.SearchDN = options.base;
  manager.SearchString = options.filter;
  manager.TimeOut = options.timeout;
  manager.GetAttribList().Parse(mapping);
  manager.CacheFileName = options.cacheFile;
  manager.Authenticate = options.bindDn.has_value();
  manager.BindDN = options.bindDn.value_or("");
  manager.Password = password;
  return 0;
}

int ConfigureProfile(const DirectoryOptions& options, CLDAPProfileData& profile, std::string& error) {
  std::string mapping, password;
  if (const int status = ReadSecrets(options, mapping, password, error)) return status;
  profile.Reset();
  profile.ServerName = options.server;
  profile.UseSSL = options.ssl;
  profile.UseVersion3 = options.v3;
  profile.DeepSearch = options.deep;
  profile.SearchDN = options.base;
  profile.SearchString = options.filter;
  profile.TimeOut = options.timeout;
  profile.SchemaMapping = mapping;
  profile.CacheFileName = options.cacheFile;
  profile.Authenticate = options.bindDn.has_value();
  profile.BindDN = options.bindDn.value_or("");
  profile.Password = password;
  return 0;
}
