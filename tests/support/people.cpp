#include "people.h"

#include <cstdint>

namespace {
const char* const kFirst[] = {"Anna", "Bernd", "Claudia", "Dieter", "Elif", "Frank", "Greta", "Hans", "Ines", "Jonas"};
const char* const kLast[] = {"Schmidt", "Schneider", "Fischer", "Weber", "Meyer", "Wagner", "Becker", "Hoffmann"};
const char* const kAccentedFirst[] = {"J\xC3\xBCrgen", "Ren\xC3\xA9", "Bj\xC3\xB6rn", "Zo\xC3\xAB", "\xC3\x85sa"};
const char* const kAccentedLast[] = {"M\xC3\xBCller", "Garc\u00EDa", "\xC3\x98stergaard", "Dvo\xC5\x99\xC3\xA1k",
                                     "Wei\xC3\x9F"};
const char* const kDepartments[] = {"Research and Development", "Sales", "Human Resources", "Finance and Controlling"};
const char* const kTitles[] = {"Senior Software Engineer", "Account Manager", "Team Lead", "Controller"};
}  // namespace

std::string PeopleLdif(int count) {
  std::string ldif = std::string("dn: ") + kPeopleBase + "\nobjectClass: organizationalUnit\nou: people\n\n";
  ldif.reserve(static_cast<std::size_t>(count) * 520);
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(100000 + i);
    const bool accented = i % 5 == 0;
    const std::string first = accented ? kAccentedFirst[i / 5 % 5] : kFirst[i % 10];
    const std::string last = i == count / 2 ? "Qxylander" : accented ? kAccentedLast[i / 25 % 5] : kLast[i / 10 % 8];
    ldif += "dn: uid=u" + n + "," + kPeopleBase + "\nobjectClass: inetOrgPerson\nuid: u" + n;
    ldif += "\ncn: " + first + " " + last + "\ngivenName: " + first + "\nsn: " + last;
    ldif += "\ntitle: " + std::string(kTitles[i % 4]) + "\no: Example Corporation GmbH\nou: " + kDepartments[i % 4];
    ldif += "\ntelephoneNumber: +49 30 " + n + "\nfacsimileTelephoneNumber: +49 30 " + n + "-99";
    ldif += "\nmail: u" + n + "@example.com";
    if (i % 3) ldif += "\nmobile: +49 171 " + n;
    ldif += "\n\n";
  }
  return ldif;
}

std::string GeneratedName(unsigned long i) {
  static const char* syllables[] = {"an",  "Bel", "cor", "Dan", "el",  "fab", "Gor", "hil", "Ian", "jo",
                                    "Kal", "lin", "Mar", "nor", "Osc", "pet", "Qua", "ros", "Sab", "tin"};
  unsigned long x = static_cast<unsigned long>(static_cast<std::uint32_t>(i * 2654435761u));
  std::string name;
  for (int s = 0; s < 3; ++s) {
    name += syllables[x % 20];
    x /= 20;
  }
  return Numbered(name + " ", i);
}

std::string Numbered(const std::string& prefix, unsigned long i) {
  std::string text = prefix;
  text += std::to_string(i);
  return text;
}
