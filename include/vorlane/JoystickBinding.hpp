// Which multimedia joystick service TJoystick calls.
//
// On Windows the component calls the system's joystick functions in winmm.dll by
// default. UseVorlaneService binds it instead to the project's own service
// (vorlane-joyservice: virtual controllers, recorded devices, fault injection and
// the call log of vorlane/JoystickTesting.hpp), which is how the test programs run
// the component as on Linux; UseSystemService binds it back. On Linux the project's
// service is the system's: the component calls it directly, both calls leave it so,
// and SystemService and BoundService hold the same functions as VorlaneService.
//
//   int main() {
//     vorlane::JoystickBinding::UseVorlaneService();  // before the first TJoystick
//     ...
//   }
//
// Bind before any component is used: a capture made through one service is
// released through the service bound at the moment of its release. The binding
// belongs to the component's library (vorlane-joystick): every component made by
// that library follows it, and reading it is safe from any thread. The design
// package holds a copy of the component of its own, which keeps to winmm.dll.
//
// This header brings the C API (vorlane/joystickapi.h, on Windows <windows.h>'s
// types); vorlane/Joystick.hpp does not include it.
#pragma once

#include "vorlane/joystickapi.h"

namespace vorlane::JoystickBinding {

// The functions of a joystick service that the component calls, one pointer each,
// with the C API's signatures and calling convention.
struct TServiceFunctions {
  UINT(WINAPI* GetNumDevs)(void);
  MMRESULT(WINAPI* GetPos)(UINT, LPJOYINFO);
  MMRESULT(WINAPI* GetPosEx)(UINT, LPJOYINFOEX);
  MMRESULT(WINAPI* GetDevCapsW)(UINT_PTR, LPJOYCAPSW, UINT);
  MMRESULT(WINAPI* GetThreshold)(UINT, UINT*);
  MMRESULT(WINAPI* SetThreshold)(UINT, UINT);
  MMRESULT(WINAPI* SetCapture)(HWND, UINT, UINT, BOOL);
  MMRESULT(WINAPI* ReleaseCapture)(UINT);
};

// The project's service (defined by vorlane-joyservice).
const TServiceFunctions& VorlaneService();
// The system's: winmm.dll on Windows, the project's service elsewhere.
const TServiceFunctions& SystemService();

// Bind the component to the project's service, or back to the system's.
void UseVorlaneService();
void UseSystemService();
// The service the component calls now.
const TServiceFunctions& BoundService();

}  // namespace vorlane::JoystickBinding
