#include "host/com/ComSupport.h"

#include "host/com/MessageFilter.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace np::com {

namespace {

std::string hex(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

// The system's text for a code, without its line end; empty when there is none.
std::string systemText(HRESULT hr) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (n && buffer) text.assign(buffer, n);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.'))
    text.pop_back();
  try {
    return narrowFromWide(text, "");
  } catch (const RunTimeError&) {
    return {};
  }
}

const char* typeName(VARTYPE vt) {
  switch (vt & VT_TYPEMASK) {
    case VT_EMPTY: return "Empty";
    case VT_NULL: return "Null";
    case VT_I2: return "Integer";
    case VT_I4: return "Long";
    case VT_R4: return "Single";
    case VT_R8: return "Double";
    case VT_CY: return "Currency";
    case VT_DATE: return "Date";
    case VT_BSTR: return "String";
    case VT_DISPATCH: return "Object";
    case VT_ERROR: return "Error";
    case VT_BOOL: return "Boolean";
    case VT_VARIANT: return "Variant";
    case VT_UNKNOWN: return "Unknown";
    case VT_DECIMAL: return "Decimal";
    case VT_UI1: return "Byte";
    default: return "another type";
  }
}

// `v` coerced to `vt` into `out`, or the error naming the member.
void coerce(const Variant& v, VARTYPE vt, Variant& out, std::string_view member) {
  HRESULT hr = VariantChangeType(out.get(), const_cast<VARIANT*>(v.get()), 0, vt);
  if (FAILED(hr)) {
    throw RunTimeError(std::string(member) + ": the host returned " + typeName(v.type()) + " where " + typeName(vt) +
                       " was expected: " + systemText(hr) + " (" + hex(hr) + ")");
  }
}

}  // namespace

// ---- Variant ----

Variant Variant::fromDouble(double d) {
  Variant v;
  v.v_.vt = VT_R8;
  v.v_.dblVal = d;
  return v;
}

Variant Variant::fromBool(bool b) {
  Variant v;
  v.v_.vt = VT_BOOL;
  v.v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::fromInt(long i) {
  Variant v;
  v.v_.vt = VT_I4;
  v.v_.lVal = i;
  return v;
}

Variant Variant::fromDate(DateTime d) {
  Variant v;
  v.v_.vt = VT_DATE;
  v.v_.date = oleDateFromDateTime(d);
  return v;
}

Variant Variant::fromText(std::string_view text, std::string_view member) {
  std::wstring wide = wideFromNarrow(text, member);
  Variant v;
  BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!b) throw RunTimeError(std::string(member) + ": out of memory");
  v.v_.vt = VT_BSTR;
  v.v_.bstrVal = b;
  return v;
}

// ---- apartment ----

ComApartment::ComApartment() {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // S_FALSE: already initialised the same way on this thread; it still counts once.
  if (FAILED(hr)) throw RunTimeError("CoInitializeEx: " + systemText(hr) + " (" + hex(hr) + ")");
}

ComApartment::~ComApartment() { CoUninitialize(); }

// ---- text ----

std::wstring wideFromNarrow(std::string_view text, std::string_view member) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0)
    throw RunTimeError(std::string(member) + ": the text '" + std::string(text) +
                       "' is not valid in the ANSI code page (" + std::to_string(GetACP()) + ")");
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string narrowFromWide(std::wstring_view text, std::string_view member) {
  if (text.empty()) return {};
  const UINT cp = GetACP();
  // UTF-8 holds every character; it takes neither flag (they would be an error).
  const bool utf = cp == CP_UTF8 || cp == CP_UTF7;
  const DWORD flags = utf ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    utf ? nullptr : &usedDefault);
  if (n <= 0 || usedDefault) {
    // What can be shown of it: the characters the code page holds, '?' for the others.
    std::string shown;
    for (wchar_t c : text) shown += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    throw RunTimeError(std::string(member) + ": the text '" + shown +
                       "' holds a character that the ANSI code page (" + std::to_string(cp) + ") cannot represent");
  }
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, flags, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

// ---- dates ----

DATE oleDateFromDateTime(DateTime d) {
  if (d.serial >= 0) return d.serial;
  const double day = std::floor(d.serial);
  const double fraction = d.serial - day;
  return day - fraction;
}

DateTime dateTimeFromOleDate(DATE d) {
  if (d >= 0) return DateTime{d};
  const double day = std::trunc(d);  // towards zero: -0.5 is day 0 (1899-12-30), 12:00
  return DateTime{day + (day - d)};
}

// ---- errors ----

namespace {
constexpr HRESULT fromWin32(long code) { return static_cast<HRESULT>(0x80070000u | (static_cast<unsigned long>(code) & 0xFFFFu)); }
}  // namespace

bool hostGone(HRESULT hr) {
  switch (hr) {
    case RPC_E_DISCONNECTED:
    case RPC_E_SERVER_DIED:
    case RPC_E_SERVER_DIED_DNE:
    case CO_E_OBJNOTCONNECTED:
    case fromWin32(RPC_S_SERVER_UNAVAILABLE):
    case fromWin32(RPC_S_CALL_FAILED):
    case fromWin32(RPC_S_CALL_FAILED_DNE):
      return true;
    default:
      return false;
  }
}

bool hostBusy(HRESULT hr) { return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER; }

std::string failureText(std::string_view member, HRESULT hr, EXCEPINFO* info) {
  if (hostGone(hr))
    return std::string(member) +
           ": the observatory host is no longer running (it was closed or restarted); start it again, then start "
           "Nightpick (" + hex(hr) + ")";
  if (hostBusy(hr)) {
    const long seconds = static_cast<long>((busyPatienceHere().count() + 500) / 1000);
    return std::string(member) + ": the observatory host " +
           (seconds > 0 ? "stayed busy for " + std::to_string(seconds) + " s" : std::string("was busy")) +
           " and refused the call (" + hex(hr) + ")";
  }
  std::string description;
  HRESULT shown = hr;
  if (hr == DISP_E_EXCEPTION && info) {
    if (info->pfnDeferredFillIn) info->pfnDeferredFillIn(info);
    if (info->bstrDescription && SysStringLen(info->bstrDescription)) {
      try {
        description = narrowFromWide(std::wstring_view(info->bstrDescription, SysStringLen(info->bstrDescription)), member);
      } catch (const RunTimeError&) {
        // The host's text itself is not representable: show what can be shown.
        for (UINT i = 0; i < SysStringLen(info->bstrDescription); ++i) {
          wchar_t c = info->bstrDescription[i];
          description += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
        }
      }
      // The host's own code says more than "exception occurred".
      if (FAILED(info->scode)) shown = info->scode;
    } else if (FAILED(info->scode)) {
      description = systemText(info->scode) + " (" + hex(info->scode) + ")";
    } else if (info->wCode) {
      description = "error " + std::to_string(info->wCode);
    }
  }
  if (description.empty()) description = systemText(hr);
  if (description.empty()) description = "failed";
  return std::string(member) + ": " + description + " (" + hex(shown) + ")";
}

void fail(std::string_view member, HRESULT hr, EXCEPINFO* info) { throw RunTimeError(failureText(member, hr, info)); }

// ---- values ----

double toDouble(const Variant& v, std::string_view member) {
  Variant r;
  coerce(v, VT_R8, r, member);
  return r.get()->dblVal;
}

float toSingle(const Variant& v, std::string_view member) {
  Variant r;
  coerce(v, VT_R4, r, member);
  return r.get()->fltVal;
}

long toLong(const Variant& v, std::string_view member) {
  Variant r;
  coerce(v, VT_I4, r, member);
  return r.get()->lVal;
}

bool toBool(const Variant& v, std::string_view member) {
  Variant r;
  coerce(v, VT_BOOL, r, member);
  return r.get()->boolVal != VARIANT_FALSE;
}

DateTime toDateTime(const Variant& v, std::string_view member) {
  Variant r;
  coerce(v, VT_DATE, r, member);
  return dateTimeFromOleDate(r.get()->date);
}

std::string toText(const Variant& v, std::string_view member) {
  Variant r;
  coerce(v, VT_BSTR, r, member);
  BSTR b = r.get()->bstrVal;
  return narrowFromWide(std::wstring_view(b ? b : L"", b ? SysStringLen(b) : 0), member);
}

ComPtr<IDispatch> toDispatch(const Variant& v, std::string_view member) {
  const VARIANT* p = v.get();
  if (p->vt == (VT_BYREF | VT_VARIANT) && p->pvarVal) p = p->pvarVal;
  IUnknown* unknown = nullptr;
  if (p->vt == VT_DISPATCH) unknown = p->pdispVal;
  else if (p->vt == VT_UNKNOWN) unknown = p->punkVal;
  else if (p->vt == (VT_BYREF | VT_DISPATCH) && p->ppdispVal) unknown = *p->ppdispVal;
  else throw RunTimeError(std::string(member) + ": the host returned " + typeName(p->vt) + " where an object was expected");
  if (!unknown) throw RunTimeError(std::string(member) + ": the host returned Nothing where an object was expected");
  ComPtr<IDispatch> d;
  HRESULT hr = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(d.put()));
  if (FAILED(hr)) fail(member, hr);
  return d;
}

// ---- DispatchObject ----

namespace {

// `call` made again while the host refuses it as busy, for as long as this thread's
// message filter allows (COM itself may do so first, when it asks the filter); the last code.
template <class F>
HRESULT againWhileBusy(F&& call) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    const HRESULT hr = call();
    if (!hostBusy(hr)) return hr;
    const long delay = retryDelayHere(std::chrono::milliseconds(GetTickCount64() - start));
    if (delay < 0) return hr;
    waitProcessingMessages(std::chrono::milliseconds(delay));
  }
}

}  // namespace

DispatchObject::DispatchObject(ComPtr<IDispatch> object, std::string name)
    : object_(std::move(object)), name_(std::move(name)) {}

std::string DispatchObject::memberName(std::string_view member) const { return name_ + "." + std::string(member); }

DISPID DispatchObject::dispid(std::string_view member) {
  auto it = dispids_.find(member);
  if (it != dispids_.end()) return it->second;
  const std::string full = memberName(member);
  if (!object_) throw RunTimeError(full + ": no object");
  std::wstring wide = wideFromNarrow(member, full);
  LPOLESTR names[] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = againWhileBusy([&] { return object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); });
  if (FAILED(hr)) fail(full, hr);
  dispids_.emplace(std::string(member), id);
  return id;
}

Variant DispatchObject::invoke(std::string_view member, WORD flags, std::vector<Variant>& args, bool put) {
  const DISPID id = dispid(member);
  const std::string full = memberName(member);
  // Arguments go right to left.
  std::vector<VARIANT> rgvarg(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) rgvarg[args.size() - 1 - i] = *args[i].get();
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{rgvarg.empty() ? nullptr : rgvarg.data(), put ? &named : nullptr, static_cast<UINT>(rgvarg.size()),
                    put ? 1u : 0u};
  Variant result;
  EXCEPINFO info{};
  UINT argError = 0;
  HRESULT hr = againWhileBusy([&] {
    return object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, put ? nullptr : result.get(), &info,
                           &argError);
  });
  if (FAILED(hr)) {
    std::string text = failureText(full, hr, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && argError < args.size())
      text += " (argument " + std::to_string(args.size() - argError) + ")";
    throw RunTimeError(text);
  }
  return result;
}

Variant DispatchObject::get(std::string_view member, std::vector<Variant> args) {
  // As VB's late binding does for a member whose kind it does not know: either a
  // property get or a method with a result.
  return invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, false);
}

void DispatchObject::call(std::string_view member, std::vector<Variant> args) {
  invoke(member, DISPATCH_METHOD, args, false);
}

void DispatchObject::put(std::string_view member, Variant value) {
  std::vector<Variant> args;
  args.push_back(std::move(value));
  invoke(member, DISPATCH_PROPERTYPUT, args, true);
}

DispatchObject DispatchObject::getObject(std::string_view member) {
  Variant v = get(member);
  const std::string full = memberName(member);
  return DispatchObject(toDispatch(v, full), full);
}

}  // namespace np::com
