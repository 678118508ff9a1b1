// The logon object: what MAPI holds for one logon to a profile. It forwards opening and
// comparing to the shared backend, offers an empty one-off table, completes recipient lists
// and posts the provider's status row.
#pragma once

#include "backend/ldapbe.h"
#include "mapiptr.h"
#include "mapispi.h"
#include "provider/gunknown.h"

// Columns of the one-off table, in this order.
extern const SizedSPropTagArray(7, OneOffColumns);

class CABLogon : public IABLogon, public CUnknown {
 public:
  CABLogon(IMAPISupport* support, ABLDAPBackeEnd* backend);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, LPVOID* out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
  HRESULT STDMETHODCALLTYPE Logoff(ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                      ULONG* lpulObjType, LPUNKNOWN* lppUnk) override;
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                            LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) override;
  HRESULT STDMETHODCALLTYPE Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                                   LPMAPIADVISESINK lpAdviseSink, ULONG_PTR* lpulConnection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) override;
  HRESULT STDMETHODCALLTYPE OpenStatusEntry(LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                                            LPMAPISTATUS* lppEntry) override;
  HRESULT STDMETHODCALLTYPE OpenTemplateID(ULONG cbTemplateID, LPENTRYID lpTemplateID, ULONG ulTemplateFlags,
                                           LPMAPIPROP lpMAPIPropData, LPCIID lpInterface, LPMAPIPROP* lppMAPIPropNew,
                                           LPMAPIPROP lpMAPIPropSibling) override;
  HRESULT STDMETHODCALLTYPE GetOneOffTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
  HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG ulFlags, LPSPropTagArray lpPropTagArray,
                                          LPADRLIST lpRecipList) override;
  ~CABLogon() override;

  // Writes the provider's row into MAPI's status table; best effort, nothing is reported.
  void PostStatusRow(IMAPISupport* support);

  // Moves the entry's first value tagged `tag` into `destination` (a copy hanging off
  // `newArray`) and marks it taken; a PT_ERROR value of the tag's ID when there is none or the
  // copy fails.
  static void TakeEntryProp(ULONG tag, ADRENTRY& entry, LPVOID newArray, SPropValue& destination);
  // Copies one value, strings and binaries included, into memory linked to `newArray`.
  // MAPI_E_NO_SUPPORT for multi-valued types, whose tag is copied with a zero value.
  static HRESULT CopyPropValue(SPropValue& destination, const SPropValue& source, LPVOID newArray);

  ComPtr<IMAPISupport> Support;
  ComPtr<ABLDAPBackeEnd> Backend;

 private:
  // Completes one recipient entry; an entry that cannot be completed stays as it was.
  void PrepareEntry(LPSPropTagArray tags, ADRENTRY& entry);
};
