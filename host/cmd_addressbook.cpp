// pxab's mail-client commands: list, search, resolve, show, details and status, through MAPI
// and the provider module only.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "client_args.h"
#include "client_session.h"
#include "command.h"
#include "jsonline.h"
#include "mapidisp.h"
#include "mapiutil.h"
#include "properties.h"

namespace {
bool Print(const std::string& line) {
  return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() && std::fputc('\n', stdout) != EOF;
}

int Finish(const char* what, int status) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "pxab %s: cannot write the output: %s\n", what, std::strerror(errno));
    return kExitBroken;
  }
  return status;
}

// Parses the command line; -1 when the help was printed, else 0 or an exit status.
int Parse(const char* what, const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
          const char* usage, ClientArgs& parsed) {
  std::string error;
  if (!ParseClientArgs(args, specs, parsed, error)) return ClientUsage(what, error);
  if (parsed.help) {
    std::printf("%s\n%s", usage, ClientOptionsHelp());
    return -1;
  }
  return 0;
}

int PrintRows(const char* what, ClientSession& session, IMAPITable* table, ULONG* count) {
  Rows rows;
  if (const int status = session.ReadAll(table, rows)) return status;
  for (ULONG i = 0; i < rows.size(); ++i)
    if (!Print(JsonProps(rows[i].lpProps, rows[i].cValues))) break;
  *count = rows.size();
  return Finish(what, kExitOk);
}

int RunList(const std::vector<std::string>& args) {
  ClientArgs parsed;
  const char* usage =
      "Usage: pxab list [OPTIONS]\n"
      "\n"
      "Logs on to the profile, opens the address book's root container, its hierarchy table and\n"
      "the directory container, and prints each row of the directory's contents table as one\n"
      "JSON object (keys are property names).\n"
      "\n"
      "Exit status: 0 listed, 2 wrong command line, 3 the profile, the logon or the address\n"
      "book failed (also when working offline was declined).\n";
  if (const int status = Parse("list", args, {}, usage, parsed)) return status < 0 ? kExitOk : status;
  if (!parsed.words.empty()) return ClientUsage("list", "unexpected argument '" + parsed.words[0] + "'");
  ClientSession session("list", parsed);
  if (const int status = session.Open()) return status;
  ComPtr<IMAPITable> table;
  if (const int status = session.Contents(std::nullopt, table)) return status;
  ULONG count = 0;
  return PrintRows("list", session, table.get(), &count);
}

int RunSearch(const std::vector<std::string>& args) {
  ClientArgs parsed;
  const char* usage =
      "Usage: pxab search [OPTIONS] TEXT\n"
      "\n"
      "Lists the directory container's contents as 'pxab list' does, restricted to the users\n"
      "that a search by typed name (PR_ANR) for TEXT finds.\n"
      "\n"
      "Exit status: 0 when something matched, 1 when nothing did, 2 wrong command line, 3 the\n"
      "profile, the logon or the address book failed.\n";
  if (const int status = Parse("search", args, {}, usage, parsed)) return status < 0 ? kExitOk : status;
  if (parsed.words.size() != 1)
    return ClientUsage("search", parsed.words.empty() ? "missing TEXT" : "one TEXT only, as one argument");
  ClientSession session("search", parsed);
  if (const int status = session.Open()) return status;
  ComPtr<IMAPITable> table;
  if (const int status = session.Contents(parsed.words[0], table)) return status;
  ULONG count = 0;
  const int status = PrintRows("search", session, table.get(), &count);
  return status == kExitOk && count == 0 ? kExitFailure : status;
}

int RunResolve(const std::vector<std::string>& args) {
  ClientArgs parsed;
  const char* usage =
      "Usage: pxab resolve [OPTIONS] NAME...\n"
      "\n"
      "Resolves the NAMEs as a mail client's check names does (IAddrBook::ResolveName, no\n"
      "dialog) and prints one JSON line per NAME:\n"
      "  {\"name\": ..., \"status\": \"resolved\", \"recipient\": {...}}\n"
      "  {\"name\": ..., \"status\": \"ambiguous\", \"candidates\": [display names]}\n"
      "  {\"name\": ..., \"status\": \"unresolved\"}\n"
      "\n"
      "  --prepare            then complete the resolved recipients as a transport does\n"
      "                       (IAddrBook::PrepareRecips with PR_DISPLAY_NAME, PR_EMAIL_ADDRESS,\n"
      "                       PR_ADDRTYPE and PR_SEARCH_KEY) and add \"prepared\": {...}\n"
      "\n"
      "Exit status: 0 every NAME resolved, 1 some did not, 2 wrong command line, 3 the profile,\n"
      "the logon or the address book failed.\n";
  if (const int status = Parse("resolve", args, {{"--prepare", false}}, usage, parsed))
    return status < 0 ? kExitOk : status;
  if (parsed.words.empty()) return ClientUsage("resolve", "missing NAME");
  ClientSession session("resolve", parsed);
  if (const int status = session.Open()) return status;

  const ULONG n = static_cast<ULONG>(parsed.words.size());
  LPADRLIST list = nullptr;
  if (FAILED(MAPIAllocateBuffer(CbNewADRLIST(n), reinterpret_cast<LPVOID*>(&list))))
    return session.Broken("out of memory");
  std::unique_ptr<ADRLIST, void (*)(LPADRLIST)> owned(list, [](LPADRLIST l) { FreePadrlist(l); });
  list->cEntries = 0;
  for (const std::string& name : parsed.words) {
    ADRENTRY& entry = list->aEntries[list->cEntries];
    entry = ADRENTRY{};
    if (FAILED(MAPIAllocateBuffer(2 * sizeof(SPropValue), reinterpret_cast<LPVOID*>(&entry.rgPropVals))))
      return session.Broken("out of memory");
    ++list->cEntries;
    entry.cValues = 2;
    entry.rgPropVals[0] = SPropValue{};
    entry.rgPropVals[0].ulPropTag = PR_DISPLAY_NAME;
    if (FAILED(MAPIAllocateMore(static_cast<ULONG>(name.size() + 1), entry.rgPropVals,
                                reinterpret_cast<LPVOID*>(&entry.rgPropVals[0].Value.lpszA))))
      return session.Broken("out of memory");
    std::memcpy(entry.rgPropVals[0].Value.lpszA, name.c_str(), name.size() + 1);
    entry.rgPropVals[1] = SPropValue{};
    entry.rgPropVals[1].ulPropTag = PR_RECIPIENT_TYPE;
    entry.rgPropVals[1].Value.l = MAPI_TO;
  }
  HRESULT hr = session.Book()->ResolveName(0, 0, nullptr, list);
  if (FAILED(hr) && hr != MAPI_E_AMBIGUOUS_RECIP && hr != MAPI_E_NOT_FOUND)
    return session.Broken("cannot resolve names: " + MapiFailureText(hr));

  std::vector<std::string> lines(n);
  std::vector<bool> resolved(n);
  bool allResolved = true;
  for (ULONG i = 0; i < n; ++i) {
    const ADRENTRY& entry = list->aEntries[i];
    if (PpropFindProp(entry.rgPropVals, entry.cValues, PR_ENTRYID)) {
      lines[i] = "{\"name\": " + JsonString(parsed.words[i]) +
                 ", \"status\": \"resolved\", \"recipient\": " + JsonProps(entry.rgPropVals, entry.cValues);
      resolved[i] = true;
      continue;
    }
    allResolved = false;
    std::vector<std::string> candidates;
    if (const int status = session.Candidates(parsed.words[i], candidates)) return status;
    lines[i] = UnresolvedLine(parsed.words[i], candidates);
  }
  if (parsed.Has("--prepare")) {
    SizedSPropTagArray(4, tags) = {4, {PR_DISPLAY_NAME, PR_EMAIL_ADDRESS, PR_ADDRTYPE, PR_SEARCH_KEY}};
    hr = session.Book()->PrepareRecips(0, reinterpret_cast<LPSPropTagArray>(&tags), list);
    if (FAILED(hr)) return session.Broken("cannot prepare the recipients: " + MapiFailureText(hr));
  }
  for (ULONG i = 0; i < n; ++i) {
    const ADRENTRY& entry = list->aEntries[i];
    if (resolved[i]) {
      if (parsed.Has("--prepare")) lines[i] += ", \"prepared\": " + JsonProps(entry.rgPropVals, entry.cValues);
      lines[i] += "}";
    }
    if (!Print(lines[i])) break;
  }
  return Finish("resolve", allResolved ? kExitOk : kExitFailure);
}

// The mail user a command names: NAME, which must resolve to exactly one user, or --entryid.
int NamedUser(const char* what, ClientSession& session, const ClientArgs& parsed, ComPtr<IMailUser>& user) {
  std::vector<BYTE> entryID;
  if (parsed.Has("--entryid")) {
    if (!parsed.words.empty()) return ClientUsage(what, "give NAME or --entryid, not both");
    if (!ParseHex(parsed.Value("--entryid"), entryID))
      return ClientUsage(what, "--entryid takes the identifier in hex, not '" + parsed.Value("--entryid") + "'");
  }
  if (const int status = session.Open()) return status;
  if (entryID.empty()) {
    if (const int status = session.ResolveOne(parsed.words[0], entryID)) return status;
  }
  return session.OpenUser(entryID, user);
}

int CheckNamed(const char* what, const ClientArgs& parsed) {
  if (parsed.Has("--entryid")) {
    if (!parsed.words.empty()) return ClientUsage(what, "give NAME or --entryid, not both");
    return 0;
  }
  if (parsed.words.size() != 1)
    return ClientUsage(what, parsed.words.empty() ? "missing NAME or --entryid" : "one NAME only, as one argument");
  return 0;
}

int RunShow(const std::vector<std::string>& args) {
  ClientArgs parsed;
  const char* usage =
      "Usage: pxab show [OPTIONS] NAME | --entryid HEX\n"
      "\n"
      "Opens the mail user that NAME resolves to (exactly one; otherwise the candidates are\n"
      "printed as 'pxab resolve' does) or that the entry identifier names, and prints its\n"
      "properties (GetPropList, then GetProps) as one JSON object.\n"
      "\n"
      "Exit status: 0 shown, 1 NAME not resolved or no such entry, 2 wrong command line, 3 the\n"
      "profile, the logon or the address book failed.\n";
  if (const int status = Parse("show", args, {{"--entryid", true}}, usage, parsed))
    return status < 0 ? kExitOk : status;
  if (const int status = CheckNamed("show", parsed)) return status;
  ClientSession session("show", parsed);
  ComPtr<IMailUser> user;
  if (const int status = NamedUser("show", session, parsed, user)) return status;
  MapiBuffer<SPropTagArray> tags;
  HRESULT hr = user->GetPropList(0, tags.put_typed());
  if (FAILED(hr)) return session.Broken("cannot read the property list: " + MapiFailureText(hr));
  ULONG count = 0;
  MapiBuffer<SPropValue> values;
  hr = user->GetProps(tags.get(), 0, &count, values.put_typed());
  if (FAILED(hr)) return session.Broken("cannot read the properties: " + MapiFailureText(hr));
  Print(JsonProps(values.get(), count));
  return Finish("show", kExitOk);
}

// One control of a details page, with what it shows.
struct Control {
  ULONG type = 0;
  LONG x = 0, y = 0, cx = 0, cy = 0;
  std::string text;  // a label's, group box's or page's text
  ULONG tag = 0;     // the property an edit shows
};

std::string StructureText(const SBinary& structure, ULONG offset) {
  if (offset == 0 || offset >= structure.cb) return "";
  const char* start = reinterpret_cast<const char*>(structure.lpb) + offset;
  return std::string(start, strnlen(start, structure.cb - offset));
}

std::vector<Control> Controls(const Rows& rows) {
  std::vector<Control> controls;
  for (ULONG i = 0; i < rows.size(); ++i) {
    const SRow& row = rows[i];
    const auto number = [&](ULONG tag) {
      const SPropValue* v = PpropFindProp(row.lpProps, row.cValues, tag);
      return v ? v->Value.l : 0;
    };
    Control control;
    control.type = static_cast<ULONG>(number(PR_CONTROL_TYPE));
    control.x = number(PR_XPOS);
    control.y = number(PR_YPOS);
    control.cx = number(PR_DELTAX);
    control.cy = number(PR_DELTAY);
    const SPropValue* s = PpropFindProp(row.lpProps, row.cValues, PR_CONTROL_STRUCTURE);
    if (s && s->Value.bin.lpb) {
      const SBinary& structure = s->Value.bin;
      if (control.type == DTCT_EDIT && structure.cb >= sizeof(DTBLEDIT)) {
        control.tag = reinterpret_cast<const DTBLEDIT*>(structure.lpb)->ulPropTag;
      } else if (structure.cb >= sizeof(ULONG) &&
                 (control.type == DTCT_LABEL || control.type == DTCT_GROUPBOX || control.type == DTCT_PAGE)) {
        control.text = StructureText(structure, *reinterpret_cast<const ULONG*>(structure.lpb));
      }
    }
    controls.push_back(control);
  }
  return controls;
}

int RunDetails(const std::vector<std::string>& args) {
  ClientArgs parsed;
  const char* usage =
      "Usage: pxab details [OPTIONS] NAME | --entryid HEX\n"
      "\n"
      "Opens the mail user as 'pxab show' does, opens its details page (PR_DETAILS_TABLE with\n"
      "OpenProperty) and shows it in the terminal: the page's caption and group boxes, and\n"
      "each field's label with the value of the property it shows, in the page's order.\n"
      "\n"
      "  --json               print the display table's rows instead, one JSON object each\n"
      "\n"
      "Exit status: 0 shown, 1 NAME not resolved or no such entry, 2 wrong command line, 3 the\n"
      "profile, the logon or the address book failed.\n";
  if (const int status = Parse("details", args, {{"--entryid", true}, {"--json", false}}, usage, parsed))
    return status < 0 ? kExitOk : status;
  if (const int status = CheckNamed("details", parsed)) return status;
  ClientSession session("details", parsed);
  ComPtr<IMailUser> user;
  if (const int status = NamedUser("details", session, parsed, user)) return status;
  ComPtr<IUnknown> unknown;
  HRESULT hr = user->OpenProperty(PR_DETAILS_TABLE, &IID_IMAPITable, 0, 0, unknown.put());
  if (FAILED(hr)) return session.Broken("cannot open the details table: " + MapiFailureText(hr));
  ComPtr<IMAPITable> table(static_cast<IMAPITable*>(unknown.detach()));
  Rows rows;
  if (const int status = session.ReadAll(table.get(), rows)) return status;
  if (parsed.Has("--json")) {
    for (ULONG i = 0; i < rows.size(); ++i)
      if (!Print(JsonProps(rows[i].lpProps, rows[i].cValues))) break;
    return Finish("details", kExitOk);
  }

  std::vector<Control> controls = Controls(rows);
  // The values the edits show, in one GetProps.
  std::vector<ULONG> tags;
  for (const Control& c : controls)
    if (c.type == DTCT_EDIT) tags.push_back(c.tag);
  std::vector<std::string> shown(tags.size());
  if (!tags.empty()) {
    MapiBuffer<SPropTagArray> tagArray;
    if (FAILED(MAPIAllocateBuffer(CbNewSPropTagArray(tags.size()), tagArray.put())))
      return session.Broken("out of memory");
    tagArray->cValues = static_cast<ULONG>(tags.size());
    std::copy(tags.begin(), tags.end(), tagArray->aulPropTag);
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    hr = user->GetProps(tagArray.get(), 0, &count, values.put_typed());
    if (FAILED(hr)) return session.Broken("cannot read the properties: " + MapiFailureText(hr));
    for (ULONG i = 0; i < count && i < shown.size(); ++i) {
      const SPropValue& v = values.get()[i];
      if (PROP_TYPE(v.ulPropTag) == PT_STRING8 && v.Value.lpszA) shown[i] = v.Value.lpszA;
    }
  }
  // Page order: top to bottom, then left to right; the page row stays first.
  std::vector<std::size_t> order(controls.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const Control &p = controls[a], &q = controls[b];
    if ((p.type == DTCT_PAGE) != (q.type == DTCT_PAGE)) return p.type == DTCT_PAGE;
    return p.y != q.y ? p.y < q.y : p.x < q.x;
  });
  // A label belongs to the edit on its line: the first edit to its right whose height covers it.
  std::vector<bool> labelUsed(controls.size());
  std::size_t editIndex = 0;
  std::vector<std::size_t> editOf(controls.size(), static_cast<std::size_t>(-1));
  for (std::size_t i = 0; i < controls.size(); ++i)
    if (controls[i].type == DTCT_EDIT) editOf[i] = editIndex++;
  std::size_t labelWidth = 0;
  for (const Control& c : controls)
    if (c.type == DTCT_LABEL) labelWidth = std::max(labelWidth, c.text.size());
  for (std::size_t i : order) {
    const Control& c = controls[i];
    if (c.type == DTCT_PAGE || c.type == DTCT_GROUPBOX) {
      Print(c.type == DTCT_PAGE ? c.text : "\n" + c.text);
    } else if (c.type == DTCT_EDIT) {
      std::string label;
      for (std::size_t j = 0; j < controls.size(); ++j) {
        const Control& l = controls[j];
        if (l.type != DTCT_LABEL || labelUsed[j] || l.x >= c.x) continue;
        const LONG middle = l.y + l.cy / 2;
        if (middle >= c.y - 2 && middle <= c.y + c.cy + 2) {
          label = l.text;
          labelUsed[j] = true;
          break;
        }
      }
      std::string line = "  " + label;
      line.resize(2 + labelWidth + 2, ' ');
      Print(line + shown[editOf[i]]);
    }
  }
  return Finish("details", kExitOk);
}

int RunStatus(const std::vector<std::string>& args) {
  ClientArgs parsed;
  const char* usage =
      "Usage: pxab status [OPTIONS]\n"
      "\n"
      "Logs on and prints the session's status table, one JSON object per row.\n"
      "\n"
      "Exit status: 0 shown, 2 wrong command line, 3 the profile or the logon failed.\n";
  if (const int status = Parse("status", args, {}, usage, parsed)) return status < 0 ? kExitOk : status;
  if (!parsed.words.empty()) return ClientUsage("status", "unexpected argument '" + parsed.words[0] + "'");
  ClientSession session("status", parsed);
  if (const int status = session.Open()) return status;
  ComPtr<IMAPITable> table;
  const HRESULT hr = session.Session()->GetStatusTable(0, table.put());
  if (FAILED(hr)) return session.Broken("cannot open the status table: " + MapiFailureText(hr));
  ULONG count = 0;
  return PrintRows("status", session, table.get(), &count);
}

const CommandRegistrar listCommand({"list", "list the address book's directory container", RunList});
const CommandRegistrar searchCommand({"search", "search the address book by typed name", RunSearch});
const CommandRegistrar resolveCommand({"resolve", "resolve names as a mail client's check names", RunResolve});
const CommandRegistrar showCommand({"show", "show one user's properties", RunShow});
const CommandRegistrar detailsCommand({"details", "show one user's details page", RunDetails});
const CommandRegistrar statusCommand({"status", "show the session's status table", RunStatus});
}  // namespace
