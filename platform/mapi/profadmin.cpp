// Profile administration: IProfAdmin, IMsgServiceAdmin and IProviderAdmin over the profile
// files, and the calls of a message service's entry.
#include <dlfcn.h>

#include <cstring>
#include <memory>

#include "catalogue.h"
#include "mapiinternal.h"
#include "profilefile.h"

namespace pxmapi {
namespace {

const MAPIUID& GlobalUid() {
  static const MAPIUID uid = [] {
    MAPIUID value;
    std::memcpy(value.ab, pbGlobalProfileSectionGuid, sizeof value.ab);
    return value;
  }();
  return uid;
}

const SPropValue* Find(const Section& section, ULONG tag) {
  const auto found = section.props.find(PROP_ID(tag));
  return found != section.props.end() && found->second->ulPropTag == tag ? found->second.get() : nullptr;
}

std::string Text(const Section& section, ULONG tag) {
  const SPropValue* value = Find(section, tag);
  return value && value->Value.lpszA ? value->Value.lpszA : "";
}

bool UidOf(const Section& section, ULONG tag, MAPIUID& uid) {
  const SPropValue* value = Find(section, tag);
  if (!value || value->Value.bin.cb != sizeof uid.ab) return false;
  std::memcpy(uid.ab, value->Value.bin.lpb, sizeof uid.ab);
  return true;
}

bool IsService(const Section& section) {
  MAPIUID uid;
  return !Find(section, PR_PROVIDER_UID) && UidOf(section, PR_SERVICE_UID, uid) && uid == section.uid;
}

bool IsProviderOf(const Section& section, const MAPIUID* service) {
  MAPIUID uid;
  return Find(section, PR_PROVIDER_UID) && UidOf(section, PR_SERVICE_UID, uid) && (!service || uid == *service);
}

void Put(Section& section, const SPropValue& value) { section.props[PROP_ID(value.ulPropTag)] = CopyProp(value); }

const Section& ServiceSection(const ProfileData& data, const std::string& profile, const MAPIUID& service) {
  const Section* section = data.Find(service);
  if (!section || !IsService(*section))
    Fail(MAPI_E_NOT_FOUND, "profile \"" + profile + "\" has no message service " + UidText(service));
  return *section;
}

// Calls the entry of a message service of `profile` in `context`.
void CallServiceEntry(const std::string& profile, const MAPIUID& service, ULONG_PTR ulUIParam, ULONG ulFlags,
                      ULONG context, ULONG cValues, LPSPropValue lpProps) {
  const std::string name = Text(ServiceSection(ReadProfile(profile), profile, service), PR_SERVICE_NAME);
  const CatalogueService entry = FindService(name);
  void* module = LoadModule(entry.module);
  const std::unique_ptr<void, int (*)(void*)> loaded(module, dlclose);
  auto* function = reinterpret_cast<LPMSGSERVICEENTRY>(dlsym(module, entry.serviceEntry.c_str()));
  if (!function)
    Fail(MAPI_E_NOT_FOUND,
         "the module " + entry.module + " of service " + name + " has no function " + entry.serviceEntry);
  ComPtr<IMAPISupport> support = NewServiceSupport(profile, service);
  ComPtr<IProviderAdmin> admin = NewProviderAdmin(profile, service);
  LPMAPIERROR error = nullptr;
  const HRESULT hr = function(static_cast<HINSTANCE>(module), TaskMalloc(), support.get(), ulUIParam, ulFlags, context,
                              cValues, lpProps, admin.get(), &error);
  std::string message = error && error->lpszError ? error->lpszError : "";
  MAPIFreeBuffer(error);
  if (FAILED(hr)) {
    Fail(hr, "the service entry " + entry.serviceEntry + " of " + entry.module + " failed" +
                 (message.empty() ? "" : ": " + message));
  }
}

class ProviderAdmin final : public Object<IProviderAdmin> {
 public:
  ProviderAdmin(std::string profile, const MAPIUID& service) : profile_(std::move(profile)), service_(service) {}

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override {
    return AnswerLastError(hResult, ulFlags, lppMAPIError);
  }
  HRESULT STDMETHODCALLTYPE GetProviderTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
  HRESULT STDMETHODCALLTYPE CreateProvider(LPSTR, ULONG, LPSPropValue, ULONG_PTR, ULONG, MAPIUID*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE DeleteProvider(LPMAPIUID) override { return MAPI_E_NO_SUPPORT; }
  // No UID opens the service's own section.
  HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID lpUID, LPCIID, ULONG ulFlags,
                                               LPPROFSECT* lppProfSect) override {
    return OpenSection(profile_, lpUID ? *lpUID : service_, ulFlags, lppProfSect);
  }

 protected:
  bool Is(REFIID riid) const override { return riid == IID_IProviderAdmin; }

 private:
  const std::string profile_;
  const MAPIUID service_;
};

// The rows of a provider table: every provider of `service` (of every service when null).
HRESULT ProviderTable(const std::string& profile, const MAPIUID* service, ULONG ulFlags, LPMAPITABLE* lppTable) {
  if (!lppTable) return MAPI_E_INVALID_PARAMETER;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return Run([&] {
    const ProfileData data = ReadProfile(profile);
    ComPtr<ITableData> table =
        NewTableData(PR_INSTANCE_KEY, {PR_INSTANCE_KEY, PR_PROVIDER_UID, PR_SERVICE_UID, PR_RESOURCE_TYPE,
                                       PR_DISPLAY_NAME, PR_PROVIDER_DISPLAY, PR_SERVICE_NAME, PR_PROVIDER_ORDINAL});
    LONG ordinal = 0;
    for (const Section& section : data.sections) {
      if (!IsProviderOf(section, service)) continue;
      std::vector<SPropValue> row{BinaryProp(PR_INSTANCE_KEY, sizeof section.uid.ab, section.uid.ab),
                                  LongProp(PR_PROVIDER_ORDINAL, ordinal++)};
      for (ULONG tag :
           {PR_PROVIDER_UID, PR_SERVICE_UID, PR_RESOURCE_TYPE, PR_DISPLAY_NAME, PR_PROVIDER_DISPLAY, PR_SERVICE_NAME})
        if (const SPropValue* value = Find(section, tag)) row.push_back(*value);
      PutRow(table.get(), std::move(row));
    }
    return AnswerView(table.get(), lppTable);
  });
}

HRESULT ProviderAdmin::GetProviderTable(ULONG ulFlags, LPMAPITABLE* lppTable) {
  return ProviderTable(profile_, &service_, ulFlags, lppTable);
}

class ServiceAdmin final : public Object<IMsgServiceAdmin> {
 public:
  explicit ServiceAdmin(std::string profile) : profile_(std::move(profile)) {}

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override {
    return AnswerLastError(hResult, ulFlags, lppMAPIError);
  }
  HRESULT STDMETHODCALLTYPE GetMsgServiceTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] {
      const ProfileData data = ReadProfile(profile_);
      ComPtr<ITableData> table = NewTableData(
          PR_INSTANCE_KEY, {PR_INSTANCE_KEY, PR_SERVICE_UID, PR_SERVICE_NAME, PR_DISPLAY_NAME, PR_RESOURCE_FLAGS});
      for (const Section& section : data.sections) {
        if (!IsService(section)) continue;
        std::vector<SPropValue> row{BinaryProp(PR_INSTANCE_KEY, sizeof section.uid.ab, section.uid.ab)};
        for (ULONG tag : {PR_SERVICE_UID, PR_SERVICE_NAME, PR_DISPLAY_NAME, PR_RESOURCE_FLAGS})
          if (const SPropValue* value = Find(section, tag)) row.push_back(*value);
        PutRow(table.get(), std::move(row));
      }
      return AnswerView(table.get(), lppTable);
    });
  }
  // The display name comes from the catalogue; MAPI ignores lpszDisplayName.
  HRESULT STDMETHODCALLTYPE CreateMsgService(LPSTR lpszService, LPSTR, ULONG_PTR ulUIParam, ULONG ulFlags) override {
    if (!lpszService || !*lpszService) return MAPI_E_INVALID_PARAMETER;
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] {
      const CatalogueService entry = FindService(lpszService);
      const MAPIUID service = NewMapiUid();
      ChangeProfile(profile_, [&](ProfileData& data) {
        Section section{service, {}};
        const std::string module = entry.module.substr(entry.module.rfind('/') + 1);
        Put(section, BinaryProp(PR_SERVICE_UID, sizeof service.ab, service.ab));
        Put(section, StringProp(PR_SERVICE_NAME, entry.name.c_str()));
        Put(section, StringProp(PR_DISPLAY_NAME, entry.displayName.c_str()));
        Put(section, StringProp(PR_SERVICE_DLL_NAME, module.c_str()));
        Put(section, StringProp(PR_SERVICE_ENTRY_NAME, entry.serviceEntry.c_str()));
        Put(section, LongProp(PR_RESOURCE_FLAGS, 0));
        data.sections.push_back(std::move(section));
        for (const CatalogueProvider& provider : entry.providers) {
          const MAPIUID uid = NewMapiUid();
          Section providerSection{uid, {}};
          Put(providerSection, BinaryProp(PR_PROVIDER_UID, sizeof uid.ab, uid.ab));
          Put(providerSection, BinaryProp(PR_SERVICE_UID, sizeof service.ab, service.ab));
          Put(providerSection, LongProp(PR_RESOURCE_TYPE, static_cast<LONG>(provider.resourceType)));
          Put(providerSection, StringProp(PR_DISPLAY_NAME, provider.displayName.c_str()));
          Put(providerSection, StringProp(PR_PROVIDER_DISPLAY, provider.displayName.c_str()));
          Put(providerSection, StringProp(PR_PROVIDER_DLL_NAME, module.c_str()));
          Put(providerSection, StringProp(PR_SERVICE_NAME, entry.name.c_str()));
          data.sections.push_back(std::move(providerSection));
        }
      });
      try {
        CallServiceEntry(profile_, service, ulUIParam, ulFlags, MSG_SERVICE_CREATE, 0, nullptr);
      } catch (...) {
        // A service whose entry refused to be created is not left in the profile.
        try {
          RemoveService(service);
        } catch (...) {
        }
        throw;
      }
    });
  }
  HRESULT STDMETHODCALLTYPE DeleteMsgService(LPMAPIUID lpUID) override {
    if (!lpUID) return MAPI_E_INVALID_PARAMETER;
    return Run([&] {
      ServiceSection(ReadProfile(profile_), profile_, *lpUID);
      CallServiceEntry(profile_, *lpUID, 0, 0, MSG_SERVICE_DELETE, 0, nullptr);
      RemoveService(*lpUID);
    });
  }
  HRESULT STDMETHODCALLTYPE CopyMsgService(LPMAPIUID, LPSTR, LPCIID, LPCIID, LPVOID, ULONG_PTR, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE RenameMsgService(LPMAPIUID, ULONG, LPSTR) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE ConfigureMsgService(LPMAPIUID lpUID, ULONG_PTR ulUIParam, ULONG ulFlags, ULONG cValues,
                                                LPSPropValue lpProps) override {
    if (!lpUID || (cValues && !lpProps)) return MAPI_E_INVALID_PARAMETER;
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run(
        [&] { CallServiceEntry(profile_, *lpUID, ulUIParam, ulFlags, MSG_SERVICE_CONFIGURE, cValues, lpProps); });
  }
  HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID lpUID, LPCIID, ULONG ulFlags,
                                               LPPROFSECT* lppProfSect) override {
    if (!lpUID) return MAPI_E_INVALID_PARAMETER;
    return OpenSection(profile_, *lpUID, ulFlags, lppProfSect);
  }
  HRESULT STDMETHODCALLTYPE MsgServiceTransportOrder(ULONG, LPMAPIUID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE AdminProviders(LPMAPIUID lpUID, ULONG, LPPROVIDERADMIN* lppProviderAdmin) override {
    if (!lpUID || !lppProviderAdmin) return MAPI_E_INVALID_PARAMETER;
    *lppProviderAdmin = nullptr;
    return Run([&] {
      ServiceSection(ReadProfile(profile_), profile_, *lpUID);
      *lppProviderAdmin = NewProviderAdmin(profile_, *lpUID).detach();
    });
  }
  HRESULT STDMETHODCALLTYPE SetPrimaryIdentity(LPMAPIUID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE GetProviderTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    return ProviderTable(profile_, nullptr, ulFlags, lppTable);
  }

 protected:
  bool Is(REFIID riid) const override { return riid == IID_IMsgServiceAdmin; }

 private:
  void RemoveService(const MAPIUID& service) {
    ChangeProfile(profile_, [&](ProfileData& data) {
      std::erase_if(data.sections,
                    [&](const Section& section) { return section.uid == service || IsProviderOf(section, &service); });
    });
  }

  const std::string profile_;
};

class ProfAdmin final : public Object<IProfAdmin> {
 public:
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override {
    return AnswerLastError(hResult, ulFlags, lppMAPIError);
  }
  HRESULT STDMETHODCALLTYPE GetProfileTable(ULONG ulFlags, LPMAPITABLE* lppTable) override {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] {
      ComPtr<ITableData> table = NewTableData(PR_DISPLAY_NAME, {PR_DISPLAY_NAME, PR_DEFAULT_PROFILE});
      for (const std::string& name : ProfileNames())
        PutRow(table.get(), {StringProp(PR_DISPLAY_NAME, name.c_str()), BoolProp(PR_DEFAULT_PROFILE, false)});
      return AnswerView(table.get(), lppTable);
    });
  }
  // Passwords are not kept: the profile file is readable by its owner only.
  HRESULT STDMETHODCALLTYPE CreateProfile(LPSTR lpszProfileName, LPSTR, ULONG_PTR, ULONG ulFlags) override {
    if (!lpszProfileName || !*lpszProfileName) return MAPI_E_INVALID_PARAMETER;
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] {
      ChangeProfile(
          lpszProfileName,
          [&](ProfileData& data) {
            Section global{GlobalUid(), {}};
            Put(global, StringProp(PR_PROFILE_NAME, lpszProfileName));
            data.sections.push_back(std::move(global));
          },
          true);
    });
  }
  HRESULT STDMETHODCALLTYPE DeleteProfile(LPSTR lpszProfileName, ULONG ulFlags) override {
    if (!lpszProfileName || !*lpszProfileName) return MAPI_E_INVALID_PARAMETER;
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] { RemoveProfile(lpszProfileName); });
  }
  HRESULT STDMETHODCALLTYPE ChangeProfilePassword(LPSTR, LPSTR, LPSTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE CopyProfile(LPSTR, LPSTR, LPSTR, ULONG_PTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE RenameProfile(LPSTR, LPSTR, LPSTR, ULONG_PTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetDefaultProfile(LPSTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE AdminServices(LPSTR lpszProfileName, LPSTR, ULONG_PTR, ULONG ulFlags,
                                          LPSERVICEADMIN* lppServiceAdmin) override {
    if (!lpszProfileName || !*lpszProfileName || !lppServiceAdmin) return MAPI_E_INVALID_PARAMETER;
    *lppServiceAdmin = nullptr;
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] {
      ReadProfile(lpszProfileName);
      *lppServiceAdmin = new ServiceAdmin(lpszProfileName);
    });
  }

 protected:
  bool Is(REFIID riid) const override { return riid == IID_IProfAdmin; }
};

}  // namespace

ComPtr<IProviderAdmin> NewProviderAdmin(const std::string& profile, const MAPIUID& service) {
  return ComPtr<IProviderAdmin>(new ProviderAdmin(profile, service));
}

}  // namespace pxmapi

HRESULT STDAPICALLTYPE MAPIAdminProfiles(ULONG ulFlags, LPPROFADMIN* lppProfAdmin) {
  if (!lppProfAdmin) return MAPI_E_INVALID_PARAMETER;
  *lppProfAdmin = nullptr;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return pxmapi::Run([&] {
    if (!pxmapi::IsInitialized()) pxmapi::Fail(MAPI_E_NOT_INITIALIZED, "MAPIInitialize has not been called");
    *lppProfAdmin = new pxmapi::ProfAdmin();
  });
}
