// pxab cache: the cache file as JSON lines, to look into a snapshot or to make one.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "command.h"
#include "directory/byteorder.h"
#include "directory/ldapcon.h"
#include "itemlines.h"
#include "jsonline.h"
#include "windows.h"

namespace {
void PrintHelp() {
  std::printf(
      "Usage: pxab cache dump FILE\n"
      "       pxab cache write FILE\n"
      "\n"
      "dump   prints every item of the cache file FILE as one JSON object per line, with the\n"
      "       members DN, CommonName, FirstName, LastName, EMailAddress, Company, Department,\n"
      "       Title, TelephoneNumber, FaxNumber and Mobile in this order.\n"
      "write  reads such lines from standard input and writes them as the cache file FILE;\n"
      "       a member left out is an empty text, blank lines are skipped. Nothing is written\n"
      "       unless every line is good.\n"
      "\n"
      "Texts are bytes: valid UTF-8 stands as it is, and every other byte is written as the\n"
      "escape \\udc80 to \\udcff (U+DC00 plus the byte), so nothing is lost either way.\n"
      "\n"
      "Exit status: 0 when the whole file was read or written, 1 when it was not (a damaged\n"
      "file still has the items before the damage printed), 2 for a wrong command line.\n");
}

int Usage(const char* message) {
  std::fprintf(stderr, "pxab cache: %s\nRun 'pxab cache --help' for the usage.\n", message);
  return kExitUsage;
}

// Message boxes of the cache operations become lines on standard error.
struct BoxesToStderr {
  MessageBoxHandler previous = SetMessageBoxHandler([](const char* text, const char*, UINT type) {
    std::fprintf(stderr, "pxab cache: %s\n", text);
    return DefaultMessageBoxAnswer(type);
  });
  ~BoxesToStderr() { SetMessageBoxHandler(previous); }
};

// Why a file that failed to load did so; the loader itself only says that it did.
std::string Diagnosis(const std::string& path, unsigned itemsRead) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return std::string("cannot open it: ") + std::strerror(errno);
  unsigned char header[12];
  const std::size_t got = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  if (got < sizeof header) return "too short to be a cache file";
  if (GetLittleEndian32(header) != kCacheFileMagic) return "not a cache file";
  if (GetLittleEndian32(header + 4) != kCacheFileVersion)
    return "version " + std::to_string(GetLittleEndian32(header + 4)) + " of the cache file is not supported";
  return "item " + std::to_string(itemsRead + 1) + " of " + std::to_string(GetLittleEndian32(header + 8)) +
         " is damaged or cut short; the " + std::to_string(itemsRead) + " items before it were printed";
}

int Dump(const std::string& path) {
  if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    std::fprintf(stderr, "pxab cache dump: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return kExitFailure;
  }
  BoxesToStderr boxes;
  LDAPListManager manager;
  manager.CacheFileName = path;
  const bool loaded = manager.LoadCache();
  if (!WriteItemLines(manager.Items, stdout)) {
    std::fprintf(stderr, "pxab cache dump: cannot write the output: %s\n", std::strerror(errno));
    return kExitFailure;
  }
  if (!loaded) {
    std::fprintf(stderr, "pxab cache dump: %s: %s\n", path.c_str(), Diagnosis(path, manager.Count()).c_str());
    return kExitFailure;
  }
  return kExitOk;
}

int Write(const std::string& path) {
  std::vector<LDAPItem> items;
  std::string line;
  unsigned long number = 0;
  const auto bad = [&](const std::string& message) {
    std::fprintf(stderr, "pxab cache write: line %lu: %s; nothing written\n", number, message.c_str());
    return kExitFailure;
  };
  JsonMembers members;
  std::string error;
  while (std::getline(std::cin, line)) {
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (!ParseJsonObject(line, members, error)) return bad(error);
    LDAPItem item;
    std::vector<bool> seen(LDAPItem::kFieldCount);
    for (const auto& [name, value] : members) {
      std::size_t n = 0;
      while (n < LDAPItem::kFieldCount && name != LDAPItem::kFieldNames[n]) ++n;
      if (n == LDAPItem::kFieldCount) return bad("unknown member \"" + name + "\"");
      if (seen[n]) return bad("member \"" + name + "\" given twice");
      // The reader ends a text at a zero byte, so the file could not give it back.
      if (value.find('\0') != std::string::npos) return bad("member \"" + name + "\" holds a zero byte");
      seen[n] = true;
      *item.Fields()[n] = value;
    }
    items.push_back(std::move(item));
  }
  if (std::cin.bad()) {
    std::fprintf(stderr, "pxab cache write: cannot read standard input; nothing written\n");
    return kExitFailure;
  }
  BoxesToStderr boxes;
  LDAPListManager manager;
  manager.CacheFileName = path;
  manager.Items = std::move(items);
  if (!manager.SaveCache()) {
    std::fprintf(stderr, "pxab cache write: writing %s failed\n", path.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

int RunCache(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (arg == "--help" || arg == "-h") {
      PrintHelp();
      return kExitOk;
    }
  if (args.empty()) return Usage("missing action (dump or write)");
  if (args[0] != "dump" && args[0] != "write") return Usage(("unknown action '" + args[0] + "'").c_str());
  if (args.size() < 2) return Usage("missing FILE");
  if (args.size() > 2) return Usage(("unexpected argument '" + args[2] + "'").c_str());
  if (args[1].empty()) return Usage("empty FILE");
  return args[0] == "dump" ? Dump(args[1]) : Write(args[1]);
}

const CommandRegistrar registrar({"cache", "print a cache file as JSON lines, or write one from them", RunCache});
}  // namespace
