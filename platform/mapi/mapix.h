// MAPI's client side: the memory routines, MAPIInitialize and logon, the session, the address
// book and profile administration (IProfAdmin, IMsgServiceAdmin, IProviderAdmin, IProfSect),
// with MAPI's names, slot orders and C linkage.
#pragma once

#include "mapicode.h"
#include "mapidefs.h"
#include "mapiguid.h"
#include "mapitable.h"
#include "mapitags.h"

// C linkage, as MAPI exports them: a client written in C links against them.
extern "C" {

// Allocates a root buffer of `cbSize` bytes, aligned for any type.
// MAPI_E_INVALID_PARAMETER when `lppBuffer` is null, MAPI_E_NOT_ENOUGH_MEMORY on exhaustion.
SCODE STDAPICALLTYPE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer);
// Allocates `cbSize` bytes linked to `lpObject` (a buffer from MAPIAllocateBuffer, or one
// allocated more on it): freeing that root frees this block too.
// MAPI_E_INVALID_PARAMETER when `lppBuffer` is null or `lpObject` is not a live buffer.
SCODE STDAPICALLTYPE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
// Frees a root buffer and every block linked to it. A null pointer is accepted; a block
// allocated more is freed with its root, not alone. Returns S_OK, or
// MAPI_E_INVALID_PARAMETER for a pointer that is not a live buffer.
ULONG STDAPICALLTYPE MAPIFreeBuffer(LPVOID lpBuffer);

}  // extern "C"

// Number of live root buffers: lets tests show that nothing handed out was lost.
std::size_t MAPIOutstandingBuffers();
// Number of live objects of libpxmapi (sessions, address books, support objects, profile
// sections, administration objects): lets tests show that each was released exactly once.
std::size_t MAPIOutstandingObjects();

struct ADRPARM;
using LPADRPARM = ADRPARM*;
struct IMessage;
using LPMESSAGE = IMessage*;
struct IMsgStore;
using LPMDB = IMsgStore*;
struct IMAPIFolder;
using LPMAPIFOLDER = IMAPIFolder*;

using DISMISSMODELESS = void STDMETHODCALLTYPE(ULONG_PTR ulUIParam, LPVOID lpvContext);
using LPFNDISMISS = DISMISSMODELESS*;
using LPFNBUTTON = SCODE(STDMETHODCALLTYPE*)(ULONG_PTR ulUIParam, LPVOID lpvContext, ULONG cbEntryID,
                                             LPENTRYID lpSelection, ULONG ulFlags);

// A profile section is a property object with no methods of its own.
struct IProfSect : IMAPIProp {
 protected:
  ~IProfSect() = default;
};
using LPPROFSECT = IProfSect*;

struct IProviderAdmin : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProviderTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateProvider(LPSTR lpszProvider, ULONG cValues, LPSPropValue lpProps,
                                                   ULONG_PTR ulUIParam, ULONG ulFlags, MAPIUID* lpUID) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteProvider(LPMAPIUID lpUID) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID lpUID, LPCIID lpInterface, ULONG ulFlags,
                                                       LPPROFSECT* lppProfSect) = 0;

 protected:
  ~IProviderAdmin() = default;
};
using LPPROVIDERADMIN = IProviderAdmin*;

struct IMsgServiceAdmin : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMsgServiceTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateMsgService(LPSTR lpszService, LPSTR lpszDisplayName, ULONG_PTR ulUIParam,
                                                     ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteMsgService(LPMAPIUID lpUID) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyMsgService(LPMAPIUID lpUID, LPSTR lpszDisplayName, LPCIID lpInterfaceToCopy,
                                                   LPCIID lpInterfaceDst, LPVOID lpObjectDst, ULONG_PTR ulUIParam,
                                                   ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameMsgService(LPMAPIUID lpUID, ULONG ulFlags, LPSTR lpszDisplayName) = 0;
  virtual HRESULT STDMETHODCALLTYPE ConfigureMsgService(LPMAPIUID lpUID, ULONG_PTR ulUIParam, ULONG ulFlags,
                                                        ULONG cValues, LPSPropValue lpProps) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID lpUID, LPCIID lpInterface, ULONG ulFlags,
                                                       LPPROFSECT* lppProfSect) = 0;
  virtual HRESULT STDMETHODCALLTYPE MsgServiceTransportOrder(ULONG cUID, LPMAPIUID lpUIDList, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdminProviders(LPMAPIUID lpUID, ULONG ulFlags,
                                                   LPPROVIDERADMIN* lppProviderAdmin) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPrimaryIdentity(LPMAPIUID lpUID, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProviderTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;

 protected:
  ~IMsgServiceAdmin() = default;
};
using LPSERVICEADMIN = IMsgServiceAdmin*;

struct IProfAdmin : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProfileTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateProfile(LPSTR lpszProfileName, LPSTR lpszPassword, ULONG_PTR ulUIParam,
                                                  ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteProfile(LPSTR lpszProfileName, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE ChangeProfilePassword(LPSTR lpszProfileName, LPSTR lpszOldPassword,
                                                          LPSTR lpszNewPassword, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyProfile(LPSTR lpszOldProfileName, LPSTR lpszOldPassword,
                                                LPSTR lpszNewProfileName, ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE RenameProfile(LPSTR lpszOldProfileName, LPSTR lpszOldPassword,
                                                  LPSTR lpszNewProfileName, ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultProfile(LPSTR lpszProfileName, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdminServices(LPSTR lpszProfileName, LPSTR lpszPassword, ULONG_PTR ulUIParam,
                                                  ULONG ulFlags, LPSERVICEADMIN* lppServiceAdmin) = 0;

 protected:
  ~IProfAdmin() = default;
};
using LPPROFADMIN = IProfAdmin*;

struct IAddrBook : IMAPIProp {
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                                    LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                                           LPMAPIADVISESINK lpAdviseSink, ULONG_PTR* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateOneOff(LPSTR lpszName, LPSTR lpszAdrType, LPSTR lpszAddress, ULONG ulFlags,
                                                 ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE NewEntry(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG cbEIDContainer,
                                             LPENTRYID lpEIDContainer, ULONG cbEIDNewEntryTpl,
                                             LPENTRYID lpEIDNewEntryTpl, ULONG* lpcbEIDNewEntry,
                                             LPENTRYID* lppEIDNewEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResolveName(ULONG_PTR ulUIParam, ULONG ulFlags, LPSTR lpszNewEntryTitle,
                                                LPADRLIST lpAdrList) = 0;
  virtual HRESULT STDMETHODCALLTYPE Address(ULONG_PTR* lpulUIParam, LPADRPARM lpAdrParms, LPADRLIST* lppAdrList) = 0;
  virtual HRESULT STDMETHODCALLTYPE Details(ULONG_PTR* lpulUIParam, LPFNDISMISS lpfnDismiss, LPVOID lpvDismissContext,
                                            ULONG cbEntryID, LPENTRYID lpEntryID, LPFNBUTTON lpfButtonCallback,
                                            LPVOID lpvButtonContext, LPSTR lpszButtonText, ULONG ulFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE RecipOptions(ULONG_PTR ulUIParam, ULONG ulFlags, LPADRENTRY lpRecip) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryDefaultRecipOpt(LPSTR lpszAdrType, ULONG ulFlags, ULONG* lpcValues,
                                                         LPSPropValue* lppOptions) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPAB(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPAB(ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDefaultDir(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultDir(ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSearchPath(ULONG ulFlags, LPSRowSet* lppSearchPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSearchPath(ULONG ulFlags, LPSRowSet lpSearchPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG ulFlags, LPSPropTagArray lpPropTagArray,
                                                  LPADRLIST lpRecipList) = 0;

 protected:
  ~IAddrBook() = default;
};
using LPADRBOOK = IAddrBook*;

struct IMAPISession : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenMsgStore(ULONG_PTR ulUIParam, ULONG cbEntryID, LPENTRYID lpEntryID,
                                                 LPCIID lpInterface, ULONG ulFlags, LPMDB* lppMDB) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenAddressBook(ULONG_PTR ulUIParam, LPCIID lpInterface, ULONG ulFlags,
                                                    LPADRBOOK* lppAdrBook) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID lpUID, LPCIID lpInterface, ULONG ulFlags,
                                                       LPPROFSECT* lppProfSect) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatusTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                                    LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                                           LPMAPIADVISESINK lpAdviseSink, ULONG_PTR* lpulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) = 0;
  virtual HRESULT STDMETHODCALLTYPE MessageOptions(ULONG_PTR ulUIParam, ULONG ulFlags, LPSTR lpszAdrType,
                                                   LPMESSAGE lpMessage) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryDefaultMessageOpt(LPSTR lpszAdrType, ULONG ulFlags, ULONG* lpcValues,
                                                           LPSPropValue* lppOptions) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumAdrTypes(ULONG ulFlags, ULONG* lpcAdrTypes, LPSTR** lpppszAdrTypes) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryIdentity(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE Logoff(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulReserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDefaultStore(ULONG ulFlags, ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdminServices(ULONG ulFlags, LPSERVICEADMIN* lppServiceAdmin) = 0;
  virtual HRESULT STDMETHODCALLTYPE ShowForm(ULONG_PTR ulUIParam, LPMDB lpMsgStore, LPMAPIFOLDER lpParentFolder,
                                             LPCIID lpInterface, ULONG ulMessageToken, LPMESSAGE lpMessageSent,
                                             ULONG ulFlags, ULONG ulMessageStatus, ULONG ulMessageFlags, ULONG ulAccess,
                                             LPSTR lpszMessageClass) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrepareForm(LPCIID lpInterface, LPMESSAGE lpMessage, ULONG* lpulMessageToken) = 0;

 protected:
  ~IMAPISession() = default;
};
using LPMAPISESSION = IMAPISession*;

// MAPIInitialize
struct MAPIINIT_0 {
  ULONG ulVersion;
  ULONG ulFlags;
};
using MAPIINIT = MAPIINIT_0;
using LPMAPIINIT = MAPIINIT*;
constexpr ULONG MAPI_INIT_VERSION = 0;
constexpr ULONG MAPI_MULTITHREAD_NOTIFICATIONS = 0x00000001;
constexpr ULONG MAPI_NO_COINIT = 0x00000008;

// MAPILogonEx
constexpr ULONG MAPI_LOGON_UI = 0x00000001;
constexpr ULONG MAPI_NEW_SESSION = 0x00000002;
constexpr ULONG MAPI_ALLOW_OTHERS = 0x00000008;
constexpr ULONG MAPI_EXPLICIT_PROFILE = 0x00000010;
constexpr ULONG MAPI_EXTENDED = 0x00000020;
constexpr ULONG MAPI_USE_DEFAULT = 0x00000040;
constexpr ULONG MAPI_FORCE_DOWNLOAD = 0x00001000;
constexpr ULONG MAPI_SERVICE_UI_ALWAYS = 0x00002000;
constexpr ULONG MAPI_NO_MAIL = 0x00008000;
constexpr ULONG MAPI_NT_SERVICE = 0x00010000;
constexpr ULONG MAPI_PASSWORD_UI = 0x00020000;
constexpr ULONG MAPI_TIMEOUT_SHORT = 0x00100000;

// IMAPISession::Logoff
constexpr ULONG MAPI_LOGOFF_SHARED = 0x00000001;
constexpr ULONG MAPI_LOGOFF_UI = 0x00000002;

// IProfAdmin::CreateProfile, GetProfileTable
constexpr ULONG MAPI_DEFAULT_SERVICES = 0x00000001;
constexpr ULONG MAPI_DEFAULT_PROFILE = 0x00000001;

// IMsgServiceAdmin::GetMsgServiceTable, AdminProviders
constexpr ULONG SERVICE_DEFAULT_STORE = 0x00000001;
constexpr ULONG SERVICE_SINGLE_COPY = 0x00000002;
constexpr ULONG SERVICE_CREATE_WITH_STORE = 0x00000004;
constexpr ULONG SERVICE_PRIMARY_IDENTITY = 0x00000008;
constexpr ULONG SERVICE_NO_PRIMARY_IDENTITY = 0x00000020;

// The profile's global section, which every profile has.
#define pbGlobalProfileSectionGuid "\x13\xDB\xB0\xC8\xAA\x05\x10\x1A\x9B\xB0\x00\xAA\x00\x2F\xC4\x5A"

extern "C" {
// Initializes MAPI for the calling process; calls nest and each needs its MAPIUninitialize.
HRESULT STDAPICALLTYPE MAPIInitialize(LPVOID lpMapiInit);
void STDAPICALLTYPE MAPIUninitialize();
// Logs on to the profile `lpszProfileName` (MAPI_EXTENDED required here): loads every provider
// of its message services and hands out the session.
HRESULT STDAPICALLTYPE MAPILogonEx(ULONG_PTR ulUIParam, LPSTR lpszProfileName, LPSTR lpszPassword, ULONG ulFlags,
                                   LPMAPISESSION* lppSession);
// Hands out the profile-administration object.
HRESULT STDAPICALLTYPE MAPIAdminProfiles(ULONG ulFlags, LPPROFADMIN* lppProfAdmin);
// The message that goes with the last failure of a MAPI call on the calling thread (naming
// the file, module or profile that was at fault), or "" when there is none. Ours, not MAPI's:
// MAPILogonEx and MAPIAdminProfiles hand out no object to ask GetLastError of.
LPCSTR STDAPICALLTYPE PxMAPILastError();
}
