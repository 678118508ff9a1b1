// A stand-in for MAPI's support object, for tests of code that only needs to hold it or to
// hand it a copy.
#pragma once

#include "mapicode.h"
#include "mapispi.h"

// A support object that counts its references and records what it was asked to copy: the real
// one comes with MAPI's sessions.
class FakeSupport : public IMAPISupport {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, LPVOID*) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetMemAllocRoutines(LPALLOCATEBUFFER*, LPALLOCATEMORE*, LPFREEBUFFER*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE Subscribe(LPNOTIFKEY, ULONG, ULONG, LPMAPIADVISESINK, ULONG_PTR*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG_PTR) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Notify(LPNOTIFKEY, ULONG, LPNOTIFICATION, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE ModifyStatusRow(ULONG, LPSPropValue, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID, ULONG, LPPROFSECT*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE RegisterPreprocessor(LPMAPIUID, LPSTR, LPSTR, LPSTR, LPSTR, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE NewUID(LPMAPIUID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE MakeInvalid(ULONG, LPVOID, ULONG, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SpoolerYield(ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SpoolerNotify(ULONG, LPVOID) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CreateOneOff(LPSTR, LPSTR, LPSTR, ULONG, ULONG*, LPENTRYID*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE SetProviderUID(LPMAPIUID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG, ULONG*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE OpenTemplateID(ULONG, LPENTRYID, ULONG, LPMAPIPROP, LPCIID, LPMAPIPROP*,
                                           LPMAPIPROP) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*) override {
    return MAPI_E_NO_SUPPORT;
  }
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
  HRESULT STDMETHODCALLTYPE DoCopyTo(LPCIID lpSrcInterface, LPVOID lpSrcObj, ULONG ciidExclude, LPCIID rgiidExclude,
                                     LPSPropTagArray lpExcludeProps, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                     LPCIID lpDestInterface, LPVOID lpDestObj, ULONG ulFlags,
                                     LPSPropProblemArray* lppProblems) override {
    copyTo = {lpSrcInterface, lpSrcObj,        ciidExclude, rgiidExclude, lpExcludeProps, ulUIParam,
              lpProgress,     lpDestInterface, lpDestObj,   ulFlags,      lppProblems};
    return copyResult;
  }
  HRESULT STDMETHODCALLTYPE DoCopyProps(LPCIID lpSrcInterface, LPVOID lpSrcObj, LPSPropTagArray lpIncludeProps,
                                        ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, LPCIID lpDestInterface,
                                        LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) override {
    copyProps = {lpSrcInterface, lpSrcObj,        0,         nullptr, lpIncludeProps, ulUIParam,
                 lpProgress,     lpDestInterface, lpDestObj, ulFlags, lppProblems};
    return copyResult;
  }
  HRESULT STDMETHODCALLTYPE DoProgressDialog(ULONG_PTR, ULONG, LPMAPIPROGRESS*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE ReadReceipt(ULONG, LPMESSAGE, LPMESSAGE*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE PrepareSubmit(LPMESSAGE, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE ExpandRecips(LPMESSAGE, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE UpdatePAB(ULONG, LPMESSAGE) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE DoSentMail(ULONG, LPMESSAGE) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE OpenAddressBook(LPCIID, ULONG, LPADRBOOK*) override { return MAPI_E_NO_SUPPORT; }
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

  // The arguments of the last DoCopyTo and DoCopyProps (for DoCopyProps `props` holds the
  // included properties and the exclusion fields stay empty).
  struct Copy {
    LPCIID sourceInterface = nullptr;
    LPVOID source = nullptr;
    ULONG excludedInterfaceCount = 0;
    LPCIID excludedInterfaces = nullptr;
    LPSPropTagArray props = nullptr;
    ULONG_PTR uiParam = 0;
    LPMAPIPROGRESS progress = nullptr;
    LPCIID destinationInterface = nullptr;
    LPVOID destination = nullptr;
    ULONG flags = 0;
    LPSPropProblemArray* problems = nullptr;
  };
  Copy copyTo, copyProps;
  HRESULT copyResult = MAPI_E_NO_SUPPORT;
  ULONG refs = 1;
};
