#include "provider/cablogon.h"

#include <atomic>
#include <cstring>

#include "backend/cbinary.h"
#include "backend/rabguid.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "provider/guard.h"
#include "trace/trace.h"

const _SPropTagArray_OneOffColumns OneOffColumns = {
    7, {PR_ADDRTYPE, PR_DEPTH, PR_DISPLAY_NAME, PR_DISPLAY_TYPE, PR_ENTRYID, PR_INSTANCE_KEY, PR_SELECTABLE}};

namespace {
// Written over the tag of an entry's own value once it has moved into the new array; no real
// property carries it.
constexpr ULONG kTakenMarker = 0x8004010A;

constexpr const char* kProviderDisplay = "Pernix LDAP Address Book";

int TraceCount(const CUnknown& object, int change) {
  return static_cast<int>(std::atomic_ref<const LONG>(object.RefCount).load()) + change;
}

LPSTR Text(const char* text) { return const_cast<LPSTR>(text); }

void SetError(SPropValue& value, ULONG tag, SCODE error) {
  value.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
  value.dwAlignPad = 0;
  value.Value.err = error;
}

// Copies `count` bytes into memory linked to `newArray`; null for nothing to copy.
HRESULT CopyBytes(const void* source, ULONG count, LPVOID newArray, LPVOID* destination) {
  *destination = nullptr;
  if (count == 0 || !source) return S_OK;
  const SCODE sc = pfnAllocateMore(count, newArray, destination);
  if (FAILED(sc)) {
    *destination = nullptr;
    return sc;
  }
  std::memcpy(*destination, source, count);
  return S_OK;
}
}  // namespace

CABLogon::CABLogon(IMAPISupport* support, ABLDAPBackeEnd* backend) {
  TraceObject("CABLogon::CABLogon", this);
  try {
    Support = ComPtr<IMAPISupport>::AddRefed(support);
    Backend = ComPtr<ABLDAPBackeEnd>::AddRefed(backend);
    // The first logon creates the tables; later ones write every user's row again.
    if (Backend) Backend->InitTables();
  } catch (...) {
  }
}

CABLogon::~CABLogon() {
  TraceObject("CABLogon::~CABLogon", this);
  Support.reset();
  try {
    Backend.reset();
  } catch (...) {
  }
}

HRESULT STDMETHODCALLTYPE CABLogon::QueryInterface(REFIID iid, LPVOID* out) {
  TraceObject("CABLogon::QueryInterface", this);
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IABLogon) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  *out = static_cast<IABLogon*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CABLogon::AddRef() {
  TraceObject("CABLogon::AddRef - ref %d", this, TraceCount(*this, 1));
  return CUnknown::AddRef();
}

ULONG STDMETHODCALLTYPE CABLogon::Release() {
  TraceObject("CABLogon::Release - ref %d", this, TraceCount(*this, -1));
  return CUnknown::Release();
}

HRESULT STDMETHODCALLTYPE CABLogon::GetLastError(HRESULT, ULONG, LPMAPIERROR*) {
  TraceObject("CABLogon::GetLastError", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABLogon::Logoff(ULONG) {
  TraceObject("CABLogon::Logoff", this);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CABLogon::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) {
  TraceObject("CABLogon::OpenEntry", this);
  if (!Backend) return MAPI_E_NO_SUPPORT;
  return Backend->OpenEntry(cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
}

HRESULT STDMETHODCALLTYPE CABLogon::CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                                    LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) {
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    if (!Backend) return;
    hr = Backend->CompareEntryIDs(cbEntryID1, lpEntryID1, cbEntryID2, lpEntryID2, ulFlags, lpulResult);
  });
}

HRESULT STDMETHODCALLTYPE CABLogon::Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG_PTR*) {
  TraceObject("CABLogon::Advise", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABLogon::Unadvise(ULONG_PTR) {
  TraceObject("CABLogon::Unadvise", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABLogon::OpenStatusEntry(LPCIID, ULONG, ULONG*, LPMAPISTATUS*) {
  TraceObject("CABLogon::OpenStatusEntry", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABLogon::OpenTemplateID(ULONG, LPENTRYID, ULONG, LPMAPIPROP, LPCIID, LPMAPIPROP*,
                                                   LPMAPIPROP) {
  TraceObject("CABLogon::OpenTemplateID", this);
  return MAPI_E_NO_SUPPORT;
}

HRESULT STDMETHODCALLTYPE CABLogon::GetOneOffTable(ULONG, LPMAPITABLE* lppTable) {
  TraceObject("CABLogon::GetOneOffTable", this);
  ObjectLock lock(*this);
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    ComPtr<ITableData> table;
    hr = CreateTable(&IID_IMAPITableData, pfnAllocateBuffer, pfnAllocateMore, pfnFreeBuffer, nullptr, TBLTYPE_DYNAMIC,
                     PR_INSTANCE_KEY,
                     const_cast<LPSPropTagArray>(reinterpret_cast<const SPropTagArray*>(&OneOffColumns)), table.put());
    if (FAILED(hr)) RaiseFailure("Unable to create the table");
    // No rows: the provider offers no one-off templates.
    hr = table->HrGetView(nullptr, nullptr, 0, lppTable);
  });
}

void CABLogon::PostStatusRow(IMAPISupport* support) {
  try {
    const char* displayName =
        Backend && !Backend->BackendName.empty() ? Backend->BackendName.c_str() : kProviderDisplay;
    SPropValue row[9] = {};
    row[0].ulPropTag = PR_PROVIDER_DISPLAY;
    row[0].Value.lpszA = Text(kProviderDisplay);
    row[1].ulPropTag = PR_STATUS_CODE;
    row[1].Value.l = STATUS_AVAILABLE;
    row[2].ulPropTag = PR_STATUS_STRING;
    row[2].Value.lpszA = Text("Available");
    row[3].ulPropTag = PR_DISPLAY_NAME;
    row[3].Value.lpszA = Text(displayName);
    row[4].ulPropTag = PR_RESOURCE_FLAGS;
    row[4].Value.l = STATUS_NO_PRIMARY_IDENTITY;
    row[5].ulPropTag = PR_RESOURCE_METHODS;
    row[5].Value.l = 0;
    row[6].ulPropTag = PR_RESOURCE_TYPE;
    row[6].Value.l = MAPI_AB_PROVIDER;
    row[7].ulPropTag = PR_OBJECT_TYPE;
    row[7].Value.l = MAPI_STATUS;
    row[8].ulPropTag = PR_PROVIDER_DLL_NAME;
    row[8].Value.lpszA = Text("pxbl.dll");
    if (support) support->ModifyStatusRow(9, row, 0);
  } catch (...) {
  }
}

HRESULT STDMETHODCALLTYPE CABLogon::PrepareRecips(ULONG, LPSPropTagArray lpPropTagArray, LPADRLIST lpRecipList) {
  TraceObject("CABLogon::PrepareRecips", this);
  if (!lpPropTagArray || !lpRecipList) return S_OK;
  for (ULONG i = 0; i < lpRecipList->cEntries; ++i) PrepareEntry(lpPropTagArray, lpRecipList->aEntries[i]);
  return S_OK;
}

void CABLogon::PrepareEntry(LPSPropTagArray tags, ADRENTRY& entry) {
  HRESULT hr = S_OK;
  Guarded(hr, [&] {
    const LPSPropValue entryID = PpropFindProp(entry.rgPropVals, entry.cValues, PR_ENTRYID);
    if (!entryID) return;
    const CBinary identifier(entryID->Value.bin.cb, entryID->Value.bin.lpb);
    if (identifier.cb != entryID->Value.bin.cb) return;
    auto* id = reinterpret_cast<LPENTRYID>(identifier.lpb);
    if (!Backend || !Backend->IsOwnEntryID(identifier.cb, id)) return;

    ULONG objectType = 0;
    ComPtr<IUnknown> opened;
    if (FAILED(OpenEntry(identifier.cb, id, &IID_IMailUser, 0, &objectType, opened.put())) || !opened) return;
    auto* user = static_cast<IMailUser*>(opened.get());

    ULONG count = 0;
    MapiBuffer<SPropValue> values(pfnFreeBuffer);
    if (FAILED(user->GetProps(tags, 0, &count, values.put_typed())) || !values || count < tags->cValues) return;

    MapiBuffer<SPropValue> newArray(pfnFreeBuffer);
    if (FAILED(pfnAllocateBuffer((tags->cValues + entry.cValues) * sizeof(SPropValue), newArray.put()))) return;
    SPropValue* fresh = newArray.get();
    std::memset(fresh, 0, (tags->cValues + entry.cValues) * sizeof(SPropValue));

    for (ULONG j = 0; j < tags->cValues; ++j) {
      const ULONG tag = tags->aulPropTag[j];
      if (PROP_ID(values.get()[j].ulPropTag) == PROP_ID(tag)) {
        const HRESULT copied = CopyPropValue(fresh[j], values.get()[j], fresh);
        if (FAILED(copied)) SetError(fresh[j], tag, copied);
        // The user's value replaces the entry's own value of the same tag.
        if (LPSPropValue own = PpropFindProp(entry.rgPropVals, entry.cValues, tag)) own->ulPropTag = kTakenMarker;
      } else {
        TakeEntryProp(tag, entry, fresh, fresh[j]);
      }
    }
    ULONG k = tags->cValues;
    for (ULONG i = 0; i < entry.cValues; ++i) {
      const ULONG tag = entry.rgPropVals[i].ulPropTag;
      if (tag == kTakenMarker) continue;
      TakeEntryProp(tag, entry, fresh, fresh[k]);
      ++k;
    }
    pfnFreeBuffer(entry.rgPropVals);
    entry.rgPropVals = newArray.release();
    entry.cValues = k;
  });
}

void CABLogon::TakeEntryProp(ULONG tag, ADRENTRY& entry, LPVOID newArray, SPropValue& destination) {
  const LPSPropValue found = PpropFindProp(entry.rgPropVals, entry.cValues, tag);
  if (!found) {
    // The natural error for a property the entry does not have.
    SetError(destination, tag, MAPI_E_NOT_FOUND);
    return;
  }
  const HRESULT copied = CopyPropValue(destination, *found, newArray);
  if (SUCCEEDED(copied)) {
    found->ulPropTag = kTakenMarker;
  } else {
    SetError(destination, tag, copied);
  }
}

HRESULT CABLogon::CopyPropValue(SPropValue& destination, const SPropValue& source, LPVOID newArray) {
  destination = SPropValue{};
  destination.ulPropTag = source.ulPropTag;
  const ULONG type = PROP_TYPE(source.ulPropTag);
  if (type & MV_FLAG) return MAPI_E_NO_SUPPORT;
  LPVOID copy = nullptr;
  HRESULT hr = S_OK;
  switch (type) {
    case PT_STRING8:
      if (source.Value.lpszA)
        hr = CopyBytes(source.Value.lpszA, static_cast<ULONG>(std::strlen(source.Value.lpszA) + 1), newArray, &copy);
      destination.Value.lpszA = static_cast<LPSTR>(copy);
      break;
    case PT_UNICODE:
      // Points into the entry's old array, which is freed: copied whole, like an 8-bit text.
      if (source.Value.lpszW) {
        std::size_t length = 0;
        while (source.Value.lpszW[length]) ++length;
        hr = CopyBytes(source.Value.lpszW, static_cast<ULONG>((length + 1) * sizeof(source.Value.lpszW[0])), newArray,
                       &copy);
      }
      destination.Value.lpszW = static_cast<LPWSTR>(copy);
      break;
    case PT_CLSID:
      hr = CopyBytes(source.Value.lpguid, sizeof(GUID), newArray, &copy);
      destination.Value.lpguid = static_cast<LPGUID>(copy);
      break;
    case PT_BINARY:
      destination.Value.bin.cb = source.Value.bin.cb;
      hr = CopyBytes(source.Value.bin.lpb, source.Value.bin.cb, newArray, &copy);
      destination.Value.bin.lpb = static_cast<LPBYTE>(copy);
      break;
    default: destination.Value = source.Value; break;
  }
  return hr;
}
