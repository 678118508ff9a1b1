// Profile sections: non-transacted property objects whose every change is on disk when the
// call returns.
#include <cstring>

#include "mapiinternal.h"
#include "profilefile.h"

namespace pxmapi {
namespace {

class ProfSect final : public Object<IProfSect> {
 public:
  ProfSect(std::string profile, const MAPIUID& uid, bool writable)
      : profile_(std::move(profile)), uid_(uid), writable_(writable) {}

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override {
    return AnswerLastError(hResult, ulFlags, lppMAPIError);
  }
  // Changes are on disk already.
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                                     LPSPropValue* lppPropArray) override {
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] { return AnswerProps(Mine(ReadProfile(profile_)).props, lpPropTagArray, lpcValues, lppPropArray); });
  }
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override {
    if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return Run([&] { return AnswerPropList(Mine(ReadProfile(profile_)).props, lppPropTagArray); });
  }
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE SetProps(ULONG cValues, LPSPropValue lpPropArray,
                                     LPSPropProblemArray* lppProblems) override {
    if (lppProblems) *lppProblems = nullptr;
    if (cValues && !lpPropArray) return MAPI_E_INVALID_PARAMETER;
    if (!writable_) return MAPI_E_NO_ACCESS;
    return Run([&] {
      std::vector<SPropProblem> problems;
      std::vector<OwnedProp> copies;
      for (ULONG i = 0; i < cValues; ++i) {
        const ULONG type = PROP_TYPE(lpPropArray[i].ulPropTag);
        if (type == PT_ERROR || type == PT_NULL || type == PT_OBJECT || type == PT_UNSPECIFIED ||
            PROP_ID(lpPropArray[i].ulPropTag) == PROP_ID_NULL) {
          problems.push_back(SPropProblem{i, lpPropArray[i].ulPropTag, MAPI_E_INVALID_TYPE});
          continue;
        }
        try {
          OwnedProp copy = CopyProp(lpPropArray[i]);
          FormatCheck(*copy);
          copies.push_back(std::move(copy));
        } catch (const Failure& failure) {
          problems.push_back(SPropProblem{i, lpPropArray[i].ulPropTag, failure.hr});
        }
      }
      ChangeProfile(profile_, [&](ProfileData& profile) {
        Section& section = Mine(profile);
        for (OwnedProp& copy : copies) section.props[PROP_ID(copy->ulPropTag)] = CopyProp(*copy);
      });
      if (lppProblems && !problems.empty()) *lppProblems = Problems(problems);
    });
  }
  HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) override {
    if (lppProblems) *lppProblems = nullptr;
    if (!lpPropTagArray) return MAPI_E_INVALID_PARAMETER;
    if (!writable_) return MAPI_E_NO_ACCESS;
    return Run([&] {
      std::vector<SPropProblem> problems;
      ChangeProfile(profile_, [&](ProfileData& profile) {
        problems.clear();
        Section& section = Mine(profile);
        for (ULONG i = 0; i < lpPropTagArray->cValues; ++i) {
          const ULONG tag = lpPropTagArray->aulPropTag[i];
          if (!section.props.erase(PROP_ID(tag))) problems.push_back(SPropProblem{i, tag, MAPI_E_NOT_FOUND});
        }
      });
      if (lppProblems && !problems.empty()) *lppProblems = Problems(problems);
    });
  }
  HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray lpExcludeProps, ULONG_PTR, LPMAPIPROGRESS, LPCIID,
                                   LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) override {
    if (!lpDestObj) return MAPI_E_INVALID_PARAMETER;
    return CopyProperties(this, nullptr, lpExcludeProps, static_cast<IMAPIProp*>(lpDestObj), ulFlags, lppProblems);
  }
  HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray lpIncludeProps, ULONG_PTR, LPMAPIPROGRESS, LPCIID,
                                      LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) override {
    if (!lpDestObj || !lpIncludeProps) return MAPI_E_INVALID_PARAMETER;
    return CopyProperties(this, lpIncludeProps, nullptr, static_cast<IMAPIProp*>(lpDestObj), ulFlags, lppProblems);
  }
  HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override {
    return MAPI_E_NO_SUPPORT;
  }

 protected:
  bool Is(REFIID riid) const override { return riid == IID_IMAPIProp || riid == IID_IProfSect; }

 private:
  Section& Mine(ProfileData& profile) const {
    Section* section = profile.Find(uid_);
    if (!section) Fail(MAPI_E_OBJECT_DELETED, "section " + UidText(uid_) + " of profile \"" + profile_ + "\" is gone");
    return *section;
  }
  const Section& Mine(const ProfileData& profile) const { return Mine(const_cast<ProfileData&>(profile)); }
  Section Mine(ProfileData&& profile) const { return std::move(Mine(profile)); }

  // A value the file cannot hold is refused before anything is written.
  static void FormatCheck(const SPropValue& value) {
    ProfileData probe;
    probe.sections.push_back(Section{});
    probe.sections.back().props.emplace(PROP_ID(value.ulPropTag), CopyProp(value));
    FormatProfile(probe);
  }

  static LPSPropProblemArray Problems(const std::vector<SPropProblem>& problems) {
    LPSPropProblemArray array = nullptr;
    Check(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropProblemArray(problems.size())),
                             reinterpret_cast<LPVOID*>(&array)),
          "out of memory");
    array->cProblem = static_cast<ULONG>(problems.size());
    std::memcpy(array->aProblem, problems.data(), problems.size() * sizeof(SPropProblem));
    return array;
  }

  const std::string profile_;
  const MAPIUID uid_;
  const bool writable_;
};

}  // namespace

HRESULT OpenSection(const std::string& profile, const MAPIUID& uid, ULONG ulFlags, LPPROFSECT* lppProfSect) {
  if (!lppProfSect) return MAPI_E_INVALID_PARAMETER;
  *lppProfSect = nullptr;
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return Run([&] {
    if (!ReadProfile(profile).Find(uid))
      Fail(MAPI_E_NOT_FOUND, "profile \"" + profile + "\" has no section " + UidText(uid));
    *lppProfSect = new ProfSect(profile, uid, (ulFlags & MAPI_MODIFY) != 0);
  });
}

}  // namespace pxmapi
