// The service catalogue: the message services that can be added to a profile, each with its
// module, its service-entry function and its providers. libpxmapi reads pxab/services.conf
// beside itself; $PXAB_SERVICES names another file. Internal to platform/mapi.
#pragma once

#include <string>
#include <vector>

#include "mapix.h"

namespace pxmapi {

struct CatalogueProvider {
  ULONG resourceType;  // MAPI_AB_PROVIDER
  std::string displayName;
};

struct CatalogueService {
  std::string name;
  std::string displayName;
  std::string module;  // absolute path
  std::string serviceEntry;
  std::vector<CatalogueProvider> providers;
};

std::string CataloguePath();
// The catalogue's services; raises with the file's path when it is missing or broken.
std::vector<CatalogueService> ReadCatalogue();
// One service by name: MAPI_E_NOT_FOUND naming the catalogue when it has none.
CatalogueService FindService(const std::string& name);

}  // namespace pxmapi
