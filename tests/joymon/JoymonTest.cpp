// joymon end to end: the built binary on no controller, on its demo controller
// and on replayed recordings, its JSON read back with a real parser.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "JsonValue.hpp"
#include "Run.hpp"
#include "vorlane/Joystick.hpp"

namespace vorlane::JoyMon::testing {
namespace {

const std::string DataDir = VORLANE_EVDEV_DATA_DIR;
const std::string Gamepad = DataDir + "/gamepad-xbox360.evemu";
const std::string Wheel = DataDir + "/wheel-pedals.evemu";
const std::map<std::string, std::string> VirtualOnly = {{"VORLANE_JOYSTICK_BACKENDS", "virtual"}};
const char* const Unplugged = "The specified joystick is not connected to the system.";

// The live values of TJoystick: their reads fail when there is no controller.
const char* const LiveKeys[] = {"CenteredR",      "CenteredU",
                                "CenteredV",      "CenteredX",
                                "CenteredY",      "CenteredZ",
                                "PositionR",      "PositionU",
                                "PositionV",      "PositionX",
                                "PositionY",      "PositionZ",
                                "PointOfView",    "PointOfViewDirection",
                                "PressedButtons", "PressedButtonCount"};
const char* const AxisKeys[] = {"PositionX", "PositionY", "PositionZ", "PositionR",
                                "PositionU", "PositionV", "CenteredX", "CenteredY",
                                "CenteredZ", "CenteredR", "CenteredU", "CenteredV"};

TJson Parse(const TRunResult& run) {
  EXPECT_FALSE(run.TimedOut);
  try {
    return ParseJson(run.Out);
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what() << "\nstdout:\n" << run.Out << "\nstderr:\n" << run.Err;
    return {};
  }
}

std::vector<TJson> ParseLines(const TRunResult& run) {
  std::vector<TJson> values;
  for (const std::string& line : Lines(run.Out)) {
    try {
      values.push_back(ParseJson(line));
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what() << " in line: " << line;
    }
  }
  return values;
}

void ExpectError(const TJson& value, int code, const std::string& message,
                 const std::string& what) {
  ASSERT_EQ(value.Kind, TJson::TKind::Object) << what;
  EXPECT_EQ(value.Keys, (std::vector<std::string>{"error", "message"})) << what;
  EXPECT_EQ(value["error"].Number, code) << what;
  EXPECT_EQ(value["message"].String, message) << what;
}

void ExpectPosition(const TJson& value, const std::string& what) {
  ASSERT_TRUE(value.IsInteger()) << what;
  EXPECT_GE(value.Number, 0) << what;
  EXPECT_LE(value.Number, 65535) << what;
}

// The keys a snapshot must have, in order, from the component's own type
// information: its published properties other than events and those of
// TComponent, then ControllerCount and Attached.
std::vector<std::string> ExpectedSnapshotKeys() {
  std::vector<std::string> keys;
  for (const TypInfo::TPropInfo* p : TypInfo::GetPropList(Joystick::TJoystick::StaticClass())) {
    if (p->PropType->Kind == TypInfo::TTypeKind::tkMethod) continue;
    if (TypInfo::GetPropInfo(Classes::TComponent::StaticClass(), p->Name) != nullptr) continue;
    keys.emplace_back(p->Name);
  }
  keys.emplace_back("ControllerCount");
  keys.emplace_back("Attached");
  return keys;
}

std::vector<std::string> CapabilityNames() {
  std::vector<std::string> names;
  for (const TypInfo::TPropInfo* p : TypInfo::GetPropList(Joystick::TCapabilities::StaticClass()))
    names.emplace_back(p->Name);
  return names;
}

// A copy of a recording whose events start `leadIn` seconds late, after a lone
// SYN_REPORT: the recorded events then reach a capture that is certainly in place.
std::string DelayedRecording(const std::string& source, double leadIn) {
  std::ifstream in(source);
  EXPECT_TRUE(in) << source;
  char name[] = "/tmp/joymon-test-XXXXXX.evemu";
  const int fd = mkstemps(name, 6);
  EXPECT_GE(fd, 0);
  close(fd);
  std::ofstream out(name);
  bool first = true;
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("E: ")) {
      out << line << '\n';
      continue;
    }
    if (first) out << "E: 0.000000 0000 0000 0000\n";
    first = false;
    std::istringstream fields(line.substr(3));
    double time = 0;
    std::string rest;
    fields >> time;
    std::getline(fields, rest);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.6f", time + leadIn);
    out << "E: " << stamp << rest << '\n';
  }
  return name;
}

TEST(JoymonNoController, JsonSnapshotReportsEveryFailedReadAndSucceeds) {
  const TRunResult run = RunJoymon({"--json", "--once"}, VirtualOnly);
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const TJson doc = Parse(run);
  ASSERT_EQ(doc.Kind, TJson::TKind::Object);
  EXPECT_EQ(doc.Keys, ExpectedSnapshotKeys());

  for (const char* key : LiveKeys) ExpectError(doc[key], 167, Unplugged, key);
  const TJson& caps = doc["Capabilities"];
  EXPECT_EQ(caps.Keys, CapabilityNames());
  EXPECT_EQ(caps.Keys.size(), 24u);
  for (const std::string& key : caps.Keys) ExpectError(caps[key], 167, Unplugged, key);

  // Settings are plain values; no demo controller stepped in for a script.
  EXPECT_EQ(doc["Active"].Kind, TJson::TKind::Bool);
  EXPECT_FALSE(doc["Attached"].Bool);
  EXPECT_EQ(doc["Controller"].Number, 0);
  EXPECT_EQ(doc["EventMode"].String, "emThreshold");
  EXPECT_EQ(doc["ControllerCount"].Number, 16);
  EXPECT_EQ(doc["RawData"].Kind, TJson::TKind::Bool);
  EXPECT_TRUE(doc["About"].String.starts_with("Version 4.6"));
}

TEST(JoymonNoController, SettingsFromTheCommandLineReachTheComponent) {
  const TRunResult run = RunJoymon(
      {"--json", "--controller", "3", "--mode", "polling", "--period", "20", "--raw"}, VirtualOnly);
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const TJson doc = Parse(run);
  EXPECT_EQ(doc["Controller"].Number, 3);
  EXPECT_EQ(doc["EventMode"].String, "emPolling");
  EXPECT_EQ(doc["PollingPeriod"].Number, 20);
  EXPECT_TRUE(doc["RawData"].Bool);
  ExpectError(doc["PositionX"], 167, Unplugged, "PositionX");
}

TEST(JoymonNoController, PlainViewStartsTheDemoUnlessTold) {
  const TRunResult demo = RunJoymon({"--seconds", "0.6"}, VirtualOnly);
  ASSERT_EQ(demo.ExitCode, 0) << demo.Err;
  EXPECT_NE(demo.Out.find("no controller attached: showing the built-in demo controller (--demo)"),
            std::string::npos)
      << demo.Out;
  EXPECT_NE(demo.Out.find("joymon demo controller"), std::string::npos);
  EXPECT_NE(demo.Out.find(" OnMove "), std::string::npos) << demo.Out;

  const TRunResult none = RunJoymon({"--no-demo", "--seconds", "0.3"}, VirtualOnly);
  ASSERT_EQ(none.ExitCode, 0) << none.Err;
  EXPECT_EQ(none.Out.find("demo"), std::string::npos) << none.Out;
  EXPECT_NE(none.Out.find(std::string("controller 0: ") + Unplugged), std::string::npos)
      << none.Out;
}

TEST(JoymonNoController, EventsSayWhatTheyWaitFor) {
  const TRunResult run =
      RunJoymon({"--json", "--events", "--controller", "2", "--seconds", "0.2"}, VirtualOnly);
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_TRUE(run.Out.empty()) << run.Out;
  EXPECT_NE(run.Err.find("controller 2 is not attached; waiting for it"), std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("joymon --demo"), std::string::npos) << run.Err;

  // With a controller there is nothing to explain.
  const TRunResult demo = RunJoymon({"--json", "--events", "--demo", "--count", "1"}, VirtualOnly);
  ASSERT_EQ(demo.ExitCode, 0) << demo.Err;
  EXPECT_EQ(demo.Err.find("waiting"), std::string::npos) << demo.Err;
}

TEST(JoymonHelp, ListsEveryKeyOfTheFullScreenView) {
  const TRunResult run = RunJoymon({"--help"}, VirtualOnly);
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const std::size_t keys = run.Out.find("Keys in the full-screen view:");
  ASSERT_NE(keys, std::string::npos) << run.Out;
  for (const char* key : {"q quit", "n/p", "m event mode", "r raw data", "+/- threshold",
                          "u unplug and replug the demo controller"})
    EXPECT_NE(run.Out.find(key, keys), std::string::npos) << key;
}

TEST(JoymonList, SaysWhenThereIsNoInputDirectory) {
  if (access("/dev/input", F_OK) == 0) GTEST_SKIP() << "this machine has /dev/input";
  const TRunResult run = RunJoymon({"--list"}, {{"VORLANE_JOYSTICK_BACKENDS", "evdev"}});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_NE(run.Out.find("event nodes: there is no /dev/input on this machine"), std::string::npos)
      << run.Out;
  EXPECT_EQ(run.Out.find("every joystick node could be opened"), std::string::npos) << run.Out;
}

TEST(JoymonList, ShowsEveryNumberAndTheAttachedControllers) {
  const TRunResult empty = RunJoymon({"--list"}, VirtualOnly);
  ASSERT_EQ(empty.ExitCode, 0) << empty.Err;
  const std::vector<std::string> lines = Lines(empty.Out);
  ASSERT_GE(lines.size(), 18u) << empty.Out;
  EXPECT_EQ(lines[0], "ControllerCount 16");
  for (int n = 0; n < 16; ++n) {
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%3d  ", n);
    EXPECT_TRUE(lines[static_cast<std::size_t>(n) + 1].starts_with(prefix)) << lines[n + 1];
    EXPECT_EQ(lines[static_cast<std::size_t>(n) + 1].find("attached"), std::string::npos);
  }
  EXPECT_NE(empty.Out.find("evdev backend is not enabled"), std::string::npos);

  const TRunResult demo = RunJoymon({"--list", "--demo", "--json"}, VirtualOnly);
  ASSERT_EQ(demo.ExitCode, 0) << demo.Err;
  const TJson doc = Parse(demo);
  EXPECT_EQ(doc["ControllerCount"].Number, 16);
  ASSERT_EQ(doc["Controllers"].Array.size(), 16u);
  const TJson& first = doc["Controllers"][0];
  EXPECT_TRUE(first["Attached"].Bool);
  EXPECT_EQ(first["ProductName"].String, "joymon demo controller");
  EXPECT_EQ(first["AxesCount"].Number, 6);
  EXPECT_EQ(first["ButtonCount"].Number, 12);
  const TJson& second = doc["Controllers"][1];
  EXPECT_FALSE(second["Attached"].Bool);
  EXPECT_EQ(second["error"].Number, 167);
  EXPECT_FALSE(doc["EvdevScanned"].Bool);
}

TEST(JoymonDemo, JsonSnapshotShowsLiveValues) {
  const TRunResult run = RunJoymon({"--demo", "--json", "--once"}, VirtualOnly);
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const TJson doc = Parse(run);
  EXPECT_TRUE(doc["Attached"].Bool);
  EXPECT_TRUE(doc["Active"].Bool);
  for (const char* key : AxisKeys) ExpectPosition(doc[key], key);
  // The pattern starts with the first button held and the hat centred.
  EXPECT_EQ(doc["PressedButtons"].Strings(), std::vector<std::string>{"joButton1"});
  EXPECT_EQ(doc["PressedButtonCount"].Number, 1);
  EXPECT_EQ(doc["PointOfView"].Number, 65535);
  EXPECT_EQ(doc["PointOfViewDirection"].String, "pdCentered");
  // The trigger (Z) rests at its minimum, the twist (R) in its middle.
  EXPECT_EQ(doc["PositionZ"].Number, 0);
  EXPECT_EQ(doc["CenteredZ"].Number, 32767);

  const TJson& caps = doc["Capabilities"];
  EXPECT_EQ(caps["ProductName"].String, "joymon demo controller");
  EXPECT_EQ(caps["AxesCount"].Number, 6);
  EXPECT_EQ(caps["ButtonCount"].Number, 12);
  EXPECT_EQ(caps["Flags"].Strings(),
            (std::vector<std::string>{"cfHasZ", "cfHasR", "cfHasU", "cfHasV", "cfHasPointOfView",
                                      "cfDiscretePointOfView"}));
}

TEST(JoymonDemo, JsonEventsStopAfterTheCount) {
  const TRunResult run = RunJoymon({"--demo", "--json", "--events", "--count", "5"}, VirtualOnly);
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const std::vector<TJson> events = ParseLines(run);
  ASSERT_EQ(events.size(), 5u) << run.Out;
  double last = 0;
  for (const TJson& e : events) {
    const std::string name = e["event"].String;
    ASSERT_TRUE(name == "OnMove" || name == "OnMoveZ" || name == "OnButtonDown" ||
                name == "OnButtonUp")
        << name;
    EXPECT_EQ(e["Pressed"].Kind, TJson::TKind::Array);
    if (name == "OnMoveZ") {
      ExpectPosition(e["Z"], name);
    } else {
      ExpectPosition(e["X"], name);
      ExpectPosition(e["Y"], name);
    }
    EXPECT_GE(e["Time"].Number, last);
    last = e["Time"].Number;
  }
  // The demo moves its stick from the start.
  EXPECT_EQ(events[0]["event"].String, "OnMove");
}

TEST(JoymonRecording, JsonSnapshotOfAReplayedDevice) {
  const TRunResult run = RunJoymon({"--device", Gamepad, "--json"}, VirtualOnly);
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const TJson doc = Parse(run);
  EXPECT_TRUE(doc["Attached"].Bool);
  for (const char* key : AxisKeys) ExpectPosition(doc[key], key);
  const TJson& caps = doc["Capabilities"];
  EXPECT_EQ(caps["ProductName"].String, "Microsoft X-Box 360 pad");
  EXPECT_EQ(caps["Manufacturer"].Number, 0x045e);
  EXPECT_EQ(caps["Product"].Number, 0x028e);
  EXPECT_EQ(caps["ButtonCount"].Number, 11);
  const std::vector<std::string> flags = caps["Flags"].Strings();
  EXPECT_NE(std::find(flags.begin(), flags.end(), "cfHasPointOfView"), flags.end());
}

TEST(JoymonRecording, JsonEventsOfAReplayedDevice) {
  const std::string recording = DelayedRecording(Gamepad, 0.4);
  const TRunResult run =
      RunJoymon({"--device", recording, "--json", "--events", "--count", "6", "--seconds", "20"},
                VirtualOnly);
  std::remove(recording.c_str());
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const std::vector<TJson> events = ParseLines(run);
  std::vector<std::string> names;
  for (const TJson& e : events) names.push_back(e["event"].String);
  // Stick pushed, A pressed, hat (no event), trigger pulled, then all released in
  // one update: move, Z move, button up, in the service's order.
  ASSERT_EQ(names, (std::vector<std::string>{"OnMove", "OnButtonDown", "OnMoveZ", "OnMove",
                                             "OnMoveZ", "OnButtonUp"}))
      << run.Out;
  EXPECT_GT(events[0]["X"].Number, 32768);  // ABS_X 12000 of -32768..32767
  EXPECT_LT(events[0]["Y"].Number, 32767);  // ABS_Y -8000
  EXPECT_EQ(events[1]["Changed"].Strings(), std::vector<std::string>{"joButton1"});
  EXPECT_EQ(events[1]["Pressed"].Strings(), std::vector<std::string>{"joButton1"});
  EXPECT_EQ(events[1]["X"].Number, events[0]["X"].Number);
  // Both triggers share one centred Z, as Windows shows an Xbox pad: the left one
  // (ABS_Z 255 of 0..255) pulls toward the maximum, the right one (ABS_RZ 128)
  // halfway back toward the minimum.
  EXPECT_NEAR(events[2]["Z"].Number, 32767 + 32768.0 * (1.0 - 128.0 / 255.0), 2.0);
  EXPECT_EQ(events[2]["Pressed"].Strings(), std::vector<std::string>{"joButton1"});
  EXPECT_EQ(events[4]["Z"].Number, 32767);  // both released: the centre
  EXPECT_EQ(events[5]["Changed"].Strings(), std::vector<std::string>{"joButton1"});
  EXPECT_TRUE(events[5]["Pressed"].Array.empty());
}

TEST(JoymonRecording, DevicesFromTheEnvironment) {
  std::map<std::string, std::string> env = VirtualOnly;
  env["VORLANE_JOYSTICK_DEVICES"] = Gamepad + ":" + Wheel;
  const TRunResult list = RunJoymon({"--list"}, env);
  ASSERT_EQ(list.ExitCode, 0) << list.Err;
  const std::vector<std::string> lines = Lines(list.Out);
  ASSERT_GE(lines.size(), 3u) << list.Out;
  EXPECT_NE(lines[1].find("attached"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("Microsoft X-Box 360 pad"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("045e:028e"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("attached"), std::string::npos) << lines[2];

  const TRunResult second = RunJoymon({"--json", "--controller", "1"}, env);
  ASSERT_EQ(second.ExitCode, 0) << second.Err;
  const TJson doc = Parse(second);
  EXPECT_TRUE(doc["Attached"].Bool);
  EXPECT_EQ(doc["Controller"].Number, 1);
  EXPECT_NE(doc["Capabilities"]["ProductName"].String, "Microsoft X-Box 360 pad");
  ExpectPosition(doc["PositionX"], "PositionX");
}

TEST(JoymonRecording, TheViewSaysWhatTheRecordsCannotHold) {
  // A box of 44 buttons replayed by the service: the twelve beyond the records'
  // 32, by kernel code name; a pad whose controls all fit has no such line.
  std::map<std::string, std::string> env = VirtualOnly;
  env["VORLANE_JOYSTICK_DEVICES"] = DataDir + "/buttonbox-44.evemu:" + Gamepad;
  const TRunResult box = RunJoymon({"--no-demo", "--once"}, env);
  ASSERT_EQ(box.ExitCode, 0) << box.Err;
  EXPECT_NE(box.Out.find("  left out, more than 32 buttons: BTN_TRIGGER_HAPPY13 "),
            std::string::npos)
      << box.Out;
  const TRunResult pad = RunJoymon({"--no-demo", "--once", "--controller", "1"}, env);
  ASSERT_EQ(pad.ExitCode, 0) << pad.Err;
  EXPECT_NE(pad.Out.find("X-Box 360"), std::string::npos) << pad.Out;
  EXPECT_EQ(pad.Out.find("left out"), std::string::npos) << pad.Out;
}

TEST(JoymonErrors, BadCommandLinesAndRecordingsAreRefusedClearly) {
  struct {
    std::vector<std::string> args;
    const char* mention;
  } cases[] = {
      {{"--mode", "fast"}, "--mode"},         {{"--threshold", "70000"}, "--threshold"},
      {{"--count", "0"}, "--count"},          {{"--seconds", "soon"}, "--seconds"},
      {{"--controller"}, "--controller"},     {{"--frobnicate"}, "--frobnicate"},
      {{"--once", "--events"}, "contradict"}, {{"--demo", "--no-demo"}, "contradict"},
  };
  for (const auto& c : cases) {
    const TRunResult run = RunJoymon(c.args, VirtualOnly);
    EXPECT_EQ(run.ExitCode, 2) << c.mention;
    EXPECT_NE(run.Err.find(c.mention), std::string::npos) << run.Err;
    EXPECT_TRUE(run.Out.empty());
  }

  // The service has numbers 0 to 15; a larger one would never come back.
  for (const char* number : {"16", "99"}) {
    const TRunResult run = RunJoymon({"--controller", number, "--json"}, VirtualOnly);
    EXPECT_EQ(run.ExitCode, 2) << number;
    EXPECT_NE(run.Err.find("--controller: expected a controller number from 0 to 15"),
              std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find(std::string("got ") + number), std::string::npos) << run.Err;
    EXPECT_TRUE(run.Out.empty()) << run.Out;
  }
  const TRunResult last = RunJoymon({"--controller", "15", "--json"}, VirtualOnly);
  EXPECT_EQ(last.ExitCode, 0) << last.Err;

  const TRunResult missing =
      RunJoymon({"--device", "/nonexistent/pad.evemu", "--json"}, VirtualOnly);
  EXPECT_EQ(missing.ExitCode, 1);
  EXPECT_NE(missing.Err.find("/nonexistent/pad.evemu"), std::string::npos) << missing.Err;
  EXPECT_TRUE(missing.Out.empty()) << missing.Out;
}

}  // namespace
}  // namespace vorlane::JoyMon::testing
