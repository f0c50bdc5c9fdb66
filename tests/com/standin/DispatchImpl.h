#pragma once
// Automation objects: IDispatch over a list of member names, each with its DISPID, and a
// subclass that serves the member of each DISPID. A RunTimeError (or any exception)
// thrown by a member becomes DISP_E_EXCEPTION with the error's text as the description
// and the host's own code (kHostErrorCode) in EXCEPINFO, as a host raises its errors; a
// call the member cannot take gets the code a typed automation server (one that invokes
// through its type information) gives: a property read as a method only, a method read
// as a property only, a put on a property that cannot be written or on a method:
// DISP_E_MEMBERNOTFOUND; the wrong number of arguments: DISP_E_BADPARAMCOUNT.
#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
#include "host/com/ComSupport.h"

namespace np::com {

struct DispatchMember {
  std::wstring name;
  DISPID id;
};

// A call as Invoke received it, with its arguments by written position (0 = leftmost).
class DispatchCall {
 public:
  DispatchCall(WORD flags, DISPPARAMS* params, VARIANT* result) : flags_(flags), params_(params), result_(result) {}

  // A member read or called for its value (DISPATCH_PROPERTYGET and/or DISPATCH_METHOD),
  // taking from `min` to `max` arguments.
  void expectGet(UINT min = 0, UINT max = 0) const;
  // A property read: DISPATCH_PROPERTYGET among the flags.
  void expectProperty(UINT min = 0, UINT max = 0) const;
  // A method call: DISPATCH_METHOD among the flags.
  void expectMethod(UINT min = 0, UINT max = 0) const;
  // A property put (one value, the DISPID_PROPERTYPUT named argument).
  void expectPut() const;
  bool isPut() const { return (flags_ & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }
  UINT count() const { return params_ ? params_->cArgs : 0; }

  double number(UINT position) const;
  DateTime date(UINT position) const;
  std::string text(UINT position, std::string_view member) const;
  // The value of a property put.
  double putNumber() const { return number(0); }

  void returnNumber(double value) const;
  void returnLong(long value) const;
  void returnBool(bool value) const;
  void returnDate(DateTime value) const;
  void returnText(const std::string& value, std::string_view member) const;
  void returnObject(IDispatch* object) const;  // takes over the caller's reference; nullptr: Nothing

 private:
  const VARIANT& arg(UINT position) const;
  void coerce(UINT position, VARTYPE vt, Variant& out) const;

  WORD flags_;
  DISPPARAMS* params_;
  VARIANT* result_;
};

// A standard automation failure code for Invoke (and the argument it concerns).
// The code of the errors a member raises (EXCEPINFO's scode): a server's own, as a host
// raises its errors (vbObjectError + 1025).
inline constexpr HRESULT kHostErrorCode = static_cast<HRESULT>(0x80040401u);

struct DispatchFailure {
  HRESULT hr;
  UINT argument = 0;  // index into rgvarg
};

class DispatchImpl : public IDispatch {
 public:
  // `source` names the object in EXCEPINFO ("ACP.Util").
  DispatchImpl(std::wstring source, std::vector<DispatchMember> members);
  virtual ~DispatchImpl();
  DispatchImpl(const DispatchImpl&) = delete;
  DispatchImpl& operator=(const DispatchImpl&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* info, UINT* argError) override;

  // Objects alive in this process (all kinds), for a server that ends with its last one.
  static long liveObjects();

 protected:
  // One member; throw DispatchFailure for a call it cannot take, RunTimeError for a failure.
  virtual void invoke(DISPID id, const DispatchCall& call) = 0;

 private:
  std::atomic<ULONG> refs_{1};
  std::wstring source_;
  std::vector<DispatchMember> members_;
};

// Called when the last automation object of the process is released (a local server
// ends then); none by default.
void setOnLastObjectReleased(void (*callback)());

// What a server process does around every call of its objects (observatory-standin.exe's
// switches); nothing by default. `before` may answer the call itself (it returns true
// then) or throw as a member does; `after` follows a call that was answered.
struct CallHooks {
  bool (*before)(std::wstring_view member, const DispatchCall& call) = nullptr;
  void (*after)(std::wstring_view member) = nullptr;
};
void setCallHooks(CallHooks hooks);

}  // namespace np::com
