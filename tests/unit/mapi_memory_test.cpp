#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "mapicode.h"
#include "mapiptr.h"
#include "mapix.h"

TEST(MapiMemory, FreeingTheRootFreesEveryLinkedBlock) {
  const std::size_t before = MAPIOutstandingBuffers();
  LPVOID root = nullptr;
  ASSERT_EQ(MAPIAllocateBuffer(64, &root), S_OK);
  ASSERT_NE(root, nullptr);
  std::memset(root, 0xAB, 64);
  LPVOID previous = root;
  for (int i = 0; i < 1000; ++i) {
    LPVOID more = nullptr;
    // Blocks may also be allocated more on a block that was itself allocated more.
    ASSERT_EQ(MAPIAllocateMore(static_cast<ULONG>(i % 97 + 1), i % 2 ? previous : root, &more), S_OK);
    std::memset(more, i & 0xFF, i % 97 + 1);
    previous = more;
  }
  EXPECT_EQ(MAPIOutstandingBuffers(), before + 1);
  EXPECT_EQ(MAPIFreeBuffer(root), static_cast<ULONG>(S_OK));
  EXPECT_EQ(MAPIOutstandingBuffers(), before);  // ASan's leak check confirms the blocks went too
}

TEST(MapiMemory, BuffersAreAlignedForAnyType) {
  LPVOID root = nullptr, more = nullptr;
  ASSERT_EQ(MAPIAllocateBuffer(3, &root), S_OK);
  ASSERT_EQ(MAPIAllocateMore(5, root, &more), S_OK);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(root) % alignof(std::max_align_t), 0u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(more) % alignof(std::max_align_t), 0u);
  MAPIFreeBuffer(root);
}

TEST(MapiMemory, BadArgumentsGetErrorCodesNotCrashes) {
  EXPECT_EQ(MAPIAllocateBuffer(8, nullptr), MAPI_E_INVALID_PARAMETER);
  LPVOID out = reinterpret_cast<LPVOID>(0x1);
  EXPECT_EQ(MAPIAllocateMore(8, nullptr, &out), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(out, nullptr);
  int notABuffer = 0;
  EXPECT_EQ(MAPIAllocateMore(8, &notABuffer, &out), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(MAPIFreeBuffer(nullptr), static_cast<ULONG>(S_OK));
  EXPECT_EQ(MAPIFreeBuffer(&notABuffer), static_cast<ULONG>(MAPI_E_INVALID_PARAMETER));

  LPVOID root = nullptr;
  ASSERT_EQ(MAPIAllocateBuffer(0, &root), S_OK);  // a zero-byte buffer is still a buffer
  LPVOID more = nullptr;
  ASSERT_EQ(MAPIAllocateMore(4, root, &more), S_OK);
  EXPECT_EQ(MAPIFreeBuffer(more), static_cast<ULONG>(S_OK));  // lives on until its root goes
  std::memset(more, 0, 4);
  EXPECT_EQ(MAPIFreeBuffer(root), static_cast<ULONG>(S_OK));
  EXPECT_EQ(MAPIFreeBuffer(root), static_cast<ULONG>(MAPI_E_INVALID_PARAMETER));  // double free is caught
}

TEST(MapiMemory, OwnerFreesOnEveryPath) {
  const std::size_t before = MAPIOutstandingBuffers();
  {
    MapiBuffer<SPropValue> props;
    ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue) * 2, props.put()), S_OK);
    EXPECT_EQ(MAPIOutstandingBuffers(), before + 1);
  }
  EXPECT_EQ(MAPIOutstandingBuffers(), before);
  MapiBuffer<SPropValue> handed;
  ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue), handed.put()), S_OK);
  SPropValue* raw = handed.release();
  EXPECT_EQ(MAPIOutstandingBuffers(), before + 1);
  MAPIFreeBuffer(raw);
}

TEST(MapiLayout, MatchesWindows) {
  // The 64-bit layout; the 32-bit one is pinned by static_asserts in the header.
  static_assert(sizeof(void*) != 8 || sizeof(SPropValue) == 24);
  EXPECT_EQ(offsetof(SPropValue, Value), 8u);
  EXPECT_EQ(offsetof(SPropValue, Value.MVl.cValues), offsetof(SPropValue, Value.bin.cb));
  EXPECT_EQ(PROP_TAG(PT_STRING8, 0x3001), 0x3001001Eu);
  EXPECT_EQ(CHANGE_PROP_TYPE(0x3001001Eu, PT_UNICODE), 0x3001001Fu);
  EXPECT_EQ(PROP_ID(0x0FFF0102u), 0x0FFFu);
  EXPECT_EQ(PROP_TYPE(0x0FFF0102u), PT_BINARY);
}
