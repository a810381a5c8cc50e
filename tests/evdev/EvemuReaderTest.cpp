// Reading evemu recordings: the five recorded controllers, what evemu-record writes
// beyond the bare format, and every way a recording can be malformed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include "EvdevTestSupport.hpp"
#include "joystick/evdev/EvemuReader.hpp"
#include "vorlane/Evdev.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::EvdevTest {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The smallest useful recording: a two-button pad with one axis.
const std::string Header =
    "# EVEMU 1.3\n"
    "N: Test Pad\n"
    "I: 0003 1234 5678 0100\n"
    "B: 01 00 00 00 00 00 00 00 00\n"
    "B: 01 00 00 00 00 00 00 00 00\n"
    "B: 01 00 00 00 00 00 00 00 00\n"
    "B: 01 00 00 00 00 00 00 00 00\n"
    "B: 01 00 00 00 00 00 00 03 00\n"  // BTN_SOUTH, BTN_EAST
    "B: 03 01 00 00 00 00 00 00 00\n"  // ABS_X
    "A: 00 -100 100 0 0 0\n";

TEST(EvemuReader, ReadsTheRecordedControllers) {
  struct {
    const char* file;
    const char* name;
    std::uint16_t vendor, product;
    std::size_t events;
    int axes;
    std::uint32_t buttons;
  } const cases[] = {
      {"gamepad-xbox360.evemu", "Microsoft X-Box 360 pad", 0x045e, 0x028e, 19, 5, 11},
      {"flightstick-extreme3d.evemu", "Logitech Logitech Extreme 3D", 0x046d, 0xc215, 18, 4, 12},
      {"wheel-pedals.evemu", "Generic Racing Wheel", 0x044f, 0xb65d, 16, 3, 14},
      {"joystick-2axis.evemu", "DragonRise Inc.   Generic   USB  Joystick  ", 0x0079, 0x0006, 16, 2,
       4},
      {"buttonbox-44.evemu", "Leo Bodnar BU0836X Interface", 0x1dd2, 0x1001, 19, 2, 44},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const TRecording r = ReadControllerRecording(DataPath(c.file));
    EXPECT_EQ(r.VersionMajor, 1);
    EXPECT_EQ(r.VersionMinor, 3);
    EXPECT_STREQ(libevdev_get_name(r.Device.get()), c.name);
    EXPECT_EQ(libevdev_get_id_bustype(r.Device.get()), BUS_USB);
    EXPECT_EQ(r.Events.size(), c.events);
    EXPECT_EQ(r.Events.front().Time, 0);
    EXPECT_EQ(r.Events.back().Type, EV_SYN);
    const TDeviceMapping m = MapDevice(r.Device.get());
    EXPECT_EQ(m.Info.Vendor, c.vendor);
    EXPECT_EQ(m.Info.Product, c.product);
    int axes = 0;
    for (const TAxisRange& range : m.Info.Axes) axes += range.Present;
    EXPECT_EQ(axes, c.axes);
    EXPECT_EQ(m.Info.ButtonCount, c.buttons);
  }
}

TEST(EvemuReader, RecordingDescribesTheSameDeviceAsTheDriver) {
  // The recorded gamepad maps exactly like the one built from the driver's description.
  const TRecording r = ReadRecording(DataPath("gamepad-xbox360.evemu"));
  const TDeviceMapping recorded = MapDevice(r.Device.get());
  const TDeviceMapping built = MapDevice(Xbox360Pad().Get());
  EXPECT_EQ(recorded.CodeOfAxis, built.CodeOfAxis);
  EXPECT_EQ(recorded.ButtonCodes, built.ButtonCodes);
  for (int axis = 0; axis < AxisCount; ++axis) {
    EXPECT_EQ(recorded.Info.Axes[axis].Min, built.Info.Axes[axis].Min);
    EXPECT_EQ(recorded.Info.Axes[axis].Max, built.Info.Axes[axis].Max);
  }
  EXPECT_EQ(libevdev_get_abs_fuzz(r.Device.get(), ABS_X), 16);
  EXPECT_EQ(libevdev_get_abs_flat(r.Device.get(), ABS_X), 128);
  EXPECT_TRUE(libevdev_has_event_code(r.Device.get(), EV_FF, FF_RUMBLE));

  const TRecordedEvent& hat = r.Events[6];  // "E: 0.032000 0003 0011 -001"
  EXPECT_EQ(hat.Time, 32000);
  EXPECT_EQ(hat.Type, EV_ABS);
  EXPECT_EQ(hat.Code, ABS_HAT0Y);
  EXPECT_EQ(hat.Value, -1);
}

TEST(EvemuReader, AcceptsWhatEvemuAccepts) {
  // No version line (format 1.0), CRLF line ends, comments after fields, axes with
  // five numbers, short fractions, absolute times, LED and switch states.
  const std::string text =
      "N: Old Pad\r\n"
      "I: 0003 1234 5678 0100\r\n"
      "P: 00 00 00 00 00 00 00 00\r\n"
      "B: 01 00 00 00 00 00 00 00 00\r\n"
      "B: 01 00 00 00 00 00 00 00 00\r\n"
      "B: 01 00 00 00 00 00 00 00 00\r\n"
      "B: 01 00 00 00 00 00 00 00 00\r\n"
      "B: 01 00 00 00 00 00 00 01 00   # BTN_SOUTH\r\n"
      "B: 03 01 00 00 00 00 00 00 00\r\n"
      "B: 05 01 00 00 00 00 00 00 00\r\n"
      "B: 11 01 00 00 00 00 00 00 00\r\n"
      "A: 00 0 255 0 15\r\n"
      "L: 00 1\r\n"
      "S: 00 0\r\n"
      "\r\n"
      "E: 1389012345.5 0003 0000 0042\t# EV_ABS / ABS_X 42\r\n"
      "E: 1389012345.500000 0000 0000 0000\r\n"
      "E: 1389012346.25 0001 0130 0001\r\n";
  const TRecording r = ParseRecording(text, "old.evemu");
  EXPECT_EQ(r.VersionMinor, 0);
  EXPECT_STREQ(libevdev_get_name(r.Device.get()), "Old Pad");
  EXPECT_EQ(libevdev_get_abs_maximum(r.Device.get(), ABS_X), 255);
  EXPECT_EQ(libevdev_get_abs_flat(r.Device.get(), ABS_X), 15);
  EXPECT_EQ(libevdev_get_event_value(r.Device.get(), EV_LED, LED_NUML), 1);
  ASSERT_EQ(r.Events.size(), 3u);
  EXPECT_EQ(r.Events[0].Time, 0);
  EXPECT_EQ(r.Events[1].Time, 0);
  EXPECT_EQ(r.Events[2].Time, 750000);
  EXPECT_EQ(r.Events[0].Value, 42);
  EXPECT_EQ(r.Events[2].Line, 18u);

  // A description without events is a device that never moves.
  EXPECT_TRUE(ParseRecording(Header, "still.evemu").Events.empty());
}

TEST(EvemuReader, TakesEachAxisStartFromTheHeaderComments) {
  // evemu-record lists every axis with its value before the description; lines of
  // that list that do not read as such are comments like any other.
  const std::string text =
      "# EVEMU 1.3\n"
      "# Supported events:\n"
      "#   Event type 1 (EV_KEY)\n"
      "#     Event code 304 (BTN_SOUTH)\n"
      "#       Value        1\n"
      "#   Event type 3 (EV_ABS)\n"
      "#     Event code 0 (ABS_X)\n"
      "#       Value      -40\n"
      "#       Min       -100\n"
      "#     Event code 1 (ABS_Y)\n"
      "#       Value     lots\n"
      "#     Event code 99999 (ABS_WHAT)\n"
      "#       Value        7\n"
      "# Properties:\n"
      "#       Value        9\n" +
      Header.substr(Header.find("N:"));
  const TRecording r = ParseRecording(text, "started.evemu");
  EXPECT_EQ(r.ListedValues[ABS_X], -40);
  EXPECT_FALSE(r.ListedValues[ABS_Y].has_value());
  EXPECT_EQ(std::count_if(r.ListedValues.begin(), r.ListedValues.end(),
                          [](const auto& v) { return v.has_value(); }),
            1);
  // Comments after N: describe nothing.
  const TRecording later = ParseRecording(
      Header + "#   Event type 3 (EV_ABS)\n#     Event code 0 (ABS_X)\n#       Value 5\n", "x");
  EXPECT_FALSE(later.ListedValues[ABS_X].has_value());
}

struct TMalformed {
  const char* what;
  std::string text;
  std::uint32_t line;
  const char* expected;  // part of what the error says was expected
};

TEST(EvemuReader, RefusesMalformedRecordingsNamingFileLineAndExpectation) {
  const std::uint32_t h = 10;  // lines in Header
  const std::string event = "E: 0.000000 0003 0000 0001\n";
  const std::vector<TMalformed> cases = {
      {"empty", "", 1, "an N: line"},
      {"comments only", "# EVEMU 1.3\n# nothing\n", 3, "an N: line"},
      {"no name first", "I: 0003 1234 5678 0100\n", 1, "an N: line"},
      {"empty name", "N:   \n", 1, "a device name"},
      {"no ids", "N: Pad\nB: 01 00 00 00 00 00 00 00 00\n", 2, "an I: line"},
      {"ids cut short", "N: Pad\nI: 0003 1234 5678\n", 2, "four hex numbers"},
      {"id too big", "N: Pad\nI: 0003 12345 5678 0100\n", 2, "four hex numbers"},
      {"id not hex", "N: Pad\nI: 0003 12g4 5678 0100\n", 2, "four hex numbers"},
      {"ends after name", "N: Pad\n", 2, "an I: line"},
      {"mask too short", Header + "B: 01 00 00\n", h + 1, "8 hex bytes"},
      {"mask byte too big", Header + "B: 04 100 00 00 00 00 00 00 00\n", h + 1, "8 hex bytes"},
      {"unknown type", Header + "B: 20 00 00 00 00 00 00 00 00\n", h + 1, "type up to 1f"},
      {"axis beyond ABS_MAX",
       Header + "B: 03 00 00 00 00 00 00 00 00\nB: 03 01 00 00 00 00 00 00 00\n", h + 2,
       "codes up to 0x3f for EV_ABS"},
      {"bits of a type without codes", Header + "B: 16 01 00 00 00 00 00 00 00\n", h + 1,
       "no code bits for EV_PWR"},
      {"property beyond INPUT_PROP_MAX", Header + "P: 00 00 00 00 01 00 00 00\n", h + 1,
       "property bits up to INPUT_PROP_MAX"},
      {"axis inverted", Header + "A: 01 10 -10 0 0 0\n", h + 1, "a minimum not above the maximum"},
      {"axis field not a number", Header + "A: 01 0 1o 0 0 0\n", h + 1, "\"A: <axis> <min>"},
      {"axis number overflows", Header + "A: 01 0 4294967296 0 0 0\n", h + 1, "\"A: <axis> <min>"},
      {"axis fields missing", Header + "A: 01 0 10 0\n", h + 1, "\"A: <axis> <min>"},
      {"axis described twice", Header + "A: 00 0 10 0 0 0\n", h + 1, "one A: line per axis"},
      {"axis enabled without A:", Header.substr(0, Header.find("A: 00")) + event, 9,
       "an A: line for ABS_X"},
      {"axis enabled without A:, no events", Header.substr(0, Header.find("A: 00")), 9,
       "an A: line for ABS_X"},
      {"LED not enabled", Header + "L: 00 1\n", h + 1, "a code that the B: 11 lines enable"},
      {"unknown line", Header + "X: 12\n", h + 1, "a P:, B:, A:, L:, S: or E: line"},
      {"no colon", Header + "E 0.0 0000 0000 0\n", h + 1, "a P:, B:, A:, L:, S: or E: line"},
      {"second name", Header + "N: Again\n", h + 1, "a P:, B:, A:, L:, S: or E: line"},
      {"description after events", Header + event + "A: 01 0 1 0 0 0\n", h + 2,
       "an E: line (the description ends at the first event)"},
      {"event of a code not described", Header + "E: 0.000000 0001 0120 0001\n", h + 1,
       "an event the description enables (EV_KEY BTN_TRIGGER"},
      {"event of an unknown type", Header + "E: 0.000000 0020 0000 0001\n", h + 1,
       "type and code in hex"},
      {"event of a type without codes", Header + "E: 0.000000 0016 0000 0001\n", h + 1,
       "an event type with codes"},
      {"event code too big", Header + "E: 0.000000 0003 0040 0001\n", h + 1,
       "type and code in hex"},
      {"event cut short", Header + "E: 0.000000 0003 0000\n", h + 1, "\"E: <seconds>"},
      {"event with extra field", Header + "E: 0.000000 0003 0000 1 2\n", h + 1, "\"E: <seconds>"},
      {"time without fraction", Header + "E: 1 0003 0000 0001\n", h + 1, "\"E: <seconds>"},
      {"time too precise", Header + "E: 1.0000001 0003 0000 0001\n", h + 1, "\"E: <seconds>"},
      {"negative time", Header + "E: -1.000000 0003 0000 0001\n", h + 1, "\"E: <seconds>"},
      {"value overflows", Header + "E: 0.000000 0003 0000 2147483648\n", h + 1, "\"E: <seconds>"},
      {"time goes back", Header + "E: 5.000000 0003 0000 1\nE: 4.999999 0003 0000 2\n", h + 2,
       "a time not before the previous event's"},
      {"newer format", "# EVEMU 2.0\nN: Pad\n", 1, "an EVEMU 1.x recording"},
      {"garbled version", "# EVEMU one.three\nN: Pad\n", 1, "a format version like"},
      {"NUL byte", std::string("N: Pad\0x\n", 9), 1, "NUL byte"},
      {"line too long", "N: " + std::string(9000, 'x') + "\n", 1, "a line of at most 8192"},
  };
  for (const TMalformed& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      ParseRecording(c.text, "bad.evemu");
      ADD_FAILURE() << "accepted";
    } catch (const Evdev::ERecordingError& e) {
      EXPECT_EQ(e.GetFileName(), "bad.evemu");
      EXPECT_EQ(e.GetLine(), c.line) << e.what();
      EXPECT_NE(e.GetExpected().find(c.expected), std::string::npos) << e.what();
      const std::string prefix = "bad.evemu:" + std::to_string(c.line) + ": expected ";
      EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
    }
  }
}

TEST(EvemuReader, TheErrorShowsWhatWasFound) {
  try {
    ParseRecording(Header + "A: 01 0 \x01\xff 0 0 0\n", "shown.evemu");
    FAIL() << "accepted";
  } catch (const System::Exception& e) {  // an ERecordingError is a framework exception
    ASSERT_NE(dynamic_cast<const Evdev::ERecordingError*>(&e), nullptr);
    EXPECT_EQ(std::string(e.what()),
              "shown.evemu:11: expected \"A: <axis> <min> <max> <fuzz> <flat> <resolution>\", "
              "axis in hex up to 3f, the rest decimal, found \"A: 01 0 \\x01\\xff 0 0 0\"");
    EXPECT_TRUE(e.ClassType().InheritsFrom(System::Exception::StaticClass()));
    EXPECT_STREQ(e.ClassType().Name, "ERecordingError");
  }
}

TEST(EvemuReader, FilesThatCannotBeRead) {
  try {
    ReadRecording(DataPath("no-such-file.evemu"));
    FAIL() << "accepted";
  } catch (const Evdev::ERecordingError& e) {
    EXPECT_EQ(e.GetLine(), 0u);
    EXPECT_EQ(e.GetExpected(), "a readable recording file");
    EXPECT_EQ(e.GetFound(), "No such file or directory");
    EXPECT_EQ(std::string(e.what()), DataPath("no-such-file.evemu") +
                                         ": expected a readable recording file, found No such "
                                         "file or directory");
  }
  // What is not a regular file is refused without reading (or blocking on) it.
  const std::string fifo = ::testing::TempDir() + "vorlane-evdev-fifo.evemu";
  const std::string huge = ::testing::TempDir() + "vorlane-evdev-huge.evemu";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  { std::ofstream(huge) << "N: Pad\n"; }
  ASSERT_EQ(::truncate(huge.c_str(), (off_t{256} << 20) + 1), 0);  // sparse: costs no disk
  const struct {
    std::string path, found;
  } refused[] = {
      {DataPath(""), "a file that is a directory"},
      {fifo, "a file that is a FIFO (named pipe), not a regular file"},
      {"/dev/zero", "a file that is a character device, not a regular file"},
      {huge, "a file that is 268435457 bytes, more than the limit of 268435456 bytes"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.path);
    try {
      ReadControllerRecording(c.path);
      ADD_FAILURE() << "accepted";
    } catch (const Evdev::ERecordingError& e) {
      EXPECT_EQ(std::string(e.what()),
                c.path + ": expected a regular file of at most 256 MiB, found " + c.found);
    }
  }
  ::unlink(fifo.c_str());
  ::unlink(huge.c_str());
}

TEST(EvemuReader, TimesStayWithinWhatTheReplayClockCanAdd) {
  const std::string pad = Header + "E: 0.000000 0001 0130 1\n";
  EXPECT_NO_THROW(ParseRecording(pad + "E: 1000000000.000000 0000 0000 0\n", "far.evemu"));
  try {
    ParseRecording(pad + "E: 1000000000.000001 0000 0000 0\n", "far.evemu");
    FAIL() << "accepted";
  } catch (const Evdev::ERecordingError& e) {
    EXPECT_EQ(e.GetLine(), 12u);
    EXPECT_EQ(e.GetExpected(),
              "a time at most 1000000000 seconds (about 31 years) after the first event's");
  }
}

TEST(EvemuReader, AControllerRecordingMustBeAJoystick) {
  const std::string keyboard = ::testing::TempDir() + "vorlane-evdev-keyboard.evemu";
  {
    std::ofstream out(keyboard);
    out << "# EVEMU 1.3\n# A keyboard\nN: AT Translated Set 2 keyboard\nI: 0011 0001 0001 ab41\n"
           "B: 01 fe ff ff ff ff ff ff ff\n";
  }
  try {
    ReadControllerRecording(keyboard);
    FAIL() << "accepted a keyboard";
  } catch (const Evdev::ERecordingError& e) {
    EXPECT_EQ(e.GetLine(), 3u);  // the N: line, which says what the device is
    EXPECT_NE(e.GetExpected().find("a joystick or gamepad"), std::string::npos);
    EXPECT_NE(e.GetFound().find("AT Translated Set 2 keyboard"), std::string::npos);
  }
  EXPECT_NO_THROW(ReadRecording(keyboard));  // as a recording it is fine
  std::remove(keyboard.c_str());
}

TEST(EvemuReader, DamagedRecordingsAreRefusedNeverMisread) {
  // Random damage to real recordings: every result is a recording or an
  // ERecordingError, nothing else (the fuzzer goes much further; see tests/fuzz).
  const std::string original = ReadText(DataPath("gamepad-xbox360.evemu"));
  std::mt19937 random(4);
  int refused = 0;
  for (int round = 0; round < 1500; ++round) {
    std::string text = original;
    const int damage = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < damage; ++i) {
      const std::size_t at = random() % text.size();
      switch (random() % 3) {
        case 0:
          text[at] = static_cast<char>(random() % 256);
          break;
        case 1:
          text.erase(at, 1 + random() % 8);
          break;
        default:
          text.insert(at, 1, "0123456789abcdef-#:. \n"[random() % 22]);
      }
    }
    try {
      ParseRecording(text, "damaged.evemu");
    } catch (const Evdev::ERecordingError& e) {
      ++refused;
      EXPECT_GT(e.GetLine(), 0u);
    }
  }
  EXPECT_GT(refused, 500);
}

TEST(EvemuReader, SplitsTheDeviceList) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Evdev::SplitDeviceList(""), V{});
  EXPECT_EQ(Evdev::SplitDeviceList("a.evemu"), V{"a.evemu"});
  EXPECT_EQ(Evdev::SplitDeviceList("a.evemu::/x/b.evemu:"), (V{"a.evemu", "/x/b.evemu"}));
  EXPECT_EQ(Evdev::SplitDeviceList(":::"), V{});
}

}  // namespace
}  // namespace vorlane::EvdevTest
