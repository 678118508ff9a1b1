// Mapping parser: any text parses without a crash into names that hold no line end, with
// "cn" for the display name, and writing the mapping back out and parsing it again gives the
// same mapping. Run with scripts/fuzz mapping_parser_fuzz SECONDS.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "directory/ldapattriblist.h"

namespace {
// The mapping text's keys and the names they set, in the text's key order.
std::array<std::pair<const char*, const std::string*>, 9> Keys(const LDAPAttribList& list) {
  return {{{"first name=", &list.FirstName},
           {"last name=", &list.LastName},
           {"title=", &list.Title},
           {"company=", &list.Company},
           {"department=", &list.Department},
           {"telephone number=", &list.TelephoneNumber},
           {"fax number=", &list.FaxNumber},
           {"mobile=", &list.Mobile},
           {"e-mail address=", &list.EMailAddress}}};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LDAPAttribList list;
  list.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (list.CommonName != "cn") std::abort();
  std::string written;
  std::size_t mapped = 1;
  for (const auto& [key, name] : Keys(list)) {
    if (name->find_first_of("\r\n") != std::string::npos) std::abort();
    if (name->empty()) continue;
    ++mapped;
    written += std::string(key) + *name + "\r\n";
  }
  if (list.RequestedAttributes().size() != mapped + 1) std::abort();

  LDAPAttribList again;
  again.Parse(written);
  const auto before = Keys(list);
  const auto after = Keys(again);
  for (std::size_t i = 0; i < before.size(); ++i)
    if (*before[i].second != *after[i].second) std::abort();
  return 0;
}
