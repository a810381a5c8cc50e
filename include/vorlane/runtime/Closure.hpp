// Object-bound closures: the framework's event and callback type. A closure is two
// words, the object and a code pointer, and never allocates.
//
//   struct TMoveEvent : Closure::TClosure<void(TObject*, int, int)> { using TClosure::TClosure; };
//   TMoveEvent e = TMoveEvent::Bind<&TMyForm::JoystickMove>(form);   // object + member function
//   TMoveEvent f = TMoveEvent(&PlainFunction);                        // captureless function
//   auto lambda = [&](TObject*, int x, int y) { ... };
//   TMoveEvent g = TMoveEvent::Of(lambda);                            // caller keeps lambda alive
#pragma once

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <typeinfo>

#include "vorlane/runtime/Api.hpp"

namespace vorlane::Closure {

// The raw pair stored by every closure, as form streaming and the inspector see it.
struct TMethod {
  void* Data = nullptr;
  void (*Code)() = nullptr;
  friend bool operator==(const TMethod&, const TMethod&) = default;
};

namespace detail {
// The process's one id for the signature whose mangled type name is `key`: made on
// the first call with that key, kept for the life of the process, and the same for
// every module, since the table lives in this library.
VORLANE_RUNTIME_API const void* SignatureIdOf(const char* key);
}  // namespace detail

// A distinct address for each call signature, so that type information can tell
// whether a published method fits an event property. The same signature has the
// same id in every module of the process (a template's own static would give each
// Windows DLL a copy of its own). Each module asks the table for a signature once
// and keeps the answer: threads that ask at the same time all get the one id, so a
// relaxed atomic, initialised as a constant and read without a guard, holds it.
template <class Signature>
const void* SignatureId() {
  static constinit std::atomic<const void*> id{nullptr};
  const void* known = id.load(std::memory_order_relaxed);
  if (known == nullptr) {
    known = detail::SignatureIdOf(typeid(Signature).name());
    id.store(known, std::memory_order_relaxed);
  }
  return known;
}

template <class Signature>
class TClosure;

template <class... Args>
class TClosure<void(Args...)> {
 public:
  using Signature = void(Args...);
  using Thunk = void (*)(void*, Args...);

  TClosure() = default;
  TClosure(std::nullptr_t) {}
  // A plain function (or a captureless lambda converted to one).
  TClosure(void (*function)(Args...))
      : FData(reinterpret_cast<void*>(function)), FCode(function ? &CallFunction : nullptr) {}

  // Binds `object` and its member function `Method`.
  template <auto Method, class T>
  static TClosure Bind(T* object) {
    TClosure c;
    c.FData = object;
    c.FCode = &CallMember<Method, T>;
    return c;
  }

  // Binds a callable object that the caller keeps alive as long as the closure is used.
  template <class F>
  static TClosure Of(F& callable) {
    TClosure c;
    c.FData = const_cast<void*>(static_cast<const void*>(&callable));
    c.FCode = &CallCallable<F>;
    return c;
  }

  // Assigned when the code part is not null.
  bool Assigned() const { return FCode != nullptr; }
  explicit operator bool() const { return Assigned(); }

  void operator()(Args... args) const { FCode(FData, args...); }

  void* GetData() const { return FData; }
  TMethod GetMethod() const { return {FData, reinterpret_cast<void (*)()>(FCode)}; }
  static TClosure FromMethod(TMethod m) {
    TClosure c;
    c.FData = m.Data;
    c.FCode = reinterpret_cast<Thunk>(m.Code);
    return c;
  }

  friend bool operator==(const TClosure& a, const TClosure& b) {
    return a.FData == b.FData && a.FCode == b.FCode;
  }

 private:
  static void CallFunction(void* data, Args... args) {
    reinterpret_cast<void (*)(Args...)>(data)(args...);
  }
  template <auto Method, class T>
  static void CallMember(void* data, Args... args) {
    (static_cast<T*>(data)->*Method)(args...);
  }
  template <class F>
  static void CallCallable(void* data, Args... args) {
    (*static_cast<F*>(data))(args...);
  }

  void* FData = nullptr;
  Thunk FCode = nullptr;
};

}  // namespace vorlane::Closure
