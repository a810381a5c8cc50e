// joymon's JSON: a snapshot of every published value of a TJoystick (and of its
// Capabilities), read through the published-property tables, and one object per
// event.
#pragma once

#include "EventLog.hpp"
#include "Json.hpp"
#include "vorlane/Joystick.hpp"

namespace vorlane::JoyMon {

// {"error": code, "message": text}: what a read that raised is replaced with.
void WriteError(TJsonWriter& json, const Joystick::EJoystickError& error);

// Writes, as members of the object that is open in `json`, every published
// property of `object` that is not an event, in the class's declared order, except
// those that `object` inherits from `base` (nullptr: none). Each value is read once;
// a read that raises EJoystickError is written as WriteError. Integers are numbers,
// Booleans true/false, other enumerations their element name, sets a list of
// element names, strings strings, objects nested objects of their own properties.
void WritePublishedProperties(TJsonWriter& json, System::TObject& object,
                              const TypInfo::TClassInfo* base);

// One object: the published properties of `joystick` (not those of TComponent),
// then ControllerCount and Attached (for its Controller).
void WriteSnapshot(TJsonWriter& json, Joystick::TJoystick& joystick);

// {"event": "OnMove", "Pressed": [...], "X": n, "Y": n, "Time": s} and the like:
// the handler's parameters by their names, and the seconds since `start`.
void WriteEvent(TJsonWriter& json, const TEventRecord& event, TClock::time_point start);

}  // namespace vorlane::JoyMon
