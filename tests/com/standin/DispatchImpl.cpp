#include "com/standin/DispatchImpl.h"

#include <exception>

namespace np::com {

namespace {

std::atomic<long> gLiveObjects{0};
std::atomic<void (*)()> gOnLast{nullptr};
CallHooks gHooks;

BSTR allocText(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

// The error's text for EXCEPINFO: the narrow text is in the ANSI code page.
std::wstring describe(const char* what) {
  try {
    return wideFromNarrow(what, "");
  } catch (const RunTimeError&) {
    std::wstring shown;
    for (const char* p = what; *p; ++p) shown += (*p >= 0x20 && *p < 0x7F) ? static_cast<wchar_t>(*p) : L'?';
    return shown;
  }
}

}  // namespace

// ---- DispatchCall ----

void DispatchCall::expectGet(UINT min, UINT max) const {
  if (isPut() || !(flags_ & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) throw DispatchFailure{DISP_E_MEMBERNOTFOUND};
  if (params_ && params_->cNamedArgs) throw DispatchFailure{DISP_E_NONAMEDARGS};
  if (count() < min || count() > max) throw DispatchFailure{DISP_E_BADPARAMCOUNT};
}

void DispatchCall::expectProperty(UINT min, UINT max) const {
  if (isPut() || !(flags_ & DISPATCH_PROPERTYGET)) throw DispatchFailure{DISP_E_MEMBERNOTFOUND};
  expectGet(min, max);
}

void DispatchCall::expectMethod(UINT min, UINT max) const {
  if (isPut() || !(flags_ & DISPATCH_METHOD)) throw DispatchFailure{DISP_E_MEMBERNOTFOUND};
  expectGet(min, max);
}

void DispatchCall::expectPut() const {
  if (!(flags_ & DISPATCH_PROPERTYPUT)) throw DispatchFailure{DISP_E_MEMBERNOTFOUND};
  if (!params_ || params_->cArgs != 1 || params_->cNamedArgs != 1 || !params_->rgdispidNamedArgs ||
      params_->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
    throw DispatchFailure{DISP_E_BADPARAMCOUNT};
}

const VARIANT& DispatchCall::arg(UINT position) const {
  if (position >= count()) throw DispatchFailure{DISP_E_BADPARAMCOUNT};
  return params_->rgvarg[params_->cArgs - 1 - position];
}

void DispatchCall::coerce(UINT position, VARTYPE vt, Variant& out) const {
  const VARIANT& a = arg(position);
  // VariantChangeType follows a VT_BYREF argument itself.
  HRESULT hr = VariantChangeType(out.get(), const_cast<VARIANT*>(&a), 0, vt);
  if (FAILED(hr)) throw DispatchFailure{DISP_E_TYPEMISMATCH, params_->cArgs - 1 - position};
}

double DispatchCall::number(UINT position) const {
  Variant v;
  coerce(position, VT_R8, v);
  return v.get()->dblVal;
}

DateTime DispatchCall::date(UINT position) const {
  Variant v;
  coerce(position, VT_DATE, v);
  return dateTimeFromOleDate(v.get()->date);
}

std::string DispatchCall::text(UINT position, std::string_view member) const {
  Variant v;
  coerce(position, VT_BSTR, v);
  BSTR b = v.get()->bstrVal;
  return narrowFromWide(std::wstring_view(b ? b : L"", b ? SysStringLen(b) : 0), member);
}

void DispatchCall::returnNumber(double value) const {
  if (!result_) return;
  VariantClear(result_);
  result_->vt = VT_R8;
  result_->dblVal = value;
}

void DispatchCall::returnLong(long value) const {
  if (!result_) return;
  VariantClear(result_);
  result_->vt = VT_I4;
  result_->lVal = value;
}

void DispatchCall::returnBool(bool value) const {
  if (!result_) return;
  VariantClear(result_);
  result_->vt = VT_BOOL;
  result_->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void DispatchCall::returnDate(DateTime value) const {
  if (!result_) return;
  VariantClear(result_);
  result_->vt = VT_DATE;
  result_->date = oleDateFromDateTime(value);
}

void DispatchCall::returnText(const std::string& value, std::string_view member) const {
  Variant v = Variant::fromText(value, member);
  if (!result_) return;
  VariantClear(result_);
  *result_ = *v.get();
  VariantInit(v.get());  // handed over
}

void DispatchCall::returnObject(IDispatch* object) const {
  if (!result_) {
    if (object) object->Release();
    return;
  }
  VariantClear(result_);
  result_->vt = VT_DISPATCH;
  result_->pdispVal = object;
}

// ---- DispatchImpl ----

DispatchImpl::DispatchImpl(std::wstring source, std::vector<DispatchMember> members)
    : source_(std::move(source)), members_(std::move(members)) {
  ++gLiveObjects;
}

DispatchImpl::~DispatchImpl() {
  if (--gLiveObjects == 0) {
    if (auto callback = gOnLast.load()) callback();
  }
}

long DispatchImpl::liveObjects() { return gLiveObjects.load(); }

void setOnLastObjectReleased(void (*callback)()) { gOnLast = callback; }

void setCallHooks(CallHooks hooks) { gHooks = hooks; }

HRESULT STDMETHODCALLTYPE DispatchImpl::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DispatchImpl::AddRef() { return ++refs_; }

ULONG STDMETHODCALLTYPE DispatchImpl::Release() {
  const ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

HRESULT STDMETHODCALLTYPE DispatchImpl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DispatchImpl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT STDMETHODCALLTYPE DispatchImpl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids || count == 0) return E_INVALIDARG;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  // Automation names are not case-sensitive.
  for (const DispatchMember& m : members_)
    if (names[0] && lstrcmpiW(names[0], m.name.c_str()) == 0) ids[0] = m.id;
  if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  if (count > 1) hr = DISP_E_UNKNOWNNAME;  // no member takes named arguments
  return hr;
}

HRESULT STDMETHODCALLTYPE DispatchImpl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                               VARIANT* result, EXCEPINFO* info, UINT* argError) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  const DispatchMember* member = nullptr;
  for (const DispatchMember& m : members_)
    if (m.id == id) member = &m;
  if (!member) return DISP_E_MEMBERNOTFOUND;
  if (result) VariantInit(result);
  std::wstring description;
  try {
    const DispatchCall call(flags, params, result);
    if (!gHooks.before || !gHooks.before(member->name, call)) invoke(id, call);
    if (gHooks.after) gHooks.after(member->name);
    return S_OK;
  } catch (const DispatchFailure& f) {
    if (argError) *argError = f.argument;
    return f.hr;
  } catch (const std::exception& e) {
    description = describe(e.what());
  } catch (...) {
    description = L"unknown failure";
  }
  if (info) {
    *info = EXCEPINFO{};
    info->scode = kHostErrorCode;
    info->bstrSource = allocText(source_);
    info->bstrDescription = allocText(description);
  }
  return DISP_E_EXCEPTION;
}

}  // namespace np::com
