// MAPI's functions as a client written in C reaches them (see mapi_linkage_test_client.c).
#include <gtest/gtest.h>

#include "mapix.h"

extern "C" int CallMapiFromC();

TEST(MapiLinkage, AClientWrittenInCLinksAndCalls) {
  const std::size_t before = MAPIOutstandingBuffers();
  EXPECT_EQ(CallMapiFromC(), 0);
  EXPECT_EQ(MAPIOutstandingBuffers(), before);
}
