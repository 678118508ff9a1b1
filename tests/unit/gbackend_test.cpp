#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "backend/gbackend.h"
#include "backend/ldapbe.h"
#include "fake_support.h"
#include "mapicode.h"
#include "mapiptr.h"
#include "mapispi.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"

namespace {

using Bytes = std::vector<BYTE>;

// The rows a client sees through a fresh view of the table data, freed afterwards.
class Rows {
 public:
  explicit Rows(ITableData* data) {
    ComPtr<IMAPITable> view;
    EXPECT_EQ(data->HrGetView(nullptr, nullptr, 0, view.put()), S_OK);
    if (!view) return;
    EXPECT_EQ(view->QueryRows(1000, 0, &rows_), S_OK);
  }
  Rows(const Rows&) = delete;
  Rows& operator=(const Rows&) = delete;
  ~Rows() { FreeProws(rows_); }
  ULONG size() const { return rows_ ? rows_->cRows : 0; }
  const SRow& operator[](ULONG i) const { return rows_->aRow[i]; }

 private:
  LPSRowSet rows_ = nullptr;
};

const SPropValue* Find(const SRow& row, ULONG tag) { return PpropFindProp(row.lpProps, row.cValues, tag); }

Bytes BinaryOf(const SRow& row, ULONG tag) {
  const SPropValue* v = Find(row, tag);
  if (!v) return {};
  return Bytes(v->Value.bin.lpb, v->Value.bin.lpb + v->Value.bin.cb);
}

LONG LongOf(const SRow& row, ULONG tag) {
  const SPropValue* v = Find(row, tag);
  return v ? v->Value.l : -12345;
}

std::string TextOf(const SRow& row, ULONG tag) {
  const SPropValue* v = Find(row, tag);
  return v && v->Value.lpszA ? v->Value.lpszA : "<missing>";
}

Bytes ToBytes(const CBinary& b) { return Bytes(b.lpb, b.lpb + b.cb); }

template <class Sized>
std::vector<ULONG> Tags(const Sized& tags) {
  return std::vector<ULONG>(tags.aulPropTag, tags.aulPropTag + tags.cValues);
}

void ExpectRootHierarchyRow(ABLDAPBackeEnd& backend, const std::string& name) {
  ASSERT_TRUE(backend.RootHierarchy);
  Rows rows(backend.RootHierarchy.get());
  ASSERT_EQ(rows.size(), 1u);
  const SRow& row = rows[0];
  const Bytes dirId = ToBytes(*backend.DirEntryID);
  EXPECT_EQ(BinaryOf(row, PR_AB_PROVIDER_ID), Bytes(backend.ProviderUID.ab, backend.ProviderUID.ab + 16));
  EXPECT_EQ(LongOf(row, PR_CONTAINER_FLAGS), 9);
  EXPECT_EQ(LongOf(row, PR_DEPTH), 0);
  EXPECT_EQ(TextOf(row, PR_DISPLAY_NAME), name);
  EXPECT_EQ(LongOf(row, PR_DISPLAY_TYPE), 0);
  EXPECT_EQ(BinaryOf(row, PR_ENTRYID), dirId);
  EXPECT_EQ(BinaryOf(row, PR_INSTANCE_KEY), dirId);
  EXPECT_EQ(LongOf(row, PR_OBJECT_TYPE), 4);
  EXPECT_EQ(LongOf(row, PR_ACCESS), 2);
  EXPECT_EQ(LongOf(row, PR_STATUS), 0);
}

}  // namespace

TEST(BackendColumns, HierarchyAndContentsSets) {
  EXPECT_EQ(Tags(HierarchyColumns), (std::vector<ULONG>{0x36150102, 0x36000003, 0x30050003, 0x3001001E, 0x39000003,
                                                        0x0FFF0102, 0x0FF60102, 0x0FFE0003, 0x0FF40003, 0x360B0003}));
  EXPECT_EQ(Tags(ContentsColumns),
            (std::vector<ULONG>{0x3001001E, 0x39000003, 0x3003001E, 0x3002001E, 0x0FFF0102, 0x0FF60102, 0x0FFE0003}));
}

TEST(GenericBackEnd, ConstructsWithTheBaseValues) {
  auto* backend = new GenericBackEnd(reinterpret_cast<HINSTANCE>(0x1234), nullptr);
  EXPECT_EQ(backend->RefCount, 1);
  EXPECT_EQ(backend->BackendName, "Pernix Generic Backend");
  EXPECT_EQ(backend->Version, "0.0");
  EXPECT_EQ(backend->ContainerName, "Pernix Generic Backend");
  EXPECT_EQ(Bytes(backend->ProviderUID.ab, backend->ProviderUID.ab + 16), Bytes(16, 0));
  EXPECT_EQ(backend->GetProviderUID(), &backend->ProviderUID);
  EXPECT_FALSE(backend->RootEntryID);
  EXPECT_FALSE(backend->DirEntryID);
  EXPECT_FALSE(backend->RootHierarchy || backend->RootContents || backend->DirHierarchy || backend->DirContents);
  EXPECT_EQ(backend->Instance, reinterpret_cast<HINSTANCE>(0x1234));
  EXPECT_FALSE(backend->Support);
  EXPECT_EQ(backend->Release(), 0u);
}

TEST(GenericBackEnd, HoldsOneReferenceOnTheSupportObject) {
  FakeSupport support;
  auto* backend = new ABLDAPBackeEnd(nullptr, &support);
  EXPECT_EQ(backend->Support.get(), &support);
  EXPECT_EQ(support.refs, 2u);
  backend->Release();
  EXPECT_EQ(support.refs, 1u);
}

TEST(GenericBackEnd, AnswersEveryOperationAsTheBaseAndWritesNoOutArgument) {
  auto* backend = new GenericBackEnd(nullptr, nullptr);
  BYTE bytes[40] = {};
  auto* id = reinterpret_cast<LPENTRYID>(bytes);

  EXPECT_FALSE(backend->LoadDirectory());
  EXPECT_EQ(backend->FillContentsTable(), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(backend->Configure(nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(backend->LoadSettings(), MAPI_E_NO_SUPPORT);

  ULONG objectType = 77;
  auto* sentinel = reinterpret_cast<LPUNKNOWN>(0x1);
  LPUNKNOWN object = sentinel;
  EXPECT_EQ(backend->OpenEntry(0, nullptr, nullptr, 0, &objectType, &object), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(objectType, 77u);
  EXPECT_EQ(object, sentinel);

  ULONG result = 77;
  EXPECT_EQ(backend->CompareEntryIDs(40, id, 40, id, 0, &result), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(result, 77u);

  auto* values = reinterpret_cast<LPSPropValue>(0x1);
  ULONG count = 77;
  EXPECT_EQ(backend->FindUserByName("smi", nullptr, &values, &count), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(values, reinterpret_cast<LPSPropValue>(0x1));
  EXPECT_EQ(count, 77u);

  EXPECT_FALSE(backend->IsOwnEntryID(40, id));

  // Without a directory container identifier there is no root hierarchy to make.
  EXPECT_EQ(backend->CreateRootHierarchy(), MAPI_E_NO_SUPPORT);
  EXPECT_FALSE(backend->RootHierarchy);
  backend->Release();
}

TEST(GenericBackEnd, InitTablesMakesTheThreeTablesItCan) {
  auto* backend = new GenericBackEnd(nullptr, nullptr);
  EXPECT_EQ(backend->InitTables(), S_OK);
  EXPECT_FALSE(backend->RootHierarchy);
  for (ITableData* table : {backend->RootContents.get(), backend->DirHierarchy.get(), backend->DirContents.get()}) {
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Rows(table).size(), 0u);
  }
  backend->Release();
}

TEST(LDAPBackEndTables, InitTablesOnAFreshBackend) {
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  EXPECT_EQ(backend->InitTables(), S_OK);
  ExpectRootHierarchyRow(*backend, "Pernix Generic Backend");
  for (ITableData* table : {backend->RootContents.get(), backend->DirHierarchy.get(), backend->DirContents.get()}) {
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Rows(table).size(), 0u);
  }

  // A second run keeps every table and duplicates nothing; the row keeps the name it was
  // written with.
  ITableData* const before[] = {backend->RootHierarchy.get(), backend->RootContents.get(), backend->DirHierarchy.get(),
                                backend->DirContents.get()};
  const std::string original = backend->ContainerName;
  backend->ContainerName = "Renamed";
  EXPECT_EQ(backend->InitTables(), S_OK);
  ITableData* const after[] = {backend->RootHierarchy.get(), backend->RootContents.get(), backend->DirHierarchy.get(),
                               backend->DirContents.get()};
  EXPECT_TRUE(std::equal(std::begin(before), std::end(before), std::begin(after)));
  ExpectRootHierarchyRow(*backend, original);
  EXPECT_EQ(Rows(backend->DirContents.get()).size(), 0u);
  backend->Release();
}

TEST(LDAPBackEndTables, EmptyContainerNameIsAnEmptyString) {
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  backend->ContainerName.clear();
  EXPECT_EQ(backend->CreateRootHierarchy(), S_OK);
  ExpectRootHierarchyRow(*backend, "");
  backend->Release();
}

TEST(LDAPBackEndTables, WritingTheSameContainerAgainReplacesItsRow) {
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  ASSERT_EQ(backend->CreateRootHierarchy(), S_OK);
  EXPECT_EQ(backend->AddContainerRow(9, 0, "Again", 0, backend->DirEntryID.get(), backend->RootHierarchy.get()), S_OK);
  ExpectRootHierarchyRow(*backend, "Again");
  EXPECT_EQ(backend->AddContainerRow(9, 0, "x", 0, backend->DirEntryID.get(), nullptr), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(backend->AddContainerRow(9, 0, "x", 0, nullptr, backend->RootHierarchy.get()), MAPI_E_INVALID_PARAMETER);
  backend->Release();
}

TEST(LDAPBackEndTables, ConcurrentLogonsBuildOneSetOfTables) {
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back([backend] { EXPECT_EQ(backend->InitTables(), S_OK); });
  for (auto& t : threads) t.join();
  ExpectRootHierarchyRow(*backend, "Pernix Generic Backend");
  backend->Release();
}

TEST(LDAPBackEndTables, AFailedCreationIsTriedAgainByTheNextInitTables) {
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  // Without memory routines CreateTable refuses; each creator returns CreateTable's own
  // result. SetMemoryRoutines refuses nulls, so the routine is cleared behind its back.
  pfnAllocateBuffer = nullptr;
  EXPECT_EQ(backend->CreateRootContents(), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(backend->CreateRootHierarchy(), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(backend->InitTables(), S_OK);
  EXPECT_FALSE(backend->RootHierarchy || backend->RootContents || backend->DirHierarchy || backend->DirContents);
  SetMemoryRoutines(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer);

  EXPECT_EQ(backend->InitTables(), S_OK);
  ExpectRootHierarchyRow(*backend, "Pernix Generic Backend");
  for (ITableData* table : {backend->RootContents.get(), backend->DirHierarchy.get(), backend->DirContents.get()})
    EXPECT_NE(table, nullptr);
  backend->Release();
}

TEST(LDAPBackEndTables, ARootHierarchyWithoutItsRowIsNotKept) {
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  std::unique_ptr<CBinary> dirId = std::move(backend->DirEntryID);
  backend->DirEntryID = std::make_unique<CBinary>();  // an identifier no row can be keyed by
  EXPECT_EQ(backend->CreateRootHierarchy(), MAPI_E_INVALID_PARAMETER);
  EXPECT_FALSE(backend->RootHierarchy);

  backend->DirEntryID = std::move(dirId);
  EXPECT_EQ(backend->InitTables(), S_OK);
  ExpectRootHierarchyRow(*backend, "Pernix Generic Backend");
  backend->Release();
}
