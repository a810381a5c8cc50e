// The object inspector: the rows a designer shows for the selected objects, one
// per published property, with sub-rows for sub-objects and set elements, and
// editing through the property editors.
//
//   Inspector::TObjectInspector inspector({joystick}, form);
//   inspector.SetValue(u"Controller", u"2");            // through the editor's SetValue
//   for (const auto& row : inspector.GetRows()) ...     // Name, Value, Attributes, SubRows
//   std::fputs(Inspector::FormatRows(inspector.GetRows()).c_str(), stdout);
//
// Choice of editor, for each property (DesignEditors::GetEditorClass):
//   1. a property mapper that answers wins (mappers are asked from the last
//      registered to the first; a mapper that answers none passes);
//   2. otherwise the most specific RegisterPropertyEditor registration that
//      matches (exact type over an ancestor class type, a named property over any
//      name, a deeper component class over a shallower one; a tie goes to the later
//      registration);
//   3. otherwise the default editor for the property's kind
//      (DesignEditors::DefaultEditorClass).
// So when a mapper and a registration both name an editor for one property, the
// mapper's editor is used.
//
// Rows. The properties of the selection in published order (ancestors' first):
// when several objects are selected, only the properties they all have and whose
// editor allows paMultiSelect; values are those of the first object. A row whose
// editor has paSubProperties gets sub-rows from the editor's GetProperties, one
// level deeper, expanded the same way, except a sub-object already being shown on
// the way down (a cycle) and anything deeper than MaxDepth.
//
// The editors the inspector hands out refer to it as their designer: they must
// not outlive it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vorlane/designer/DesignEditors.hpp"
#include "vorlane/designer/DesignIntf.hpp"
#include "vorlane/runtime/Classes.hpp"

namespace vorlane::Inspector {

using System::String;

struct TInspectorRow {
  String Name;   // the editor's GetName: a property's or a set element's name
  String Path;   // dotted from the top: "Capabilities.MaxX", "PressedButtons.joButton3"
  String Value;  // the editor's GetValue; empty when it raised (see Error)
  // The message of a System::Exception raised while reading the value or the
  // sub-rows; empty when none was. Anything else that is raised passes.
  String Error;
  DesignIntf::TPropertyAttributes Attributes;
  int Depth = 0;       // 0 for the selection's own properties
  String EditorClass;  // the editor's class name, "TIntegerProperty"
  DesignIntf::IPropertyPtr Editor;
  std::vector<TInspectorRow> SubRows;
};

class TObjectInspector final : public DesignIntf::IDesigner {
 public:
  static constexpr int MaxDepth = 16;

  // Inspects `selection` (one or more objects; EPropertyError for none or a nil
  // one). `root` is the component whose published methods are offered as event
  // handlers; by default the first selected object's top owner, when it is a
  // component.
  explicit TObjectInspector(std::vector<Classes::TPersistent*> selection,
                            Classes::TComponent* root = nullptr);
  TObjectInspector(const TObjectInspector&) = delete;
  TObjectInspector& operator=(const TObjectInspector&) = delete;

  Classes::TComponent* GetRoot() override;
  // Counts the values changed through editors.
  void Modified() override { ++FModifiedCount; }
  int GetModifiedCount() const { return FModifiedCount; }

  const std::vector<Classes::TPersistent*>& GetSelection() const { return FSelection; }

  // New editors for the selection's properties, in row order.
  std::vector<DesignIntf::IPropertyPtr> GetProperties();
  // The editor at a dotted path ("Capabilities.MaxX"); each name matches exactly,
  // else the one name equal to it ignoring letter case. Null when there is none.
  DesignIntf::IPropertyPtr FindProperty(std::u16string_view path);
  // As FindProperty, but raises EPropertyError "Unknown property 'X' of TJoystick"
  // naming the first part of the path that was not found.
  DesignIntf::IPropertyPtr GetProperty(std::u16string_view path);
  // GetProperty(path)->SetValue(value).
  void SetValue(std::u16string_view path, const String& value);
  // The value list of the editor at `path`, in the order the editor gives it.
  std::vector<String> GetValues(std::u16string_view path);

  // Every row, reading every value now (each read is a fresh getter call).
  std::vector<TInspectorRow> GetRows(int maxDepth = MaxDepth);

 private:
  std::vector<Classes::TPersistent*> FSelection;
  Classes::TComponent* FRoot;
  int FModifiedCount = 0;
};

// Every row of the tree in display order, each before its sub-rows.
std::vector<const TInspectorRow*> Flatten(const std::vector<TInspectorRow>& rows);

// The rows as UTF-8 text, one line each, two spaces of indent per depth:
//   Name = Value        a value (possibly empty: "Name = ")
//   Name ! Message      a value whose read raised
// Control characters in names, values and messages are shown as \n, \r, \t or \xNN,
// so that every row stays on its line.
std::string FormatRows(const std::vector<TInspectorRow>& rows);

}  // namespace vorlane::Inspector
