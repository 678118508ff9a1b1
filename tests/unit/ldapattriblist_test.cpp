#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "directory/ldapattriblist.h"

namespace {
// The ten names in attribute-list order.
std::array<std::string, 10> Names(const LDAPAttribList& list) {
  return {list.CommonName, list.FirstName,       list.LastName,  list.Title,        list.Company,
          list.Department, list.TelephoneNumber, list.FaxNumber, list.EMailAddress, list.Mobile};
}

constexpr const char* kFullMapping =
    "First Name=givenName\r\n"
    "Last Name=sn\r\n"
    "Title=title\r\n"
    "Company=o\r\n"
    "Department=ou\r\n"
    "Telephone Number=telephoneNumber\r\n"
    "Fax Number=facsimileTelephoneNumber\r\n"
    "Mobile=mobile\r\n"
    "E-Mail Address=mail\r\n";
const std::array<std::string, 10> kFullNames = {
    "cn", "givenName", "sn", "title", "o", "ou", "telephoneNumber", "facsimileTelephoneNumber", "mail", "mobile"};

struct ParseCase {
  const char* name;
  const char* text;
  std::array<std::string, 10> expected;
};
void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.name; }

const ParseCase kCases[] = {
    {"EmptyTextMapsOnlyCn", "", {"cn"}},
    {"FullMapping", kFullMapping, kFullNames},
    {"KeysIgnoreCaseNamesKeepIt",
     "E-MAIL ADDRESS=mail\nTelephone Number=telephoneNumber\nfIrSt NaMe=GivenName",
     {"cn", "GivenName", "", "", "", "", "telephoneNumber", "", "mail", ""}},
    {"EmptyNameLeavesFieldUnmapped", "Title=\nCompany=o", {"cn", "", "", "", "o"}},
    {"LaterLineWins", "Title=title\nTitle=personalTitle", {"cn", "", "", "personalTitle"}},
    {"LeadingBlankBlankBeforeEqualsUnknownKeyIgnored",
     " Title=title\nTitle =title\nCommon Name=displayName\nDisplay Name=displayName\n# Title=x",
     {"cn"}},
    {"BlankAfterEqualsAndFurtherEqualsKept", "Company= o\nDepartment=ou=x y", {"cn", "", "", "", " o", "ou=x y"}},
    {"LoneCrAndMixedLineEnds",
     "First Name=givenName\rLast Name=sn\n\nTitle=title\r\n\r\nMobile=mobile",
     {"cn", "givenName", "sn", "title", "", "", "", "", "", "mobile"}},
    {"NonAsciiNamesKeptAsWritten", "Company=\xC3\xB6rg\xFF", {"cn", "", "", "", "\xC3\xB6rg\xFF"}},
};

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, GivesTheMapping) {
  LDAPAttribList list;
  list.Parse(GetParam().text);
  EXPECT_EQ(Names(list), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Mapping, ParseTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });
}  // namespace

TEST(AttribList, StartsAndClearsEmpty) {
  LDAPAttribList list;
  EXPECT_EQ(Names(list), (std::array<std::string, 10>{}));
  list.Parse(kFullMapping);
  list.Clear();
  EXPECT_EQ(Names(list), (std::array<std::string, 10>{}));
}

TEST(AttribList, LineEndsDoNotChangeTheMapping) {
  std::string lf = kFullMapping;
  std::string cr = kFullMapping;
  for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
  for (std::size_t at; (at = cr.find("\r\n")) != std::string::npos;) cr.erase(at + 1, 1);
  for (const std::string& text : {lf, cr, lf.substr(0, lf.size() - 1)}) {
    LDAPAttribList list;
    list.Parse(text);
    EXPECT_EQ(Names(list), kFullNames) << text;
  }
}

TEST(AttribList, SecondParseLeavesNothingOfTheFirst) {
  LDAPAttribList list;
  list.Parse(kFullMapping);
  list.CommonName = "displayName";
  list.Parse("Mobile=pager");
  EXPECT_EQ(Names(list), (std::array<std::string, 10>{"cn", "", "", "", "", "", "", "", "", "pager"}));
}

TEST(AttribList, RequestsNonEmptyNamesInListOrderThenNull) {
  LDAPAttribList list;
  list.Parse("Mobile=mobile\nE-Mail Address=mail\nTitle=cn\nFirst Name=givenName");
  std::vector<char*> requested = list.RequestedAttributes();
  ASSERT_EQ(requested.size(), 6u);
  EXPECT_EQ(requested.back(), nullptr);
  requested.pop_back();
  // "cn" twice: once for the display name, once for the title mapped to it.
  EXPECT_EQ(std::vector<std::string>(requested.begin(), requested.end()),
            (std::vector<std::string>{"cn", "givenName", "cn", "mail", "mobile"}));

  list.Parse("");
  requested = list.RequestedAttributes();
  ASSERT_EQ(requested.size(), 2u);
  EXPECT_STREQ(requested[0], "cn");
  EXPECT_EQ(requested[1], nullptr);

  list.Clear();
  EXPECT_EQ(list.RequestedAttributes(), std::vector<char*>{nullptr});
}
