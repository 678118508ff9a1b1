// Which LDAP attribute feeds which field of a directory entry, parsed from the mapping text
// that the user edits ("First Name=givenName", one pair a line).
#pragma once

#include <string>
#include <string_view>
#include <vector>

class LDAPAttribList {
 public:
  // Empty names: the field is not mapped. The order is the order of the requested attributes.
  std::string CommonName;
  std::string FirstName;
  std::string LastName;
  std::string Title;
  std::string Company;
  std::string Department;
  std::string TelephoneNumber;
  std::string FaxNumber;
  std::string EMailAddress;
  std::string Mobile;

  void Clear();
  // Replaces the whole mapping by the one `text` describes; CommonName becomes "cn". Lines
  // that match no key are ignored. Never fails towards the caller.
  void Parse(std::string_view text);

  // The attribute list a search hands over: every non-empty name in the order above, then a
  // null entry. The pointers stay valid until the list changes.
  std::vector<char*> RequestedAttributes();
};
