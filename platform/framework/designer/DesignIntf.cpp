// The designer's registries: component palette, property editors, property mappers.
#include "vorlane/designer/DesignIntf.hpp"

#include <algorithm>
#include <mutex>
#include <string_view>
#include <tuple>

#include "vorlane/designer/DesignEditors.hpp"

namespace vorlane::DesignIntf {

using TypInfo::PTypeInfo;
using TypInfo::TClassInfo;
using TypInfo::TTypeKind;

const TClassInfo& EPropertyError::StaticClass() {
  static const TClassInfo info("EPropertyError", &System::Exception::StaticClass());
  return info;
}

String AttributeNames(TPropertyAttributes attributes) {
  static constexpr std::pair<TPropertyAttribute, const char16_t*> names[] = {
      {paValueList, u"paValueList"},
      {paSubProperties, u"paSubProperties"},
      {paMultiSelect, u"paMultiSelect"},
      {paSortList, u"paSortList"},
      {paReadOnly, u"paReadOnly"},
      {paRevertable, u"paRevertable"},
      {paVolatileSubProperties, u"paVolatileSubProperties"},
  };
  String text;
  for (const auto& [attribute, name] : names) {
    if (!attributes.Contains(attribute)) continue;
    if (!text.empty()) text += u", ";
    text += name;
  }
  return text;
}

String TPropertyEditorClass::Name() const {
  return FClass != nullptr ? System::Utf8ToString(FClass->Name) : String();
}

DesignEditors::TPropertyEditor* TPropertyEditorClass::Create(IDesigner* designer,
                                                             const TInstPropList& props) const {
  if (FCreate == nullptr) throw EPropertyError(u"No property editor class to create.");
  return FCreate(designer, props);
}

namespace {

struct TRegistries {
  std::mutex Lock;
  std::vector<TPalettePage> Palette;
  std::vector<TPropertyEditorRegistration> Editors;
  std::vector<TPropertyMapperFunc> Mappers;
};

TRegistries& Registries() {
  static TRegistries registries;
  return registries;
}

String ClassName(const TClassInfo* cls) {
  return cls != nullptr ? System::Utf8ToString(cls->Name) : String(u"nil");
}

// How far `cls` is from the root of its hierarchy: TObject is 0.
int ClassDepth(const TClassInfo* cls) {
  int depth = -1;
  for (; cls != nullptr; cls = cls->Parent) ++depth;
  return depth;
}

// How well a registration matches, compared lexicographically; Matches is false
// when it does not match at all.
struct TSpecificity {
  bool Matches = false;
  int ExactType = 0;
  int NamesProperty = 0;
  int ComponentDepth = -1;
  int TypeDepth = -1;

  friend bool operator>=(const TSpecificity& a, const TSpecificity& b) {
    return std::tie(a.ExactType, a.NamesProperty, a.ComponentDepth, a.TypeDepth) >=
           std::tie(b.ExactType, b.NamesProperty, b.ComponentDepth, b.TypeDepth);
  }
};

TSpecificity Match(const TPropertyEditorRegistration& r, const TClassInfo& objectClass,
                   const TypInfo::TPropInfo& prop) {
  TSpecificity s;
  PTypeInfo type = prop.PropType;
  if (r.PropertyType == type) {
    s.ExactType = 1;
  } else if (r.PropertyType->Kind == TTypeKind::tkClass && type->Kind == TTypeKind::tkClass &&
             type->Data.ClassType != nullptr && r.PropertyType->Data.ClassType != nullptr &&
             type->Data.ClassType->InheritsFrom(*r.PropertyType->Data.ClassType)) {
    s.ExactType = 0;
  } else {
    return s;
  }
  if (r.ComponentClass != nullptr && !objectClass.InheritsFrom(*r.ComponentClass)) return s;
  if (!r.PropertyName.empty()) {
    if (r.PropertyName != System::Utf8ToString(prop.Name)) return s;
    s.NamesProperty = 1;
  }
  s.ComponentDepth = r.ComponentClass != nullptr ? ClassDepth(r.ComponentClass) : -1;
  s.TypeDepth =
      r.PropertyType->Kind == TTypeKind::tkClass ? ClassDepth(r.PropertyType->Data.ClassType) : -1;
  s.Matches = true;
  return s;
}

}  // namespace

// --- Palette ----------------------------------------------------------------------

void RegisterComponents(const String& page, std::span<const TClassInfo* const> classes) {
  if (page.empty()) throw EPropertyError(u"A palette page needs a name.");
  for (const TClassInfo* cls : classes) {
    if (cls == nullptr)
      throw EPropertyError(u"Cannot put a nil class on palette page '" + page + u"'.");
    if (!cls->InheritsFrom(Classes::TComponent::StaticClass()) || cls->Members.Create == nullptr)
      throw EPropertyError(u"Cannot put " + ClassName(cls) + u" on palette page '" + page +
                           u"': it is not a component class.");
  }
  for (const TClassInfo* cls : classes) TypInfo::RegisterClass(*cls);

  TRegistries& r = Registries();
  std::lock_guard lock(r.Lock);
  auto it = std::find_if(r.Palette.begin(), r.Palette.end(),
                         [&](const TPalettePage& p) { return p.Name == page; });
  if (it == r.Palette.end()) it = r.Palette.insert(r.Palette.end(), TPalettePage{page, {}});
  for (const TClassInfo* cls : classes)
    if (std::find(it->Classes.begin(), it->Classes.end(), cls) == it->Classes.end())
      it->Classes.push_back(cls);
}

void RegisterComponents(const String& page, std::initializer_list<const TClassInfo*> classes) {
  RegisterComponents(page, std::span<const TClassInfo* const>(classes.begin(), classes.size()));
}

std::vector<TPalettePage> GetPalette() {
  TRegistries& r = Registries();
  std::lock_guard lock(r.Lock);
  return r.Palette;
}

// --- Property editors -------------------------------------------------------------

void RegisterPropertyEditor(PTypeInfo propertyType, const TClassInfo* componentClass,
                            const String& propertyName, TPropertyEditorClass editorClass) {
  if (propertyType == nullptr)
    throw EPropertyError(u"Cannot register property editor " + editorClass.Name() +
                         u" for property '" + propertyName + u"': no property type given.");
  if (!editorClass)
    throw EPropertyError(u"Cannot register a property editor for property '" + propertyName +
                         u"' of " + ClassName(componentClass) + u": no editor class given.");
  TRegistries& r = Registries();
  std::lock_guard lock(r.Lock);
  r.Editors.push_back({propertyType, componentClass, propertyName, editorClass});
}

std::vector<TPropertyEditorRegistration> GetPropertyEditorRegistrations() {
  TRegistries& r = Registries();
  std::lock_guard lock(r.Lock);
  return r.Editors;
}

TPropertyEditorClass FindRegisteredEditor(Classes::TPersistent* object,
                                          const TypInfo::TPropInfo* propInfo) {
  if (object == nullptr || propInfo == nullptr || propInfo->PropType == nullptr) return {};
  const TClassInfo& objectClass = object->ClassType();
  TRegistries& r = Registries();
  std::lock_guard lock(r.Lock);
  TPropertyEditorClass best;
  TSpecificity bestMatch;
  for (const TPropertyEditorRegistration& registration : r.Editors) {
    TSpecificity s = Match(registration, objectClass, *propInfo);
    // >= : of equally specific registrations the later one wins.
    if (s.Matches && (!bestMatch.Matches || s >= bestMatch)) {
      best = registration.EditorClass;
      bestMatch = s;
    }
  }
  return best;
}

// --- Property mappers -------------------------------------------------------------

void RegisterPropertyMapper(TPropertyMapperFunc mapper) {
  if (mapper == nullptr) throw EPropertyError(u"Cannot register a nil property mapper.");
  TRegistries& r = Registries();
  std::lock_guard lock(r.Lock);
  r.Mappers.push_back(mapper);
}

std::vector<TPropertyMapperFunc> GetPropertyMappers() {
  TRegistries& r = Registries();
  std::lock_guard lock(r.Lock);
  return r.Mappers;
}

TPropertyEditorClass MapPropertyEditor(Classes::TPersistent* object,
                                       const TypInfo::TPropInfo* propInfo) {
  // Copied so that a mapper may itself use the registries.
  const std::vector<TPropertyMapperFunc> mappers = GetPropertyMappers();
  for (auto it = mappers.rbegin(); it != mappers.rend(); ++it)
    if (TPropertyEditorClass answer = (*it)(object, propInfo)) return answer;
  return {};
}

void ClearRegistrations() {
  TRegistries& r = Registries();
  std::lock_guard lock(r.Lock);
  r.Palette.clear();
  r.Editors.clear();
  r.Mappers.clear();
}

}  // namespace vorlane::DesignIntf
