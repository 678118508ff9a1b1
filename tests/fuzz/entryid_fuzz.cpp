// Feeds arbitrary bytes to the entry-identifier readers: none may read past the byte count it
// is given, and what they accept must round-trip.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "backend/ldapbe.h"
#include "backend/rabguid.h"
#include "mapicode.h"

namespace {
// An exactly sized heap copy, so that the sanitizer sees any read beyond its end.
struct Block {
  Block(const uint8_t* data, size_t size, bool stampUid, bool nullWhenEmpty) : size(size) {
    if (size == 0 && nullWhenEmpty) return;
    bytes.reset(new BYTE[size ? size : 1]);
    if (size) std::memcpy(bytes.get(), data, size);
    if (stampUid && size >= 20) std::memcpy(bytes.get() + 4, ABLDAPProviderUID.ab, 16);
  }
  ULONG cb() const { return static_cast<ULONG>(size); }
  LPENTRYID id() const { return reinterpret_cast<LPENTRYID>(bytes.get()); }
  size_t size;
  std::unique_ptr<BYTE[]> bytes;
};

void Check(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ABLDAPBackeEnd* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  if (size < 2) return 0;
  const uint8_t control = data[0];
  const size_t split = std::min<size_t>(data[1], size - 2);
  const uint8_t* rest = data + 2;
  const Block first(rest, split, control & 1, control & 4);
  const Block second(rest + split, size - 2 - split, control & 2, control & 8);

  ULONG kind = 0;
  const HRESULT decoded = backend->DecodeEntryKind(first.cb(), first.id(), &kind);
  const bool own = backend->IsOwnEntryID(first.cb(), first.id());
  if (first.cb() > 0) Check(SUCCEEDED(decoded) == own);

  ULONG result = 9;
  const HRESULT compared = backend->CompareEntryIDs(first.cb(), first.id(), second.cb(), second.id(), control, &result);
  Check(result == 0 || result == 1);
  if (result == 1) Check(SUCCEEDED(compared) && first.size == second.size);

  std::string key;
  if (SUCCEEDED(backend->UserKeyFromEntryID(first.cb(), first.id(), &key))) {
    Check(!key.empty() && key.find('\0') == std::string::npos);
    // What opening accepts, the provider can make again, and it reads back the same.
    std::unique_ptr<CBinary> made = backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, key);
    Check(made && made->cb == 33 + key.size());
    std::string again;
    Check(backend->UserKeyFromEntryID(made->cb, reinterpret_cast<LPENTRYID>(made->lpb), &again) == S_OK);
    Check(again == key);
    ULONG same = 0;
    Check(backend->CompareEntryIDs(made->cb, reinterpret_cast<LPENTRYID>(made->lpb), made->cb,
                                   reinterpret_cast<LPENTRYID>(made->lpb), 0, &same) == S_OK &&
          same == 1);
    Check(ABLDAPBackeEnd::SameDistinguishedName(key, again));
  }
  return 0;
}
