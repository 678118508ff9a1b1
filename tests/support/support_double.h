// Stand-ins for MAPI's support object, profile sections and provider administration object,
// for tests that drive the provider's objects directly and need what a real session cannot
// produce on demand: a failing profile call, a failing SetProviderUID, a count of calls.
// Everything else behaves as MAPI documents it.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "mapiptr.h"
#include "mapispi.h"

// An in-memory profile section: SetProps stores deep copies, GetProps answers them (a
// PT_ERROR value holding MAPI_E_NOT_FOUND, and MAPI_W_ERRORS_RETURNED, for what it lacks).
class SectionDouble final : public IProfSect {
 public:
  SectionDouble() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, LPVOID*) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override;
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
  virtual ~SectionDouble();

  // The stored value of `tag` (matched by the whole tag), or null.
  const SPropValue* Find(ULONG tag) const;
  std::size_t Count() const;

  HRESULT failGetProps = S_OK;  // a failure GetProps returns instead of answering
  HRESULT failSetProps = S_OK;
  std::atomic<int> getPropsCalls{0};
  std::atomic<int> setPropsCalls{0};
  std::atomic<int> saveChangesCalls{0};

 private:
  mutable std::mutex mutex_;
  std::vector<MapiBuffer<SPropValue>> values_;  // one deep copy per stored value
  std::atomic<ULONG> refs_{1};
};

// The support object a provider gets at logon and a service entry at configuration. The
// provider's section (OpenProfileSection with no UID) holds PR_SERVICE_UID naming the service's
// section, as MAPI lays out a profile.
class SupportDouble final : public IMAPISupport {
 public:
  SupportDouble();
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, LPVOID*) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // owned by the test
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetMemAllocRoutines(LPALLOCATEBUFFER*, LPALLOCATEMORE*, LPFREEBUFFER*) override;
  HRESULT STDMETHODCALLTYPE Subscribe(LPNOTIFKEY, ULONG, ULONG, LPMAPIADVISESINK, ULONG_PTR*) override;
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG_PTR) override;
  HRESULT STDMETHODCALLTYPE Notify(LPNOTIFKEY, ULONG, LPNOTIFICATION, ULONG*) override;
  HRESULT STDMETHODCALLTYPE ModifyStatusRow(ULONG count, LPSPropValue values, ULONG flags) override;
  HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, ULONG flags, LPPROFSECT* section) override;
  HRESULT STDMETHODCALLTYPE RegisterPreprocessor(LPMAPIUID, LPSTR, LPSTR, LPSTR, LPSTR, ULONG) override;
  HRESULT STDMETHODCALLTYPE NewUID(LPMAPIUID) override;
  HRESULT STDMETHODCALLTYPE MakeInvalid(ULONG, LPVOID, ULONG, ULONG) override;
  HRESULT STDMETHODCALLTYPE SpoolerYield(ULONG) override;
  HRESULT STDMETHODCALLTYPE SpoolerNotify(ULONG, LPVOID) override;
  HRESULT STDMETHODCALLTYPE CreateOneOff(LPSTR, LPSTR, LPSTR, ULONG, ULONG*, LPENTRYID*) override;
  HRESULT STDMETHODCALLTYPE SetProviderUID(LPMAPIUID uid, ULONG flags) override;
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG, ULONG*) override;
  HRESULT STDMETHODCALLTYPE OpenTemplateID(ULONG, LPENTRYID, ULONG, LPMAPIPROP, LPCIID, LPMAPIPROP*,
                                           LPMAPIPROP) override;
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*) override;
  HRESULT STDMETHODCALLTYPE GetOneOffTable(ULONG, LPMAPITABLE*) override;
  HRESULT STDMETHODCALLTYPE Address(ULONG_PTR*, LPADRPARM, LPADRLIST*) override;
  HRESULT STDMETHODCALLTYPE Details(ULONG_PTR*, LPFNDISMISS, LPVOID, ULONG, LPENTRYID, LPFNBUTTON, LPVOID, LPSTR,
                                    ULONG) override;
  HRESULT STDMETHODCALLTYPE NewEntry(ULONG_PTR, ULONG, ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*, LPENTRYID*) override;
  HRESULT STDMETHODCALLTYPE DoConfigPropsheet(ULONG_PTR, ULONG, LPSTR, LPMAPITABLE, LPMAPIPROP, ULONG) override;
  HRESULT STDMETHODCALLTYPE CopyMessages(LPCIID, LPVOID, LPENTRYLIST, LPCIID, LPVOID, ULONG_PTR, LPMAPIPROGRESS,
                                         ULONG) override;
  HRESULT STDMETHODCALLTYPE CopyFolder(LPCIID, LPVOID, ULONG, LPENTRYID, LPCIID, LPVOID, LPSTR, ULONG_PTR,
                                       LPMAPIPROGRESS, ULONG) override;
  HRESULT STDMETHODCALLTYPE DoCopyTo(LPCIID, LPVOID, ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID,
                                     LPVOID, ULONG, LPSPropProblemArray*) override;
  HRESULT STDMETHODCALLTYPE DoCopyProps(LPCIID, LPVOID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID,
                                        ULONG, LPSPropProblemArray*) override;
  HRESULT STDMETHODCALLTYPE DoProgressDialog(ULONG_PTR, ULONG, LPMAPIPROGRESS*) override;
  HRESULT STDMETHODCALLTYPE ReadReceipt(ULONG, LPMESSAGE, LPMESSAGE*) override;
  HRESULT STDMETHODCALLTYPE PrepareSubmit(LPMESSAGE, ULONG*) override;
  HRESULT STDMETHODCALLTYPE ExpandRecips(LPMESSAGE, ULONG*) override;
  HRESULT STDMETHODCALLTYPE UpdatePAB(ULONG, LPMESSAGE) override;
  HRESULT STDMETHODCALLTYPE DoSentMail(ULONG, LPMESSAGE) override;
  HRESULT STDMETHODCALLTYPE OpenAddressBook(LPCIID, ULONG, LPADRBOOK*) override;
  HRESULT STDMETHODCALLTYPE Preprocess(ULONG, ULONG, LPENTRYID) override;
  HRESULT STDMETHODCALLTYPE CompleteMsg(ULONG, ULONG, LPENTRYID) override;
  HRESULT STDMETHODCALLTYPE StoreLogoffTransports(ULONG*) override;
  HRESULT STDMETHODCALLTYPE StatusRecips(LPMESSAGE, LPADRLIST) override;
  HRESULT STDMETHODCALLTYPE WrapStoreEntryID(ULONG, LPENTRYID, ULONG*, LPENTRYID*) override;
  HRESULT STDMETHODCALLTYPE ModifyProfile(ULONG) override;
  HRESULT STDMETHODCALLTYPE IStorageFromStream(LPUNKNOWN, LPCIID, ULONG, LPSTORAGE*) override;
  HRESULT STDMETHODCALLTYPE GetSvcConfigSupportObj(ULONG, LPMAPISUP*) override;
  virtual ~SupportDouble();

  // The message service's section, where the settings live.
  SectionDouble& Service() { return *service_.get(); }
  // The provider's own section, which holds PR_SERVICE_UID.
  SectionDouble& Provider() { return *provider_.get(); }
  ULONG References() const { return refs_; }

  HRESULT failOpenProfileSection = S_OK;
  HRESULT failSetProviderUID = S_OK;
  HRESULT failGetMemAllocRoutines = S_OK;
  std::atomic<int> setProviderUIDCalls{0};
  std::atomic<int> openProfileSectionCalls{0};
  MAPIUID serviceUID{};
  MAPIUID registeredUID{};
  // The last status row, as a deep copy.
  MapiBuffer<SPropValue> statusRow;
  ULONG statusRowCount = 0;

 private:
  std::mutex mutex_;
  ComPtr<SectionDouble> service_;
  ComPtr<SectionDouble> provider_;
  std::atomic<ULONG> refs_{1};
};

// The provider administration object a service entry gets: OpenProfileSection without a UID
// opens the service's section of `support`.
class ProviderAdminDouble final : public IProviderAdmin {
 public:
  explicit ProviderAdminDouble(SupportDouble& support) : support_(support) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, LPVOID*) override { return MAPI_E_INTERFACE_NOT_SUPPORTED; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetProviderTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CreateProvider(LPSTR, ULONG, LPSPropValue, ULONG_PTR, ULONG, MAPIUID*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE DeleteProvider(LPMAPIUID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID, ULONG flags, LPPROFSECT* section) override;
  virtual ~ProviderAdminDouble() = default;

  HRESULT failOpenProfileSection = S_OK;
  std::atomic<int> openProfileSectionCalls{0};
  ULONG lastFlags = 0;

 private:
  SupportDouble& support_;
};
