// Feeds arbitrary entry identifiers to OpenEntry and arbitrary address lists (with flag lists of
// any length) to ResolveNames, over a small address book: nothing may be read past what the
// caller handed over, and every answer must be one MAPI allows.
//
// Input: byte 0 chooses the operation.
//   even: OpenEntry; bit 1 stamps the provider's UID and bit 2 kind 3 (a user) into the rest,
//         which is the identifier, in a heap block of exactly its size.
//   odd:  ResolveNames; byte 1: entries (low 3 bits), flags (next 3 bits), bit 6 a tag array,
//         bit 7 MAPI_UNICODE; then per entry: flag, value count (low 2 bits), and per value a
//         tag choice and a text length followed by the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "backend/ldapbe.h"
#include "backend/rabguid.h"
#include "mapicode.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "provider/cabcontainer.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}

ABLDAPBackeEnd* Book() {
  static ABLDAPBackeEnd* backend = [] {
    auto* b = new ABLDAPBackeEnd(nullptr, nullptr);
    b->Users = std::make_unique<UserList>();
    for (const char* name : {"Anna Smithers", "John Smith", "Olga Osmic", "Paul Jones", ""}) {
      ComPtr<CLDAPUser> user(new CLDAPUser());
      user->SetBackend(b);
      user->DisplayName = name;
      user->DistinguishedName = std::string("uid=") + (*name ? name : "none") + ",ou=people";
      user->EmailAddress = "x@example.com";
      b->Users->push_back(UserListEntry{user->DistinguishedName, user, ""});
    }
    b->InitTables();
    return b;
  }();
  return backend;
}

// Reads the input front to back; past its end every read gives zeroes.
struct Reader {
  const uint8_t* data;
  size_t size;
  uint8_t Byte() {
    if (!size) return 0;
    --size;
    return *data++;
  }
  std::string Text(size_t length) {
    length = std::min(length, size);
    std::string text(reinterpret_cast<const char*>(data), length);
    data += length;
    size -= length;
    return text;
  }
};

void FuzzOpenEntry(uint8_t control, const uint8_t* data, size_t size) {
  std::unique_ptr<BYTE[]> id;
  if (size) {
    id.reset(new BYTE[size]);
    std::memcpy(id.get(), data, size);
    if ((control & 2) && size >= 20) std::memcpy(id.get() + ENTRYID_UID_OFFSET, ABLDAPProviderUID.ab, 16);
    if ((control & 4) && size > ENTRYID_KIND_OFFSET) id[ENTRYID_KIND_OFFSET] = ENTRY_KIND_MAILUSER;
  }
  ULONG type = 99;
  LPUNKNOWN object = nullptr;
  const HRESULT hr =
      Book()->OpenEntry(static_cast<ULONG>(size), reinterpret_cast<LPENTRYID>(id.get()), nullptr, 0, &type, &object);
  if (FAILED(hr)) {
    Check(!object && type == 0);
    return;
  }
  Check(object && (type == MAPI_ABCONT || type == MAPI_MAILUSER));
  object->Release();
}

void FuzzResolveNames(Reader in) {
  const uint8_t shape = in.Byte();
  const ULONG entries = shape & 7;
  const ULONG flagCount = (shape >> 3) & 7;
  const bool withTags = shape & 0x40;
  const ULONG flags = (shape & 0x80) ? MAPI_UNICODE : 0;

  LPADRLIST list = nullptr;
  Check(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(entries)), reinterpret_cast<LPVOID*>(&list)) == S_OK);
  list->cEntries = entries;
  // The flag list exactly as long as its count says, so that a read past it is caught.
  const size_t flagBytes = offsetof(FlagList, ulFlag) + flagCount * sizeof(ULONG);
  std::unique_ptr<BYTE[]> flagBlock(new BYTE[flagBytes]);
  auto* flagList = reinterpret_cast<LPFlagList>(flagBlock.get());
  flagList->cFlags = flagCount;
  static const ULONG kTags[] = {PR_DISPLAY_NAME, PROP_TAG(PT_UNICODE, 0x3001), PR_EMAIL_ADDRESS, PR_DISPLAY_NAME};
  for (ULONG i = 0; i < std::max(entries, flagCount); ++i) {
    const uint8_t flag = in.Byte();
    if (i < flagCount) flagList->ulFlag[i] = flag % 3;
    if (i >= entries) continue;
    ADRENTRY& entry = list->aEntries[i];
    entry = ADRENTRY{};
    entry.cValues = flag >> 6;
    if (!entry.cValues) continue;
    Check(MAPIAllocateBuffer(static_cast<ULONG>(entry.cValues * sizeof(SPropValue)),
                             reinterpret_cast<LPVOID*>(&entry.rgPropVals)) == S_OK);
    for (ULONG v = 0; v < entry.cValues; ++v) {
      SPropValue& value = entry.rgPropVals[v];
      value = SPropValue{};
      value.ulPropTag = kTags[in.Byte() & 3];
      const std::string text = in.Text(in.Byte() & 0x3F);
      const size_t bytes =
          PROP_TYPE(value.ulPropTag) == PT_UNICODE ? (text.size() / 2 + 1) * sizeof(WCHAR) : text.size() + 1;
      LPVOID block = nullptr;
      Check(MAPIAllocateMore(static_cast<ULONG>(bytes), entry.rgPropVals, &block) == S_OK);
      std::memset(block, 0, bytes);
      std::memcpy(block, text.data(), PROP_TYPE(value.ulPropTag) == PT_UNICODE ? text.size() / 2 * 2 : text.size());
      value.Value.lpszA = static_cast<LPSTR>(block);
    }
  }
  SizedSPropTagArray(3, tags) = {3, {PR_ENTRYID, PR_DISPLAY_NAME, PR_COMMENT}};
  const std::vector<ULONG> before(flagList->ulFlag, flagList->ulFlag + flagCount);

  ComPtr<IABContainer> root;
  ULONG type = 0;
  Check(Book()->OpenEntry(0, nullptr, nullptr, 0, &type, reinterpret_cast<LPUNKNOWN*>(root.put())) == S_OK);
  const HRESULT hr = root->ResolveNames(withTags ? reinterpret_cast<LPSPropTagArray>(&tags) : nullptr, flags, list,
                                        entries == flagCount ? flagList : nullptr);
  // Unicode is refused before the lists are looked at.
  if (flags & MAPI_UNICODE)
    Check(hr == MAPI_E_BAD_CHARWIDTH);
  else if (entries != flagCount)
    Check(hr == MAPI_E_INVALID_PARAMETER);
  if (SUCCEEDED(hr)) {
    for (ULONG i = 0; i < flagCount; ++i) {
      // Only unresolved entries change, and a resolved one carries exactly what was asked for.
      if (before[i] != MAPI_UNRESOLVED) Check(flagList->ulFlag[i] == before[i]);
      if (before[i] == MAPI_UNRESOLVED && flagList->ulFlag[i] == MAPI_RESOLVED)
        Check(list->aEntries[i].cValues == (withTags ? 3u : 11u) && list->aEntries[i].rgPropVals);
    }
  }
  // The mismatched lists as they are, too: nothing may be read past the shorter one.
  if (entries != flagCount) Check(root->ResolveNames(nullptr, flags, list, flagList) != S_OK);
  FreePadrlist(list);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (data[0] & 1)
    FuzzResolveNames(Reader{data + 1, size - 1});
  else
    FuzzOpenEntry(data[0], data + 1, size - 1);
  return 0;
}
