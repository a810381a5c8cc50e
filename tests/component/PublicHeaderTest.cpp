// What an application gets from including vorlane/Joystick.hpp: the component and
// the framework under it, and no Windows-style macro or global Windows type. The
// header comes first, before anything else could define such names.
#include "vorlane/Joystick.hpp"

#if defined(TRUE) || defined(FALSE) || defined(BOOL)
#error "vorlane/Joystick.hpp defines TRUE, FALSE or BOOL"
#endif
#if defined(VORLANE_WINDEF_H) || defined(VORLANE_JOYSTICKAPI_H)
#error "vorlane/Joystick.hpp includes the C API's headers"
#endif

// An application may use these names for its own global types. Had the header
// declared any of them in the global namespace, these declarations would clash.
struct TApplicationType {};
using UINT = TApplicationType;
using BOOL = TApplicationType;
using DWORD = TApplicationType;
using WORD = TApplicationType;
using BYTE = TApplicationType;
using WPARAM = TApplicationType;
using LPARAM = TApplicationType;
using LRESULT = TApplicationType;
using MMRESULT = TApplicationType;
using HWND = TApplicationType;

#include <gtest/gtest.h>

#include <type_traits>

namespace {

TEST(PublicHeader, JoystickHeaderLeavesTheGlobalWindowsNamesToTheApplication) {
  // The framework's own message types are in its namespace and unaffected.
  static_assert(std::is_same_v<::UINT, TApplicationType>);
  static_assert(std::is_same_v<vorlane::Messages::UINT, std::uint32_t>);
  static_assert(std::is_same_v<decltype(vorlane::Messages::TMessage::WParam), std::uintptr_t>);
}

}  // namespace
