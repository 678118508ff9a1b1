// A profile section held in memory, for tests of code that reads and writes one before the
// platform's profiles exist on disk. Non-transacted as MAPI's profile sections are: SetProps
// takes effect at once; SaveChanges only counts. Can be told to fail GetProps or SetProps.
#pragma once

#include <map>
#include <vector>

#include "mapiptr.h"
#include "mapispi.h"

class MemoryProfileSection final : public IProfSect {
 public:
  MemoryProfileSection() = default;
  ~MemoryProfileSection();
  MemoryProfileSection(const MemoryProfileSection&) = delete;
  MemoryProfileSection& operator=(const MemoryProfileSection&) = delete;

  // The stored value under the tag's property ID, or null.
  const SPropValue* Find(ULONG tag) const;
  // Stores values as SetProps would, without counting a call.
  void Put(ULONG count, const SPropValue* values);
  std::size_t PropertyCount() const { return values_.size(); }

  std::vector<ULONG> setPropsCounts;  // the value count of every SetProps call
  int saveChangesCalls = 0;
  HRESULT failGetProps = S_OK;  // returned by GetProps instead of the values when set
  HRESULT failSetProps = S_OK;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, LPVOID* out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override {
    ++saveChangesCalls;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override;
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG, LPSPropTagArray*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override;
  HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray, LPSPropProblemArray*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                   LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                      LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override {
    return MAPI_E_NO_SUPPORT;
  }

 private:
  ULONG refs_ = 1;
  std::map<ULONG, LPSPropValue> values_;  // by property ID; each its own MAPI buffer
};
