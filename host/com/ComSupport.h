#pragma once
// Late-bound automation on Windows: the pieces the host objects are built from. Narrow
// strings are text in the ANSI code page (CP_ACP); they are converted to and from BSTRs
// here, at the boundary, and a text that the code page cannot hold is an error naming the
// member. Every failure is a RunTimeError whose text names the member.
#include <windows.h>
#include <oaidl.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/DateTime.h"
#include "base/Errors.h"

namespace np::com {

// An owned COM interface pointer.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes over a reference the caller owns.
  static ComPtr adopt(T* p) {
    ComPtr r;
    r.p_ = p;
    return r;
  }
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() {
    if (p_) p_->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held and hands out the slot.
  T** put() {
    *this = nullptr;
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

// An owned VARIANT.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
  Variant& operator=(Variant&& o) noexcept {
    if (this != &o) {
      VariantClear(&v_);
      v_ = o.v_;
      VariantInit(&o.v_);
    }
    return *this;
  }
  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARTYPE type() const { return v_.vt; }

  static Variant fromDouble(double d);
  static Variant fromBool(bool b);
  static Variant fromInt(long i);
  static Variant fromDate(DateTime d);
  // The narrow text (ANSI code page) as a BSTR; `member` names the call in an error.
  static Variant fromText(std::string_view text, std::string_view member);

 private:
  VARIANT v_;
};

// COM on this thread in a single-threaded apartment for as long as the object lives.
// The host objects must be created, used and released on the thread that holds it (the
// window's thread), and released before it goes.
class ComApartment {
 public:
  ComApartment();  // throws RunTimeError when COM cannot be initialised here
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

// ---- text ----
// ANSI code page text to UTF-16; an invalid byte sequence is an error naming `member`.
std::wstring wideFromNarrow(std::string_view text, std::string_view member);
// UTF-16 to ANSI code page text; a character the code page cannot hold is an error
// naming `member` (no best-fit substitution, no default character).
std::string narrowFromWide(std::wstring_view text, std::string_view member);

// ---- dates ----
// The automation date (VT_DATE) of a date-time and back. DateTime counts days linearly;
// an automation date before 1899-12-30 keeps its time of day as a positive fraction
// after a negative day (-1.25 is 1899-12-29 06:00), so the two differ only there.
DATE oleDateFromDateTime(DateTime d);
DateTime dateTimeFromOleDate(DATE d);

// ---- errors ----
// Whether a code says that the server behind a proxy has gone: its process ended or was
// restarted (disconnected, server unavailable, object no longer connected, server died,
// the call failed in the server's process).
bool hostGone(HRESULT hr);
// Whether a code says that the server refused the call because it was busy.
bool hostBusy(HRESULT hr);

// "<member>: <description> (0x<code>)": the description from EXCEPINFO when the member
// raised one (deferred fill-in honoured; the code then the server's own, when it gave
// one), else the system's text for the code. A host that has gone and a host that stayed
// busy are said so in plain words, with what the operator does about it.
std::string failureText(std::string_view member, HRESULT hr, EXCEPINFO* info = nullptr);
[[noreturn]] void fail(std::string_view member, HRESULT hr, EXCEPINFO* info = nullptr);

// ---- values ----
// The value coerced as VB's late binding would (VariantChangeType); a value that cannot
// be coerced is an error naming `member` and the variant type it had.
double toDouble(const Variant& v, std::string_view member);
float toSingle(const Variant& v, std::string_view member);
long toLong(const Variant& v, std::string_view member);
bool toBool(const Variant& v, std::string_view member);
DateTime toDateTime(const Variant& v, std::string_view member);
std::string toText(const Variant& v, std::string_view member);
// The object a member returned; Nothing (or not an object) is an error naming `member`.
ComPtr<IDispatch> toDispatch(const Variant& v, std::string_view member);

// One late-bound automation object: members by name, their DISPIDs looked up once and
// kept with the object. `name` is how errors name the object ("Util", "Util.Prefs").
class DispatchObject {
 public:
  DispatchObject() = default;
  DispatchObject(ComPtr<IDispatch> object, std::string name);

  const std::string& name() const { return name_; }
  IDispatch* get() const { return object_.get(); }

  // A property get, or a method call with arguments in their written order (left to right).
  Variant get(std::string_view member, std::vector<Variant> args = {});
  // A method call whose result is not used.
  void call(std::string_view member, std::vector<Variant> args = {});
  // A property put (DISPATCH_PROPERTYPUT, the value as the DISPID_PROPERTYPUT named argument).
  void put(std::string_view member, Variant value);
  // A property get that returns an object; the child is named "<name>.<member>".
  DispatchObject getObject(std::string_view member);

  // "<name>.<member>", as errors name a member.
  std::string memberName(std::string_view member) const;

 private:
  DISPID dispid(std::string_view member);
  Variant invoke(std::string_view member, WORD flags, std::vector<Variant>& args, bool put);

  ComPtr<IDispatch> object_;
  std::string name_;
  std::map<std::string, DISPID, std::less<>> dispids_;
};

}  // namespace np::com
