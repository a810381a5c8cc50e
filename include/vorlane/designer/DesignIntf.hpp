// Designer services: the component palette, the registries of property editors
// and property mappers, and the interfaces that the object inspector and the
// property editors share.
//
// A design-time unit registers its components and editors in its Register routine:
//
//   void Register() {
//     DesignIntf::RegisterComponents(u"Samples", {&TMyComponent::StaticClass()});
//     DesignIntf::RegisterPropertyEditor(TypInfo::TypeInfo<Integer>(),
//     &TMyComponent::StaticClass(),
//                                        u"Port", DesignEditors::EditorClassOf<TPortProperty>());
//     DesignIntf::RegisterPropertyMapper(&MapMyProperties);
//   }
//
// Which editor a property gets is decided by DesignEditors::GetEditorClass (a
// mapper's answer first, then the most specific registration, then the default
// editor for the property's kind); see there.
//
// The registries belong to the designer and are used on its GUI thread; they are
// guarded by a lock all the same, so that a package may register from elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/Closure.hpp"
#include "vorlane/runtime/Set.hpp"
#include "vorlane/runtime/System.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::DesignEditors {
class TPropertyEditor;
}

namespace vorlane::DesignIntf {

using System::String;

// --- Errors -----------------------------------------------------------------------

// A property value or a registration that the designer cannot accept: text that
// does not fit the property ("'abc' is not a valid integer value for property
// 'Controller'"), an unknown property, a read-only property, a bad registration.
class EPropertyError : public System::Exception {
 public:
  using Exception::Exception;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

// --- Property attributes ----------------------------------------------------------

enum class TPropertyAttribute : std::uint8_t {
  paValueList,              // GetValues offers a list of values to pick from
  paSubProperties,          // GetProperties gives nested properties (sub-rows)
  paMultiSelect,            // shown when several components are selected
  paSortList,               // the value list should be shown sorted
  paReadOnly,               // the value text cannot be typed
  paRevertable,             // the value can be reverted to its inherited one
  paVolatileSubProperties,  // the sub-properties change with the value
};
using TPropertyAttributes = System::TSet<TPropertyAttribute, std::uint16_t>;
inline constexpr TPropertyAttribute paValueList = TPropertyAttribute::paValueList;
inline constexpr TPropertyAttribute paSubProperties = TPropertyAttribute::paSubProperties;
inline constexpr TPropertyAttribute paMultiSelect = TPropertyAttribute::paMultiSelect;
inline constexpr TPropertyAttribute paSortList = TPropertyAttribute::paSortList;
inline constexpr TPropertyAttribute paReadOnly = TPropertyAttribute::paReadOnly;
inline constexpr TPropertyAttribute paRevertable = TPropertyAttribute::paRevertable;
inline constexpr TPropertyAttribute paVolatileSubProperties =
    TPropertyAttribute::paVolatileSubProperties;

// Names of the attributes in a set, "paValueList, paSortList", for messages and tools.
String AttributeNames(TPropertyAttributes attributes);

// --- Reference-counted interfaces -------------------------------------------------

// An owning reference to a reference-counted interface: copying adds a reference,
// destruction releases one, and the object frees itself on the last release.
// Wrapping a new object takes the first reference: TInterfacePtr<IProperty>(new X(...)).
template <class T>
class TInterfacePtr {
 public:
  TInterfacePtr() = default;
  TInterfacePtr(std::nullptr_t) {}
  explicit TInterfacePtr(T* object) : FObject(object) {
    if (FObject != nullptr) FObject->AddRef();
  }
  TInterfacePtr(const TInterfacePtr& other) : TInterfacePtr(other.FObject) {}
  TInterfacePtr(TInterfacePtr&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> TInterfacePtr(const TInterfacePtr<U>& other)
      : TInterfacePtr(other.Get()) {}
  ~TInterfacePtr() {
    if (FObject != nullptr) FObject->Release();
  }
  TInterfacePtr& operator=(TInterfacePtr other) noexcept {
    std::swap(FObject, other.FObject);
    return *this;
  }

  T* Get() const { return FObject; }
  T* operator->() const { return FObject; }
  T& operator*() const { return *FObject; }
  explicit operator bool() const { return FObject != nullptr; }
  friend bool operator==(const TInterfacePtr& a, const TInterfacePtr& b) {
    return a.FObject == b.FObject;
  }

 private:
  T* FObject = nullptr;
};

class IProperty;
using IPropertyPtr = TInterfacePtr<IProperty>;

// Callbacks bound to an object: one value of a value list, one sub-property.
using TGetStrProc = Closure::TClosure<void(const String& value)>;
using TGetPropProc = Closure::TClosure<void(const IPropertyPtr& property)>;

// A property editor as the designer sees it. Every editor object is reference
// counted; it starts with no reference and frees itself on its last Release.
class IProperty {
 public:
  virtual void AddRef() noexcept = 0;
  virtual void Release() noexcept = 0;

  virtual TPropertyAttributes GetAttributes() = 0;
  virtual void GetProperties(TGetPropProc proc) = 0;
  virtual String GetValue() = 0;
  virtual void GetValues(TGetStrProc proc) = 0;
  virtual void SetValue(const String& value) = 0;
  // The name the inspector shows: the property's name, or an element's name.
  virtual String GetName() = 0;
  virtual TypInfo::PTypeInfo GetPropType() = 0;

 protected:
  ~IProperty() = default;
};

// The designer as the editors see it: the root component being designed (whose
// published methods are the event handlers offered), and the notice that a value
// was changed through an editor.
class IDesigner {
 public:
  virtual Classes::TComponent* GetRoot() = 0;
  virtual void Modified() = 0;

 protected:
  ~IDesigner() = default;
};

// --- Editor classes ---------------------------------------------------------------

// One object of the selection with the property being edited on it.
struct TInstProp {
  Classes::TPersistent* Instance = nullptr;
  const TypInfo::TPropInfo* PropInfo = nullptr;
};
using TInstPropList = std::vector<TInstProp>;

// A class reference to a property editor class: its class description and its
// constructor for a designer and a selection. The empty value means "no class"
// (a mapper that does not answer). Two references are equal when they name the
// same class. Made with DesignEditors::EditorClassOf<T>().
class TPropertyEditorClass {
 public:
  using TFactory = DesignEditors::TPropertyEditor* (*)(IDesigner* designer,
                                                       const TInstPropList& props);

  constexpr TPropertyEditorClass() = default;
  constexpr TPropertyEditorClass(std::nullptr_t) {}
  TPropertyEditorClass(const TypInfo::TClassInfo& cls, TFactory create)
      : FClass(&cls), FCreate(create) {}

  explicit operator bool() const { return FClass != nullptr; }
  const TypInfo::TClassInfo* ClassInfo() const { return FClass; }
  // The class name ("TIntegerProperty"); empty for no class.
  String Name() const;
  // A new editor, not yet referenced: wrap it in an IPropertyPtr.
  DesignEditors::TPropertyEditor* Create(IDesigner* designer, const TInstPropList& props) const;

  friend bool operator==(const TPropertyEditorClass& a, const TPropertyEditorClass& b) {
    return a.FClass == b.FClass;
  }

 private:
  const TypInfo::TClassInfo* FClass = nullptr;
  TFactory FCreate = nullptr;
};

// --- Component palette ----------------------------------------------------------

// Puts component classes on a palette page, creating the page when it is new, and
// registers them for form reading (TypInfo::RegisterClass). Pages keep the order in
// which they were first named, classes the order in which they were put on the
// page; putting a class on a page again changes nothing. Raises EPropertyError for
// an empty page name, a null class or a class that is not a component class, before
// anything is registered.
void RegisterComponents(const String& page, std::span<const TypInfo::TClassInfo* const> classes);
void RegisterComponents(const String& page,
                        std::initializer_list<const TypInfo::TClassInfo*> classes);

struct TPalettePage {
  String Name;
  std::vector<const TypInfo::TClassInfo*> Classes;
};
// The palette as it stands, pages and classes in order.
std::vector<TPalettePage> GetPalette();

// --- Property editors and mappers -------------------------------------------------

// Binds an editor class to properties of type `propertyType` (for a class type:
// that class or a descendant) named `propertyName` (exact, case-sensitive; empty:
// any name) on objects of class `componentClass` or a descendant (nullptr: any
// class). Raises EPropertyError for a null type or an empty editor class.
void RegisterPropertyEditor(TypInfo::PTypeInfo propertyType,
                            const TypInfo::TClassInfo* componentClass, const String& propertyName,
                            TPropertyEditorClass editorClass);

struct TPropertyEditorRegistration {
  TypInfo::PTypeInfo PropertyType = nullptr;
  const TypInfo::TClassInfo* ComponentClass = nullptr;
  String PropertyName;
  TPropertyEditorClass EditorClass;
};
// Every registration made, in the order made.
std::vector<TPropertyEditorRegistration> GetPropertyEditorRegistrations();

// A property mapper: given the object being inspected and one of its properties,
// names the editor class to use for it, or answers none (the empty class).
using TPropertyMapperFunc = TPropertyEditorClass (*)(Classes::TPersistent* object,
                                                     const TypInfo::TPropInfo* propInfo);
// Raises EPropertyError for a null mapper.
void RegisterPropertyMapper(TPropertyMapperFunc mapper);
// Every mapper registered, in the order registered.
std::vector<TPropertyMapperFunc> GetPropertyMappers();

// The first answer of the mappers, asked from the last registered to the first;
// the empty class when none answers.
TPropertyEditorClass MapPropertyEditor(Classes::TPersistent* object,
                                       const TypInfo::TPropInfo* propInfo);

// The most specific registration that matches a property of `object`, or the empty
// class. A registration matches when the property's type is its type (or, for class
// types, a descendant of it), the object's class is its component class or a
// descendant (or it names none), and the property's name is its name (or it names
// none). Among matches, compared in this order, the more specific wins:
//   1. an exact type match over a match through a class type's descendant;
//   2. a registration that names the property over one that does not;
//   3. the deeper component class (a descendant over its ancestor; any over none);
//   4. the deeper registered class type.
// Equally specific registrations: the one made last wins, so a later package can
// replace an editor.
TPropertyEditorClass FindRegisteredEditor(Classes::TPersistent* object,
                                          const TypInfo::TPropInfo* propInfo);

// Forgets every palette page, editor registration and mapper (for tests, and for a
// designer that reloads its packages). Classes registered for form reading stay.
void ClearRegistrations();

}  // namespace vorlane::DesignIntf
