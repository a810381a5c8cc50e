// The units this library holds, listed while it is loaded.
#include "framework/runtime/UnitTable.hpp"

namespace vorlane {
namespace {

struct TDesignerUnits {
  static constexpr std::array<const char*, 3> Names = {"DesignIntf", "DesignEditors", "Inspector"};
  static inline std::int32_t Counts[Names.size()] = {};
};
const System::TLibraryUnits<TDesignerUnits> Units(VORLANE_PACKAGE_NAME);

}  // namespace
}  // namespace vorlane
