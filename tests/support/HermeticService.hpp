// A joystick service that only the test itself feeds: the virtual backend alone,
// so that no controller of the machine (evdev) or named in the environment (a
// replay) takes a number, and a fresh start, so that nothing of an earlier test
// (captures, numbers, thresholds, faults, the call log) is left.
#pragma once

namespace vorlane::testing {

// Sets VORLANE_JOYSTICK_BACKENDS=virtual, clears VORLANE_JOYSTICK_DEVICES and
// restarts the service (JoystickService::ResetForTesting). Virtual controllers that
// are alive keep their order and get their numbers again on the next call.
void UseHermeticService();

}  // namespace vorlane::testing
