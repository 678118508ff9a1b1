// Where the provider is installed, as the installer recorded it in the registry.
#pragma once

#include <string>

// The string value "Path" of HKEY_LOCAL_MACHINE "\Software\Veskari Networks\PXB"; empty when
// the key does not open, the value is missing or cannot be read.
std::string GetInstallPath();
