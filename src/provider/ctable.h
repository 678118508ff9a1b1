// The contents table a container hands out: a view of the table data that passes every call
// through, except that a search by typed name (a PR_ANR property restriction, which the table
// data cannot evaluate) becomes a case-insensitive substring search on the display name.
#pragma once

#include "mapiptr.h"
#include "mapitable.h"
#include "provider/gunknown.h"

// The longest PR_ANR text a search uses; a longer one is cut to this many bytes.
constexpr ULONG ANR_TEXT_MAX = 259;

class CTable : public IMAPITable, public CUnknown {
 public:
  // Holds its own reference on `view` for as long as it lives.
  explicit CTable(IMAPITable* view);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, LPVOID* out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
  HRESULT STDMETHODCALLTYPE Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                                   ULONG_PTR* lpulConnection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) override;
  HRESULT STDMETHODCALLTYPE GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) override;
  HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) override;
  HRESULT STDMETHODCALLTYPE GetRowCount(ULONG ulFlags, ULONG* lpulCount) override;
  HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) override;
  HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) override;
  HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) override;
  HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) override;
  // A RES_PROPERTY restriction on PR_ANR (8-bit) searches PR_DISPLAY_NAME for its text, at most
  // ANR_TEXT_MAX bytes of it, ignoring case and the relational operator. Every other
  // restriction, nested ones included, goes to the view as it is. A PR_ANR restriction without
  // a text is refused with MAPI_E_INVALID_PARAMETER and leaves the view's restriction alone.
  HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction lpRestriction, ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* lpbkPosition) override;
  HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK bkPosition) override;
  HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* lppSortCriteria) override;
  HRESULT STDMETHODCALLTYPE QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) override;
  HRESULT STDMETHODCALLTYPE Abort() override;
  HRESULT STDMETHODCALLTYPE ExpandRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulRowCount, ULONG ulFlags,
                                      LPSRowSet* lppRows, ULONG* lpulMoreRows) override;
  HRESULT STDMETHODCALLTYPE CollapseRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulFlags,
                                        ULONG* lpulRowCount) override;
  HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG ulFlags, ULONG ulTimeout, ULONG* lpulTableStatus) override;
  HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG ulFlags, ULONG cbInstanceKey, LPBYTE lpbInstanceKey,
                                             ULONG* lpcbCollapseState, LPBYTE* lppbCollapseState) override;
  HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG ulFlags, ULONG cbCollapseState, LPBYTE pbCollapseState,
                                             BOOKMARK* lpbkLocation) override;

  ~CTable() override;

  ComPtr<IMAPITable> Inner;
};
