// A tiny address-book provider for the MAPI tests, built as two modules (A and B) with their
// own MAPIUID and people, to show that libpxmapi loads any module by its exports and routes
// between providers. It records what MAPI called, for the tests to read through its exports.
#include <atomic>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "mapiguid.h"
#include "mapiptr.h"
#include "mapispi.h"
#include "mapiutil.h"
#include "mapix.h"

#ifndef TESTAB_LETTER
#define TESTAB_LETTER "A"
#endif

namespace {

const std::string kLetter = TESTAB_LETTER;
std::mutex eventMutex;
std::string events;
std::atomic<int> liveObjects{0};
std::atomic<IMAPISupport*> lastSupport{nullptr};  // the support object of the latest logon

void Event(const std::string& text) {
  std::lock_guard guard(eventMutex);
  events += kLetter + ":" + text + ";";
}

MAPIUID ProviderUid() {
  MAPIUID uid;
  std::memset(uid.ab, kLetter[0], sizeof uid.ab);
  return uid;
}

// Entry identifiers: 4 flag bytes, the MAPIUID, a kind byte (1 root, 2 directory, 3 user)
// and the user's index.
std::string EntryId(BYTE kind, BYTE index = 0) {
  std::string id(4, '\0');
  const MAPIUID uid = ProviderUid();
  id.append(reinterpret_cast<const char*>(uid.ab), sizeof uid.ab);
  id += static_cast<char>(kind);
  id += static_cast<char>(index);
  return id;
}

struct Person {
  const char* name;
  const char* address;
};
const std::vector<Person>& People() {
  static const std::vector<Person> a{
      {"Anna Smith", "anna@a.test"}, {"Anna Smyth", "smyth@a.test"}, {"Bob Jones", "bob@a.test"}};
  static const std::vector<Person> b{{"Carl Brown", "carl@b.test"}, {"Dora Smith", "dora@b.test"}};
  return kLetter == "A" ? a : b;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

SPropValue Long(ULONG tag, LONG value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.l = value;
  return v;
}
SPropValue Text(ULONG tag, const char* value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(value);
  return v;
}
SPropValue Binary(ULONG tag, const std::string& bytes) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.bin.cb = static_cast<ULONG>(bytes.size());
  v.Value.bin.lpb = reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data()));
  return v;
}

template <class Interface>
class Counted : public Interface {
 public:
  explicit Counted(std::string name) : name_(std::move(name)) { ++liveObjects; }
  virtual ~Counted() {
    --liveObjects;
    Event(name_ + " released");
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, LPVOID* ppvObj) override {
    if (!ppvObj) return MAPI_E_INVALID_PARAMETER;
    *ppvObj = riid == IID_IUnknown ? static_cast<Interface*>(this) : nullptr;
    if (!*ppvObj) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    this->AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (!left) delete this;
    return left;
  }

 private:
  std::string name_;
  std::atomic<ULONG> refs_{1};
};

// Property objects answer GetProps from a fixed list of values.
template <class Interface>
class Props : public Counted<Interface> {
 public:
  Props(std::string name, std::vector<SPropValue> values)
      : Counted<Interface>(std::move(name)), values_(std::move(values)) {}

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override { return MAPI_E_NO_ACCESS; }
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* out) override {
    std::vector<SPropValue> answer;
    HRESULT hr = S_OK;
    if (!tags) answer = values_;
    for (ULONG i = 0; tags && i < tags->cValues; ++i) {
      const LPSPropValue found = PpropFindProp(values_.data(), static_cast<ULONG>(values_.size()), tags->aulPropTag[i]);
      if (found) {
        answer.push_back(*found);
      } else {
        answer.push_back(Long(PROP_TAG(PT_ERROR, PROP_ID(tags->aulPropTag[i])), MAPI_E_NOT_FOUND));
        hr = MAPI_W_ERRORS_RETURNED;
      }
    }
    const SCODE sc = ScDupPropset(static_cast<int>(answer.size()), answer.data(), MAPIAllocateBuffer, out);
    if (FAILED(sc)) return sc;
    *count = static_cast<ULONG>(answer.size());
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG, LPSPropTagArray* out) override {
    LPSPropTagArray list = nullptr;
    MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(values_.size())), reinterpret_cast<LPVOID*>(&list));
    list->cValues = static_cast<ULONG>(values_.size());
    for (std::size_t i = 0; i < values_.size(); ++i) list->aulPropTag[i] = values_[i].ulPropTag;
    *out = list;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) override { return MAPI_E_NO_ACCESS; }
  HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray, LPSPropProblemArray*) override { return MAPI_E_NO_ACCESS; }
  HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                   LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                      LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override {
    return MAPI_E_NO_SUPPORT;
  }

 private:
  std::vector<SPropValue> values_;  // pointing at constant texts
};

class MailUser final : public Props<IMailUser> {
 public:
  explicit MailUser(BYTE index)
      : Props<IMailUser>("user",
                         {Text(PR_DISPLAY_NAME, People()[index].name), Text(PR_EMAIL_ADDRESS, People()[index].address),
                          Long(PR_OBJECT_TYPE, MAPI_MAILUSER)}) {}
};

HRESULT Resolved(ADRENTRY& entry, BYTE index) {
  const std::string id = EntryId(3, index);
  SPropValue values[] = {Binary(PR_ENTRYID, id), Text(PR_DISPLAY_NAME, People()[index].name),
                         Text(PR_EMAIL_ADDRESS, People()[index].address), Text(PR_ADDRTYPE, "SMTP")};
  LPSPropValue copy = nullptr;
  const SCODE sc = ScDupPropset(4, values, MAPIAllocateBuffer, &copy);
  if (FAILED(sc)) return sc;
  MAPIFreeBuffer(entry.rgPropVals);
  entry.rgPropVals = copy;
  entry.cValues = 4;
  return S_OK;
}

class Container final : public Props<IABContainer> {
 public:
  explicit Container(BYTE kind)
      : Props<IABContainer>(kind == 1 ? "root" : "directory",
                            {Text(PR_DISPLAY_NAME, kind == 1 ? "" : (kLetter == "A" ? "Directory A" : "Directory B")),
                             Long(PR_OBJECT_TYPE, MAPI_ABCONT)}),
        kind_(kind) {}

  HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG, LPMAPITABLE* out) override {
    if (kind_ != 1) return MAPI_E_NO_SUPPORT;
    SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME, PR_ENTRYID}};
    ComPtr<ITableData> data;
    HRESULT hr = CreateTable(&IID_IMAPITableData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
                             TBLTYPE_DYNAMIC, PR_INSTANCE_KEY, reinterpret_cast<LPSPropTagArray>(&columns), data.put());
    if (FAILED(hr)) return hr;
    const std::string id = EntryId(2);
    const std::string key = kLetter + "dir";
    SPropValue row[] = {Binary(PR_INSTANCE_KEY, key),
                        Binary(PR_ENTRYID, id),
                        Text(PR_DISPLAY_NAME, kLetter == "A" ? "Directory A" : "Directory B"),
                        Long(PR_DEPTH, 0),
                        Long(PR_CONTAINER_FLAGS, AB_RECIPIENTS | AB_UNMODIFIABLE),
                        Long(PR_DISPLAY_TYPE, DT_GLOBAL),
                        Long(PR_OBJECT_TYPE, MAPI_ABCONT)};
    SRow srow{0, 7, row};
    hr = data->HrModifyRow(&srow);
    if (FAILED(hr)) return hr;
    return data->HrGetView(nullptr, nullptr, 0, out);
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CreateEntry(ULONG, LPENTRYID, ULONG, LPMAPIPROP*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CopyEntries(LPENTRYLIST, ULONG_PTR, LPMAPIPROGRESS, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE DeleteEntries(LPENTRYLIST, ULONG) override { return MAPI_E_NO_SUPPORT; }
  // Substring match on the display name, ignoring case.
  HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray, ULONG, LPADRLIST list, LPFlagList flags) override {
    if (kind_ != 2) return MAPI_E_NO_SUPPORT;
    Event("ResolveNames");
    for (ULONG i = 0; i < list->cEntries; ++i) {
      if (flags->ulFlag[i] != MAPI_UNRESOLVED) continue;
      ADRENTRY& entry = list->aEntries[i];
      const LPSPropValue typed = PpropFindProp(entry.rgPropVals, entry.cValues, PR_DISPLAY_NAME);
      if (!typed) continue;
      std::vector<BYTE> matches;
      for (std::size_t p = 0; p < People().size(); ++p)
        if (Upper(People()[p].name).find(Upper(typed->Value.lpszA)) != std::string::npos)
          matches.push_back(static_cast<BYTE>(p));
      if (matches.size() > 1) flags->ulFlag[i] = MAPI_AMBIGUOUS;
      if (matches.size() == 1) {
        const HRESULT hr = Resolved(entry, matches[0]);
        if (FAILED(hr)) return hr;
        flags->ulFlag[i] = MAPI_RESOLVED;
      }
    }
    return S_OK;
  }

 private:
  BYTE kind_;
};

class TestLogon final : public Counted<IABLogon> {
 public:
  explicit TestLogon(LPMAPISUP support)
      : Counted<IABLogon>("logon"), support_(ComPtr<IMAPISupport>::AddRefed(support)) {}

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE Logoff(ULONG) override {
    Event("Logoff");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cb, LPENTRYID id, LPCIID, ULONG, ULONG* type, LPUNKNOWN* out) override {
    if (cb == 0) {
      *type = MAPI_ABCONT;
      *out = static_cast<IABContainer*>(new Container(1));
      return S_OK;
    }
    const std::string bytes(reinterpret_cast<const char*>(id), cb);
    if (bytes == EntryId(2)) {
      *type = MAPI_ABCONT;
      *out = static_cast<IABContainer*>(new Container(2));
      return S_OK;
    }
    for (std::size_t p = 0; p < People().size(); ++p) {
      if (bytes == EntryId(3, static_cast<BYTE>(p))) {
        *type = MAPI_MAILUSER;
        *out = static_cast<IMailUser*>(new MailUser(static_cast<BYTE>(p)));
        return S_OK;
      }
    }
    return MAPI_E_UNKNOWN_ENTRYID;
  }
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cb1, LPENTRYID id1, ULONG cb2, LPENTRYID id2, ULONG,
                                            ULONG* result) override {
    Event("CompareEntryIDs");
    *result = cb1 == cb2 && std::memcmp(id1, id2, cb1) == 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG_PTR*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE OpenStatusEntry(LPCIID, ULONG, ULONG*, LPMAPISTATUS*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE OpenTemplateID(ULONG, LPENTRYID, ULONG, LPMAPIPROP, LPCIID, LPMAPIPROP*,
                                           LPMAPIPROP) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetOneOffTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
  // Marks every entry it gets with PR_COMMENT "prepared by <letter>".
  HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG, LPSPropTagArray, LPADRLIST list) override {
    Event("PrepareRecips " + std::to_string(list->cEntries));
    static const std::string comment = "prepared by " + kLetter;
    for (ULONG i = 0; i < list->cEntries; ++i) {
      ADRENTRY& entry = list->aEntries[i];
      std::vector<SPropValue> values(entry.rgPropVals, entry.rgPropVals + entry.cValues);
      values.push_back(Text(PR_COMMENT, comment.c_str()));
      LPSPropValue copy = nullptr;
      const SCODE sc = ScDupPropset(static_cast<int>(values.size()), values.data(), MAPIAllocateBuffer, &copy);
      if (FAILED(sc)) return sc;
      MAPIFreeBuffer(entry.rgPropVals);
      entry.rgPropVals = copy;
      entry.cValues = static_cast<ULONG>(values.size());
    }
    return S_OK;
  }

 private:
  ComPtr<IMAPISupport> support_;
};

// Reads PR_COMMENT of the service's section the way a provider finds its settings: its own
// section's PR_SERVICE_UID names the service's section.
std::string ServiceComment(LPMAPISUP support) {
  ComPtr<IProfSect> own;
  if (FAILED(support->OpenProfileSection(nullptr, 0, own.put()))) return "no own section";
  SizedSPropTagArray(1, uidTag) = {1, {PR_SERVICE_UID}};
  ULONG count = 0;
  MapiBuffer<SPropValue> uid;
  if (FAILED(own->GetProps(reinterpret_cast<LPSPropTagArray>(&uidTag), 0, &count, uid.put_typed())) ||
      uid->ulPropTag != PR_SERVICE_UID)
    return "no service uid";
  ComPtr<IProfSect> service;
  if (FAILED(support->OpenProfileSection(reinterpret_cast<LPMAPIUID>(uid->Value.bin.lpb), 0, service.put())))
    return "no service section";
  SizedSPropTagArray(1, commentTag) = {1, {PR_COMMENT}};
  MapiBuffer<SPropValue> comment;
  if (FAILED(service->GetProps(reinterpret_cast<LPSPropTagArray>(&commentTag), 0, &count, comment.put_typed())) ||
      comment->ulPropTag != PR_COMMENT)
    return "";
  return comment->Value.lpszA;
}

class Provider final : public Counted<IABProvider> {
 public:
  Provider() : Counted<IABProvider>("provider") {}
  HRESULT STDMETHODCALLTYPE Shutdown(ULONG*) override {
    Event("Shutdown");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Logon(LPMAPISUP support, ULONG_PTR, LPSTR profile, ULONG flags, ULONG*, LPBYTE*,
                                  LPMAPIERROR*, LPABLOGON* out) override {
    Event(std::string("Logon ") + profile + " flags=" + std::to_string(flags));
    const std::string comment = ServiceComment(support);
    Event("settings " + comment);
    if (comment == "fail logon") return MAPI_E_LOGON_FAILED;
    MAPIUID uid = ProviderUid();
    HRESULT hr = support->SetProviderUID(&uid, 0);
    if (FAILED(hr)) return hr;
    const std::string name = "Test book " + kLetter;
    SPropValue row[] = {Text(PR_DISPLAY_NAME, name.c_str()),      Text(PR_PROVIDER_DISPLAY, "Test provider"),
                        Long(PR_RESOURCE_TYPE, MAPI_AB_PROVIDER), Long(PR_STATUS_CODE, STATUS_AVAILABLE),
                        Text(PR_STATUS_STRING, "Available"),      Long(PR_OBJECT_TYPE, MAPI_STATUS)};
    support->ModifyStatusRow(6, row, 0);
    lastSupport = support;
    *out = new TestLogon(support);
    return S_OK;
  }
};

}  // namespace

#ifndef TESTAB_NO_INIT
PX_EXPORT HRESULT STDMETHODCALLTYPE ABProviderInit(HINSTANCE, LPMALLOC malloc, LPALLOCATEBUFFER allocate,
                                                   LPALLOCATEMORE, LPFREEBUFFER, ULONG, ULONG version,
                                                   ULONG* providerVersion, LPABPROVIDER* out) {
  Event("ABProviderInit " + std::string(malloc && allocate == MAPIAllocateBuffer ? "routines" : "no routines") +
        (version >= CURRENT_SPI_VERSION ? " current" : " old"));
  *providerVersion = CURRENT_SPI_VERSION;
  *out = new Provider();
  return S_OK;
}
#endif

PX_EXPORT HRESULT STDMETHODCALLTYPE ABServiceEntry(HINSTANCE, LPMALLOC, LPMAPISUP support, ULONG_PTR ui, ULONG flags,
                                                   ULONG context, ULONG cValues, LPSPropValue props,
                                                   LPPROVIDERADMIN admin, LPMAPIERROR*) {
  LPALLOCATEBUFFER allocate = nullptr;
  LPALLOCATEMORE more = nullptr;
  LPFREEBUFFER free = nullptr;
  const bool routines = support && SUCCEEDED(support->GetMemAllocRoutines(&allocate, &more, &free)) &&
                        allocate == MAPIAllocateBuffer && more == MAPIAllocateMore && free == MAPIFreeBuffer;
  Event("ABServiceEntry context=" + std::to_string(context) + " flags=" + std::to_string(flags) +
        " ui=" + std::to_string(ui) + " values=" + std::to_string(cValues) + (routines ? " routines" : " no routines"));
  if (ui == 0xDEAD) return MAPI_E_USER_CANCEL;
  if (context != MSG_SERVICE_CREATE && context != MSG_SERVICE_CONFIGURE) return S_OK;
  ComPtr<IProfSect> section;
  HRESULT hr = admin->OpenProfileSection(nullptr, nullptr, MAPI_MODIFY, section.put());
  if (FAILED(hr)) return hr;
  if (cValues) {
    hr = section->SetProps(cValues, props, nullptr);
    if (FAILED(hr)) return hr;
  }
  SPropValue marker = Text(PR_ACCOUNT, context == MSG_SERVICE_CREATE ? "created" : "configured");
  hr = section->SetProps(1, &marker, nullptr);
  if (FAILED(hr)) return hr;
  return section->SaveChanges(KEEP_OPEN_READWRITE);
}

// What the tests read back.
PX_EXPORT const char* TestAbEvents() { return events.c_str(); }
PX_EXPORT void TestAbClearEvents() {
  std::lock_guard guard(eventMutex);
  events.clear();
}
PX_EXPORT int TestAbLiveObjects() { return liveObjects; }
// The support object of the latest logon; valid while that logon lives.
PX_EXPORT IMAPISupport* TestAbSupport() { return lastSupport; }
