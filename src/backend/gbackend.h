// The base of the provider's data source: name and version, the provider's MAPIUID, the entry
// identifiers of the two containers, the four tables they hand out, the support object and a
// lock. It declares the backend operations that the MAPI objects call, with default answers.
#pragma once

#include <memory>
#include <string>

#include "backend/cbinary.h"
#include "mapidefs.h"
#include "mapiptr.h"
#include "mapispi.h"
#include "mapitable.h"
#include "provider/gunknown.h"

// Columns of a container's hierarchy table, in this order.
extern const SizedSPropTagArray(10, HierarchyColumns);
// Columns of a container's contents table, in this order.
extern const SizedSPropTagArray(7, ContentsColumns);

class GenericBackEnd : public CUnknown {
 public:
  GenericBackEnd(HINSTANCE instance, IMAPISupport* support);
  ~GenericBackEnd() override;

  // The backend operations, in the order of their slots.
  virtual bool LoadDirectory();
  virtual HRESULT FillContentsTable();
  virtual HRESULT Configure(IProfSect* section);
  virtual HRESULT InitTables();
  virtual HRESULT LoadSettings();
  virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                            LPUNKNOWN* lppUnk);
  virtual HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                  ULONG ulFlags, ULONG* lpulResult);
  virtual HRESULT FindUserByName(std::string name, LPSPropTagArray lpPropTags, LPSPropValue* lppValues,
                                 ULONG* lpcValues);
  virtual bool IsOwnEntryID(ULONG cbEntryID, LPENTRYID lpEntryID);

  LPMAPIUID GetProviderUID() { return &ProviderUID; }

  // Each makes its table under the backend's lock unless it exists already; the root
  // hierarchy table gets the directory container's row.
  HRESULT CreateRootHierarchy();
  HRESULT CreateRootContents();
  HRESULT CreateDirHierarchy();
  HRESULT CreateDirContents();

  // Writes one hierarchy row (the provider's UID, the given values, then MAPI_ABCONT,
  // MAPI_ACCESS_READ and status 0) into `table`; HrModifyRow's result.
  HRESULT AddContainerRow(ULONG containerFlags, ULONG depth, std::string displayName, ULONG displayType,
                          const CBinary* entryID, ITableData* table);

  std::string BackendName;
  std::string Version;
  std::string ContainerName;
  MAPIUID ProviderUID;
  std::unique_ptr<CBinary> RootEntryID;
  std::unique_ptr<CBinary> DirEntryID;
  ComPtr<ITableData> RootHierarchy;
  ComPtr<ITableData> RootContents;
  ComPtr<ITableData> DirHierarchy;
  ComPtr<ITableData> DirContents;
  HINSTANCE Instance;
  ComPtr<IMAPISupport> Support;

 private:
  HRESULT CreateTableData(ComPtr<ITableData>& field, const SPropTagArray* columns);
};
