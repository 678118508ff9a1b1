// Internals of pxmapi shared by the property utilities, the table data and its views: deep
// copies of property values, locale-aware case folding, restrictions and sort keys.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <regex.h>

#include "mapicode.h"
#include "mapidefs.h"

namespace pxmapi {

// A deep copy of property values in one heap block of its own.
struct PropBlock {
  std::unique_ptr<std::byte[]> storage;
  SPropValue* props = nullptr;
  ULONG count = 0;
};
SCODE CopyToBlock(ULONG count, const SPropValue* props, PropBlock& out);

// Bytes a deep copy of `count` values takes, and the copy itself into `dst` (aligned, at least
// that large). The copy returns the bytes it used.
SCODE CountValues(ULONG count, const SPropValue* props, ULONG& bytes);
SCODE CopyValues(ULONG count, const SPropValue* props, void* dst, ULONG* used);

// Upper-cases `text` into `out` character by character as CharUpperBuffA does, keeping byte
// lengths; plain ASCII takes a table lookup instead of a round trip through wide characters.
void FoldUpper(std::string_view text, std::string& out);

// Whether `hay` holds `needle` as a fuzzy level's low word asks (FL_FULLSTRING, FL_PREFIX,
// FL_SUBSTRING); false for any other level.
template <class Char>
bool Contains(std::basic_string_view<Char> hay, std::basic_string_view<Char> needle, ULONG how) {
  switch (how) {
    case FL_FULLSTRING: return hay == needle;
    case FL_PREFIX: return hay.starts_with(needle);
    case FL_SUBSTRING: return hay.find(needle) != std::basic_string_view<Char>::npos;
    default: return false;
  }
}

// A NUL-terminated PT_UNICODE text as a view of its units.
std::u16string_view UnicodeView(LPCWSTR text);

// Compares two values as LPropCompareProp does (types are assumed equal).
int CompareValues(const SPropValue& a, const SPropValue& b);

// Whether a comparison result `c` satisfies `relop` (RELOP_LT to RELOP_NE); false for any
// other operator.
bool Relate(int c, ULONG relop);

// An extended regular expression (POSIX), compiled once and searched for in texts.
class Pattern {
 public:
  explicit Pattern(const char* expression) { ok_ = regcomp(&regex_, expression, REG_EXTENDED | REG_NOSUB) == 0; }
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;
  ~Pattern() {
    if (ok_) regfree(&regex_);
  }
  bool Ok() const { return ok_; }
  bool Search(const char* text) const { return ok_ && regexec(&regex_, text, 0, nullptr, 0) == 0; }

 private:
  regex_t regex_{};
  bool ok_ = false;
};

// A restriction compiled for repeated evaluation: values copied, patterns folded and regular
// expressions built once.
class Restriction {
 public:
  // MAPI_E_INVALID_PARAMETER for a malformed restriction, MAPI_E_TOO_COMPLEX for one that the
  // tables cannot evaluate (sub-object restrictions, unknown fuzzy levels, comparisons of
  // different types).
  static HRESULT Compile(const SRestriction* source, std::unique_ptr<Restriction>& out);
  bool Matches(const SPropValue* props, ULONG count) const;

 private:
  static HRESULT CompileNode(const SRestriction& source, int depth, Restriction& node);
  bool Evaluate(const SPropValue* props, ULONG count, std::string& scratch) const;

  ULONG rt_ = RES_AND;
  ULONG tag_ = 0, tag2_ = 0;
  ULONG relop_ = 0;
  ULONG mask_ = 0, size_ = 0;
  ULONG fuzzy_ = 0;
  bool ignoreCase_ = false;
  PropBlock value_;
  std::string folded_;
  std::unique_ptr<Pattern> regex_;
  std::vector<Restriction> children_;
};

// The sort key of one column of one row: computed once per sort so that comparisons are cheap
// (strings become collation keys of their upper-cased text).
struct SortKey {
  enum Kind : unsigned char { Integer, Real, Bytes, Missing } kind = Missing;
  long long integer = 0;
  double real = 0;
  std::string bytes;
};
// Builds the key of `value` (null: the row lacks the column). `collate` says whether the
// locale's collation differs from byte order.
void MakeSortKey(const SPropValue* value, bool collate, std::string& scratch, SortKey& key);
int CompareSortKeys(const SortKey& a, const SortKey& b);
// Whether strings need collation keys in the current locale.
bool LocaleCollates();

}  // namespace pxmapi
