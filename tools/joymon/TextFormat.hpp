// Text shared by the plain and the full-screen view: an event as one line, the
// hat as an arrow, vendor:product in hex.
#pragma once

#include <string>

#include "EventLog.hpp"
#include "Reading.hpp"

namespace vorlane::JoyMon {

// "OnButtonDown  Changed [joButton2]  Pressed [joButton1, joButton2]  X 32767  Y 32767"
std::string EventText(const TEventRecord& event);

// "+12.345s": the time of an event since `start`.
std::string ElapsedText(TClock::time_point time, TClock::time_point start);

// The hat's direction as an arrow for a PointOfView value: the nearest of eight
// arrows, or a centre dot when centred. `unicode` chooses arrows over ASCII.
std::string HatArrow(System::Integer pointOfView, bool unicode);
// "45.00°" ("45.00 deg" without unicode), or "centred".
std::string HatAngle(System::Integer pointOfView, bool unicode);

// "045e:028e": a vendor and product identifier pair; "?" for what could not be read.
std::string VendorProduct(const TCapabilitiesReading& caps);

// A value, or "(message)" in place of one that could not be read.
std::string ValueText(const TRead<System::Integer>& value);
std::string ValueText(const TRead<System::String>& value);

}  // namespace vorlane::JoyMon
