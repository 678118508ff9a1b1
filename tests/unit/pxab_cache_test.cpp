// pxab cache dump / write, run as the program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "directory/ldapcon.h"
#include "tempdir.h"

namespace {
class PxabCache : public testing::Test {
 protected:
  TempDir dir;
  std::string out, err;

  // Runs pxab with `args` (shell words), `input` on standard input; returns the exit status.
  int Run(const std::string& args, const std::string& input = "") {
    std::ofstream(dir / "stdin", std::ios::binary) << input;
    const std::string command = std::string(PX_PXAB) + " " + args + " <'" + (dir / "stdin").string() + "' >'" +
                                (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() + "'";
    const int status = std::system(command.c_str());
    out = ReadAll(dir / "stdout");
    err = ReadAll(dir / "stderr");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string File(const char* name) { return (dir / name).string(); }

  void Save(const std::vector<LDAPItem>& items, const std::string& path) {
    LDAPListManager manager;
    manager.CacheFileName = path;
    manager.Items = items;
    ASSERT_TRUE(manager.SaveCache());
  }
};

std::vector<LDAPItem> AwkwardItems() {
  std::string everyByte;
  for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
  LDAPItem a;
  a.DN = "cn=Doe\\, John,ou=people,dc=example,dc=com";
  a.CommonName = "J\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80";  // UTF-8 of two, three and four bytes
  a.FirstName = everyByte;
  a.LastName = "\xC0\xAF overlong, \xED\xA0\x80 surrogate, \xF4\x90\x80\x80 too high, \xE2\x82 cut";
  a.Title = "quote \" backslash \\ tab \t newline \n cr \r del \x7F";
  a.Company = std::string(3000, 'c');
  a.Mobile = "\xFF";
  LDAPItem empty;
  LDAPItem b;
  b.DN = "uid=b";
  b.EMailAddress = "b@example.com";
  return {a, empty, b};
}
}  // namespace

TEST_F(PxabCache, DumpAndWriteLoseNoByte) {
  Save(AwkwardItems(), File("original.pxb"));
  ASSERT_EQ(Run("cache dump " + File("original.pxb")), 0) << err;
  const std::string json = out;
  EXPECT_TRUE(err.empty()) << err;
  ASSERT_EQ(Run("cache write " + File("copy.pxb"), json), 0) << err;
  EXPECT_EQ(ReadAll(File("copy.pxb")), ReadAll(File("original.pxb")));

  // One object per item, members in field order, valid UTF-8 as it stands.
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = json.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(json.substr(start, end - start));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2],
            "{\"DN\": \"uid=b\", \"CommonName\": \"\", \"FirstName\": \"\", \"LastName\": \"\", \"EMailAddress\": "
            "\"b@example.com\", \"Company\": \"\", \"Department\": \"\", \"Title\": \"\", \"TelephoneNumber\": "
            "\"\", \"FaxNumber\": \"\", \"Mobile\": \"\"}");
  EXPECT_NE(lines[0].find("\"CommonName\": \"J\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80\""), std::string::npos);
  EXPECT_NE(lines[0].find("\"Mobile\": \"\\udcff\""), std::string::npos);
  EXPECT_NE(lines[0].find("\"DN\": \"cn=Doe\\\\, John"), std::string::npos);
}

TEST_F(PxabCache, WriteTakesOrdinaryJson) {
  const std::string input =
      "{\"CommonName\": \"M\\u00fcller \\ud83d\\ude00\", \"DN\": \"cn=x\\/y\"}\n"
      "\n"
      "  {}  \r\n";
  ASSERT_EQ(Run("cache write " + File("x.pxb"), input), 0) << err;
  LDAPListManager manager;
  manager.CacheFileName = File("x.pxb");
  ASSERT_TRUE(manager.LoadCache());
  ASSERT_EQ(manager.Count(), 2u);
  EXPECT_EQ(manager.Items[0].CommonName, "M\xC3\xBCller \xF0\x9F\x98\x80");
  EXPECT_EQ(manager.Items[0].DN, "cn=x/y");
  EXPECT_EQ(manager.Items[1], LDAPItem());
}

TEST_F(PxabCache, WriteRefusesBadLinesAndWritesNothing) {
  const std::string good = "{\"DN\": \"a\"}\n";
  const struct {
    std::string input;
    std::string message;
  } cases[] = {
      {good + "{\"DN\": \"a\"\n", "line 2: column 11: expected '}' before the end of the line"},
      {good + good + "{\"DN\": 1}\n", "line 3: column 8: the value of \"DN\" is not a string"},
      {"{\"Name\": \"a\"}\n", "line 1: unknown member \"Name\""},
      {"{\"DN\": \"a\", \"DN\": \"b\"}\n", "line 1: member \"DN\" given twice"},
      {"{\"DN\": \"a\\u0000b\"}\n", "line 1: member \"DN\" holds a zero byte"},
      {"{\"DN\": \"\\udc10\"}\n", "line 1: column 9: lone low surrogate"},
      {"{\"DN\": \"\\ud800x\"}\n", "line 1: column 9: high surrogate without its low half"},
      {"{\"DN\": \"\\q\"}\n", "line 1: column 9: unknown escape"},
      {"{\"DN\": \"a\"} x\n", "line 1: column 13: unexpected text after the object"},
      {"[\"a\"]\n", "line 1: column 1: expected '{'"},
      {"{\"DN\": \"tab\there\"}\n", "line 1: column 12: control character"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run("cache write " + File("bad.pxb"), c.input), 1) << c.input;
    EXPECT_NE(err.find("pxab cache write: " + c.message), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(File("bad.pxb"))) << c.input;
  }
}

TEST_F(PxabCache, DumpOfADamagedFilePrintsTheItemsBeforeTheDamage) {
  Save(AwkwardItems(), File("whole.pxb"));
  const std::string whole = ReadAll(File("whole.pxb"));
  std::ofstream(File("cut.pxb"), std::ios::binary) << whole.substr(0, whole.size() - 5);
  ASSERT_EQ(Run("cache dump " + File("cut.pxb")), 1);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2);
  EXPECT_NE(err.find("item 3 of 3 is damaged or cut short"), std::string::npos) << err;

  std::ofstream(File("other.pxb"), std::ios::binary) << "PK\x03\x04 something else entirely";
  EXPECT_EQ(Run("cache dump " + File("other.pxb")), 1);
  EXPECT_TRUE(out.empty());
  EXPECT_NE(err.find("not a cache file"), std::string::npos) << err;

  EXPECT_EQ(Run("cache dump " + File("missing.pxb")), 1);
  EXPECT_NE(err.find("cannot open"), std::string::npos) << err;
}

TEST_F(PxabCache, UsageErrorsExitWithTwo) {
  for (const char* args : {"cache", "cache dump", "cache list x.pxb", "cache dump a b", "cache write ''"}) {
    EXPECT_EQ(Run(args), 2) << args;
    EXPECT_NE(err.find("pxab cache: "), std::string::npos) << err;
  }
  EXPECT_EQ(Run("cache --help"), 0);
  EXPECT_NE(out.find("Usage: pxab cache dump FILE"), std::string::npos);
}
