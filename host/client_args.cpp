#include "client_args.h"

#include <cstdio>
#include <cstdlib>

#include "command.h"

bool ClientArgs::Has(const std::string& name) const {
  for (const auto& option : options)
    if (option.first == name) return true;
  return false;
}

std::string ClientArgs::Value(const std::string& name, const std::string& fallback) const {
  std::string value = fallback;
  for (const auto& option : options)
    if (option.first == name) value = option.second;
  return value;
}

bool ParseClientArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs, ClientArgs& parsed,
                     std::string& error) {
  const char* fromEnvironment = std::getenv("PXAB_PROFILE");
  parsed.profile = fromEnvironment && *fromEnvironment ? fromEnvironment : "default";
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    bool takesValue = name == "--profile" || name == "--offline";
    bool known = takesValue;
    for (const OptionSpec& spec : specs) {
      if (name == spec.name) {
        known = true;
        takesValue = spec.takesValue;
      }
    }
    if (!known) {
      error = "unknown option '" + name + "'";
      return false;
    }
    std::string value;
    if (equals != std::string::npos) {
      if (!takesValue) {
        error = "the option " + name + " takes no value";
        return false;
      }
      value = arg.substr(equals + 1);
    } else if (takesValue) {
      if (i + 1 >= args.size()) {
        error = "the option " + name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (name == "--profile") {
      if (value.empty()) {
        error = "--profile needs a profile name";
        return false;
      }
      parsed.profile = value;
    } else if (name == "--offline") {
      if (value == "ask") {
        parsed.offline = OfflineAnswer::Ask;
      } else if (value == "yes") {
        parsed.offline = OfflineAnswer::Yes;
      } else if (value == "no") {
        parsed.offline = OfflineAnswer::No;
      } else {
        error = "--offline is ask, yes or no, not '" + value + "'";
        return false;
      }
    } else {
      parsed.options.emplace_back(name, value);
    }
  }
  return true;
}

const char* ClientOptionsHelp() {
  return "Options of every command:\n"
         "  --profile NAME       the MAPI profile (default: $PXAB_PROFILE, else \"default\")\n"
         "  --offline=ask|yes|no when the directory server cannot be used: ask whether to work\n"
         "                       offline from the cache file (ask: on a terminal, else no)\n"
         "Options may stand before or after the names; \"--\" ends the options.\n";
}

int ClientUsage(const std::string& what, const std::string& message) {
  std::fprintf(stderr, "pxab %s: %s\n", what.c_str(), message.c_str());
  return kExitUsage;
}
