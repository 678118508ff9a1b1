#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "mapitable.h"
#include "mapiutil.h"
#include "mapix.h"
#include "propvalue.h"

namespace pxmapi {
namespace {

constexpr ULONG AlignTo(ULONG n, ULONG alignment) { return (n + alignment - 1) & ~(alignment - 1); }

// Fixed-size values carry no pointers.
bool IsFixedType(ULONG type) {
  switch (type) {
    case PT_UNSPECIFIED:
    case PT_NULL:
    case PT_I2:
    case PT_LONG:
    case PT_R4:
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_ERROR:
    case PT_BOOLEAN:
    case PT_OBJECT:
    case PT_I8:
    case PT_SYSTIME: return true;
    default: return false;
  }
}

std::size_t UnicodeLength(LPCWSTR text) {
  std::size_t n = 0;
  while (text[n]) ++n;
  return n;
}

// Walks the memory a value points to, copying it into blocks from `alloc` when `dst` is set,
// or only asking `alloc` for the sizes when it is null (counting). `alloc(bytes)` returns the
// block or null when memory runs out.
template <class Alloc>
SCODE Walk(const SPropValue& src, SPropValue* dst, Alloc& alloc) {
  const bool copy = dst != nullptr;
  if (copy) *dst = src;
  auto block = [&](const void* from, std::size_t bytes, ULONG alignment, void*& to) -> SCODE {
    if (bytes > 0x7FFFFFFFu) return MAPI_E_INVALID_PARAMETER;
    to = alloc(static_cast<ULONG>(bytes), alignment);
    if (!to) return MAPI_E_NOT_ENOUGH_MEMORY;
    if (copy && bytes) std::memcpy(to, from, bytes);
    return S_OK;
  };
  auto array = [&](ULONG n, const void* from, std::size_t elementSize, ULONG alignment, void*& to) -> SCODE {
    to = nullptr;
    if (n == 0) return S_OK;
    if (!from) return MAPI_E_INVALID_PARAMETER;
    return block(from, std::size_t{n} * elementSize, alignment, to);
  };
  auto string8 = [&](LPSTR from, LPSTR* to) -> SCODE {
    if (!from) return S_OK;
    void* p = nullptr;
    if (const SCODE sc = block(from, std::strlen(from) + 1, 1, p); FAILED(sc)) return sc;
    if (copy) *to = static_cast<LPSTR>(p);
    return S_OK;
  };
  auto unicode = [&](LPWSTR from, LPWSTR* to) -> SCODE {
    if (!from) return S_OK;
    void* p = nullptr;
    if (const SCODE sc = block(from, (UnicodeLength(from) + 1) * sizeof(WCHAR), alignof(WCHAR), p); FAILED(sc))
      return sc;
    if (copy) *to = static_cast<LPWSTR>(p);
    return S_OK;
  };
  auto binary = [&](const SBinary& from, SBinary* to) -> SCODE {
    void* p = nullptr;
    if (const SCODE sc = array(from.cb, from.lpb, 1, 1, p); FAILED(sc)) return sc;
    if (copy) to->lpb = static_cast<LPBYTE>(p);
    return S_OK;
  };
  // Copies a multi-valued array of plain elements.
  auto plain = [&](auto& srcArray, auto& dstArray, auto pointerMember) -> SCODE {
    void* p = nullptr;
    using Element = std::remove_pointer_t<std::remove_reference_t<decltype(srcArray.*pointerMember)>>;
    if (const SCODE sc = array(srcArray.cValues, srcArray.*pointerMember, sizeof(Element), alignof(Element), p);
        FAILED(sc))
      return sc;
    if (copy) dstArray.*pointerMember = static_cast<Element*>(p);
    return S_OK;
  };

  const ULONG type = PROP_TYPE(src.ulPropTag);
  if (IsFixedType(type)) return S_OK;
  PV* out = copy ? &dst->Value : nullptr;
  PV scratch{};
  if (!out) out = &scratch;
  switch (type) {
    case PT_STRING8: return string8(src.Value.lpszA, &out->lpszA);
    case PT_UNICODE: return unicode(src.Value.lpszW, &out->lpszW);
    case PT_BINARY: return binary(src.Value.bin, &out->bin);
    case PT_CLSID: {
      if (!src.Value.lpguid) return S_OK;
      void* p = nullptr;
      if (const SCODE sc = block(src.Value.lpguid, sizeof(GUID), alignof(GUID), p); FAILED(sc)) return sc;
      if (copy) out->lpguid = static_cast<LPGUID>(p);
      return S_OK;
    }
    case PT_MV_I2: return plain(src.Value.MVi, out->MVi, &SShortArray::lpi);
    case PT_MV_LONG: return plain(src.Value.MVl, out->MVl, &SLongArray::lpl);
    case PT_MV_R4: return plain(src.Value.MVflt, out->MVflt, &SRealArray::lpflt);
    case PT_MV_DOUBLE: return plain(src.Value.MVdbl, out->MVdbl, &SDoubleArray::lpdbl);
    case PT_MV_CURRENCY: return plain(src.Value.MVcur, out->MVcur, &SCurrencyArray::lpcur);
    case PT_MV_APPTIME: return plain(src.Value.MVat, out->MVat, &SAppTimeArray::lpat);
    case PT_MV_SYSTIME: return plain(src.Value.MVft, out->MVft, &SDateTimeArray::lpft);
    case PT_MV_I8: return plain(src.Value.MVli, out->MVli, &SLargeIntegerArray::lpli);
    case PT_MV_CLSID: return plain(src.Value.MVguid, out->MVguid, &SGuidArray::lpguid);
    case PT_MV_STRING8: {
      if (const SCODE sc = plain(src.Value.MVszA, out->MVszA, &SLPSTRArray::lppszA); FAILED(sc)) return sc;
      for (ULONG i = 0; i < src.Value.MVszA.cValues; ++i) {
        LPSTR ignored = nullptr;
        if (const SCODE sc = string8(src.Value.MVszA.lppszA[i], copy ? &out->MVszA.lppszA[i] : &ignored); FAILED(sc))
          return sc;
      }
      return S_OK;
    }
    case PT_MV_UNICODE: {
      if (const SCODE sc = plain(src.Value.MVszW, out->MVszW, &SWStringArray::lppszW); FAILED(sc)) return sc;
      for (ULONG i = 0; i < src.Value.MVszW.cValues; ++i) {
        LPWSTR ignored = nullptr;
        if (const SCODE sc = unicode(src.Value.MVszW.lppszW[i], copy ? &out->MVszW.lppszW[i] : &ignored); FAILED(sc))
          return sc;
      }
      return S_OK;
    }
    case PT_MV_BINARY: {
      if (const SCODE sc = plain(src.Value.MVbin, out->MVbin, &SBinaryArray::lpbin); FAILED(sc)) return sc;
      for (ULONG i = 0; i < src.Value.MVbin.cValues; ++i) {
        SBinary ignored{};
        if (const SCODE sc = binary(src.Value.MVbin.lpbin[i], copy ? &out->MVbin.lpbin[i] : &ignored); FAILED(sc))
          return sc;
      }
      return S_OK;
    }
    default: return MAPI_E_INVALID_PARAMETER;
  }
}

// Hands out consecutive pieces of one block, each aligned as its contents need (texts and
// bytes not at all), so that a copy is as compact as MAPI's.
struct Bump {
  std::byte* start;
  ULONG offset;
  void* operator()(ULONG bytes, ULONG alignment) {
    offset = AlignTo(offset, alignment);
    void* p = start + offset;
    offset += bytes;
    return p;
  }
};

// Only adds up the sizes, aligned as Bump aligns them; hands out a harmless address that is
// never written.
struct Counter {
  ULONG total = 0;
  std::byte dummy{};
  void* operator()(ULONG bytes, ULONG alignment) {
    total = AlignTo(total, alignment) + bytes;
    return &dummy;
  }
};

std::string_view View(const SBinary& bin) {
  return std::string_view(reinterpret_cast<const char*>(bin.lpb), bin.lpb ? bin.cb : 0);
}

template <class T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareBytes(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Case counts, as in MAPI's comparisons; only a fuzzy level (FL_IGNORECASE, FL_LOOSE) folds.
int CompareString8(LPCSTR a, LPCSTR b) {
  if (!a || !b) return Order(a != nullptr, b != nullptr);
  switch (CompareStringA(LOCALE_USER_DEFAULT, 0, a, -1, b, -1)) {
    case CSTR_LESS_THAN: return -1;
    case CSTR_GREATER_THAN: return 1;
    default: return 0;
  }
}

int CompareUnicode(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return Order(a != nullptr, b != nullptr);
  const int c = UnicodeView(a).compare(UnicodeView(b));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Compares multi-valued arrays element by element, then by count.
template <class T, class Cmp>
int CompareArrays(ULONG na, const T* a, ULONG nb, const T* b, Cmp cmp) {
  const ULONG n = std::min(na, nb);
  for (ULONG i = 0; i < n; ++i)
    if (const int c = cmp(a[i], b[i]); c != 0) return c;
  return Order(na, nb);
}

ULONGLONG FileTimeValue(const FILETIME& ft) { return (ULONGLONG{ft.dwHighDateTime} << 32) | ft.dwLowDateTime; }

// What ScCountProps and ScCopyProps refuse, as MAPI's do: no values, a value without a type
// of its own (PT_NULL, PT_UNSPECIFIED) and a text that is a null pointer.
SCODE CheckCopyable(int count, const SPropValue* props) {
  if (count <= 0 || !props) return MAPI_E_INVALID_PARAMETER;
  for (int i = 0; i < count; ++i) {
    const PV& v = props[i].Value;
    switch (PROP_TYPE(props[i].ulPropTag)) {
      case PT_NULL:
      case PT_UNSPECIFIED: return MAPI_E_INVALID_PARAMETER;
      case PT_STRING8:
        if (!v.lpszA) return MAPI_E_INVALID_PARAMETER;
        break;
      case PT_UNICODE:
        if (!v.lpszW) return MAPI_E_INVALID_PARAMETER;
        break;
      case PT_MV_STRING8:
        for (ULONG j = 0; v.MVszA.lppszA && j < v.MVszA.cValues; ++j)
          if (!v.MVszA.lppszA[j]) return MAPI_E_INVALID_PARAMETER;
        break;
      case PT_MV_UNICODE:
        for (ULONG j = 0; v.MVszW.lppszW && j < v.MVszW.cValues; ++j)
          if (!v.MVszW.lppszW[j]) return MAPI_E_INVALID_PARAMETER;
        break;
      default: break;
    }
  }
  return S_OK;
}

}  // namespace

std::u16string_view UnicodeView(LPCWSTR text) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(text), UnicodeLength(text));
}

SCODE CountValues(ULONG count, const SPropValue* props, ULONG& bytes) {
  bytes = 0;
  if (count && !props) return MAPI_E_INVALID_PARAMETER;
  Counter counter;
  counter.total = static_cast<ULONG>(count * sizeof(SPropValue));
  for (ULONG i = 0; i < count; ++i)
    if (const SCODE sc = Walk(props[i], nullptr, counter); FAILED(sc)) return sc;
  bytes = counter.total;
  return S_OK;
}

SCODE CopyValues(ULONG count, const SPropValue* props, void* dst, ULONG* used) {
  if (!dst || (count && !props)) return MAPI_E_INVALID_PARAMETER;
  auto* array = static_cast<SPropValue*>(dst);
  Bump bump{static_cast<std::byte*>(dst), static_cast<ULONG>(count * sizeof(SPropValue))};
  for (ULONG i = 0; i < count; ++i)
    if (const SCODE sc = Walk(props[i], &array[i], bump); FAILED(sc)) return sc;
  if (used) *used = bump.offset;
  return S_OK;
}

SCODE CopyToBlock(ULONG count, const SPropValue* props, PropBlock& out) {
  ULONG bytes = 0;
  if (const SCODE sc = CountValues(count, props, bytes); FAILED(sc)) return sc;
  auto storage = std::unique_ptr<std::byte[]>(new (std::nothrow) std::byte[bytes ? bytes : 1]);
  if (!storage) return MAPI_E_NOT_ENOUGH_MEMORY;
  if (const SCODE sc = CopyValues(count, props, storage.get(), nullptr); FAILED(sc)) return sc;
  out.props = reinterpret_cast<SPropValue*>(storage.get());
  out.count = count;
  out.storage = std::move(storage);
  return S_OK;
}

void FoldUpper(std::string_view text, std::string& out) {
  // What CharUpperBuffA makes of each ASCII character in this locale (a Turkish 'i' stays,
  // because its upper case would change the byte length).
  static const std::array<char, 128> ascii = [] {
    std::array<char, 128> table{};
    for (int c = 0; c < 128; ++c) {
      char ch = static_cast<char>(c);
      if (c) CharUpperBuffA(&ch, 1);
      table[c] = ch;
    }
    return table;
  }();
  out.resize(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      out.assign(text);
      CharUpperBuffA(out.data(), static_cast<DWORD>(out.size()));
      return;
    }
    out[i] = ascii[c];
  }
}

int CompareValues(const SPropValue& a, const SPropValue& b) {
  const ULONG ta = PROP_TYPE(a.ulPropTag), tb = PROP_TYPE(b.ulPropTag);
  if (ta != tb) return Order(ta, tb);
  const PV& x = a.Value;
  const PV& y = b.Value;
  switch (ta) {
    case PT_I2: return Order(x.i, y.i);
    case PT_LONG: return Order(x.l, y.l);
    case PT_R4: return Order(x.flt, y.flt);
    case PT_DOUBLE:
    case PT_APPTIME: return Order(x.dbl, y.dbl);
    case PT_CURRENCY: return Order(x.cur.int64, y.cur.int64);
    case PT_I8: return Order(x.li.QuadPart, y.li.QuadPart);
    case PT_SYSTIME: return Order(FileTimeValue(x.ft), FileTimeValue(y.ft));
    case PT_BOOLEAN: return Order(x.b != 0, y.b != 0);
    case PT_ERROR: return Order(static_cast<ULONG>(x.err), static_cast<ULONG>(y.err));
    case PT_STRING8: return CompareString8(x.lpszA, y.lpszA);
    case PT_UNICODE: return CompareUnicode(x.lpszW, y.lpszW);
    case PT_BINARY: return CompareBytes(View(x.bin), View(y.bin));
    case PT_CLSID:
      if (!x.lpguid || !y.lpguid) return Order(x.lpguid != nullptr, y.lpguid != nullptr);
      return CompareBytes(std::string_view(reinterpret_cast<const char*>(x.lpguid), sizeof(GUID)),
                          std::string_view(reinterpret_cast<const char*>(y.lpguid), sizeof(GUID)));
    case PT_MV_LONG: return CompareArrays(x.MVl.cValues, x.MVl.lpl, y.MVl.cValues, y.MVl.lpl, Order<LONG>);
    case PT_MV_I2: return CompareArrays(x.MVi.cValues, x.MVi.lpi, y.MVi.cValues, y.MVi.lpi, Order<short>);
    case PT_MV_STRING8:
      return CompareArrays(x.MVszA.cValues, x.MVszA.lppszA, y.MVszA.cValues, y.MVszA.lppszA, CompareString8);
    case PT_MV_BINARY:
      return CompareArrays(x.MVbin.cValues, x.MVbin.lpbin, y.MVbin.cValues, y.MVbin.lpbin,
                           [](const SBinary& p, const SBinary& q) { return CompareBytes(View(p), View(q)); });
    default: return 0;  // PT_NULL, PT_OBJECT and arrays without an order compare equal
  }
}

bool Relate(int c, ULONG relop) {
  switch (relop) {
    case RELOP_LT: return c < 0;
    case RELOP_LE: return c <= 0;
    case RELOP_GT: return c > 0;
    case RELOP_GE: return c >= 0;
    case RELOP_EQ: return c == 0;
    case RELOP_NE: return c != 0;
    default: return false;
  }
}

}  // namespace pxmapi

using namespace pxmapi;

LPSPropValue STDAPICALLTYPE PpropFindProp(LPSPropValue rgprop, ULONG cprop, ULONG ulPropTag) {
  if (!rgprop) return nullptr;
  const bool byId = PROP_TYPE(ulPropTag) == PT_UNSPECIFIED;
  for (ULONG i = 0; i < cprop; ++i) {
    if (byId ? PROP_ID(rgprop[i].ulPropTag) == PROP_ID(ulPropTag) : rgprop[i].ulPropTag == ulPropTag) return &rgprop[i];
  }
  return nullptr;
}

// Texts (PT_STRING8) and bytes only, as MAPI's: any other type contains nothing.
BOOL STDAPICALLTYPE FPropContainsProp(LPSPropValue lpSPropValueDst, LPSPropValue lpSPropValueSrc, ULONG ulFuzzyLevel) {
  if (!lpSPropValueDst || !lpSPropValueSrc) return FALSE;
  const ULONG type = PROP_TYPE(lpSPropValueDst->ulPropTag);
  if (type != PROP_TYPE(lpSPropValueSrc->ulPropTag)) return FALSE;
  const ULONG how = ulFuzzyLevel & 0xFFFFu;
  switch (type) {
    case PT_STRING8: {
      const LPCSTR hay = lpSPropValueDst->Value.lpszA, needle = lpSPropValueSrc->Value.lpszA;
      if (!hay || !needle) return FALSE;
      if (!(ulFuzzyLevel & (FL_IGNORECASE | FL_LOOSE))) return Contains<char>(hay, needle, how);
      std::string foldedHay, foldedNeedle;
      FoldUpper(hay, foldedHay);
      FoldUpper(needle, foldedNeedle);
      return Contains<char>(foldedHay, foldedNeedle, how);
    }
    case PT_BINARY: {
      const SBinary& hay = lpSPropValueDst->Value.bin;
      const SBinary& needle = lpSPropValueSrc->Value.bin;
      if ((hay.cb && !hay.lpb) || (needle.cb && !needle.lpb)) return FALSE;
      return Contains(View(hay), View(needle), how);  // case never folds for bytes
    }
    default: return FALSE;
  }
}

LONG STDAPICALLTYPE LPropCompareProp(LPSPropValue lpSPropValueA, LPSPropValue lpSPropValueB) {
  if (!lpSPropValueA || !lpSPropValueB) return Order(lpSPropValueA != nullptr, lpSPropValueB != nullptr);
  return CompareValues(*lpSPropValueA, *lpSPropValueB);
}

BOOL STDAPICALLTYPE FPropCompareProp(LPSPropValue lpSPropValue1, ULONG ulRelOp, LPSPropValue lpSPropValue2) {
  if (!lpSPropValue1 || !lpSPropValue2) return FALSE;
  if (PROP_TYPE(lpSPropValue1->ulPropTag) != PROP_TYPE(lpSPropValue2->ulPropTag)) return FALSE;
  if (ulRelOp == RELOP_RE) {
    if (PROP_TYPE(lpSPropValue1->ulPropTag) != PT_STRING8) return FALSE;
    if (!lpSPropValue1->Value.lpszA || !lpSPropValue2->Value.lpszA) return FALSE;
    return Pattern(lpSPropValue2->Value.lpszA).Search(lpSPropValue1->Value.lpszA);
  }
  return Relate(CompareValues(*lpSPropValue1, *lpSPropValue2), ulRelOp) ? TRUE : FALSE;
}

SCODE STDAPICALLTYPE PropCopyMore(LPSPropValue lpSPropValueDest, LPSPropValue lpSPropValueSrc,
                                  LPALLOCATEMORE lpfAllocMore, LPVOID lpvObject) {
  if (!lpSPropValueDest || !lpSPropValueSrc || !lpfAllocMore || !lpvObject) return MAPI_E_INVALID_PARAMETER;
  SCODE failure = S_OK;
  auto more = [&](ULONG bytes, ULONG) -> void* {
    void* p = nullptr;
    failure = lpfAllocMore(bytes ? bytes : 1, lpvObject, &p);
    return FAILED(failure) ? nullptr : p;
  };
  const SPropValue source = *lpSPropValueSrc;  // the two may be the same value
  const SCODE sc = Walk(source, lpSPropValueDest, more);
  return FAILED(failure) ? failure : sc;
}

SCODE STDAPICALLTYPE ScCountProps(int cValues, LPSPropValue lpPropArray, ULONG* lpcb) {
  if (const SCODE sc = CheckCopyable(cValues, lpPropArray); FAILED(sc)) return sc;
  ULONG bytes = 0;
  const SCODE sc = CountValues(static_cast<ULONG>(cValues), lpPropArray, bytes);
  if (SUCCEEDED(sc) && lpcb) *lpcb = bytes;
  return sc;
}

SCODE STDAPICALLTYPE ScCopyProps(int cValues, LPSPropValue lpPropArray, LPVOID lpvDst, ULONG* lpcb) {
  if (const SCODE sc = CheckCopyable(cValues, lpPropArray); FAILED(sc)) return sc;
  return CopyValues(static_cast<ULONG>(cValues), lpPropArray, lpvDst, lpcb);
}

SCODE STDAPICALLTYPE ScDupPropset(int cValues, LPSPropValue lpPropArray, LPALLOCATEBUFFER lpAllocateBuffer,
                                  LPSPropValue* lppPropArray) {
  if (!lppPropArray || !lpAllocateBuffer || cValues < 0) return MAPI_E_INVALID_PARAMETER;
  *lppPropArray = nullptr;
  ULONG bytes = 0;
  if (const SCODE sc = CountValues(static_cast<ULONG>(cValues), lpPropArray, bytes); FAILED(sc)) return sc;
  LPVOID buffer = nullptr;
  if (const SCODE sc = lpAllocateBuffer(bytes, &buffer); FAILED(sc)) return sc;
  if (!buffer) return MAPI_E_NOT_ENOUGH_MEMORY;
  CopyValues(static_cast<ULONG>(cValues), lpPropArray, buffer, nullptr);  // counted above: cannot fail now
  *lppPropArray = static_cast<LPSPropValue>(buffer);
  return S_OK;
}

void STDAPICALLTYPE FreeProws(LPSRowSet lpRows) {
  if (!lpRows) return;
  for (ULONG i = 0; i < lpRows->cRows; ++i) MAPIFreeBuffer(lpRows->aRow[i].lpProps);
  MAPIFreeBuffer(lpRows);
}

void STDAPICALLTYPE FreePadrlist(LPADRLIST lpAdrList) {
  if (!lpAdrList) return;
  for (ULONG i = 0; i < lpAdrList->cEntries; ++i) MAPIFreeBuffer(lpAdrList->aEntries[i].rgPropVals);
  MAPIFreeBuffer(lpAdrList);
}
