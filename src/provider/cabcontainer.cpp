#include "provider/cabcontainer.h"

#include <atomic>
#include <cstring>
#include <limits>

#include "backend/ldapbe.h"
#include "backend/rabguid.h"
#include "mapicode.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "provider/ctable.h"
#include "provider/guard.h"
#include "trace/trace.h"

const _SPropTagArray_ContainerPropList ContainerPropList = {
    CONTAINER_PROP_COUNT,
    {PR_CONTAINER_FLAGS, PR_DISPLAY_NAME, PR_ENTRYID, PR_OBJECT_TYPE, PR_RECORD_KEY, PR_DISPLAY_TYPE}};

namespace {
// The read-only objects' answer to a write: a success code that is no MAPI_E_ failure.
constexpr HRESULT kReadOnlyWrite = 6;

// The count as the trace shows it: read before the atomic step, without a lock.
LONG CountNow(LONG& count) { return std::atomic_ref<LONG>(count).load(std::memory_order_relaxed); }

const SPropTagArray* DefaultTags() { return reinterpret_cast<const SPropTagArray*>(&ContainerPropList); }

// Memory for one string or binary of an answer, linked to the answer's array. Failures are
// raised with the allocation's result, or with `noMemory` when it gave no memory.
LPVOID More(std::size_t size, LPVOID root, HRESULT& hr, HRESULT noMemory) {
  if (size > std::numeric_limits<ULONG>::max()) {
    hr = MAPI_E_NOT_ENOUGH_MEMORY;
    RaiseFailure("Out of memory");
  }
  LPVOID block = nullptr;
  hr = pfnAllocateMore(static_cast<ULONG>(size), root, &block);
  if (FAILED(hr)) RaiseFailure("Out of memory");
  if (!block) {
    hr = noMemory;
    RaiseFailure("Out of memory");
  }
  return block;
}
}  // namespace

CABContainer::CABContainer(ABLDAPBackeEnd* backend, ITableData* hierarchyData, ITableData* contentsData,
                           const std::string& name, ULONG containerFlags, const CBinary* entryID) {
  TraceObject("CABContainer::CABContainer", this);
  HierarchyData = ComPtr<ITableData>::AddRefed(hierarchyData);
  ContentsData = ComPtr<ITableData>::AddRefed(contentsData);
  Backend = ComPtr<ABLDAPBackeEnd>::AddRefed(backend);
  ContainerFlags = containerFlags;
  EntryID = entryID;
  try {
    Name = name;
  } catch (...) {
    // Without memory for it the container goes by the empty name.
  }
}

CABContainer::~CABContainer() {
  TraceObject("CABContainer::~CABContainer", this);
  Backend.reset();
  HierarchyData.reset();
  ContentsData.reset();
}

HRESULT STDMETHODCALLTYPE CABContainer::QueryInterface(REFIID iid, LPVOID* out) {
  TraceObject("CABContainer::QueryInterface", this);
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IMAPIProp && iid != IID_IMAPIContainer && iid != IID_IABContainer)
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
  *out = static_cast<IABContainer*>(this);
  AddRef();
  return S_OK;
}

// The logon object's texts: the container shares them.
ULONG STDMETHODCALLTYPE CABContainer::AddRef() {
  TraceObject("CABLogon::AddRef - ref %d", this, static_cast<int>(CountNow(RefCount) + 1));
  return CUnknown::AddRef();
}

ULONG STDMETHODCALLTYPE CABContainer::Release() {
  TraceObject("CABLogon::Release - ref %d", this, static_cast<int>(CountNow(RefCount) - 1));
  return CUnknown::Release();
}

HRESULT STDMETHODCALLTYPE CABContainer::GetLastError(HRESULT, ULONG, LPMAPIERROR*) {
  TraceObject("ABContainer::GetLastError", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABContainer::SaveChanges(ULONG) {
  TraceObject("CABContainer::SaveChanges", this);
  return kReadOnlyWrite;
}

HRESULT STDMETHODCALLTYPE CABContainer::GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                                                 LPSPropValue* lppPropArray) {
  TraceObject("CABContainer::GetProps", this);
  const SPropTagArray* tags = lpPropTagArray ? lpPropTagArray : DefaultTags();
  if (tags->cValues == 0 || !lpcValues || !lppPropArray) return MAPI_E_INVALID_PARAMETER;
  *lpcValues = 0;
  *lppPropArray = nullptr;
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    if (ulFlags & MAPI_UNICODE) {
      hr = MAPI_E_BAD_CHARWIDTH;
      RaiseFailure("Do not support UNICODE");
    }
    const ULONG count = tags->cValues;
    // Owned until handed out, so that a failure frees the strings and binaries with it.
    MapiBuffer<SPropValue> values = NewPropValueArray(count, hr);

    bool errors = false;
    const auto binary = [&](SPropValue& v, ULONG tag) {
      v.ulPropTag = tag;
      if (!EntryID || EntryID->cb == 0 || !EntryID->lpb) return;
      v.Value.bin.lpb = static_cast<LPBYTE>(More(EntryID->cb, values.get(), hr, MAPI_E_NOT_ENOUGH_MEMORY));
      std::memcpy(v.Value.bin.lpb, EntryID->lpb, EntryID->cb);
      v.Value.bin.cb = EntryID->cb;
    };
    for (ULONG i = 0; i < count; ++i) {
      SPropValue& v = values.get()[i];
      const ULONG id = PROP_ID(tags->aulPropTag[i]);
      switch (id) {
        case PROP_ID_NULL: v.ulPropTag = PR_NULL; break;
        case PROP_ID(PR_RECORD_KEY): binary(v, PR_RECORD_KEY); break;
        case PROP_ID(PR_ENTRYID): binary(v, PR_ENTRYID); break;
        case PROP_ID(PR_OBJECT_TYPE):
          v.ulPropTag = PR_OBJECT_TYPE;
          v.Value.l = MAPI_ABCONT;
          break;
        case PROP_ID(PR_DISPLAY_NAME): {
          char* copy = static_cast<char*>(More(Name.size() + 1, values.get(), hr, MAPI_E_NOT_ENOUGH_MEMORY));
          std::memcpy(copy, Name.c_str(), Name.size() + 1);
          v.ulPropTag = PR_DISPLAY_NAME;
          v.Value.lpszA = copy;
          break;
        }
        case PROP_ID(PR_CONTAINER_FLAGS):
          v.ulPropTag = PR_CONTAINER_FLAGS;
          v.Value.l = static_cast<LONG>(ContainerFlags);
          break;
        case PROP_ID(PR_DISPLAY_TYPE):
          v.ulPropTag = PR_DISPLAY_TYPE;
          v.Value.l = 0;
          break;
        default:
          v.ulPropTag = PROP_TAG(PT_ERROR, id);
          v.Value.err = MAPI_E_NOT_FOUND;
          errors = true;
          break;
      }
    }
    *lpcValues = count;
    *lppPropArray = values.release();
    hr = errors ? MAPI_W_ERRORS_RETURNED : S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CABContainer::GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) {
  TraceObject("CABContainer::GetPropList", this);
  if (!lppPropTagArray) return MAPI_E_INVALID_PARAMETER;
  *lppPropTagArray = nullptr;
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    if (ulFlags & MAPI_UNICODE) {
      hr = MAPI_E_BAD_CHARWIDTH;
      RaiseFailure("Do not support UNICODE");
    }
    MapiBuffer<SPropTagArray> tags(pfnFreeBuffer);
    hr = pfnAllocateBuffer(CbNewSPropTagArray(CONTAINER_PROP_COUNT), tags.put());
    if (FAILED(hr) || !tags) {
      if (SUCCEEDED(hr)) hr = MAPI_E_NOT_ENOUGH_MEMORY;
      tags.release();
      RaiseFailure("Unable to allocate array");
    }
    std::memcpy(tags.get(), &ContainerPropList, CbNewSPropTagArray(CONTAINER_PROP_COUNT));
    *lppPropTagArray = tags.release();
    hr = S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CABContainer::OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG,
                                                     LPUNKNOWN* lppUnk) {
  TraceObject("CABContainer::OpenProperty", this);
  if (!lppUnk) return MAPI_E_INVALID_PARAMETER;
  *lppUnk = nullptr;
  if (ulPropTag != PR_CONTAINER_HIERARCHY && ulPropTag != PR_CONTAINER_CONTENTS) return MAPI_E_NOT_FOUND;
  // MAPI's documented answer to a missing interface identifier.
  if (!lpiid) return MAPI_E_INVALID_PARAMETER;
  if (*lpiid != IID_IMAPITable) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  LPMAPITABLE table = nullptr;
  const HRESULT hr = ulPropTag == PR_CONTAINER_HIERARCHY ? GetHierarchyTable(ulInterfaceOptions, &table)
                                                         : GetContentsTable(ulInterfaceOptions, &table);
  *lppUnk = table;
  return hr;
}

HRESULT STDMETHODCALLTYPE CABContainer::SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) {
  TraceObject("CABContainer::SetProps", this);
  return kReadOnlyWrite;
}

HRESULT STDMETHODCALLTYPE CABContainer::DeleteProps(LPSPropTagArray, LPSPropProblemArray*) {
  TraceObject("CABContainer::DeleteProps", this);
  return kReadOnlyWrite;
}

HRESULT STDMETHODCALLTYPE CABContainer::CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID,
                                               LPVOID, ULONG, LPSPropProblemArray*) {
  TraceObject("CABContainer::CopyTo", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABContainer::CopyProps(LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                                  LPSPropProblemArray*) {
  TraceObject("CABContainer::CopyProps", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABContainer::GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) {
  TraceObject("CABContainer::GetNamesFromIDs", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABContainer::GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) {
  TraceObject("CABContainer::GetIDsFromNames", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABContainer::GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) {
  TraceObject("CABContainer::GetContentsTable", this);
  if (!lppTable) return MAPI_E_INVALID_PARAMETER;
  *lppTable = nullptr;
  if (ulFlags & MAPI_ASSOCIATED) return MAPI_E_NO_SUPPORT;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  if (!ContentsData) return MAPI_E_NO_SUPPORT;
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    ComPtr<IMAPITable> view;
    hr = ContentsData->HrGetView(nullptr, nullptr, 0, view.put());
    if (FAILED(hr)) RaiseFailure("Unable to get a view of the table");
    hr = MAPI_E_NOT_ENOUGH_MEMORY;
    // The wrapper takes its own reference on the view; ours goes with `view`.
    *lppTable = new CTable(view.get());
    hr = S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CABContainer::GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) {
  TraceObject("CABContainer::GetHierarchyTable", this);
  if (!lppTable) return MAPI_E_INVALID_PARAMETER;
  *lppTable = nullptr;
  if (ulFlags & MAPI_ASSOCIATED) return MAPI_E_NO_SUPPORT;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  if (!HierarchyData) return MAPI_E_NO_SUPPORT;
  return HierarchyData->HrGetView(nullptr, nullptr, 0, lppTable);
}

HRESULT STDMETHODCALLTYPE CABContainer::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                                                  ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk) {
  TraceObject("CABContainer::OpenEntry", this);
  if (!Backend) return MAPI_E_NO_SUPPORT;
  return Backend->OpenEntry(cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
}

HRESULT STDMETHODCALLTYPE CABContainer::SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) {
  TraceObject("CABContainer::SetSearchCriteria", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABContainer::GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) {
  TraceObject("CABContainer::GetSearchCriteria", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABContainer::CreateEntry(ULONG, LPENTRYID, ULONG, LPMAPIPROP*) {
  TraceObject("CABContainer::CreateEntry", this);
  return kReadOnlyWrite;
}

HRESULT STDMETHODCALLTYPE CABContainer::CopyEntries(LPENTRYLIST, ULONG_PTR, LPMAPIPROGRESS, ULONG) {
  TraceObject("CABContainer::CopyEntries", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABContainer::DeleteEntries(LPENTRYLIST, ULONG) {
  TraceObject("CABContainer::DeleteEntries", this);
  return kReadOnlyWrite;
}

HRESULT STDMETHODCALLTYPE CABContainer::ResolveNames(LPSPropTagArray lpPropTagArray, ULONG ulFlags, LPADRLIST lpAdrList,
                                                     LPFlagList lpFlagList) {
  TraceObject("CABContainer::ResolveNames", this);
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    if (ulFlags & MAPI_UNICODE) {
      hr = MAPI_E_BAD_CHARWIDTH;
      RaiseFailure("Unicode not supported");
    }
    // Entry i belongs to flag i: with a list missing or the two of different lengths there is
    // no telling which entries to look at, and reading on would run past the shorter one.
    if (!lpAdrList || !lpFlagList || lpAdrList->cEntries != lpFlagList->cFlags) {
      hr = MAPI_E_INVALID_PARAMETER;
      RaiseFailure("Invalid parameter");
    }
    for (ULONG i = 0; i < lpFlagList->cFlags; ++i) {
      if (lpFlagList->ulFlag[i] != MAPI_UNRESOLVED) continue;
      ADRENTRY& entry = lpAdrList->aEntries[i];
      if (entry.cValues == 0 || !entry.rgPropVals) continue;
      const SPropValue* typed = PpropFindProp(entry.rgPropVals, entry.cValues, PR_DISPLAY_NAME);
      if (!typed || !typed->Value.lpszA || !*typed->Value.lpszA) continue;
      const HRESULT found =
          Backend ? Backend->FindUserByName(typed->Value.lpszA, lpPropTagArray, &entry.rgPropVals, &entry.cValues)
                  : MAPI_E_NOT_FOUND;
      if (found == MAPI_E_NOT_FOUND) continue;
      if (found == MAPI_E_AMBIGUOUS_RECIP) {
        lpFlagList->ulFlag[i] = MAPI_AMBIGUOUS;
        continue;
      }
      if (found == S_OK) {
        lpFlagList->ulFlag[i] = MAPI_RESOLVED;
        continue;
      }
      if (entry.rgPropVals) pfnFreeBuffer(entry.rgPropVals);
      entry.rgPropVals = nullptr;
      entry.cValues = 0;
      hr = found;
      RaiseFailure("Error while resolving names");
    }
    hr = S_OK;
  });
}
