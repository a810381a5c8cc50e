// joyinspect end to end: the built tool with no controller, with replayed
// recordings, with edits, form files and bad input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "RunTool.hpp"

namespace vorlane::JoyInspect::testing {
namespace {

const std::string kUnplugged = "(The specified joystick is not connected to the system.)";
const std::string kData = VORLANE_EVDEV_DATA_DIR;
const std::string kGamepad = kData + "/gamepad-xbox360.evemu";
const std::string kStick = kData + "/joystick-2axis.evemu";

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The index of `line`, or lines.size().
std::size_t IndexOf(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

// "Name = value" indented two spaces per level, the name a letter then letters or digits.
bool IsRow(const std::string& line) {
  std::size_t i = 0;
  while (line.compare(i, 2, "  ") == 0) i += 2;
  if (i >= line.size() || !std::isalpha(static_cast<unsigned char>(line[i]))) return false;
  while (i < line.size() && std::isalnum(static_cast<unsigned char>(line[i]))) ++i;
  return line.compare(i, 3, " = ") == 0;
}

bool IsDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "joyinspect-" + std::to_string(getpid()) + "-" + name;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Joyinspect, WithNoControllerEveryLiveRowShowsTheMessageAndItSucceeds) {
  const TRunResult r = RunJoyinspect({});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  const auto lines = Lines(r.Out);
  // Every row is "Name = value", indented two spaces per level.
  for (const std::string& line : lines) EXPECT_TRUE(IsRow(line)) << line;

  EXPECT_EQ(lines.front(), "Name = Joystick1");
  EXPECT_TRUE(Has(lines, "Controller = 0"));
  EXPECT_TRUE(Has(lines, "EventMode = emThreshold"));
  EXPECT_TRUE(Has(lines, "PositionX = " + kUnplugged));
  EXPECT_TRUE(Has(lines, "PointOfViewDirection = " + kUnplugged));
  EXPECT_TRUE(Has(lines, "OnMove = "));

  // The set and its 32 elements, each with its own message.
  const std::size_t buttons = IndexOf(lines, "PressedButtons = " + kUnplugged);
  ASSERT_LT(buttons + 32, lines.size());
  for (int i = 1; i <= 32; ++i)
    EXPECT_EQ(lines[buttons + static_cast<std::size_t>(i)],
              "  joButton" + std::to_string(i) + " = " + kUnplugged);
  EXPECT_EQ(lines[buttons + 33].substr(0, 2) == "  ", false);

  // Capabilities: 24 sub-rows, Flags with its 7 elements one level deeper.
  const std::size_t caps = IndexOf(lines, "Capabilities = (TCapabilities)");
  ASSERT_LT(caps + 31, lines.size());
  EXPECT_EQ(lines[caps + 1], "  AxesCount = " + kUnplugged);
  EXPECT_EQ(lines[caps + 4], "  Flags = " + kUnplugged);
  EXPECT_EQ(lines[caps + 5], "    cfHasZ = " + kUnplugged);
  EXPECT_EQ(lines[caps + 11], "    cfContinuousPointOfView = " + kUnplugged);
  EXPECT_EQ(lines[caps + 31], "  RegistryKey = " + kUnplugged);
  EXPECT_NE(lines[caps + 32].substr(0, 2), "  ");
}

TEST(Joyinspect, ValueListOfControllerIsEmptyWithoutControllers) {
  const TRunResult r = RunJoyinspect({"--values", "Controller"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "");
}

TEST(Joyinspect, AReplayedControllerShowsItsValues) {
  const TRunResult r = RunJoyinspect({"--device", kGamepad});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const auto lines = Lines(r.Out);
  EXPECT_TRUE(Has(lines, "  ProductName = Microsoft X-Box 360 pad")) << r.Out;
  EXPECT_TRUE(Has(lines, "  Manufacturer = 1118"));
  EXPECT_TRUE(Has(lines, "  Product = 654"));
  EXPECT_FALSE(Has(lines, "PositionX = " + kUnplugged));
  // Whatever the replay shows at that moment, it is a number, not a message.
  const std::size_t x = IndexOf(lines, "Controller = 0") + 2 + 3;  // EventMode, PositionR,U,V
  ASSERT_LT(x, lines.size());
  ASSERT_EQ(lines[x].rfind("PositionX = ", 0), 0u) << lines[x];
  EXPECT_TRUE(IsDigits(lines[x].substr(12))) << lines[x];
}

TEST(Joyinspect, TheValueListOffersEveryAttachedController) {
  const TRunResult r =
      RunJoyinspect({"--device", kGamepad, "--device", kStick, "--values", "Controller"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "0\n1\n");

  // Controller 1 is the second recording.
  const TRunResult second =
      RunJoyinspect({"--device", kGamepad, "--device", kStick, "--controller", "1"});
  EXPECT_EQ(second.ExitCode, 0) << second.Err;
  const auto lines = Lines(second.Out);
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [](const std::string& l) {
                           return l.rfind("  ProductName = DragonRise Inc.", 0) == 0;
                         }),
            lines.end())
      << second.Out;
}

TEST(Joyinspect, RecordingsFromTheEnvironmentAreReplayedToo) {
  const TRunResult r =
      RunJoyinspect({"--values", "Controller"}, {{"VORLANE_JOYSTICK_DEVICES", kStick}});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "0\n");
}

TEST(Joyinspect, EditsGoThroughTheEditorsAndTheFormRoundTrips) {
  const TRunResult saved =
      RunJoyinspect({"--controller", "2", "--set", "EventMode=emPolling", "--set", "Threshold=$100",
                     "--set", "PositionX=5", "--save", "-"});
  ASSERT_EQ(saved.ExitCode, 0) << saved.Err;
  EXPECT_EQ(saved.Out,
            "object Joystick1: TJoystick\n"
            "  Controller = 2\n"
            "  EventMode = emPolling\n"
            "  Threshold = 256\n"
            "end\n");

  const std::string form = TempPath("saved.vfm");
  WriteText(form, saved.Out);
  const TRunResult read = RunJoyinspect({"--form", form, "--set", "RawData=True"});
  ASSERT_EQ(read.ExitCode, 0) << read.Err;
  const auto lines = Lines(read.Out);
  EXPECT_TRUE(Has(lines, "Controller = 2"));
  EXPECT_TRUE(Has(lines, "EventMode = emPolling"));
  EXPECT_TRUE(Has(lines, "Threshold = 256"));
  EXPECT_TRUE(Has(lines, "RawData = True"));

  const std::string copy = TempPath("copy.vfm");
  const TRunResult again = RunJoyinspect({"--form", form, "--set", "Name=Pad", "--save", copy});
  ASSERT_EQ(again.ExitCode, 0) << again.Err;
  EXPECT_EQ(ReadText(copy),
            "object Pad: TJoystick\n"
            "  Controller = 2\n"
            "  EventMode = emPolling\n"
            "  Threshold = 256\n"
            "end\n");
  std::remove(form.c_str());
  std::remove(copy.c_str());
}

TEST(Joyinspect, ThePaletteAndHelp) {
  const TRunResult palette = RunJoyinspect({"--palette"});
  EXPECT_EQ(palette.ExitCode, 0);
  EXPECT_EQ(palette.Out, "Vorlane\n  TJoystick\n");
  const TRunResult help = RunJoyinspect({"--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Out.find("Exit codes:"), std::string::npos);
}

TEST(Joyinspect, RefusedInputExitsWithThreeAndSaysWhat) {
  struct TCase {
    std::vector<std::string> Args;
    std::string Message;
  };
  const std::string missing = TempPath("missing.vfm");
  const std::string bad = TempPath("bad.vfm");
  WriteText(bad, "object Joystick1: TJoystick\n  Controller 2\nend\n");
  const std::vector<TCase> cases = {
      {{"--set", "Bogus=1"}, "joyinspect: --set Bogus=1: Unknown property 'Bogus' of TJoystick\n"},
      {{"--set", "Capabilities.Bogus=1"},
       "joyinspect: --set Capabilities.Bogus=1: Unknown property 'Bogus' of Capabilities\n"},
      {{"--controller", "abc"},
       "joyinspect: --set Controller=abc: 'abc' is not a valid integer value for property "
       "'Controller'\n"},
      {{"--set", "EventMode=emFast"},
       "joyinspect: --set EventMode=emFast: 'emFast' is not a valid value for property "
       "'EventMode' (emPolling, emThreshold)\n"},
      {{"--set", "Capabilities=x"},
       "joyinspect: --set Capabilities=x: Property 'Capabilities' cannot be set from text.\n"},
      {{"--values", "Nothing"},
       "joyinspect: --values Nothing: Unknown property 'Nothing' of "
       "TJoystick\n"},
  };
  for (const TCase& c : cases) {
    const TRunResult r = RunJoyinspect(c.Args);
    EXPECT_EQ(r.ExitCode, 3) << c.Args[0];
    EXPECT_EQ(r.Err, c.Message);
    EXPECT_EQ(r.Out, "");
  }

  const TRunResult badForm = RunJoyinspect({"--form", bad});
  EXPECT_EQ(badForm.ExitCode, 3);
  EXPECT_EQ(badForm.Err.rfind("joyinspect: " + bad + ": line 2, column ", 0), 0u) << badForm.Err;
  const TRunResult noForm = RunJoyinspect({"--form", missing});
  EXPECT_EQ(noForm.ExitCode, 3);
  EXPECT_NE(noForm.Err.find("cannot read form file '" + missing + "'"), std::string::npos);
  const TRunResult badDevice = RunJoyinspect({"--device", bad});
  EXPECT_EQ(badDevice.ExitCode, 3);
  EXPECT_EQ(badDevice.Err.rfind("joyinspect: --device " + bad + ": ", 0), 0u) << badDevice.Err;
  std::remove(bad.c_str());
}

TEST(Joyinspect, HostileFilesAreRefusedAtOnce) {
  // Files that are no forms or recordings end with a message, never block or
  // exhaust memory: a FIFO nobody writes to, an endless device, a directory, a
  // sparse file far over the limit.
  const std::string fifo = TempPath("fifo.vfm");
  const std::string huge = TempPath("huge.vfm");
  const std::string deep = TempPath("deep.vfm");
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  WriteText(huge, "object Joystick1: TJoystick\n");
  ASSERT_EQ(::truncate(huge.c_str(), off_t{1} << 30), 0);
  std::string nested = "object Joystick1: TJoystick\n";
  for (int i = 0; i < 15000; ++i) nested += "object TJoystick\n";
  WriteText(deep, nested);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--form", fifo},
       "cannot read form file '" + fifo + "': it is a FIFO (named pipe), not a regular file"},
      {{"--form", "/dev/zero"},
       "cannot read form file '/dev/zero': it is a character device, not a regular file"},
      {{"--form", "/"}, "cannot read form file '/': it is a directory"},
      {{"--form", huge},
       "cannot read form file '" + huge +
           "': it is 1073741824 bytes, more than the limit of 67108864 bytes "
           "(64 MiB)"},
      {{"--form", deep}, deep + ": line 257, column 1: objects nested more than 256 deep"},
      {{"--device", fifo},
       "--device " + fifo + ": " + fifo +
           ": expected a regular file of at most 256 MiB, found a file that "
           "is a FIFO (named pipe), not a regular file"},
  };
  for (const auto& [args, message] : cases) {
    const TRunResult r = RunJoyinspect(args, {}, 10);
    EXPECT_EQ(r.ExitCode, 3) << args[1];
    EXPECT_EQ(r.Err, "joyinspect: " + message + "\n");
  }
  // At start, from the environment: reported, and the program goes on.
  const TRunResult env = RunJoyinspect({}, {{"VORLANE_JOYSTICK_DEVICES", fifo}}, 10);
  EXPECT_EQ(env.ExitCode, 0);
  EXPECT_NE(env.Err.find("VORLANE_JOYSTICK_DEVICES: " + fifo + ": expected a regular file"),
            std::string::npos)
      << env.Err;
  ::unlink(fifo.c_str());
  ::unlink(huge.c_str());
  ::unlink(deep.c_str());
}

TEST(Joyinspect, AFormWithAByteOrderMarkAndCrLines) {
  const std::string form = TempPath("bom.vfm");
  WriteText(form, "\xEF\xBB\xBFobject Pad: TJoystick\r  Threshold = 7\rend\r");
  const TRunResult r = RunJoyinspect({"--form", form, "--values", "EventMode"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  WriteText(form, "object Pad\xFF: TJoystick\nend\n");
  const TRunResult bad = RunJoyinspect({"--form", form});
  EXPECT_EQ(bad.ExitCode, 3);
  EXPECT_EQ(bad.Err, "joyinspect: " + form + ": line 1, column 11: invalid UTF-8 (byte 255)\n");
  std::remove(form.c_str());
}

TEST(Joyinspect, AWrongCommandLineExitsWithTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--bogus"},
                                             {"--set"},
                                             {"--set", "NoEquals"},
                                             {"--set", "=1"},
                                             {"stray"},
                                             {"--values", "A", "--values", "B"},
                                             {"--palette=yes"}}) {
    const TRunResult r = RunJoyinspect(args);
    EXPECT_EQ(r.ExitCode, 2) << args[0];
    EXPECT_NE(r.Err.find("(try --help)"), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
  }
}

}  // namespace
}  // namespace vorlane::JoyInspect::testing
