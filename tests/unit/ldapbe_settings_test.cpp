// LoadSettings: the configuration record comes from the section that the provider's own
// section names, and names the directory container.
#include <gtest/gtest.h>

#include "backend/ldapbe.h"
#include "config/ldapproviderdata.h"
#include "mapicode.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "support_double.h"

namespace {
void Store(SectionDouble& section, ULONG tag, const char* text) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(text);
  ASSERT_EQ(section.SetProps(1, &v, nullptr), S_OK);
}
}  // namespace

TEST(LoadSettings, ReadsTheServiceSectionAndNamesTheContainer) {
  struct Case {
    const char* displayName;  // null: not stored
    const char* container;
  };
  for (const Case c : {Case{nullptr, "Pernix LDAP Address Book"}, Case{"", "Pernix LDAP Address Book"},
                       Case{"Corporate", "Corporate"}}) {
    SCOPED_TRACE(c.container);
    SupportDouble support;
    if (c.displayName) Store(support.Service(), PR_DISPLAY_NAME, c.displayName);
    Store(support.Service(), PR_LDAP_SERVER_NAME, "ldap.example.com");
    SPropValue port{};
    port.ulPropTag = PR_LDAP_PORT;
    port.Value.l = 1389;
    ASSERT_EQ(support.Service().SetProps(1, &port, nullptr), S_OK);
    ComPtr<ABLDAPBackeEnd> backend(new ABLDAPBackeEnd(nullptr, &support));
    EXPECT_EQ(backend->LoadSettings(), S_OK);
    EXPECT_EQ(backend->ContainerName, c.container);
    ASSERT_TRUE(backend->Profile);
    EXPECT_EQ(backend->Profile->ServerName, "ldap.example.com");
    EXPECT_EQ(backend->Profile->Port, 1389);
    EXPECT_EQ(backend->Profile->TimeOut, 60);  // not stored: the default
    EXPECT_EQ(backend->Profile->DisplayName, c.displayName ? c.displayName : "");
  }
}

TEST(LoadSettings, WithoutSupportObjectIsAnInvalidParameter) {
  ComPtr<ABLDAPBackeEnd> backend(new ABLDAPBackeEnd(nullptr, nullptr));
  const std::string before = backend->ContainerName;
  EXPECT_EQ(backend->LoadSettings(), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(backend->ContainerName, before);
  EXPECT_FALSE(backend->Profile);
}

// A failing profile call ends the load with its result and changes nothing; so does a
// provider section that does not name its service's section.
TEST(LoadSettings, ProfileFailuresKeepTheRecordAndTheName) {
  enum Fault { OpenFails, ProviderReadFails, NoServiceUID, ServiceReadFails };
  struct Case {
    Fault fault;
    HRESULT result;
  };
  for (const Case c : {Case{OpenFails, MAPI_E_NO_ACCESS}, Case{ProviderReadFails, MAPI_E_CORRUPT_DATA},
                       Case{NoServiceUID, MAPI_E_NOT_FOUND}, Case{ServiceReadFails, MAPI_E_CALL_FAILED}}) {
    SCOPED_TRACE(c.fault);
    SupportDouble support;
    Store(support.Service(), PR_DISPLAY_NAME, "Corporate");
    ComPtr<ABLDAPBackeEnd> backend(new ABLDAPBackeEnd(nullptr, &support));
    ASSERT_EQ(backend->LoadSettings(), S_OK);
    const CLDAPProfileData* record = backend->Profile.get();
    Store(support.Service(), PR_DISPLAY_NAME, "Changed");
    switch (c.fault) {
      case OpenFails: support.failOpenProfileSection = c.result; break;
      case ProviderReadFails: support.Provider().failGetProps = c.result; break;
      case NoServiceUID: {
        SPropValue other{};
        other.ulPropTag = PR_SERVICE_UID;
        other.Value.bin.cb = 0;
        ASSERT_EQ(support.Provider().SetProps(1, &other, nullptr), S_OK);
        break;
      }
      case ServiceReadFails: support.Service().failGetProps = c.result; break;
    }
    EXPECT_EQ(backend->LoadSettings(), c.result);
    EXPECT_EQ(backend->Profile.get(), record);
    EXPECT_EQ(backend->ContainerName, "Corporate");
  }
}
