// The units this library holds, listed while it is loaded.
#include "framework/runtime/UnitTable.hpp"

namespace vorlane {
namespace {

struct TJoystickServiceUnits {
  static constexpr std::array<const char*, 1> Names = {"joystickapi"};
  static inline std::int32_t Counts[Names.size()] = {};
};
const System::TLibraryUnits<TJoystickServiceUnits> Units(VORLANE_PACKAGE_NAME);

}  // namespace
}  // namespace vorlane
