// The base property editor, the standard editors and the choice of an editor.
#include "vorlane/designer/DesignEditors.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

namespace vorlane::DesignEditors {

using Classes::TComponent;
using Classes::TPersistent;
using DesignIntf::IPropertyPtr;
using DesignIntf::paMultiSelect;
using DesignIntf::paReadOnly;
using DesignIntf::paRevertable;
using DesignIntf::paSortList;
using DesignIntf::paSubProperties;
using DesignIntf::paValueList;
using DesignIntf::TInstProp;
using DesignIntf::TPropertyEditorClass;
using System::SameText;
using System::TObject;
using System::Utf8ToString;
using TypInfo::TClassInfo;
using TypInfo::TPropInfo;
using TypInfo::TTypeKind;

namespace {

const String kFalse = u"False";
const String kTrue = u"True";

// "(text)", built by appending: g++ 12 at -O3 misreads `literal + temporary` as
// an overlapping copy (-Wrestrict).
String Parenthesized(const String& text) {
  String result(u"(");
  result += text;
  result += u')';
  return result;
}

String PropName(const TPropInfo* prop) {
  return Utf8ToString(prop->Name);
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameExact(std::u16string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != static_cast<unsigned char>(b[i])) return false;
  return true;
}

// The ordinal of the element of enumeration `type` named `name`: the exact name,
// else the one name equal to it ignoring letter case; -1 when there is none.
std::int64_t FindEnumValue(PTypeInfo type, std::u16string_view name) {
  const TypInfo::TTypeData& d = type->Data;
  if (type->Kind != TTypeKind::tkEnumeration || d.EnumNames == nullptr) return -1;
  for (std::int64_t v = d.MinValue; v <= d.MaxValue; ++v)
    if (SameExact(name, d.EnumNames[v - d.MinValue])) return v;
  std::int64_t found = -1;
  for (std::int64_t v = d.MinValue; v <= d.MaxValue; ++v) {
    if (!SameText(name, d.EnumNames[v - d.MinValue])) continue;
    if (found >= 0) return -1;  // ambiguous
    found = v;
  }
  return found;
}

String EnumNameList(PTypeInfo type) {
  String list;
  const TypInfo::TTypeData& d = type->Data;
  for (std::int64_t v = d.MinValue; v <= d.MaxValue; ++v) {
    if (!list.empty()) list += u", ";
    list += Utf8ToString(TypInfo::GetEnumName(type, v));
  }
  return list;
}

// The element name of ordinal `value`, or its number when it has none.
String ElementName(PTypeInfo type, std::int64_t value) {
  std::string_view name = TypInfo::GetEnumName(type, value);
  return name.empty() ? System::IntToStr(value) : Utf8ToString(name);
}

bool ParseBoolean(std::u16string_view text, bool& value) {
  text = Trim(text);
  if (SameText(text, "True")) {
    value = true;
    return true;
  }
  if (SameText(text, "False")) {
    value = false;
    return true;
  }
  return false;
}

enum class TParse { Ok, Invalid, OutOfRange };

// Decimal with an optional sign, or $hexadecimal; blanks around are ignored.
TParse ParseInteger(std::u16string_view text, std::int64_t& value) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  unsigned base = 10;
  if (!text.empty() && text.front() == u'$') {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return TParse::Invalid;
  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (char16_t c : text) {
    unsigned digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else
      return TParse::Invalid;
    if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / base) overflow = true;
    magnitude = magnitude * base + digit;
  }
  constexpr std::uint64_t limit = std::uint64_t{1} << 63;
  if (overflow || magnitude > (negative ? limit : limit - 1)) return TParse::OutOfRange;
  value =
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return TParse::Ok;
}

// The lowest and highest value of an integer type.
void IntegerRange(PTypeInfo type, std::int64_t& low, std::int64_t& high) {
  const TypInfo::TTypeData& d = type->Data;
  if (d.MinValue < d.MaxValue) {
    low = d.MinValue;
    high = d.MaxValue;
    return;
  }
  switch (d.OrdType) {
    case TypInfo::TOrdType::otSByte:
      low = INT8_MIN, high = INT8_MAX;
      break;
    case TypInfo::TOrdType::otUByte:
      low = 0, high = UINT8_MAX;
      break;
    case TypInfo::TOrdType::otSWord:
      low = INT16_MIN, high = INT16_MAX;
      break;
    case TypInfo::TOrdType::otUWord:
      low = 0, high = UINT16_MAX;
      break;
    case TypInfo::TOrdType::otSLong:
      low = INT32_MIN, high = INT32_MAX;
      break;
    case TypInfo::TOrdType::otULong:
      low = 0, high = UINT32_MAX;
      break;
  }
}

// The element type of a set type and its range of ordinals, clipped to the 64
// bits an ordinal value holds.
PTypeInfo SetElementType(PTypeInfo setType, std::int64_t& low, std::int64_t& high) {
  PTypeInfo element = setType != nullptr && setType->Kind == TTypeKind::tkSet
                          ? GetTypeData(setType)->CompType
                          : nullptr;
  low = 0;
  high = -1;
  if (element == nullptr) return nullptr;
  low = std::max<std::int64_t>(GetTypeData(element)->MinValue, 0);
  high = std::min<std::int64_t>(GetTypeData(element)->MaxValue, 63);
  return element;
}

bool HasGetter(const TPropInfo& p) {
  return p.GetOrd != nullptr || p.GetStr != nullptr || p.GetObj != nullptr ||
         p.GetMethod != nullptr;
}

[[noreturn]] void RaiseCannotRead(const TPropInfo* prop) {
  throw EPropertyError(u"Property '" + PropName(prop) + u"' cannot be read as " +
                       Utf8ToString(prop->PropType->Name) + u".");
}

[[noreturn]] void RaiseReadOnly(const TPropInfo* prop) {
  throw EPropertyError(u"Property '" + PropName(prop) + u"' is read-only.");
}

IDesigner* DesignerOf(TPropertyEditor* parent) {
  if (parent == nullptr) throw EPropertyError(u"A set element editor needs a parent editor.");
  return parent->GetDesigner();
}

const TInstPropList& PropListOf(TPropertyEditor* parent) {
  if (parent == nullptr) throw EPropertyError(u"A set element editor needs a parent editor.");
  return parent->GetPropList();
}

}  // namespace

// --- TPropertyEditor ----------------------------------------------------------------

TPropertyEditor::TPropertyEditor(IDesigner* designer, const TInstPropList& props)
    : FDesigner(designer), FPropList(props) {
  if (FPropList.empty()) throw EPropertyError(u"A property editor needs at least one object.");
  for (const TInstProp& p : FPropList)
    if (p.Instance == nullptr || p.PropInfo == nullptr || p.PropInfo->PropType == nullptr)
      throw EPropertyError(
          u"A property editor needs an object and a typed property for each entry.");
}

const TClassInfo& TPropertyEditor::StaticClass() {
  static const TClassInfo info("TPropertyEditor", &TObject::StaticClass());
  return info;
}

void TPropertyEditor::AddRef() noexcept {
  ++FRefCount;
}

void TPropertyEditor::Release() noexcept {
  if (--FRefCount == 0) delete this;
}

TPropertyAttributes TPropertyEditor::GetAttributes() {
  return {paMultiSelect, paRevertable};
}

void TPropertyEditor::GetProperties(TGetPropProc) {}

String TPropertyEditor::GetValue() {
  return u"(unknown)";
}

void TPropertyEditor::GetValues(TGetStrProc) {}

void TPropertyEditor::SetValue(const String&) {
  throw EPropertyError(u"Property " + QuotedName() + u" cannot be set from text.");
}

String TPropertyEditor::GetName() {
  return PropName(GetPropInfo());
}

PTypeInfo TPropertyEditor::GetPropType() {
  return GetPropInfo()->PropType;
}

void TPropertyEditor::CheckIndex(int index) const {
  if (index < 0 || index >= GetPropCount())
    throw EPropertyError(u"Selection index " + System::IntToStr(index) + u" out of range (" +
                         System::IntToStr(GetPropCount()) + u" selected).");
}

TPersistent* TPropertyEditor::GetComponent(int index) const {
  CheckIndex(index);
  return FPropList[static_cast<std::size_t>(index)].Instance;
}

TComponent* TPropertyEditor::GetRoot() const {
  if (FDesigner != nullptr) return FDesigner->GetRoot();
  auto* component = dynamic_cast<TComponent*>(FPropList.front().Instance);
  while (component != nullptr && component->GetOwner() != nullptr)
    component = component->GetOwner();
  return component;
}

std::int64_t TPropertyEditor::GetOrdValueAt(int index) const {
  CheckIndex(index);
  const TInstProp& p = FPropList[static_cast<std::size_t>(index)];
  if (p.PropInfo->GetOrd == nullptr) RaiseCannotRead(p.PropInfo);
  return p.PropInfo->GetOrd(p.Instance);
}

String TPropertyEditor::GetStrValueAt(int index) const {
  CheckIndex(index);
  const TInstProp& p = FPropList[static_cast<std::size_t>(index)];
  if (p.PropInfo->GetStr == nullptr) RaiseCannotRead(p.PropInfo);
  return p.PropInfo->GetStr(p.Instance);
}

TObject* TPropertyEditor::GetObjValueAt(int index) const {
  CheckIndex(index);
  const TInstProp& p = FPropList[static_cast<std::size_t>(index)];
  if (p.PropInfo->GetObj == nullptr) RaiseCannotRead(p.PropInfo);
  return p.PropInfo->GetObj(p.Instance);
}

TypInfo::TMethod TPropertyEditor::GetMethodValueAt(int index) const {
  CheckIndex(index);
  const TInstProp& p = FPropList[static_cast<std::size_t>(index)];
  if (p.PropInfo->GetMethod == nullptr) RaiseCannotRead(p.PropInfo);
  return p.PropInfo->GetMethod(p.Instance);
}

void TPropertyEditor::SetOrdValue(std::int64_t value) {
  for (const TInstProp& p : FPropList)
    if (p.PropInfo->SetOrd == nullptr) RaiseReadOnly(p.PropInfo);
  for (const TInstProp& p : FPropList) p.PropInfo->SetOrd(p.Instance, value);
  if (FDesigner != nullptr) FDesigner->Modified();
}

void TPropertyEditor::SetStrValue(const String& value) {
  for (const TInstProp& p : FPropList)
    if (p.PropInfo->SetStr == nullptr) RaiseReadOnly(p.PropInfo);
  for (const TInstProp& p : FPropList) p.PropInfo->SetStr(p.Instance, value);
  if (FDesigner != nullptr) FDesigner->Modified();
}

void TPropertyEditor::SetObjValue(TObject* value) {
  for (const TInstProp& p : FPropList)
    if (p.PropInfo->SetObj == nullptr) RaiseReadOnly(p.PropInfo);
  for (const TInstProp& p : FPropList) p.PropInfo->SetObj(p.Instance, value);
  if (FDesigner != nullptr) FDesigner->Modified();
}

void TPropertyEditor::SetMethodValue(TypInfo::TMethod value) {
  for (const TInstProp& p : FPropList)
    if (p.PropInfo->SetMethod == nullptr) RaiseReadOnly(p.PropInfo);
  for (const TInstProp& p : FPropList) p.PropInfo->SetMethod(p.Instance, value);
  if (FDesigner != nullptr) FDesigner->Modified();
}

// --- TIntegerProperty ---------------------------------------------------------------

const TClassInfo& TIntegerProperty::StaticClass() {
  static const TClassInfo info("TIntegerProperty", &TPropertyEditor::StaticClass());
  return info;
}

String TIntegerProperty::GetValue() {
  return System::IntToStr(GetOrdValue());
}

void TIntegerProperty::SetValue(const String& value) {
  std::int64_t number = 0, low = 0, high = 0;
  IntegerRange(GetPropType(), low, high);
  const TParse result = ParseInteger(value, number);
  if (result == TParse::Invalid)
    throw EPropertyError(u"'" + value + u"' is not a valid integer value for property " +
                         QuotedName());
  if (result == TParse::OutOfRange || number < low || number > high)
    throw EPropertyError(u"'" + value + u"' is out of range for property " + QuotedName() + u" (" +
                         System::IntToStr(low) + u" to " + System::IntToStr(high) + u")");
  SetOrdValue(number);
}

// --- TEnumProperty ------------------------------------------------------------------

const TClassInfo& TEnumProperty::StaticClass() {
  static const TClassInfo info("TEnumProperty", &TPropertyEditor::StaticClass());
  return info;
}

TPropertyAttributes TEnumProperty::GetAttributes() {
  return {paMultiSelect, paValueList, paSortList, paRevertable};
}

String TEnumProperty::GetValue() {
  return ElementName(GetPropType(), GetOrdValue());
}

void TEnumProperty::GetValues(TGetStrProc proc) {
  PTypeInfo type = GetPropType();
  const TypInfo::TTypeData* d = GetTypeData(type);
  for (std::int64_t v = d->MinValue; v <= d->MaxValue; ++v) proc(ElementName(type, v));
}

void TEnumProperty::SetValue(const String& value) {
  PTypeInfo type = GetPropType();
  std::int64_t ordinal = FindEnumValue(type, Trim(value));
  if (ordinal < 0)
    throw EPropertyError(u"'" + value + u"' is not a valid value for property " + QuotedName() +
                         u" (" + EnumNameList(type) + u")");
  SetOrdValue(ordinal);
}

// --- TBooleanProperty ---------------------------------------------------------------

const TClassInfo& TBooleanProperty::StaticClass() {
  static const TClassInfo info("TBooleanProperty", &TEnumProperty::StaticClass());
  return info;
}

String TBooleanProperty::GetValue() {
  return GetOrdValue() != 0 ? kTrue : kFalse;
}

void TBooleanProperty::GetValues(TGetStrProc proc) {
  proc(kFalse);
  proc(kTrue);
}

// --- TSetProperty -------------------------------------------------------------------

const TClassInfo& TSetProperty::StaticClass() {
  static const TClassInfo info("TSetProperty", &TPropertyEditor::StaticClass());
  return info;
}

TPropertyAttributes TSetProperty::GetAttributes() {
  return {paMultiSelect, paSubProperties, paRevertable};
}

void TSetProperty::GetProperties(TGetPropProc proc) {
  std::int64_t low = 0, high = -1;
  SetElementType(GetPropType(), low, high);
  for (std::int64_t e = low; e <= high; ++e)
    proc(IPropertyPtr(new TSetElementProperty(this, static_cast<int>(e))));
}

String TSetProperty::GetValue() {
  const auto bits = static_cast<std::uint64_t>(GetOrdValue());
  std::int64_t low = 0, high = -1;
  PTypeInfo element = SetElementType(GetPropType(), low, high);
  String text = u"[";
  for (std::int64_t e = low; e <= high; ++e) {
    if ((bits >> e & 1) == 0) continue;
    if (text.size() > 1) text += u',';
    text += ElementName(element, e);
  }
  return text + u"]";
}

void TSetProperty::SetValue(const String& value) {
  std::int64_t low = 0, high = -1;
  PTypeInfo element = SetElementType(GetPropType(), low, high);
  const String typeName = element != nullptr ? Utf8ToString(element->Name) : String(u"?");
  std::u16string_view text = Trim(value);
  if (text.size() < 2 || text.front() != u'[' || text.back() != u']')
    throw EPropertyError(u"'" + value + u"' is not a valid value for property " + QuotedName() +
                         u": expected [element, ...] with elements of " + typeName);
  text = Trim(text.substr(1, text.size() - 2));
  std::uint64_t bits = 0;
  while (!text.empty()) {
    std::size_t comma = text.find(u',');
    std::u16string_view name = Trim(text.substr(0, comma));
    std::int64_t e = element != nullptr ? FindEnumValue(element, name) : -1;
    if (e < low || e > high)
      throw EPropertyError(u"'" + value + u"' is not a valid value for property " + QuotedName() +
                           u": '" + String(name) + u"' is not an element of " + typeName);
    bits |= std::uint64_t{1} << e;
    if (comma == std::u16string_view::npos) break;
    text = text.substr(comma + 1);
    if (Trim(text).empty())
      throw EPropertyError(u"'" + value + u"' is not a valid value for property " + QuotedName() +
                           u": an element name is missing after ','");
  }
  SetOrdValue(static_cast<std::int64_t>(bits));
}

// --- TSetElementProperty ------------------------------------------------------------

TSetElementProperty::TSetElementProperty(TPropertyEditor* parent, int element)
    : TPropertyEditor(DesignerOf(parent), PropListOf(parent)), FElement(element) {
  std::int64_t low = 0, high = -1;
  if (SetElementType(GetPropType(), low, high) == nullptr)
    throw EPropertyError(u"Property " + QuotedName() + u" is not a set property.");
  if (element < low || element > high)
    throw EPropertyError(u"Element " + System::IntToStr(element) + u" is not an element of " +
                         u"property " + QuotedName() + u".");
}

const TClassInfo& TSetElementProperty::StaticClass() {
  static const TClassInfo info("TSetElementProperty", &TPropertyEditor::StaticClass());
  return info;
}

TPropertyAttributes TSetElementProperty::GetAttributes() {
  return {paMultiSelect, paValueList, paSortList};
}

String TSetElementProperty::GetValue() {
  const auto bits = static_cast<std::uint64_t>(GetOrdValue());
  return (bits >> FElement & 1) != 0 ? kTrue : kFalse;
}

void TSetElementProperty::GetValues(TGetStrProc proc) {
  proc(kFalse);
  proc(kTrue);
}

void TSetElementProperty::SetValue(const String& value) {
  bool include = false;
  if (!ParseBoolean(value, include))
    throw EPropertyError(u"'" + value + u"' is not a valid value for property " + QuotedName() +
                         u" (False, True)");
  for (const TInstProp& p : GetPropList())
    if (p.PropInfo->SetOrd == nullptr) RaiseReadOnly(p.PropInfo);
  // Each object keeps its other elements.
  for (int i = 0; i < GetPropCount(); ++i) {
    const TInstProp& p = GetPropList()[static_cast<std::size_t>(i)];
    auto bits = static_cast<std::uint64_t>(GetOrdValueAt(i));
    const std::uint64_t bit = std::uint64_t{1} << FElement;
    bits = include ? bits | bit : bits & ~bit;
    p.PropInfo->SetOrd(p.Instance, static_cast<std::int64_t>(bits));
  }
  if (GetDesigner() != nullptr) GetDesigner()->Modified();
}

String TSetElementProperty::GetName() {
  return ElementName(GetTypeData(GetPropType())->CompType, FElement);
}

// --- TStringProperty ----------------------------------------------------------------

const TClassInfo& TStringProperty::StaticClass() {
  static const TClassInfo info("TStringProperty", &TPropertyEditor::StaticClass());
  return info;
}

String TStringProperty::GetValue() {
  return GetStrValue();
}

void TStringProperty::SetValue(const String& value) {
  SetStrValue(value);
}

// --- TClassProperty -----------------------------------------------------------------

const TClassInfo& TClassProperty::StaticClass() {
  static const TClassInfo info("TClassProperty", &TPropertyEditor::StaticClass());
  return info;
}

TPropertyAttributes TClassProperty::GetAttributes() {
  return {paMultiSelect, paSubProperties, paReadOnly};
}

void TClassProperty::GetProperties(TGetPropProc proc) {
  std::vector<TPersistent*> objects;
  for (int i = 0; i < GetPropCount(); ++i) {
    auto* object = dynamic_cast<TPersistent*>(GetObjValueAt(i));
    if (object == nullptr) return;  // nil, or an object with no published properties
    objects.push_back(object);
  }
  GetComponentProperties(objects, GetDesigner(), proc);
}

String TClassProperty::GetValue() {
  TObject* object = GetObjValue();
  return object != nullptr ? Parenthesized(object->ClassName()) : String();
}

// --- TComponentProperty -------------------------------------------------------------

const TClassInfo& TComponentProperty::StaticClass() {
  static const TClassInfo info("TComponentProperty", &TPropertyEditor::StaticClass());
  return info;
}

TPropertyAttributes TComponentProperty::GetAttributes() {
  return {paMultiSelect, paValueList, paSortList, paRevertable};
}

String TComponentProperty::GetValue() {
  TObject* object = GetObjValue();
  if (object == nullptr) return {};
  auto* component = dynamic_cast<TComponent*>(object);
  if (component != nullptr && !component->GetName().empty()) return component->GetName();
  return Parenthesized(object->ClassName());
}

void TComponentProperty::GetValues(TGetStrProc proc) {
  TComponent* root = GetRoot();
  const TClassInfo* cls = GetTypeData(GetPropType())->ClassType;
  if (root == nullptr || cls == nullptr) return;
  for (int i = 0; i < root->GetComponentCount(); ++i) {
    TComponent* c = root->GetComponents(i);
    if (!c->GetName().empty() && c->ClassType().InheritsFrom(*cls)) proc(c->GetName());
  }
}

void TComponentProperty::SetValue(const String& value) {
  std::u16string_view name = Trim(value);
  if (name.empty()) {
    SetObjValue(nullptr);
    return;
  }
  TComponent* root = GetRoot();
  const TClassInfo* cls = GetTypeData(GetPropType())->ClassType;
  TComponent* found = root != nullptr ? root->FindComponent(String(name)) : nullptr;
  if (found == nullptr || cls == nullptr || !found->ClassType().InheritsFrom(*cls))
    throw EPropertyError(u"'" + value + u"' is not a valid value for property " + QuotedName() +
                         u": no component of that name and class " +
                         Utf8ToString(GetPropType()->Name) + u" in the root");
  SetObjValue(found);
}

// --- TMethodProperty ----------------------------------------------------------------

const TClassInfo& TMethodProperty::StaticClass() {
  static const TClassInfo info("TMethodProperty", &TPropertyEditor::StaticClass());
  return info;
}

TPropertyAttributes TMethodProperty::GetAttributes() {
  return {paMultiSelect, paValueList, paSortList, paRevertable};
}

String TMethodProperty::GetValue() {
  TypInfo::TMethod method = GetMethodValue();
  if (method.Code == nullptr) return {};
  const TypInfo::TMethodInfo* info = TypInfo::FindMethodName(GetRoot(), method);
  return info != nullptr ? Utf8ToString(info->Name) : String(u"(assigned)");
}

void TMethodProperty::GetValues(TGetStrProc proc) {
  TComponent* root = GetRoot();
  if (root == nullptr) return;
  const void* signature = GetTypeData(GetPropType())->Signature;
  std::vector<std::string_view> seen;
  for (const TClassInfo* c = &root->ClassType(); c != nullptr; c = c->Parent) {
    for (const TypInfo::TMethodInfo& m : c->Members.Methods) {
      std::string_view name = m.Name;
      if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
      seen.push_back(name);  // a class's own method hides an ancestor's of that name
      if (m.Signature == signature) proc(Utf8ToString(name));
    }
  }
}

void TMethodProperty::SetValue(const String& value) {
  std::u16string_view name = Trim(value);
  if (name.empty()) {
    SetMethodValue({});
    return;
  }
  TComponent* root = GetRoot();
  if (root == nullptr)
    throw EPropertyError(u"Cannot bind '" + value + u"' to event " + QuotedName() +
                         u": there is no root component to take handlers from");
  const TypInfo::TMethodInfo* method =
      TypInfo::FindMethod(root->ClassType(), System::StringToUtf8(name));
  if (method == nullptr)
    throw EPropertyError(u"'" + value + u"' is not a published method of " + root->ClassName() +
                         u" (event " + QuotedName() + u")");
  if (method->Signature != GetTypeData(GetPropType())->Signature)
    throw EPropertyError(u"Method '" + value + u"' of " + root->ClassName() +
                         u" does not fit event " + QuotedName() + u" (" +
                         Utf8ToString(GetPropType()->Name) + u")");
  SetMethodValue(method->Bind(root));
}

// --- Choosing editors ---------------------------------------------------------------

TPropertyEditorClass DefaultEditorClass(PTypeInfo type) {
  if (type == nullptr) return EditorClassOf<TPropertyEditor>();
  if (type == TypInfo::BooleanTypeInfo()) return EditorClassOf<TBooleanProperty>();
  switch (type->Kind) {
    case TTypeKind::tkInteger:
      return EditorClassOf<TIntegerProperty>();
    case TTypeKind::tkEnumeration:
      return EditorClassOf<TEnumProperty>();
    case TTypeKind::tkSet:
      return EditorClassOf<TSetProperty>();
    case TTypeKind::tkUString:
      return EditorClassOf<TStringProperty>();
    case TTypeKind::tkClass:
      if (type->Data.ClassType != nullptr &&
          type->Data.ClassType->InheritsFrom(TComponent::StaticClass()))
        return EditorClassOf<TComponentProperty>();
      return EditorClassOf<TClassProperty>();
    case TTypeKind::tkMethod:
      return EditorClassOf<TMethodProperty>();
    case TTypeKind::tkUnknown:
      break;
  }
  return EditorClassOf<TPropertyEditor>();
}

TPropertyEditorClass GetEditorClass(TPersistent* object, const TPropInfo* propInfo) {
  if (TPropertyEditorClass mapped = DesignIntf::MapPropertyEditor(object, propInfo)) return mapped;
  if (TPropertyEditorClass registered = DesignIntf::FindRegisteredEditor(object, propInfo))
    return registered;
  return DefaultEditorClass(propInfo != nullptr ? propInfo->PropType : nullptr);
}

void GetComponentProperties(std::span<TPersistent* const> selection, IDesigner* designer,
                            TGetPropProc proc) {
  if (selection.empty()) return;
  for (TPersistent* object : selection)
    if (object == nullptr) throw EPropertyError(u"The selection holds a nil object.");
  TPersistent* first = selection.front();
  for (const TPropInfo* prop : TypInfo::GetPropList(first->ClassType())) {
    if (prop->PropType == nullptr || !HasGetter(*prop)) continue;
    TInstPropList props{{first, prop}};
    for (std::size_t i = 1; i < selection.size(); ++i) {
      const TPropInfo* other = TypInfo::GetPropInfo(selection[i]->ClassType(), prop->Name);
      if (other == nullptr || other->PropType != prop->PropType || !HasGetter(*other)) break;
      props.push_back({selection[i], other});
    }
    if (props.size() != selection.size()) continue;
    IPropertyPtr editor(GetEditorClass(first, prop).Create(designer, props));
    if (selection.size() > 1 && !editor->GetAttributes().Contains(paMultiSelect)) continue;
    proc(editor);
  }
}

}  // namespace vorlane::DesignEditors
