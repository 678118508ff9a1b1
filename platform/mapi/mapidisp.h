// Display tables: MAPI's page and control descriptions, BuildDisplayTable, and the dialog
// templates a module carries for them.
#pragma once

#include <string>
#include <vector>

#include "mapitable.h"

// Control types (PR_CONTROL_TYPE).
constexpr ULONG DTCT_LABEL = 0x00000000;
constexpr ULONG DTCT_EDIT = 0x00000001;
constexpr ULONG DTCT_LBX = 0x00000002;
constexpr ULONG DTCT_COMBOBOX = 0x00000003;
constexpr ULONG DTCT_DDLBX = 0x00000004;
constexpr ULONG DTCT_CHECKBOX = 0x00000005;
constexpr ULONG DTCT_GROUPBOX = 0x00000006;
constexpr ULONG DTCT_BUTTON = 0x00000007;
constexpr ULONG DTCT_PAGE = 0x00000008;
constexpr ULONG DTCT_RADIOBUTTON = 0x00000009;
constexpr ULONG DTCT_MVLISTBOX = 0x0000000B;
constexpr ULONG DTCT_MVDDLBX = 0x0000000C;

// Control flags (PR_CONTROL_FLAGS).
constexpr ULONG DT_MULTILINE = 0x00000001;
constexpr ULONG DT_EDITABLE = 0x00000002;
constexpr ULONG DT_REQUIRED = 0x00000004;
constexpr ULONG DT_SET_IMMEDIATE = 0x00000008;
constexpr ULONG DT_PASSWORD_EDIT = 0x00000010;
constexpr ULONG DT_ACCEPT_DBCS = 0x00000020;
constexpr ULONG DT_SET_SELECTION = 0x00000040;

// Control structures. A `ulb...` member is the offset of a text from the start of its own
// structure; in a display table's PR_CONTROL_STRUCTURE the texts follow the structure.
struct DTBLLABEL {
  ULONG ulbLpszLabel;
  ULONG ulFlags;
};
struct DTBLEDIT {
  ULONG ulbLpszCharsAllowed;
  ULONG ulFlags;
  ULONG ulNumCharsAllowed;
  ULONG ulPropTag;
};
struct DTBLLBX {
  ULONG ulFlags;
  ULONG ulPRSetProperty;
  ULONG ulPRTableName;
};
struct DTBLCOMBOBOX {
  ULONG ulbLpszCharsAllowed;
  ULONG ulFlags;
  ULONG ulNumCharsAllowed;
  ULONG ulPRPropertyName;
  ULONG ulPRTableName;
};
struct DTBLDDLBX {
  ULONG ulFlags;
  ULONG ulPRDisplayProperty;
  ULONG ulPRSetProperty;
  ULONG ulPRTableName;
};
struct DTBLCHECKBOX {
  ULONG ulbLpszLabel;
  ULONG ulFlags;
  ULONG ulPRPropertyName;
};
struct DTBLGROUPBOX {
  ULONG ulbLpszLabel;
  ULONG ulFlags;
};
struct DTBLBUTTON {
  ULONG ulbLpszLabel;
  ULONG ulFlags;
  ULONG ulPRControl;
};
struct DTBLPAGE {
  ULONG ulbLpszLabel;
  ULONG ulFlags;
  ULONG ulbLpszComponent;
  ULONG ulContext;
};
struct DTBLRADIOBUTTON {
  ULONG ulbLpszLabel;
  ULONG ulFlags;
  ULONG ulcButtons;
  ULONG ulPropTag;
  LONG lReturnValue;
};
struct DTBLMVLISTBOX {
  ULONG ulFlags;
  ULONG ulMVPropTag;
};
struct DTBLMVDDLBX {
  ULONG ulFlags;
  ULONG ulMVPropTag;
};
using LPDTBLLABEL = DTBLLABEL*;
using LPDTBLEDIT = DTBLEDIT*;
using LPDTBLLBX = DTBLLBX*;
using LPDTBLCOMBOBOX = DTBLCOMBOBOX*;
using LPDTBLDDLBX = DTBLDDLBX*;
using LPDTBLCHECKBOX = DTBLCHECKBOX*;
using LPDTBLGROUPBOX = DTBLGROUPBOX*;
using LPDTBLBUTTON = DTBLBUTTON*;
using LPDTBLPAGE = DTBLPAGE*;
using LPDTBLRADIOBUTTON = DTBLRADIOBUTTON*;
using LPDTBLMVLISTBOX = DTBLMVLISTBOX*;
using LPDTBLMVDDLBX = DTBLMVDDLBX*;

// One control of a page.
struct DTCTL {
  ULONG ulCtlType;
  ULONG ulCtlFlags;
  LPBYTE lpbNotif;
  ULONG cbNotif;
  LPSTR lpszFilter;
  ULONG ulItemID;  // the control's identifier in the dialog template
  union {
    LPVOID lpv;
    LPDTBLLABEL lplabel;
    LPDTBLEDIT lpedit;
    LPDTBLLBX lplbx;
    LPDTBLCOMBOBOX lpcombobox;
    LPDTBLDDLBX lpddlbx;
    LPDTBLCHECKBOX lpcheckbox;
    LPDTBLGROUPBOX lpgroupbox;
    LPDTBLBUTTON lpbutton;
    LPDTBLRADIOBUTTON lpradiobutton;
    LPDTBLMVLISTBOX lpmvlbx;
    LPDTBLMVDDLBX lpmvddlbx;
    LPDTBLPAGE lppage;
  } ctl;
};
using LPDTCTL = DTCTL*;

// One page: its dialog template (a name or an integer resource) and its controls.
struct DTPAGE {
  ULONG cctl;
  LPSTR lpszResourceName;
  union {
    LPSTR lpszComponent;
    ULONG ulItemID;
  };
  LPDTCTL lpctl;
};
using LPDTPAGE = DTPAGE*;

// Integer resource identifiers travel in a string pointer, as on Windows.
#ifndef MAKEINTRESOURCEA
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#endif
#ifndef MAKEINTRESOURCE
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#endif
#ifndef IS_INTRESOURCE
#define IS_INTRESOURCE(p) ((reinterpret_cast<ULONG_PTR>(p) >> 16) == 0)
#endif

// Builds a display table from `cPages` pages and the dialog templates that `hInstance` has
// registered: one row per control, pages in order, each page's own row (DTCT_PAGE) before its
// controls. The columns are PR_ROWID (the index), PR_XPOS, PR_YPOS, PR_DELTAX, PR_DELTAY (in
// dialog units), PR_CONTROL_TYPE, PR_CONTROL_FLAGS, PR_CONTROL_STRUCTURE (the control's
// structure followed by its texts: the label or group-box text or the page caption from the
// template, an edit's filter) and PR_CONTROL_ID (the control's notification bytes, or its
// template identifier as four bytes when it has none), then PR_INSTANCE_KEY (the row's
// PR_ROWID as four bytes). `lppTblData`, when not null, gets the
// table data too. MAPI_E_NOT_FOUND for an unknown instance, template or template control;
// MAPI_E_BAD_CHARWIDTH for MAPI_UNICODE (texts are 8-bit).
extern "C" HRESULT STDAPICALLTYPE BuildDisplayTable(LPALLOCATEBUFFER lpAllocateBuffer, LPALLOCATEMORE lpAllocateMore,
                                                    LPFREEBUFFER lpFreeBuffer, LPMALLOC lpMalloc, HINSTANCE hInstance,
                                                    UINT cPages, LPDTPAGE lpPage, ULONG ulFlags, LPMAPITABLE* lppTable,
                                                    LPTABLEDATA* lppTblData);

// A dialog template as a module carries it: the compact form of a dialog resource. Positions
// and sizes are in dialog units; styles keep their Windows values for whoever draws them.
enum class DialogControlClass { Label, Edit, GroupBox };

struct DialogControl {
  DialogControlClass controlClass;
  ULONG id;
  std::string text;  // label and group-box caption; empty for edits
  int x, y, cx, cy;
  DWORD style;
};

struct DialogTemplate {
  std::string caption;
  int x, y, cx, cy;
  DWORD style;
  std::string fontName;
  int pointSize;
  std::vector<DialogControl> controls;  // in tab order

  const DialogControl* Find(ULONG id) const {
    for (const auto& control : controls)
      if (control.id == id) return &control;
    return nullptr;
  }
};

// Registers (or replaces) template `id` of module `hInstance`, as a module's resources would
// carry it. Process-wide and thread-safe.
void RegisterDialogTemplate(HINSTANCE hInstance, ULONG id, const DialogTemplate& dialog);
// Forgets one template; a module unregisters its templates before it unloads.
void UnregisterDialogTemplate(HINSTANCE hInstance, ULONG id);
