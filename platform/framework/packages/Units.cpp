// The units this library holds, listed while it is loaded.
#include "framework/runtime/UnitTable.hpp"

namespace vorlane {
namespace {

struct TPackagesUnits {
  static constexpr std::array<const char*, 1> Names = {"Packages"};
  static inline std::int32_t Counts[Names.size()] = {};
};
const System::TLibraryUnits<TPackagesUnits> Units(VORLANE_PACKAGE_NAME);

}  // namespace
}  // namespace vorlane
