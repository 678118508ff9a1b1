// pxab: the command-line MAPI client and host of the provider.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "windows.h"

namespace {
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "Usage: pxab COMMAND [ARGS...]\n"
               "\n"
               "pxab plays the mail client for the Pernix LDAP address book: it drives the\n"
               "provider the way a MAPI client would and shows what it answers.\n"
               "\n"
               "Commands:\n");
  for (const Command& command : Registry()) std::fprintf(out, "  %-12s %s\n", command.name, command.summary);
  std::fprintf(out,
               "\nRun 'pxab COMMAND --help' for the options of one command, 'pxab --version' for the\n"
               "version and 'man pxab' for the manual.\n");
}
}  // namespace

CommandRegistrar::CommandRegistrar(const Command& command) { Registry().push_back(command); }

const std::vector<Command>& Commands() { return Registry(); }

int main(int argc, char** argv) {
  // A program sets its own locale from the user's settings; the libraries never do.
  std::setlocale(LC_ALL, "");
  if (argc < 2) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return kExitOk;
  }
  if (name == "--version" || name == "-V") {
    std::printf("pxab %s\n", PX_VERSION);
    return kExitOk;
  }
  for (const Command& command : Registry()) {
    if (name == command.name) return command.run(std::vector<std::string>(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "pxab: unknown command '%s'\n\n", name.c_str());
  PrintUsage(stderr);
  return kExitUsage;
}
