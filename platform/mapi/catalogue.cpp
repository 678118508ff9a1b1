#include "catalogue.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mapiobject.h"

namespace pxmapi {
namespace {
std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}
}  // namespace

std::string CataloguePath() {
  if (const char* path = std::getenv("PXAB_SERVICES"); path && *path) return path;
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&CataloguePath), &info) || !info.dli_fname)
    Fail(MAPI_E_NOT_FOUND, "cannot tell where libpxmapi is, to find its service catalogue");
  return FolderOf(info.dli_fname) + "/pxab/services.conf";
}

std::vector<CatalogueService> ReadCatalogue() {
  const std::string path = CataloguePath();
  std::ifstream file(path);
  if (!file) Fail(MAPI_E_NOT_FOUND, "cannot read the service catalogue " + path);
  std::vector<CatalogueService> services;
  std::string line;
  int number = 0;
  const auto broken = [&](const std::string& what) {
    Fail(MAPI_E_CORRUPT_DATA,
         "the service catalogue " + path + " is broken at line " + std::to_string(number) + ": " + what);
  };
  while (std::getline(file, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) broken("a service name must stand in brackets");
      services.push_back(CatalogueService{Trim(line.substr(1, line.size() - 2)), {}, {}, {}, {}});
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) broken("expected key = value");
    if (services.empty()) broken("a setting before the first [service]");
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = Trim(line.substr(equals + 1));
    CatalogueService& service = services.back();
    if (key == "DisplayName") {
      service.displayName = value;
    } else if (key == "Module") {
      service.module = value.empty() || value[0] == '/'
                           ? value
                           : std::filesystem::path(FolderOf(path) + "/" + value).lexically_normal().string();
    } else if (key == "ServiceEntry") {
      service.serviceEntry = value;
    } else if (key == "AddressBookProvider") {
      service.providers.push_back(CatalogueProvider{MAPI_AB_PROVIDER, value});
    } else {
      broken("unknown key \"" + key + "\"");
    }
  }
  for (const CatalogueService& service : services) {
    if (service.name.empty() || service.displayName.empty() || service.module.empty() || service.serviceEntry.empty() ||
        service.providers.empty())
      Fail(MAPI_E_CORRUPT_DATA, "the service catalogue " + path + " is broken: service [" + service.name +
                                    "] needs DisplayName, Module, ServiceEntry and AddressBookProvider");
  }
  return services;
}

CatalogueService FindService(const std::string& name) {
  for (CatalogueService& service : ReadCatalogue())
    if (service.name == name) return std::move(service);
  Fail(MAPI_E_NOT_FOUND, "the service catalogue " + CataloguePath() + " has no service \"" + name + "\"");
}

}  // namespace pxmapi
