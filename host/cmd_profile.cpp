// pxab profile: MAPI profiles holding the address book's message service, made and configured
// as MAPI clients do it (IProfAdmin, IMsgServiceAdmin).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client_args.h"
#include "client_session.h"
#include "command.h"
#include "jsonline.h"
#include "mapiutil.h"
#include "profile_fields.h"
#include "properties.h"

namespace {
// The address book's message service in MAPI's service catalogue.
constexpr const char* kServiceName = "PXBL";
constexpr const char* kServiceDisplayName = "Pernix LDAP Address Book";

const char* const kUsage =
    "Usage: pxab profile create NAME [--set FIELD=VALUE]... [--password-file FILE] [--dialog]\n"
    "       pxab profile configure NAME [--set FIELD=VALUE]... [--password-file FILE] [--dialog]\n"
    "       pxab profile show NAME\n"
    "       pxab profile list\n"
    "       pxab profile delete NAME\n"
    "\n"
    "create makes a MAPI profile holding the address book's message service and configures it\n"
    "with the values given; configure changes an existing one. FIELD is a setting of the\n"
    "address book: DisplayName, ShowNamesBy (0 first, 1 last, 2 cn), Comment, ServerName,\n"
    "Port, UseSSL, UseVersion3, DeepSearch, SearchDN, TimeOut, SchemaMapping (the text, or\n"
    "@FILE), CacheFileName, SearchString, Authenticate, BindDN; flags take true or false.\n"
    "Without SchemaMapping, create stores the configuration dialog's default mapping.\n"
    "  --password-file FILE the bind password: the file's first line\n"
    "  --dialog             show the configuration dialog as well (SERVICE_UI_ALWAYS)\n"
    "NAME defaults to --profile's. show prints the 17 settings as one JSON object (a set\n"
    "password as \"********\"); list prints one JSON line per profile.\n"
    "\n"
    "Exit status: 0 done, 1 no such profile, 2 wrong command line (nothing is written), 3 the\n"
    "profile or the message service failed.\n";

class ProfileCommand {
 public:
  explicit ProfileCommand(std::string what) : what_(std::move(what)) {}

  int Broken(const std::string& text) {
    std::fprintf(stderr, "pxab profile %s: %s\n", what_.c_str(), text.c_str());
    return kExitBroken;
  }

  int Admin() {
    if (FAILED(mapi_.Result())) return Broken("MAPI could not be initialised " + MapiFailureText(mapi_.Result()));
    const HRESULT hr = MAPIAdminProfiles(0, admin_.put());
    if (FAILED(hr)) return Broken("cannot administer profiles: " + MapiFailureText(hr));
    return kExitOk;
  }

  // The profile's service administration and the address book's service in it.
  int Service(const std::string& profile, bool mustHaveService = true) {
    if (const int status = Admin()) return status;
    HRESULT hr = admin_->AdminServices(const_cast<LPSTR>(profile.c_str()), nullptr, 0, 0, services_.put());
    if (hr == MAPI_E_NOT_FOUND) {
      std::fprintf(stderr, "pxab profile %s: no profile '%s'\n", what_.c_str(), profile.c_str());
      return kExitFailure;
    }
    if (FAILED(hr)) return Broken("cannot open the profile '" + profile + "': " + MapiFailureText(hr));
    ComPtr<IMAPITable> table;
    hr = services_->GetMsgServiceTable(0, table.put());
    if (FAILED(hr)) return Broken("cannot read the profile's services: " + MapiFailureText(hr));
    LPSRowSet rows = nullptr;
    hr = table->QueryRows(0x7FFFFFFF, 0, &rows);
    if (FAILED(hr)) return Broken("cannot read the profile's services: " + MapiFailureText(hr));
    for (ULONG i = 0; rows && i < rows->cRows; ++i) {
      const SRow& row = rows->aRow[i];
      const SPropValue* name = PpropFindProp(row.lpProps, row.cValues, PR_SERVICE_NAME);
      const SPropValue* uid = PpropFindProp(row.lpProps, row.cValues, PR_SERVICE_UID);
      if (name && uid && name->Value.lpszA && std::strcmp(name->Value.lpszA, kServiceName) == 0 &&
          uid->Value.bin.cb == sizeof(MAPIUID)) {
        std::memcpy(&uid_, uid->Value.bin.lpb, sizeof(MAPIUID));
        haveService_ = true;
        break;
      }
    }
    FreeProws(rows);
    if (mustHaveService && !haveService_)
      return Broken("the profile '" + profile + "' holds no Pernix LDAP Address Book service");
    return kExitOk;
  }

  int Configure(ProfileValues& values, bool dialog) {
    const HRESULT hr = services_->ConfigureMsgService(
        &uid_, 0, dialog ? SERVICE_UI_ALWAYS : 0, static_cast<ULONG>(values.Values().size()), values.Values().data());
    if (FAILED(hr)) return Broken("cannot configure the address book: " + MapiFailureText(hr));
    return kExitOk;
  }

  std::string what_;
  MapiInitialized mapi_;
  ComPtr<IProfAdmin> admin_;
  ComPtr<IMsgServiceAdmin> services_;
  MAPIUID uid_{};
  bool haveService_ = false;
};

// The settings of the command line; nothing is written when they are not valid.
int Values(const char* what, const ClientArgs& parsed, ProfileValues& values) {
  std::string error;
  for (const auto& [name, value] : parsed.options) {
    if (name == "--set" && !values.Set(value, error)) return ClientUsage(std::string("profile ") + what, error);
    if (name == "--password-file" && !values.SetPasswordFromFile(value, error))
      return ClientUsage(std::string("profile ") + what, error);
  }
  return kExitOk;
}

int Create(const ClientArgs& parsed, const std::string& profile) {
  ProfileValues values;
  if (const int status = Values("create", parsed, values)) return status;
  // What pressing OK in the dialog stores: without it every display name would be empty.
  values.DefaultMapping();
  ProfileCommand command("create");
  if (const int status = command.Admin()) return status;
  HRESULT hr = command.admin_->CreateProfile(const_cast<LPSTR>(profile.c_str()), nullptr, 0, 0);
  if (FAILED(hr)) return command.Broken("cannot create the profile '" + profile + "': " + MapiFailureText(hr));
  int status = command.Service(profile, false);
  if (status == kExitOk) {
    hr = command.services_->CreateMsgService(const_cast<LPSTR>(kServiceName), const_cast<LPSTR>(kServiceDisplayName), 0,
                                             0);
    status = FAILED(hr) ? command.Broken("cannot add the address book's service: " + MapiFailureText(hr))
                        : command.Service(profile);
  }
  if (status == kExitOk) status = command.Configure(values, parsed.Has("--dialog"));
  if (status != kExitOk) {
    // A profile that could not be set up is not left behind half made.
    command.services_.reset();
    command.admin_->DeleteProfile(const_cast<LPSTR>(profile.c_str()), 0);
  }
  return status;
}

int ConfigureExisting(const ClientArgs& parsed, const std::string& profile) {
  ProfileValues values;
  if (const int status = Values("configure", parsed, values)) return status;
  ProfileCommand command("configure");
  if (const int status = command.Service(profile)) return status;
  return command.Configure(values, parsed.Has("--dialog"));
}

std::string FieldJson(const ProfileField& field, const SPropValue* value) {
  const bool present = value && value->ulPropTag == field.tag;
  switch (PROP_TYPE(field.tag)) {
    case PT_LONG: {
      const LONG fallback = field.tag == PROP_TAG(PT_LONG, 0x6603)   ? 389
                            : field.tag == PROP_TAG(PT_LONG, 0x6607) ? 60
                                                                     : 0;
      return std::to_string(present ? value->Value.l : fallback);
    }
    case PT_BOOLEAN: {
      const bool fallback = field.tag == PROP_TAG(PT_BOOLEAN, 0x6613);
      return (present ? value->Value.b != 0 : fallback) ? "true" : "false";
    }
    case PT_BINARY: {
      std::string hex = present && value->Value.bin.cb ? HexBytes(value->Value.bin.lpb, value->Value.bin.cb) : "";
      return JsonString(hex.empty() ? std::string(32, '0') : hex);
    }
    default: {
      const std::string text = present && value->Value.lpszA ? value->Value.lpszA : "";
      if (field.tag == PROP_TAG(PT_STRING8, 0x67F3)) return JsonString(text.empty() ? "" : "********");
      return JsonString(text);
    }
  }
}

int Show(const std::string& profile) {
  ProfileCommand command("show");
  if (const int status = command.Service(profile)) return status;
  ComPtr<IProfSect> section;
  HRESULT hr = command.services_->OpenProfileSection(&command.uid_, nullptr, 0, section.put());
  if (FAILED(hr)) return command.Broken("cannot open the address book's settings: " + MapiFailureText(hr));
  const std::vector<ProfileField>& fields = ProfileFields();
  MapiBuffer<SPropTagArray> tags;
  if (FAILED(MAPIAllocateBuffer(CbNewSPropTagArray(fields.size()), tags.put()))) return command.Broken("out of memory");
  tags->cValues = static_cast<ULONG>(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) tags->aulPropTag[i] = fields[i].tag;
  ULONG count = 0;
  MapiBuffer<SPropValue> values;
  hr = section->GetProps(tags.get(), 0, &count, values.put_typed());
  if (FAILED(hr)) return command.Broken("cannot read the address book's settings: " + MapiFailureText(hr));
  std::string line = "{";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ", ";
    line += JsonString(fields[i].name) + ": " + FieldJson(fields[i], i < count ? &values.get()[i] : nullptr);
  }
  std::printf("%s}\n", line.c_str());
  return kExitOk;
}

int List() {
  ProfileCommand command("list");
  if (const int status = command.Admin()) return status;
  ComPtr<IMAPITable> table;
  HRESULT hr = command.admin_->GetProfileTable(0, table.put());
  if (FAILED(hr)) return command.Broken("cannot read the profiles: " + MapiFailureText(hr));
  LPSRowSet rows = nullptr;
  hr = table->QueryRows(0x7FFFFFFF, 0, &rows);
  if (FAILED(hr)) return command.Broken("cannot read the profiles: " + MapiFailureText(hr));
  for (ULONG i = 0; rows && i < rows->cRows; ++i) {
    const SRow& row = rows->aRow[i];
    const SPropValue* name = PpropFindProp(row.lpProps, row.cValues, PR_DISPLAY_NAME);
    const SPropValue* isDefault = PpropFindProp(row.lpProps, row.cValues, PROP_TAG(PT_BOOLEAN, 0x3D04));
    std::printf("{\"name\": %s, \"default\": %s}\n",
                JsonString(name && name->Value.lpszA ? name->Value.lpszA : "").c_str(),
                isDefault && isDefault->Value.b ? "true" : "false");
  }
  FreeProws(rows);
  return kExitOk;
}

int Delete(const std::string& profile) {
  ProfileCommand command("delete");
  if (const int status = command.Admin()) return status;
  const HRESULT hr = command.admin_->DeleteProfile(const_cast<LPSTR>(profile.c_str()), 0);
  if (hr == MAPI_E_NOT_FOUND) {
    std::fprintf(stderr, "pxab profile delete: no profile '%s'\n", profile.c_str());
    return kExitFailure;
  }
  if (FAILED(hr)) return command.Broken("cannot delete the profile '" + profile + "': " + MapiFailureText(hr));
  return kExitOk;
}

int RunProfile(const std::vector<std::string>& args) {
  ClientArgs parsed;
  std::string error;
  if (!ParseClientArgs(args, {{"--set", true}, {"--password-file", true}, {"--dialog", false}}, parsed, error))
    return ClientUsage("profile", error);
  if (parsed.help || parsed.words.empty()) {
    std::fputs(kUsage, parsed.help ? stdout : stderr);
    std::fputs(ClientOptionsHelp(), parsed.help ? stdout : stderr);
    return parsed.help ? kExitOk : kExitUsage;
  }
  const std::string sub = parsed.words[0];
  const bool takesSettings = sub == "create" || sub == "configure";
  if (!takesSettings && sub != "show" && sub != "list" && sub != "delete")
    return ClientUsage("profile", "unknown sub-command '" + sub + "'");
  if (!takesSettings && !parsed.options.empty())
    return ClientUsage("profile " + sub, "the option " + parsed.options[0].first + " belongs to create and configure");
  const std::size_t maxWords = sub == "list" ? 1 : 2;
  if (parsed.words.size() > maxWords)
    return ClientUsage("profile " + sub, "unexpected argument '" + parsed.words[maxWords] + "'");
  const std::string profile = parsed.words.size() > 1 ? parsed.words[1] : parsed.profile;
  if (sub == "create") return Create(parsed, profile);
  if (sub == "configure") return ConfigureExisting(parsed, profile);
  if (sub == "show") return Show(profile);
  if (sub == "list") return List();
  return Delete(profile);
}

const CommandRegistrar profileCommand({"profile", "create, configure, show, list and delete profiles", RunProfile});
}  // namespace
