// The address book's two containers, the root and the directory container, as the
// IABContainer objects MAPI opens: a fixed set of properties, views of the container's tables
// (the contents view wrapped in CTable), entry opening through the backend and name
// resolution against the whole user list. Read-only: the write methods change nothing.
#pragma once

#include <string>

#include "backend/cbinary.h"
#include "mapiptr.h"
#include "mapitable.h"
#include "provider/gunknown.h"

class ABLDAPBackeEnd;

// What GetPropList returns and GetProps answers when it is given no tag array.
constexpr ULONG CONTAINER_PROP_COUNT = 6;
extern const SizedSPropTagArray(CONTAINER_PROP_COUNT, ContainerPropList);

class CABContainer : public IABContainer, public CUnknown {
 public:
  // Holds a reference on the backend and on each table data given (any may be null); copies
  // the name; only borrows `entryID`, which the backend owns for its whole life.
  CABContainer(ABLDAPBackeEnd* backend, ITableData* hierarchyData, ITableData* contentsData, const std::string& name,
               ULONG containerFlags, const CBinary* entryID);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, LPVOID* out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG ulFlags) override;
  // Answers by property ID, whatever type the requested tag carries; an unknown ID comes back
  // as PT_ERROR/MAPI_E_NOT_FOUND with MAPI_W_ERRORS_RETURNED.
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                                     LPSPropValue* lppPropArray) override;
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override;
  // PR_CONTAINER_HIERARCHY and PR_CONTAINER_CONTENTS open as IMAPITable; nothing else opens.
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                                         LPUNKNOWN* lppUnk) override;
  HRESULT STDMETHODCALLTYPE SetProps(ULONG cValues, LPSPropValue lpPropArray,
                                     LPSPropProblemArray* lppProblems) override;
  HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) override;
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

  // A new CTable around a view of the contents table data.
  HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
  // A plain view of the hierarchy table data.
  HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
  // The backend's OpenEntry.
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                      ULONG* lpulObjType, LPUNKNOWN* lppUnk) override;
  HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction lpRestriction, LPENTRYLIST lpContainerList,
                                              ULONG ulSearchFlags) override;
  HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG ulFlags, LPSRestriction* lppRestriction,
                                              LPENTRYLIST* lppContainerList, ULONG* lpulSearchState) override;
  HRESULT STDMETHODCALLTYPE CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                                        LPMAPIPROP* lppMAPIPropEntry) override;
  HRESULT STDMETHODCALLTYPE CopyEntries(LPENTRYLIST lpEntries, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                        ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE DeleteEntries(LPENTRYLIST lpEntries, ULONG ulFlags) override;
  // Resolves every entry still flagged MAPI_UNRESOLVED by its 8-bit PR_DISPLAY_NAME against the
  // whole user list: one match replaces the entry's properties and flags it MAPI_RESOLVED,
  // several flag it MAPI_AMBIGUOUS, none leaves it. The address list and the flag list must
  // both be there and be of one length (MAPI_E_INVALID_PARAMETER otherwise, nothing touched).
  HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray lpPropTagArray, ULONG ulFlags, LPADRLIST lpAdrList,
                                         LPFlagList lpFlagList) override;

  ~CABContainer() override;

  ComPtr<ITableData> HierarchyData;
  ComPtr<ITableData> ContentsData;
  ComPtr<ABLDAPBackeEnd> Backend;
  std::string Name;
  ULONG ContainerFlags = 0;
  const CBinary* EntryID = nullptr;
};
