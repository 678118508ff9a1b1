#include "backend/gbackend.h"

#include "backend/rabguid.h"
#include "mapicode.h"
#include "mapitags.h"
#include "provider/guard.h"

const _SPropTagArray_HierarchyColumns HierarchyColumns = {
    10,
    {PR_AB_PROVIDER_ID, PR_CONTAINER_FLAGS, PR_DEPTH, PR_DISPLAY_NAME, PR_DISPLAY_TYPE, PR_ENTRYID, PR_INSTANCE_KEY,
     PR_OBJECT_TYPE, PR_ACCESS, PR_STATUS}};

const _SPropTagArray_ContentsColumns ContentsColumns = {
    7, {PR_DISPLAY_NAME, PR_DISPLAY_TYPE, PR_EMAIL_ADDRESS, PR_ADDRTYPE, PR_ENTRYID, PR_INSTANCE_KEY, PR_OBJECT_TYPE}};

namespace {
template <class Sized>
const SPropTagArray* AsTagArray(const Sized& tags) {
  return reinterpret_cast<const SPropTagArray*>(&tags);
}
}  // namespace

GenericBackEnd::GenericBackEnd(HINSTANCE instance, IMAPISupport* support)
    : BackendName("Pernix Generic Backend"),
      Version("0.0"),
      ContainerName("Pernix Generic Backend"),
      ProviderUID{},  // a backend that sets no UID of its own has all zeroes
      Instance(instance),
      Support(ComPtr<IMAPISupport>::AddRefed(support)) {}

GenericBackEnd::~GenericBackEnd() {
  RootHierarchy.reset();
  RootContents.reset();
  DirHierarchy.reset();
  DirContents.reset();
  RootEntryID.reset();
  DirEntryID.reset();
  Support.reset();
}

bool GenericBackEnd::LoadDirectory() { return false; }
HRESULT GenericBackEnd::FillContentsTable() { return MAPI_E_NO_SUPPORT; }
HRESULT GenericBackEnd::Configure(IProfSect*) { return MAPI_E_NO_SUPPORT; }
HRESULT GenericBackEnd::LoadSettings() { return MAPI_E_NO_SUPPORT; }
HRESULT GenericBackEnd::OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*) { return MAPI_E_NO_SUPPORT; }
HRESULT GenericBackEnd::CompareEntryIDs(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG, ULONG*) { return MAPI_E_NO_SUPPORT; }
HRESULT GenericBackEnd::FindUserByName(std::string, LPSPropTagArray, LPSPropValue*, ULONG*) {
  return MAPI_E_NO_SUPPORT;
}
bool GenericBackEnd::IsOwnEntryID(ULONG, LPENTRYID) { return false; }

HRESULT GenericBackEnd::InitTables() {
  // Each creator looks at its own field under the lock, so an existing table is kept.
  CreateRootHierarchy();
  CreateRootContents();
  CreateDirHierarchy();
  CreateDirContents();
  FillContentsTable();
  return S_OK;
}

HRESULT GenericBackEnd::CreateTableData(ComPtr<ITableData>& field, const SPropTagArray* columns) {
  ObjectLock lock(*this);
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    if (field) {
      hr = S_OK;
      return;
    }
    ComPtr<ITableData> table;
    hr = CreateTable(&IID_IMAPITableData, pfnAllocateBuffer, pfnAllocateMore, pfnFreeBuffer, nullptr, TBLTYPE_DYNAMIC,
                     PR_INSTANCE_KEY, const_cast<LPSPropTagArray>(columns), table.put());
    if (SUCCEEDED(hr) && !table) hr = MAPI_E_CALL_FAILED;
    if (FAILED(hr)) RaiseFailure("Unable to create the table");
    field = std::move(table);
  });
}

HRESULT GenericBackEnd::CreateRootHierarchy() {
  ObjectLock lock(*this);
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    if (!DirEntryID) RaiseFailure("The Dir Entry ID Has not been set");
    if (RootHierarchy) {
      hr = S_OK;
      return;
    }
    hr = CreateTableData(RootHierarchy, AsTagArray(HierarchyColumns));
    if (FAILED(hr)) return;
    hr = AddContainerRow(AB_RECIPIENTS | AB_UNMODIFIABLE, 0, ContainerName, 0, DirEntryID.get(), RootHierarchy.get());
    // A table without its one row would stay empty for good: drop it so that the next
    // InitTables tries again.
    if (FAILED(hr)) RootHierarchy.reset();
  });
}

HRESULT GenericBackEnd::CreateRootContents() { return CreateTableData(RootContents, AsTagArray(ContentsColumns)); }
HRESULT GenericBackEnd::CreateDirHierarchy() { return CreateTableData(DirHierarchy, AsTagArray(HierarchyColumns)); }
HRESULT GenericBackEnd::CreateDirContents() { return CreateTableData(DirContents, AsTagArray(ContentsColumns)); }

HRESULT GenericBackEnd::AddContainerRow(ULONG containerFlags, ULONG depth, std::string displayName, ULONG displayType,
                                        const CBinary* entryID, ITableData* table) {
  if (!table || !entryID || !entryID->lpb) return MAPI_E_INVALID_PARAMETER;
  SPropValue values[10] = {};
  values[0].ulPropTag = PR_AB_PROVIDER_ID;
  values[0].Value.bin = SBinary{sizeof(ProviderUID), ProviderUID.ab};
  values[1].ulPropTag = PR_CONTAINER_FLAGS;
  values[1].Value.l = static_cast<LONG>(containerFlags);
  values[2].ulPropTag = PR_DEPTH;
  values[2].Value.l = static_cast<LONG>(depth);
  values[3].ulPropTag = PR_DISPLAY_NAME;
  values[3].Value.lpszA = displayName.data();
  values[4].ulPropTag = PR_DISPLAY_TYPE;
  values[4].Value.l = static_cast<LONG>(displayType);
  values[5].ulPropTag = PR_ENTRYID;
  values[5].Value.bin = entryID->AsSBinary();
  values[6].ulPropTag = PR_INSTANCE_KEY;
  values[6].Value.bin = entryID->AsSBinary();
  values[7].ulPropTag = PR_OBJECT_TYPE;
  values[7].Value.l = MAPI_ABCONT;
  values[8].ulPropTag = PR_ACCESS;
  values[8].Value.l = MAPI_ACCESS_READ;
  values[9].ulPropTag = PR_STATUS;
  values[9].Value.l = 0;
  SRow row{0, 10, values};
  return table->HrModifyRow(&row);
}
