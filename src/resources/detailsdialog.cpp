#include "resources/detailsdialog.h"

#include <mutex>
#include <set>

namespace {
constexpr DWORD kGroupBoxStyle = 0x50000007;  // WS_CHILD | WS_VISIBLE | BS_GROUPBOX
constexpr DWORD kLabelStyle = 0x50020000;     // WS_CHILD | WS_VISIBLE | WS_GROUP, left-aligned
constexpr DWORD kNoWrapStyle = 0x5002000B;    // the same with SS_LEFTNOWORDWRAP
constexpr DWORD kEditStyle = 0x50810000;      // WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP
constexpr DWORD kDialogStyle = 0x50C00040;    // WS_CHILD | WS_VISIBLE | WS_CAPTION | DS_SETFONT

DialogTemplate MakeUserDetailsDialog() {
  using C = DialogControlClass;
  DialogTemplate dialog{"Pernix LDAP User Information", 6, 15, 232, 239, kDialogStyle, "MS Sans Serif", 8, {}};
  // Template order, which is also the keyboard order.
  dialog.controls = {
      {C::GroupBox, IDC_GROUP_USER, "User Information", 9, 7, 214, 82, kGroupBoxStyle},
      {C::GroupBox, IDC_GROUP_ORGANIZATION, "Organizational Information", 9, 95, 214, 65, kGroupBoxStyle},
      {C::GroupBox, IDC_GROUP_TELEPHONE, "Telephone Numbers", 9, 168, 214, 65, kGroupBoxStyle},
      {C::Label, IDC_LABEL_DISPLAY_NAME, "Display Name:", 16, 23, 51, 8, kLabelStyle},
      {C::Label, IDC_LABEL_FIRST_NAME, "First Name:", 16, 39, 51, 8, kNoWrapStyle},
      {C::Label, IDC_LABEL_LAST_NAME, "Last Name:", 16, 56, 51, 8, kLabelStyle},
      {C::Label, IDC_LABEL_COMPANY, "Company:", 16, 111, 51, 8, kLabelStyle},
      {C::Label, IDC_LABEL_DEPARTMENT, "Department:", 16, 127, 51, 8, kLabelStyle},
      {C::Label, IDC_LABEL_TITLE, "Job Title:", 16, 143, 51, 8, kLabelStyle},
      {C::Label, IDC_LABEL_PHONE, "Phone:", 16, 184, 51, 8, kLabelStyle},
      {C::Label, IDC_LABEL_FAX, "Fax:", 16, 200, 51, 8, kLabelStyle},
      {C::Label, IDC_LABEL_MOBILE, "Mobile:", 16, 216, 51, 8, kLabelStyle},
      {C::Edit, IDC_EDIT_DISPLAY_NAME, "", 78, 20, 137, 12, kEditStyle},
      {C::Edit, IDC_EDIT_FIRST_NAME, "", 78, 37, 137, 12, kEditStyle},
      {C::Edit, IDC_EDIT_LAST_NAME, "", 78, 54, 137, 12, kEditStyle},
      {C::Edit, IDC_EDIT_COMPANY, "", 78, 110, 137, 12, kEditStyle},
      {C::Edit, IDC_EDIT_DEPARTMENT, "", 78, 126, 137, 12, kEditStyle},
      {C::Edit, IDC_EDIT_TITLE, "", 78, 142, 137, 12, kEditStyle},
      {C::Edit, IDC_EDIT_PHONE, "", 78, 182, 137, 12, kEditStyle},
      {C::Edit, IDC_EDIT_FAX, "", 78, 199, 137, 12, kEditStyle},
      {C::Edit, IDC_EDIT_MOBILE, "", 78, 215, 137, 12, kEditStyle},
      {C::Label, IDC_LABEL_EMAIL, "E-mail Address:", 16, 73, 51, 8, kLabelStyle},
      {C::Edit, IDC_EDIT_EMAIL, "", 78, 71, 137, 12, kEditStyle},
  };
  return dialog;
}

std::mutex registeredMutex;
std::set<HINSTANCE>& Registered() {
  static auto* registered = new std::set<HINSTANCE>();  // used until the process ends
  return *registered;
}
}  // namespace

const DialogTemplate& UserDetailsDialog() {
  static const DialogTemplate dialog = MakeUserDetailsDialog();
  return dialog;
}

void RegisterModuleResources(HINSTANCE instance) {
  std::lock_guard guard(registeredMutex);
  if (Registered().count(instance)) return;
  RegisterDialogTemplate(instance, IDD_USER_DETAILS, UserDetailsDialog());
  Registered().insert(instance);
}

void UnregisterModuleResources(HINSTANCE instance) {
  std::lock_guard guard(registeredMutex);
  UnregisterDialogTemplate(instance, IDD_USER_DETAILS);
  Registered().erase(instance);
}
