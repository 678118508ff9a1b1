#include "directory/ldapattriblist.h"

#include <array>
#include <cstddef>
#include <utility>

namespace {
// Keys compare without regard to letter case; they are ASCII, so a non-ASCII byte of a line
// can never match one and the ASCII mapping is the locale's mapping here.
bool StartsWithKey(std::string_view line, std::string_view key) {
  if (line.size() < key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != key[i]) return false;
  }
  return true;
}

// The ten names in the order of the class.
std::array<std::string*, 10> Names(LDAPAttribList& list) {
  return {&list.CommonName, &list.FirstName,       &list.LastName,  &list.Title,        &list.Company,
          &list.Department, &list.TelephoneNumber, &list.FaxNumber, &list.EMailAddress, &list.Mobile};
}
}  // namespace

void LDAPAttribList::Clear() {
  for (std::string* name : Names(*this)) name->clear();
}

void LDAPAttribList::Parse(std::string_view text) {
  try {
    Clear();
    const std::array<std::pair<std::string_view, std::string*>, 9> keys{{
        {"first name=", &FirstName},
        {"last name=", &LastName},
        {"title=", &Title},
        {"company=", &Company},
        {"department=", &Department},
        {"telephone number=", &TelephoneNumber},
        {"fax number=", &FaxNumber},
        {"mobile=", &Mobile},
        {"e-mail address=", &EMailAddress},
    }};
    CommonName = "cn";
    std::size_t start = 0;
    while (start <= text.size()) {
      // A line ends at CR LF, a lone CR or a lone LF.
      std::size_t end = text.find_first_of("\r\n", start);
      if (end == std::string_view::npos) end = text.size();
      const std::string_view line = text.substr(start, end - start);
      for (const auto& [key, field] : keys) {
        if (StartsWithKey(line, key)) {
          field->assign(line.substr(key.size()));
          break;
        }
      }
      if (end == text.size()) break;
      start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
  } catch (...) {
    // Out of memory: the names assigned so far stay, the rest stay empty.
  }
}

std::vector<char*> LDAPAttribList::RequestedAttributes() {
  std::vector<char*> names;
  names.reserve(11);
  for (std::string* name : Names(*this))
    if (!name->empty()) names.push_back(name->data());
  names.push_back(nullptr);
  return names;
}
