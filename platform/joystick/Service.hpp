// The joystick service core as the rest of the platform sees it: starting it,
// attaching and detaching backends at run time, and putting it back to its first
// state for tests. The joy* functions themselves are in vorlane/joystickapi.h.
//
// Start. The service starts on the first joy* call (or the first virtual
// controller), once, thread-safely. It opens, in this order:
//   1. the virtual backend (always: controllers made in code are always allowed);
//   2. one replay backend for the recordings listed in VORLANE_JOYSTICK_DEVICES
//      (paths separated by ':'), so that they are numbered first, in list order;
//   3. the evdev backend, when VORLANE_JOYSTICK_BACKENDS selects it.
// VORLANE_JOYSTICK_BACKENDS is "evdev", "virtual" or both, comma-separated; unset
// or empty means both. Unknown names are reported once on stderr and ignored.
// "virtual" alone keeps the service hermetic: no hardware is looked at.
// A backend that fails to start (for example a malformed recording) is reported on
// stderr and left out; the service goes on without it.
//
// Numbers. A device reported by a backend gets the number it had before when a
// device with the same identity was attached earlier and that number is still
// kept for it, else the lowest number that is neither attached nor kept, else
// (all 16 in use) the lowest number that is only kept. A number is kept from
// DeviceRemoved until the device returns, its backend is detached, or the
// service is reset.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "joystick/JoystickDriver.hpp"
#include "vorlane/JoystickTesting.hpp"

namespace vorlane::JoystickService {

// Starts the service if it has not started yet. Every joy* call does this.
void Start();

// Hands a backend to the service, which opens it at once (its devices get their
// numbers as it reports them) and owns it until DetachDriver, ResetForTesting or
// the end of the process. Starts the service first. Returns the backend, or
// nullptr when `driver` is null. Lets tools attach a replay at run time.
TJoystickDriver* AttachDriver(std::unique_ptr<TJoystickDriver> driver);

// Closes and destroys a backend given to AttachDriver or opened at start; the
// numbers kept for its devices are freed and captures of its devices released.
// Returns false (and does nothing) when the service does not own `driver`.
bool DetachDriver(TJoystickDriver* driver);

// The names of the backends open now, in the order they were opened.
std::vector<std::string> GetDriverNames();

// The number a device has while attached or kept for it; -1 otherwise.
int NumberOf(const TJoystickDevice* device);

// What the records cannot hold of the device attached as `number` (its
// TDeviceInfo::LeftOut); empty when nothing is attached there.
std::vector<std::string> LeftOutOf(int number);

// The core's side of fault injection and the call log, which the test-support
// library (vorlane/JoystickTesting.hpp) arms and reads.
void AddFault(JoystickTesting::TServiceCall call, UINT controller, MMRESULT code, int times);
void ClearFaults();
void StartCallLog();
std::vector<JoystickTesting::TCallRecord> GetCallLog();
void StopCallLog(bool clear);

// Tests only: closes every backend (the virtual one included: live virtual
// controllers are reported removed), releases every capture, forgets every number
// and threshold, clears faults and the call log, and lets the next call start the
// service again, reading the environment afresh. Live virtual controllers are
// attached again by that start, in the order they were made.
void ResetForTesting();

// --- Backend hook ---------------------------------------------------------------
// Made by Backends.cpp, the one place that knows the hardware and replay backends.
// Each returns nullptr when the backend is not part of this build.
std::unique_ptr<TJoystickDriver> MakeEvdevDriver();
std::unique_ptr<TJoystickDriver> MakeReplayDriver(const std::vector<std::string>& recordingPaths);
// Made by virtual/VirtualDriver.cpp: the virtual backend, which lives as long as
// the process (virtual controllers may outlive the service's own shutdown).
TJoystickDriver& VirtualDriver();

}  // namespace vorlane::JoystickService
