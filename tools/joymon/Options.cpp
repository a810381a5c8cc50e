#include "Options.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace vorlane::JoyMon {

namespace {

[[noreturn]] void Fail(const std::string& text) {
  throw EUsageError(System::Utf8ToString(text));
}

// A whole decimal number within [min, max]; anything else is refused with a
// message naming the option.
std::int64_t ParseInteger(std::string_view option, std::string_view text, std::int64_t min,
                          std::int64_t max) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max)
    Fail(std::string(option) + ": expected a whole number from " + std::to_string(min) + " to " +
         std::to_string(max) + ", got \"" + std::string(text) + "\"");
  return value;
}

double ParseSeconds(std::string_view option, std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || value <= 0 ||
      value > 1e6)
    Fail(std::string(option) + ": expected a number of seconds greater than 0, got \"" +
         std::string(text) + "\"");
  return value;
}

}  // namespace

TOptions ParseOptions(int argc, const char* const* argv) {
  TOptions o;
  constexpr std::int64_t IntegerMax = std::numeric_limits<System::Integer>::max();
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view name = arg;
    std::optional<std::string_view> inlineValue;
    if (arg.starts_with("--")) {
      if (auto eq = arg.find('='); eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
      }
    }
    // The value of an option that takes one: "--name=value" or "--name value".
    auto value = [&]() -> std::string_view {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= argc) Fail(std::string(name) + ": a value is missing");
      return argv[++i];
    };
    auto flag = [&](bool& target) {
      if (inlineValue) Fail(std::string(name) + ": takes no value");
      target = true;
    };

    if (name == "-h" || name == "--help") {
      flag(o.Help);
    } else if (name == "--version") {
      flag(o.Version);
    } else if (name == "--list") {
      flag(o.List);
    } else if (name == "--json") {
      flag(o.Json);
    } else if (name == "--once") {
      flag(o.Once);
    } else if (name == "--events") {
      flag(o.Events);
    } else if (name == "--demo") {
      flag(o.Demo);
    } else if (name == "--no-demo") {
      flag(o.NoDemo);
    } else if (name == "--raw") {
      flag(o.Raw);
    } else if (name == "--device") {
      std::string_view file = value();
      if (file.empty()) Fail("--device: the file name is empty");
      o.Devices.emplace_back(file);
    } else if (name == "--controller") {
      o.Controller = static_cast<System::Integer>(ParseInteger(name, value(), 0, IntegerMax));
    } else if (name == "--mode") {
      std::string_view mode = value();
      if (mode == "polling")
        o.Mode = Joystick::emPolling;
      else if (mode == "threshold")
        o.Mode = Joystick::emThreshold;
      else
        Fail("--mode: expected \"polling\" or \"threshold\", got \"" + std::string(mode) + "\"");
    } else if (name == "--period") {
      o.Period = static_cast<System::Integer>(ParseInteger(name, value(), 0, IntegerMax));
    } else if (name == "--threshold") {
      o.Threshold = static_cast<System::Integer>(ParseInteger(name, value(), 0, 65535));
    } else if (name == "--count") {
      o.Count = static_cast<std::uint64_t>(ParseInteger(name, value(), 1, IntegerMax));
    } else if (name == "--seconds") {
      o.Seconds = ParseSeconds(name, value());
    } else {
      Fail("unknown option \"" + std::string(arg) + "\" (joymon --help lists the options)");
    }
  }

  if (o.Demo && o.NoDemo) Fail("--demo and --no-demo contradict each other");
  if (o.Once && o.Events) Fail("--once and --events contradict each other");
  if (o.Once && (o.Count || o.Seconds))
    Fail("--once prints one snapshot; --count and --seconds do not apply to it");
  if (o.List && (o.Once || o.Events || o.Count || o.Seconds))
    Fail(
        "--list prints the controllers once; --once, --events, --count and --seconds do not "
        "apply to it");
  // JSON is for scripts: without --events it is one snapshot.
  if (o.Json && !o.Events && !o.List) o.Once = true;
  return o;
}

const char* UsageText() {
  return R"(Usage: joymon [OPTION]...
Watches a game controller live through the TJoystick component: its axes, hat,
buttons, capabilities and events. With no controller attached it shows the
built-in demo controller.

What to show:
  (none)              full-screen view in a terminal, plain lines otherwise
  --list              every controller number with its state, and the event
                      nodes that could not be opened and why
  --once              one snapshot of every value, then exit
  --events            only the events, one per line
  --json              machine-readable output: with --once (the default) one
                      JSON object of every value, with --events one JSON object
                      per event per line, with --list the controller list
  --count K           stop after K events
  --seconds S         stop after S seconds (fractions allowed)

Which controller:
  --controller N      watch controller number N (default: the first attached)
  --demo              attach the built-in demo controller (six axes, a hat,
                      twelve buttons, moving by itself) and watch it
  --no-demo           never attach the demo controller by itself
  --device FILE       replay an evemu recording as a controller and watch it
                      (may be given more than once)

How the component is set up:
  --mode polling|threshold   EventMode: events every period, or only on movement
                             beyond the threshold (default threshold)
  --period MS         PollingPeriod in milliseconds (default 0: the shortest)
  --threshold N       Threshold, 0 to 65535 position units
  --raw               RawData: uncalibrated readings

  -h, --help          this text
  --version           the component's version

Keys in the full-screen view:
  q quit   n/p next/previous controller   m event mode   r raw data
  +/- threshold up/down by 1000   u unplug and replug the demo controller

Environment: VORLANE_JOYSTICK_BACKENDS (evdev, virtual or both) chooses the
backends; VORLANE_JOYSTICK_DEVICES (recordings separated by ':') attaches
replayed controllers.
)";
}

}  // namespace vorlane::JoyMon
