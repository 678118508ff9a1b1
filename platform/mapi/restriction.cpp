#include <clocale>
#include <cstring>
#include <string>
#include <string_view>

#include "mapiutil.h"
#include "propvalue.h"
#include "userlocale.h"

namespace pxmapi {
namespace {

// Deeper nesting than any client builds is refused instead of exhausting the stack.
constexpr int kMaxDepth = 256;

const SPropValue* Find(const SPropValue* props, ULONG count, ULONG tag) {
  return PpropFindProp(const_cast<LPSPropValue>(props), count, tag);
}

// Calls `test` on each element of a multi-valued value as a single value of type `type`.
template <class Test>
bool AnyElement(const SPropValue& mv, ULONG type, Test test) {
  SPropValue element{};
  element.ulPropTag = CHANGE_PROP_TYPE(mv.ulPropTag, type);
  const PV& v = mv.Value;
  switch (type) {
    case PT_STRING8:
      for (ULONG i = 0; i < v.MVszA.cValues; ++i) {
        element.Value.lpszA = v.MVszA.lppszA[i];
        if (test(element)) return true;
      }
      return false;
    case PT_BINARY:
      for (ULONG i = 0; i < v.MVbin.cValues; ++i) {
        element.Value.bin = v.MVbin.lpbin[i];
        if (test(element)) return true;
      }
      return false;
    case PT_UNICODE:
      for (ULONG i = 0; i < v.MVszW.cValues; ++i) {
        element.Value.lpszW = v.MVszW.lppszW[i];
        if (test(element)) return true;
      }
      return false;
    case PT_LONG:
      for (ULONG i = 0; i < v.MVl.cValues; ++i) {
        element.Value.l = v.MVl.lpl[i];
        if (test(element)) return true;
      }
      return false;
    case PT_I2:
      for (ULONG i = 0; i < v.MVi.cValues; ++i) {
        element.Value.i = v.MVi.lpi[i];
        if (test(element)) return true;
      }
      return false;
    default: return false;
  }
}

// Tests a row's value, or each element of a multi-valued one, against a single value's type.
template <class Test>
bool TestValue(const SPropValue* value, ULONG type, Test test) {
  if (!value) return false;
  const ULONG actual = PROP_TYPE(value->ulPropTag);
  if (actual == type) return test(*value);
  if (actual == (type | MV_FLAG)) return AnyElement(*value, type, test);
  return false;
}

ULONG FixedSize(ULONG type) {
  switch (type) {
    case PT_I2:
    case PT_BOOLEAN: return 2;
    case PT_LONG:
    case PT_R4:
    case PT_ERROR: return 4;
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_I8:
    case PT_SYSTIME: return 8;
    case PT_CLSID: return sizeof(GUID);
    default: return 0;
  }
}

// The size a RES_SIZE restriction tests: bytes of the value, strings with their terminator.
ULONG ValueSize(const SPropValue& value) {
  const PV& v = value.Value;
  const ULONG type = PROP_TYPE(value.ulPropTag);
  auto unicodeBytes = [](LPCWSTR s) {
    ULONG n = 0;
    if (s)
      while (s[n]) ++n;
    return (n + 1) * static_cast<ULONG>(sizeof(WCHAR));
  };
  switch (type) {
    case PT_STRING8: return v.lpszA ? static_cast<ULONG>(std::strlen(v.lpszA)) + 1 : 0;
    case PT_UNICODE: return v.lpszW ? unicodeBytes(v.lpszW) : 0;
    case PT_BINARY: return v.bin.cb;
    case PT_MV_STRING8: {
      ULONG total = 0;
      for (ULONG i = 0; i < v.MVszA.cValues; ++i)
        total += v.MVszA.lppszA[i] ? static_cast<ULONG>(std::strlen(v.MVszA.lppszA[i])) + 1 : 0;
      return total;
    }
    case PT_MV_BINARY: {
      ULONG total = 0;
      for (ULONG i = 0; i < v.MVbin.cValues; ++i) total += v.MVbin.lpbin[i].cb;
      return total;
    }
    default:
      if (type & MV_FLAG) return v.MVl.cValues * FixedSize(type & ~MV_FLAG);
      return FixedSize(type);
  }
}

// Whether a restriction's property and its constant have the same type; a multi-valued
// property is tested element by element against a constant of its element type.
bool TypesAgree(ULONG propTag, ULONG constantTag) {
  const ULONG type = PROP_TYPE(propTag) & ~MV_INSTANCE;
  const ULONG constant = PROP_TYPE(constantTag);
  return type == constant || type == (constant | MV_FLAG);
}

}  // namespace

HRESULT Restriction::Compile(const SRestriction* source, std::unique_ptr<Restriction>& out) {
  out.reset();
  if (!source) return MAPI_E_INVALID_PARAMETER;
  auto node = std::make_unique<Restriction>();
  try {
    if (const HRESULT hr = CompileNode(*source, 0, *node); FAILED(hr)) return hr;
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
  out = std::move(node);
  return S_OK;
}

bool Restriction::Matches(const SPropValue* props, ULONG count) const {
  thread_local std::string scratch;
  return Evaluate(props, count, scratch);
}

bool Restriction::Evaluate(const SPropValue* props, ULONG count, std::string& scratch) const {
  switch (rt_) {
    case RES_AND:
      for (const auto& child : children_)
        if (!child.Evaluate(props, count, scratch)) return false;
      return true;
    case RES_OR:
      for (const auto& child : children_)
        if (child.Evaluate(props, count, scratch)) return true;
      return false;
    case RES_NOT: return !children_.front().Evaluate(props, count, scratch);
    case RES_CONTENT: {
      const SPropValue& pattern = value_.props[0];
      const ULONG type = PROP_TYPE(pattern.ulPropTag);
      return TestValue(Find(props, count, tag_), type, [&](const SPropValue& v) {
        if (type == PT_STRING8 && ignoreCase_) {
          if (!v.Value.lpszA) return false;
          FoldUpper(v.Value.lpszA, scratch);
          return Contains<char>(scratch, folded_, fuzzy_ & 0xFFFFu);
        }
        if (type == PT_UNICODE)  // FPropContainsProp takes texts of the ANSI code page only
          return v.Value.lpszW &&
                 Contains(UnicodeView(v.Value.lpszW), UnicodeView(pattern.Value.lpszW), fuzzy_ & 0xFFFFu);
        return FPropContainsProp(const_cast<LPSPropValue>(&v), const_cast<LPSPropValue>(&pattern), fuzzy_) != FALSE;
      });
    }
    case RES_PROPERTY: {
      const SPropValue& operand = value_.props[0];
      return TestValue(Find(props, count, tag_), PROP_TYPE(operand.ulPropTag), [&](const SPropValue& v) {
        if (relop_ == RELOP_RE) return v.Value.lpszA && regex_->Search(v.Value.lpszA);
        return Relate(CompareValues(v, operand), relop_);
      });
    }
    case RES_COMPAREPROPS: {
      const SPropValue* a = Find(props, count, tag_);
      const SPropValue* b = Find(props, count, tag2_);
      return a && b && FPropCompareProp(const_cast<LPSPropValue>(a), relop_, const_cast<LPSPropValue>(b)) != FALSE;
    }
    case RES_BITMASK: {
      const SPropValue* v = Find(props, count, tag_);
      if (!v || PROP_TYPE(v->ulPropTag) != PT_LONG) return false;
      const bool zero = (v->Value.ul & mask_) == 0;
      return relop_ == BMR_EQZ ? zero : !zero;
    }
    case RES_SIZE: {
      const SPropValue* v = Find(props, count, tag_);
      if (!v) return false;
      const ULONG size = ValueSize(*v);
      return Relate(size < size_ ? -1 : (size > size_ ? 1 : 0), relop_);
    }
    case RES_EXIST: return Find(props, count, tag_) != nullptr;
    default: return false;
  }
}

HRESULT Restriction::CompileNode(const SRestriction& source, int depth, Restriction& node) {
  if (depth > kMaxDepth) return MAPI_E_TOO_COMPLEX;
  node.rt_ = source.rt;
  auto children = [&](ULONG n, const SRestriction* list) -> HRESULT {
    if (n && !list) return MAPI_E_INVALID_PARAMETER;
    node.children_.resize(n);
    for (ULONG i = 0; i < n; ++i)
      if (const HRESULT hr = CompileNode(list[i], depth + 1, node.children_[i]); FAILED(hr)) return hr;
    return S_OK;
  };
  auto operand = [&](const SPropValue* value) -> HRESULT {
    if (!value) return MAPI_E_INVALID_PARAMETER;
    return CopyToBlock(1, value, node.value_);
  };
  const auto& r = source.res;
  switch (source.rt) {
    case RES_AND: return children(r.resAnd.cRes, r.resAnd.lpRes);
    case RES_OR: return children(r.resOr.cRes, r.resOr.lpRes);
    case RES_NOT:
      if (!r.resNot.lpRes) return MAPI_E_INVALID_PARAMETER;
      return children(1, r.resNot.lpRes);
    case RES_COMMENT:  // the comment itself does not restrict
      node.rt_ = RES_AND;
      return r.resComment.lpRes ? children(1, r.resComment.lpRes) : S_OK;
    case RES_CONTENT: {
      const auto& c = r.resContent;
      if (const HRESULT hr = operand(c.lpProp); FAILED(hr)) return hr;
      const ULONG how = c.ulFuzzyLevel & 0xFFFFu;
      if (how != FL_FULLSTRING && how != FL_PREFIX && how != FL_SUBSTRING) return MAPI_E_TOO_COMPLEX;
      const SPropValue& pattern = node.value_.props[0];
      const ULONG type = PROP_TYPE(pattern.ulPropTag);
      if (type != PT_STRING8 && type != PT_UNICODE && type != PT_BINARY) return MAPI_E_TOO_COMPLEX;
      if (!TypesAgree(c.ulPropTag, pattern.ulPropTag)) return MAPI_E_TOO_COMPLEX;
      if ((type == PT_STRING8 && !pattern.Value.lpszA) || (type == PT_UNICODE && !pattern.Value.lpszW) ||
          (type == PT_BINARY && pattern.Value.bin.cb && !pattern.Value.bin.lpb))
        return MAPI_E_INVALID_PARAMETER;
      node.tag_ = c.ulPropTag;
      node.fuzzy_ = c.ulFuzzyLevel;
      node.ignoreCase_ = type == PT_STRING8 && (c.ulFuzzyLevel & (FL_IGNORECASE | FL_LOOSE));
      if (node.ignoreCase_) FoldUpper(pattern.Value.lpszA, node.folded_);
      return S_OK;
    }
    case RES_PROPERTY: {
      const auto& p = r.resProperty;
      if (p.relop > RELOP_RE) return MAPI_E_INVALID_PARAMETER;
      if (const HRESULT hr = operand(p.lpProp); FAILED(hr)) return hr;
      if (!TypesAgree(p.ulPropTag, node.value_.props[0].ulPropTag)) return MAPI_E_TOO_COMPLEX;
      node.tag_ = p.ulPropTag;
      node.relop_ = p.relop;
      if (p.relop == RELOP_RE) {
        const SPropValue& pattern = node.value_.props[0];
        if (PROP_TYPE(pattern.ulPropTag) != PT_STRING8) return MAPI_E_TOO_COMPLEX;
        if (!pattern.Value.lpszA) return MAPI_E_INVALID_PARAMETER;
        node.regex_ = std::make_unique<Pattern>(pattern.Value.lpszA);
        if (!node.regex_->Ok()) return MAPI_E_INVALID_PARAMETER;
      }
      return S_OK;
    }
    case RES_COMPAREPROPS: {
      const auto& p = r.resCompareProps;
      if (p.relop > RELOP_RE) return MAPI_E_INVALID_PARAMETER;
      if (PROP_TYPE(p.ulPropTag1) != PROP_TYPE(p.ulPropTag2)) return MAPI_E_TOO_COMPLEX;
      node.tag_ = p.ulPropTag1;
      node.tag2_ = p.ulPropTag2;
      node.relop_ = p.relop;
      return S_OK;
    }
    case RES_BITMASK: {
      const auto& b = r.resBitMask;
      if (b.relBMR != BMR_EQZ && b.relBMR != BMR_NEZ) return MAPI_E_INVALID_PARAMETER;
      node.tag_ = b.ulPropTag;
      node.relop_ = b.relBMR;
      node.mask_ = b.ulMask;
      return S_OK;
    }
    case RES_SIZE: {
      const auto& z = r.resSize;
      if (z.relop > RELOP_NE) return MAPI_E_INVALID_PARAMETER;
      node.tag_ = z.ulPropTag;
      node.relop_ = z.relop;
      node.size_ = z.cb;
      return S_OK;
    }
    case RES_EXIST: node.tag_ = r.resExist.ulPropTag; return S_OK;
    default: return MAPI_E_TOO_COMPLEX;  // sub-object restrictions and unknown kinds
  }
}

bool LocaleCollates() {
  const char* name = UserLocaleName(LC_COLLATE);
  if (!name) return true;
  for (const char* byteOrder : {"C", "POSIX", "C.UTF-8", "C.utf8"})
    if (std::strcmp(name, byteOrder) == 0) return false;
  return true;
}

void MakeSortKey(const SPropValue* value, bool collate, std::string& scratch, SortKey& key) {
  key.kind = SortKey::Missing;
  key.bytes.clear();
  if (!value) return;
  const PV& v = value->Value;
  auto integer = [&](long long n) {
    key.kind = SortKey::Integer;
    key.integer = n;
  };
  auto real = [&](double d) {
    key.kind = SortKey::Real;
    key.real = d;
  };
  // A null pointer sorts before every value, the empty one included.
  auto bytes = [&](const void* data, std::size_t n, bool present) {
    key.kind = SortKey::Bytes;
    key.bytes.assign(1, present ? '\1' : '\0');
    if (present) key.bytes.append(static_cast<const char*>(data), n);
  };
  switch (PROP_TYPE(value->ulPropTag)) {
    case PT_I2: return integer(v.i);
    case PT_LONG: return integer(v.l);
    case PT_BOOLEAN: return integer(v.b != 0);
    case PT_ERROR: return integer(static_cast<ULONG>(v.err));
    case PT_CURRENCY: return integer(v.cur.int64);
    case PT_I8: return integer(v.li.QuadPart);
    case PT_SYSTIME:
      return integer(static_cast<long long>((ULONGLONG{v.ft.dwHighDateTime} << 32) | v.ft.dwLowDateTime));
    case PT_R4: return real(v.flt);
    case PT_DOUBLE:
    case PT_APPTIME: return real(v.dbl);
    case PT_BINARY: return bytes(v.bin.lpb, v.bin.lpb ? v.bin.cb : 0, true);
    case PT_CLSID: return bytes(v.lpguid, sizeof(GUID), v.lpguid != nullptr);
    case PT_UNICODE: {
      bytes(nullptr, 0, v.lpszW != nullptr);
      if (v.lpszW)
        for (LPCWSTR p = v.lpszW; *p; ++p) {  // big-endian units order like the units themselves
          key.bytes.push_back(static_cast<char>(*p >> 8));
          key.bytes.push_back(static_cast<char>(*p & 0xFF));
        }
      return;
    }
    case PT_STRING8: {
      bytes(nullptr, 0, v.lpszA != nullptr);
      if (!v.lpszA) return;
      // The order of CompareStringA with NORM_IGNORECASE: collation of the upper-cased texts,
      // their bytes breaking ties.
      FoldUpper(v.lpszA, scratch);
      if (collate) {
        const std::size_t n = strxfrm_l(nullptr, scratch.c_str(), 0, UserLocale());
        const std::size_t start = key.bytes.size();
        key.bytes.resize(start + n + 1);
        strxfrm_l(key.bytes.data() + start, scratch.c_str(), n + 1, UserLocale());
        key.bytes[start + n] = '\0';
      }
      key.bytes.append(scratch);
      return;
    }
    default: return;  // multi-valued and object columns do not sort
  }
}

int CompareSortKeys(const SortKey& a, const SortKey& b) {
  if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;  // Missing is the last kind
  switch (a.kind) {
    case SortKey::Integer: return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
    case SortKey::Real: return a.real < b.real ? -1 : (a.real > b.real ? 1 : 0);
    case SortKey::Bytes: {
      const int c = a.bytes.compare(b.bytes);
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    default: return 0;
  }
}

}  // namespace pxmapi
