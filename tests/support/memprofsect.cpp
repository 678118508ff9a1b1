#include "memprofsect.h"

#include <cstring>

#include "mapicode.h"
#include "mapiguid.h"
#include "mapiutil.h"

MemoryProfileSection::~MemoryProfileSection() {
  for (auto& [id, value] : values_) MAPIFreeBuffer(value);
}

const SPropValue* MemoryProfileSection::Find(ULONG tag) const {
  const auto found = values_.find(PROP_ID(tag));
  return found == values_.end() ? nullptr : found->second;
}

void MemoryProfileSection::Put(ULONG count, const SPropValue* values) {
  for (ULONG i = 0; i < count; ++i) {
    LPSPropValue copy = nullptr;
    if (FAILED(ScDupPropset(1, const_cast<LPSPropValue>(&values[i]), MAPIAllocateBuffer, &copy))) continue;
    LPSPropValue& slot = values_[PROP_ID(values[i].ulPropTag)];
    if (slot) MAPIFreeBuffer(slot);
    slot = copy;
  }
}

HRESULT MemoryProfileSection::QueryInterface(REFIID iid, LPVOID* out) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IMAPIProp && iid != IID_IProfSect) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  *out = static_cast<IProfSect*>(this);
  AddRef();
  return S_OK;
}

HRESULT MemoryProfileSection::GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) {
  if (!tags || !count || !values) return MAPI_E_INVALID_PARAMETER;
  if (FAILED(failGetProps)) return failGetProps;
  LPSPropValue array = nullptr;
  if (FAILED(MAPIAllocateBuffer(tags->cValues * sizeof(SPropValue), reinterpret_cast<LPVOID*>(&array))))
    return MAPI_E_NOT_ENOUGH_MEMORY;
  std::memset(array, 0, tags->cValues * sizeof(SPropValue));
  HRESULT hr = S_OK;
  for (ULONG i = 0; i < tags->cValues; ++i) {
    const ULONG tag = tags->aulPropTag[i];
    const SPropValue* stored = Find(tag);
    if (stored && PROP_TYPE(stored->ulPropTag) == PROP_TYPE(tag)) {
      PropCopyMore(&array[i], const_cast<LPSPropValue>(stored), MAPIAllocateMore, array);
    } else {
      array[i].ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
      array[i].Value.err = MAPI_E_NOT_FOUND;
      hr = MAPI_W_ERRORS_RETURNED;
    }
  }
  *count = tags->cValues;
  *values = array;
  return hr;
}

HRESULT MemoryProfileSection::SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) {
  if (problems) *problems = nullptr;
  if (!values && count) return MAPI_E_INVALID_PARAMETER;
  setPropsCounts.push_back(count);
  if (FAILED(failSetProps)) return failSetProps;
  Put(count, values);
  return S_OK;
}
