#include "recipients/ldapuser.h"

#include <cstring>
#include <limits>

#include "backend/ldapbe.h"
#include "backend/rabguid.h"
#include "mapicode.h"
#include "mapidisp.h"
#include "provider/guard.h"
#include "resources/detailsdialog.h"
#include "trace/trace.h"

const _SPropTagArray_UserPropList UserPropList = {USER_PROP_COUNT,
                                                  {PR_7BIT_DISPLAY_NAME,
                                                   PR_ACCESS,
                                                   PR_ACCESS_LEVEL,
                                                   PR_ADDRTYPE,
                                                   PR_CREATION_VERSION,
                                                   PR_CURRENT_VERSION,
                                                   PR_DETAILS_TABLE,
                                                   PR_DISPLAY_NAME,
                                                   PR_DISPLAY_TYPE,
                                                   PR_EMAIL_ADDRESS,
                                                   PR_ENTRYID,
                                                   PR_INITIAL_DETAILS_PANE,
                                                   PR_LDAP_DN,
                                                   PR_OBJECT_TYPE,
                                                   PR_RECORD_KEY,
                                                   PR_SEARCH_KEY,
                                                   PR_SEND_RICH_INFO,
                                                   PR_SMTP_ADDRESS,
                                                   PR_TRANSMITABLE_DISPLAY_NAME,
                                                   PR_GIVEN_NAME,
                                                   PR_SURNAME,
                                                   PR_BUSINESS_TELEPHONE_NUMBER,
                                                   PR_BUSINESS_FAX_NUMBER,
                                                   PR_MOBILE_TELEPHONE_NUMBER,
                                                   PR_TITLE,
                                                   PR_DEPARTMENT_NAME,
                                                   PR_COMPANY_NAME}};

namespace {
constexpr const char* kAddressType = "SMTP";

// The page description of the details page. Every text offset equals the size of its own
// structure: the structures carry no texts, the dialog template supplies them.
DTBLPAGE detailsPage = {sizeof(DTBLPAGE), 0, 0, 0};
DTBLGROUPBOX groupBox = {sizeof(DTBLGROUPBOX), 0};
DTBLLABEL label = {sizeof(DTBLLABEL), 0};
constexpr ULONG kCharsAllowed = 260;
DTBLEDIT editDisplayName = {sizeof(DTBLEDIT), 0, kCharsAllowed, PR_DISPLAY_NAME};
DTBLEDIT editGivenName = {sizeof(DTBLEDIT), 0, kCharsAllowed, PR_GIVEN_NAME};
DTBLEDIT editSurname = {sizeof(DTBLEDIT), 0, kCharsAllowed, PR_SURNAME};
DTBLEDIT editEmail = {sizeof(DTBLEDIT), 0, kCharsAllowed, PR_EMAIL_ADDRESS};
DTBLEDIT editCompany = {sizeof(DTBLEDIT), 0, kCharsAllowed, PR_COMPANY_NAME};
DTBLEDIT editDepartment = {sizeof(DTBLEDIT), 0, kCharsAllowed, PR_DEPARTMENT_NAME};
DTBLEDIT editTitle = {sizeof(DTBLEDIT), 0, kCharsAllowed, PR_TITLE};
DTBLEDIT editPhone = {sizeof(DTBLEDIT), 0, kCharsAllowed, PR_BUSINESS_TELEPHONE_NUMBER};
DTBLEDIT editFax = {sizeof(DTBLEDIT), 0, kCharsAllowed, PR_BUSINESS_FAX_NUMBER};
DTBLEDIT editMobile = {sizeof(DTBLEDIT), 0, kCharsAllowed, PR_MOBILE_TELEPHONE_NUMBER};
char anyCharacter[] = "*";

// Control flags 0 throughout: no DT_EDITABLE, so every field is read-only.
constexpr DTCTL Control(ULONG type, ULONG id, LPVOID structure, LPSTR filter = nullptr) {
  DTCTL control{type, 0, nullptr, 0, filter, id, {}};
  control.ctl.lpv = structure;
  return control;
}

DTCTL detailsControls[] = {
    Control(DTCT_PAGE, 0, &detailsPage),
    Control(DTCT_GROUPBOX, IDC_GROUP_USER, &groupBox),
    Control(DTCT_GROUPBOX, IDC_GROUP_ORGANIZATION, &groupBox),
    Control(DTCT_GROUPBOX, IDC_GROUP_TELEPHONE, &groupBox),
    Control(DTCT_LABEL, IDC_LABEL_DISPLAY_NAME, &label),
    Control(DTCT_LABEL, IDC_LABEL_FIRST_NAME, &label),
    Control(DTCT_LABEL, IDC_LABEL_LAST_NAME, &label),
    Control(DTCT_LABEL, IDC_LABEL_COMPANY, &label),
    Control(DTCT_LABEL, IDC_LABEL_DEPARTMENT, &label),
    Control(DTCT_LABEL, IDC_LABEL_TITLE, &label),
    Control(DTCT_LABEL, IDC_LABEL_PHONE, &label),
    Control(DTCT_LABEL, IDC_LABEL_FAX, &label),
    Control(DTCT_LABEL, IDC_LABEL_MOBILE, &label),
    Control(DTCT_LABEL, IDC_LABEL_EMAIL, &label),
    Control(DTCT_EDIT, IDC_EDIT_DISPLAY_NAME, &editDisplayName, anyCharacter),
    Control(DTCT_EDIT, IDC_EDIT_FIRST_NAME, &editGivenName, anyCharacter),
    Control(DTCT_EDIT, IDC_EDIT_LAST_NAME, &editSurname, anyCharacter),
    Control(DTCT_EDIT, IDC_EDIT_EMAIL, &editEmail, anyCharacter),
    Control(DTCT_EDIT, IDC_EDIT_COMPANY, &editCompany, anyCharacter),
    Control(DTCT_EDIT, IDC_EDIT_DEPARTMENT, &editDepartment, anyCharacter),
    Control(DTCT_EDIT, IDC_EDIT_TITLE, &editTitle, anyCharacter),
    Control(DTCT_EDIT, IDC_EDIT_PHONE, &editPhone, anyCharacter),
    Control(DTCT_EDIT, IDC_EDIT_FAX, &editFax, anyCharacter),
    Control(DTCT_EDIT, IDC_EDIT_MOBILE, &editMobile, anyCharacter),
};
static_assert(std::size(detailsControls) == 24);

DTPAGE detailsPageDescription = {
    static_cast<ULONG>(std::size(detailsControls)), MAKEINTRESOURCEA(IDD_USER_DETAILS), {nullptr}, detailsControls};

LPSPropTagArray DefaultTags() {
  return const_cast<LPSPropTagArray>(reinterpret_cast<const SPropTagArray*>(&UserPropList));
}

// Fills the answers of one GetProps call into an array allocated on `root`.
class PropWriter {
 public:
  PropWriter(LPVOID root, HRESULT& hr) : root_(root), hr_(hr) {}

  bool errors = false;

  void Long(SPropValue& value, ULONG tag, LONG number) {
    value.ulPropTag = tag;
    value.Value.l = number;
  }
  void NotFound(SPropValue& value, ULONG id) {
    value.ulPropTag = PROP_TAG(PT_ERROR, id);
    value.Value.err = MAPI_E_NOT_FOUND;
    errors = true;
  }
  // An empty text is not there to answer.
  void Text(SPropValue& value, ULONG tag, const std::string& text) {
    if (text.empty()) return NotFound(value, PROP_ID(tag));
    char* copy = static_cast<char*>(More(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    value.ulPropTag = tag;
    value.Value.lpszA = copy;
  }
  void Binary(SPropValue& value, ULONG tag, const BYTE* bytes, std::size_t count) {
    value.ulPropTag = tag;
    value.Value.bin.cb = static_cast<ULONG>(count);
    value.Value.bin.lpb = nullptr;
    if (count == 0) return;
    value.Value.bin.lpb = static_cast<LPBYTE>(More(count));
    std::memcpy(value.Value.bin.lpb, bytes, count);
  }

 private:
  LPVOID More(std::size_t size) {
    if (size > std::numeric_limits<ULONG>::max()) {
      hr_ = MAPI_E_NOT_ENOUGH_MEMORY;
      RaiseFailure("Out of memory");
    }
    LPVOID block = nullptr;
    hr_ = pfnAllocateMore(static_cast<ULONG>(size), root_, &block);
    if (FAILED(hr_)) RaiseFailure("Out of memory");
    if (!block) {
      hr_ = MAPI_E_NOT_ENOUGH_MEMORY;
      RaiseFailure("Out of memory");
    }
    return block;
  }

  LPVOID root_;
  HRESULT& hr_;
};
}  // namespace

CLDAPUser::CLDAPUser() = default;

CLDAPUser::~CLDAPUser() { Backend.reset(); }

void CLDAPUser::SetBackend(ABLDAPBackeEnd* backend) { Backend = ComPtr<ABLDAPBackeEnd>::AddRefed(backend); }

std::unique_ptr<CBinary> CLDAPUser::MakeEntryID() const {
  if (!Backend) return nullptr;
  return Backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, DistinguishedName);
}

HRESULT CLDAPUser::AddContentsRow(ITableData* table) {
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    if (!Backend) RaiseFailure("No backend assigned");
    // Without the table there is nowhere to write the row.
    if (!table) RaiseFailure("No contents table");
    const std::unique_ptr<CBinary> entryID = MakeEntryID();
    if (!entryID) {
      hr = MAPI_E_NOT_ENOUGH_MEMORY;
      RaiseFailure("Out of memory");
    }
    // Empty texts stay empty strings in the row: a list shows an empty name, not an error.
    SPropValue values[7] = {};
    values[0].ulPropTag = PR_ADDRTYPE;
    values[0].Value.lpszA = const_cast<LPSTR>(kAddressType);
    values[1].ulPropTag = PR_DISPLAY_NAME;
    values[1].Value.lpszA = const_cast<LPSTR>(DisplayName.c_str());
    values[2].ulPropTag = PR_DISPLAY_TYPE;
    values[2].Value.l = DT_MAILUSER;
    values[3].ulPropTag = PR_EMAIL_ADDRESS;
    values[3].Value.lpszA = const_cast<LPSTR>(EmailAddress.c_str());
    values[4].ulPropTag = PR_ENTRYID;
    values[4].Value.bin = entryID->AsSBinary();
    values[5].ulPropTag = PR_INSTANCE_KEY;
    values[5].Value.bin = entryID->AsSBinary();
    values[6].ulPropTag = PR_OBJECT_TYPE;
    values[6].Value.l = MAPI_MAILUSER;
    SRow row{0, 7, values};
    hr = table->HrModifyRow(&row);
  });
}

HRESULT CLDAPUser::GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                            LPSPropValue* lppPropArray) {
  TraceObject("CLDAPUser::GetProps", this);
  HRESULT hr = MAPI_E_INVALID_PARAMETER;
  return Guarded(hr, [&] {
    if (!lpcValues || !lppPropArray) RaiseFailure("Invalid parameter");
    const SPropTagArray* tags = lpPropTagArray ? lpPropTagArray : DefaultTags();
    if (tags->cValues == 0) RaiseFailure("Invalid parameter");
    *lpcValues = 0;
    *lppPropArray = nullptr;
    if (ulFlags & MAPI_UNICODE) {
      hr = MAPI_E_BAD_CHARWIDTH;
      RaiseFailure("Do not support UNICODE");
    }
    const std::unique_ptr<CBinary> entryID = MakeEntryID();
    if (!entryID || !entryID->lpb) {
      hr = MAPI_E_NOT_ENOUGH_MEMORY;
      RaiseFailure("Out of memory");
    }
    const ULONG count = tags->cValues;
    // Owned until handed out, so that a failure frees the strings and binaries with it.
    MapiBuffer<SPropValue> values = NewPropValueArray(count, hr);

    PropWriter w(values.get(), hr);
    const std::string searchKey = std::string(kAddressType) + ":" + EmailAddress;
    for (ULONG i = 0; i < count; ++i) {
      SPropValue& v = values.get()[i];
      const ULONG id = PROP_ID(tags->aulPropTag[i]);
      switch (id) {
        case PROP_ID_NULL: w.Long(v, PR_NULL, 0); break;
        case PROP_ID(PR_CURRENT_VERSION):
        case PROP_ID(PR_CREATION_VERSION):
          v.ulPropTag = PROP_TAG(PT_I8, id);
          v.Value.li.u.LowPart = 0;
          v.Value.li.u.HighPart = 1;
          break;
        case PROP_ID(PR_ACCESS): w.Long(v, PR_ACCESS, MAPI_ACCESS_READ); break;
        case PROP_ID(PR_ACCESS_LEVEL): w.Long(v, PR_ACCESS_LEVEL, 0); break;
        case PROP_ID(PR_RECORD_KEY): w.Binary(v, PR_RECORD_KEY, entryID->lpb, entryID->cb); break;
        case PROP_ID(PR_OBJECT_TYPE): w.Long(v, PR_OBJECT_TYPE, MAPI_MAILUSER); break;
        case PROP_ID(PR_ENTRYID): w.Binary(v, PR_ENTRYID, entryID->lpb, entryID->cb); break;
        case PROP_ID(PR_DISPLAY_NAME): w.Text(v, PR_DISPLAY_NAME, DisplayName); break;
        case PROP_ID(PR_ADDRTYPE): w.Text(v, PR_ADDRTYPE, kAddressType); break;
        case PROP_ID(PR_EMAIL_ADDRESS): w.Text(v, PR_EMAIL_ADDRESS, EmailAddress); break;
        case PROP_ID(PR_SEARCH_KEY):
          w.Binary(v, PR_SEARCH_KEY, reinterpret_cast<const BYTE*>(searchKey.data()), searchKey.size());
          break;
        case PROP_ID(PR_DETAILS_TABLE): v.ulPropTag = PR_DETAILS_TABLE; break;  // opened with OpenProperty
        case PROP_ID(PR_DISPLAY_TYPE): w.Long(v, PR_DISPLAY_TYPE, DT_MAILUSER); break;
        case PROP_ID(PR_SMTP_ADDRESS): w.Text(v, PR_SMTP_ADDRESS, EmailAddress); break;
        case PROP_ID(PR_7BIT_DISPLAY_NAME): w.Text(v, PR_7BIT_DISPLAY_NAME, SevenBitText(DisplayName)); break;
        case PROP_ID(PR_GIVEN_NAME): w.Text(v, PR_GIVEN_NAME, GivenName); break;
        case PROP_ID(PR_BUSINESS_TELEPHONE_NUMBER): w.Text(v, PR_BUSINESS_TELEPHONE_NUMBER, BusinessPhone); break;
        case PROP_ID(PR_SURNAME): w.Text(v, PR_SURNAME, Surname); break;
        case PROP_ID(PR_COMPANY_NAME): w.Text(v, PR_COMPANY_NAME, Company); break;
        case PROP_ID(PR_TITLE): w.Text(v, PR_TITLE, Title); break;
        case PROP_ID(PR_DEPARTMENT_NAME): w.Text(v, PR_DEPARTMENT_NAME, Department); break;
        case PROP_ID(PR_MOBILE_TELEPHONE_NUMBER): w.Text(v, PR_MOBILE_TELEPHONE_NUMBER, Mobile); break;
        case PROP_ID(PR_TRANSMITABLE_DISPLAY_NAME): w.Text(v, PR_TRANSMITABLE_DISPLAY_NAME, DisplayName); break;
        case PROP_ID(PR_BUSINESS_FAX_NUMBER): w.Text(v, PR_BUSINESS_FAX_NUMBER, BusinessFax); break;
        case PROP_ID(PR_SEND_RICH_INFO):
          v.ulPropTag = PR_SEND_RICH_INFO;
          v.Value.b = 0;
          break;
        case PROP_ID(PR_INITIAL_DETAILS_PANE): w.Long(v, PR_INITIAL_DETAILS_PANE, 0); break;
        case PROP_ID(PR_LDAP_DN): w.Text(v, PR_LDAP_DN, DistinguishedName); break;
        default: w.NotFound(v, id); break;
      }
    }
    *lpcValues = count;
    *lppPropArray = values.release();
    hr = w.errors ? MAPI_W_ERRORS_RETURNED : S_OK;
  });
}

HRESULT CLDAPUser::GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) {
  TraceObject("CLDAPUser::GetPropList", this);
  HRESULT hr = MAPI_E_INVALID_PARAMETER;
  return Guarded(hr, [&] {
    if (!lppPropTagArray) RaiseFailure("Invalid parameter");
    *lppPropTagArray = nullptr;
    if (ulFlags & MAPI_UNICODE) {
      hr = MAPI_E_BAD_CHARWIDTH;
      RaiseFailure("Do not support UNICODE");
    }
    MapiBuffer<SPropTagArray> tags(pfnFreeBuffer);
    hr = pfnAllocateBuffer(CbNewSPropTagArray(USER_PROP_COUNT), tags.put());
    if (FAILED(hr) || !tags) {
      if (SUCCEEDED(hr)) hr = MAPI_E_NOT_ENOUGH_MEMORY;
      tags.release();
      RaiseFailure("Unable to allocate array");
    }
    std::memcpy(tags.get(), &UserPropList, CbNewSPropTagArray(USER_PROP_COUNT));
    *lppPropTagArray = tags.release();
    hr = S_OK;
  });
}

HRESULT CLDAPUser::OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG, ULONG, LPUNKNOWN* lppUnk) {
  ObjectLock lock(*this);
  if (!lppUnk) return MAPI_E_INVALID_PARAMETER;
  *lppUnk = nullptr;
  if (ulPropTag != PR_DETAILS_TABLE) return MAPI_E_NO_SUPPORT;
  // MAPI's documented answer to a missing interface identifier.
  if (!lpiid) return MAPI_E_INVALID_PARAMETER;
  if (*lpiid != IID_IMAPITable) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  LPMAPITABLE table = nullptr;
  const HRESULT hr = BuildDetailsTable(this, &table);
  *lppUnk = table;
  return hr;
}

HRESULT BuildDetailsTable(CLDAPUser* user, LPMAPITABLE* lppTable) {
  if (!lppTable) return MAPI_E_INVALID_PARAMETER;
  *lppTable = nullptr;
  // The template belongs to the module whose handle the backend got; without a backend
  // there is no module to take it from.
  if (!user || !user->Backend) return MAPI_E_NO_SUPPORT;
  const HINSTANCE instance = user->Backend->Instance;
  try {
    RegisterModuleResources(instance);
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
  return BuildDisplayTable(pfnAllocateBuffer, pfnAllocateMore, pfnFreeBuffer, nullptr, instance, 1,
                           &detailsPageDescription, 0, lppTable, nullptr);
}
