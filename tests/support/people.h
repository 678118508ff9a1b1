// Generated people for tests and benchmarks at address-book size.
#pragma once

#include <string>

// The base the generated people live under, the filter that finds them, and the mapping
// that asks for the ten attributes they carry.
constexpr const char* kPeopleBase = "ou=people,dc=example,dc=com";
constexpr const char* kPeopleFilter = "(objectClass=inetOrgPerson)";
constexpr const char* kPeopleMapping =
    "First Name=givenName\nLast Name=sn\nTitle=title\nCompany=o\nDepartment=ou\n"
    "Telephone Number=telephoneNumber\nFax Number=facsimileTelephoneNumber\nMobile=mobile\n"
    "E-mail Address=mail";
// The attributes of the mapping, common name first, blank-separated (as ldapsearch takes them).
constexpr const char* kPeopleAttributes =
    "cn givenName sn title o ou telephoneNumber facsimileTelephoneNumber mobile mail";

// LDIF of the people folder and `count` people under it: ten attributes each (two in three
// with a mobile number), a fifth with names beyond ASCII, and at position count / 2 the only
// surname containing "qxy" (Qxylander).
std::string PeopleLdif(int count);

// A deterministic name of three syllables and the number, for row `i` of a generated table.
std::string GeneratedName(unsigned long i);

// `prefix` followed by the number, for names and keys made in loops. Built by appending:
// GCC 12 at -O3 reports a false -Wrestrict for a literal + std::to_string.
std::string Numbered(const std::string& prefix, unsigned long i);
