// One person of the directory: the DN and the ten mapped attribute values of one LDAP entry,
// as eight-bit texts. A plain value; the same eleven texts form one cache-file record.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "directory/ldapattriblist.h"
#include "winldap.h"

// Reads cache-file records from an open file. Buffered, it reads ahead in large blocks, so
// the file's own position runs ahead of what was taken; unbuffered, every read is a read of the
// file, which then stands right after what was taken.
class CacheReader {
 public:
  CacheReader(std::FILE* file, bool buffered);
  bool Read(char* into, std::size_t size);
  bool ReadWord(std::uint32_t& value);
  // Exactly `length` bytes into `text`; memory grows with the bytes actually there, so a
  // damaged length ends with the file instead of a huge allocation.
  bool ReadText(std::string& text, std::size_t length);

 private:
  std::FILE* file_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

class LDAPItem {
 public:
  // Field order, which is also the order of the texts in a cache-file record. An empty text
  // means the value is not known.
  std::string DN;
  std::string CommonName;
  std::string FirstName;
  std::string LastName;
  std::string EMailAddress;
  std::string Company;
  std::string Department;
  std::string Title;
  std::string TelephoneNumber;
  std::string FaxNumber;
  std::string Mobile;

  static constexpr std::size_t kFieldCount = 11;
  static constexpr std::array<const char*, kFieldCount> kFieldNames{
      "DN",         "CommonName", "FirstName",       "LastName",  "EMailAddress", "Company",
      "Department", "Title",      "TelephoneNumber", "FaxNumber", "Mobile"};
  // The eleven texts in field order.
  std::array<std::string*, kFieldCount> Fields();
  std::array<const std::string*, kFieldCount> Fields() const;

  void Clear();
  // Fills the item from one entry of a search result on `connection`: the DN and the first
  // value of every attribute that `attribList` names. Nothing of the previous content stays.
  // Always true.
  bool FillFromEntry(LDAP* connection, LDAPMessage* entry, const LDAPAttribList& attribList);

  // Appends one cache-file record at the file's position; false when a write fails.
  bool WriteToCache(std::FILE* file) const;
  // Reads one cache-file record from the file's position; false when the record is damaged
  // or cut short, and the item then holds what was read before and must be discarded.
  bool ReadFromCache(std::FILE* file);
  bool ReadFromCache(CacheReader& reader);

  friend bool operator==(const LDAPItem&, const LDAPItem&) = default;
};

// The magic numbers of the cache file: the file header, then one per record.
constexpr std::uint32_t kCacheFileMagic = 0xBABE0001;
constexpr std::uint32_t kCacheFileVersion = 1;
constexpr std::uint32_t kCacheItemMagic = 0xBABE0002;
