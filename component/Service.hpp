// The joystick service the component calls: on Windows the functions bound by
// vorlane/JoystickBinding.hpp (winmm.dll unless the project's service was chosen),
// elsewhere the project's service, called directly.
#pragma once

#include <atomic>
#include <cstddef>

#include "vorlane/JoystickBinding.hpp"
#include "vorlane/runtime/System.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::Joystick::Service {

using JoystickBinding::TServiceFunctions;

// The functions this build knows by the joy* names: winmm's on Windows (whose
// addresses are known only at run time), the project's elsewhere.
constexpr TServiceFunctions NamedFunctions() {
  return {
      .GetNumDevs = &::joyGetNumDevs,
      .GetPos = &::joyGetPos,
      .GetPosEx = &::joyGetPosEx,
      .GetDevCapsW = &::joyGetDevCapsW,
      .GetThreshold = &::joyGetThreshold,
      .SetThreshold = &::joySetThreshold,
      .SetCapture = &::joySetCapture,
      .ReleaseCapture = &::joyReleaseCapture,
  };
}

#ifdef _WIN32
// Null until a binding call: the system's service.
extern constinit std::atomic<const TServiceFunctions*> Bound;

inline const TServiceFunctions& Functions() {
  const TServiceFunctions* bound = Bound.load(std::memory_order_acquire);
  return bound != nullptr ? *bound : JoystickBinding::SystemService();
}
#else
// Constant, so that every call through it is a direct call.
inline constexpr TServiceFunctions Direct = NamedFunctions();

inline const TServiceFunctions& Functions() {
  return Direct;
}
#endif

// A framework window as the C API names it: on Windows the framework's windows are
// the system's, whose handles the system's service takes.
inline HWND ApiWindow(Messages::HWND window) {
  return reinterpret_cast<HWND>(window);
}

// A string field of a service record (of 16-bit units: wchar_t on Windows, copied
// unit by unit rather than read through another type), up to its first NUL.
template <std::size_t N>
System::String Text(const WCHAR (&field)[N]) {
  static_assert(sizeof(WCHAR) == sizeof(char16_t));
  char16_t units[N];
  for (std::size_t i = 0; i < N; ++i) units[i] = static_cast<char16_t>(field[i]);
  return System::StrFromUnits(units, N);
}

}  // namespace vorlane::Joystick::Service
