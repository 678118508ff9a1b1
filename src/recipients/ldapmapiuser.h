// One user of the address book as the IMailUser object a client opens by entry identifier: a
// read-only front that traces every call, hands the property calls to the user record and the
// copying to MAPI's support object, and changes nothing.
#pragma once

#include "mapiptr.h"
#include "mapispi.h"
#include "mapitable.h"
#include "provider/gunknown.h"
#include "recipients/ldapuser.h"

class CLDAPMailUser : public IMailUser, public CUnknown {
 public:
  // Holds a reference on `user`; the object starts with the one reference its creator hands on.
  explicit CLDAPMailUser(CLDAPUser* user);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, LPVOID* out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                                     LPSPropValue* lppPropArray) override;
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override;
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                                         LPUNKNOWN* lppUnk) override;
  // The write methods change nothing and answer 6, a success code.
  HRESULT STDMETHODCALLTYPE SetProps(ULONG cValues, LPSPropValue lpPropArray,
                                     LPSPropProblemArray* lppProblems) override;
  HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) override;
  // Copying is MAPI's support object's DoCopyTo / DoCopyProps with this object as the source.
  HRESULT STDMETHODCALLTYPE CopyTo(ULONG ciidExclude, LPCIID rgiidExclude, LPSPropTagArray lpExcludeProps,
                                   ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, LPCIID lpInterface, LPVOID lpDestObj,
                                   ULONG ulFlags, LPSPropProblemArray* lppProblems) override;
  HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray lpIncludeProps, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                      LPCIID lpInterface, LPVOID lpDestObj, ULONG ulFlags,
                                      LPSPropProblemArray* lppProblems) override;
  HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid, ULONG ulFlags,
                                            ULONG* lpcPropNames, LPMAPINAMEID** lpppPropNames) override;
  HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                                            LPSPropTagArray* lppPropTags) override;

  ~CLDAPMailUser() override;

  // The user record; counted, so that the object keeps working after the backend drops its list.
  ComPtr<CLDAPUser> User;

 private:
  // The support object the backend was made with; null when there is none.
  IMAPISupport* Support() const;
};
