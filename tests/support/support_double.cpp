#include "support_double.h"

#include <cstring>

#include "mapiguid.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"

HRESULT STDMETHODCALLTYPE SectionDouble::QueryInterface(REFIID iid, LPVOID* out) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IMAPIProp && iid != IID_IProfSect) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  AddRef();
  *out = this;
  return S_OK;
}

ULONG STDMETHODCALLTYPE SectionDouble::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

SectionDouble::~SectionDouble() = default;

HRESULT STDMETHODCALLTYPE SectionDouble::SaveChanges(ULONG) {
  ++saveChangesCalls;
  return S_OK;
}

const SPropValue* SectionDouble::Find(ULONG tag) const {
  std::lock_guard lock(mutex_);
  for (const auto& value : values_)
    if (value->ulPropTag == tag) return value.get();
  return nullptr;
}

std::size_t SectionDouble::Count() const {
  std::lock_guard lock(mutex_);
  return values_.size();
}

HRESULT STDMETHODCALLTYPE SectionDouble::GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) {
  ++getPropsCalls;
  if (!tags || !count || !values) return MAPI_E_INVALID_PARAMETER;
  if (FAILED(failGetProps)) return failGetProps;
  std::lock_guard lock(mutex_);
  // One buffer for the answer: copy each stored value (or an error value) after the array.
  std::vector<SPropValue> answer(tags->cValues);
  bool missing = false;
  for (ULONG i = 0; i < tags->cValues; ++i) {
    const SPropValue* found = nullptr;
    for (const auto& value : values_)
      if (PROP_ID(value->ulPropTag) == PROP_ID(tags->aulPropTag[i])) found = value.get();
    if (found) {
      answer[i] = *found;
    } else {
      answer[i] = SPropValue{};
      answer[i].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tags->aulPropTag[i]));
      answer[i].Value.err = MAPI_E_NOT_FOUND;
      missing = true;
    }
  }
  const SCODE sc = ScDupPropset(static_cast<int>(answer.size()), answer.data(), MAPIAllocateBuffer, values);
  if (FAILED(sc)) return sc;
  *count = tags->cValues;
  return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT STDMETHODCALLTYPE SectionDouble::SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) {
  ++setPropsCalls;
  if (problems) *problems = nullptr;
  if (FAILED(failSetProps)) return failSetProps;
  std::lock_guard lock(mutex_);
  for (ULONG i = 0; i < count; ++i) {
    MapiBuffer<SPropValue> copy;
    const SCODE sc = ScDupPropset(1, &values[i], MAPIAllocateBuffer, copy.put_typed());
    if (FAILED(sc)) return sc;
    bool replaced = false;
    for (auto& value : values_) {
      if (PROP_ID(value->ulPropTag) == PROP_ID(values[i].ulPropTag)) {
        value = std::move(copy);
        replaced = true;
        break;
      }
    }
    if (!replaced) values_.push_back(std::move(copy));
  }
  return S_OK;
}

SupportDouble::SupportDouble() : service_(new SectionDouble()), provider_(new SectionDouble()) {
  for (int i = 0; i < 16; ++i) serviceUID.ab[i] = static_cast<BYTE>(0xA0 + i);
  SPropValue uid{};
  uid.ulPropTag = PR_SERVICE_UID;
  uid.Value.bin.cb = sizeof serviceUID;
  uid.Value.bin.lpb = serviceUID.ab;
  provider_->SetProps(1, &uid, nullptr);
}

SupportDouble::~SupportDouble() = default;

HRESULT STDMETHODCALLTYPE SupportDouble::QueryInterface(REFIID iid, LPVOID* out) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IMAPISupport) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  AddRef();
  *out = this;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SupportDouble::GetMemAllocRoutines(LPALLOCATEBUFFER* allocateBuffer,
                                                             LPALLOCATEMORE* allocateMore, LPFREEBUFFER* freeBuffer) {
  if (FAILED(failGetMemAllocRoutines)) return failGetMemAllocRoutines;
  *allocateBuffer = MAPIAllocateBuffer;
  *allocateMore = MAPIAllocateMore;
  *freeBuffer = MAPIFreeBuffer;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SupportDouble::ModifyStatusRow(ULONG count, LPSPropValue values, ULONG) {
  std::lock_guard lock(mutex_);
  const SCODE sc = ScDupPropset(static_cast<int>(count), values, MAPIAllocateBuffer, statusRow.put_typed());
  statusRowCount = SUCCEEDED(sc) ? count : 0;
  return sc;
}

HRESULT STDMETHODCALLTYPE SupportDouble::OpenProfileSection(LPMAPIUID uid, ULONG, LPPROFSECT* section) {
  ++openProfileSectionCalls;
  if (!section) return MAPI_E_INVALID_PARAMETER;
  *section = nullptr;
  if (FAILED(failOpenProfileSection)) return failOpenProfileSection;
  SectionDouble* found = nullptr;
  if (!uid) {
    found = provider_.get();
  } else if (std::memcmp(uid, &serviceUID, sizeof serviceUID) == 0) {
    found = service_.get();
  } else {
    return MAPI_E_NOT_FOUND;
  }
  found->AddRef();
  *section = found;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SupportDouble::SetProviderUID(LPMAPIUID uid, ULONG) {
  ++setProviderUIDCalls;
  if (FAILED(failSetProviderUID)) return failSetProviderUID;
  std::lock_guard lock(mutex_);
  if (uid) registeredUID = *uid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ProviderAdminDouble::OpenProfileSection(LPMAPIUID uid, LPCIID, ULONG flags,
                                                                  LPPROFSECT* section) {
  ++openProfileSectionCalls;
  lastFlags = flags;
  if (!section) return MAPI_E_INVALID_PARAMETER;
  *section = nullptr;
  if (FAILED(failOpenProfileSection)) return failOpenProfileSection;
  if (uid) return MAPI_E_NOT_FOUND;
  support_.Service().AddRef();
  *section = &support_.Service();
  return S_OK;
}

// What a provider has no business calling in these tests.
#define PX_UNSUPPORTED(signature) \
  HRESULT STDMETHODCALLTYPE SupportDouble::signature { return MAPI_E_NO_SUPPORT; }
PX_UNSUPPORTED(Subscribe(LPNOTIFKEY, ULONG, ULONG, LPMAPIADVISESINK, ULONG_PTR*))
PX_UNSUPPORTED(Unsubscribe(ULONG_PTR))
PX_UNSUPPORTED(Notify(LPNOTIFKEY, ULONG, LPNOTIFICATION, ULONG*))
PX_UNSUPPORTED(RegisterPreprocessor(LPMAPIUID, LPSTR, LPSTR, LPSTR, LPSTR, ULONG))
PX_UNSUPPORTED(NewUID(LPMAPIUID))
PX_UNSUPPORTED(MakeInvalid(ULONG, LPVOID, ULONG, ULONG))
PX_UNSUPPORTED(SpoolerYield(ULONG))
PX_UNSUPPORTED(SpoolerNotify(ULONG, LPVOID))
PX_UNSUPPORTED(CreateOneOff(LPSTR, LPSTR, LPSTR, ULONG, ULONG*, LPENTRYID*))
PX_UNSUPPORTED(CompareEntryIDs(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG, ULONG*))
PX_UNSUPPORTED(OpenTemplateID(ULONG, LPENTRYID, ULONG, LPMAPIPROP, LPCIID, LPMAPIPROP*, LPMAPIPROP))
PX_UNSUPPORTED(OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*))
PX_UNSUPPORTED(GetOneOffTable(ULONG, LPMAPITABLE*))
PX_UNSUPPORTED(Address(ULONG_PTR*, LPADRPARM, LPADRLIST*))
PX_UNSUPPORTED(Details(ULONG_PTR*, LPFNDISMISS, LPVOID, ULONG, LPENTRYID, LPFNBUTTON, LPVOID, LPSTR, ULONG))
PX_UNSUPPORTED(NewEntry(ULONG_PTR, ULONG, ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*, LPENTRYID*))
PX_UNSUPPORTED(DoConfigPropsheet(ULONG_PTR, ULONG, LPSTR, LPMAPITABLE, LPMAPIPROP, ULONG))
PX_UNSUPPORTED(CopyMessages(LPCIID, LPVOID, LPENTRYLIST, LPCIID, LPVOID, ULONG_PTR, LPMAPIPROGRESS, ULONG))
PX_UNSUPPORTED(CopyFolder(LPCIID, LPVOID, ULONG, LPENTRYID, LPCIID, LPVOID, LPSTR, ULONG_PTR, LPMAPIPROGRESS, ULONG))
PX_UNSUPPORTED(DoCopyTo(LPCIID, LPVOID, ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID,
                        ULONG, LPSPropProblemArray*))
PX_UNSUPPORTED(DoCopyProps(LPCIID, LPVOID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                           LPSPropProblemArray*))
PX_UNSUPPORTED(DoProgressDialog(ULONG_PTR, ULONG, LPMAPIPROGRESS*))
PX_UNSUPPORTED(ReadReceipt(ULONG, LPMESSAGE, LPMESSAGE*))
PX_UNSUPPORTED(PrepareSubmit(LPMESSAGE, ULONG*))
PX_UNSUPPORTED(ExpandRecips(LPMESSAGE, ULONG*))
PX_UNSUPPORTED(UpdatePAB(ULONG, LPMESSAGE))
PX_UNSUPPORTED(DoSentMail(ULONG, LPMESSAGE))
PX_UNSUPPORTED(OpenAddressBook(LPCIID, ULONG, LPADRBOOK*))
PX_UNSUPPORTED(Preprocess(ULONG, ULONG, LPENTRYID))
PX_UNSUPPORTED(CompleteMsg(ULONG, ULONG, LPENTRYID))
PX_UNSUPPORTED(StoreLogoffTransports(ULONG*))
PX_UNSUPPORTED(StatusRecips(LPMESSAGE, LPADRLIST))
PX_UNSUPPORTED(WrapStoreEntryID(ULONG, LPENTRYID, ULONG*, LPENTRYID*))
PX_UNSUPPORTED(ModifyProfile(ULONG))
PX_UNSUPPORTED(IStorageFromStream(LPUNKNOWN, LPCIID, ULONG, LPSTORAGE*))
PX_UNSUPPORTED(GetSvcConfigSupportObj(ULONG, LPMAPISUP*))
#undef PX_UNSUPPORTED
