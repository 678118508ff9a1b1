#include "provider/ctable.h"

#include <cstring>

#include "backend/rabguid.h"
#include "mapicode.h"
#include "mapitags.h"
#include "provider/guard.h"

CTable::CTable(IMAPITable* view) : Inner(ComPtr<IMAPITable>::AddRefed(view)) {}

CTable::~CTable() { Inner.reset(); }

HRESULT STDMETHODCALLTYPE CTable::QueryInterface(REFIID iid, LPVOID* out) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IMAPITable) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  *out = static_cast<IMAPITable*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CTable::AddRef() { return CUnknown::AddRef(); }
ULONG STDMETHODCALLTYPE CTable::Release() { return CUnknown::Release(); }

HRESULT STDMETHODCALLTYPE CTable::Restrict(LPSRestriction lpRestriction, ULONG ulFlags) {
  // Only for the call: the view copies the restriction it keeps.
  char text[ANR_TEXT_MAX + 1] = {};
  SPropValue value{};
  SRestriction byDisplayName{};
  HRESULT hr = S_OK;
  return Guarded(hr, [&] {
    LPSRestriction restriction = lpRestriction;
    if (lpRestriction && lpRestriction->rt == RES_PROPERTY && lpRestriction->res.resProperty.ulPropTag == PR_ANR) {
      const SPropValue* anr = lpRestriction->res.resProperty.lpProp;
      if (!anr || !anr->Value.lpszA) {
        hr = MAPI_E_INVALID_PARAMETER;
        RaiseFailure("No text to search for");
      }
      // The text need not end within the cut, so it is not measured beyond it.
      const std::size_t length = strnlen(anr->Value.lpszA, ANR_TEXT_MAX);
      std::memcpy(text, anr->Value.lpszA, length);
      text[length] = '\0';
      value.ulPropTag = PR_DISPLAY_NAME;
      value.Value.lpszA = text;
      byDisplayName.rt = RES_CONTENT;
      byDisplayName.res.resContent.ulFuzzyLevel = FL_SUBSTRING | FL_IGNORECASE;
      byDisplayName.res.resContent.ulPropTag = PR_DISPLAY_NAME;
      byDisplayName.res.resContent.lpProp = &value;
      restriction = &byDisplayName;
    }
    hr = Inner->Restrict(restriction, ulFlags);
  });
}

// The rest go to the view unchanged.
HRESULT STDMETHODCALLTYPE CTable::GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) {
  return Inner->GetLastError(hResult, ulFlags, lppMAPIError);
}
HRESULT STDMETHODCALLTYPE CTable::Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink, ULONG_PTR* lpulConnection) {
  return Inner->Advise(ulEventMask, lpAdviseSink, lpulConnection);
}
HRESULT STDMETHODCALLTYPE CTable::Unadvise(ULONG_PTR ulConnection) { return Inner->Unadvise(ulConnection); }
HRESULT STDMETHODCALLTYPE CTable::GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) {
  return Inner->GetStatus(lpulTableStatus, lpulTableType);
}
HRESULT STDMETHODCALLTYPE CTable::SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) {
  return Inner->SetColumns(lpPropTagArray, ulFlags);
}
HRESULT STDMETHODCALLTYPE CTable::QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) {
  return Inner->QueryColumns(ulFlags, lpPropTagArray);
}
HRESULT STDMETHODCALLTYPE CTable::GetRowCount(ULONG ulFlags, ULONG* lpulCount) {
  return Inner->GetRowCount(ulFlags, lpulCount);
}
HRESULT STDMETHODCALLTYPE CTable::SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) {
  return Inner->SeekRow(bkOrigin, lRowCount, lplRowsSought);
}
HRESULT STDMETHODCALLTYPE CTable::SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) {
  return Inner->SeekRowApprox(ulNumerator, ulDenominator);
}
HRESULT STDMETHODCALLTYPE CTable::QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) {
  return Inner->QueryPosition(lpulRow, lpulNumerator, lpulDenominator);
}
HRESULT STDMETHODCALLTYPE CTable::FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) {
  return Inner->FindRow(lpRestriction, bkOrigin, ulFlags);
}
HRESULT STDMETHODCALLTYPE CTable::CreateBookmark(BOOKMARK* lpbkPosition) { return Inner->CreateBookmark(lpbkPosition); }
HRESULT STDMETHODCALLTYPE CTable::FreeBookmark(BOOKMARK bkPosition) { return Inner->FreeBookmark(bkPosition); }
HRESULT STDMETHODCALLTYPE CTable::SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) {
  return Inner->SortTable(lpSortCriteria, ulFlags);
}
HRESULT STDMETHODCALLTYPE CTable::QuerySortOrder(LPSSortOrderSet* lppSortCriteria) {
  return Inner->QuerySortOrder(lppSortCriteria);
}
HRESULT STDMETHODCALLTYPE CTable::QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) {
  return Inner->QueryRows(lRowCount, ulFlags, lppRows);
}
HRESULT STDMETHODCALLTYPE CTable::Abort() { return Inner->Abort(); }
HRESULT STDMETHODCALLTYPE CTable::ExpandRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulRowCount, ULONG ulFlags,
                                            LPSRowSet* lppRows, ULONG* lpulMoreRows) {
  return Inner->ExpandRow(cbInstanceKey, pbInstanceKey, ulRowCount, ulFlags, lppRows, lpulMoreRows);
}
HRESULT STDMETHODCALLTYPE CTable::CollapseRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulFlags,
                                              ULONG* lpulRowCount) {
  return Inner->CollapseRow(cbInstanceKey, pbInstanceKey, ulFlags, lpulRowCount);
}
HRESULT STDMETHODCALLTYPE CTable::WaitForCompletion(ULONG ulFlags, ULONG ulTimeout, ULONG* lpulTableStatus) {
  return Inner->WaitForCompletion(ulFlags, ulTimeout, lpulTableStatus);
}
HRESULT STDMETHODCALLTYPE CTable::GetCollapseState(ULONG ulFlags, ULONG cbInstanceKey, LPBYTE lpbInstanceKey,
                                                   ULONG* lpcbCollapseState, LPBYTE* lppbCollapseState) {
  return Inner->GetCollapseState(ulFlags, cbInstanceKey, lpbInstanceKey, lpcbCollapseState, lppbCollapseState);
}
HRESULT STDMETHODCALLTYPE CTable::SetCollapseState(ULONG ulFlags, ULONG cbCollapseState, LPBYTE pbCollapseState,
                                                   BOOKMARK* lpbkLocation) {
  return Inner->SetCollapseState(ulFlags, cbCollapseState, pbCollapseState, lpbkLocation);
}
