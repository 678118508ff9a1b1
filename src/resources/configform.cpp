#include "resources/configform.h"

#include <cstring>

namespace {
using K = FormControlKind;

// clang-format off
constexpr FormControl kControls[] = {
    {"PageControl", K::Page, "", "", 0, 0, 393, 317},
    {"TabSheetGeneral", K::Page, "PageControl", "General", 0, 0, 0, 0},
    {"TabSheetConnection", K::Page, "PageControl", "Connection", 0, 0, 0, 0},
    {"TabSheetSearchOptions", K::Page, "PageControl", "Search Options", 0, 0, 0, 0},
    {"TabSheetSchema", K::Page, "PageControl", "Schema Mapping", 0, 0, 0, 0},
    {"TabSheetAbout", K::Page, "PageControl", "About", 0, 0, 0, 0},
    {"ButtonOk", K::Button, "", "&OK", 220, 324, 75, 25},
    {"ButtonCancel", K::Button, "", "&Cancel", 308, 324, 75, 25},
    // General
    {"GroupBox1", K::GroupBox, "TabSheetGeneral", "  Display Name  ", 8, 8, 369, 73},
    {"Label1", K::Label, "GroupBox1", "The display name as it appears in Outlook", 16, 20, 197, 13},
    {"EditDisplayName", K::Edit, "GroupBox1", "", 16, 40, 333, 21},
    {"GroupBox8", K::GroupBox, "TabSheetGeneral", "  Show Names By  ", 8, 84, 369, 93},
    {"RadioButtonFirstName", K::RadioButton, "GroupBox8", "First Name ( e.g. John Smith )", 16, 20, 333, 17},
    {"RadioButtonLastName", K::RadioButton, "GroupBox8", "Last Name ( e.g. Smith, John )", 16, 44, 329, 17},
    {"RadioButtonCN", K::RadioButton, "GroupBox8", "Common Name ( Kolab Servers )", 16, 68, 329, 17},
    {"GroupBox2", K::GroupBox, "TabSheetGeneral", "  Comment  ", 8, 184, 369, 97},
    {"MemoNotes", K::Memo, "GroupBox2", "", 16, 24, 333, 57},
    // Connection
    {"GroupBox3", K::GroupBox, "TabSheetConnection", "  Server Information  ", 8, 8, 369, 101},
    {"Label2", K::Label, "GroupBox3", "Server Name:", 16, 24, 65, 13},
    {"EditServerName", K::Edit, "GroupBox3", "", 88, 20, 265, 21},
    {"CheckBoxUseSSL", K::CheckBox, "GroupBox3", "Use Secure Socket Layer (SSL)", 16, 50, 181, 17},
    {"CheckBoxVersion3", K::CheckBox, "GroupBox3", "Use LDAP version 3", 16, 74, 181, 17},
    {"GroupBox4", K::GroupBox, "TabSheetConnection", " Authentication ", 8, 116, 369, 117},
    {"CBAuthenticate", K::CheckBox, "GroupBox4", "Do not authenticate to the server. (Anonymous Bind)", 16, 20, 341, 17},
    {"LabelDN", K::Label, "GroupBox4", "Distinguished Name:", 16, 48, 97, 13},
    {"EditDN", K::Edit, "GroupBox4", "", 120, 44, 233, 21},
    {"LabelPassword", K::Label, "GroupBox4", "Password:", 16, 80, 49, 13},
    {"EditPassword", K::Edit, "GroupBox4", "", 120, 76, 233, 21},
    // Search Options
    {"GroupBox5", K::GroupBox, "TabSheetSearchOptions", "  Search Options  ", 8, 4, 369, 141},
    {"Label5", K::Label, "GroupBox5", "Seach DN:", 16, 24, 53, 13},
    {"EditSearchDN", K::Edit, "GroupBox5", "", 88, 20, 265, 21},
    {"Label7", K::Label, "GroupBox5", "Example: ou=people,dc=example,dc=org", 88, 44, 201, 13},
    {"Label4", K::Label, "GroupBox5", "Seach String:", 16, 68, 64, 13},
    {"EditSearchString", K::Edit, "GroupBox5", "", 88, 64, 265, 21},
    {"Label6", K::Label, "GroupBox5", "Example: (&&(objectClass=inetOrgPerson)(mail=*))", 88, 88, 225, 13},
    {"CheckBoxDeepSearch", K::CheckBox, "GroupBox5", "Search Subtrees ( Deep Search )", 16, 112, 181, 17},
    {"GroupBox6", K::GroupBox, "TabSheetSearchOptions", "  Search Limits  ", 8, 148, 369, 57},
    {"LabelTimeOut", K::Label, "GroupBox6", "Search Timeout (seconds):", 16, 28, 127, 13},
    {"CSpinEditTimeOut", K::SpinEdit, "GroupBox6", "", 236, 20, 101, 22},
    {"GroupBox7", K::GroupBox, "TabSheetSearchOptions", "  Cache File  ", 8, 208, 369, 65},
    {"LabelCacheFileName", K::Label, "GroupBox7", "Cache File Name:", 16, 32, 84, 13},
    {"EditCacheFileName", K::Edit, "GroupBox7", "", 108, 29, 181, 21},
    {"ButtonCache", K::Button, "GroupBox7", "Browse", 300, 28, 57, 25},
    // Schema Mapping
    {"Label8", K::Label, "TabSheetSchema", "This maps the LDAP attributes to the Outlook address fields. This should only be done by an expert user.", 12, 8, 361, 33},
    {"VLESchema", K::ValueList, "TabSheetSchema", "", 12, 48, 365, 197},
    {"ButtonLoadSchema", K::Button, "TabSheetSchema", "Load ...", 216, 256, 75, 21},
    {"ButtonSaveSchema", K::Button, "TabSheetSchema", "Save ...", 300, 256, 75, 21},
    // About
    {"Panel1", K::Panel, "TabSheetAbout", "", 8, 28, 152, 232},
    {"Image1", K::Image, "Panel1", "", 1, 1, 150, 230},
    {"Label9", K::Label, "TabSheetAbout", "Pernix LDAP Address Book on the Internet", 172, 28, 202, 13},
    {"Label3", K::Label, "TabSheetAbout", kWebAddress, 232, 44, 82, 13},
    {"LabelVersion", K::Label, "TabSheetAbout", kVersionLabel, 173, 72, 201, 13},
};

constexpr const char* kDesignRows[] = {
    "First Name=firstname", "Last Name=lastname", "Title=title", "Company=o", "Department=ou",
    "Telephone Number=telephoneNumber", "Fax Number=facsimileTelephoneNumber", "E-mail Address=mail"};

constexpr FormFileDialog kFileDialogs[] = {
    {"OpenDialogSchema", false, "pxm", "Pernix Address Mapping (*.pxm)|*.pxm", false, true},
    {"SaveDialogSchema", true, "pxm", "Pernix Address Mapping (*.pxm)|*.pxm", true, false},
    {"SaveDialogCache", true, "pxb", "Pernix LDAP Address Book ( *.pxb)|*.pxb", true, false},
};
// clang-format on
}  // namespace

const std::span<const char* const> kDesignSchemaRows{kDesignRows};

const char* const kDefaultSchemaMapping =
    "First Name=givenname\nLast Name=sn\nTitle=title\nCompany=o\nDepartment=ou\n"
    "Telephone Number=telephoneNumber\nFax Number=facsimileTelephoneNumber\nMobile=mobile\nE-mail Address=mail";

std::span<const FormControl> ConfigFormControls() { return kControls; }

const FormControl* FindConfigFormControl(const char* name) {
  for (const FormControl& control : kControls)
    if (std::strcmp(control.name, name) == 0) return &control;
  return nullptr;
}

std::span<const FormFileDialog> ConfigFormFileDialogs() { return kFileDialogs; }

const FormFileDialog& FindConfigFormFileDialog(const char* name) {
  for (const FormFileDialog& dialog : kFileDialogs)
    if (std::strcmp(dialog.name, name) == 0) return dialog;
  return kFileDialogs[0];
}
