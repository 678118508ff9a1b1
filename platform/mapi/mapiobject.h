// What libpxmapi's own objects share: the failure idiom of its operations, the per-thread
// last-error text, reference counting and owned property values. Internal to platform/mapi.
#pragma once

#include <atomic>
#include <map>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "mapiptr.h"
#include "mapispi.h"
#include "mapiutil.h"
#include "mapix.h"

namespace pxmapi {

// A failure inside an operation: its result and a message naming what was at fault.
struct Failure {
  HRESULT hr;
  std::string message;
};
[[noreturn]] void Fail(HRESULT hr, std::string message);
// Fails with `message` when `hr` is a failure.
void Check(HRESULT hr, const char* message);
void SetLastErrorText(std::string text);
const std::string& LastErrorText();

// Runs an operation's body and turns what it raises into the result. A body may return an
// HRESULT (a warning, say); one that returns nothing succeeds with S_OK.
template <class Body>
HRESULT Run(Body&& body) noexcept {
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      return S_OK;
    } else {
      return body();
    }
  } catch (const Failure& failure) {
    try {
      SetLastErrorText(failure.message);
    } catch (...) {
    }
    return failure.hr;
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return MAPI_E_CALL_FAILED;
  }
}

// Live objects of this library, for tests that show every object was released.
extern std::atomic<long> liveObjects;

// Reference counting and QueryInterface for one of our objects; `Is` names the interfaces
// besides IUnknown that the object answers to.
template <class Interface>
class Object : public Interface {
 public:
  Object() { ++liveObjects; }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, LPVOID* ppvObj) override {
    if (!ppvObj) return MAPI_E_INVALID_PARAMETER;
    if (riid == IID_IUnknown || Is(riid)) {
      this->AddRef();
      *ppvObj = static_cast<Interface*>(this);
      return S_OK;
    }
    *ppvObj = nullptr;
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  virtual ~Object() { --liveObjects; }

 protected:
  virtual bool Is(REFIID riid) const = 0;

 private:
  std::atomic<ULONG> refs_{1};
};

// One property value in a MAPI buffer of its own.
using OwnedProp = MapiBuffer<SPropValue>;
OwnedProp CopyProp(const SPropValue& value);
// Property values by property ID, one value per ID as MAPI keeps them.
using PropMap = std::map<ULONG, OwnedProp>;

// GetProps over `props`: the values asked for (every one when `tags` is null) in one buffer;
// a value that is missing, or of another type than asked, is a PT_ERROR MAPI_E_NOT_FOUND and
// the result MAPI_W_ERRORS_RETURNED.
HRESULT AnswerProps(const PropMap& props, LPSPropTagArray tags, ULONG* lpcValues, LPSPropValue* lppPropArray);
// GetPropList over `props`.
HRESULT AnswerPropList(const PropMap& props, LPSPropTagArray* lppPropTagArray);
// A MAPI-allocated copy of `text` for a MAPIERROR, or S_OK with nothing when there is none.
HRESULT AnswerLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError);

// MAPIUID helpers: entry identifiers carry their provider's MAPIUID in bytes 4 to 19.
struct UidLess {
  bool operator()(const MAPIUID& a, const MAPIUID& b) const;
};
bool operator==(const MAPIUID& a, const MAPIUID& b);
MAPIUID NewMapiUid();
std::string UidText(const MAPIUID& uid);

// Table data of fixed columns, keyed by `indexTag`.
ComPtr<ITableData> NewTableData(ULONG indexTag, std::initializer_list<ULONG> columns);
// Writes one row of `values` into `table`.
void PutRow(ITableData* table, std::vector<SPropValue> values);
// Hands out a view of `table`.
HRESULT AnswerView(ITableData* table, LPMAPITABLE* lppTable);

SPropValue LongProp(ULONG tag, LONG value);
SPropValue StringProp(ULONG tag, const char* value);
SPropValue BinaryProp(ULONG tag, ULONG cb, const void* bytes);
SPropValue BoolProp(ULONG tag, bool value);

}  // namespace pxmapi
