// One person of the directory snapshot as a mail user: the texts taken from one directory
// entry and the single source of the user's MAPI properties, contents-table row and details
// table.
#pragma once

#include <memory>
#include <string>

#include "backend/cbinary.h"
#include "mapidefs.h"
#include "mapiptr.h"
#include "mapitable.h"
#include "mapitags.h"
#include "provider/gunknown.h"

class ABLDAPBackeEnd;

// The user's distinguished name, in the range MAPI leaves to providers.
constexpr ULONG PR_LDAP_DN = PROP_TAG(PT_STRING8, 0x6621);

constexpr ULONG USER_PROP_COUNT = 27;
// What GetPropList returns and what GetProps answers when it is given no tag array.
extern const SizedSPropTagArray(USER_PROP_COUNT, UserPropList);

class CLDAPUser : public CUnknown {
 public:
  CLDAPUser();
  ~CLDAPUser() override;

  // Releases the backend held so far and holds a reference on `backend` (may be null).
  void SetBackend(ABLDAPBackeEnd* backend);

  // Writes the user's row into the directory contents table.
  HRESULT AddContentsRow(ITableData* table);

  // IMAPIProp's GetProps, GetPropList and OpenProperty for one mail user. Values are answered
  // by property ID whatever type the requested tag carries; empty texts and unknown IDs come
  // back as PT_ERROR/MAPI_E_NOT_FOUND with MAPI_W_ERRORS_RETURNED. Only PR_DETAILS_TABLE opens.
  HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues, LPSPropValue* lppPropArray);
  HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray);
  HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags, LPUNKNOWN* lppUnk);

  // The user's entry identifier, made afresh; null without a backend or memory.
  std::unique_ptr<CBinary> MakeEntryID() const;

  ComPtr<ABLDAPBackeEnd> Backend;
  std::string GivenName;
  std::string Surname;
  std::string DisplayName;
  std::string EmailAddress;
  std::string BusinessPhone;
  std::string BusinessFax;
  std::string Mobile;
  std::string Title;
  std::string Department;
  std::string Company;
  std::string DistinguishedName;
};

// The details page of `user` as a display table (dialog 100 of the provider's module).
HRESULT BuildDetailsTable(CLDAPUser* user, LPMAPITABLE* lppTable);
