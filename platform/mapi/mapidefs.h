// MAPI's base types, structures and IUnknown, declared for this platform. Layouts are MAPI's
// own on 32-bit and 64-bit Windows, so the same sources can build as a Windows provider.
#pragma once

#include <cstddef>
#include <cstdint>

#include "windows.h"

#if defined(_WIN32) && !defined(_WIN64)
#define STDMETHODCALLTYPE __stdcall
#define STDAPICALLTYPE __stdcall
#else
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#endif

// The exported entry points of a loadable module.
#if defined(_WIN32)
#define PX_EXPORT extern "C" __declspec(dllexport)
#else
#define PX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#define MAPI_DIM 1

using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LPULONG = ULONG*;
using LPLONG = LONG*;
using LPBYTE = BYTE*;
using LPCBYTE = const BYTE*;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using USHORT = unsigned short;
using ULONG_PTR = std::uintptr_t;
using SIZE_T = std::size_t;
#if defined(_WIN32)
using WCHAR = wchar_t;
#else
using WCHAR = char16_t;  // MAPI's wide characters are UTF-16 units
#endif
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPTSTR = LPSTR;
using LPCTSTR = LPCSTR;

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define HR_SUCCEEDED(hr) SUCCEEDED(hr)
#define HR_FAILED(hr) FAILED(hr)

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using LPGUID = GUID*;
using LPIID = IID*;
using LPCIID = const IID*;
using REFIID = const IID&;
using REFGUID = const GUID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 && a.Data4[0] == b.Data4[0] &&
         a.Data4[1] == b.Data4[1] && a.Data4[2] == b.Data4[2] && a.Data4[3] == b.Data4[3] && a.Data4[4] == b.Data4[4] &&
         a.Data4[5] == b.Data4[5] && a.Data4[6] == b.Data4[6] && a.Data4[7] == b.Data4[7];
}
#define IsEqualGUID(a, b) ((a) == (b))
#define IsEqualIID(a, b) ((a) == (b))

struct MAPIUID {
  BYTE ab[16];
};
using LPMAPIUID = MAPIUID*;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

union CY {
  struct {
    ULONG Lo;
    LONG Hi;
  } s;
  LONGLONG int64;
};
using CURRENCY = CY;

struct ENTRYID {
  BYTE abFlags[4];
  BYTE ab[MAPI_DIM];
};
using LPENTRYID = ENTRYID*;
#define CbNewENTRYID(cb) (offsetof(ENTRYID, ab) + (cb))

struct FLATENTRY {
  ULONG cb;
  BYTE abEntry[MAPI_DIM];
};

// Property tags, types and identifiers.
#define PROP_TYPE_MASK 0x0000FFFFu
#define PROP_TYPE(tag) (static_cast<ULONG>(tag) & PROP_TYPE_MASK)
#define PROP_ID(tag) (static_cast<ULONG>(tag) >> 16)
#define PROP_TAG(type, id) ((static_cast<ULONG>(id) << 16) | static_cast<ULONG>(type))
#define CHANGE_PROP_TYPE(tag, type) ((static_cast<ULONG>(tag) & 0xFFFF0000u) | static_cast<ULONG>(type))
#define PROP_ID_NULL 0
#define PROP_ID_INVALID 0xFFFF

constexpr ULONG PT_UNSPECIFIED = 0x0000;
constexpr ULONG PT_NULL = 0x0001;
constexpr ULONG PT_I2 = 0x0002;
constexpr ULONG PT_SHORT = PT_I2;
constexpr ULONG PT_LONG = 0x0003;
constexpr ULONG PT_I4 = PT_LONG;
constexpr ULONG PT_R4 = 0x0004;
constexpr ULONG PT_FLOAT = PT_R4;
constexpr ULONG PT_DOUBLE = 0x0005;
constexpr ULONG PT_R8 = PT_DOUBLE;
constexpr ULONG PT_CURRENCY = 0x0006;
constexpr ULONG PT_APPTIME = 0x0007;
constexpr ULONG PT_ERROR = 0x000A;
constexpr ULONG PT_BOOLEAN = 0x000B;
constexpr ULONG PT_OBJECT = 0x000D;
constexpr ULONG PT_I8 = 0x0014;
constexpr ULONG PT_LONGLONG = PT_I8;
constexpr ULONG PT_STRING8 = 0x001E;
constexpr ULONG PT_UNICODE = 0x001F;
constexpr ULONG PT_TSTRING = PT_STRING8;
constexpr ULONG PT_SYSTIME = 0x0040;
constexpr ULONG PT_CLSID = 0x0048;
constexpr ULONG PT_BINARY = 0x0102;
constexpr ULONG MV_FLAG = 0x1000;
constexpr ULONG MV_INSTANCE = 0x2000;
constexpr ULONG PT_MV_I2 = MV_FLAG | PT_I2;
constexpr ULONG PT_MV_LONG = MV_FLAG | PT_LONG;
constexpr ULONG PT_MV_R4 = MV_FLAG | PT_R4;
constexpr ULONG PT_MV_DOUBLE = MV_FLAG | PT_DOUBLE;
constexpr ULONG PT_MV_CURRENCY = MV_FLAG | PT_CURRENCY;
constexpr ULONG PT_MV_APPTIME = MV_FLAG | PT_APPTIME;
constexpr ULONG PT_MV_SYSTIME = MV_FLAG | PT_SYSTIME;
constexpr ULONG PT_MV_STRING8 = MV_FLAG | PT_STRING8;
constexpr ULONG PT_MV_BINARY = MV_FLAG | PT_BINARY;
constexpr ULONG PT_MV_UNICODE = MV_FLAG | PT_UNICODE;
constexpr ULONG PT_MV_CLSID = MV_FLAG | PT_CLSID;
constexpr ULONG PT_MV_I8 = MV_FLAG | PT_I8;

struct SPropTagArray {
  ULONG cValues;
  ULONG aulPropTag[MAPI_DIM];
};
using LPSPropTagArray = SPropTagArray*;
#define CbNewSPropTagArray(n) (offsetof(SPropTagArray, aulPropTag) + (n) * sizeof(ULONG))
#define CbSPropTagArray(p) CbNewSPropTagArray((p)->cValues)
#define SizedSPropTagArray(n, name) \
  struct _SPropTagArray_##name {    \
    ULONG cValues;                  \
    ULONG aulPropTag[n];            \
  } name

struct SBinary {
  ULONG cb;
  LPBYTE lpb;
};
using LPSBinary = SBinary*;

struct SShortArray {
  ULONG cValues;
  short* lpi;
};
struct SLongArray {
  ULONG cValues;
  LONG* lpl;
};
struct SRealArray {
  ULONG cValues;
  float* lpflt;
};
struct SDoubleArray {
  ULONG cValues;
  double* lpdbl;
};
struct SCurrencyArray {
  ULONG cValues;
  CY* lpcur;
};
struct SAppTimeArray {
  ULONG cValues;
  double* lpat;
};
struct SDateTimeArray {
  ULONG cValues;
  FILETIME* lpft;
};
struct SBinaryArray {
  ULONG cValues;
  SBinary* lpbin;
};
struct SLPSTRArray {
  ULONG cValues;
  LPSTR* lppszA;
};
struct SWStringArray {
  ULONG cValues;
  LPWSTR* lppszW;
};
struct SGuidArray {
  ULONG cValues;
  GUID* lpguid;
};
struct SLargeIntegerArray {
  ULONG cValues;
  LARGE_INTEGER* lpli;
};

union PV {
  short i;
  LONG l;
  ULONG ul;
  float flt;
  double dbl;
  unsigned short b;
  CY cur;
  double at;
  FILETIME ft;
  LPSTR lpszA;
  SBinary bin;
  LPWSTR lpszW;
  LPGUID lpguid;
  LARGE_INTEGER li;
  SShortArray MVi;
  SLongArray MVl;
  SRealArray MVflt;
  SDoubleArray MVdbl;
  SCurrencyArray MVcur;
  SAppTimeArray MVat;
  SDateTimeArray MVft;
  SBinaryArray MVbin;
  SLPSTRArray MVszA;
  SWStringArray MVszW;
  SGuidArray MVguid;
  SLargeIntegerArray MVli;
  SCODE err;
  LONG x;
};

struct SPropValue {
  ULONG ulPropTag;
  ULONG dwAlignPad;
  union PV Value;
};
using LPSPropValue = SPropValue*;

struct SPropProblem {
  ULONG ulIndex;
  ULONG ulPropTag;
  SCODE scode;
};
struct SPropProblemArray {
  ULONG cProblem;
  SPropProblem aProblem[MAPI_DIM];
};
using LPSPropProblemArray = SPropProblemArray*;

struct SRow {
  ULONG ulAdrEntryPad;
  ULONG cValues;
  LPSPropValue lpProps;
};
using LPSRow = SRow*;

struct SRowSet {
  ULONG cRows;
  SRow aRow[MAPI_DIM];
};
using LPSRowSet = SRowSet*;
#define CbNewSRowSet(n) (offsetof(SRowSet, aRow) + (n) * sizeof(SRow))

struct ADRENTRY {
  ULONG ulReserved1;
  ULONG cValues;
  LPSPropValue rgPropVals;
};
using LPADRENTRY = ADRENTRY*;

struct ADRLIST {
  ULONG cEntries;
  ADRENTRY aEntries[MAPI_DIM];
};
using LPADRLIST = ADRLIST*;
#define CbNewADRLIST(n) (offsetof(ADRLIST, aEntries) + (n) * sizeof(ADRENTRY))

struct FlagList {
  ULONG cFlags;
  ULONG ulFlag[MAPI_DIM];
};
using LPFlagList = FlagList*;
#define CbNewFlagList(n) (offsetof(FlagList, ulFlag) + (n) * sizeof(ULONG))

struct ENTRYLIST {
  ULONG cValues;
  SBinary* lpbin;
};
using LPENTRYLIST = ENTRYLIST*;

struct SSortOrder {
  ULONG ulPropTag;
  ULONG ulOrder;
};
using LPSSortOrder = SSortOrder*;
struct SSortOrderSet {
  ULONG cSorts;
  ULONG cCategories;
  ULONG cExpanded;
  SSortOrder aSort[MAPI_DIM];
};
using LPSSortOrderSet = SSortOrderSet*;
#define CbNewSSortOrderSet(n) (offsetof(SSortOrderSet, aSort) + (n) * sizeof(SSortOrder))
constexpr ULONG TABLE_SORT_ASCEND = 0x00000000;
constexpr ULONG TABLE_SORT_DESCEND = 0x00000001;
constexpr ULONG TABLE_SORT_COMBINE = 0x00000002;

// Restrictions.
struct SRestriction;
using LPSRestriction = SRestriction*;

struct SAndRestriction {
  ULONG cRes;
  LPSRestriction lpRes;
};
struct SOrRestriction {
  ULONG cRes;
  LPSRestriction lpRes;
};
struct SNotRestriction {
  ULONG ulReserved;
  LPSRestriction lpRes;
};
struct SContentRestriction {
  ULONG ulFuzzyLevel;
  ULONG ulPropTag;
  LPSPropValue lpProp;
};
struct SBitMaskRestriction {
  ULONG relBMR;
  ULONG ulPropTag;
  ULONG ulMask;
};
struct SPropertyRestriction {
  ULONG relop;
  ULONG ulPropTag;
  LPSPropValue lpProp;
};
struct SComparePropsRestriction {
  ULONG relop;
  ULONG ulPropTag1;
  ULONG ulPropTag2;
};
struct SSizeRestriction {
  ULONG relop;
  ULONG ulPropTag;
  ULONG cb;
};
struct SExistRestriction {
  ULONG ulReserved1;
  ULONG ulPropTag;
  ULONG ulReserved2;
};
struct SSubRestriction {
  ULONG ulSubObject;
  LPSRestriction lpRes;
};
struct SCommentRestriction {
  ULONG cValues;
  LPSRestriction lpRes;
  LPSPropValue lpProp;
};

struct SRestriction {
  ULONG rt;
  union {
    SComparePropsRestriction resCompareProps;
    SAndRestriction resAnd;
    SOrRestriction resOr;
    SNotRestriction resNot;
    SContentRestriction resContent;
    SPropertyRestriction resProperty;
    SBitMaskRestriction resBitMask;
    SSizeRestriction resSize;
    SExistRestriction resExist;
    SSubRestriction resSub;
    SCommentRestriction resComment;
  } res;
};

constexpr ULONG RES_AND = 0x00000000;
constexpr ULONG RES_OR = 0x00000001;
constexpr ULONG RES_NOT = 0x00000002;
constexpr ULONG RES_CONTENT = 0x00000003;
constexpr ULONG RES_PROPERTY = 0x00000004;
constexpr ULONG RES_COMPAREPROPS = 0x00000005;
constexpr ULONG RES_BITMASK = 0x00000006;
constexpr ULONG RES_SIZE = 0x00000007;
constexpr ULONG RES_EXIST = 0x00000008;
constexpr ULONG RES_SUBRESTRICTION = 0x00000009;
constexpr ULONG RES_COMMENT = 0x0000000A;

constexpr ULONG FL_FULLSTRING = 0x00000000;
constexpr ULONG FL_SUBSTRING = 0x00000001;
constexpr ULONG FL_PREFIX = 0x00000002;
constexpr ULONG FL_IGNORECASE = 0x00010000;
constexpr ULONG FL_IGNORENONSPACE = 0x00020000;
constexpr ULONG FL_LOOSE = 0x00040000;

constexpr ULONG RELOP_LT = 0;
constexpr ULONG RELOP_LE = 1;
constexpr ULONG RELOP_GT = 2;
constexpr ULONG RELOP_GE = 3;
constexpr ULONG RELOP_EQ = 4;
constexpr ULONG RELOP_NE = 5;
constexpr ULONG RELOP_RE = 6;

constexpr ULONG BMR_EQZ = 0;
constexpr ULONG BMR_NEZ = 1;

// Flags shared by many calls.
constexpr ULONG MAPI_MODIFY = 0x00000001;
constexpr ULONG MAPI_ACCESS_MODIFY = 0x00000001;
constexpr ULONG MAPI_ACCESS_READ = 0x00000002;
constexpr ULONG MAPI_ACCESS_DELETE = 0x00000004;
constexpr ULONG MAPI_ACCESS_CREATE_HIERARCHY = 0x00000008;
constexpr ULONG MAPI_ACCESS_CREATE_CONTENTS = 0x00000010;
constexpr ULONG MAPI_ACCESS_CREATE_ASSOCIATED = 0x00000020;
constexpr ULONG MAPI_UNICODE = 0x80000000;
constexpr ULONG MAPI_DEFERRED_ERRORS = 0x00000008;
constexpr ULONG MAPI_BEST_ACCESS = 0x00000010;
constexpr ULONG MAPI_ASSOCIATED = 0x00000040;
constexpr ULONG MAPI_DIALOG = 0x00000008;
constexpr ULONG MAPI_CREATE = 0x00000002;
constexpr ULONG KEEP_OPEN_READONLY = 0x00000001;
constexpr ULONG KEEP_OPEN_READWRITE = 0x00000002;
constexpr ULONG FORCE_SAVE = 0x00000004;

// Object types (PR_OBJECT_TYPE).
constexpr ULONG MAPI_STORE = 0x00000001;
constexpr ULONG MAPI_ADDRBOOK = 0x00000002;
constexpr ULONG MAPI_FOLDER = 0x00000003;
constexpr ULONG MAPI_ABCONT = 0x00000004;
constexpr ULONG MAPI_MESSAGE = 0x00000005;
constexpr ULONG MAPI_MAILUSER = 0x00000006;
constexpr ULONG MAPI_ATTACH = 0x00000007;
constexpr ULONG MAPI_DISTLIST = 0x00000008;
constexpr ULONG MAPI_PROFSECT = 0x00000009;
constexpr ULONG MAPI_STATUS = 0x0000000A;
constexpr ULONG MAPI_SESSION = 0x0000000B;
constexpr ULONG MAPI_FORMINFO = 0x0000000C;

// Display types (PR_DISPLAY_TYPE).
constexpr ULONG DT_MAILUSER = 0x00000000;
constexpr ULONG DT_DISTLIST = 0x00000001;
constexpr ULONG DT_FORUM = 0x00000002;
constexpr ULONG DT_AGENT = 0x00000003;
constexpr ULONG DT_ORGANIZATION = 0x00000004;
constexpr ULONG DT_PRIVATE_DISTLIST = 0x00000005;
constexpr ULONG DT_REMOTE_MAILUSER = 0x00000006;
constexpr ULONG DT_MODIFIABLE = 0x00010000;
constexpr ULONG DT_GLOBAL = 0x00020000;
constexpr ULONG DT_LOCAL = 0x00030000;
constexpr ULONG DT_WAN = 0x00040000;
constexpr ULONG DT_NOT_SPECIFIC = 0x00050000;
constexpr ULONG DT_FOLDER = 0x01000000;
constexpr ULONG DT_FOLDER_LINK = 0x02000000;
constexpr ULONG DT_FOLDER_SPECIAL = 0x04000000;

// Address-book container flags (PR_CONTAINER_FLAGS).
constexpr ULONG AB_RECIPIENTS = 0x00000001;
constexpr ULONG AB_SUBCONTAINERS = 0x00000002;
constexpr ULONG AB_MODIFIABLE = 0x00000004;
constexpr ULONG AB_UNMODIFIABLE = 0x00000008;
constexpr ULONG AB_FIND_ON_OPEN = 0x00000010;
constexpr ULONG AB_NOT_DEFAULT = 0x00000020;

// Recipient resolution flags.
constexpr ULONG MAPI_UNRESOLVED = 0x00000000;
constexpr ULONG MAPI_AMBIGUOUS = 0x00000001;
constexpr ULONG MAPI_RESOLVED = 0x00000002;

// IUnknown with its slots in COM order. Implementations add their own virtual destructor
// after the interface's methods.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, LPVOID* ppvObj) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IMalloc;
using LPMALLOC = IMalloc*;

// MAPI's memory routines as handed to providers.
using ALLOCATEBUFFER = SCODE STDMETHODCALLTYPE(ULONG cbSize, LPVOID* lppBuffer);
using ALLOCATEMORE = SCODE STDMETHODCALLTYPE(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
using FREEBUFFER = ULONG STDMETHODCALLTYPE(LPVOID lpBuffer);
using LPALLOCATEBUFFER = ALLOCATEBUFFER*;
using LPALLOCATEMORE = ALLOCATEMORE*;
using LPFREEBUFFER = FREEBUFFER*;

// CopyTo and CopyProps; GetHierarchyTable.
constexpr ULONG MAPI_MOVE = 0x00000001;
constexpr ULONG MAPI_NOREPLACE = 0x00000002;
constexpr ULONG MAPI_DECLINE_OK = 0x00000004;
constexpr ULONG CONVENIENT_DEPTH = 0x00000001;

// Recipient types (PR_RECIPIENT_TYPE).
constexpr ULONG MAPI_ORIG = 0;
constexpr ULONG MAPI_TO = 1;
constexpr ULONG MAPI_CC = 2;
constexpr ULONG MAPI_BCC = 3;
constexpr ULONG MAPI_P1 = 0x10000000;
constexpr ULONG MAPI_SUBMITTED = 0x80000000;

// Status table rows: resource types (PR_RESOURCE_TYPE), status codes (PR_STATUS_CODE) and
// resource flags (PR_RESOURCE_FLAGS).
constexpr ULONG MAPI_STORE_PROVIDER = 33;
constexpr ULONG MAPI_AB = 34;
constexpr ULONG MAPI_AB_PROVIDER = 35;
constexpr ULONG MAPI_TRANSPORT_PROVIDER = 36;
constexpr ULONG MAPI_SPOOLER = 37;
constexpr ULONG MAPI_PROFILE_PROVIDER = 38;
constexpr ULONG MAPI_SUBSYSTEM = 39;
constexpr ULONG MAPI_HOOK_PROVIDER = 40;
constexpr ULONG STATUS_AVAILABLE = 0x00000001;
constexpr ULONG STATUS_OFFLINE = 0x00000002;
constexpr ULONG STATUS_FAILURE = 0x00000004;
constexpr ULONG STATUS_DEFAULT_OUTBOUND = 0x00000001;
constexpr ULONG STATUS_DEFAULT_STORE = 0x00000002;
constexpr ULONG STATUS_PRIMARY_IDENTITY = 0x00000004;
constexpr ULONG STATUS_SIMPLE_STORE = 0x00000008;
constexpr ULONG STATUS_XP_PREFER_LAST = 0x00000010;
constexpr ULONG STATUS_NO_PRIMARY_IDENTITY = 0x00000020;
constexpr ULONG STATUS_NO_DEFAULT_STORE = 0x00000040;
constexpr ULONG STATUS_TEMP_SECTION = 0x00000080;
constexpr ULONG STATUS_OWN_STORE = 0x00000100;
constexpr ULONG STATUS_NEED_IPM_TREE = 0x00000800;
constexpr ULONG STATUS_PRIMARY_STORE = 0x00001000;
constexpr ULONG STATUS_SECONDARY_STORE = 0x00002000;

// The property, table and container interfaces, with their methods in MAPI's slot order.
struct MAPIERROR {
  ULONG ulVersion;
  LPSTR lpszError;
  LPSTR lpszComponent;
  ULONG ulLowLevelError;
  ULONG ulContext;
};
using LPMAPIERROR = MAPIERROR*;

struct MAPINAMEID;
using LPMAPINAMEID = MAPINAMEID*;
// Notifications (IMAPIAdviseSink::OnNotify): the event types and what each carries.
constexpr ULONG fnevCriticalError = 0x00000001;
constexpr ULONG fnevNewMail = 0x00000002;
constexpr ULONG fnevObjectCreated = 0x00000004;
constexpr ULONG fnevObjectDeleted = 0x00000008;
constexpr ULONG fnevObjectModified = 0x00000010;
constexpr ULONG fnevObjectMoved = 0x00000020;
constexpr ULONG fnevObjectCopied = 0x00000040;
constexpr ULONG fnevSearchComplete = 0x00000080;
constexpr ULONG fnevTableModified = 0x00000100;
constexpr ULONG fnevStatusObjectModified = 0x00000200;
constexpr ULONG fnevExtended = 0x80000000;

// TABLE_NOTIFICATION's ulTableEvent.
constexpr ULONG TABLE_CHANGED = 1;
constexpr ULONG TABLE_ERROR = 2;
constexpr ULONG TABLE_ROW_ADDED = 3;
constexpr ULONG TABLE_ROW_DELETED = 4;
constexpr ULONG TABLE_ROW_MODIFIED = 5;
constexpr ULONG TABLE_SORT_DONE = 6;
constexpr ULONG TABLE_RESTRICT_DONE = 7;
constexpr ULONG TABLE_SETCOL_DONE = 8;
constexpr ULONG TABLE_RELOAD = 9;

struct ERROR_NOTIFICATION {
  ULONG cbEntryID;
  LPENTRYID lpEntryID;
  SCODE scode;
  ULONG ulFlags;
  LPMAPIERROR lpMAPIError;
};
struct NEWMAIL_NOTIFICATION {
  ULONG cbEntryID;
  LPENTRYID lpEntryID;
  ULONG cbParentID;
  LPENTRYID lpParentID;
  ULONG ulFlags;
  LPSTR lpszMessageClass;
  ULONG ulMessageFlags;
};
struct OBJECT_NOTIFICATION {
  ULONG cbEntryID;
  LPENTRYID lpEntryID;
  ULONG ulObjType;
  ULONG cbParentID;
  LPENTRYID lpParentID;
  ULONG cbOldID;
  LPENTRYID lpOldID;
  ULONG cbOldParentID;
  LPENTRYID lpOldParentID;
  LPSPropTagArray lpPropTagArray;
};
struct TABLE_NOTIFICATION {
  ULONG ulTableEvent;
  HRESULT hResult;
  SPropValue propIndex;  // the row's index column
  SPropValue propPrior;  // the index column of the row before it in the view; PR_NULL for none
  SRow row;              // the row in the view's columns
  ULONG ulPad;
};
struct EXTENDED_NOTIFICATION {
  ULONG ulEvent;
  ULONG cb;
  LPBYTE pbEventParameters;
};
struct STATUS_OBJECT_NOTIFICATION {
  ULONG cbEntryID;
  LPENTRYID lpEntryID;
  ULONG cValues;
  LPSPropValue lpPropVals;
};
struct NOTIFICATION {
  ULONG ulEventType;
  ULONG ulAlignPad;
  union {
    ERROR_NOTIFICATION err;
    NEWMAIL_NOTIFICATION newmail;
    OBJECT_NOTIFICATION obj;
    TABLE_NOTIFICATION tab;
    EXTENDED_NOTIFICATION ext;
    STATUS_OBJECT_NOTIFICATION statobj;
  } info;
};
using LPNOTIFICATION = NOTIFICATION*;
struct IMAPIProgress;
using LPMAPIPROGRESS = IMAPIProgress*;

struct IMAPIAdviseSink : IUnknown {
  virtual ULONG STDMETHODCALLTYPE OnNotify(ULONG cNotif, LPNOTIFICATION lpNotifications) = 0;

 protected:
  ~IMAPIAdviseSink() = default;
};
using LPMAPIADVISESINK = IMAPIAdviseSink*;

struct IMAPIProp : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveChanges(ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                                             LPSPropValue* lppPropArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                                                 LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProps(ULONG cValues, LPSPropValue lpPropArray,
                                             LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyTo(ULONG ciidExclude, LPCIID rgiidExclude, LPSPropTagArray lpExcludeProps,
                                           ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, LPCIID lpInterface,
                                           LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray lpIncludeProps, ULONG_PTR ulUIParam,
                                              LPMAPIPROGRESS lpProgress, LPCIID lpInterface, LPVOID lpDestObj,
                                              ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid, ULONG ulFlags,
                                                    ULONG* lpcPropNames, LPMAPINAMEID** lpppPropNames) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                                                    LPSPropTagArray* lppPropTags) = 0;

 protected:
  ~IMAPIProp() = default;
};
using LPMAPIPROP = IMAPIProp*;

using BOOKMARK = ULONG_PTR;
constexpr BOOKMARK BOOKMARK_BEGINNING = 0;
constexpr BOOKMARK BOOKMARK_CURRENT = 1;
constexpr BOOKMARK BOOKMARK_END = 2;

struct IMAPITable : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                                           ULONG_PTR* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRowCount(ULONG ulFlags, ULONG* lpulCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) = 0;
  virtual HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction lpRestriction, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* lpbkPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK bkPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* lppSortCriteria) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) = 0;
  virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
  virtual HRESULT STDMETHODCALLTYPE ExpandRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulRowCount,
                                              ULONG ulFlags, LPSRowSet* lppRows, ULONG* lpulMoreRows) = 0;
  virtual HRESULT STDMETHODCALLTYPE CollapseRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulFlags,
                                                ULONG* lpulRowCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG ulFlags, ULONG ulTimeout, ULONG* lpulTableStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG ulFlags, ULONG cbInstanceKey, LPBYTE lpbInstanceKey,
                                                     ULONG* lpcbCollapseState, LPBYTE* lppbCollapseState) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG ulFlags, ULONG cbCollapseState, LPBYTE pbCollapseState,
                                                     BOOKMARK* lpbkLocation) = 0;

 protected:
  ~IMAPITable() = default;
};
using LPMAPITABLE = IMAPITable*;

// Containers and the objects in them, as MAPI declares them beside IMAPIProp.
struct IMAPIContainer : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction lpRestriction, LPENTRYLIST lpContainerList,
                                                      ULONG ulSearchFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG ulFlags, LPSRestriction* lppRestriction,
                                                      LPENTRYLIST* lppContainerList, ULONG* lpulSearchState) = 0;

 protected:
  ~IMAPIContainer() = default;
};
using LPMAPICONTAINER = IMAPIContainer*;

struct IABContainer : IMAPIContainer {
  virtual HRESULT STDMETHODCALLTYPE CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                                                LPMAPIPROP* lppMAPIPropEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyEntries(LPENTRYLIST lpEntries, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                                ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteEntries(LPENTRYLIST lpEntries, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray lpPropTagArray, ULONG ulFlags, LPADRLIST lpAdrList,
                                                 LPFlagList lpFlagList) = 0;

 protected:
  ~IABContainer() = default;
};
using LPABCONT = IABContainer*;

struct IDistList : IMAPIContainer {
  virtual HRESULT STDMETHODCALLTYPE CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                                                LPMAPIPROP* lppMAPIPropEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyEntries(LPENTRYLIST lpEntries, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                                ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteEntries(LPENTRYLIST lpEntries, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray lpPropTagArray, ULONG ulFlags, LPADRLIST lpAdrList,
                                                 LPFlagList lpFlagList) = 0;

 protected:
  ~IDistList() = default;
};
using LPDISTLIST = IDistList*;

// A mail user has IMAPIProp's methods only.
struct IMailUser : IMAPIProp {
 protected:
  ~IMailUser() = default;
};
using LPMAILUSER = IMailUser*;

struct IMAPIStatus : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE ValidateState(ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SettingsDialog(ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ChangePassword(LPSTR lpOldPass, LPSTR lpNewPass, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE FlushQueues(ULONG_PTR ulUIParam, ULONG cbTargetTransport,
                                                LPENTRYID lpTargetTransport, ULONG ulFlags) = 0;

 protected:
  ~IMAPIStatus() = default;
};
using LPMAPISTATUS = IMAPIStatus*;

// The layouts MAPI has on Windows, 32-bit and 64-bit alike.
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(MAPIUID) == 16);
static_assert(sizeof(FILETIME) == 8);
static_assert(sizeof(LARGE_INTEGER) == 8);
static_assert(sizeof(SBinary) == (sizeof(void*) == 8 ? 16 : 8));
static_assert(sizeof(PV) == (sizeof(void*) == 8 ? 16 : 8));
static_assert(sizeof(SPropValue) == (sizeof(void*) == 8 ? 24 : 16));
static_assert(offsetof(SPropValue, Value) == 8);
static_assert(sizeof(SRow) == (sizeof(void*) == 8 ? 16 : 12));
static_assert(sizeof(ADRENTRY) == sizeof(SRow));
static_assert(offsetof(SRowSet, aRow) == (sizeof(void*) == 8 ? 8 : 4));
static_assert(sizeof(SPropTagArray) == 8);
static_assert(sizeof(SSortOrder) == 8);
static_assert(offsetof(SSortOrderSet, aSort) == 12);
static_assert(sizeof(SRestriction) == (sizeof(void*) == 8 ? 32 : 16));
static_assert(offsetof(SRestriction, res) == (sizeof(void*) == 8 ? 8 : 4));
static_assert(offsetof(SContentRestriction, lpProp) == 8);
static_assert(offsetof(ENTRYID, ab) == 4);
