// Property editors: the framework's base editor and the standard editors for each
// kind of published property, and the choice of an editor for a property.
//
// An editor works on one property of a selection of one or more objects (the same
// property of each). It reads the value of the first object and writes the value
// to every object of the selection, each time through the property's getter and
// setter; it keeps no copy of a value. Reading lets whatever the getter raises
// pass; writing parses the text first and raises EPropertyError for text that does
// not fit, naming the text and the property, before any object is touched.
//
// A design-time unit derives its own editors from these and registers them:
//
//   class TPortProperty : public DesignEditors::TIntegerProperty {
//    public:
//     using TIntegerProperty::TIntegerProperty;
//     static const TypInfo::TClassInfo& StaticClass();
//     const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
//     DesignIntf::TPropertyAttributes GetAttributes() override { return {DesignIntf::paValueList};
//     } void GetValues(DesignIntf::TGetStrProc proc) override { proc(u"80"); proc(u"443"); }
//   };
//   DesignIntf::RegisterPropertyEditor(..., DesignEditors::EditorClassOf<TPortProperty>());
#pragma once

#include <cstdint>
#include <span>

#include "vorlane/designer/DesignIntf.hpp"
#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/System.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::DesignEditors {

using DesignIntf::EPropertyError;
using DesignIntf::IDesigner;
using DesignIntf::TGetPropProc;
using DesignIntf::TGetStrProc;
using DesignIntf::TInstPropList;
using DesignIntf::TPropertyAttributes;
using System::String;
using TypInfo::GetTypeData;
using TypInfo::PTypeInfo;

// The base of every property editor. It implements IProperty; the designer holds
// editors through IPropertyPtr, and the last release frees the editor.
class TPropertyEditor : public System::TObject, public DesignIntf::IProperty {
 public:
  // `props` holds one entry per selected object, at least one, each with an object
  // and the property's information; raises EPropertyError otherwise. `designer`
  // may be null (then GetRoot is the first object's top owner, if it is a component).
  TPropertyEditor(IDesigner* designer, const TInstPropList& props);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  void AddRef() noexcept override;
  void Release() noexcept override;

  // The operations the designer calls, in the framework's slot order. The defaults:
  // {paMultiSelect, paRevertable}; no sub-properties; "(unknown)"; no value list;
  // SetValue raises EPropertyError (this property cannot be set from text).
  TPropertyAttributes GetAttributes() override;
  void GetProperties(TGetPropProc proc) override;
  String GetValue() override;
  void GetValues(TGetStrProc proc) override;
  void SetValue(const String& value) override;
  // The property's published name.
  String GetName() override;
  // The type information of the edited property.
  PTypeInfo GetPropType() override;

  // The selection: GetComponent(i) is the i-th selected object, 0 <= i < GetPropCount();
  // an index out of range raises EPropertyError.
  int GetPropCount() const { return static_cast<int>(FPropList.size()); }
  Classes::TPersistent* GetComponent(int index) const;
  const TypInfo::TPropInfo* GetPropInfo() const { return FPropList.front().PropInfo; }
  const TInstPropList& GetPropList() const { return FPropList; }
  IDesigner* GetDesigner() const { return FDesigner; }
  // The component whose published methods serve as event handlers.
  Classes::TComponent* GetRoot() const;

 protected:
  ~TPropertyEditor() override = default;

  // Reading the first selected object (or the one at `index`) through the getter;
  // what the getter raises passes. A property with no getter of that kind raises
  // EPropertyError.
  std::int64_t GetOrdValue() const { return GetOrdValueAt(0); }
  std::int64_t GetOrdValueAt(int index) const;
  String GetStrValue() const { return GetStrValueAt(0); }
  String GetStrValueAt(int index) const;
  System::TObject* GetObjValue() const { return GetObjValueAt(0); }
  System::TObject* GetObjValueAt(int index) const;
  TypInfo::TMethod GetMethodValue() const { return GetMethodValueAt(0); }
  TypInfo::TMethod GetMethodValueAt(int index) const;

  // Writing every selected object through its setter, then telling the designer.
  // A property with no setter of that kind raises EPropertyError first.
  void SetOrdValue(std::int64_t value);
  void SetStrValue(const String& value);
  void SetObjValue(System::TObject* value);
  void SetMethodValue(TypInfo::TMethod value);

  // The property's name and type name for messages: 'Controller'.
  // Appends to a string of its own: g++ 12 at -O3 misreads `literal + temporary`
  // as an overlapping copy (-Wrestrict), here and in every includer.
  String QuotedName() {
    String text(u"'");
    text += GetName();
    text += u'\'';
    return text;
  }

 private:
  void CheckIndex(int index) const;

  IDesigner* FDesigner;
  TInstPropList FPropList;
  int FRefCount = 0;
};

// Integer properties: decimal text. SetValue takes decimal (optionally signed) or
// $hexadecimal text within the type's range.
class TIntegerProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  String GetValue() override;
  void SetValue(const String& value) override;
};

// Enumeration properties: the element's name; the value list is every name in
// ordinal order. SetValue takes a name: an exact match, else the one name that
// matches ignoring letter case.
class TEnumProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  TPropertyAttributes GetAttributes() override;  // + paValueList, paSortList
  String GetValue() override;
  void GetValues(TGetStrProc proc) override;
  void SetValue(const String& value) override;
};

// Boolean properties: "False" or "True", with that value list.
class TBooleanProperty : public TEnumProperty {
 public:
  using TEnumProperty::TEnumProperty;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  String GetValue() override;
  void GetValues(TGetStrProc proc) override;
};

// Set properties: "[a,b]" with the element names in ordinal order, "[]" when empty.
// Sub-properties: one TSetElementProperty per element of the element type, lowest
// first. SetValue takes the same form, blanks allowed around names.
class TSetProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  TPropertyAttributes GetAttributes() override;  // + paSubProperties
  void GetProperties(TGetPropProc proc) override;
  String GetValue() override;
  void SetValue(const String& value) override;
};

// One element of a set property, made by a set editor for its sub-rows: the name
// is the element's name, the value "True" when the element is in the set, else
// "False". SetValue includes or excludes the element in every selected object's set.
class TSetElementProperty : public TPropertyEditor {
 public:
  // The element editor for the element of ordinal `element` of `parent`'s set
  // property, on `parent`'s selection and designer. The editor does not refer to
  // `parent` afterwards.
  TSetElementProperty(TPropertyEditor* parent, int element);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  TPropertyAttributes GetAttributes() override;  // {paMultiSelect, paValueList, paSortList}
  String GetValue() override;
  void GetValues(TGetStrProc proc) override;
  void SetValue(const String& value) override;
  String GetName() override;

  int GetElement() const { return FElement; }

 private:
  int FElement;
};

// String properties: the text as it is.
class TStringProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  String GetValue() override;
  void SetValue(const String& value) override;
};

// Sub-object properties (a class-typed property whose object is not a component):
// the value is "(TClassName)", empty for nil; the sub-properties are the object's
// published properties, each with the editor GetEditorClass chooses for it. The
// object itself cannot be replaced from text.
class TClassProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  TPropertyAttributes GetAttributes() override;  // {paMultiSelect, paSubProperties, paReadOnly}
  void GetProperties(TGetPropProc proc) override;
  String GetValue() override;
};

// Properties that refer to a component: the value is the component's name (empty
// for nil), the value list the names of the root's components of the property's
// class, and SetValue finds the component by name among them ("" sets nil).
class TComponentProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  TPropertyAttributes GetAttributes() override;  // + paValueList, paSortList
  String GetValue() override;
  void GetValues(TGetStrProc proc) override;
  void SetValue(const String& value) override;
};

// Event properties: the name of the root's published method that the handler is
// bound to, empty when unassigned, "(assigned)" for a handler that is not one of
// the root's published methods. The value list is the root's published methods that
// fit the event; SetValue binds one of them by name, "" unassigns.
class TMethodProperty : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  TPropertyAttributes GetAttributes() override;  // + paValueList, paSortList
  String GetValue() override;
  void GetValues(TGetStrProc proc) override;
  void SetValue(const String& value) override;
};

// The class reference of editor class T, for registrations and mapper answers.
// T needs the constructor (IDesigner*, const TInstPropList&) and a StaticClass().
template <class T>
DesignIntf::TPropertyEditorClass EditorClassOf() {
  return DesignIntf::TPropertyEditorClass(
      T::StaticClass(), [](IDesigner* designer, const TInstPropList& props) -> TPropertyEditor* {
        return new T(designer, props);
      });
}

// The default editor for a property of this type: TBooleanProperty for Boolean,
// else by kind: TIntegerProperty, TEnumProperty, TSetProperty, TStringProperty,
// TComponentProperty (a component class), TClassProperty (any other class),
// TMethodProperty; TPropertyEditor for an unknown kind.
DesignIntf::TPropertyEditorClass DefaultEditorClass(PTypeInfo type);

// The editor class for property `propInfo` of `object`. The choice, first that answers:
//   1. a property mapper (DesignIntf::MapPropertyEditor: the last registered asked first);
//   2. the most specific RegisterPropertyEditor registration (DesignIntf::FindRegisteredEditor);
//   3. the default editor for the property's type (DefaultEditorClass).
// A mapper that answers therefore wins over a registration for the same property.
DesignIntf::TPropertyEditorClass GetEditorClass(Classes::TPersistent* object,
                                                const TypInfo::TPropInfo* propInfo);

// Calls `proc` with a new editor for each published property that every object of
// `selection` has (same name and type), in the published order of the first object,
// each editor chosen by GetEditorClass for the first object. Properties with no
// getter are left out, and so are, when more than one object is selected, those
// whose editor lacks paMultiSelect. An empty selection gives nothing; a null
// object raises EPropertyError.
void GetComponentProperties(std::span<Classes::TPersistent* const> selection, IDesigner* designer,
                            TGetPropProc proc);

}  // namespace vorlane::DesignEditors
