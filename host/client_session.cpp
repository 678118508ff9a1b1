#include "client_session.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "command.h"
#include "jsonline.h"
#include "mapiutil.h"
#include "properties.h"

namespace {
constexpr LONG kBatch = 500;

SRestriction AnrRestriction(SPropValue& value, const std::string& text) {
  value = SPropValue{};
  value.ulPropTag = PR_ANR;
  value.Value.lpszA = const_cast<LPSTR>(text.c_str());
  SRestriction restriction{};
  restriction.rt = RES_PROPERTY;
  restriction.res.resProperty.relop = RELOP_EQ;
  restriction.res.resProperty.ulPropTag = PR_ANR;
  restriction.res.resProperty.lpProp = &value;
  return restriction;
}
}  // namespace

MapiInitialized::MapiInitialized() : hr_(MAPIInitialize(nullptr)) {}
MapiInitialized::~MapiInitialized() {
  if (SUCCEEDED(hr_)) MAPIUninitialize();
}

std::string MapiFailureText(HRESULT hr) {
  const char* text = PxMAPILastError();
  std::string result = text && *text ? std::string(text) + " " : std::string();
  return result + "(" + HexCode(static_cast<ULONG>(hr)) + ")";
}

ClientSession::ClientSession(std::string what, const ClientArgs& args) : what_(std::move(what)), args_(args) {}

ClientSession::~ClientSession() {
  directory_.reset();
  book_.reset();
  if (session_) session_->Logoff(0, 0, 0);
  session_.reset();
}

int ClientSession::Broken(const std::string& text) {
  std::fprintf(stderr, "pxab %s: %s\n", what_.c_str(), text.c_str());
  return kExitBroken;
}

int ClientSession::Open() {
  if (FAILED(mapi_.Result())) return Broken("MAPI could not be initialised " + MapiFailureText(mapi_.Result()));
  // The provider's message boxes (the offline question) while it takes its snapshot.
  DirectoryMessages messages("pxab " + what_, args_.offline);
  HRESULT hr = MAPILogonEx(0, const_cast<LPSTR>(args_.profile.c_str()), nullptr,
                           MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE, session_.put());
  if (FAILED(hr)) return Broken("cannot log on to the profile '" + args_.profile + "': " + MapiFailureText(hr));
  hr = session_->OpenAddressBook(0, nullptr, AB_NO_DIALOG, book_.put());
  if (FAILED(hr) || !book_) return Broken("cannot open the address book: " + MapiFailureText(hr));
  if (messages.workOffline == false)
    return Broken("the address book is empty: the directory server could not be used and working offline was declined");
  return kExitOk;
}

int ClientSession::OpenDirectory(ComPtr<IABContainer>& directory) {
  if (directory_) {
    directory = directory_;
    return kExitOk;
  }
  ULONG type = 0;
  ComPtr<IUnknown> rootUnknown;
  HRESULT hr = book_->OpenEntry(0, nullptr, &IID_IABContainer, 0, &type, rootUnknown.put());
  if (FAILED(hr)) return Broken("cannot open the root container: " + MapiFailureText(hr));
  auto* root = static_cast<IABContainer*>(rootUnknown.get());
  ComPtr<IMAPITable> hierarchy;
  hr = root->GetHierarchyTable(0, hierarchy.put());
  if (FAILED(hr)) return Broken("cannot read the root's hierarchy table: " + MapiFailureText(hr));
  Rows rows;
  if (const int status = ReadAll(hierarchy.get(), rows)) return status;
  for (ULONG i = 0; i < rows.size(); ++i) {
    const SPropValue* id = PpropFindProp(rows[i].lpProps, rows[i].cValues, PR_ENTRYID);
    if (!id) continue;
    ComPtr<IUnknown> unknown;
    hr = book_->OpenEntry(id->Value.bin.cb, reinterpret_cast<LPENTRYID>(id->Value.bin.lpb), &IID_IABContainer, 0, &type,
                          unknown.put());
    if (FAILED(hr)) return Broken("cannot open the directory container: " + MapiFailureText(hr));
    directory_ = ComPtr<IABContainer>(static_cast<IABContainer*>(unknown.detach()));
    directory = directory_;
    return kExitOk;
  }
  return Broken("the root container lists no directory container");
}

int ClientSession::Contents(std::optional<std::string> text, ComPtr<IMAPITable>& table) {
  ComPtr<IABContainer> directory;
  if (const int status = OpenDirectory(directory)) return status;
  HRESULT hr = directory->GetContentsTable(0, table.put());
  if (FAILED(hr)) return Broken("cannot open the contents table: " + MapiFailureText(hr));
  if (text) {
    SPropValue value;
    SRestriction restriction = AnrRestriction(value, *text);
    hr = table->Restrict(&restriction, 0);
    if (FAILED(hr)) return Broken("cannot search the contents table: " + MapiFailureText(hr));
  }
  return kExitOk;
}

int ClientSession::ReadAll(IMAPITable* table, Rows& all) {
  // One set for the caller: read in batches and join them.
  std::vector<LPSRowSet> batches;
  ULONG total = 0;
  const auto freeBatches = [&] {
    for (LPSRowSet batch : batches) MAPIFreeBuffer(batch);
  };
  for (;;) {
    LPSRowSet batch = nullptr;
    const HRESULT hr = table->QueryRows(kBatch, 0, &batch);
    if (FAILED(hr)) {
      for (LPSRowSet b : batches) FreeProws(b);
      return Broken("cannot read a table: " + MapiFailureText(hr));
    }
    if (!batch || batch->cRows == 0) {
      FreeProws(batch);
      break;
    }
    total += batch->cRows;
    batches.push_back(batch);
  }
  LPSRowSet* out = all.put();
  if (FAILED(MAPIAllocateBuffer(CbNewSRowSet(total), reinterpret_cast<LPVOID*>(out)))) {
    for (LPSRowSet b : batches) FreeProws(b);
    return Broken("out of memory");
  }
  (*out)->cRows = 0;
  for (LPSRowSet batch : batches)
    for (ULONG i = 0; i < batch->cRows; ++i) (*out)->aRow[(*out)->cRows++] = batch->aRow[i];
  // The rows' values now belong to the joined set; only the batches' own arrays go.
  freeBatches();
  return kExitOk;
}

int ClientSession::Candidates(const std::string& name, std::vector<std::string>& names) {
  ComPtr<IMAPITable> table;
  if (const int status = Contents(name, table)) return status;
  Rows rows;
  if (const int status = ReadAll(table.get(), rows)) return status;
  for (ULONG i = 0; i < rows.size(); ++i) {
    const SPropValue* v = PpropFindProp(rows[i].lpProps, rows[i].cValues, PR_DISPLAY_NAME);
    names.push_back(v && v->Value.lpszA ? v->Value.lpszA : "");
  }
  return kExitOk;
}

int ClientSession::ResolveOne(const std::string& name, std::vector<BYTE>& entryID) {
  LPADRLIST list = nullptr;
  if (FAILED(MAPIAllocateBuffer(CbNewADRLIST(1), reinterpret_cast<LPVOID*>(&list)))) return Broken("out of memory");
  std::unique_ptr<ADRLIST, void (*)(LPADRLIST)> owned(list, [](LPADRLIST l) { FreePadrlist(l); });
  list->cEntries = 1;
  list->aEntries[0] = ADRENTRY{};
  if (FAILED(MAPIAllocateBuffer(2 * sizeof(SPropValue), reinterpret_cast<LPVOID*>(&list->aEntries[0].rgPropVals))))
    return Broken("out of memory");
  LPSPropValue props = list->aEntries[0].rgPropVals;
  list->aEntries[0].cValues = 2;
  props[0] = SPropValue{};
  props[0].ulPropTag = PR_DISPLAY_NAME;
  if (FAILED(MAPIAllocateMore(static_cast<ULONG>(name.size() + 1), props,
                              reinterpret_cast<LPVOID*>(&props[0].Value.lpszA))))
    return Broken("out of memory");
  std::memcpy(props[0].Value.lpszA, name.c_str(), name.size() + 1);
  props[1] = SPropValue{};
  props[1].ulPropTag = PR_RECIPIENT_TYPE;
  props[1].Value.l = MAPI_TO;
  const HRESULT hr = book_->ResolveName(0, 0, nullptr, list);
  if (FAILED(hr) && hr != MAPI_E_AMBIGUOUS_RECIP && hr != MAPI_E_NOT_FOUND)
    return Broken("cannot resolve names: " + MapiFailureText(hr));
  const ADRENTRY& entry = list->aEntries[0];
  if (const SPropValue* id = PpropFindProp(entry.rgPropVals, entry.cValues, PR_ENTRYID)) {
    entryID.assign(id->Value.bin.lpb, id->Value.bin.lpb + id->Value.bin.cb);
    return kExitOk;
  }
  std::vector<std::string> candidates;
  if (const int status = Candidates(name, candidates)) return status;
  std::printf("%s\n", UnresolvedLine(name, candidates).c_str());
  return kExitFailure;
}

int ClientSession::OpenUser(const std::vector<BYTE>& entryID, ComPtr<IMailUser>& user) {
  ULONG type = 0;
  ComPtr<IUnknown> unknown;
  const HRESULT hr = book_->OpenEntry(static_cast<ULONG>(entryID.size()),
                                      reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(entryID.data())), &IID_IMailUser, 0,
                                      &type, unknown.put());
  if (hr == MAPI_E_NOT_FOUND || hr == MAPI_E_INVALID_ENTRYID || hr == MAPI_E_UNKNOWN_ENTRYID) {
    std::fprintf(stderr, "pxab %s: no such entry (%s)\n", what_.c_str(), HexCode(static_cast<ULONG>(hr)).c_str());
    return kExitFailure;
  }
  if (FAILED(hr)) return Broken("cannot open the entry: " + MapiFailureText(hr));
  if (type != MAPI_MAILUSER) {
    std::fprintf(stderr, "pxab %s: the entry is not a mail user\n", what_.c_str());
    return kExitFailure;
  }
  user = ComPtr<IMailUser>(static_cast<IMailUser*>(unknown.detach()));
  return kExitOk;
}

std::string UnresolvedLine(const std::string& name, const std::vector<std::string>& candidates) {
  std::string line = "{\"name\": " + JsonString(name);
  if (candidates.size() < 2) return line + ", \"status\": \"unresolved\"}";
  line += ", \"status\": \"ambiguous\", \"candidates\": [";
  for (std::size_t i = 0; i < candidates.size(); ++i) line += (i ? ", " : "") + JsonString(candidates[i]);
  return line + "]}";
}

bool ParseHex(const std::string& text, std::vector<BYTE>& bytes) {
  if (text.empty() || text.size() % 2) return false;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  bytes.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<BYTE>(high << 4 | low));
  }
  return true;
}
