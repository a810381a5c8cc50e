// The units this library holds, listed while it is loaded.
#include "framework/runtime/UnitTable.hpp"

namespace vorlane {
namespace {

struct TRuntimeUnits {
  static constexpr std::array<const char*, 5> Names = {"System", "Closure", "TypInfo", "Classes",
                                                       "FormData"};
  static inline std::int32_t Counts[Names.size()] = {};
};
const System::TLibraryUnits<TRuntimeUnits> Units(VORLANE_PACKAGE_NAME);

}  // namespace
}  // namespace vorlane
