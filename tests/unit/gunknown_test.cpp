#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "mapiguid.h"
#include "provider/guard.h"
#include "provider/gunknown.h"

namespace {
std::atomic<int> destroyed{0};

class Counted : public CUnknown {
 public:
  ~Counted() override { ++destroyed; }
};

constexpr IID kOther = {0x00020301, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}  // namespace

TEST(CUnknown, LifecycleFollowsTheCount) {
  destroyed = 0;
  auto* object = new Counted;
  EXPECT_EQ(object->RefCount, 1);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(destroyed, 1);
}

TEST(CUnknown, QueryInterfaceAnswersOnlyIUnknown) {
  auto* object = new Counted;
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), MAPI_E_INVALID_PARAMETER);
  LPVOID out = reinterpret_cast<LPVOID>(0x1);
  EXPECT_EQ(object->QueryInterface(kOther, &out), MAPI_E_INTERFACE_NOT_SUPPORTED);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<CUnknown*>(object));
  EXPECT_EQ(object->RefCount, 2);
  object->Release();
  object->Release();
}

TEST(CUnknown, ExactlyOneDestructionUnderManyThreads) {
  for (int round = 0; round < 20; ++round) {
    destroyed = 0;
    auto* object = new Counted;
    constexpr int kThreads = 8;
    for (int t = 0; t < kThreads; ++t) object->AddRef();
    object->Release();  // the creator's reference
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&] {
        while (!go) std::this_thread::yield();
        for (int i = 0; i < 1000; ++i) {
          object->AddRef();
          object->Release();
        }
        object->Release();
      });
    go = true;
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(destroyed, 1);
  }
}

TEST(CUnknown, LockIsRecursive) {
  auto* object = new Counted;
  {
    ObjectLock outer(*object);
    ObjectLock inner(*object);
    std::atomic<bool> otherGotIn{true};
    std::thread other([&] {
      otherGotIn = TryEnterCriticalSection(&object->CritSect) != FALSE;
      if (otherGotIn) LeaveCriticalSection(&object->CritSect);
    });
    other.join();
    EXPECT_FALSE(otherGotIn);
  }
  EXPECT_TRUE(TryEnterCriticalSection(&object->CritSect));
  object->Unlock();
  object->Release();
}

TEST(Guarded, ReturnsTheResultRecordedBeforeTheFailure) {
  HRESULT hr = MAPI_E_NO_SUPPORT;
  EXPECT_EQ(Guarded(hr,
                    [&] {
                      hr = MAPI_E_NOT_FOUND;
                      RaiseFailure("Unable to find it");
                    }),
            MAPI_E_NOT_FOUND);
  hr = S_OK;
  EXPECT_EQ(Guarded(hr, [&] { throw std::bad_alloc(); }), MAPI_E_NOT_ENOUGH_MEMORY);
  hr = MAPI_E_NO_SUPPORT;
  EXPECT_EQ(Guarded(hr, [&] { hr = S_OK; }), S_OK);
}

TEST(Guarded, KeepsARecordedFailureWhenMemoryRunsOutLater) {
  // Memory running out while a failure is handled (a text built for it, say) does not hide
  // the failure itself.
  HRESULT hr = S_OK;
  EXPECT_EQ(Guarded(hr,
                    [&] {
                      hr = MAPI_E_AMBIGUOUS_RECIP;
                      throw std::bad_alloc();
                    }),
            MAPI_E_AMBIGUOUS_RECIP);
  hr = S_OK;
  EXPECT_EQ(Guarded(hr,
                    [&] {
                      hr = MAPI_E_NOT_FOUND;
                      throw std::runtime_error("stray");
                    }),
            MAPI_E_NOT_FOUND);
}

TEST(DllEntryPoint, DoesNothingButAgree) {
  for (DWORD reason = 0; reason < 4; ++reason) EXPECT_EQ(DllEntryPoint(nullptr, reason, nullptr), TRUE);
}
