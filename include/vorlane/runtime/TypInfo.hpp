// Type information: what a class publishes (properties, methods, message handlers)
// and the types of those properties. Form streaming, message dispatch and the
// object inspector all read these tables.
//
// A class declares its table in one place, one line per property:
//
//   const TClassInfo& TJoystick::StaticClass() {
//     static const TPropInfo props[] = {
//         Property<&TJoystick::GetAbout, &TJoystick::SetAbout>("About", NotStored),
//         Property<&TJoystick::FActive, &TJoystick::SetActive>("Active", Default(false)),
//     };
//     static const TClassInfo info("TJoystick", &TComponent::StaticClass(),
//                                  {.Properties = props,
//                                   .Create = &Classes::CreateComponent<TJoystick>,
//                                   .Platforms = 3});
//     return info;
//   }
//
// Getters may be fields or member functions; setters may be fields or member
// functions taking the value or a const reference to it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "vorlane/runtime/Closure.hpp"
#include "vorlane/runtime/Set.hpp"
#include "vorlane/runtime/System.hpp"

namespace vorlane::Classes {
class TComponent;
}

namespace vorlane::TypInfo {

using Closure::TMethod;
using System::String;
using System::TObject;

enum class TTypeKind : std::uint8_t {
  tkUnknown,
  tkInteger,
  tkEnumeration,  // Boolean is an enumeration of False, True
  tkSet,
  tkUString,
  tkClass,
  tkMethod,
};

enum class TOrdType : std::uint8_t { otSByte, otUByte, otSWord, otUWord, otSLong, otULong };

struct TTypeInfo;
struct TClassInfo;
using PTypeInfo = const TTypeInfo*;

struct TTypeData {
  TOrdType OrdType = TOrdType::otSLong;
  std::int64_t MinValue = 0;  // ordinal types: lowest value; enumerations: 0
  std::int64_t MaxValue = 0;  // ordinal types: highest value; enumerations: last ordinal
  const char* const* EnumNames = nullptr;  // enumerations: MaxValue + 1 names
  PTypeInfo CompType = nullptr;            // sets: the element type
  const TClassInfo* ClassType = nullptr;   // classes
  const void* Signature = nullptr;         // methods: Closure::SignatureId of the call
};

struct TTypeInfo {
  TTypeKind Kind = TTypeKind::tkUnknown;
  const char* Name = "";
  TTypeData Data;
};

inline const TTypeData* GetTypeData(PTypeInfo info) {
  return &info->Data;
}

// Element name of an enumeration value ("emPolling"); empty when out of range.
std::string_view GetEnumName(PTypeInfo info, std::int64_t value);
// Value of an enumeration element name, exact match; -1 when there is none.
std::int64_t GetEnumValue(PTypeInfo info, std::string_view name);

// One published property. Exactly the accessor pair of its kind is set:
// ordinal (integer, enumeration, set), string, class, or method.
struct TPropInfo {
  PTypeInfo PropType = nullptr;
  const char* Name = "";
  std::int64_t (*GetOrd)(TObject*) = nullptr;
  void (*SetOrd)(TObject*, std::int64_t) = nullptr;
  String (*GetStr)(TObject*) = nullptr;
  void (*SetStr)(TObject*, const String&) = nullptr;
  TObject* (*GetObj)(TObject*) = nullptr;
  void (*SetObj)(TObject*, TObject*) = nullptr;
  TMethod (*GetMethod)(TObject*) = nullptr;
  void (*SetMethod)(TObject*, TMethod) = nullptr;
  bool Stored = true;
  bool HasDefault = false;
  std::int64_t Default = 0;
};

// A published method: form data names event handlers by these names.
struct TMethodInfo {
  const char* Name = "";
  const void* Signature = nullptr;
  TMethod (*Bind)(TObject*) = nullptr;
};

// A message handler bound to a message number.
struct TMessageEntry {
  std::uint32_t Msg = 0;
  void (*Handler)(TObject*, void* message) = nullptr;
};

struct TClassMembers {
  // Default member initialisers let designated initialisers leave members out.
  std::span<const TPropInfo> Properties{};
  std::span<const TMethodInfo> Methods{};
  std::span<const TMessageEntry> Messages{};
  // The virtual constructor of a component class; null for other classes.
  Classes::TComponent* (*Create)(Classes::TComponent* owner) = nullptr;
  // ComponentPlatformsAttribute: the platform mask; 0 when the class carries none.
  std::uint32_t Platforms = 0;
};

struct TClassInfo {
  TClassInfo(const char* name, const TClassInfo* parent, TClassMembers members = {})
      : Name(name), Parent(parent), Members(members) {
    Type.Kind = TTypeKind::tkClass;
    Type.Name = name;
    Type.Data.ClassType = this;
  }
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  bool InheritsFrom(const TClassInfo& other) const {
    for (const TClassInfo* c = this; c != nullptr; c = c->Parent)
      if (c == &other) return true;
    return false;
  }
  PTypeInfo TypeInfo() const { return &Type; }

  const char* Name;
  const TClassInfo* Parent;
  TClassMembers Members;
  TTypeInfo Type;
};

// Every published property of a class, its ancestors' first, each in declared order.
std::vector<const TPropInfo*> GetPropList(const TClassInfo& cls);
// The published property named `name` (exact match) of the class or an ancestor.
const TPropInfo* GetPropInfo(const TClassInfo& cls, std::string_view name);
// The published method named `name` of the class or an ancestor.
const TMethodInfo* FindMethod(const TClassInfo& cls, std::string_view name);
// The name of the published method of `instance`'s class that `method` is bound to
// on `instance`; nullptr when it is not one of them.
const TMethodInfo* FindMethodName(TObject* instance, TMethod method);

// Classes known to form reading by name (exact match). Registering a class again
// does nothing; registering another class under a name already taken raises
// System::Exception. A module that is unloaded unregisters its classes.
void RegisterClass(const TClassInfo& cls);
void UnregisterClass(const TClassInfo& cls);
const TClassInfo* FindClass(std::string_view name);

// Registers T at static initialisation of the unit that defines it:
//   static const TypInfo::TClassRegistration<TMyComponent> registration;
// The registration is withdrawn when the object is destroyed (module unload).
template <class T>
struct TClassRegistration {
  TClassRegistration() { RegisterClass(T::StaticClass()); }
  ~TClassRegistration() { UnregisterClass(T::StaticClass()); }
  TClassRegistration(const TClassRegistration&) = delete;
  TClassRegistration& operator=(const TClassRegistration&) = delete;
};

// --- Type information of property types -------------------------------------

PTypeInfo IntegerTypeInfo();  // "Integer", signed 32-bit
PTypeInfo BooleanTypeInfo();  // "Boolean", enumeration False, True
PTypeInfo StringTypeInfo();   // "string", 16-bit

// Builders for a unit's own enumerations, sets and event types, used in the
// unit's VorlaneTypeInfo overloads (found by argument-dependent lookup):
//
//   PTypeInfo VorlaneTypeInfo(TEventMode*) {
//     static const char* const names[] = {"emPolling", "emThreshold"};
//     static const TTypeInfo info = EnumType("TEventMode", names);
//     return &info;
//   }
template <std::size_t N>
constexpr TTypeInfo EnumType(const char* name, const char* const (&names)[N]) {
  TTypeInfo t;
  t.Kind = TTypeKind::tkEnumeration;
  t.Name = name;
  t.Data.OrdType = TOrdType::otUByte;
  t.Data.MinValue = 0;
  t.Data.MaxValue = static_cast<std::int64_t>(N) - 1;
  t.Data.EnumNames = names;
  return t;
}

constexpr TTypeInfo SetType(const char* name, PTypeInfo elementType, TOrdType ordType) {
  TTypeInfo t;
  t.Kind = TTypeKind::tkSet;
  t.Name = name;
  t.Data.OrdType = ordType;
  t.Data.CompType = elementType;
  return t;
}

template <class Event>
TTypeInfo MethodType(const char* name) {
  TTypeInfo t;
  t.Kind = TTypeKind::tkMethod;
  t.Name = name;
  t.Data.Signature = Closure::SignatureId<typename Event::Signature>();
  return t;
}

namespace detail {
template <class T>
concept ClosureType = requires(const T& t) {
  typename T::Signature;
  { t.GetMethod() } -> std::same_as<TMethod>;
};
template <class T>
concept SetValue = requires(const T& t) {
  typename T::Element;
  t.Bits();
};
template <class C, class V>
C ClassOf(V C::*);
template <class M>
struct MethodSignature;
template <class C, class... A>
struct MethodSignature<void (C::*)(A...)> {
  using type = void(A...);
};
template <class H>
struct HandlerTraits;
template <class C, class M>
struct HandlerTraits<void (C::*)(M&)> {
  using Class = C;
  using Record = M;
};
}  // namespace detail

template <class T>
PTypeInfo TypeInfo() {
  if constexpr (std::is_same_v<T, std::int32_t>) {
    return IntegerTypeInfo();
  } else if constexpr (std::is_same_v<T, bool>) {
    return BooleanTypeInfo();
  } else if constexpr (std::is_same_v<T, String>) {
    return StringTypeInfo();
  } else if constexpr (std::is_pointer_v<T> &&
                       std::is_base_of_v<TObject, std::remove_pointer_t<T>>) {
    return std::remove_pointer_t<T>::StaticClass().TypeInfo();
  } else {
    return VorlaneTypeInfo(static_cast<T*>(nullptr));
  }
}

// --- Declaring published members --------------------------------------------

struct TStorage {
  bool Stored = true;
  bool HasDefault = false;
  std::int64_t Default = 0;
};
// Stored and written only when unlike `value`.
template <class V>
constexpr TStorage Default(V value) {
  if constexpr (detail::SetValue<V>)
    return {true, true, static_cast<std::int64_t>(value.Bits())};
  else
    return {true, true, static_cast<std::int64_t>(value)};
}
// Stored, with no default: an ordinal is always written, a string when not empty.
inline constexpr TStorage NoDefault{true, false, 0};
// Never written to form data.
inline constexpr TStorage NotStored{false, false, 0};

namespace detail {
template <class V>
std::int64_t ToOrd(const V& v) {
  if constexpr (SetValue<V>)
    return static_cast<std::int64_t>(v.Bits());
  else
    return static_cast<std::int64_t>(v);
}
template <class V>
V FromOrd(std::int64_t o) {
  if constexpr (SetValue<V>)
    return V::FromBits(static_cast<typename V::WordType>(o));
  else if constexpr (std::is_same_v<V, bool>)
    return o != 0;
  else
    return static_cast<V>(o);
}
template <auto Setter, class C, class V>
void Write(C* object, V value) {
  if constexpr (std::is_member_object_pointer_v<decltype(Setter)>)
    object->*Setter = std::move(value);
  else
    (object->*Setter)(std::move(value));
}
}  // namespace detail

template <auto Getter, auto Setter>
TPropInfo Property(const char* name, TStorage storage) {
  using C = decltype(detail::ClassOf(Getter));
  using V = std::remove_cvref_t<std::invoke_result_t<decltype(Getter), C*>>;
  TPropInfo p;
  p.PropType = TypeInfo<V>();
  p.Name = name;
  p.Stored = storage.Stored;
  p.HasDefault = storage.HasDefault;
  p.Default = storage.Default;
  if constexpr (std::is_same_v<V, String>) {
    p.GetStr = [](TObject* o) -> String { return std::invoke(Getter, static_cast<C*>(o)); };
    p.SetStr = [](TObject* o, const String& v) { detail::Write<Setter>(static_cast<C*>(o), v); };
  } else if constexpr (detail::ClosureType<V>) {
    p.GetMethod = [](TObject* o) { return std::invoke(Getter, static_cast<C*>(o)).GetMethod(); };
    p.SetMethod = [](TObject* o, TMethod m) {
      // V may be an event type derived from TClosure: fill its TClosure part.
      using Base = Closure::TClosure<typename V::Signature>;
      V value;
      static_cast<Base&>(value) = Base::FromMethod(m);
      detail::Write<Setter>(static_cast<C*>(o), std::move(value));
    };
  } else if constexpr (std::is_pointer_v<V>) {
    p.GetObj = [](TObject* o) -> TObject* { return std::invoke(Getter, static_cast<C*>(o)); };
    p.SetObj = [](TObject* o, TObject* v) {
      detail::Write<Setter>(static_cast<C*>(o), System::As<std::remove_pointer_t<V>>(v));
    };
  } else {
    p.GetOrd = [](TObject* o) { return detail::ToOrd(std::invoke(Getter, static_cast<C*>(o))); };
    p.SetOrd = [](TObject* o, std::int64_t v) {
      detail::Write<Setter>(static_cast<C*>(o), detail::FromOrd<V>(v));
    };
  }
  return p;
}

template <auto Method>
TMethodInfo PublishedMethod(const char* name) {
  using C = decltype(detail::ClassOf(Method));
  using Sig = typename detail::MethodSignature<decltype(Method)>::type;
  return {name, Closure::SignatureId<Sig>(), [](TObject* o) {
            return Closure::TClosure<Sig>::template Bind<Method>(static_cast<C*>(o)).GetMethod();
          }};
}

template <auto Handler>
TMessageEntry MessageHandler(std::uint32_t msg) {
  using H = detail::HandlerTraits<decltype(Handler)>;
  return {
      msg, [](TObject* o, void* message) {
        (static_cast<typename H::Class*>(o)->*Handler)(*static_cast<typename H::Record*>(message));
      }};
}

}  // namespace vorlane::TypInfo
