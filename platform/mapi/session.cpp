// Sessions: MAPIInitialize and MAPILogonEx, the providers a logon loads, the support object
// each of them gets, the address book that routes to them and the status table.
#include <dlfcn.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "catalogue.h"
#include "mapiinternal.h"
#include "profilefile.h"

namespace pxmapi {
namespace {

std::mutex initMutex;
int initCount = 0;

// COM's task allocator over the C heap.
class Malloc final : public IMalloc {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, LPVOID* ppvObj) override {
    if (!ppvObj) return MAPI_E_INVALID_PARAMETER;
    *ppvObj = riid == IID_IUnknown ? this : nullptr;
    return *ppvObj ? S_OK : MAPI_E_INTERFACE_NOT_SUPPORTED;
  }
  // One allocator for the process: its reference count is not kept.
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  LPVOID STDMETHODCALLTYPE Alloc(SIZE_T cb) override { return std::malloc(cb); }
  LPVOID STDMETHODCALLTYPE Realloc(LPVOID pv, SIZE_T cb) override { return std::realloc(pv, cb); }
  void STDMETHODCALLTYPE Free(LPVOID pv) override { std::free(pv); }
  SIZE_T STDMETHODCALLTYPE GetSize(LPVOID pv) override { return pv ? malloc_usable_size(pv) : 0; }
  int STDMETHODCALLTYPE DidAlloc(LPVOID) override { return -1; }
  void STDMETHODCALLTYPE HeapMinimize() override {}
};

bool IsRoot(ULONG cbEntryID, LPENTRYID lpEntryID) { return cbEntryID == 0 || !lpEntryID; }

// The MAPIUID that routes an entry identifier: bytes 4 to 19.
bool RouteUid(ULONG cbEntryID, LPENTRYID lpEntryID, MAPIUID& uid) {
  if (cbEntryID < 4 + sizeof uid.ab) return false;
  std::memcpy(uid.ab, reinterpret_cast<const BYTE*>(lpEntryID) + 4, sizeof uid.ab);
  return true;
}

class Session;

class Support final : public Object<IMAPISupport> {
 public:
  // A provider's support object (`session` set) or a service entry's (`session` null).
  Support(std::string profile, const MAPIUID& section, Session* session, std::size_t slot)
      : profile_(std::move(profile)), section_(section), session_(session), slot_(slot), forService_(!session) {}

  // The session is gone: what needs it answers MAPI_E_END_OF_SESSION from now on.
  void Detach() {
    std::lock_guard guard(mutex_);
    session_ = nullptr;
  }

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override {
    return AnswerLastError(hResult, ulFlags, lppMAPIError);
  }
  HRESULT STDMETHODCALLTYPE GetMemAllocRoutines(LPALLOCATEBUFFER* lpAllocateBuffer, LPALLOCATEMORE* lpAllocateMore,
                                                LPFREEBUFFER* lpFreeBuffer) override {
    if (!lpAllocateBuffer || !lpAllocateMore || !lpFreeBuffer) return MAPI_E_INVALID_PARAMETER;
    *lpAllocateBuffer = MAPIAllocateBuffer;
    *lpAllocateMore = MAPIAllocateMore;
    *lpFreeBuffer = MAPIFreeBuffer;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Subscribe(LPNOTIFKEY, ULONG, ULONG, LPMAPIADVISESINK, ULONG_PTR*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG_PTR) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Notify(LPNOTIFKEY, ULONG, LPNOTIFICATION, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE ModifyStatusRow(ULONG cValues, LPSPropValue lpColumnVals, ULONG ulFlags) override;
  // No UID: the section of the provider (of the service, for a service entry).
  HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID lpUid, ULONG ulFlags, LPPROFSECT* lppProfileObj) override {
    return OpenSection(profile_, lpUid ? *lpUid : section_, ulFlags, lppProfileObj);
  }
  HRESULT STDMETHODCALLTYPE RegisterPreprocessor(LPMAPIUID, LPSTR, LPSTR, LPSTR, LPSTR, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE NewUID(LPMAPIUID lpMuid) override {
    if (!lpMuid) return MAPI_E_INVALID_PARAMETER;
    return Run([&] { *lpMuid = NewMapiUid(); });
  }
  HRESULT STDMETHODCALLTYPE MakeInvalid(ULONG, LPVOID, ULONG, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SpoolerYield(ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SpoolerNotify(ULONG, LPVOID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CreateOneOff(LPSTR, LPSTR, LPSTR, ULONG, ULONG*, LPENTRYID*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE SetProviderUID(LPMAPIUID lpProviderID, ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntry1, LPENTRYID lpEntry1, ULONG cbEntry2, LPENTRYID lpEntry2,
                                            ULONG ulCompareFlags, ULONG* lpulResult) override;
  HRESULT STDMETHODCALLTYPE OpenTemplateID(ULONG, LPENTRYID, ULONG, LPMAPIPROP, LPCIID, LPMAPIPROP*,
                                           LPMAPIPROP) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulOpenFlags,
                                      ULONG* lpulObjType, LPUNKNOWN* lppUnk) override;
  HRESULT STDMETHODCALLTYPE GetOneOffTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Address(ULONG_PTR*, LPADRPARM, LPADRLIST*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Details(ULONG_PTR*, LPFNDISMISS, LPVOID, ULONG, LPENTRYID, LPFNBUTTON, LPVOID, LPSTR,
                                    ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE NewEntry(ULONG_PTR, ULONG, ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*,
                                     LPENTRYID*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE DoConfigPropsheet(ULONG_PTR, ULONG, LPSTR, LPMAPITABLE, LPMAPIPROP, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CopyMessages(LPCIID, LPVOID, LPENTRYLIST, LPCIID, LPVOID, ULONG_PTR, LPMAPIPROGRESS,
                                         ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CopyFolder(LPCIID, LPVOID, ULONG, LPENTRYID, LPCIID, LPVOID, LPSTR, ULONG_PTR,
                                       LPMAPIPROGRESS, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE DoCopyTo(LPCIID, LPVOID lpSrcObj, ULONG, LPCIID, LPSPropTagArray lpExcludeProps, ULONG_PTR,
                                     LPMAPIPROGRESS, LPCIID, LPVOID lpDestObj, ULONG ulFlags,
                                     LPSPropProblemArray* lppProblems) override {
    if (!lpSrcObj || !lpDestObj) return MAPI_E_INVALID_PARAMETER;
    return CopyProperties(static_cast<IMAPIProp*>(lpSrcObj), nullptr, lpExcludeProps,
                          static_cast<IMAPIProp*>(lpDestObj), ulFlags, lppProblems);
  }
  HRESULT STDMETHODCALLTYPE DoCopyProps(LPCIID, LPVOID lpSrcObj, LPSPropTagArray lpIncludeProps, ULONG_PTR,
                                        LPMAPIPROGRESS, LPCIID, LPVOID lpDestObj, ULONG ulFlags,
                                        LPSPropProblemArray* lppProblems) override {
    if (!lpSrcObj || !lpDestObj || !lpIncludeProps) return MAPI_E_INVALID_PARAMETER;
    return CopyProperties(static_cast<IMAPIProp*>(lpSrcObj), lpIncludeProps, nullptr,
                          static_cast<IMAPIProp*>(lpDestObj), ulFlags, lppProblems);
  }
  HRESULT STDMETHODCALLTYPE DoProgressDialog(ULONG_PTR, ULONG, LPMAPIPROGRESS*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE ReadReceipt(ULONG, LPMESSAGE, LPMESSAGE*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE PrepareSubmit(LPMESSAGE, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE ExpandRecips(LPMESSAGE, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE UpdatePAB(ULONG, LPMESSAGE) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE DoSentMail(ULONG, LPMESSAGE) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE OpenAddressBook(LPCIID lpInterface, ULONG ulFlags, LPADRBOOK* lppAdrBook) override;
  HRESULT STDMETHODCALLTYPE Preprocess(ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CompleteMsg(ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE StoreLogoffTransports(ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE StatusRecips(LPMESSAGE, LPADRLIST) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE WrapStoreEntryID(ULONG, LPENTRYID, ULONG*, LPENTRYID*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE ModifyProfile(ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE IStorageFromStream(LPUNKNOWN, LPCIID, ULONG, LPSTORAGE*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetSvcConfigSupportObj(ULONG, LPMAPISUP*) override { return MAPI_E_NO_SUPPORT; }

 protected:
  bool Is(REFIID riid) const override { return riid == IID_IMAPISupport; }

 private:
  // The session, with a reference of the caller's, or a failure when there is none.
  ComPtr<Session> Owner();

  const std::string profile_;
  const MAPIUID section_;
  std::mutex mutex_;
  Session* session_;
  const std::size_t slot_;
  const bool forService_;  // a service entry's: nothing of a session to offer
};

// One address-book provider of a session.
struct Slot {
  std::string name;  // for messages: the provider's display name and module
  void* module = nullptr;
  ComPtr<IABProvider> provider;
  ComPtr<IABLogon> logon;
  ComPtr<Support> support;
};

class Session final : public Object<IMAPISession> {
 public:
  Session(std::string profile, ULONG_PTR ulUIParam, ULONG ulFlags)
      : profile_(std::move(profile)), uiParam_(ulUIParam), flags_(ulFlags) {}
  ~Session() override { Shutdown(); }

  // Loads and logs on every provider of the profile; raises with the first failure, leaving
  // the providers loaded so far to Shutdown.
  void Load(const ProfileData& data);

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override {
    return AnswerLastError(hResult, ulFlags, lppMAPIError);
  }
  HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE OpenMsgStore(ULONG_PTR, ULONG, LPENTRYID, LPCIID, ULONG, LPMDB*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE OpenAddressBook(ULONG_PTR, LPCIID, ULONG ulFlags, LPADRBOOK* lppAdrBook) override;
  HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID lpUID, LPCIID, ULONG ulFlags,
                                               LPPROFSECT* lppProfSect) override {
    if (!lpUID) return MAPI_E_INVALID_PARAMETER;
    return OpenSection(profile_, *lpUID, ulFlags, lppProfSect);
  }
  HRESULT STDMETHODCALLTYPE GetStatusTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    std::lock_guard guard(mutex_);
    if (!status_) return MAPI_E_END_OF_SESSION;
    return AnswerView(status_.get(), lppTable);
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                      ULONG* lpulObjType, LPUNKNOWN* lppUnk) override;
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                            LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) override;
  HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG_PTR*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE MessageOptions(ULONG_PTR, ULONG, LPSTR, LPMESSAGE) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE QueryDefaultMessageOpt(LPSTR, ULONG, ULONG*, LPSPropValue*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE EnumAdrTypes(ULONG, ULONG*, LPSTR**) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE QueryIdentity(ULONG*, LPENTRYID*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Logoff(ULONG_PTR, ULONG, ULONG) override {
    Shutdown();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetDefaultStore(ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE AdminServices(ULONG, LPSERVICEADMIN* lppServiceAdmin) override {
    if (!lppServiceAdmin) return MAPI_E_INVALID_PARAMETER;
    *lppServiceAdmin = nullptr;
    ComPtr<IProfAdmin> admin;
    HRESULT hr = MAPIAdminProfiles(0, admin.put());
    if (SUCCEEDED(hr)) hr = admin->AdminServices(const_cast<LPSTR>(profile_.c_str()), nullptr, 0, 0, lppServiceAdmin);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE ShowForm(ULONG_PTR, LPMDB, LPMAPIFOLDER, LPCIID, ULONG, LPMESSAGE, ULONG, ULONG, ULONG,
                                     ULONG, LPSTR) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE PrepareForm(LPCIID, LPMESSAGE, ULONG*) override { return MAPI_E_NO_SUPPORT; }

  // For the support objects and the address book.
  HRESULT RegisterUid(std::size_t slot, const MAPIUID& uid) {
    std::lock_guard guard(mutex_);
    if (slot >= slots_.size()) return MAPI_E_END_OF_SESSION;
    routes_.emplace(uid, slot);  // the first provider to register a MAPIUID keeps it
    return S_OK;
  }
  HRESULT ModifyStatusRow(std::size_t slot, ULONG cValues, LPSPropValue lpColumnVals, ULONG ulFlags);
  // The logon that owns an entry identifier; raises MAPI_E_UNKNOWN_ENTRYID.
  ComPtr<IABLogon> Route(ULONG cbEntryID, LPENTRYID lpEntryID) {
    MAPIUID uid;
    if (!RouteUid(cbEntryID, lpEntryID, uid)) Fail(MAPI_E_INVALID_ENTRYID, "an entry identifier too short to route");
    std::lock_guard guard(mutex_);
    const auto found = routes_.find(uid);
    if (found == routes_.end() || !slots_[found->second].logon)
      Fail(MAPI_E_UNKNOWN_ENTRYID, "no provider of the session owns MAPIUID " + UidText(uid));
    return slots_[found->second].logon;
  }
  std::vector<ComPtr<IABLogon>> Logons() {
    std::lock_guard guard(mutex_);
    std::vector<ComPtr<IABLogon>> logons;
    for (const Slot& slot : slots_)
      if (slot.logon) logons.push_back(slot.logon);
    return logons;
  }
  // Every provider's root-container hierarchy, one table.
  ComPtr<ITableData> Hierarchy(ULONG ulFlags);
  const std::string& ProfileName() const { return profile_; }
  // False once the session has logged off.
  bool Alive() {
    std::lock_guard guard(mutex_);
    return status_.get() != nullptr;
  }

 protected:
  bool Is(REFIID riid) const override { return riid == IID_IMAPISession; }

 private:
  // Logs every provider off and releases it, in MAPI's order: each logon's Logoff and
  // Release, then each provider's Shutdown and Release.
  void Shutdown();

  const std::string profile_;
  const ULONG_PTR uiParam_;
  const ULONG flags_;
  std::recursive_mutex mutex_;
  std::vector<Slot> slots_;
  std::map<MAPIUID, std::size_t, UidLess> routes_;
  ComPtr<ITableData> status_;
};

ComPtr<Session> Support::Owner() {
  std::lock_guard guard(mutex_);
  if (!session_)
    Fail(forService_ ? MAPI_E_NO_SUPPORT : MAPI_E_END_OF_SESSION,
         forService_ ? "a service entry's support object has no session"
                     : "the session of this support object has ended");
  return ComPtr<Session>::AddRefed(session_);
}

HRESULT Support::ModifyStatusRow(ULONG cValues, LPSPropValue lpColumnVals, ULONG ulFlags) {
  if (cValues && !lpColumnVals) return MAPI_E_INVALID_PARAMETER;
  std::lock_guard guard(mutex_);
  if (!session_) return forService_ ? MAPI_E_NO_SUPPORT : MAPI_E_END_OF_SESSION;
  return session_->ModifyStatusRow(slot_, cValues, lpColumnVals, ulFlags);
}

HRESULT Support::SetProviderUID(LPMAPIUID lpProviderID, ULONG) {
  if (!lpProviderID) return MAPI_E_INVALID_PARAMETER;
  std::lock_guard guard(mutex_);
  if (!session_) return forService_ ? MAPI_E_NO_SUPPORT : MAPI_E_END_OF_SESSION;
  return session_->RegisterUid(slot_, *lpProviderID);
}

HRESULT Support::CompareEntryIDs(ULONG cbEntry1, LPENTRYID lpEntry1, ULONG cbEntry2, LPENTRYID lpEntry2,
                                 ULONG ulCompareFlags, ULONG* lpulResult) {
  ComPtr<Session> session;
  const HRESULT hr = Run([&] { session = Owner(); });
  if (FAILED(hr)) return hr;
  return session->CompareEntryIDs(cbEntry1, lpEntry1, cbEntry2, lpEntry2, ulCompareFlags, lpulResult);
}

HRESULT Support::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulOpenFlags,
                           ULONG* lpulObjType, LPUNKNOWN* lppUnk) {
  ComPtr<Session> session;
  const HRESULT hr = Run([&] { session = Owner(); });
  if (FAILED(hr)) return hr;
  return session->OpenEntry(cbEntryID, lpEntryID, lpInterface, ulOpenFlags, lpulObjType, lppUnk);
}

HRESULT Support::OpenAddressBook(LPCIID lpInterface, ULONG ulFlags, LPADRBOOK* lppAdrBook) {
  if (!lppAdrBook) return MAPI_E_INVALID_PARAMETER;
  *lppAdrBook = nullptr;
  ComPtr<Session> session;
  const HRESULT hr = Run([&] { session = Owner(); });
  if (FAILED(hr)) return hr;
  return session->OpenAddressBook(0, lpInterface, ulFlags, lppAdrBook);
}

// The address book's root container: no contents, and a hierarchy that joins the root
// hierarchies of every provider.
class RootContainer final : public Object<IABContainer> {
 public:
  explicit RootContainer(ComPtr<Session> session) : session_(std::move(session)) {}

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override {
    return AnswerLastError(hResult, ulFlags, lppMAPIError);
  }
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override { return MAPI_E_NO_ACCESS; }
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                                     LPSPropValue* lppPropArray) override {
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] { return AnswerProps(Props(), lpPropTagArray, lpcValues, lppPropArray); });
  }
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override {
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] { return AnswerPropList(Props(), lppPropTagArray); });
  }
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) override { return MAPI_E_NO_ACCESS; }
  HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray, LPSPropProblemArray*) override { return MAPI_E_NO_ACCESS; }
  HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray lpExcludeProps, ULONG_PTR, LPMAPIPROGRESS, LPCIID,
                                   LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) override {
    if (!lpDestObj) return MAPI_E_INVALID_PARAMETER;
    return CopyProperties(this, nullptr, lpExcludeProps, static_cast<IMAPIProp*>(lpDestObj), ulFlags, lppProblems);
  }
  HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray lpIncludeProps, ULONG_PTR, LPMAPIPROGRESS, LPCIID,
                                      LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) override {
    if (!lpDestObj || !lpIncludeProps) return MAPI_E_INVALID_PARAMETER;
    return CopyProperties(this, lpIncludeProps, nullptr, static_cast<IMAPIProp*>(lpDestObj), ulFlags, lppProblems);
  }
  HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] { return AnswerView(session_->Hierarchy(ulFlags).get(), lppTable); });
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                      ULONG* lpulObjType, LPUNKNOWN* lppUnk) override {
    return session_->OpenEntry(cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
  }
  HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CreateEntry(ULONG, LPENTRYID, ULONG, LPMAPIPROP*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CopyEntries(LPENTRYLIST, ULONG_PTR, LPMAPIPROGRESS, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE DeleteEntries(LPENTRYLIST, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPFlagList) override {
    return MAPI_E_NO_SUPPORT;
  }

 protected:
  bool Is(REFIID riid) const override {
    return riid == IID_IMAPIProp || riid == IID_IMAPIContainer || riid == IID_IABContainer;
  }

 private:
  static PropMap Props() {
    PropMap props;
    for (const SPropValue& value : {LongProp(PR_OBJECT_TYPE, MAPI_ABCONT), LongProp(PR_DISPLAY_TYPE, DT_NOT_SPECIFIC),
                                    LongProp(PR_CONTAINER_FLAGS, AB_SUBCONTAINERS | AB_UNMODIFIABLE),
                                    StringProp(PR_DISPLAY_NAME, ""), BinaryProp(PR_ENTRYID, 0, nullptr)})
      props.emplace(PROP_ID(value.ulPropTag), CopyProp(value));
    return props;
  }

  ComPtr<Session> session_;
};

class AddrBook final : public Object<IAddrBook> {
 public:
  explicit AddrBook(ComPtr<Session> session) : session_(std::move(session)) {}

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override {
    return AnswerLastError(hResult, ulFlags, lppMAPIError);
  }
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray, ULONG, ULONG*, LPSPropValue*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG, LPSPropTagArray*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) override { return MAPI_E_NO_SUPPORT; }
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
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                      ULONG* lpulObjType, LPUNKNOWN* lppUnk) override {
    return session_->OpenEntry(cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
  }
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                            LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) override {
    return session_->CompareEntryIDs(cbEntryID1, lpEntryID1, cbEntryID2, lpEntryID2, ulFlags, lpulResult);
  }
  HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG_PTR*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CreateOneOff(LPSTR, LPSTR, LPSTR, ULONG, ULONG*, LPENTRYID*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE NewEntry(ULONG_PTR, ULONG, ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*,
                                     LPENTRYID*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE ResolveName(ULONG_PTR ulUIParam, ULONG ulFlags, LPSTR lpszNewEntryTitle,
                                        LPADRLIST lpAdrList) override;
  HRESULT STDMETHODCALLTYPE Address(ULONG_PTR*, LPADRPARM, LPADRLIST*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Details(ULONG_PTR*, LPFNDISMISS, LPVOID, ULONG, LPENTRYID, LPFNBUTTON, LPVOID, LPSTR,
                                    ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE RecipOptions(ULONG_PTR, ULONG, LPADRENTRY) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE QueryDefaultRecipOpt(LPSTR, ULONG, ULONG*, LPSPropValue*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetPAB(ULONG*, LPENTRYID*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetPAB(ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetDefaultDir(ULONG*, LPENTRYID*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetDefaultDir(ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetSearchPath(ULONG ulFlags, LPSRowSet* lppSearchPath) override;
  HRESULT STDMETHODCALLTYPE SetSearchPath(ULONG ulFlags, LPSRowSet lpSearchPath) override;
  HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG ulFlags, LPSPropTagArray lpPropTagArray,
                                          LPADRLIST lpRecipList) override;

 protected:
  bool Is(REFIID riid) const override { return riid == IID_IMAPIProp || riid == IID_IAddrBook; }

 private:
  // The containers of the search path, by entry identifier, with their display names.
  std::vector<std::pair<std::string, std::string>> SearchPath();

  ComPtr<Session> session_;
};

const MAPIUID& GlobalUid() {
  static const MAPIUID uid = [] {
    MAPIUID value;
    std::memcpy(value.ab, pbGlobalProfileSectionGuid, sizeof value.ab);
    return value;
  }();
  return uid;
}

const SPropValue* FindIn(const Section& section, ULONG tag) {
  const auto found = section.props.find(PROP_ID(tag));
  return found != section.props.end() && found->second->ulPropTag == tag ? found->second.get() : nullptr;
}

void Session::Load(const ProfileData& data) {
  status_ = NewTableData(
      PR_ROWID, {PR_ROWID, PR_DISPLAY_NAME, PR_PROVIDER_DISPLAY, PR_RESOURCE_TYPE, PR_STATUS_CODE, PR_STATUS_STRING,
                 PR_RESOURCE_METHODS, PR_RESOURCE_FLAGS, PR_PROVIDER_DLL_NAME, PR_OBJECT_TYPE});
  PutRow(status_.get(),
         {LongProp(PR_ROWID, 0), StringProp(PR_DISPLAY_NAME, profile_.c_str()), StringProp(PR_PROVIDER_DISPLAY, "MAPI"),
          LongProp(PR_RESOURCE_TYPE, MAPI_SUBSYSTEM), LongProp(PR_STATUS_CODE, STATUS_AVAILABLE),
          StringProp(PR_STATUS_STRING, "Available"), LongProp(PR_RESOURCE_METHODS, 0), LongProp(PR_RESOURCE_FLAGS, 0),
          StringProp(PR_PROVIDER_DLL_NAME, "libpxmapi.so"), LongProp(PR_OBJECT_TYPE, MAPI_STATUS)});
  for (const Section& section : data.sections) {
    const SPropValue* type = FindIn(section, PR_RESOURCE_TYPE);
    const SPropValue* service = FindIn(section, PR_SERVICE_UID);
    if (!FindIn(section, PR_PROVIDER_UID) || !type || type->Value.l != static_cast<LONG>(MAPI_AB_PROVIDER) ||
        !service || service->Value.bin.cb != sizeof(MAPIUID))
      continue;
    MAPIUID serviceUid;
    std::memcpy(serviceUid.ab, service->Value.bin.lpb, sizeof serviceUid.ab);
    const Section* serviceSection = data.Find(serviceUid);
    const SPropValue* serviceName = serviceSection ? FindIn(*serviceSection, PR_SERVICE_NAME) : nullptr;
    if (!serviceName)
      Fail(MAPI_E_CORRUPT_DATA, "profile \"" + profile_ + "\" has a provider whose message service is missing");
    const CatalogueService entry = FindService(serviceName->Value.lpszA);

    std::size_t index;
    {
      std::lock_guard guard(mutex_);
      index = slots_.size();
      slots_.emplace_back();
      slots_.back().name = "the address-book provider of service " + entry.name + " (" + entry.module + ")";
    }
    Slot& slot = slots_[index];  // slots_ grows only here, on this thread
    slot.module = LoadModule(entry.module);
    auto* init = reinterpret_cast<ABPROVIDERINIT*>(dlsym(slot.module, "ABProviderInit"));
    if (!init) Fail(MAPI_E_NOT_FOUND, "the module " + entry.module + " has no ABProviderInit");
    ULONG providerVersion = 0;
    HRESULT hr = init(static_cast<HINSTANCE>(slot.module), TaskMalloc(), MAPIAllocateBuffer, MAPIAllocateMore,
                      MAPIFreeBuffer, 0, CURRENT_SPI_VERSION, &providerVersion, slot.provider.put());
    if (FAILED(hr) || !slot.provider) {
      slot.provider.reset();
      Fail(FAILED(hr) ? hr : MAPI_E_CALL_FAILED, "ABProviderInit of " + entry.module + " failed");
    }
    slot.support = ComPtr<Support>(new Support(profile_, section.uid, this, index));
    ULONG cbSecurity = 0;
    LPBYTE security = nullptr;
    LPMAPIERROR error = nullptr;
    const ULONG logonFlags = (flags_ & MAPI_LOGON_UI) ? 0 : AB_NO_DIALOG;
    hr = slot.provider->Logon(slot.support.get(), uiParam_, const_cast<LPSTR>(profile_.c_str()), logonFlags,
                              &cbSecurity, &security, &error, slot.logon.put());
    MAPIFreeBuffer(security);
    const std::string message = error && error->lpszError ? error->lpszError : "";
    MAPIFreeBuffer(error);
    if (FAILED(hr) || !slot.logon) {
      slot.logon.reset();
      Fail(FAILED(hr) ? hr : MAPI_E_CALL_FAILED,
           "the logon of " + slot.name + " failed" + (message.empty() ? "" : ": " + message));
    }
  }
}

void Session::Shutdown() {
  std::vector<Slot> slots;
  {
    std::lock_guard guard(mutex_);
    slots.swap(slots_);
    routes_.clear();
  }
  for (Slot& slot : slots) {
    if (!slot.logon) continue;
    slot.logon->Logoff(0);
    slot.logon.reset();
  }
  for (Slot& slot : slots) {
    if (!slot.provider) continue;
    ULONG flags = 0;
    slot.provider->Shutdown(&flags);
    slot.provider.reset();
  }
  for (Slot& slot : slots) {
    if (slot.support) slot.support->Detach();
    slot.support.reset();
    if (slot.module) dlclose(slot.module);
  }
  std::lock_guard guard(mutex_);
  status_.reset();
}

HRESULT Session::ModifyStatusRow(std::size_t slot, ULONG cValues, LPSPropValue lpColumnVals, ULONG ulFlags) {
  return Run([&] {
    std::lock_guard guard(mutex_);
    if (!status_) Fail(MAPI_E_END_OF_SESSION, "the session has ended");
    const SPropValue rowId = LongProp(PR_ROWID, static_cast<LONG>(slot + 1));
    std::vector<SPropValue> values;
    LPSRow previous = nullptr;
    if ((ulFlags & STATUSROW_UPDATE) &&
        SUCCEEDED(status_->HrQueryRow(const_cast<LPSPropValue>(&rowId), &previous, nullptr)) && previous) {
      for (ULONG i = 0; i < previous->cValues; ++i) {
        const ULONG tag = previous->lpProps[i].ulPropTag;
        if (!PpropFindProp(lpColumnVals, cValues, CHANGE_PROP_TYPE(tag, PT_UNSPECIFIED)))
          values.push_back(previous->lpProps[i]);
      }
    }
    for (ULONG i = 0; i < cValues; ++i)
      if (PROP_ID(lpColumnVals[i].ulPropTag) != PROP_ID(PR_ROWID)) values.push_back(lpColumnVals[i]);
    if (!PpropFindProp(values.data(), static_cast<ULONG>(values.size()), PR_ROWID)) values.push_back(rowId);
    HRESULT hr = S_OK;
    try {
      PutRow(status_.get(), std::move(values));
    } catch (const Failure& failure) {
      hr = failure.hr;
    }
    MAPIFreeBuffer(previous);  // one buffer, as MAPI hands out rows of table data
    return hr;
  });
}

ComPtr<ITableData> Session::Hierarchy(ULONG ulFlags) {
  ComPtr<ITableData> table =
      NewTableData(PR_ROWID, {PR_DISPLAY_NAME, PR_ENTRYID, PR_DEPTH, PR_CONTAINER_FLAGS, PR_DISPLAY_TYPE,
                              PR_OBJECT_TYPE, PR_INSTANCE_KEY, PR_AB_PROVIDER_ID, PR_ROWID});
  SizedSPropTagArray(8, columns) = {8,
                                    {PR_DISPLAY_NAME, PR_ENTRYID, PR_DEPTH, PR_CONTAINER_FLAGS, PR_DISPLAY_TYPE,
                                     PR_OBJECT_TYPE, PR_INSTANCE_KEY, PR_AB_PROVIDER_ID}};
  LONG rowId = 0;
  for (const ComPtr<IABLogon>& logon : Logons()) {
    ULONG type = 0;
    ComPtr<IUnknown> unknown;
    Check(logon->OpenEntry(0, nullptr, nullptr, 0, &type, unknown.put()), "a provider cannot open its root container");
    auto* root = static_cast<IMAPIContainer*>(static_cast<IUnknown*>(unknown.get()));
    ComPtr<IMAPITable> view;
    Check(root->GetHierarchyTable(ulFlags & CONVENIENT_DEPTH, view.put()),
          "a provider's root container has no hierarchy table");
    view->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);  // a view that refuses keeps its own columns
    for (;;) {
      LPSRowSet raw = nullptr;
      Check(view->QueryRows(100, 0, &raw), "a provider's hierarchy table cannot be read");
      std::unique_ptr<SRowSet, void (*)(LPSRowSet)> owned(raw, [](LPSRowSet r) { FreeProws(r); });
      if (!raw || raw->cRows == 0) break;
      for (ULONG r = 0; r < raw->cRows; ++r) {
        std::vector<SPropValue> values;
        for (ULONG i = 0; i < raw->aRow[r].cValues; ++i) {
          const SPropValue& value = raw->aRow[r].lpProps[i];
          if (PROP_TYPE(value.ulPropTag) != PT_ERROR && PROP_ID(value.ulPropTag) != PROP_ID(PR_ROWID))
            values.push_back(value);
        }
        values.push_back(LongProp(PR_ROWID, rowId++));
        PutRow(table.get(), std::move(values));
      }
    }
  }
  return table;
}

HRESULT Session::OpenAddressBook(ULONG_PTR, LPCIID, ULONG, LPADRBOOK* lppAdrBook) {
  if (!lppAdrBook) return MAPI_E_INVALID_PARAMETER;
  *lppAdrBook = nullptr;
  if (!Alive()) return MAPI_E_END_OF_SESSION;
  return Run([&] { *lppAdrBook = new AddrBook(ComPtr<Session>::AddRefed(this)); });
}

HRESULT Session::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                           LPUNKNOWN* lppUnk) {
  if (!lpulObjType || !lppUnk) return MAPI_E_INVALID_PARAMETER;
  *lppUnk = nullptr;
  if (!Alive()) return MAPI_E_END_OF_SESSION;
  if (IsRoot(cbEntryID, lpEntryID)) {
    return Run([&] {
      *lppUnk = static_cast<IABContainer*>(new RootContainer(ComPtr<Session>::AddRefed(this)));
      *lpulObjType = MAPI_ABCONT;
    });
  }
  ComPtr<IABLogon> logon;
  const HRESULT hr = Run([&] { logon = Route(cbEntryID, lpEntryID); });
  if (FAILED(hr)) return hr;
  return logon->OpenEntry(cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
}

HRESULT Session::CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                 ULONG ulFlags, ULONG* lpulResult) {
  if (!lpulResult) return MAPI_E_INVALID_PARAMETER;
  if (IsRoot(cbEntryID1, lpEntryID1) || IsRoot(cbEntryID2, lpEntryID2)) {
    *lpulResult = IsRoot(cbEntryID1, lpEntryID1) && IsRoot(cbEntryID2, lpEntryID2);
    return S_OK;
  }
  ComPtr<IABLogon> first, second;
  const HRESULT hr = Run([&] {
    first = Route(cbEntryID1, lpEntryID1);
    second = Route(cbEntryID2, lpEntryID2);
  });
  if (FAILED(hr)) return hr;
  if (first.get() != second.get()) {
    *lpulResult = FALSE;
    return S_OK;
  }
  return first->CompareEntryIDs(cbEntryID1, lpEntryID1, cbEntryID2, lpEntryID2, ulFlags, lpulResult);
}

std::vector<std::pair<std::string, std::string>> AddrBook::SearchPath() {
  std::vector<std::pair<std::string, std::string>> path;
  const ProfileData data = ReadProfile(session_->ProfileName());
  const Section* global = data.Find(GlobalUid());
  const SPropValue* configured = global ? FindIn(*global, PR_AB_SEARCH_PATH) : nullptr;
  if (configured) {
    for (ULONG i = 0; i < configured->Value.MVbin.cValues; ++i) {
      const SBinary& id = configured->Value.MVbin.lpbin[i];
      std::string name;
      ULONG type = 0;
      ComPtr<IUnknown> unknown;
      if (SUCCEEDED(OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0, &type, unknown.put()))) {
        auto* prop = static_cast<IMAPIProp*>(static_cast<IUnknown*>(unknown.get()));
        SizedSPropTagArray(1, tags) = {1, {PR_DISPLAY_NAME}};
        ULONG count = 0;
        LPSPropValue values = nullptr;
        if (SUCCEEDED(prop->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values)) && count == 1 &&
            values[0].ulPropTag == PR_DISPLAY_NAME)
          name = values[0].Value.lpszA;
        MAPIFreeBuffer(values);
      }
      path.emplace_back(std::string(reinterpret_cast<const char*>(id.lpb), id.cb), name);
    }
    return path;
  }
  // Unconfigured: every container that holds recipients, in hierarchy order.
  ComPtr<ITableData> hierarchy = session_->Hierarchy(0);
  for (ULONG row = 0;; ++row) {
    LPSRow found = nullptr;
    if (FAILED(hierarchy->HrEnumRow(row, &found)) || !found) break;
    const SPropValue* flags = PpropFindProp(found->lpProps, found->cValues, PR_CONTAINER_FLAGS);
    const SPropValue* id = PpropFindProp(found->lpProps, found->cValues, PR_ENTRYID);
    const SPropValue* name = PpropFindProp(found->lpProps, found->cValues, PR_DISPLAY_NAME);
    if (flags && id && (flags->Value.l & AB_RECIPIENTS))
      path.emplace_back(std::string(reinterpret_cast<const char*>(id->Value.bin.lpb), id->Value.bin.cb),
                        name && name->Value.lpszA ? name->Value.lpszA : "");
    MAPIFreeBuffer(found);
  }
  return path;
}

HRESULT AddrBook::GetSearchPath(ULONG ulFlags, LPSRowSet* lppSearchPath) {
  if (!lppSearchPath) return MAPI_E_INVALID_PARAMETER;
  *lppSearchPath = nullptr;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return Run([&] {
    const auto path = SearchPath();
    LPSRowSet rows = nullptr;
    Check(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(path.size())), reinterpret_cast<LPVOID*>(&rows)),
          "out of memory");
    rows->cRows = 0;
    std::unique_ptr<SRowSet, void (*)(LPSRowSet)> owned(rows, [](LPSRowSet r) { FreeProws(r); });
    for (const auto& [id, name] : path) {
      const SPropValue values[] = {BinaryProp(PR_ENTRYID, static_cast<ULONG>(id.size()), id.data()),
                                   StringProp(PR_DISPLAY_NAME, name.c_str())};
      LPSPropValue copy = nullptr;
      Check(ScDupPropset(2, const_cast<LPSPropValue>(values), MAPIAllocateBuffer, &copy), "out of memory");
      rows->aRow[rows->cRows++] = SRow{0, 2, copy};
    }
    *lppSearchPath = owned.release();
  });
}

HRESULT AddrBook::SetSearchPath(ULONG, LPSRowSet lpSearchPath) {
  if (!lpSearchPath) return MAPI_E_INVALID_PARAMETER;
  return Run([&] {
    std::vector<SBinary> ids;
    for (ULONG r = 0; r < lpSearchPath->cRows; ++r) {
      const SPropValue* id = PpropFindProp(lpSearchPath->aRow[r].lpProps, lpSearchPath->aRow[r].cValues, PR_ENTRYID);
      if (!id) Fail(MAPI_E_INVALID_PARAMETER, "a search path row without PR_ENTRYID");
      ids.push_back(id->Value.bin);
    }
    SPropValue path{};
    path.ulPropTag = PR_AB_SEARCH_PATH;
    path.Value.MVbin.cValues = static_cast<ULONG>(ids.size());
    path.Value.MVbin.lpbin = ids.data();
    ComPtr<IProfSect> global;
    Check(OpenSection(session_->ProfileName(), GlobalUid(), MAPI_MODIFY, global.put()),
          "the profile's global section cannot be opened");
    Check(global->SetProps(1, &path, nullptr), "the search path cannot be stored");
  });
}

// Without a dialog: each container of the search path gets the entries still unresolved.
HRESULT AddrBook::ResolveName(ULONG_PTR, ULONG ulFlags, LPSTR, LPADRLIST lpAdrList) {
  if (!lpAdrList) return MAPI_E_INVALID_PARAMETER;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return Run([&] {
    MapiBuffer<FlagList> flags;
    Check(MAPIAllocateBuffer(static_cast<ULONG>(CbNewFlagList(lpAdrList->cEntries ? lpAdrList->cEntries : 1)),
                             flags.put()),
          "out of memory");
    flags->cFlags = lpAdrList->cEntries;
    bool open = false;
    for (ULONG i = 0; i < lpAdrList->cEntries; ++i) {
      const ADRENTRY& entry = lpAdrList->aEntries[i];
      flags->ulFlag[i] = PpropFindProp(entry.rgPropVals, entry.cValues, PR_ENTRYID) ? MAPI_RESOLVED : MAPI_UNRESOLVED;
      open = open || flags->ulFlag[i] == MAPI_UNRESOLVED;
    }
    if (open) {
      for (const auto& [id, name] : SearchPath()) {
        ULONG type = 0;
        ComPtr<IUnknown> unknown;
        if (FAILED(OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(id.data())),
                             nullptr, 0, &type, unknown.put())) ||
            type != MAPI_ABCONT)
          continue;
        auto* container = static_cast<IABContainer*>(static_cast<IUnknown*>(unknown.get()));
        const HRESULT hr = container->ResolveNames(nullptr, 0, lpAdrList, flags.get());
        if (FAILED(hr) && hr != MAPI_E_NO_SUPPORT) Fail(hr, "container \"" + name + "\" failed to resolve names");
        if (std::none_of(flags->ulFlag, flags->ulFlag + flags->cFlags,
                         [](ULONG flag) { return flag == MAPI_UNRESOLVED; }))
          break;
      }
    }
    const auto has = [&](ULONG wanted) {
      return std::any_of(flags->ulFlag, flags->ulFlag + flags->cFlags, [&](ULONG flag) { return flag == wanted; });
    };
    if (has(MAPI_AMBIGUOUS)) return MAPI_E_AMBIGUOUS_RECIP;
    if (has(MAPI_UNRESOLVED)) return MAPI_E_NOT_FOUND;
    return S_OK;
  });
}

// Each provider gets the entries whose identifiers it owns.
HRESULT AddrBook::PrepareRecips(ULONG ulFlags, LPSPropTagArray lpPropTagArray, LPADRLIST lpRecipList) {
  if (!lpRecipList) return MAPI_E_INVALID_PARAMETER;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return Run([&] {
    std::vector<std::pair<ComPtr<IABLogon>, std::vector<ULONG>>> groups;
    for (ULONG i = 0; i < lpRecipList->cEntries; ++i) {
      const ADRENTRY& entry = lpRecipList->aEntries[i];
      const SPropValue* id = PpropFindProp(entry.rgPropVals, entry.cValues, PR_ENTRYID);
      if (!id) continue;
      ComPtr<IABLogon> logon;
      try {
        logon = session_->Route(id->Value.bin.cb, reinterpret_cast<LPENTRYID>(id->Value.bin.lpb));
      } catch (const Failure&) {
        continue;  // an entry no provider of this session owns is left as it is
      }
      auto group =
          std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first.get() == logon.get(); });
      if (group == groups.end()) group = groups.insert(groups.end(), {logon, {}});
      group->second.push_back(i);
    }
    for (auto& [logon, members] : groups) {
      MapiBuffer<ADRLIST> part;
      Check(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(members.size())), part.put()), "out of memory");
      part->cEntries = static_cast<ULONG>(members.size());
      for (std::size_t k = 0; k < members.size(); ++k) part->aEntries[k] = lpRecipList->aEntries[members[k]];
      const HRESULT hr = logon->PrepareRecips(ulFlags, lpPropTagArray, part.get());
      // The provider may have replaced an entry's values: the caller's list takes what it left.
      for (std::size_t k = 0; k < members.size(); ++k) lpRecipList->aEntries[members[k]] = part->aEntries[k];
      Check(hr, "a provider failed to prepare its recipients");
    }
  });
}

}  // namespace

HRESULT CopyProperties(IMAPIProp* source, LPSPropTagArray include, LPSPropTagArray exclude, IMAPIProp* dest,
                       ULONG ulFlags, LPSPropProblemArray* lppProblems) {
  if (lppProblems) *lppProblems = nullptr;
  return Run([&] {
    MapiBuffer<SPropTagArray> listed;
    LPSPropTagArray tags = include;
    if (!tags) {
      Check(source->GetPropList(0, listed.put_typed()), "the source cannot list its properties");
      tags = listed.get();
    }
    std::vector<ULONG> present;
    if (ulFlags & MAPI_NOREPLACE) {
      MapiBuffer<SPropTagArray> destList;
      Check(dest->GetPropList(0, destList.put_typed()), "the destination cannot list its properties");
      for (ULONG i = 0; i < destList->cValues; ++i) present.push_back(PROP_ID(destList->aulPropTag[i]));
    }
    const auto listedIn = [](LPSPropTagArray list, ULONG tag) {
      if (!list) return false;
      for (ULONG i = 0; i < list->cValues; ++i)
        if (PROP_ID(list->aulPropTag[i]) == PROP_ID(tag)) return true;
      return false;
    };
    std::vector<ULONG> wanted{0};  // a counted tag array: the count first
    std::vector<ULONG> origin;
    for (ULONG i = 0; i < tags->cValues; ++i) {
      const ULONG tag = tags->aulPropTag[i];
      if (listedIn(exclude, tag) || PROP_TYPE(tag) == PT_OBJECT) continue;
      if (std::find(present.begin(), present.end(), PROP_ID(tag)) != present.end()) continue;
      wanted.push_back(tag);
      origin.push_back(i);
    }
    wanted[0] = static_cast<ULONG>(origin.size());
    std::vector<SPropProblem> problems;
    if (origin.empty()) return;
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    Check(source->GetProps(reinterpret_cast<LPSPropTagArray>(wanted.data()), 0, &count, values.put_typed()),
          "the source cannot give its properties");
    std::vector<SPropValue> copy;
    std::vector<ULONG> copyOrigin;
    for (ULONG i = 0; i < count; ++i) {
      if (PROP_TYPE(values.get()[i].ulPropTag) == PT_ERROR) {
        if (include) problems.push_back(SPropProblem{origin[i], wanted[i + 1], values.get()[i].Value.err});
        continue;
      }
      copy.push_back(values.get()[i]);
      copyOrigin.push_back(origin[i]);
    }
    LPSPropProblemArray refused = nullptr;
    Check(dest->SetProps(static_cast<ULONG>(copy.size()), copy.data(), &refused),
          "the destination refused the properties");
    if (refused) {
      for (ULONG i = 0; i < refused->cProblem; ++i) {
        SPropProblem problem = refused->aProblem[i];
        if (problem.ulIndex < copyOrigin.size()) problem.ulIndex = copyOrigin[problem.ulIndex];
        problems.push_back(problem);
      }
      MAPIFreeBuffer(refused);
    }
    if ((ulFlags & MAPI_MOVE) && !copy.empty()) {
      std::vector<ULONG> moved{static_cast<ULONG>(copy.size())};
      for (const SPropValue& value : copy) moved.push_back(value.ulPropTag);
      source->DeleteProps(reinterpret_cast<LPSPropTagArray>(moved.data()), nullptr);
    }
    if (lppProblems && !problems.empty()) {
      LPSPropProblemArray array = nullptr;
      Check(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropProblemArray(problems.size())),
                               reinterpret_cast<LPVOID*>(&array)),
            "out of memory");
      array->cProblem = static_cast<ULONG>(problems.size());
      std::memcpy(array->aProblem, problems.data(), problems.size() * sizeof(SPropProblem));
      *lppProblems = array;
    }
  });
}

ComPtr<IMAPISupport> NewServiceSupport(const std::string& profile, const MAPIUID& service) {
  return ComPtr<IMAPISupport>(new Support(profile, service, nullptr, 0));
}

LPMALLOC TaskMalloc() {
  static Malloc malloc;
  return &malloc;
}

void* LoadModule(const std::string& path) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!module) {
    const char* why = dlerror();
    Fail(MAPI_E_NOT_FOUND, "cannot load the module " + path + ": " + (why ? why : "unknown error"));
  }
  return module;
}

bool IsInitialized() {
  std::lock_guard guard(initMutex);
  return initCount > 0;
}

}  // namespace pxmapi

HRESULT STDAPICALLTYPE MAPIInitialize(LPVOID lpMapiInit) {
  if (lpMapiInit) {
    const auto* init = static_cast<const MAPIINIT_0*>(lpMapiInit);
    if (init->ulVersion > MAPI_INIT_VERSION) return MAPI_E_VERSION;
  }
  std::lock_guard guard(pxmapi::initMutex);
  ++pxmapi::initCount;
  return S_OK;
}

void STDAPICALLTYPE MAPIUninitialize() {
  std::lock_guard guard(pxmapi::initMutex);
  if (pxmapi::initCount > 0) --pxmapi::initCount;
}

HRESULT STDAPICALLTYPE MAPILogonEx(ULONG_PTR ulUIParam, LPSTR lpszProfileName, LPSTR, ULONG ulFlags,
                                   LPMAPISESSION* lppSession) {
  if (!lppSession) return MAPI_E_INVALID_PARAMETER;
  *lppSession = nullptr;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return pxmapi::Run([&] {
    using pxmapi::Fail;
    if (!pxmapi::IsInitialized()) Fail(MAPI_E_NOT_INITIALIZED, "MAPIInitialize has not been called");
    if (!lpszProfileName || !*lpszProfileName)
      Fail(MAPI_E_LOGON_FAILED, "no profile name given (there is no default profile and no logon dialog)");
    pxmapi::ProfileData data;
    try {
      data = pxmapi::ReadProfile(lpszProfileName);
    } catch (const pxmapi::Failure& failure) {
      Fail(failure.hr == MAPI_E_NOT_FOUND ? MAPI_E_LOGON_FAILED : failure.hr, failure.message);
    }
    ComPtr<pxmapi::Session> session(new pxmapi::Session(lpszProfileName, ulUIParam, ulFlags));
    session->Load(data);  // on failure the session's release unloads what was loaded
    *lppSession = session.detach();
  });
}
