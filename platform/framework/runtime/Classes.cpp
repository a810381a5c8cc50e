// Persistent objects and components.
#include "vorlane/runtime/Classes.hpp"

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

// Names are compared case-insensitively: owners index them by this key.
String NameKey(const String& name) {
  String key = name;
  for (char16_t& c : key) c = System::AsciiLower(c);
  return key;
}

std::size_t LowBit(std::size_t i) {
  return i & (~i + 1);
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
  while (FLive > 0) {
    TComponent* last = FSlots.back();  // never a gap: trailing gaps are dropped
    last->Destroying();
    delete last;  // its destructor removes it from FSlots
  }
  if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* c : FSlots)
    if (c != nullptr) c->Destroying();
}

TComponent* TComponent::GetComponents(int index) const {
  if (index < 0 || index >= GetComponentCount())
    throw EComponentError(u"Component index out of range: " + System::IntToStr(index) + u" (" +
                          System::IntToStr(GetComponentCount()) + u" components).");
  if (FLive == FSlots.size()) return FSlots[static_cast<std::size_t>(index)];
  // The slot holding the (index + 1)-th owned component: descend the Fenwick tree.
  std::size_t position = 0;
  std::uint32_t remaining = static_cast<std::uint32_t>(index) + 1;
  std::size_t step = 1;
  while (step * 2 <= FSlots.size()) step *= 2;
  for (; step != 0; step /= 2) {
    if (position + step <= FSlots.size() && FCounts[position + step - 1] < remaining) {
      position += step;
      remaining -= FCounts[position - 1];
    }
  }
  return FSlots[position];
}

TComponent* TComponent::FindComponent(const String& name) const {
  if (name.empty()) return nullptr;
  const auto it = FNames.find(NameKey(name));
  return it != FNames.end() ? it->second : nullptr;
}

void TComponent::SetName(const String& name) {
  if (name == FName) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError(u"'" + name + u"' is not a valid component name.");
  if (FOwner != nullptr) {
    const String key = NameKey(name);
    const String oldKey = NameKey(FName);
    if (!name.empty()) {
      TComponent* other = FOwner->FindComponent(name);
      if (other != nullptr && other != this)
        throw EComponentError(u"A component named " + name + u" already exists.");
      if (key != oldKey) FOwner->FNames.emplace(key, this);
    }
    if (!FName.empty() && key != oldKey) FOwner->FNames.erase(oldKey);
  }
  FName = name;
}

void TComponent::SetDesigning(bool designing) {
  if (designing)
    FComponentState.Include(csDesigning);
  else
    FComponentState.Exclude(csDesigning);
  for (TComponent* c : FSlots)
    if (c != nullptr) c->SetDesigning(designing);
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

// Appends a slot; its Fenwick node covers the slots (i - LowBit(i), i] (1-based).
void TComponent::InsertComponent(TComponent* component) {
  const std::size_t position = FSlots.size() + 1;
  std::uint32_t count = 1;
  for (std::size_t k = 1; k < LowBit(position); k *= 2) count += FCounts[position - k - 1];
  FSlots.push_back(component);
  FCounts.push_back(count);
  ++FLive;
  component->FOwner = this;
  component->FSlot = position - 1;
}

void TComponent::RemoveComponent(TComponent* component) {
  const std::size_t slot = component->FSlot;
  if (slot >= FSlots.size() || FSlots[slot] != component) return;
  if (!component->FName.empty()) {
    const auto it = FNames.find(NameKey(component->FName));
    if (it != FNames.end() && it->second == component) FNames.erase(it);
  }
  FSlots[slot] = nullptr;
  for (std::size_t i = slot + 1; i <= FCounts.size(); i += LowBit(i)) --FCounts[i - 1];
  --FLive;
  component->FOwner = nullptr;
  // A node covers only slots up to its own, so cutting off the end keeps the rest.
  while (!FSlots.empty() && FSlots.back() == nullptr) {
    FSlots.pop_back();
    FCounts.pop_back();
  }
  if (FSlots.size() - FLive > FLive + 16) CloseGaps();
}

void TComponent::CloseGaps() {
  std::erase(FSlots, nullptr);
  FCounts.assign(FSlots.size(), 1);
  for (std::size_t i = 1; i <= FCounts.size(); ++i) {
    FSlots[i - 1]->FSlot = i - 1;
    if (const std::size_t parent = i + LowBit(i); parent <= FCounts.size())
      FCounts[parent - 1] += FCounts[i - 1];
  }
  FSlots.shrink_to_fit();
  FCounts.shrink_to_fit();
}

const TypInfo::TClassInfo& EComponentError::StaticClass() {
  static const TypInfo::TClassInfo info("EComponentError", &System::Exception::StaticClass());
  return info;
}

}  // namespace vorlane::Classes
