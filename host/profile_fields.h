// The address book's settings as pxab's profile commands take them: `--set FIELD=VALUE` with
// the field names of the configuration record, `--password-file FILE`, and the property
// values handed to the message service.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "mapidefs.h"

// One field of the configuration record and the profile property that stores it.
struct ProfileField {
  const char* name;  // "ServerName"
  ULONG tag;         // its property tag
};
// The 17 fields in the order of the profile property list.
const std::vector<ProfileField>& ProfileFields();
const ProfileField* FindProfileField(const std::string& name);

// The dialog's default mapping as pressing OK in the configuration dialog stores it.
extern const char* const kDialogDefaultMapping;

// Property values built from the command line; they own their texts.
class ProfileValues {
 public:
  // Adds or replaces the value of one field from its command-line text; false with `error`
  // naming the field when the name or the value is not valid.
  bool Set(const std::string& assignment, std::string& error);
  // The password: the first line of the file, without its line end.
  bool SetPasswordFromFile(const std::string& path, std::string& error);
  // Adds the default mapping unless a mapping was given.
  void DefaultMapping();
  bool Has(ULONG tag) const;

  std::vector<SPropValue>& Values() { return values_; }

 private:
  SPropValue& Slot(ULONG tag);
  const char* Keep(std::string text);

  std::vector<SPropValue> values_;
  std::deque<std::string> texts_;
};
