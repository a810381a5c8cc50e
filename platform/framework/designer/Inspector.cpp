// The object inspector: rows, paths and editing through property editors.
#include "vorlane/designer/Inspector.hpp"

#include <algorithm>

namespace vorlane::Inspector {

using Classes::TComponent;
using Classes::TPersistent;
using DesignEditors::TPropertyEditor;
using DesignIntf::EPropertyError;
using DesignIntf::IPropertyPtr;
using DesignIntf::TGetPropProc;
using DesignIntf::TGetStrProc;
using System::SameText;

namespace {

std::vector<IPropertyPtr> SubProperties(const IPropertyPtr& editor) {
  std::vector<IPropertyPtr> result;
  auto collect = [&](const IPropertyPtr& p) { result.push_back(p); };
  editor->GetProperties(TGetPropProc::Of(collect));
  return result;
}

// The editor named `name`: an exact match, else the one case-insensitive match.
IPropertyPtr FindByName(const std::vector<IPropertyPtr>& editors, std::u16string_view name) {
  for (const IPropertyPtr& e : editors)
    if (e->GetName() == name) return e;
  IPropertyPtr found;
  for (const IPropertyPtr& e : editors) {
    if (!SameText(e->GetName(), name)) continue;
    if (found) return nullptr;  // ambiguous
    found = e;
  }
  return found;
}

String EditorClassName(const IPropertyPtr& editor) {
  auto* object = dynamic_cast<System::TObject*>(editor.Get());
  return object != nullptr ? object->ClassName() : String();
}

// The object a class-typed property of the editor's first object refers to;
// nullptr for other properties.
System::TObject* SubObject(const IPropertyPtr& editor) {
  auto* e = dynamic_cast<TPropertyEditor*>(editor.Get());
  if (e == nullptr || e->GetPropType()->Kind != TypInfo::TTypeKind::tkClass) return nullptr;
  const TypInfo::TPropInfo* info = e->GetPropInfo();
  return info->GetObj != nullptr ? info->GetObj(e->GetComponent(0)) : nullptr;
}

void BuildRow(const IPropertyPtr& editor, const String& parentPath, int depth, int maxDepth,
              std::vector<System::TObject*>& chain, TInspectorRow& row) {
  row.Editor = editor;
  row.Name = editor->GetName();
  row.Path = parentPath.empty() ? row.Name : parentPath + u"." + row.Name;
  row.Depth = depth;
  row.EditorClass = EditorClassName(editor);
  row.Attributes = editor->GetAttributes();
  try {
    row.Value = editor->GetValue();
  } catch (const System::Exception& e) {
    row.Error = e.GetMessage();
  }
  if (!row.Attributes.Contains(DesignIntf::paSubProperties) || depth >= maxDepth) return;
  System::TObject* object = nullptr;
  std::vector<IPropertyPtr> subs;
  try {
    object = SubObject(editor);
    if (object != nullptr && std::find(chain.begin(), chain.end(), object) != chain.end())
      return;  // already shown further up: a cycle
    subs = SubProperties(editor);
  } catch (const System::Exception& e) {
    if (row.Error.empty()) row.Error = e.GetMessage();
    return;
  }
  if (object != nullptr) chain.push_back(object);
  row.SubRows.resize(subs.size());
  for (std::size_t i = 0; i < subs.size(); ++i)
    BuildRow(subs[i], row.Path, depth + 1, maxDepth, chain, row.SubRows[i]);
  if (object != nullptr) chain.pop_back();
}

void FlattenInto(const std::vector<TInspectorRow>& rows, std::vector<const TInspectorRow*>& out) {
  for (const TInspectorRow& row : rows) {
    out.push_back(&row);
    FlattenInto(row.SubRows, out);
  }
}

}  // namespace

TObjectInspector::TObjectInspector(std::vector<TPersistent*> selection, TComponent* root)
    : FSelection(std::move(selection)), FRoot(root) {
  if (FSelection.empty()) throw EPropertyError(u"The inspector needs at least one object.");
  if (std::find(FSelection.begin(), FSelection.end(), nullptr) != FSelection.end())
    throw EPropertyError(u"The inspector's selection holds a nil object.");
}

TComponent* TObjectInspector::GetRoot() {
  if (FRoot != nullptr) return FRoot;
  auto* component = dynamic_cast<TComponent*>(FSelection.front());
  while (component != nullptr && component->GetOwner() != nullptr)
    component = component->GetOwner();
  return component;
}

std::vector<IPropertyPtr> TObjectInspector::GetProperties() {
  std::vector<IPropertyPtr> result;
  auto collect = [&](const IPropertyPtr& p) { result.push_back(p); };
  DesignEditors::GetComponentProperties(FSelection, this, TGetPropProc::Of(collect));
  return result;
}

IPropertyPtr TObjectInspector::FindProperty(std::u16string_view path) {
  IPropertyPtr current;
  std::vector<IPropertyPtr> candidates = GetProperties();
  while (true) {
    const std::size_t dot = path.find(u'.');
    current = FindByName(candidates, path.substr(0, dot));
    if (!current || dot == std::u16string_view::npos) return current;
    path.remove_prefix(dot + 1);
    candidates = SubProperties(current);
  }
}

IPropertyPtr TObjectInspector::GetProperty(std::u16string_view path) {
  if (IPropertyPtr found = FindProperty(path)) return found;
  // Name the first part that is missing, and where it was looked for.
  String owner = FSelection.front()->ClassName();
  std::vector<IPropertyPtr> candidates = GetProperties();
  std::u16string_view rest = path;
  while (true) {
    const std::size_t dot = rest.find(u'.');
    const std::u16string_view name = rest.substr(0, dot);
    IPropertyPtr part = FindByName(candidates, name);
    if (!part || dot == std::u16string_view::npos)
      throw EPropertyError(u"Unknown property '" + String(name) + u"' of " + owner);
    owner = String(path.substr(0, path.size() - rest.size() + dot));
    rest.remove_prefix(dot + 1);
    candidates = SubProperties(part);
  }
}

void TObjectInspector::SetValue(std::u16string_view path, const String& value) {
  GetProperty(path)->SetValue(value);
}

std::vector<String> TObjectInspector::GetValues(std::u16string_view path) {
  std::vector<String> values;
  auto collect = [&](const String& v) { values.push_back(v); };
  GetProperty(path)->GetValues(TGetStrProc::Of(collect));
  return values;
}

std::vector<TInspectorRow> TObjectInspector::GetRows(int maxDepth) {
  std::vector<IPropertyPtr> editors = GetProperties();
  std::vector<TInspectorRow> rows(editors.size());
  std::vector<System::TObject*> chain{FSelection.front()};
  for (std::size_t i = 0; i < editors.size(); ++i)
    BuildRow(editors[i], String(), 0, maxDepth, chain, rows[i]);
  return rows;
}

std::vector<const TInspectorRow*> Flatten(const std::vector<TInspectorRow>& rows) {
  std::vector<const TInspectorRow*> out;
  FlattenInto(rows, out);
  return out;
}

namespace {

// Keeps one row on one line: control characters become \n, \r, \t or \xNN.
std::string OneLine(const String& text) {
  std::string utf8 = System::StringToUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7F) {
      static constexpr char hex[] = "0123456789ABCDEF";
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string FormatRows(const std::vector<TInspectorRow>& rows) {
  std::string text;
  for (const TInspectorRow* row : Flatten(rows)) {
    text.append(static_cast<std::size_t>(row->Depth) * 2, ' ');
    text += OneLine(row->Name);
    text += row->Error.empty() ? " = " + OneLine(row->Value) : " ! " + OneLine(row->Error);
    text += '\n';
  }
  return text;
}

}  // namespace vorlane::Inspector
