// MAPI's table data (ITableData) and CreateTable, with the methods in MAPI's slot order. The
// property, table and container interfaces themselves are in mapidefs.h.
#pragma once

#include "mapicode.h"
#include "mapidefs.h"

struct ITableData;
using LPTABLEDATA = ITableData*;
using CALLERRELEASE = void STDMETHODCALLTYPE(ULONG_PTR ulCallerData, LPTABLEDATA lpTblData, LPMAPITABLE lpVue);

struct ITableData : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE HrGetView(LPSSortOrderSet lpSSortOrderSet, CALLERRELEASE* lpfCallerRelease,
                                              ULONG_PTR ulCallerData, LPMAPITABLE* lppMAPITable) = 0;
  virtual HRESULT STDMETHODCALLTYPE HrModifyRow(LPSRow lpSRow) = 0;
  virtual HRESULT STDMETHODCALLTYPE HrDeleteRow(LPSPropValue lpSPropValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE HrQueryRow(LPSPropValue lpsPropValue, LPSRow* lppSRow, ULONG* lpuliRow) = 0;
  virtual HRESULT STDMETHODCALLTYPE HrEnumRow(ULONG ulRowNumber, LPSRow* lppSRow) = 0;
  virtual HRESULT STDMETHODCALLTYPE HrNotify(ULONG ulFlags, ULONG cValues, LPSPropValue lpSPropValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE HrInsertRow(ULONG uliRow, LPSRow lpSRow) = 0;
  virtual HRESULT STDMETHODCALLTYPE HrModifyRows(ULONG ulFlags, LPSRowSet lpSRowSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE HrDeleteRows(ULONG ulFlags, LPSRowSet lprowsetToDelete, ULONG* cRowsDeleted) = 0;

 protected:
  ~ITableData() = default;
};

constexpr ULONG TBLTYPE_SNAPSHOT = 0;
constexpr ULONG TBLTYPE_KEYSET = 1;
constexpr ULONG TBLTYPE_DYNAMIC = 2;

// Makes table data with `ulPropTagIndexColumn` as the key of its rows and `lpSPropTagArrayColumns`
// as the columns its views show first. Rows are handed out in memory from the given routines.
extern "C" SCODE STDAPICALLTYPE CreateTable(LPCIID lpInterface, LPALLOCATEBUFFER lpAllocateBuffer,
                                            LPALLOCATEMORE lpAllocateMore, LPFREEBUFFER lpFreeBuffer,
                                            LPVOID lpvReserved, ULONG ulTableType, ULONG ulPropTagIndexColumn,
                                            LPSPropTagArray lpSPropTagArrayColumns, LPTABLEDATA* lppTableData);

// QueryColumns
constexpr ULONG TBL_ALL_COLUMNS = 0x00000001;
// QueryRows
constexpr ULONG TBL_NOADVANCE = 0x00000001;
// SetColumns, Restrict, SortTable
constexpr ULONG TBL_ASYNC = 0x00000001;
constexpr ULONG TBL_BATCH = 0x00000002;
// WaitForCompletion
constexpr ULONG TBL_NOWAIT = 0x00000001;
// FindRow
constexpr ULONG DIR_BACKWARD = 0x00000001;
// HrDeleteRows
constexpr ULONG TAD_ALL_ROWS = 0x00000001;

// GetStatus
constexpr ULONG TBLSTAT_COMPLETE = 0;
constexpr ULONG TBLSTAT_QCHANGED = 7;
constexpr ULONG TBLSTAT_SORTING = 9;
constexpr ULONG TBLSTAT_SORT_ERROR = 10;
constexpr ULONG TBLSTAT_SETTING_COLS = 11;
constexpr ULONG TBLSTAT_SETCOL_ERROR = 13;
constexpr ULONG TBLSTAT_RESTRICTING = 14;
constexpr ULONG TBLSTAT_RESTRICT_ERROR = 15;
