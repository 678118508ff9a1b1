// The Windows LDAP client calls over OpenLDAP's libldap. Inside this file the unqualified
// LDAP names and LDAP_* constants are libldap's; ours are reached through winldap::, and
// every code that leaves a call goes through PlatformCode.
#define PX_WINLDAP_IMPLEMENTATION
#include "winldap.h"

#include <ldap.h>
#include <sys/time.h>

#include <strings.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {
// Bumped by every message freed: an index built before it may describe freed memory.
std::atomic<unsigned long> freeGeneration{0};

// The one way a message is freed here, so that no path frees one behind the indexes' back.
void FreeMessage(::LDAPMessage* message) {
  ++freeGeneration;
  ::ldap_msgfree(message);
}

// The attributes of the entry whose values were last asked for, read in one pass. Callers ask
// for several attributes of every entry; finding each by a fresh scan of the entry costs
// more than all the rest of reading a search result. Names and values point into the entry.
struct AttributeIndex {
  ::LDAPMessage* entry = nullptr;
  unsigned long generation = 0;
  std::vector<std::pair<berval, berval*>> attributes;

  AttributeIndex() = default;
  AttributeIndex(const AttributeIndex&) = delete;
  AttributeIndex& operator=(const AttributeIndex&) = delete;
  ~AttributeIndex() { Clear(); }
  void Clear() {
    for (auto& attribute : attributes) ::ber_memfree(attribute.second);
    attributes.clear();
    entry = nullptr;
  }
};
}  // namespace

struct winldap::ldap {
  ::LDAP* session = nullptr;
  AttributeIndex index;
  // A failure found while the handle was prepared (the TLS context could not be built); it
  // is the answer of every call that would talk to the server, so that no connection is
  // ever made without the certificate check.
  int setupError = LDAP_SUCCESS;
};

namespace {
// libldap's macros hide our constants of the same names here; success is 0 on both sides.
constexpr ULONG kSuccess = 0;
thread_local ULONG lastError = kSuccess;

// Seconds a connection attempt to one host may take when the caller names no time-out.
constexpr long kDefaultConnectSeconds = 30;
constexpr const char* kSystemTrustStore = "/etc/ssl/certs/ca-certificates.crt";

// libldap's client-side codes are negative; the platform numbers the same list upwards from
// 0x51 (LDAP_SERVER_DOWN) in the same order. Server result codes are the protocol's on both.
ULONG PlatformCode(int rc) {
  if (rc >= 0) return static_cast<ULONG>(rc);
  if (rc >= LDAP_REFERRAL_LIMIT_EXCEEDED) return static_cast<ULONG>(0x50 - rc);
  return PlatformCode(LDAP_LOCAL_ERROR);
}

// Returns the platform code of `rc`, remembered as the thread's last error when it is one.
ULONG Report(int rc) {
  const ULONG code = PlatformCode(rc);
  if (code != kSuccess) lastError = code;
  return code;
}

::LDAPMessage* Native(winldap::LDAPMessage* message) { return reinterpret_cast<::LDAPMessage*>(message); }
winldap::LDAPMessage* Ours(::LDAPMessage* message) { return reinterpret_cast<winldap::LDAPMessage*>(message); }

bool ParsePort(const std::string& text, unsigned long& port) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  port = std::stoul(text);
  return port >= 1 && port <= 65535;
}

// One host of the list as "scheme://host:port". Accepts "host", "host:port", "[v6]",
// "[v6]:port" and a bare IPv6 address (more than one colon, no port).
bool HostUri(const std::string& item, const char* scheme, unsigned long defaultPort, std::string& uri) {
  std::string host = item;
  unsigned long port = defaultPort;
  if (item.front() == '[') {
    const std::size_t close = item.find(']');
    if (close == std::string::npos) return false;
    host = item.substr(0, close + 1);
    const std::string rest = item.substr(close + 1);
    if (!rest.empty() && (rest[0] != ':' || !ParsePort(rest.substr(1), port))) return false;
  } else if (const std::size_t colon = item.find(':'); colon != std::string::npos) {
    if (item.find(':', colon + 1) == std::string::npos) {
      host = item.substr(0, colon);
      if (host.empty() || !ParsePort(item.substr(colon + 1), port)) return false;
    } else {
      host = "[" + item + "]";
    }
  }
  // A host name never holds URL syntax; refusing it keeps the list from being reread as more.
  if (host.find_first_of("/?#@%") != std::string::npos) return false;
  uri = std::string(scheme) + "://" + host + ":" + std::to_string(port);
  return true;
}

bool UriList(const char* hostName, ULONG portNumber, bool secure, std::string& uris) {
  const char* scheme = secure ? "ldaps" : "ldap";
  std::vector<std::string> items;
  std::string current;
  for (const char* p = hostName ? hostName : ""; *p; ++p) {
    if (*p == ' ' || *p == '\t') {
      if (!current.empty()) items.push_back(current);
      current.clear();
    } else {
      current += *p;
    }
  }
  if (!current.empty()) items.push_back(current);
  if (items.empty()) items.push_back("localhost");
  for (const std::string& item : items) {
    std::string uri;
    if (!HostUri(item, scheme, portNumber, uri)) return false;
    if (!uris.empty()) uris += ' ';
    uris += uri;
  }
  return true;
}

// The handle's own TLS context: the server certificate must be valid and name the host we
// asked for, whatever the user's or the system's libldap configuration says about checking.
// The trusted CAs are the configured ones (LDAPTLS_CACERT / LDAPTLS_CACERTDIR, read at every
// call so that a process may change them, or ldap.conf), else the system's store.
int PrepareTls(::LDAP* session) {
  int demand = LDAP_OPT_X_TLS_DEMAND;
  int rc = ::ldap_set_option(session, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand);
  const char* caFile = std::getenv("LDAPTLS_CACERT");
  const char* caDir = std::getenv("LDAPTLS_CACERTDIR");
  if (rc == LDAP_SUCCESS && caFile && *caFile) rc = ::ldap_set_option(session, LDAP_OPT_X_TLS_CACERTFILE, caFile);
  if (rc == LDAP_SUCCESS && caDir && *caDir) rc = ::ldap_set_option(session, LDAP_OPT_X_TLS_CACERTDIR, caDir);
  if (rc != LDAP_SUCCESS) return rc;
  char* configuredFile = nullptr;
  char* configuredDir = nullptr;
  ::ldap_get_option(session, LDAP_OPT_X_TLS_CACERTFILE, &configuredFile);
  ::ldap_get_option(session, LDAP_OPT_X_TLS_CACERTDIR, &configuredDir);
  if (!configuredFile && !configuredDir) rc = ::ldap_set_option(session, LDAP_OPT_X_TLS_CACERTFILE, kSystemTrustStore);
  ::ldap_memfree(configuredFile);
  ::ldap_memfree(configuredDir);
  if (rc != LDAP_SUCCESS) return rc;
  int isServer = 0;
  return ::ldap_set_option(session, LDAP_OPT_X_TLS_NEWCTX, &isServer);
}

// Makes ld's index describe `entry`; false when the entry cannot be read that way.
bool Indexed(winldap::ldap* ld, ::LDAPMessage* entry) {
  AttributeIndex& index = ld->index;
  const unsigned long generation = freeGeneration.load();
  if (index.entry == entry && index.generation == generation) return true;
  index.Clear();
  BerElement* ber = nullptr;
  berval dn{};
  if (::ldap_get_dn_ber(ld->session, entry, &ber, &dn) != LDAP_SUCCESS) {
    if (ber) ::ber_free(ber, 0);
    return false;
  }
  bool ok = true;
  try {
    for (;;) {
      berval name{};
      berval* values = nullptr;
      if (::ldap_get_attribute_ber(ld->session, entry, ber, &name, &values) != LDAP_SUCCESS) {
        ok = false;
        break;
      }
      if (!name.bv_val) break;
      if (!values) {
        ok = false;
        break;
      }
      try {
        index.attributes.emplace_back(name, values);
      } catch (...) {
        ::ber_memfree(values);
        throw;
      }
    }
  } catch (...) {
    ok = false;
  }
  ::ber_free(ber, 0);
  if (!ok) {
    index.Clear();
    return false;
  }
  index.entry = entry;
  index.generation = generation;
  return true;
}

// The values as the platform hands them out: one block, the pointer array and then every
// value with a terminating zero, so that ldap_value_free has a single thing to release.
template <class ValueAt>
winldap::PCHAR* ValueBlock(std::size_t count, ValueAt valueAt) {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < count; ++i) bytes += valueAt(i)->bv_len + 1;
  const std::size_t table = (count + 1) * sizeof(winldap::PCHAR);
  void* block = std::malloc(table + bytes);
  if (!block) {
    Report(LDAP_NO_MEMORY);
    return nullptr;
  }
  winldap::PCHAR* array = static_cast<winldap::PCHAR*>(block);
  char* text = static_cast<char*>(block) + table;
  for (std::size_t i = 0; i < count; ++i) {
    const berval* value = valueAt(i);
    array[i] = text;
    if (value->bv_len) std::memcpy(text, value->bv_val, value->bv_len);
    text[value->bv_len] = '\0';
    text += value->bv_len + 1;
  }
  array[count] = nullptr;
  return array;
}

// The session of a handle that may talk to the server, or null with the code recorded.
::LDAP* Usable(winldap::LDAP* ld, ULONG& code) {
  if (!ld || !ld->session) {
    code = Report(LDAP_PARAM_ERROR);
    return nullptr;
  }
  if (ld->setupError != LDAP_SUCCESS) {
    code = Report(ld->setupError);
    return nullptr;
  }
  return ld->session;
}
}  // namespace

namespace winldap {

LDAP* ldap_sslinit(PCHAR HostName, ULONG PortNumber, int secure) {
  std::string uris;
  if (!UriList(HostName, PortNumber, secure != 0, uris)) {
    Report(LDAP_PARAM_ERROR);
    return nullptr;
  }
  LDAP* ld = new (std::nothrow) LDAP;
  if (!ld) {
    Report(LDAP_NO_MEMORY);
    return nullptr;
  }
  const int rc = ::ldap_initialize(&ld->session, uris.c_str());
  if (rc != LDAP_SUCCESS || !ld->session) {
    Report(rc != LDAP_SUCCESS ? rc : LDAP_LOCAL_ERROR);
    delete ld;
    return nullptr;
  }
  // libldap starts at version 2, which today's servers (slapd 2.5 among them) refuse; a
  // handle speaks version 3 unless the caller asks for 2.
  const int version = LDAP_VERSION3;
  ::ldap_set_option(ld->session, LDAP_OPT_PROTOCOL_VERSION, &version);
  timeval connectTimeout{kDefaultConnectSeconds, 0};
  ::ldap_set_option(ld->session, LDAP_OPT_NETWORK_TIMEOUT, &connectTimeout);
  if (secure && PrepareTls(ld->session) != LDAP_SUCCESS) ld->setupError = LDAP_CONNECT_ERROR;
  return ld;
}

ULONG ldap_set_option(LDAP* ld, int option, const void* invalue) {
  if (!ld || !ld->session || !invalue) return Report(LDAP_PARAM_ERROR);
  const int value = *static_cast<const int*>(invalue);
  switch (option) {
    case LDAP_OPT_VERSION:
      if (value != LDAP_VERSION2 && value != LDAP_VERSION3) return Report(LDAP_PARAM_ERROR);
      return Report(::ldap_set_option(ld->session, LDAP_OPT_PROTOCOL_VERSION, &value));
    case LDAP_OPT_TIMELIMIT:
      if (value < 0) return Report(LDAP_PARAM_ERROR);
      return Report(::ldap_set_option(ld->session, LDAP_OPT_TIMELIMIT, &value));
    case LDAP_OPT_SIZELIMIT:
      if (value < 0) return Report(LDAP_PARAM_ERROR);
      return Report(::ldap_set_option(ld->session, LDAP_OPT_SIZELIMIT, &value));
    default: return Report(LDAP_PARAM_ERROR);
  }
}

ULONG ldap_connect(LDAP* ld, l_timeval* timeout) {
  ULONG code = LDAP_SUCCESS;
  ::LDAP* session = Usable(ld, code);
  if (!session) return code;
  if (timeout) {
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return Report(LDAP_PARAM_ERROR);
    timeval limit{timeout->tv_sec, timeout->tv_usec};
    ::ldap_set_option(session, LDAP_OPT_NETWORK_TIMEOUT, &limit);
  }
  return Report(::ldap_connect(session));
}

ULONG ldap_bind_s(LDAP* ld, PCHAR dn, PCHAR cred, ULONG method) {
  ULONG code = LDAP_SUCCESS;
  ::LDAP* session = Usable(ld, code);
  if (!session) return code;
  if (method != LDAP_AUTH_SIMPLE) return Report(LDAP_AUTH_METHOD_NOT_SUPPORTED);
  berval password{cred ? std::strlen(cred) : 0, cred};
  return Report(::ldap_sasl_bind_s(session, dn ? dn : "", LDAP_SASL_SIMPLE, &password, nullptr, nullptr, nullptr));
}

ULONG ldap_search_s(LDAP* ld, PCHAR base, ULONG scope, PCHAR filter, PZPCHAR attrs, ULONG attrsonly,
                    LDAPMessage** res) {
  if (res) *res = nullptr;
  ULONG code = LDAP_SUCCESS;
  ::LDAP* session = Usable(ld, code);
  if (!session) return code;
  if (!res || scope > LDAP_SCOPE_SUBTREE) return Report(LDAP_PARAM_ERROR);
  ::LDAPMessage* result = nullptr;
  // A size limit of -1 takes the handle's LDAP_OPT_SIZELIMIT, a null time-out its
  // LDAP_OPT_TIMELIMIT.
  const int rc = ::ldap_search_ext_s(session, base ? base : "", static_cast<int>(scope), filter, attrs,
                                     attrsonly ? 1 : 0, nullptr, nullptr, nullptr, -1, &result);
  *res = Ours(result);
  return Report(rc);
}

ULONG ldap_search(LDAP* ld, PCHAR base, ULONG scope, PCHAR filter, PZPCHAR attrs, ULONG attrsonly) {
  constexpr ULONG kFailed = static_cast<ULONG>(-1);
  ULONG code = LDAP_SUCCESS;
  ::LDAP* session = Usable(ld, code);
  if (!session) return kFailed;
  if (scope > LDAP_SCOPE_SUBTREE) {
    Report(LDAP_PARAM_ERROR);
    return kFailed;
  }
  // An empty filter matches every entry. libldap would encode it as a malformed request,
  // which the server answers with a protocol error and a dropped connection.
  if (!filter || !*filter) filter = const_cast<PCHAR>("(objectClass=*)");
  int msgid = -1;
  const int rc = ::ldap_search_ext(session, base ? base : "", static_cast<int>(scope), filter, attrs, attrsonly ? 1 : 0,
                                   nullptr, nullptr, nullptr, -1, &msgid);
  if (rc != LDAP_SUCCESS) {
    Report(rc);
    return kFailed;
  }
  return static_cast<ULONG>(msgid);
}

ULONG ldap_result(LDAP* ld, ULONG msgid, ULONG all, l_timeval* timeout, LDAPMessage** res) {
  constexpr ULONG kFailed = static_cast<ULONG>(-1);
  if (res) *res = nullptr;
  ULONG code = LDAP_SUCCESS;
  ::LDAP* session = Usable(ld, code);
  if (!session) return kFailed;
  if (!res || (timeout && (timeout->tv_sec < 0 || timeout->tv_usec < 0))) {
    Report(LDAP_PARAM_ERROR);
    return kFailed;
  }
  timeval limit{};
  if (timeout) limit = {timeout->tv_sec, timeout->tv_usec};
  ::LDAPMessage* message = nullptr;
  const int type = ::ldap_result(session, static_cast<int>(msgid), all ? LDAP_MSG_ALL : LDAP_MSG_ONE,
                                 timeout ? &limit : nullptr, &message);
  *res = Ours(message);
  if (type < 0) {
    int error = LDAP_SERVER_DOWN;
    ::ldap_get_option(session, LDAP_OPT_RESULT_CODE, &error);
    Report(error != LDAP_SUCCESS ? error : LDAP_LOCAL_ERROR);
    return kFailed;
  }
  if (type == 0) Report(LDAP_TIMEOUT);
  return static_cast<ULONG>(type);
}

ULONG ldap_result2error(LDAP* ld, LDAPMessage* res, ULONG freeit) {
  if (!ld || !ld->session || !res) {
    if (freeit) FreeMessage(Native(res));
    return Report(LDAP_PARAM_ERROR);
  }
  int error = LDAP_SUCCESS;
  const int rc = ::ldap_parse_result(ld->session, Native(res), &error, nullptr, nullptr, nullptr, nullptr, 0);
  if (freeit) FreeMessage(Native(res));
  return Report(rc != LDAP_SUCCESS ? rc : error);
}

LDAPMessage* ldap_first_entry(LDAP* ld, LDAPMessage* res) {
  if (!ld || !ld->session || !res) {
    Report(LDAP_PARAM_ERROR);
    return nullptr;
  }
  return Ours(::ldap_first_entry(ld->session, Native(res)));
}

LDAPMessage* ldap_next_entry(LDAP* ld, LDAPMessage* entry) {
  if (!ld || !ld->session || !entry) {
    Report(LDAP_PARAM_ERROR);
    return nullptr;
  }
  return Ours(::ldap_next_entry(ld->session, Native(entry)));
}

PCHAR ldap_get_dn(LDAP* ld, LDAPMessage* entry) {
  if (!ld || !ld->session || !entry) {
    Report(LDAP_PARAM_ERROR);
    return nullptr;
  }
  return ::ldap_get_dn(ld->session, Native(entry));
}

PCHAR* ldap_get_values(LDAP* ld, LDAPMessage* entry, const PCHAR attr) {
  if (!ld || !ld->session || !entry || !attr) {
    Report(LDAP_PARAM_ERROR);
    return nullptr;
  }
  if (Indexed(ld, Native(entry))) {
    // Attribute names match as libldap matches them: the whole name, ignoring case.
    const std::size_t length = std::strlen(attr);
    for (const auto& attribute : ld->index.attributes) {
      const auto& name = attribute.first;
      const auto& found = attribute.second;  // a lambda may not capture a structured binding in clang 14
      if (name.bv_len == length && ::strncasecmp(name.bv_val, attr, length) == 0) {
        std::size_t count = 0;
        while (found[count].bv_val) ++count;
        return ValueBlock(count, [&](std::size_t i) { return &found[i]; });
      }
    }
    return nullptr;
  }
  berval** values = ::ldap_get_values_len(ld->session, Native(entry), attr);
  if (!values) return nullptr;
  std::size_t count = 0;
  while (values[count]) ++count;
  PCHAR* array = ValueBlock(count, [&](std::size_t i) { return values[i]; });
  ::ldap_value_free_len(values);
  return array;
}

ULONG ldap_count_values(PCHAR* vals) {
  ULONG count = 0;
  if (vals)
    while (vals[count]) ++count;
  return count;
}

ULONG ldap_value_free(PCHAR* vals) {
  std::free(vals);
  return LDAP_SUCCESS;
}

void ldap_memfree(PCHAR block) { ::ldap_memfree(block); }

ULONG ldap_msgfree(LDAPMessage* res) {
  FreeMessage(Native(res));
  return LDAP_SUCCESS;
}

ULONG ldap_unbind(LDAP* ld) {
  if (!ld) return Report(LDAP_PARAM_ERROR);
  const int rc = ld->session ? ::ldap_unbind_ext(ld->session, nullptr, nullptr) : LDAP_SUCCESS;
  delete ld;
  // Closing a connection that never opened is no failure.
  return rc == LDAP_SERVER_DOWN ? kSuccess : Report(rc);
}

ULONG LdapGetLastError() { return lastError; }

}  // namespace winldap
