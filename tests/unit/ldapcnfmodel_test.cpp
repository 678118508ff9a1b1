#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "config/getpath.h"
#include "config/ldapcnfmodel.h"
#include "resources/configform.h"
#include "scripted_msgbox.h"
#include "tempdir.h"

namespace {

CLDAPProfileData FilledRecord() {
  CLDAPProfileData data;
  data.DisplayName = "Company";
  data.ShowNamesBy = 1;
  data.Comment = "first\r\nsecond";
  data.ServerName = "ldap.example.org";
  data.Port = 1389;
  data.UseSSL = true;
  data.UseVersion3 = false;
  data.DeepSearch = true;
  data.SearchDN = "dc=example,dc=org";
  data.TimeOut = 120;
  data.SchemaMapping = "First Name=givenName\r\nLast Name=sn\r\n";
  data.CacheFileName = "/tmp/ab.pxb";
  data.SearchString = "(mail=*)";
  data.Authenticate = true;
  data.BindDN = "cn=reader,dc=example,dc=org";
  data.Password = "geheim";
  return data;
}

TEST(FormModel, LoadThenSaveKeepsEveryShownField) {
  TFormLDAPConfigModel model;
  const CLDAPProfileData original = FilledRecord();
  model.LoadControls(original);
  EXPECT_TRUE(model.Controls.RadioButtonLastName);
  EXPECT_FALSE(model.Controls.CBAuthenticate);
  EXPECT_TRUE(model.Controls.AuthenticationEnabled);
  CLDAPProfileData saved;
  saved.Port = 4711;  // not shown: stays as the record had it
  model.SaveControls(saved);
  EXPECT_EQ(saved.DisplayName, original.DisplayName);
  EXPECT_EQ(saved.ShowNamesBy, 1);
  EXPECT_EQ(saved.Comment, original.Comment);
  EXPECT_EQ(saved.ServerName, original.ServerName);
  EXPECT_EQ(saved.Port, 4711);
  EXPECT_TRUE(saved.UseSSL);
  EXPECT_FALSE(saved.UseVersion3);
  EXPECT_TRUE(saved.DeepSearch);
  EXPECT_EQ(saved.SearchDN, original.SearchDN);
  EXPECT_EQ(saved.TimeOut, 120);
  EXPECT_EQ(saved.SchemaMapping, original.SchemaMapping);
  EXPECT_EQ(saved.CacheFileName, original.CacheFileName);
  EXPECT_EQ(saved.SearchString, original.SearchString);
  EXPECT_TRUE(saved.Authenticate);
  EXPECT_EQ(saved.BindDN, original.BindDN);
  EXPECT_EQ(saved.Password, original.Password);
}

struct ShowNamesCase {
  LONG stored;
  bool first, last, cn;
  LONG saved;
};

TEST(FormModel, ShowNamesByPicksOneRadioButtonAndUnknownValuesBecomeCommonName) {
  for (const ShowNamesCase& c : {ShowNamesCase{0, true, false, false, 0}, ShowNamesCase{1, false, true, false, 1},
                                 ShowNamesCase{2, false, false, true, 2}, ShowNamesCase{7, false, false, true, 2},
                                 ShowNamesCase{-1, false, false, true, 2}}) {
    TFormLDAPConfigModel model;
    CLDAPProfileData data;
    data.ShowNamesBy = c.stored;
    model.LoadControls(data);
    EXPECT_EQ(model.Controls.RadioButtonFirstName, c.first) << c.stored;
    EXPECT_EQ(model.Controls.RadioButtonLastName, c.last) << c.stored;
    EXPECT_EQ(model.Controls.RadioButtonCN, c.cn) << c.stored;
    model.SaveControls(data);
    EXPECT_EQ(data.ShowNamesBy, c.saved) << c.stored;
  }
}

TEST(FormModel, TimeOutIsClampedOnLoadAndReadFromTheText) {
  const std::pair<LONG, std::string> loads[] = {{5, "30"},    {30, "30"},   {60, "60"},
                                                {600, "600"}, {601, "600"}, {-4, "30"}};
  for (const auto& [stored, shown] : loads) {
    TFormLDAPConfigModel model;
    CLDAPProfileData data;
    data.TimeOut = stored;
    model.LoadControls(data);
    EXPECT_EQ(model.Controls.CSpinEditTimeOut, shown) << stored;
  }
  EXPECT_EQ(TFormLDAPConfigModel::TimeOutFromText("45"), 45);
  EXPECT_EQ(TFormLDAPConfigModel::TimeOutFromText(""), 30);
  EXPECT_EQ(TFormLDAPConfigModel::TimeOutFromText("abc"), 30);
  EXPECT_EQ(TFormLDAPConfigModel::TimeOutFromText("12x"), 30);
  EXPECT_EQ(TFormLDAPConfigModel::TimeOutFromText("99999999999"), 30);
}

TEST(FormModel, EmptyMappingShowsTheNineDefaultRowsAndSavesThemWithCrLf) {
  TFormLDAPConfigModel model;
  CLDAPProfileData data;
  model.LoadControls(data);
  const std::vector<std::string> rows{"First Name=givenname",
                                      "Last Name=sn",
                                      "Title=title",
                                      "Company=o",
                                      "Department=ou",
                                      "Telephone Number=telephoneNumber",
                                      "Fax Number=facsimileTelephoneNumber",
                                      "Mobile=mobile",
                                      "E-mail Address=mail"};
  EXPECT_EQ(model.Controls.VLESchema, rows);
  model.SaveControls(data);
  std::string expected;
  for (const std::string& row : rows) expected += row + "\r\n";
  EXPECT_EQ(data.SchemaMapping, expected);
}

TEST(FormModel, LinesSplitLikeAStringList) {
  using V = std::vector<std::string>;
  EXPECT_EQ(TFormLDAPConfigModel::SplitLines(""), V{});
  EXPECT_EQ(TFormLDAPConfigModel::SplitLines("a"), V{"a"});
  EXPECT_EQ(TFormLDAPConfigModel::SplitLines("a\r\nb\r\n"), (V{"a", "b"}));
  EXPECT_EQ(TFormLDAPConfigModel::SplitLines("a\nb\rc"), (V{"a", "b", "c"}));
  EXPECT_EQ(TFormLDAPConfigModel::SplitLines("\r\n"), V{""});
  EXPECT_EQ(TFormLDAPConfigModel::SplitLines("a\n\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(TFormLDAPConfigModel::JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
  // A mapping of one empty line is not empty: the defaults do not replace it.
  TFormLDAPConfigModel model;
  CLDAPProfileData data;
  data.SchemaMapping = "\r\n";
  model.LoadControls(data);
  EXPECT_EQ(model.Controls.VLESchema, V{""});
}

TEST(FormModel, AnonymousBindGreysTheCredentialsButKeepsAndSavesThem) {
  TFormLDAPConfigModel model;
  CLDAPProfileData data = FilledRecord();
  data.Authenticate = false;
  model.LoadControls(data);
  EXPECT_TRUE(model.Controls.CBAuthenticate);
  EXPECT_FALSE(model.Controls.AuthenticationEnabled);
  EXPECT_EQ(model.Controls.EditDN, data.BindDN);
  CLDAPProfileData saved;
  model.SaveControls(saved);
  EXPECT_FALSE(saved.Authenticate);
  EXPECT_EQ(saved.BindDN, "cn=reader,dc=example,dc=org");
  EXPECT_EQ(saved.Password, "geheim");
  model.Controls.CBAuthenticate = false;
  model.UpdateAuthenticationControls();
  EXPECT_TRUE(model.Controls.AuthenticationEnabled);
}

TEST(FormModel, TrimRemovesBlanksAndControlCharactersOnly) {
  EXPECT_EQ(TFormLDAPConfigModel::Trim("  \t a b \r\n\x01"), "a b");
  EXPECT_EQ(TFormLDAPConfigModel::Trim("   "), "");
  EXPECT_EQ(TFormLDAPConfigModel::Trim("\xc3\xa4"), "\xc3\xa4");
  // SaveControls trims the display name only.
  TFormLDAPConfigModel model;
  CLDAPProfileData data = FilledRecord();
  model.LoadControls(data);
  model.Controls.EditDisplayName = "  Name ";
  model.Controls.EditServerName = " host ";
  model.SaveControls(data);
  EXPECT_EQ(data.DisplayName, "Name");
  EXPECT_EQ(data.ServerName, " host ");
}

// The controls of a record that passes every check.
TFormLDAPConfigModel Valid() {
  TFormLDAPConfigModel model;
  model.LoadControls(FilledRecord());
  return model;
}

TEST(FormModel, CloseQueryLetsCancelGoWithoutChecks) {
  ScriptedMessageBoxes boxes;
  TFormLDAPConfigModel model;  // every required field empty
  model.ButtonCancelClick();
  EXPECT_TRUE(model.FormCloseQuery("Caption", nullptr).canClose);
  EXPECT_TRUE(boxes.Boxes().empty());
}

struct RequiredCase {
  const char* control;
  std::string LDAPConfigControls::*field;
  const char* message;
};

TEST(FormModel, CloseQueryChecksTheFiveFieldsInOrderAndTrimsFour) {
  const RequiredCase cases[] = {
      {"EditDisplayName", &LDAPConfigControls::EditDisplayName, "The display name field cannot be empty."},
      {"EditServerName", &LDAPConfigControls::EditServerName, "The server name field cannot be empty."},
      {"EditSearchDN", &LDAPConfigControls::EditSearchDN, "The search base field cannot be empty."},
      {"EditSearchString", &LDAPConfigControls::EditSearchString, "The search string field cannot be empty."},
      {"EditCacheFileName", &LDAPConfigControls::EditCacheFileName, "The cache file name cannot be empty."},
  };
  for (const RequiredCase& c : cases) {
    ScriptedMessageBoxes boxes;
    TFormLDAPConfigModel model = Valid();
    model.Controls.*c.field = "";
    model.ButtonOkClick();
    const auto query = model.FormCloseQuery("Pernix LDAP Address Book", nullptr);
    EXPECT_FALSE(query.canClose) << c.control;
    ASSERT_NE(query.focusControl, nullptr);
    EXPECT_STREQ(query.focusControl, c.control);
    EXPECT_EQ(model.OkPressed, 0);
    ASSERT_EQ(boxes.Boxes().size(), 1u) << c.control;
    EXPECT_EQ(boxes.Boxes()[0].text, c.message);
    EXPECT_EQ(boxes.Boxes()[0].caption, "Pernix LDAP Address Book");
    EXPECT_EQ(boxes.Boxes()[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
  }

  // Blanks: the trimmed fields fail and come back trimmed, the other two pass.
  ScriptedMessageBoxes boxes;
  TFormLDAPConfigModel model = Valid();
  model.Controls.EditDisplayName = "   ";
  model.Controls.MemoNotes = "  note \r\n";
  model.Controls.EditServerName = " host\t";
  model.Controls.EditSearchDN = " dc=x ";
  model.ButtonOkClick();
  EXPECT_FALSE(model.FormCloseQuery("", nullptr).canClose);
  EXPECT_EQ(model.Controls.EditDisplayName, "");
  EXPECT_EQ(model.Controls.MemoNotes, "note");
  EXPECT_EQ(model.Controls.EditServerName, "host");
  EXPECT_EQ(model.Controls.EditSearchDN, "dc=x");
  EXPECT_EQ(boxes.Boxes().at(0).caption, "");

  model.Controls.EditDisplayName = "Name";
  model.Controls.EditSearchString = "  ";
  model.Controls.EditCacheFileName = "  ";
  model.ButtonOkClick();
  EXPECT_TRUE(model.FormCloseQuery("", nullptr).canClose);
  EXPECT_EQ(model.Controls.EditCacheFileName, "  ");
  EXPECT_EQ(boxes.Boxes().size(), 1u);
}

TEST(FormModel, OnlyTheFirstEmptyFieldIsReportedPerOk) {
  ScriptedMessageBoxes boxes;
  TFormLDAPConfigModel model = Valid();
  model.Controls.EditServerName.clear();
  model.Controls.EditSearchDN.clear();
  model.ButtonOkClick();
  EXPECT_FALSE(model.FormCloseQuery("c", nullptr).canClose);
  model.Controls.EditServerName = "host";
  // A close without OK after a refusal goes without checks: the flag was cleared.
  EXPECT_TRUE(model.FormCloseQuery("c", nullptr).canClose);
  model.ButtonOkClick();
  EXPECT_FALSE(model.FormCloseQuery("c", nullptr).canClose);
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].text, "The server name field cannot be empty.");
  EXPECT_EQ(boxes.Boxes()[1].text, "The search base field cannot be empty.");
}

TEST(FormModel, CacheNameProposalTakesTheFirstFreeNumber) {
  TempDir dir;
  const std::string base = dir.path().string();
  EXPECT_EQ(TFormLDAPConfigModel::ProposeCacheFileName(base), base + "/cache00.pxb");
  std::ofstream(dir / "cache00.pxb") << "x";
  std::ofstream(dir / "cache01.pxb") << "x";
  EXPECT_EQ(TFormLDAPConfigModel::ProposeCacheFileName(base), base + "/cache02.pxb");
  for (int i = 2; i < 40; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "cache%02d.pxb", i);
    std::ofstream(dir / name) << "x";
  }
  EXPECT_EQ(TFormLDAPConfigModel::ProposeCacheFileName(base), base + "/cache39.pxb");
  EXPECT_EQ(TFormLDAPConfigModel::ProposeCacheFileName(""), "/cache00.pxb");
}

class InstallPath : public testing::Test {
 protected:
  void SetUp() override { setenv("PXAB_REGISTRY", (dir_ / "registry").c_str(), 1); }
  void TearDown() override { unsetenv("PXAB_REGISTRY"); }
  void Write(const std::string& text) { std::ofstream(dir_ / "registry") << text; }
  TempDir dir_;
};

TEST_F(InstallPath, ReadsThePathValueOfTheInstallKey) {
  Write(
      "; written by the installer\n[HKEY_LOCAL_MACHINE\\Software\\Other]\nPath=/wrong\n\n"
      "[hkey_local_machine\\SOFTWARE\\Veskari Networks\\PXB]\npath = /opt/pernix dir \n");
  EXPECT_EQ(GetInstallPath(), "/opt/pernix dir");
}

TEST_F(InstallPath, IsEmptyWithoutFileKeyOrValue) {
  EXPECT_EQ(GetInstallPath(), "");  // no file
  Write("[HKEY_CURRENT_USER\\Software\\Veskari Networks\\PXB]\nPath=/user\n");
  EXPECT_EQ(GetInstallPath(), "");  // the key lies in another hive
  Write("[HKEY_LOCAL_MACHINE\\Software\\Veskari Networks\\PXB]\nOther=1\n");
  EXPECT_EQ(GetInstallPath(), "");  // the key opens, the value is missing
}

TEST_F(InstallPath, RegistryCallsReportSizesAndErrorsAsWindowsDoes) {
  Write("[HKEY_LOCAL_MACHINE\\Software\\A]\nName=abc\n");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\Software\\A\\", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 4u);
  BYTE small[2];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  BYTE data[8] = {};
  size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "abc");
  EXPECT_EQ(RegQueryValueExA(key, "None", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_INVALID_HANDLE);
}

TEST(Shell, OpenGoesToTheHandlerAndOtherVerbsAreRefused) {
  std::vector<std::string> opened;
  ShellOpenHandler previous = SetShellOpenHandler([&](const char* file) {
    opened.emplace_back(file);
    return true;
  });
  auto code = [](HINSTANCE result) { return reinterpret_cast<UINT_PTR>(result); };
  EXPECT_GT(code(ShellExecuteA(nullptr, "open", "https://example.org/", nullptr, nullptr, SW_SHOWNORMAL)), 32u);
  EXPECT_GT(code(ShellExecuteA(nullptr, nullptr, "/tmp/x", nullptr, nullptr, SW_SHOWNORMAL)), 32u);
  EXPECT_EQ(code(ShellExecuteA(nullptr, "print", "/tmp/x", nullptr, nullptr, SW_SHOWNORMAL)),
            static_cast<UINT_PTR>(SE_ERR_NOASSOC));
  EXPECT_LE(code(ShellExecuteA(nullptr, "open", "", nullptr, nullptr, SW_SHOWNORMAL)), 32u);
  SetShellOpenHandler([](const char*) { return false; });
  EXPECT_LE(code(ShellExecuteA(nullptr, "open", "x", nullptr, nullptr, SW_SHOWNORMAL)), 32u);
  SetShellOpenHandler(std::move(previous));
  EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/", "/tmp/x"}));
}

TEST(FormResources, EveryControlLiesInAKnownParentWithinTheForm) {
  for (const FormControl& control : ConfigFormControls()) {
    if (*control.parent) {
      EXPECT_NE(FindConfigFormControl(control.parent), nullptr) << control.name;
    }
  }
  EXPECT_EQ(FindConfigFormControl("NoSuchControl"), nullptr);
  EXPECT_EQ(std::string(kDefaultSchemaMapping).find('\r'), std::string::npos);
}

}  // namespace
