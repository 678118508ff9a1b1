// MAPI's service-provider side: the support object (IMAPISupport) that MAPI hands to providers
// and message services, the provider and logon interfaces and the entry points, in MAPI's slot
// order. IProfSect and IProviderAdmin are in mapix.h.
#pragma once

#include "mapicode.h"
#include "mapidefs.h"
#include "mapitable.h"
#include "mapix.h"

struct NOTIFKEY {
  ULONG cb;
  BYTE ab[MAPI_DIM];
};
using LPNOTIFKEY = NOTIFKEY*;

struct IStorage;
using LPSTORAGE = IStorage*;

struct IMAPISupport;
using LPMAPISUP = IMAPISupport*;

struct IMAPISupport : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMemAllocRoutines(LPALLOCATEBUFFER* lpAllocateBuffer,
                                                        LPALLOCATEMORE* lpAllocateMore, LPFREEBUFFER* lpFreeBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE Subscribe(LPNOTIFKEY lpKey, ULONG ulEventMask, ULONG ulFlags,
                                              LPMAPIADVISESINK lpAdviseSink, ULONG_PTR* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG_PTR ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Notify(LPNOTIFKEY lpKey, ULONG cNotification, LPNOTIFICATION lpNotifications,
                                           ULONG* lpulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ModifyStatusRow(ULONG cValues, LPSPropValue lpColumnVals, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID lpUid, ULONG ulFlags, LPPROFSECT* lppProfileObj) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterPreprocessor(LPMAPIUID lpMuid, LPSTR lpszAdrType, LPSTR lpszDLLName,
                                                         LPSTR lpszPreprocess, LPSTR lpszRemovePreprocessInfo,
                                                         ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE NewUID(LPMAPIUID lpMuid) = 0;
  virtual HRESULT STDMETHODCALLTYPE MakeInvalid(ULONG ulFlags, LPVOID lpObject, ULONG ulRefCount, ULONG cMethods) = 0;
  virtual HRESULT STDMETHODCALLTYPE SpoolerYield(ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SpoolerNotify(ULONG ulFlags, LPVOID lpvData) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateOneOff(LPSTR lpszName, LPSTR lpszAdrType, LPSTR lpszAddress, ULONG ulFlags,
                                                 ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProviderUID(LPMAPIUID lpProviderID, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntry1, LPENTRYID lpEntry1, ULONG cbEntry2,
                                                    LPENTRYID lpEntry2, ULONG ulCompareFlags, ULONG* lpulResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenTemplateID(ULONG cbTemplateID, LPENTRYID lpTemplateID, ULONG ulTemplateFlags,
                                                   LPMAPIPROP lpMAPIPropData, LPCIID lpInterface,
                                                   LPMAPIPROP* lppMAPIPropNew, LPMAPIPROP lpMAPIPropSibling) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                                              ULONG ulOpenFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOneOffTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE Address(ULONG_PTR* lpulUIParam, LPADRPARM lpAdrParms, LPADRLIST* lppAdrList) = 0;
  virtual HRESULT STDMETHODCALLTYPE Details(ULONG_PTR* lpulUIParam, LPFNDISMISS lpfnDismiss, LPVOID lpvDismissContext,
                                            ULONG cbEntryID, LPENTRYID lpEntryID, LPFNBUTTON lpfButtonCallback,
                                            LPVOID lpvButtonContext, LPSTR lpszButtonText, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE NewEntry(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG cbEIDContainer,
                                             LPENTRYID lpEIDContainer, ULONG cbEIDNewEntryTpl,
                                             LPENTRYID lpEIDNewEntryTpl, ULONG* lpcbEIDNewEntry,
                                             LPENTRYID* lppEIDNewEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoConfigPropsheet(ULONG_PTR ulUIParam, ULONG ulFlags, LPSTR lpszTitle,
                                                      LPMAPITABLE lpDisplayTable, LPMAPIPROP lpConfigData,
                                                      ULONG ulTopPage) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyMessages(LPCIID lpSrcInterface, LPVOID lpSrcFolder, LPENTRYLIST lpMsgList,
                                                 LPCIID lpDestInterface, LPVOID lpDestFolder, ULONG_PTR ulUIParam,
                                                 LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyFolder(LPCIID lpSrcInterface, LPVOID lpSrcFolder, ULONG cbEntryID,
                                               LPENTRYID lpEntryID, LPCIID lpDestInterface, LPVOID lpDestFolder,
                                               LPSTR lpszNewFolderName, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                               ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoCopyTo(LPCIID lpSrcInterface, LPVOID lpSrcObj, ULONG ciidExclude,
                                             LPCIID rgiidExclude, LPSPropTagArray lpExcludeProps, ULONG_PTR ulUIParam,
                                             LPMAPIPROGRESS lpProgress, LPCIID lpDestInterface, LPVOID lpDestObj,
                                             ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoCopyProps(LPCIID lpSrcInterface, LPVOID lpSrcObj, LPSPropTagArray lpIncludeProps,
                                                ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, LPCIID lpDestInterface,
                                                LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoProgressDialog(ULONG_PTR ulUIParam, ULONG ulFlags,
                                                     LPMAPIPROGRESS* lppProgress) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReadReceipt(ULONG ulFlags, LPMESSAGE lpReadMessage, LPMESSAGE* lppEmptyMessage) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareSubmit(LPMESSAGE lpMessage, ULONG* lpulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExpandRecips(LPMESSAGE lpMessage, ULONG* lpulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdatePAB(ULONG ulFlags, LPMESSAGE lpMessage) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoSentMail(ULONG ulFlags, LPMESSAGE lpMessage) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenAddressBook(LPCIID lpInterface, ULONG ulFlags, LPADRBOOK* lppAdrBook) = 0;
  virtual HRESULT STDMETHODCALLTYPE Preprocess(ULONG ulFlags, ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompleteMsg(ULONG ulFlags, ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE StoreLogoffTransports(ULONG* lpulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE StatusRecips(LPMESSAGE lpMessage, LPADRLIST lpRecipList) = 0;
  virtual HRESULT STDMETHODCALLTYPE WrapStoreEntryID(ULONG cbOrigEntry, LPENTRYID lpOrigEntry, ULONG* lpcbWrappedEntry,
                                                     LPENTRYID* lppWrappedEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE ModifyProfile(ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE IStorageFromStream(LPUNKNOWN lpUnkIn, LPCIID lpInterface, ULONG ulFlags,
                                                       LPSTORAGE* lppStorageOut) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSvcConfigSupportObj(ULONG ulFlags, LPMAPISUP* lppSvcSupport) = 0;

 protected:
  ~IMAPISupport() = default;
};

// COM's task allocator, as MAPI hands it to providers and service entries.
struct IMalloc : IUnknown {
  virtual LPVOID STDMETHODCALLTYPE Alloc(SIZE_T cb) = 0;
  virtual LPVOID STDMETHODCALLTYPE Realloc(LPVOID pv, SIZE_T cb) = 0;
  virtual void STDMETHODCALLTYPE Free(LPVOID pv) = 0;
  virtual SIZE_T STDMETHODCALLTYPE GetSize(LPVOID pv) = 0;
  virtual int STDMETHODCALLTYPE DidAlloc(LPVOID pv) = 0;
  virtual void STDMETHODCALLTYPE HeapMinimize() = 0;

 protected:
  ~IMalloc() = default;
};

struct IABLogon : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE Logoff(ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                                    LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                                           LPMAPIADVISESINK lpAdviseSink, ULONG_PTR* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenStatusEntry(LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                                                    LPMAPISTATUS* lppEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenTemplateID(ULONG cbTemplateID, LPENTRYID lpTemplateID, ULONG ulTemplateFlags,
                                                   LPMAPIPROP lpMAPIPropData, LPCIID lpInterface,
                                                   LPMAPIPROP* lppMAPIPropNew, LPMAPIPROP lpMAPIPropSibling) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOneOffTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG ulFlags, LPSPropTagArray lpPropTagArray,
                                                  LPADRLIST lpRecipList) = 0;

 protected:
  ~IABLogon() = default;
};
using LPABLOGON = IABLogon*;

struct IABProvider : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Shutdown(ULONG* lpulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Logon(LPMAPISUP lpMAPISup, ULONG_PTR ulUIParam, LPSTR lpszProfileName,
                                          ULONG ulFlags, ULONG* lpulcbSecurity, LPBYTE* lppbSecurity,
                                          LPMAPIERROR* lppMAPIError, LPABLOGON* lppABLogon) = 0;

 protected:
  ~IABProvider() = default;
};
using LPABPROVIDER = IABProvider*;

// The SPI version this platform speaks; providers refuse older MAPI with MAPI_E_VERSION.
constexpr ULONG CURRENT_SPI_VERSION = 0x00010010;

// An address-book provider module's entry point, exported as "ABProviderInit".
using ABPROVIDERINIT = HRESULT STDMETHODCALLTYPE(HINSTANCE hInstance, LPMALLOC lpMalloc,
                                                 LPALLOCATEBUFFER lpAllocateBuffer, LPALLOCATEMORE lpAllocateMore,
                                                 LPFREEBUFFER lpFreeBuffer, ULONG ulFlags, ULONG ulMAPIVer,
                                                 ULONG* lpulProviderVer, LPABPROVIDER* lppABProvider);

// A message service's entry point and the contexts MAPI calls it in.
using MSGSERVICEENTRY = HRESULT STDMETHODCALLTYPE(HINSTANCE hInstance, LPMALLOC lpMalloc, LPMAPISUP lpMAPISup,
                                                  ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulContext, ULONG cValues,
                                                  LPSPropValue lpProps, LPPROVIDERADMIN lpProviderAdmin,
                                                  LPMAPIERROR* lppMapiError);
using LPMSGSERVICEENTRY = MSGSERVICEENTRY*;
constexpr ULONG MSG_SERVICE_INSTALL = 1;
constexpr ULONG MSG_SERVICE_CREATE = 2;
constexpr ULONG MSG_SERVICE_CONFIGURE = 3;
constexpr ULONG MSG_SERVICE_DELETE = 4;
constexpr ULONG MSG_SERVICE_UNINSTALL = 5;
constexpr ULONG MSG_SERVICE_PROVIDER_CREATE = 6;
constexpr ULONG MSG_SERVICE_PROVIDER_DELETE = 7;

// IABProvider::Logon
constexpr ULONG AB_NO_DIALOG = 0x00000001;
// IMAPISupport::ModifyStatusRow: merge with the provider's previous row instead of replacing it.
constexpr ULONG STATUSROW_UPDATE = 0x10000000;
