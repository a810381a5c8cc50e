// joymon's command line: what to show, for which controller, and how to set up
// the component before it is shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vorlane/Joystick.hpp"

namespace vorlane::JoyMon {

struct TOptions {
  bool Help = false;
  bool Version = false;
  bool List = false;
  bool Json = false;
  bool Once = false;
  bool Events = false;
  bool Demo = false;
  bool NoDemo = false;
  std::vector<std::string> Devices;  // --device FILE, in the order given
  std::optional<System::Integer> Controller;
  std::optional<Joystick::TEventMode> Mode;
  std::optional<System::Integer> Period;
  std::optional<System::Integer> Threshold;
  bool Raw = false;
  std::optional<std::uint64_t> Count;  // stop after this many events
  std::optional<double> Seconds;       // stop after this long
};

// A command line that cannot be followed; the message names the option and what
// was expected of it.
class EUsageError : public System::Exception {
 public:
  using Exception::Exception;
};

// Parses argv[1..argc-1]. Raises EUsageError for unknown options, missing or
// malformed values and combinations that contradict each other.
TOptions ParseOptions(int argc, const char* const* argv);

// The text of --help.
const char* UsageText();

}  // namespace vorlane::JoyMon
