// Published-member tables, property type information and the class registry.
#include "vorlane/runtime/TypInfo.hpp"

#include <limits>
#include <map>
#include <mutex>
#include <string>

namespace vorlane::TypInfo {

std::string_view GetEnumName(PTypeInfo info, std::int64_t value) {
  if (info == nullptr || info->Kind != TTypeKind::tkEnumeration) return {};
  const TTypeData& d = info->Data;
  if (d.EnumNames == nullptr || value < d.MinValue || value > d.MaxValue) return {};
  return d.EnumNames[value - d.MinValue];
}

std::int64_t GetEnumValue(PTypeInfo info, std::string_view name) {
  if (info == nullptr || info->Kind != TTypeKind::tkEnumeration) return -1;
  const TTypeData& d = info->Data;
  if (d.EnumNames == nullptr) return -1;
  for (std::int64_t v = d.MinValue; v <= d.MaxValue; ++v)
    if (name == d.EnumNames[v - d.MinValue]) return v;
  return -1;
}

namespace {

void CollectProps(const TClassInfo& cls, std::vector<const TPropInfo*>& out) {
  if (cls.Parent != nullptr) CollectProps(*cls.Parent, out);
  for (const TPropInfo& p : cls.Members.Properties) {
    // A class that publishes a property again under an ancestor's name replaces
    // the ancestor's entry in its place.
    bool replaced = false;
    for (const TPropInfo*& existing : out) {
      if (std::string_view(existing->Name) == p.Name) {
        existing = &p;
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back(&p);
  }
}

}  // namespace

std::vector<const TPropInfo*> GetPropList(const TClassInfo& cls) {
  std::vector<const TPropInfo*> out;
  CollectProps(cls, out);
  return out;
}

const TPropInfo* GetPropInfo(const TClassInfo& cls, std::string_view name) {
  for (const TClassInfo* c = &cls; c != nullptr; c = c->Parent)
    for (const TPropInfo& p : c->Members.Properties)
      if (name == p.Name) return &p;
  return nullptr;
}

const TMethodInfo* FindMethod(const TClassInfo& cls, std::string_view name) {
  for (const TClassInfo* c = &cls; c != nullptr; c = c->Parent)
    for (const TMethodInfo& m : c->Members.Methods)
      if (name == m.Name) return &m;
  return nullptr;
}

const TMethodInfo* FindMethodName(TObject* instance, TMethod method) {
  if (instance == nullptr || method.Code == nullptr) return nullptr;
  for (const TClassInfo* c = &instance->ClassType(); c != nullptr; c = c->Parent)
    for (const TMethodInfo& m : c->Members.Methods)
      if (m.Bind != nullptr && m.Bind(instance) == method) return &m;
  return nullptr;
}

// --- Class registry -----------------------------------------------------------

namespace {

struct TRegistry {
  std::mutex Lock;
  std::map<std::string, const TClassInfo*, std::less<>> Classes;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

void RegisterClass(const TClassInfo& cls) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  auto [it, inserted] = r.Classes.try_emplace(cls.Name, &cls);
  if (!inserted && it->second != &cls)
    throw System::Exception(u"A class named " + System::Utf8ToString(cls.Name) +
                            u" is already registered.");
}

void UnregisterClass(const TClassInfo& cls) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  auto it = r.Classes.find(std::string_view(cls.Name));
  if (it != r.Classes.end() && it->second == &cls) r.Classes.erase(it);
}

const TClassInfo* FindClass(std::string_view name) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  auto it = r.Classes.find(name);
  return it == r.Classes.end() ? nullptr : it->second;
}

// --- Type information of the built-in property types --------------------------

PTypeInfo IntegerTypeInfo() {
  static const TTypeInfo info = [] {
    TTypeInfo t;
    t.Kind = TTypeKind::tkInteger;
    t.Name = "Integer";
    t.Data.OrdType = TOrdType::otSLong;
    t.Data.MinValue = std::numeric_limits<std::int32_t>::min();
    t.Data.MaxValue = std::numeric_limits<std::int32_t>::max();
    return t;
  }();
  return &info;
}

PTypeInfo BooleanTypeInfo() {
  static const char* const names[] = {"False", "True"};
  static const TTypeInfo info = EnumType("Boolean", names);
  return &info;
}

PTypeInfo StringTypeInfo() {
  static const TTypeInfo info = [] {
    TTypeInfo t;
    t.Kind = TTypeKind::tkUString;
    t.Name = "string";
    return t;
  }();
  return &info;
}

}  // namespace vorlane::TypInfo
