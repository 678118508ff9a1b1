// The message service's entry point: which contexts do work, what is written to the service's
// section, and the memory routines it takes over.
#include "config/serviceentry.h"

#include <gtest/gtest.h>

#include "config/ldapproviderdata.h"
#include "mapicode.h"
#include "mapitags.h"
#include "mapix.h"
#include "provider/gunknown.h"
#include "support_double.h"

namespace {
HRESULT Call(SupportDouble& support, ProviderAdminDouble& admin, ULONG flags, ULONG context, ULONG count = 0,
             LPSPropValue values = nullptr) {
  return ServiceEntry(nullptr, nullptr, &support, 0, flags, context, count, values, &admin, nullptr);
}
}  // namespace

TEST(ServiceEntry, OnlyCreateAndConfigureOpenTheProfile) {
  struct Case {
    ULONG context;
    HRESULT result;
    int opens;
  };
  const Case cases[] = {{0, MAPI_E_NO_SUPPORT, 0},
                        {MSG_SERVICE_INSTALL, S_OK, 0},
                        {MSG_SERVICE_CREATE, S_OK, 1},
                        {MSG_SERVICE_CONFIGURE, S_OK, 1},
                        {MSG_SERVICE_DELETE, S_OK, 0},
                        {MSG_SERVICE_UNINSTALL, S_OK, 0},
                        {MSG_SERVICE_PROVIDER_CREATE, S_OK, 0},
                        {MSG_SERVICE_PROVIDER_DELETE, S_OK, 0},
                        {8, MAPI_E_NO_SUPPORT, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.context);
    SupportDouble support;
    ProviderAdminDouble admin(support);
    EXPECT_EQ(Call(support, admin, 0, c.context), c.result);
    EXPECT_EQ(admin.openProfileSectionCalls, c.opens);
    if (c.opens) {
      EXPECT_EQ(admin.lastFlags, MAPI_MODIFY);
    }
    EXPECT_EQ(support.Service().Count(), 0u);
  }
}

TEST(ServiceEntry, UnicodeIsRefusedAfterTheMemoryRoutinesAreTakenOver) {
  SetMemoryRoutines(nullptr, nullptr, nullptr);
  SupportDouble support;
  ProviderAdminDouble admin(support);
  EXPECT_EQ(Call(support, admin, MAPI_UNICODE, MSG_SERVICE_CONFIGURE), MAPI_E_BAD_CHARWIDTH);
  EXPECT_EQ(pfnAllocateBuffer, &MAPIAllocateBuffer);
  EXPECT_EQ(pfnAllocateMore, &MAPIAllocateMore);
  EXPECT_EQ(pfnFreeBuffer, &MAPIFreeBuffer);
  EXPECT_EQ(admin.openProfileSectionCalls, 0);

  support.failGetMemAllocRoutines = MAPI_E_CALL_FAILED;
  EXPECT_EQ(Call(support, admin, 0, MSG_SERVICE_CONFIGURE), MAPI_E_CALL_FAILED);
}

// Without a user interface the passed values are stored and saved, nothing else.
TEST(ServiceEntry, ConfigureWithoutUserInterfaceStoresAndSavesTheValues) {
  SupportDouble support;
  ProviderAdminDouble admin(support);
  SPropValue values[3] = {};
  values[0].ulPropTag = PR_LDAP_SERVER_NAME;
  values[0].Value.lpszA = const_cast<LPSTR>("ldap.example.com");
  values[1].ulPropTag = PR_LDAP_TIMEOUT;
  values[1].Value.l = 30;
  values[2].ulPropTag = PR_LDAP_USE_SSL;
  values[2].Value.b = 1;
  EXPECT_EQ(Call(support, admin, 0, MSG_SERVICE_CONFIGURE, 3, values), S_OK);
  ASSERT_EQ(support.Service().Count(), 3u);
  EXPECT_STREQ(support.Service().Find(PR_LDAP_SERVER_NAME)->Value.lpszA, "ldap.example.com");
  EXPECT_EQ(support.Service().Find(PR_LDAP_TIMEOUT)->Value.l, 30);
  EXPECT_EQ(support.Service().Find(PR_LDAP_USE_SSL)->Value.b, 1);
  EXPECT_EQ(support.Service().saveChangesCalls, 1);

  // No values: nothing written, nothing saved.
  EXPECT_EQ(Call(support, admin, 0, MSG_SERVICE_CREATE, 0, values), S_OK);
  EXPECT_EQ(Call(support, admin, 0, MSG_SERVICE_CREATE, 3, nullptr), S_OK);
  EXPECT_EQ(support.Service().setPropsCalls, 1);
  EXPECT_EQ(support.Service().saveChangesCalls, 1);
}

TEST(ServiceEntry, ProfileFailuresAreReported) {
  SupportDouble support;
  ProviderAdminDouble admin(support);
  SPropValue value{};
  value.ulPropTag = PR_LDAP_TIMEOUT;
  value.Value.l = 30;
  admin.failOpenProfileSection = MAPI_E_NOT_FOUND;
  EXPECT_EQ(Call(support, admin, 0, MSG_SERVICE_CONFIGURE, 1, &value), MAPI_E_NOT_FOUND);
  admin.failOpenProfileSection = S_OK;
  // A client that passes settings must learn when they were not stored.
  support.Service().failSetProps = MAPI_E_NO_ACCESS;
  EXPECT_EQ(Call(support, admin, 0, MSG_SERVICE_CONFIGURE, 1, &value), MAPI_E_NO_ACCESS);
  EXPECT_EQ(support.Service().saveChangesCalls, 0);
}
