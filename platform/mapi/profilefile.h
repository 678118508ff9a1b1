// Profiles on disk: one file per profile, holding its sections and their property values.
// Every change is made under a lock, on the latest file, and lands atomically (temporary
// file, fsync, rename), the file 0600 in a 0700 folder. Internal to platform/mapi.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mapiobject.h"

namespace pxmapi {

struct Section {
  MAPIUID uid;
  PropMap props;
};

struct ProfileData {
  std::vector<Section> sections;  // in the order they were created

  Section* Find(const MAPIUID& uid);
  const Section* Find(const MAPIUID& uid) const;
};

// Text form of a profile. ParseProfile raises MAPI_E_CORRUPT_DATA (message names `where`) for
// anything that is not a whole, well-formed profile.
std::string FormatProfile(const ProfileData& profile);
ProfileData ParseProfile(std::string_view text, const std::string& where);

// The folder of the profiles: $PXAB_PROFILE_DIR, else $XDG_CONFIG_HOME/pxab/profiles, else
// ~/.config/pxab/profiles.
std::string ProfileDir();
std::string ProfilePath(const std::string& name);
// Profile names of the folder, in name order.
std::vector<std::string> ProfileNames();
bool ProfileExists(const std::string& name);

// Reads a profile: MAPI_E_NOT_FOUND when there is none, MAPI_E_CORRUPT_DATA when its file is
// damaged (never rewritten then).
ProfileData ReadProfile(const std::string& name);
// Changes a profile under the profiles' lock: reads the latest file, applies `change` and
// writes the result atomically before returning. With `create` the profile must not exist yet
// (MAPI_E_NO_ACCESS otherwise) and starts empty.
void ChangeProfile(const std::string& name, const std::function<void(ProfileData&)>& change, bool create = false);
// Removes a profile's file under the lock: MAPI_E_NOT_FOUND when there is none.
void RemoveProfile(const std::string& name);

}  // namespace pxmapi
