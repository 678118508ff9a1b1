#include "directory/ldapitem.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "provider/guard.h"

namespace {
// Bytes of a text read at once: a damaged length then costs at most this much memory before
// the file runs out, while any text the writer wrote, however long, still loads.
constexpr std::size_t kReadChunk = 64 * 1024;

void WriteWord(std::FILE* file, std::uint32_t value) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                  static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  if (std::fwrite(bytes, 1, 4, file) != 4) RaiseFailure("Write Error");
}

bool ReadWord(std::FILE* file, std::uint32_t& value) {
  unsigned char bytes[4];
  if (std::fread(bytes, 1, 4, file) != 4) return false;
  value = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
          static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return true;
}

void ReadText(std::FILE* file, std::string& text) {
  std::uint32_t length = 0;
  if (!ReadWord(file, length)) RaiseFailure("File read error");
  std::size_t done = 0;
  while (done < length) {
    const std::size_t part = std::min<std::size_t>(length - done, kReadChunk);
    text.resize(done + part);
    if (std::fread(text.data() + done, 1, part, file) != part) RaiseFailure("File read error");
    done += part;
  }
  // The texts come from the directory as C strings; a zero byte ends one.
  if (const std::size_t zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
}

struct DnRelease {
  void operator()(char* dn) const { ldap_memfree(dn); }
};
struct ValuesRelease {
  void operator()(char** values) const { ldap_value_free(values); }
};
}  // namespace

std::array<std::string*, LDAPItem::kFieldCount> LDAPItem::Fields() {
  return {&DN,         &CommonName, &FirstName,       &LastName,  &EMailAddress, &Company,
          &Department, &Title,      &TelephoneNumber, &FaxNumber, &Mobile};
}

std::array<const std::string*, LDAPItem::kFieldCount> LDAPItem::Fields() const {
  return {&DN,         &CommonName, &FirstName,       &LastName,  &EMailAddress, &Company,
          &Department, &Title,      &TelephoneNumber, &FaxNumber, &Mobile};
}

void LDAPItem::Clear() {
  for (std::string* field : Fields()) field->clear();
}

bool LDAPItem::FillFromEntry(LDAP* connection, LDAPMessage* entry, const LDAPAttribList& attribList) {
  Clear();
  if (const std::unique_ptr<char, DnRelease> dn{ldap_get_dn(connection, entry)}) DN = dn.get();
  const std::pair<const std::string*, std::string*> mapping[] = {
      {&attribList.CommonName, &CommonName},
      {&attribList.FirstName, &FirstName},
      {&attribList.LastName, &LastName},
      {&attribList.Title, &Title},
      {&attribList.Company, &Company},
      {&attribList.Department, &Department},
      {&attribList.TelephoneNumber, &TelephoneNumber},
      {&attribList.FaxNumber, &FaxNumber},
      {&attribList.EMailAddress, &EMailAddress},
      {&attribList.Mobile, &Mobile},
  };
  for (const auto& [name, field] : mapping) {
    if (name->empty()) continue;
    const std::unique_ptr<char*, ValuesRelease> values{
        ldap_get_values(connection, entry, const_cast<char*>(name->c_str()))};
    if (values && values.get()[0]) *field = values.get()[0];
  }
  return true;
}

bool LDAPItem::WriteToCache(std::FILE* file) const {
  try {
    WriteWord(file, kCacheItemMagic);
    for (const std::string* field : Fields()) {
      if (field->size() > std::numeric_limits<std::uint32_t>::max()) RaiseFailure("Write Error");
      WriteWord(file, static_cast<std::uint32_t>(field->size()));
      if (!field->empty() && std::fwrite(field->data(), 1, field->size(), file) != field->size())
        RaiseFailure("Write Error");
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool LDAPItem::ReadFromCache(std::FILE* file) {
  try {
    Clear();
    std::uint32_t magic = 0;
    if (!ReadWord(file, magic)) RaiseFailure("Unable to read the header of the LDAP item from the cache file");
    if (magic != kCacheItemMagic) RaiseFailure("No a valid LDAP cache item");
    for (std::string* field : Fields()) ReadText(file, *field);
    return true;
  } catch (...) {
    return false;
  }
}
