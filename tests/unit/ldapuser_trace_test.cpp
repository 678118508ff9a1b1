#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "backend/ldapbe.h"
#include "mapix.h"
#include "recipients/ldapuser.h"
#include "trace/trace.h"
#include "udplistener.h"

TEST(UserRecordTrace, PropertyCallsAnnounceThemselves) {
  UdpListener listener(kTracePort);
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  auto* user = new CLDAPUser();
  user->SetBackend(backend);
  user->DisplayName = "John Smith";

  ULONG count = 0;
  LPSPropValue values = nullptr;
  EXPECT_EQ(user->GetProps(nullptr, 0, &count, &values), MAPI_W_ERRORS_RETURNED);
  MAPIFreeBuffer(values);
  EXPECT_EQ(listener.Receive(), TraceAddress(user) + " : CLDAPUser::GetProps");
  // Also when the call is refused.
  EXPECT_EQ(user->GetProps(nullptr, MAPI_UNICODE, &count, &values), MAPI_E_BAD_CHARWIDTH);
  EXPECT_EQ(listener.Receive(), TraceAddress(user) + " : CLDAPUser::GetProps");

  LPSPropTagArray tags = nullptr;
  EXPECT_EQ(user->GetPropList(0, &tags), S_OK);
  MAPIFreeBuffer(tags);
  EXPECT_EQ(listener.Receive(), TraceAddress(user) + " : CLDAPUser::GetPropList");

  user->Release();
  backend->Release();
}
