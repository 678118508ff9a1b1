// Profiles: administration, durable non-transacted sections, their file on disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mapicode.h"
#include "mapidefs.h"
#include "mapiguid.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "tempdir.h"

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("PXAB_PROFILE_DIR", (dir_ / "profiles").c_str(), 1);
    setenv("PXAB_SERVICES", PX_TEST_SERVICES, 1);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    ASSERT_EQ(MAPIAdminProfiles(0, admin_.put()), S_OK);
  }
  void TearDown() override {
    admin_.reset();
    MAPIUninitialize();
  }

  // A profile with one TESTA service; its section and its provider's.
  void MakeProfile(const char* name) {
    ASSERT_EQ(admin_->CreateProfile(const_cast<LPSTR>(name), nullptr, 0, 0), S_OK);
    ASSERT_EQ(admin_->AdminServices(const_cast<LPSTR>(name), nullptr, 0, 0, services_.put()), S_OK);
    ASSERT_EQ(services_->CreateMsgService(const_cast<LPSTR>("TESTA"), nullptr, 0, 0), S_OK);
    ComPtr<IMAPITable> table;
    ASSERT_EQ(services_->GetMsgServiceTable(0, table.put()), S_OK);
    LPSRowSet rows = nullptr;
    ASSERT_EQ(table->QueryRows(10, 0, &rows), S_OK);
    ASSERT_EQ(rows->cRows, 1u);
    const LPSPropValue uid = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_SERVICE_UID);
    ASSERT_NE(uid, nullptr);
    std::memcpy(service_.ab, uid->Value.bin.lpb, 16);
    FreeProws(rows);
  }
  ComPtr<IProfSect> Section(ULONG flags = MAPI_MODIFY) {
    ComPtr<IProfSect> section;
    EXPECT_EQ(services_->OpenProfileSection(&service_, nullptr, flags, section.put()), S_OK);
    return section;
  }
  std::filesystem::path File(const char* name) const { return dir_ / "profiles" / (std::string(name) + ".profile"); }

  TempDir dir_;
  ComPtr<IProfAdmin> admin_;
  ComPtr<IMsgServiceAdmin> services_;
  MAPIUID service_{};
};

SPropValue Value(ULONG tag) {
  SPropValue v{};
  v.ulPropTag = tag;
  return v;
}

TEST_F(ProfileTest, EveryTypeRoundTripsExactlyThroughTheFile) {
  MakeProfile("types");
  static char bytes[] = "\x01\xff bind p\xc3\xa4ss\t\"=%\n";
  static BYTE binary[] = {0, 1, 2, 0, 255};
  static LONG longs[] = {-1, 0, 0x7fffffff};
  static LPSTR strings[] = {const_cast<LPSTR>(""), bytes, const_cast<LPSTR>("two words")};
  static SBinary binaries[] = {{0, nullptr}, {5, binary}};
  static WCHAR wide[] = {u'W', 0x20AC, 0};
  static GUID guid = IID_IMAPIProp;
  std::vector<SPropValue> values;
  values.push_back(Value(PROP_TAG(PT_STRING8, 0x67F0)));
  values.back().Value.lpszA = bytes;
  values.push_back(Value(PROP_TAG(PT_STRING8, 0x6700)));
  values.back().Value.lpszA = const_cast<LPSTR>("");
  values.push_back(Value(PROP_TAG(PT_LONG, 0x6701)));
  values.back().Value.l = -123456;
  values.push_back(Value(PROP_TAG(PT_BOOLEAN, 0x6702)));
  values.back().Value.b = 1;
  values.push_back(Value(PROP_TAG(PT_BINARY, 0x6703)));
  values.back().Value.bin = {5, binary};
  values.push_back(Value(PROP_TAG(PT_I8, 0x6704)));
  values.back().Value.li.QuadPart = -0x123456789abcdefLL;
  values.push_back(Value(PROP_TAG(PT_SYSTIME, 0x6705)));
  values.back().Value.ft = {0xdeadbeef, 0x01d00000};
  values.push_back(Value(PROP_TAG(PT_MV_LONG, 0x6706)));
  values.back().Value.MVl = {3, longs};
  values.push_back(Value(PROP_TAG(PT_MV_STRING8, 0x6707)));
  values.back().Value.MVszA = {3, strings};
  values.push_back(Value(PROP_TAG(PT_MV_BINARY, 0x6708)));
  values.back().Value.MVbin = {2, binaries};
  values.push_back(Value(PROP_TAG(PT_DOUBLE, 0x6709)));
  values.back().Value.dbl = -0.1;
  values.push_back(Value(PROP_TAG(PT_UNICODE, 0x670A)));
  values.back().Value.lpszW = wide;
  values.push_back(Value(PROP_TAG(PT_CLSID, 0x670B)));
  values.back().Value.lpguid = &guid;
  values.push_back(Value(PROP_TAG(PT_I2, 0x670C)));
  values.back().Value.i = -2;
  values.push_back(Value(PROP_TAG(PT_MV_STRING8, 0x670D)));
  values.back().Value.MVszA = {0, nullptr};

  LPSPropProblemArray problems = nullptr;
  ASSERT_EQ(Section()->SetProps(static_cast<ULONG>(values.size()), values.data(), &problems), S_OK);
  EXPECT_EQ(problems, nullptr);

  // A new session of the administration reads it back from the disk.
  services_.reset();
  ASSERT_EQ(admin_->AdminServices(const_cast<LPSTR>("types"), nullptr, 0, 0, services_.put()), S_OK);
  std::vector<ULONG> tags{static_cast<ULONG>(values.size())};
  for (const SPropValue& v : values) tags.push_back(v.ulPropTag);
  ULONG count = 0;
  MapiBuffer<SPropValue> got;
  ASSERT_EQ(Section(0)->GetProps(reinterpret_cast<LPSPropTagArray>(tags.data()), 0, &count, got.put_typed()), S_OK);
  ASSERT_EQ(count, values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(got.get()[i].ulPropTag, values[i].ulPropTag);
    if (PROP_TYPE(values[i].ulPropTag) == PT_UNICODE) {
      EXPECT_EQ(std::u16string(got.get()[i].Value.lpszW), std::u16string(wide));
    } else if (PROP_TYPE(values[i].ulPropTag) == PT_MV_STRING8) {
      ASSERT_EQ(got.get()[i].Value.MVszA.cValues, values[i].Value.MVszA.cValues);
      for (ULONG k = 0; k < values[i].Value.MVszA.cValues; ++k)
        EXPECT_STREQ(got.get()[i].Value.MVszA.lppszA[k], values[i].Value.MVszA.lppszA[k]);
    } else if (PROP_TYPE(values[i].ulPropTag) == PT_MV_BINARY) {
      ASSERT_EQ(got.get()[i].Value.MVbin.cValues, 2u);
      EXPECT_EQ(got.get()[i].Value.MVbin.lpbin[0].cb, 0u);
      ASSERT_EQ(got.get()[i].Value.MVbin.lpbin[1].cb, 5u);
      EXPECT_EQ(std::memcmp(got.get()[i].Value.MVbin.lpbin[1].lpb, binary, 5), 0);
    } else if (PROP_TYPE(values[i].ulPropTag) == PT_CLSID) {
      EXPECT_TRUE(*got.get()[i].Value.lpguid == guid);
    } else {
      EXPECT_EQ(LPropCompareProp(&got.get()[i], &values[i]), 0);
      if (PROP_TYPE(values[i].ulPropTag) == PT_STRING8) {
        EXPECT_STREQ(got.get()[i].Value.lpszA, values[i].Value.lpszA);
      }
    }
  }
}

TEST_F(ProfileTest, SetPropsIsOnDiskBeforeItReturnsAndSaveChangesChangesNothing) {
  MakeProfile("durable");
  const std::string before = ReadAll(File("durable"));
  SPropValue server = Value(PROP_TAG(PT_STRING8, 0x6600));
  server.Value.lpszA = const_cast<LPSTR>("ldap.example.test");
  ComPtr<IProfSect> section = Section();
  ASSERT_EQ(section->SetProps(1, &server, nullptr), S_OK);
  const std::string after = ReadAll(File("durable"));
  EXPECT_NE(after, before);
  EXPECT_NE(after.find("6c6461702e6578616d706c652e74657374"), std::string::npos);  // the value's bytes
  EXPECT_EQ(section->SaveChanges(0), S_OK);
  EXPECT_EQ(ReadAll(File("durable")), after);

  SizedSPropTagArray(1, tags) = {1, {server.ulPropTag}};
  ASSERT_EQ(section->DeleteProps(reinterpret_cast<LPSPropTagArray>(&tags), nullptr), S_OK);
  EXPECT_EQ(ReadAll(File("durable")).find("6c6461702e6578616d706c652e74657374"), std::string::npos);
}

TEST_F(ProfileTest, FileIsOwnerOnlyInAnOwnerOnlyFolder) {
  MakeProfile("secret");
  struct stat st {};
  ASSERT_EQ(stat(File("secret").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((dir_ / "profiles").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(ProfileTest, ReadOnlySectionRefusesChanges) {
  MakeProfile("readonly");
  SPropValue v = Value(PROP_TAG(PT_LONG, 0x6600));
  EXPECT_EQ(Section(0)->SetProps(1, &v, nullptr), MAPI_E_NO_ACCESS);
}

TEST_F(ProfileTest, AdministrationErrors) {
  MakeProfile("one");
  EXPECT_EQ(admin_->CreateProfile(const_cast<LPSTR>("one"), nullptr, 0, 0), MAPI_E_NO_ACCESS);
  EXPECT_EQ(admin_->CreateProfile(const_cast<LPSTR>(""), nullptr, 0, 0), MAPI_E_INVALID_PARAMETER);
  ComPtr<IMsgServiceAdmin> none;
  EXPECT_EQ(admin_->AdminServices(const_cast<LPSTR>("none"), nullptr, 0, 0, none.put()), MAPI_E_NOT_FOUND);
  EXPECT_NE(std::string(PxMAPILastError()).find("none"), std::string::npos);
  EXPECT_EQ(services_->CreateMsgService(const_cast<LPSTR>("NOSUCH"), nullptr, 0, 0), MAPI_E_NOT_FOUND);
  EXPECT_NE(std::string(PxMAPILastError()).find(PX_TEST_SERVICES), std::string::npos);
  MAPIUID unknown{};
  ComPtr<IProfSect> section;
  EXPECT_EQ(services_->OpenProfileSection(&unknown, nullptr, 0, section.put()), MAPI_E_NOT_FOUND);
  // A name that could leave the folder stays inside it.
  ASSERT_EQ(admin_->CreateProfile(const_cast<LPSTR>("../escape/.x"), nullptr, 0, 0), S_OK);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "escape"));

  ComPtr<IMAPITable> table;
  ASSERT_EQ(admin_->GetProfileTable(0, table.put()), S_OK);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(table->QueryRows(10, 0, &rows), S_OK);
  std::vector<std::string> names;
  for (ULONG r = 0; r < rows->cRows; ++r)
    names.push_back(PpropFindProp(rows->aRow[r].lpProps, rows->aRow[r].cValues, PR_DISPLAY_NAME)->Value.lpszA);
  FreeProws(rows);
  EXPECT_EQ(names, (std::vector<std::string>{"../escape/.x", "one"}));

  EXPECT_EQ(admin_->DeleteProfile(const_cast<LPSTR>("one"), 0), S_OK);
  EXPECT_FALSE(std::filesystem::exists(File("one")));
  EXPECT_EQ(admin_->DeleteProfile(const_cast<LPSTR>("one"), 0), MAPI_E_NOT_FOUND);
}

TEST_F(ProfileTest, DamagedFileIsReportedWithItsPathAndNeverOverwritten) {
  MakeProfile("damaged");
  ComPtr<IProfSect> whole = Section();  // opened while the file was whole
  const std::string good = ReadAll(File("damaged"));
  for (const std::string& damage :
       {good.substr(0, good.size() / 2), good.substr(0, good.size() - 1), std::string("garbage\n"), std::string(),
        good.substr(0, good.size() - 5) + "9 9\n"}) {
    SCOPED_TRACE(damage);
    { std::ofstream(File("damaged"), std::ios::binary | std::ios::trunc) << damage; }
    ComPtr<IProfSect> section;
    EXPECT_EQ(services_->OpenProfileSection(&service_, nullptr, MAPI_MODIFY, section.put()), MAPI_E_CORRUPT_DATA);
    EXPECT_NE(std::string(PxMAPILastError()).find(File("damaged").string()), std::string::npos);
    EXPECT_NE(services_->ConfigureMsgService(&service_, 0, 0, 0, nullptr), S_OK);
    SPropValue v = Value(PROP_TAG(PT_LONG, 0x6600));
    EXPECT_EQ(whole->SetProps(1, &v, nullptr), MAPI_E_CORRUPT_DATA);
    EXPECT_EQ(ReadAll(File("damaged")), damage);
  }
}

// Two processes changing the same section at once: every change survives.
TEST_F(ProfileTest, ConcurrentWritersLoseNothing) {
  MakeProfile("shared");
  constexpr int kWriters = 3, kEach = 15;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kEach; ++i) {
        SPropValue v = Value(PROP_TAG(PT_LONG, 0x6600 + w * 100 + i));
        v.Value.l = w * 1000 + i;
        failures += Section()->SetProps(1, &v, nullptr) != S_OK;
      }
      _exit(failures);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kEach; ++i) {
      SizedSPropTagArray(1, tags) = {1, {PROP_TAG(PT_LONG, 0x6600 + w * 100 + i)}};
      ULONG count = 0;
      MapiBuffer<SPropValue> got;
      ASSERT_EQ(Section(0)->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, got.put_typed()), S_OK);
      EXPECT_EQ(got->Value.l, w * 1000 + i);
    }
  }
}

// A writer killed at any moment leaves the old file or the new one, never a mix.
TEST_F(ProfileTest, WriterKilledMidwayLeavesAWholeFile) {
  MakeProfile("crash");
  const std::string big(200000, 'x');
  for (int round = 0; round < 8; ++round) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0;; ++i) {
        SPropValue v = Value(PROP_TAG(PT_STRING8, 0x6600 + (i % 2)));
        v.Value.lpszA = const_cast<LPSTR>(big.c_str());
        Section()->SetProps(1, &v, nullptr);
      }
    }
    usleep(20000 + round * 7000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ComPtr<IProfSect> section = Section(0);
    ASSERT_TRUE(section);
    ULONG count = 0;
    MapiBuffer<SPropValue> got;
    ASSERT_EQ(section->GetProps(nullptr, 0, &count, got.put_typed()), S_OK);
  }
}

// Without PXAB_SERVICES the catalogue beside libpxmapi names the provider module of this tree.
TEST_F(ProfileTest, CatalogueBesideTheLibraryNamesTheProviderModule) {
  EXPECT_NE(ReadAll(PX_BINARY_DIR "/lib/pxab/services.conf").find("DisplayName = Pernix LDAP Address Book"),
            std::string::npos);
  unsetenv("PXAB_SERVICES");
  ASSERT_EQ(admin_->CreateProfile(const_cast<LPSTR>("real"), nullptr, 0, 0), S_OK);
  ASSERT_EQ(admin_->AdminServices(const_cast<LPSTR>("real"), nullptr, 0, 0, services_.put()), S_OK);
  const HRESULT hr = services_->CreateMsgService(const_cast<LPSTR>("PXBL"), nullptr, 0, 0);
  // The module is found; whether its service entry is there yet is the module's business.
  if (FAILED(hr)) {
    EXPECT_EQ(std::string(PxMAPILastError()).find("catalogue"), std::string::npos) << PxMAPILastError();
    EXPECT_NE(std::string(PxMAPILastError()).find(PX_MODULE), std::string::npos) << PxMAPILastError();
  }
}

// The fuzz target's seed is a profile as the writer makes them, readable through the admin.
TEST_F(ProfileTest, FuzzSeedIsAWellFormedProfile) {
  std::filesystem::create_directories(dir_ / "profiles");
  std::filesystem::copy_file(PX_SOURCE_DIR "/tests/fuzz/seeds/profile_reader_fuzz/services.profile", File("seed"));
  ASSERT_EQ(admin_->AdminServices(const_cast<LPSTR>("seed"), nullptr, 0, 0, services_.put()), S_OK);
  MAPIUID uid;
  for (BYTE i = 0; i < 16; ++i) uid.ab[i] = i;
  ComPtr<IProfSect> section;
  ASSERT_EQ(services_->OpenProfileSection(&uid, nullptr, 0, section.put()), S_OK) << PxMAPILastError();
  ULONG count = 0;
  MapiBuffer<SPropValue> got;
  ASSERT_EQ(section->GetProps(nullptr, 0, &count, got.put_typed()), S_OK);
  EXPECT_EQ(count, 12u);
}

}  // namespace
