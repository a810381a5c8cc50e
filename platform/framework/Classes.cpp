// Persistent objects and components.
#include "vorlane/Classes.hpp"

#include <algorithm>

namespace vorlane::Classes {

using System::Utf8ToString;

// --- TPersistent ----------------------------------------------------------------

const TypInfo::TClassInfo& TPersistent::StaticClass() {
  static const TypInfo::TClassInfo info("TPersistent", &TObject::StaticClass());
  return info;
}

namespace {

[[noreturn]] void RaiseAssignError(const TObject* source, const TObject& dest) {
  String sourceName = source != nullptr ? source->ClassName() : String(u"nil");
  throw System::EConvertError(u"Cannot assign a " + sourceName + u" to a " + dest.ClassName() +
                              u".");
}

}  // namespace

void TPersistent::Assign(TPersistent* source) {
  if (source == nullptr) RaiseAssignError(nullptr, *this);
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) {
  RaiseAssignError(this, *dest);
}

// --- TComponent -----------------------------------------------------------------

namespace {

char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

bool SameName(const String& a, const String& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return AsciiLower(x) == AsciiLower(y); });
}

bool IsIdentStart(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
}

bool IsValidIdent(const String& name) {
  if (name.empty() || !IsIdentStart(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(),
                     [](char16_t c) { return IsIdentStart(c) || (c >= u'0' && c <= u'9'); });
}

std::int64_t GetTagOrd(TObject* o) {
  return static_cast<TComponent*>(o)->GetTag();
}
void SetTagOrd(TObject* o, std::int64_t v) {
  static_cast<TComponent*>(o)->SetTag(static_cast<std::intptr_t>(v));
}

}  // namespace

const TypInfo::TClassInfo& TComponent::StaticClass() {
  static const TypInfo::TPropInfo props[] = {
      TypInfo::Property<&TComponent::GetName, &TComponent::SetName>("Name", TypInfo::NoDefault),
      [] {
        TypInfo::TPropInfo p;
        p.PropType = TypInfo::IntegerTypeInfo();
        p.Name = "Tag";
        p.GetOrd = &GetTagOrd;
        p.SetOrd = &SetTagOrd;
        p.Stored = true;
        p.HasDefault = true;
        p.Default = 0;
        return p;
      }(),
  };
  static const TypInfo::TClassInfo info(
      "TComponent", &TPersistent::StaticClass(),
      {.Properties = props, .Create = &CreateComponent<TComponent>});
  return info;
}

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  while (!FComponents.empty()) {
    TComponent* last = FComponents.back();
    last->Destroying();
    delete last;  // its destructor removes it from FComponents
  }
  if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

TComponent* TComponent::GetComponents(int index) const {
  if (index < 0 || index >= GetComponentCount())
    throw EComponentError(u"Component index out of range: " + System::IntToStr(index) + u" (" +
                          System::IntToStr(GetComponentCount()) + u" components).");
  return FComponents[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(const String& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameName(c->FName, name)) return c;
  return nullptr;
}

void TComponent::SetName(const String& name) {
  if (name == FName) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError(u"'" + name + u"' is not a valid component name.");
  if (FOwner != nullptr && !name.empty()) {
    TComponent* other = FOwner->FindComponent(name);
    if (other != nullptr && other != this)
      throw EComponentError(u"A component named " + name + u" already exists.");
  }
  FName = name;
}

void TComponent::SetDesigning(bool designing) {
  if (designing)
    FComponentState.Include(csDesigning);
  else
    FComponentState.Exclude(csDesigning);
  for (TComponent* c : FComponents) c->SetDesigning(designing);
}

void TComponent::BeginLoading() {
  FComponentState.Include(csLoading);
}

void TComponent::CancelLoading() {
  FComponentState.Exclude(csLoading);
}

void TComponent::Loaded() {
  FComponentState.Exclude(csLoading);
}

void TComponent::InsertComponent(TComponent* component) {
  FComponents.push_back(component);
  component->FOwner = this;
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(FComponents.begin(), FComponents.end(), component);
  if (it != FComponents.end()) FComponents.erase(it);
  component->FOwner = nullptr;
}

const TypInfo::TClassInfo& EComponentError::StaticClass() {
  static const TypInfo::TClassInfo info("EComponentError", &System::Exception::StaticClass());
  return info;
}

}  // namespace vorlane::Classes
