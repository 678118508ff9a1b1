#include "directory/ldapitem.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "directory/byteorder.h"
#include "provider/guard.h"

namespace {
// Bytes of a text read at once: a damaged length then costs at most this much memory before
// the file runs out, while any text the writer wrote, however long, still loads.
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kBufferSize = 256 * 1024;

void WriteWord(std::FILE* file, std::uint32_t value) {
  unsigned char bytes[4];
  PutLittleEndian32(bytes, value);
  if (std::fwrite(bytes, 1, 4, file) != 4) RaiseFailure("Write Error");
}

struct DnRelease {
  void operator()(char* dn) const { ldap_memfree(dn); }
};
struct ValuesRelease {
  void operator()(char** values) const { ldap_value_free(values); }
};
}  // namespace

CacheReader::CacheReader(std::FILE* file, bool buffered) : file_(file) {
  if (buffered) buffer_.resize(kBufferSize);
}

bool CacheReader::Read(char* into, std::size_t size) {
  while (size > 0) {
    if (pos_ == end_) {
      if (size >= buffer_.size()) return std::fread(into, 1, size, file_) == size;
      pos_ = 0;
      end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
      if (end_ == 0) return false;
    }
    const std::size_t part = std::min(size, end_ - pos_);
    std::memcpy(into, buffer_.data() + pos_, part);
    pos_ += part;
    into += part;
    size -= part;
  }
  return true;
}

bool CacheReader::ReadWord(std::uint32_t& value) {
  unsigned char bytes[4];
  if (end_ - pos_ >= 4) {
    std::memcpy(bytes, buffer_.data() + pos_, 4);
    pos_ += 4;
  } else if (!Read(reinterpret_cast<char*>(bytes), 4)) {
    return false;
  }
  value = GetLittleEndian32(bytes);
  return true;
}

bool CacheReader::ReadText(std::string& text, std::size_t length) {
  if (end_ - pos_ >= length) {
    text.assign(buffer_.data() + pos_, length);
    pos_ += length;
    return true;
  }
  text.clear();
  while (text.size() < length) {
    const std::size_t done = text.size();
    const std::size_t part = std::min(length - done, kReadChunk);
    text.resize(done + part);
    if (!Read(text.data() + done, part)) return false;
  }
  return true;
}

std::array<std::string*, LDAPItem::kFieldCount> LDAPItem::Fields() {
  return {&DN,         &CommonName, &FirstName,       &LastName,  &EMailAddress, &Company,
          &Department, &Title,      &TelephoneNumber, &FaxNumber, &Mobile};
}

std::array<const std::string*, LDAPItem::kFieldCount> LDAPItem::Fields() const {
  // The one list above, read-only.
  const auto fields = const_cast<LDAPItem*>(this)->Fields();
  std::array<const std::string*, kFieldCount> result{};
  std::copy(fields.begin(), fields.end(), result.begin());
  return result;
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
  CacheReader reader(file, false);
  return ReadFromCache(reader);
}

bool LDAPItem::ReadFromCache(CacheReader& reader) {
  try {
    Clear();
    std::uint32_t magic = 0;
    if (!reader.ReadWord(magic)) RaiseFailure("Unable to read the header of the LDAP item from the cache file");
    if (magic != kCacheItemMagic) RaiseFailure("No a valid LDAP cache item");
    for (std::string* field : Fields()) {
      std::uint32_t length = 0;
      if (!reader.ReadWord(length) || !reader.ReadText(*field, length)) RaiseFailure("File read error");
      // The texts come from the directory as C strings; a zero byte ends one. (A plain loop:
      // the texts are short, and memchr's set-up costs more than the scan.)
      const char* text = field->data();
      for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '\0') {
          field->resize(i);
          break;
        }
      }
    }
    return true;
  } catch (...) {
    return false;
  }
}
