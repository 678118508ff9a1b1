// pxab's commands. Each command file registers its commands with a static CommandRegistrar.
#pragma once

#include <string>
#include <vector>

// Exit statuses of every command.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The profile, the logon or the address book failed.
constexpr int kExitBroken = 3;

struct Command {
  const char* name;     // first word on the command line ("trace", "cache", ...)
  const char* summary;  // one line for `pxab --help`
  // Gets the arguments after the command's name; returns the exit status.
  int (*run)(const std::vector<std::string>& args);
};

struct CommandRegistrar {
  explicit CommandRegistrar(const Command& command);
};

const std::vector<Command>& Commands();
