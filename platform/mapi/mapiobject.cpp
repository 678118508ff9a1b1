#include "mapiobject.h"

#include <cstring>
#include <fstream>
#include <random>

namespace pxmapi {

std::atomic<long> liveObjects{0};

namespace {
thread_local std::string lastError;
}

void Fail(HRESULT hr, std::string message) { throw Failure{hr, std::move(message)}; }

void Check(HRESULT hr, const char* message) {
  if (FAILED(hr)) Fail(hr, message);
}

void SetLastErrorText(std::string text) { lastError = std::move(text); }
const std::string& LastErrorText() { return lastError; }

OwnedProp CopyProp(const SPropValue& value) {
  OwnedProp copy;
  const SCODE sc = ScDupPropset(1, const_cast<LPSPropValue>(&value), MAPIAllocateBuffer, copy.put_typed());
  if (sc == MAPI_E_NOT_ENOUGH_MEMORY) throw std::bad_alloc();
  if (FAILED(sc)) Fail(sc, "a property value that cannot be copied");
  return copy;
}

HRESULT AnswerProps(const PropMap& props, LPSPropTagArray tags, ULONG* lpcValues, LPSPropValue* lppPropArray) {
  if (!lpcValues || !lppPropArray) return MAPI_E_INVALID_PARAMETER;
  std::vector<ULONG> wanted;
  if (tags) {
    wanted.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
  } else {
    for (const auto& [id, value] : props) wanted.push_back(value->ulPropTag);
  }
  MapiBuffer<SPropValue> answer;
  Check(MAPIAllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) * (wanted.empty() ? 1 : wanted.size())), answer.put()),
        "out of memory");
  HRESULT hr = S_OK;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    SPropValue& out = answer.get()[i];
    std::memset(&out, 0, sizeof out);
    const auto found = props.find(PROP_ID(wanted[i]));
    const bool typeFits = found != props.end() && (PROP_TYPE(wanted[i]) == PT_UNSPECIFIED ||
                                                   PROP_TYPE(wanted[i]) == PROP_TYPE(found->second->ulPropTag));
    if (!typeFits) {
      out.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(wanted[i]));
      out.Value.err = MAPI_E_NOT_FOUND;
      hr = MAPI_W_ERRORS_RETURNED;
      continue;
    }
    Check(PropCopyMore(&out, found->second.get(), MAPIAllocateMore, answer.get()), "out of memory");
  }
  *lpcValues = static_cast<ULONG>(wanted.size());
  *lppPropArray = answer.release();
  return hr;
}

HRESULT AnswerPropList(const PropMap& props, LPSPropTagArray* lppPropTagArray) {
  if (!lppPropTagArray) return MAPI_E_INVALID_PARAMETER;
  MapiBuffer<SPropTagArray> list;
  Check(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(props.size())), list.put()), "out of memory");
  list->cValues = 0;
  for (const auto& [id, value] : props) list->aulPropTag[list->cValues++] = value->ulPropTag;
  *lppPropTagArray = list.release();
  return S_OK;
}

HRESULT AnswerLastError(HRESULT, ULONG ulFlags, LPMAPIERROR* lppMAPIError) {
  if (!lppMAPIError) return MAPI_E_INVALID_PARAMETER;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  *lppMAPIError = nullptr;
  const std::string& text = LastErrorText();
  if (text.empty()) return S_OK;
  return Run([&] {
    MapiBuffer<MAPIERROR> error;
    Check(MAPIAllocateBuffer(sizeof(MAPIERROR), error.put()), "out of memory");
    std::memset(error.get(), 0, sizeof(MAPIERROR));
    LPVOID text_copy = nullptr;
    Check(MAPIAllocateMore(static_cast<ULONG>(text.size() + 1), error.get(), &text_copy), "out of memory");
    std::memcpy(text_copy, text.c_str(), text.size() + 1);
    error->lpszError = static_cast<LPSTR>(text_copy);
    error->lpszComponent = const_cast<LPSTR>("pxmapi");
    *lppMAPIError = error.release();
  });
}

bool UidLess::operator()(const MAPIUID& a, const MAPIUID& b) const { return std::memcmp(a.ab, b.ab, sizeof a.ab) < 0; }
bool operator==(const MAPIUID& a, const MAPIUID& b) { return std::memcmp(a.ab, b.ab, sizeof a.ab) == 0; }

MAPIUID NewMapiUid() {
  static thread_local std::random_device device;
  MAPIUID uid;
  for (std::size_t i = 0; i < sizeof uid.ab; i += 4) {
    const unsigned value = device();
    std::memcpy(uid.ab + i, &value, 4);
  }
  return uid;
}

std::string UidText(const MAPIUID& uid) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (BYTE b : uid.ab) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

ComPtr<ITableData> NewTableData(ULONG indexTag, std::initializer_list<ULONG> columns) {
  std::vector<BYTE> buffer(CbNewSPropTagArray(columns.size()));
  auto* tags = reinterpret_cast<LPSPropTagArray>(buffer.data());
  tags->cValues = 0;
  for (ULONG tag : columns) tags->aulPropTag[tags->cValues++] = tag;
  ComPtr<ITableData> data;
  Check(CreateTable(&IID_IMAPITableData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, TBLTYPE_DYNAMIC,
                    indexTag, tags, data.put()),
        "cannot create a table");
  return data;
}

void PutRow(ITableData* table, std::vector<SPropValue> values) {
  SRow row{0, static_cast<ULONG>(values.size()), values.data()};
  Check(table->HrModifyRow(&row), "cannot write a table row");
}

HRESULT AnswerView(ITableData* table, LPMAPITABLE* lppTable) {
  if (!lppTable) return MAPI_E_INVALID_PARAMETER;
  return table->HrGetView(nullptr, nullptr, 0, lppTable);
}

SPropValue LongProp(ULONG tag, LONG value) {
  SPropValue prop{};
  prop.ulPropTag = tag;
  prop.Value.l = value;
  return prop;
}
SPropValue StringProp(ULONG tag, const char* value) {
  SPropValue prop{};
  prop.ulPropTag = tag;
  prop.Value.lpszA = const_cast<LPSTR>(value);
  return prop;
}
SPropValue BinaryProp(ULONG tag, ULONG cb, const void* bytes) {
  SPropValue prop{};
  prop.ulPropTag = tag;
  prop.Value.bin.cb = cb;
  prop.Value.bin.lpb = static_cast<LPBYTE>(const_cast<void*>(bytes));
  return prop;
}
SPropValue BoolProp(ULONG tag, bool value) {
  SPropValue prop{};
  prop.ulPropTag = tag;
  prop.Value.b = value ? 1 : 0;
  return prop;
}

}  // namespace pxmapi

LPCSTR STDAPICALLTYPE PxMAPILastError() { return pxmapi::LastErrorText().c_str(); }

std::size_t MAPIOutstandingObjects() { return static_cast<std::size_t>(pxmapi::liveObjects.load()); }
