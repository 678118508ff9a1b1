// Profile reader: any file is read or refused as damaged without a crash, a leak or a wild
// allocation, and what it reads is written and read back unchanged. Run with
// scripts/fuzz profile_reader_fuzz SECONDS.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "profilefile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  pxmapi::ProfileData profile;
  try {
    profile = pxmapi::ParseProfile(text, "fuzz.profile");
  } catch (const pxmapi::Failure& failure) {
    if (failure.hr != MAPI_E_CORRUPT_DATA || failure.message.find("fuzz.profile") == std::string::npos) std::abort();
    return 0;
  }
  const std::string written = pxmapi::FormatProfile(profile);
  if (pxmapi::FormatProfile(pxmapi::ParseProfile(written, "again")) != written) std::abort();
  return 0;
}
