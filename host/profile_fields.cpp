#include "profile_fields.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "mapitags.h"

namespace {
constexpr ULONG kShowNamesBy = PROP_TAG(PT_LONG, 0x6601);
constexpr ULONG kServerName = PROP_TAG(PT_STRING8, 0x6602);
constexpr ULONG kPort = PROP_TAG(PT_LONG, 0x6603);
constexpr ULONG kAuthenticate = PROP_TAG(PT_BOOLEAN, 0x6604);
constexpr ULONG kSearchDN = PROP_TAG(PT_STRING8, 0x6605);
constexpr ULONG kTimeOut = PROP_TAG(PT_LONG, 0x6607);
constexpr ULONG kSchemaMapping = PROP_TAG(PT_STRING8, 0x6611);
constexpr ULONG kReservedId = PROP_TAG(PT_BINARY, 0x6612);
constexpr ULONG kVersion3 = PROP_TAG(PT_BOOLEAN, 0x6613);
constexpr ULONG kDeepSearch = PROP_TAG(PT_BOOLEAN, 0x6614);
constexpr ULONG kCacheFileName = PROP_TAG(PT_STRING8, 0x6616);
constexpr ULONG kSearchString = PROP_TAG(PT_STRING8, 0x6617);
constexpr ULONG kUseSSL = PROP_TAG(PT_BOOLEAN, 0x67F1);
constexpr ULONG kBindDN = PROP_TAG(PT_STRING8, 0x67F2);
constexpr ULONG kPassword = PROP_TAG(PT_STRING8, 0x67F3);

bool ReadFile(const std::string& path, std::string& text, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read '" + path + "': " + std::strerror(errno);
    return false;
  }
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read '" + path + "'";
    return false;
  }
  return true;
}

bool ParseLong(const std::string& text, long min, long max, LONG& value) {
  long parsed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size() || parsed < min || parsed > max) return false;
  value = static_cast<LONG>(parsed);
  return true;
}
}  // namespace

const char* const kDialogDefaultMapping =
    "First Name=givenname\r\nLast Name=sn\r\nTitle=title\r\nCompany=o\r\nDepartment=ou\r\n"
    "Telephone Number=telephoneNumber\r\nFax Number=facsimileTelephoneNumber\r\nMobile=mobile\r\n"
    "E-mail Address=mail\r\n";

const std::vector<ProfileField>& ProfileFields() {
  static const std::vector<ProfileField> fields = {{"DisplayName", PR_DISPLAY_NAME},
                                                   {"ShowNamesBy", kShowNamesBy},
                                                   {"Comment", PR_COMMENT},
                                                   {"ServerName", kServerName},
                                                   {"Port", kPort},
                                                   {"UseSSL", kUseSSL},
                                                   {"UseVersion3", kVersion3},
                                                   {"DeepSearch", kDeepSearch},
                                                   {"SearchDN", kSearchDN},
                                                   {"TimeOut", kTimeOut},
                                                   {"SchemaMapping", kSchemaMapping},
                                                   {"ReservedId", kReservedId},
                                                   {"CacheFileName", kCacheFileName},
                                                   {"SearchString", kSearchString},
                                                   {"Authenticate", kAuthenticate},
                                                   {"BindDN", kBindDN},
                                                   {"Password", kPassword}};
  return fields;
}

const ProfileField* FindProfileField(const std::string& name) {
  for (const ProfileField& field : ProfileFields())
    if (name == field.name) return &field;
  return nullptr;
}

const char* ProfileValues::Keep(std::string text) {
  texts_.push_back(std::move(text));
  return texts_.back().c_str();
}

SPropValue& ProfileValues::Slot(ULONG tag) {
  for (SPropValue& value : values_)
    if (value.ulPropTag == tag) return value;
  values_.push_back(SPropValue{});
  values_.back().ulPropTag = tag;
  return values_.back();
}

bool ProfileValues::Has(ULONG tag) const {
  for (const SPropValue& value : values_)
    if (value.ulPropTag == tag) return true;
  return false;
}

bool ProfileValues::Set(const std::string& assignment, std::string& error) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string::npos) {
    error = "--set takes FIELD=VALUE, not '" + assignment + "'";
    return false;
  }
  const std::string name = assignment.substr(0, equals);
  std::string value = assignment.substr(equals + 1);
  const ProfileField* field = FindProfileField(name);
  if (!field || field->tag == kReservedId) {
    error = "unknown field '" + name + "'";
    return false;
  }
  if (field->tag == kPassword) {
    error = "the field Password is set with --password-file, never on the command line";
    return false;
  }
  const auto bad = [&](const char* expected) {
    error = "the field " + name + " takes " + expected + ", not '" + value + "'";
    return false;
  };
  switch (PROP_TYPE(field->tag)) {
    case PT_BOOLEAN: {
      if (value != "true" && value != "false") return bad("true or false");
      Slot(field->tag).Value.b = value == "true" ? 1 : 0;
      return true;
    }
    case PT_LONG: {
      LONG number = 0;
      if (field->tag == kShowNamesBy) {
        if (value == "first") value = "0";
        if (value == "last") value = "1";
        if (value == "cn") value = "2";
        if (!ParseLong(value, 0, 2, number)) return bad("0 (first), 1 (last) or 2 (cn)");
      } else if (field->tag == kPort) {
        if (!ParseLong(value, 1, 65535, number)) return bad("a port number from 1 to 65535");
      } else if (!ParseLong(value, 0, 0x7FFFFFFF, number)) {
        return bad("a number of seconds");
      }
      Slot(field->tag).Value.l = number;
      return true;
    }
    default: {
      if (field->tag == kSchemaMapping && !value.empty() && value[0] == '@') {
        std::string text;
        if (!ReadFile(value.substr(1), text, error)) {
          error = "the field SchemaMapping: " + error;
          return false;
        }
        value = std::move(text);
      }
      if (value.find('\0') != std::string::npos) return bad("a text without NUL bytes");
      Slot(field->tag).Value.lpszA = const_cast<LPSTR>(Keep(std::move(value)));
      return true;
    }
  }
}

bool ProfileValues::SetPasswordFromFile(const std::string& path, std::string& error) {
  std::string text;
  if (!ReadFile(path, text, error)) {
    error = "--password-file: " + error;
    return false;
  }
  std::string line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  Slot(kPassword).Value.lpszA = const_cast<LPSTR>(Keep(std::move(line)));
  return true;
}

void ProfileValues::DefaultMapping() {
  if (!Has(kSchemaMapping)) Slot(kSchemaMapping).Value.lpszA = const_cast<LPSTR>(kDialogDefaultMapping);
}
