// pxab directory: the provider's directory snapshot, taken from a live LDAP server with the
// same code and the same settings the address book uses.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "directory/ldapcon.h"
#include "directory_options.h"
#include "directory_users.h"
#include "itemlines.h"
#include "winldap.h"

int DirectoryUsage(const char* sub, const std::string& message) {
  std::fprintf(stderr, "pxab directory%s%s: %s\nRun 'pxab directory%s%s --help' for the usage.\n", *sub ? " " : "", sub,
               message.c_str(), *sub ? " " : "", sub);
  return kExitUsage;
}

namespace {
struct SubCommand {
  const char* name;
  const char* summary;
  int (*run)(const std::vector<std::string>& args);
};

int Usage(const char* sub, const std::string& message) { return DirectoryUsage(sub, message); }

void PrintFetchHelp() {
  std::printf(
      "Usage: pxab directory fetch [OPTIONS]\n"
      "\n"
      "Takes one snapshot of an LDAP directory exactly as the address book does at its first\n"
      "logon: connects, binds (or stays anonymous), runs one search, and keeps the DN and ten\n"
      "mapped attributes (first value each) of every entry found. The snapshot is printed on\n"
      "standard output as one JSON object per entry, in the form of 'pxab cache dump', so it\n"
      "can be piped into 'pxab cache write FILE'. With --cache FILE it is also saved there, and\n"
      "when the server cannot be reached or refuses the bind, the snapshot can be read from\n"
      "that file instead (working offline).\n"
      "\n"
      "Example:\n"
      "  pxab directory fetch --server ldap.example.com --base ou=people,dc=example,dc=com \\\n"
      "      --filter '(objectClass=inetOrgPerson)' --cache people.pxb\n"
      "\n"
      "%s"
      "\n"
      "Messages of the address book (the offline question, a failed search, cache file\n"
      "errors) are written to standard error.\n"
      "\n"
      "Exit status: 0 when a snapshot was taken (from the server or, offline, from the cache\n"
      "file), 1 when not, 2 for a wrong command line.\n",
      DirectoryOptionsHelp());
}

// Why no snapshot came about, when the boxes shown did not already say it all.
std::string FailureReason(const DirectoryMessages& messages, const DirectoryOptions& options) {
  if (messages.workOffline == false) return "the server could not be used and working offline was declined";
  if (messages.workOffline == true) {
    if (options.cacheFile.empty()) return "there is no cache file to work offline from: give --cache FILE";
    return "the cache file " + options.cacheFile + " could not be read";
  }
  if (messages.boxes > 0) return "the search failed";
  char code[16];
  std::snprintf(code, sizeof code, "0x%X", static_cast<unsigned>(LdapGetLastError()));
  return "the connection could not be set up (LDAP error " + std::string(code) +
         "); check --server, --v3 and --timeout";
}

int RunFetch(const std::vector<std::string>& args) {
  DirectoryOptions options;
  std::vector<std::string> rest;
  std::string error;
  switch (ParseDirectoryOptions(args, {}, options, rest, error)) {
    case ParseOutcome::Help: PrintFetchHelp(); return kExitOk;
    case ParseOutcome::UsageError: return Usage("fetch", error);
    case ParseOutcome::Ok: break;
  }
  if (!rest.empty()) {
    return Usage("fetch", rest[0].compare(0, 1, "-") == 0 ? "unknown option '" + rest[0] + "'"
                                                          : "unexpected argument '" + rest[0] + "'");
  }
  LDAPListManager manager;
  if (const int status = ConfigureManager(options, manager, error)) {
    std::fprintf(stderr, "pxab directory fetch: %s\n", error.c_str());
    return status;
  }
  DirectoryMessages messages("pxab directory fetch", options.offline);
  const bool fetched = manager.Fetch();
  if (!WriteItemLines(manager.Items, stdout)) {
    std::fprintf(stderr, "pxab directory fetch: cannot write the output: %s\n", std::strerror(errno));
    return kExitFailure;
  }
  if (!fetched) {
    std::fprintf(stderr, "pxab directory fetch: no snapshot taken: %s\n", FailureReason(messages, options).c_str());
    return kExitFailure;
  }
  std::fprintf(stderr, "pxab directory fetch: %u entries%s\n", manager.Count(),
               messages.workOffline == true ? " from the cache file (offline)" : "");
  return kExitOk;
}

// Sub-commands in the order --help lists them; each gets the arguments after its name.
const SubCommand kSubCommands[] = {
    {"fetch", "take one snapshot of the directory and print it as JSON lines", RunFetch},
    {"users", "load the directory as the address book does and print its contents table", RunDirectoryUsers},
    {"find", "resolve a typed name against the directory as a mail client's check names does", RunDirectoryFind},
};

void PrintHelp() {
  std::printf(
      "Usage: pxab directory SUBCOMMAND [OPTIONS]\n"
      "\n"
      "Reads an LDAP directory the way the address book does.\n"
      "\n"
      "Subcommands:\n");
  for (const SubCommand& sub : kSubCommands) std::printf("  %-8s %s\n", sub.name, sub.summary);
  std::printf("\nRun 'pxab directory SUBCOMMAND --help' for the options of one.\n");
}

int RunDirectory(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("", "missing subcommand");
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp();
    return kExitOk;
  }
  for (const SubCommand& sub : kSubCommands)
    if (args[0] == sub.name) return sub.run(std::vector<std::string>(args.begin() + 1, args.end()));
  return Usage("", "unknown subcommand '" + args[0] + "'");
}

const CommandRegistrar registrar({"directory", "read an LDAP directory as the address book does", RunDirectory});
}  // namespace
