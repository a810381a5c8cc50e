// The units this library holds, listed while it is loaded.
#include "framework/runtime/UnitTable.hpp"

namespace vorlane {
namespace {

struct TVisualUnits {
  static constexpr std::array<const char*, 2> Names = {"Messages", "Forms"};
  static inline std::int32_t Counts[Names.size()] = {};
};
const System::TLibraryUnits<TVisualUnits> Units(VORLANE_PACKAGE_NAME);

}  // namespace
}  // namespace vorlane
