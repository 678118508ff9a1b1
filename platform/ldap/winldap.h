// The narrow-character LDAP client calls of the Windows LDAP API that the provider makes,
// written for this platform over OpenLDAP's libldap. Names, signatures and values follow the
// documented Windows API; result codes are the platform's (0x51 for an unreachable server,
// not libldap's negative codes).
//
// The declarations live in namespace winldap so that they never meet libldap's own
// ldap_* functions and LDAP types, which the implementation uses under the same names; every
// other includer gets them in the global namespace, as on the platform.
#pragma once

#include "windows.h"

namespace winldap {

using PCHAR = char*;
using PZPCHAR = char**;

// A connection handle and a search result (or one entry in it); both opaque.
struct ldap;
struct ldapmsg;
using LDAP = ldap;
using PLDAP = ldap*;
using LDAPMessage = ldapmsg;
using PLDAPMessage = ldapmsg*;

struct l_timeval {
  LONG tv_sec;
  LONG tv_usec;
};
using LDAP_TIMEVAL = l_timeval;
using PLDAP_TIMEVAL = l_timeval*;

// Result codes: the protocol's codes as the server sends them, then the client's own.
enum LDAP_RETCODE : ULONG {
  LDAP_SUCCESS = 0x00,
  LDAP_OPERATIONS_ERROR = 0x01,
  LDAP_PROTOCOL_ERROR = 0x02,
  LDAP_TIMELIMIT_EXCEEDED = 0x03,
  LDAP_SIZELIMIT_EXCEEDED = 0x04,
  LDAP_COMPARE_FALSE = 0x05,
  LDAP_COMPARE_TRUE = 0x06,
  LDAP_AUTH_METHOD_NOT_SUPPORTED = 0x07,
  LDAP_STRONG_AUTH_REQUIRED = 0x08,
  LDAP_PARTIAL_RESULTS = 0x09,
  LDAP_REFERRAL = 0x0a,
  LDAP_ADMIN_LIMIT_EXCEEDED = 0x0b,
  LDAP_UNAVAILABLE_CRIT_EXTENSION = 0x0c,
  LDAP_CONFIDENTIALITY_REQUIRED = 0x0d,
  LDAP_SASL_BIND_IN_PROGRESS = 0x0e,
  LDAP_NO_SUCH_ATTRIBUTE = 0x10,
  LDAP_UNDEFINED_TYPE = 0x11,
  LDAP_INAPPROPRIATE_MATCHING = 0x12,
  LDAP_CONSTRAINT_VIOLATION = 0x13,
  LDAP_ATTRIBUTE_OR_VALUE_EXISTS = 0x14,
  LDAP_INVALID_SYNTAX = 0x15,
  LDAP_NO_SUCH_OBJECT = 0x20,
  LDAP_ALIAS_PROBLEM = 0x21,
  LDAP_INVALID_DN_SYNTAX = 0x22,
  LDAP_IS_LEAF = 0x23,
  LDAP_ALIAS_DEREF_PROBLEM = 0x24,
  LDAP_INAPPROPRIATE_AUTH = 0x30,
  LDAP_INVALID_CREDENTIALS = 0x31,
  LDAP_INSUFFICIENT_RIGHTS = 0x32,
  LDAP_BUSY = 0x33,
  LDAP_UNAVAILABLE = 0x34,
  LDAP_UNWILLING_TO_PERFORM = 0x35,
  LDAP_LOOP_DETECT = 0x36,
  LDAP_NAMING_VIOLATION = 0x40,
  LDAP_OBJECT_CLASS_VIOLATION = 0x41,
  LDAP_NOT_ALLOWED_ON_NONLEAF = 0x42,
  LDAP_NOT_ALLOWED_ON_RDN = 0x43,
  LDAP_ALREADY_EXISTS = 0x44,
  LDAP_NO_OBJECT_CLASS_MODS = 0x45,
  LDAP_RESULTS_TOO_LARGE = 0x46,
  LDAP_AFFECTS_MULTIPLE_DSAS = 0x47,
  LDAP_OTHER = 0x50,
  LDAP_SERVER_DOWN = 0x51,
  LDAP_LOCAL_ERROR = 0x52,
  LDAP_ENCODING_ERROR = 0x53,
  LDAP_DECODING_ERROR = 0x54,
  LDAP_TIMEOUT = 0x55,
  LDAP_AUTH_UNKNOWN = 0x56,
  LDAP_FILTER_ERROR = 0x57,
  LDAP_USER_CANCELLED = 0x58,
  LDAP_PARAM_ERROR = 0x59,
  LDAP_NO_MEMORY = 0x5a,
  LDAP_CONNECT_ERROR = 0x5b,
  LDAP_NOT_SUPPORTED = 0x5c,
  LDAP_CONTROL_NOT_FOUND = 0x5d,
  LDAP_NO_RESULTS_RETURNED = 0x5e,
  LDAP_MORE_RESULTS_TO_RETURN = 0x5f,
  LDAP_CLIENT_LOOP = 0x60,
  LDAP_REFERRAL_LIMIT_EXCEEDED = 0x61,
};

constexpr ULONG LDAP_PORT = 389;
constexpr ULONG LDAP_SSL_PORT = 636;

constexpr int LDAP_VERSION2 = 2;
constexpr int LDAP_VERSION3 = 3;

constexpr int LDAP_OPT_SIZELIMIT = 0x03;
constexpr int LDAP_OPT_TIMELIMIT = 0x04;
constexpr int LDAP_OPT_VERSION = 0x11;
constexpr int LDAP_OPT_PROTOCOL_VERSION = LDAP_OPT_VERSION;

constexpr ULONG LDAP_AUTH_SIMPLE = 0x80;

// ldap_result: how many results to wait for, and the message types it returns.
constexpr ULONG LDAP_MSG_ONE = 0;
constexpr ULONG LDAP_MSG_ALL = 1;
constexpr ULONG LDAP_RES_SEARCH_ENTRY = 0x64;
constexpr ULONG LDAP_RES_SEARCH_RESULT = 0x65;
constexpr ULONG LDAP_RES_REFERRAL = 0x73;

constexpr ULONG LDAP_SCOPE_BASE = 0x00;
constexpr ULONG LDAP_SCOPE_ONELEVEL = 0x01;
constexpr ULONG LDAP_SCOPE_SUBTREE = 0x02;

// A handle for `HostName` (space-separated hosts, each optionally "host:port", whose port
// overrides `PortNumber`); `secure` non-zero means SSL from the first byte, with the server
// certificate checked against the trusted CAs. Nothing is sent before the first call that
// needs the server. Null on failure.
LDAP* ldap_sslinit(PCHAR HostName, ULONG PortNumber, int secure);
// LDAP_OPT_VERSION, LDAP_OPT_TIMELIMIT and LDAP_OPT_SIZELIMIT, each an int.
ULONG ldap_set_option(LDAP* ld, int option, const void* invalue);
// Opens the connection; a null timeout means the library's default.
ULONG ldap_connect(LDAP* ld, l_timeval* timeout);
ULONG ldap_bind_s(LDAP* ld, PCHAR dn, PCHAR cred, ULONG method);
// Synchronous search; *res may hold a result also when a code other than LDAP_SUCCESS is
// returned (entries before a size limit), and is released with ldap_msgfree.
ULONG ldap_search_s(LDAP* ld, PCHAR base, ULONG scope, PCHAR filter, PZPCHAR attrs, ULONG attrsonly, LDAPMessage** res);
// Asynchronous search: returns the message id of the request, or (ULONG)-1 on failure (the
// code then in LdapGetLastError). The handle's time and size limits apply as for ldap_search_s;
// an empty filter matches every entry.
ULONG ldap_search(LDAP* ld, PCHAR base, ULONG scope, PCHAR filter, PZPCHAR attrs, ULONG attrsonly);
// Waits (a null timeout: as long as it takes) for the next result of request `msgid`: one
// message with LDAP_MSG_ONE, all of them with LDAP_MSG_ALL. Returns the type of the message
// put in *res (LDAP_RES_SEARCH_ENTRY, LDAP_RES_SEARCH_RESULT, ...), 0 when the time ran
// out, or (ULONG)-1 on failure (the code then in LdapGetLastError).
ULONG ldap_result(LDAP* ld, ULONG msgid, ULONG all, l_timeval* timeout, LDAPMessage** res);
// The result code that a result message carries; releases it when `freeit` is non-zero.
ULONG ldap_result2error(LDAP* ld, LDAPMessage* res, ULONG freeit);
// Entry walk; a null result (or entry) gives null.
LDAPMessage* ldap_first_entry(LDAP* ld, LDAPMessage* res);
LDAPMessage* ldap_next_entry(LDAP* ld, LDAPMessage* entry);
// The entry's DN, released with ldap_memfree; null when there is none.
PCHAR ldap_get_dn(LDAP* ld, LDAPMessage* entry);
// The attribute's values as a null-terminated array of texts, released with ldap_value_free;
// null when the entry lacks the attribute.
PCHAR* ldap_get_values(LDAP* ld, LDAPMessage* entry, const PCHAR attr);
ULONG ldap_count_values(PCHAR* vals);
ULONG ldap_value_free(PCHAR* vals);
void ldap_memfree(PCHAR block);
ULONG ldap_msgfree(LDAPMessage* res);
// Closes the connection and releases the handle.
ULONG ldap_unbind(LDAP* ld);
// The result code of the calling thread's last failed call.
ULONG LdapGetLastError();

}  // namespace winldap

#ifndef PX_WINLDAP_IMPLEMENTATION
using namespace winldap;
#endif
