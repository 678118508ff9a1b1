// MAPI's property and table interfaces (IMAPIProp, IMAPITable, ITableData) and CreateTable,
// with their methods in MAPI's slot order.
#pragma once

#include "mapicode.h"
#include "mapidefs.h"

struct MAPIERROR {
  ULONG ulVersion;
  LPSTR lpszError;
  LPSTR lpszComponent;
  ULONG ulLowLevelError;
  ULONG ulContext;
};
using LPMAPIERROR = MAPIERROR*;

struct MAPINAMEID;
using LPMAPINAMEID = MAPINAMEID*;
// Notifications (IMAPIAdviseSink::OnNotify): the event types and what each carries.
constexpr ULONG fnevCriticalError = 0x00000001;
constexpr ULONG fnevNewMail = 0x00000002;
constexpr ULONG fnevObjectCreated = 0x00000004;
constexpr ULONG fnevObjectDeleted = 0x00000008;
constexpr ULONG fnevObjectModified = 0x00000010;
constexpr ULONG fnevObjectMoved = 0x00000020;
constexpr ULONG fnevObjectCopied = 0x00000040;
constexpr ULONG fnevSearchComplete = 0x00000080;
constexpr ULONG fnevTableModified = 0x00000100;
constexpr ULONG fnevStatusObjectModified = 0x00000200;
constexpr ULONG fnevExtended = 0x80000000;

// TABLE_NOTIFICATION's ulTableEvent.
constexpr ULONG TABLE_CHANGED = 1;
constexpr ULONG TABLE_ERROR = 2;
constexpr ULONG TABLE_ROW_ADDED = 3;
constexpr ULONG TABLE_ROW_DELETED = 4;
constexpr ULONG TABLE_ROW_MODIFIED = 5;
constexpr ULONG TABLE_SORT_DONE = 6;
constexpr ULONG TABLE_RESTRICT_DONE = 7;
constexpr ULONG TABLE_SETCOL_DONE = 8;
constexpr ULONG TABLE_RELOAD = 9;

struct ERROR_NOTIFICATION {
  ULONG cbEntryID;
  LPENTRYID lpEntryID;
  SCODE scode;
  ULONG ulFlags;
  LPMAPIERROR lpMAPIError;
};
struct NEWMAIL_NOTIFICATION {
  ULONG cbEntryID;
  LPENTRYID lpEntryID;
  ULONG cbParentID;
  LPENTRYID lpParentID;
  ULONG ulFlags;
  LPSTR lpszMessageClass;
  ULONG ulMessageFlags;
};
struct OBJECT_NOTIFICATION {
  ULONG cbEntryID;
  LPENTRYID lpEntryID;
  ULONG ulObjType;
  ULONG cbParentID;
  LPENTRYID lpParentID;
  ULONG cbOldID;
  LPENTRYID lpOldID;
  ULONG cbOldParentID;
  LPENTRYID lpOldParentID;
  LPSPropTagArray lpPropTagArray;
};
struct TABLE_NOTIFICATION {
  ULONG ulTableEvent;
  HRESULT hResult;
  SPropValue propIndex;  // the row's index column
  SPropValue propPrior;  // the index column of the row before it in the view; PR_NULL for none
  SRow row;              // the row in the view's columns
  ULONG ulPad;
};
struct EXTENDED_NOTIFICATION {
  ULONG ulEvent;
  ULONG cb;
  LPBYTE pbEventParameters;
};
struct STATUS_OBJECT_NOTIFICATION {
  ULONG cbEntryID;
  LPENTRYID lpEntryID;
  ULONG cValues;
  LPSPropValue lpPropVals;
};
struct NOTIFICATION {
  ULONG ulEventType;
  ULONG ulAlignPad;
  union {
    ERROR_NOTIFICATION err;
    NEWMAIL_NOTIFICATION newmail;
    OBJECT_NOTIFICATION obj;
    TABLE_NOTIFICATION tab;
    EXTENDED_NOTIFICATION ext;
    STATUS_OBJECT_NOTIFICATION statobj;
  } info;
};
using LPNOTIFICATION = NOTIFICATION*;
struct IMAPIProgress;
using LPMAPIPROGRESS = IMAPIProgress*;

struct IMAPIAdviseSink : IUnknown {
  virtual ULONG STDMETHODCALLTYPE OnNotify(ULONG cNotif, LPNOTIFICATION lpNotifications) = 0;

 protected:
  ~IMAPIAdviseSink() = default;
};
using LPMAPIADVISESINK = IMAPIAdviseSink*;

struct IMAPIProp : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveChanges(ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                                             LPSPropValue* lppPropArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                                                 LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProps(ULONG cValues, LPSPropValue lpPropArray,
                                             LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyTo(ULONG ciidExclude, LPCIID rgiidExclude, LPSPropTagArray lpExcludeProps,
                                           ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, LPCIID lpInterface,
                                           LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray lpIncludeProps, ULONG_PTR ulUIParam,
                                              LPMAPIPROGRESS lpProgress, LPCIID lpInterface, LPVOID lpDestObj,
                                              ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid, ULONG ulFlags,
                                                    ULONG* lpcPropNames, LPMAPINAMEID** lpppPropNames) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                                                    LPSPropTagArray* lppPropTags) = 0;

 protected:
  ~IMAPIProp() = default;
};
using LPMAPIPROP = IMAPIProp*;

using BOOKMARK = ULONG_PTR;
constexpr BOOKMARK BOOKMARK_BEGINNING = 0;
constexpr BOOKMARK BOOKMARK_CURRENT = 1;
constexpr BOOKMARK BOOKMARK_END = 2;

struct IMAPITable : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                                           ULONG_PTR* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRowCount(ULONG ulFlags, ULONG* lpulCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) = 0;
  virtual HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction lpRestriction, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* lpbkPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK bkPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* lppSortCriteria) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) = 0;
  virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
  virtual HRESULT STDMETHODCALLTYPE ExpandRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulRowCount,
                                              ULONG ulFlags, LPSRowSet* lppRows, ULONG* lpulMoreRows) = 0;
  virtual HRESULT STDMETHODCALLTYPE CollapseRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulFlags,
                                                ULONG* lpulRowCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG ulFlags, ULONG ulTimeout, ULONG* lpulTableStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG ulFlags, ULONG cbInstanceKey, LPBYTE lpbInstanceKey,
                                                     ULONG* lpcbCollapseState, LPBYTE* lppbCollapseState) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG ulFlags, ULONG cbCollapseState, LPBYTE pbCollapseState,
                                                     BOOKMARK* lpbkLocation) = 0;

 protected:
  ~IMAPITable() = default;
};
using LPMAPITABLE = IMAPITable*;

// Containers and the objects in them, as MAPI declares them beside IMAPIProp.
struct IMAPIContainer : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction lpRestriction, LPENTRYLIST lpContainerList,
                                                      ULONG ulSearchFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG ulFlags, LPSRestriction* lppRestriction,
                                                      LPENTRYLIST* lppContainerList, ULONG* lpulSearchState) = 0;

 protected:
  ~IMAPIContainer() = default;
};
using LPMAPICONTAINER = IMAPIContainer*;

struct IABContainer : IMAPIContainer {
  virtual HRESULT STDMETHODCALLTYPE CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                                                LPMAPIPROP* lppMAPIPropEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyEntries(LPENTRYLIST lpEntries, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                                ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteEntries(LPENTRYLIST lpEntries, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray lpPropTagArray, ULONG ulFlags, LPADRLIST lpAdrList,
                                                 LPFlagList lpFlagList) = 0;

 protected:
  ~IABContainer() = default;
};
using LPABCONT = IABContainer*;

struct IDistList : IMAPIContainer {
  virtual HRESULT STDMETHODCALLTYPE CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                                                LPMAPIPROP* lppMAPIPropEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyEntries(LPENTRYLIST lpEntries, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                                ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteEntries(LPENTRYLIST lpEntries, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray lpPropTagArray, ULONG ulFlags, LPADRLIST lpAdrList,
                                                 LPFlagList lpFlagList) = 0;

 protected:
  ~IDistList() = default;
};
using LPDISTLIST = IDistList*;

// A mail user has IMAPIProp's methods only.
struct IMailUser : IMAPIProp {
 protected:
  ~IMailUser() = default;
};
using LPMAILUSER = IMailUser*;

struct IMAPIStatus : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE ValidateState(ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SettingsDialog(ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ChangePassword(LPSTR lpOldPass, LPSTR lpNewPass, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE FlushQueues(ULONG_PTR ulUIParam, ULONG cbTargetTransport,
                                                LPENTRYID lpTargetTransport, ULONG ulFlags) = 0;

 protected:
  ~IMAPIStatus() = default;
};
using LPMAPISTATUS = IMAPIStatus*;

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
