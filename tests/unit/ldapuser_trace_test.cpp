#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "backend/ldapbe.h"
#include "mapix.h"
#include "recipients/ldapuser.h"
#include "trace/trace.h"
#include "udplistener.h"

namespace {
std::string Address(const void* object) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(object)));
  return text;
}
}  // namespace

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
  EXPECT_EQ(listener.Receive(), Address(user) + " : CLDAPUser::GetProps");
  // Also when the call is refused.
  EXPECT_EQ(user->GetProps(nullptr, MAPI_UNICODE, &count, &values), MAPI_E_BAD_CHARWIDTH);
  EXPECT_EQ(listener.Receive(), Address(user) + " : CLDAPUser::GetProps");

  LPSPropTagArray tags = nullptr;
  EXPECT_EQ(user->GetPropList(0, &tags), S_OK);
  MAPIFreeBuffer(tags);
  EXPECT_EQ(listener.Receive(), Address(user) + " : CLDAPUser::GetPropList");

  user->Release();
  backend->Release();
}
