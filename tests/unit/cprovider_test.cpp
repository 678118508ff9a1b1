// The provider entry point as MAPI finds it in the loaded module.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "mapicode.h"
#include "mapiguid.h"
#include "mapispi.h"
#include "mapix.h"

namespace {
// Counts the references MAPI's allocator is given back.
struct MallocDouble final : IMalloc {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, LPVOID*) override { return MAPI_E_INTERFACE_NOT_SUPPORTED; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  LPVOID STDMETHODCALLTYPE Alloc(SIZE_T) override { return nullptr; }
  LPVOID STDMETHODCALLTYPE Realloc(LPVOID, SIZE_T) override { return nullptr; }
  void STDMETHODCALLTYPE Free(LPVOID) override {}
  SIZE_T STDMETHODCALLTYPE GetSize(LPVOID) override { return 0; }
  int STDMETHODCALLTYPE DidAlloc(LPVOID) override { return 0; }
  void STDMETHODCALLTYPE HeapMinimize() override {}
  virtual ~MallocDouble() = default;
  ULONG refs = 2;
};

class ProviderModule : public ::testing::Test {
 protected:
  void SetUp() override {
    // As MAPI loads provider modules: never unmapped, so what the module keeps stays reachable.
    module = dlopen(PX_MODULE, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(module, nullptr) << dlerror();
    init = reinterpret_cast<ABPROVIDERINIT*>(dlsym(module, "ABProviderInit"));
    ASSERT_NE(init, nullptr);
  }
  void TearDown() override {
    if (module) dlclose(module);
  }
  void* module = nullptr;
  ABPROVIDERINIT* init = nullptr;
};
}  // namespace

TEST_F(ProviderModule, ChecksTheVersionAndHandsOutOneProviderObject) {
  struct Case {
    ULONG mapiVersion;
    HRESULT result;
  };
  for (const Case c : {Case{0x0001000F, MAPI_E_VERSION}, Case{0x00010010, S_OK}, Case{0x00020000, S_OK}}) {
    SCOPED_TRACE(c.mapiVersion);
    MallocDouble malloc;
    ULONG providerVersion = 0;
    LPABPROVIDER provider = reinterpret_cast<LPABPROVIDER>(0x1);
    EXPECT_EQ(init(nullptr, &malloc, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, 0, c.mapiVersion,
                   &providerVersion, &provider),
              c.result);
    EXPECT_EQ(providerVersion, 0x00010010u);
    EXPECT_EQ(malloc.refs, 1u);  // released once, kept by nobody
    if (FAILED(c.result)) {
      EXPECT_EQ(provider, nullptr);
      continue;
    }
    ASSERT_NE(provider, nullptr);
    LPVOID same = nullptr;
    EXPECT_EQ(provider->QueryInterface(IID_IABProvider, &same), S_OK);
    EXPECT_EQ(same, provider);
    EXPECT_EQ(provider->QueryInterface(IID_IABLogon, &same), MAPI_E_INTERFACE_NOT_SUPPORTED);
    EXPECT_EQ(same, nullptr);
    EXPECT_EQ(provider->Release(), 1u);
    EXPECT_EQ(provider->Release(), 0u);  // born with one reference
  }
}

TEST_F(ProviderModule, TheDecoratedNameIsTheSameFunction) {
  EXPECT_EQ(dlsym(module, "_ABProviderInit"), reinterpret_cast<void*>(init));
}
