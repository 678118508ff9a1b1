// BuildDisplayTable over the dialog templates that modules register.

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "mapidisp.h"
#include "mapiguid.h"
#include "mapiptr.h"
#include "mapitags.h"

namespace {

std::mutex registryMutex;
std::map<std::pair<HINSTANCE, ULONG>, DialogTemplate>& Registry() {
  static auto* registry = new std::map<std::pair<HINSTANCE, ULONG>, DialogTemplate>();  // outlives unloading
  return *registry;
}

// The template id a resource name stands for: an integer resource, or "#<number>" as
// resource scripts write it. Other names are not templates any module registers.
bool TemplateId(LPCSTR name, ULONG& id) {
  if (IS_INTRESOURCE(name)) {
    id = static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(name));
    return true;
  }
  if (name[0] != '#' || !name[1]) return false;
  char* end = nullptr;
  const unsigned long value = std::strtoul(name + 1, &end, 10);
  if (*end || value > 0xFFFF) return false;
  id = static_cast<ULONG>(value);
  return true;
}

// A control structure followed by its texts, as PR_CONTROL_STRUCTURE carries it.
class Structure {
 public:
  template <class T>
  explicit Structure(const T& fixed)
      : bytes_(reinterpret_cast<const BYTE*>(&fixed), reinterpret_cast<const BYTE*>(&fixed) + sizeof fixed) {}
  // Appends a text and returns its offset from the start of the structure.
  ULONG Append(const std::string& text) {
    const auto offset = static_cast<ULONG>(bytes_.size());
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back(0);
    return offset;
  }
  // Writes an offset into the structure's member at byte `at`.
  void SetOffset(std::size_t at, ULONG offset) { std::memcpy(bytes_.data() + at, &offset, sizeof offset); }
  std::vector<BYTE>& Bytes() { return bytes_; }

 private:
  std::vector<BYTE> bytes_;
};

// Builds the control structure of one control; the texts come from the template (labels,
// captions) or the control (edit filters), never from the caller's structure, whose text
// offsets need not point at anything.
HRESULT BuildStructure(const DTCTL& control, const std::string& label, const std::string& component,
                       std::vector<BYTE>& out) {
  if (!control.ctl.lpv) return MAPI_E_INVALID_PARAMETER;
  const std::string filter = control.lpszFilter ? control.lpszFilter : "*";
  auto labelled = [&](auto fixed) {
    fixed.ulbLpszLabel = 0;
    Structure s(fixed);
    s.SetOffset(offsetof(decltype(fixed), ulbLpszLabel), s.Append(label));
    out = std::move(s.Bytes());
    return S_OK;
  };
  switch (control.ulCtlType) {
    case DTCT_LABEL: return labelled(*control.ctl.lplabel);
    case DTCT_GROUPBOX: return labelled(*control.ctl.lpgroupbox);
    case DTCT_CHECKBOX: return labelled(*control.ctl.lpcheckbox);
    case DTCT_BUTTON: return labelled(*control.ctl.lpbutton);
    case DTCT_RADIOBUTTON: return labelled(*control.ctl.lpradiobutton);
    case DTCT_PAGE: {
      DTBLPAGE page = *control.ctl.lppage;
      page.ulbLpszLabel = 0;
      page.ulbLpszComponent = 0;
      Structure s(page);
      s.SetOffset(offsetof(DTBLPAGE, ulbLpszLabel), s.Append(label));
      if (!component.empty()) s.SetOffset(offsetof(DTBLPAGE, ulbLpszComponent), s.Append(component));
      out = std::move(s.Bytes());
      return S_OK;
    }
    case DTCT_EDIT: {
      DTBLEDIT edit = *control.ctl.lpedit;
      Structure s(edit);
      s.SetOffset(offsetof(DTBLEDIT, ulbLpszCharsAllowed), s.Append(filter));
      out = std::move(s.Bytes());
      return S_OK;
    }
    case DTCT_COMBOBOX: {
      DTBLCOMBOBOX combo = *control.ctl.lpcombobox;
      Structure s(combo);
      s.SetOffset(offsetof(DTBLCOMBOBOX, ulbLpszCharsAllowed), s.Append(filter));
      out = std::move(s.Bytes());
      return S_OK;
    }
    case DTCT_LBX: out = Structure(*control.ctl.lplbx).Bytes(); return S_OK;
    case DTCT_DDLBX: out = Structure(*control.ctl.lpddlbx).Bytes(); return S_OK;
    case DTCT_MVLISTBOX: out = Structure(*control.ctl.lpmvlbx).Bytes(); return S_OK;
    case DTCT_MVDDLBX: out = Structure(*control.ctl.lpmvddlbx).Bytes(); return S_OK;
    default: return MAPI_E_INVALID_PARAMETER;
  }
}

enum Column { kRowId, kXPos, kYPos, kDeltaX, kDeltaY, kType, kFlags, kStructure, kControlId, kInstanceKey, kColumns };

}  // namespace

void RegisterDialogTemplate(HINSTANCE hInstance, ULONG id, const DialogTemplate& dialog) {
  std::lock_guard guard(registryMutex);
  Registry()[{hInstance, id}] = dialog;
}

void UnregisterDialogTemplate(HINSTANCE hInstance, ULONG id) {
  std::lock_guard guard(registryMutex);
  Registry().erase({hInstance, id});
}

HRESULT STDAPICALLTYPE BuildDisplayTable(LPALLOCATEBUFFER lpAllocateBuffer, LPALLOCATEMORE lpAllocateMore,
                                         LPFREEBUFFER lpFreeBuffer, LPMALLOC, HINSTANCE hInstance, UINT cPages,
                                         LPDTPAGE lpPage, ULONG ulFlags, LPMAPITABLE* lppTable,
                                         LPTABLEDATA* lppTblData) {
  if (!lppTable) return MAPI_E_INVALID_PARAMETER;
  *lppTable = nullptr;
  if (lppTblData) *lppTblData = nullptr;
  if (!lpAllocateBuffer || !lpAllocateMore || !lpFreeBuffer || !lpPage || cPages == 0) return MAPI_E_INVALID_PARAMETER;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  if (ulFlags) return MAPI_E_UNKNOWN_FLAGS;

  // Copies of the templates, so that the registry's lock is not held while the table fills.
  std::vector<DialogTemplate> dialogs;
  try {
    std::lock_guard guard(registryMutex);
    for (UINT p = 0; p < cPages; ++p) {
      ULONG id = 0;
      if (!lpPage[p].lpszResourceName || !TemplateId(lpPage[p].lpszResourceName, id)) return MAPI_E_NOT_FOUND;
      const auto found = Registry().find({hInstance, id});
      if (found == Registry().end()) return MAPI_E_NOT_FOUND;
      dialogs.push_back(found->second);
    }
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }

  SizedSPropTagArray(kColumns, columns) = {kColumns,
                                           {PR_ROWID, PR_XPOS, PR_YPOS, PR_DELTAX, PR_DELTAY, PR_CONTROL_TYPE,
                                            PR_CONTROL_FLAGS, PR_CONTROL_STRUCTURE, PR_CONTROL_ID, PR_INSTANCE_KEY}};
  ComPtr<ITableData> data;
  if (const SCODE sc = CreateTable(&IID_IMAPITableData, lpAllocateBuffer, lpAllocateMore, lpFreeBuffer, nullptr,
                                   TBLTYPE_SNAPSHOT, PR_ROWID, reinterpret_cast<LPSPropTagArray>(&columns), data.put());
      FAILED(sc))
    return sc;

  try {
    LONG rowId = 0;
    for (UINT p = 0; p < cPages; ++p) {
      const DTPAGE& page = lpPage[p];
      const DialogTemplate& dialog = dialogs[p];
      if (page.cctl && !page.lpctl) return MAPI_E_INVALID_PARAMETER;
      // The union holds a help-component string or a small integer item id.
      std::string component;
      if (page.ulItemID > 0xFFFF && page.lpszComponent) component = page.lpszComponent;
      for (ULONG c = 0; c < page.cctl; ++c) {
        const DTCTL& control = page.lpctl[c];
        int x = 0, y = 0, cx = dialog.cx, cy = dialog.cy;
        std::string label = dialog.caption;
        if (control.ulCtlType != DTCT_PAGE) {
          const DialogControl* item = dialog.Find(control.ulItemID);
          if (!item) return MAPI_E_NOT_FOUND;
          x = item->x;
          y = item->y;
          cx = item->cx;
          cy = item->cy;
          label = item->text;
        }
        std::vector<BYTE> structure;
        if (const HRESULT hr = BuildStructure(control, label, component, structure); FAILED(hr)) return hr;
        std::vector<BYTE> controlId;
        if (control.lpbNotif && control.cbNotif)
          controlId.assign(control.lpbNotif, control.lpbNotif + control.cbNotif);
        else
          controlId.assign(reinterpret_cast<const BYTE*>(&control.ulItemID),
                           reinterpret_cast<const BYTE*>(&control.ulItemID) + sizeof control.ulItemID);

        // Every MAPI table's rows carry an instance key; here the row's number, as bytes.
        const LONG instance = rowId;
        SPropValue values[kColumns] = {};
        const std::pair<ULONG, LONG> longs[] = {{PR_ROWID, rowId++},
                                                {PR_XPOS, x},
                                                {PR_YPOS, y},
                                                {PR_DELTAX, cx},
                                                {PR_DELTAY, cy},
                                                {PR_CONTROL_TYPE, static_cast<LONG>(control.ulCtlType)},
                                                {PR_CONTROL_FLAGS, static_cast<LONG>(control.ulCtlFlags)}};
        for (int i = 0; i < kStructure; ++i) {
          values[i].ulPropTag = longs[i].first;
          values[i].Value.l = longs[i].second;
        }
        values[kStructure].ulPropTag = PR_CONTROL_STRUCTURE;
        values[kStructure].Value.bin = {static_cast<ULONG>(structure.size()), structure.data()};
        values[kControlId].ulPropTag = PR_CONTROL_ID;
        values[kControlId].Value.bin = {static_cast<ULONG>(controlId.size()), controlId.data()};
        values[kInstanceKey].ulPropTag = PR_INSTANCE_KEY;
        values[kInstanceKey].Value.bin = {sizeof instance, reinterpret_cast<LPBYTE>(const_cast<LONG*>(&instance))};
        SRow row{0, kColumns, values};
        if (const HRESULT hr = data->HrModifyRow(&row); FAILED(hr)) return hr;
      }
    }
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }

  if (const HRESULT hr = data->HrGetView(nullptr, nullptr, 0, lppTable); FAILED(hr)) return hr;
  if (lppTblData) *lppTblData = data.detach();
  return S_OK;
}
