// Persistent objects and components: ownership, names, state flags and loading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "vorlane/runtime/Set.hpp"
#include "vorlane/runtime/System.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::Classes {

using System::String;
using System::TObject;

// An object whose published properties can be streamed and assigned.
class TPersistent : public TObject {
 public:
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  // Copies `source` into this object. The default asks `source` to AssignTo this
  // object and, when it cannot, raises EConvertError
  // "Cannot assign a <source class, or nil> to a <this class>.".
  virtual void Assign(TPersistent* source);

 protected:
  virtual void AssignTo(TPersistent* dest);
};

// The framework's component state flags; csLoading has the value 1, csDesigning 16.
enum class TComponentStateFlag : std::uint8_t {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
};
using TComponentState = System::TSet<TComponentStateFlag, std::uint16_t>;
inline constexpr TComponentStateFlag csLoading = TComponentStateFlag::csLoading;
inline constexpr TComponentStateFlag csReading = TComponentStateFlag::csReading;
inline constexpr TComponentStateFlag csWriting = TComponentStateFlag::csWriting;
inline constexpr TComponentStateFlag csDestroying = TComponentStateFlag::csDestroying;
inline constexpr TComponentStateFlag csDesigning = TComponentStateFlag::csDesigning;

// A component: owned by another component (or by nobody), owning others. The owner
// destroys what it owns, last created first; a destroyed component leaves its
// owner's list. Published: Name and Tag.
//
// An owner with many components stays fast: FindComponent, the name check of
// SetName and a component's leaving its owner take constant time, GetComponents
// at most logarithmic time.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  TComponent* GetOwner() const { return FOwner; }
  int GetComponentCount() const { return static_cast<int>(FLive); }
  TComponent* GetComponents(int index) const;
  // The owned component named `name` (case-insensitive as the framework's names are), or nullptr.
  TComponent* FindComponent(const String& name) const;

  const String& GetName() const { return FName; }
  // Raises EComponentError when the name is not an identifier or is taken by a
  // sibling of the same owner.
  void SetName(const String& name);
  std::intptr_t GetTag() const { return FTag; }
  void SetTag(std::intptr_t tag) { FTag = tag; }

  TComponentState GetComponentState() const { return FComponentState; }

  // Sets csDestroying on this component and everything it owns. Free and the
  // owner's destruction call it before any destructor runs; ~TComponent calls it
  // too, for components deleted directly.
  void Destroying();
  void BeforeDestruction() override { Destroying(); }

  // Marks this component and everything it owns as being designed (or not).
  void SetDesigning(bool designing);
  // Sets csLoading on this component; form reading does this before it writes the
  // stored properties and calls Loaded afterwards.
  void BeginLoading();
  // Clears csLoading without calling Loaded: form reading does this on the root
  // when a read fails, so that the root is not left loading for ever.
  void CancelLoading();

  // Called after every stored property has been read; clears csLoading.
  virtual void Loaded();

 private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  void CloseGaps();

  TComponent* FOwner = nullptr;
  std::size_t FSlot = 0;  // this component's place in its owner's FSlots
  // The owned components in creation order. One that left its owner leaves a gap
  // (nullptr) until gaps outnumber the owned ones; FCounts, a Fenwick tree over the
  // slots (1 for an occupied one), finds the index-th owned component across gaps.
  std::vector<TComponent*> FSlots;
  std::vector<std::uint32_t> FCounts;
  std::size_t FLive = 0;
  std::unordered_map<String, TComponent*> FNames;  // owned named ones, by lower-case name
  String FName;
  std::intptr_t FTag = 0;
  TComponentState FComponentState;
};

// Raised for invalid component names and similar misuse.
class EComponentError : public System::Exception {
 public:
  using Exception::Exception;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

// The virtual constructor stored in a component class's TClassInfo.
template <class T>
TComponent* CreateComponent(TComponent* owner) {
  return new T(owner);
}

}  // namespace vorlane::Classes
