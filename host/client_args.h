// The command line of pxab's client commands: options may stand before or after the names,
// "--name VALUE" or "--name=VALUE", and a lone "--" ends the options. Every client command
// takes --profile NAME (default: $PXAB_PROFILE, else "default") and --offline=ask|yes|no.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "messages.h"

struct OptionSpec {
  const char* name;  // "--set"
  bool takesValue;
};

struct ClientArgs {
  std::string profile;
  OfflineAnswer offline = OfflineAnswer::Ask;
  bool help = false;
  // The command's own options in command-line order (name, value; flags have an empty value).
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> words;

  bool Has(const std::string& name) const;
  // The last value given for an option, or `fallback`.
  std::string Value(const std::string& name, const std::string& fallback = "") const;
};

// False with `error` set for an unknown option, a missing value or a bad --offline.
bool ParseClientArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs, ClientArgs& parsed,
                     std::string& error);

// The --help paragraph of the options every client command takes.
const char* ClientOptionsHelp();

// Prints "pxab WHAT: MESSAGE" to standard error and returns kExitUsage.
int ClientUsage(const std::string& what, const std::string& message);
