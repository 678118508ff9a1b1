#include "recipients/ldapmapiuser.h"

#include <atomic>

#include "backend/ldapbe.h"
#include "backend/rabguid.h"
#include "mapicode.h"
#include "trace/trace.h"

namespace {
// The read-only objects' answer to a write: a success code that is no MAPI_E_ failure.
constexpr HRESULT kReadOnlyWrite = 6;

// The count as the trace shows it: read before the atomic step, without a lock.
LONG CountNow(LONG& count) { return std::atomic_ref<LONG>(count).load(std::memory_order_relaxed); }
}  // namespace

CLDAPMailUser::CLDAPMailUser(CLDAPUser* user) : User(ComPtr<CLDAPUser>::AddRefed(user)) {}

CLDAPMailUser::~CLDAPMailUser() { User.reset(); }

HRESULT STDMETHODCALLTYPE CLDAPMailUser::QueryInterface(REFIID iid, LPVOID* out) {
  TraceObject("CLDAPMailUser::QueryInterface", this);
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IMAPIProp && iid != IID_IMailUser) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  *out = static_cast<IMailUser*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CLDAPMailUser::AddRef() {
  TraceObject("CLDAPMailUser::AddRef - ref %d", this, static_cast<int>(CountNow(RefCount) + 1));
  return CUnknown::AddRef();
}

ULONG STDMETHODCALLTYPE CLDAPMailUser::Release() {
  TraceObject("CLDAPMailUser::Release - ref %d", this, static_cast<int>(CountNow(RefCount) - 1));
  return CUnknown::Release();
}

// The container's texts: a mail user shares them for these two methods.
HRESULT STDMETHODCALLTYPE CLDAPMailUser::GetLastError(HRESULT, ULONG, LPMAPIERROR*) {
  TraceObject("ABContainer::GetLastError", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CLDAPMailUser::SaveChanges(ULONG) {
  TraceObject("CABContainer::SaveChanges", this);
  return kReadOnlyWrite;
}

HRESULT STDMETHODCALLTYPE CLDAPMailUser::GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                                                  LPSPropValue* lppPropArray) {
  TraceObject("CLDAPMailUser::GetProps", this);
  return User->GetProps(lpPropTagArray, ulFlags, lpcValues, lppPropArray);
}

HRESULT STDMETHODCALLTYPE CLDAPMailUser::GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) {
  TraceObject("CLDAPMailUser::GetPropList", this);
  return User->GetPropList(ulFlags, lppPropTagArray);
}

HRESULT STDMETHODCALLTYPE CLDAPMailUser::OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions,
                                                      ULONG ulFlags, LPUNKNOWN* lppUnk) {
  TraceObject("CLDAPMailUser::OpenProperty", this);
  return User->OpenProperty(ulPropTag, lpiid, ulInterfaceOptions, ulFlags, lppUnk);
}

HRESULT STDMETHODCALLTYPE CLDAPMailUser::SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) {
  TraceObject("CLDAPMailUser::SetProps", this);
  return kReadOnlyWrite;
}

HRESULT STDMETHODCALLTYPE CLDAPMailUser::DeleteProps(LPSPropTagArray, LPSPropProblemArray*) {
  TraceObject("CLDAPMailUser::DeleteProps", this);
  return kReadOnlyWrite;
}

IMAPISupport* CLDAPMailUser::Support() const { return User->Backend ? User->Backend->Support.get() : nullptr; }

HRESULT STDMETHODCALLTYPE CLDAPMailUser::CopyTo(ULONG ciidExclude, LPCIID rgiidExclude, LPSPropTagArray lpExcludeProps,
                                                ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, LPCIID lpInterface,
                                                LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) {
  TraceObject("CLDAPMailUser::CopyTo", this);
  // A backend made without a support object (the configuration's short-lived one) has no
  // one to copy with.
  IMAPISupport* support = Support();
  if (!support) return MAPI_E_NO_SUPPORT;
  return support->DoCopyTo(&IID_IMailUser, static_cast<IMailUser*>(this), ciidExclude, rgiidExclude, lpExcludeProps,
                           ulUIParam, lpProgress, lpInterface, lpDestObj, ulFlags, lppProblems);
}

HRESULT STDMETHODCALLTYPE CLDAPMailUser::CopyProps(LPSPropTagArray lpIncludeProps, ULONG_PTR ulUIParam,
                                                   LPMAPIPROGRESS lpProgress, LPCIID lpInterface, LPVOID lpDestObj,
                                                   ULONG ulFlags, LPSPropProblemArray* lppProblems) {
  TraceObject("CLDAPMailUser::CopyProps", this);
  IMAPISupport* support = Support();
  if (!support) return MAPI_E_NO_SUPPORT;
  return support->DoCopyProps(&IID_IMailUser, static_cast<IMailUser*>(this), lpIncludeProps, ulUIParam, lpProgress,
                              lpInterface, lpDestObj, ulFlags, lppProblems);
}

HRESULT STDMETHODCALLTYPE CLDAPMailUser::GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) {
  TraceObject("CLDAPMailUser::GetNamesFromIDs", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CLDAPMailUser::GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) {
  TraceObject("CLDAPMailUser::GetIDsFromNames", this);
  return MAPI_E_NO_SUPPORT;
}
