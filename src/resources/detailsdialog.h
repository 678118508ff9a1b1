// Dialog template 100, the details page of a user, as the provider's module carries it.
#pragma once

#include "mapidisp.h"
#include "windows.h"

constexpr ULONG IDD_USER_DETAILS = 100;

// Control identifiers of dialog 100.
constexpr ULONG IDC_GROUP_USER = 101;
constexpr ULONG IDC_GROUP_ORGANIZATION = 102;
constexpr ULONG IDC_GROUP_TELEPHONE = 103;
constexpr ULONG IDC_EDIT_DISPLAY_NAME = 104;
constexpr ULONG IDC_EDIT_FIRST_NAME = 105;
constexpr ULONG IDC_EDIT_LAST_NAME = 106;
constexpr ULONG IDC_EDIT_COMPANY = 107;
constexpr ULONG IDC_EDIT_DEPARTMENT = 108;
constexpr ULONG IDC_EDIT_TITLE = 109;
constexpr ULONG IDC_EDIT_PHONE = 110;
constexpr ULONG IDC_EDIT_FAX = 111;
constexpr ULONG IDC_EDIT_MOBILE = 112;
constexpr ULONG IDC_LABEL_EMAIL = 113;
constexpr ULONG IDC_EDIT_EMAIL = 114;
constexpr ULONG IDC_LABEL_DISPLAY_NAME = 121;
constexpr ULONG IDC_LABEL_FIRST_NAME = 122;
constexpr ULONG IDC_LABEL_LAST_NAME = 123;
constexpr ULONG IDC_LABEL_COMPANY = 124;
constexpr ULONG IDC_LABEL_DEPARTMENT = 125;
constexpr ULONG IDC_LABEL_TITLE = 126;
constexpr ULONG IDC_LABEL_PHONE = 127;
constexpr ULONG IDC_LABEL_FAX = 128;
constexpr ULONG IDC_LABEL_MOBILE = 129;

// The template as the module's resources hold it.
const DialogTemplate& UserDetailsDialog();

// Makes the module's dialog templates known under the instance handle the platform gave the
// module, the way a loaded module's resources are found by its handle. Safe to call again and
// from several threads; the first call for a handle registers, later ones do nothing.
void RegisterModuleResources(HINSTANCE instance);
// Forgets them again, for a module about to unload.
void UnregisterModuleResources(HINSTANCE instance);
