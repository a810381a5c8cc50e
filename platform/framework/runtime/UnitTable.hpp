// The units of one library as System::RegisterUnits lists them: each unit's routines
// only count, since a library sets itself up when it is loaded. A library declares
//
//   struct TVisualUnits {
//     static constexpr std::array<const char*, 2> Names = {"Messages", "Forms"};
//     static inline std::int32_t Counts[Names.size()] = {};
//   };
//   const System::TLibraryUnits<TVisualUnits> Units(VORLANE_PACKAGE_NAME);
//
// in an unnamed namespace, which gives every unit routines of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "vorlane/runtime/System.hpp"

namespace vorlane::System {

template <class TUnits, std::size_t I>
void CountInit() {
  --TUnits::Counts[I];
}
template <class TUnits, std::size_t I>
void CountFInit() {
  ++TUnits::Counts[I];
}

template <class TUnits>
class TLibraryUnits {
 public:
  explicit TLibraryUnits(const char* package)
      : FPackage(package), FEntries(Make(std::make_index_sequence<TUnits::Names.size()>())) {
    RegisterUnits(FPackage, FEntries.data(), FEntries.size());
  }
  ~TLibraryUnits() { UnregisterUnits(FPackage); }
  TLibraryUnits(const TLibraryUnits&) = delete;
  TLibraryUnits& operator=(const TLibraryUnits&) = delete;

 private:
  using TEntries = std::array<TUnitEntry, TUnits::Names.size()>;
  template <std::size_t... I>
  static TEntries Make(std::index_sequence<I...>) {
    return {TUnitEntry{TUnits::Names[I], &CountInit<TUnits, I>, &CountFInit<TUnits, I>,
                       &TUnits::Counts[I]}...};
  }
  const char* FPackage;
  TEntries FEntries;
};

}  // namespace vorlane::System
