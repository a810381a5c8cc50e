// The package host joypackage, and joyinspect --package, which runs it.
#ifdef VORLANE_JOYPACKAGE_FILE

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "PackageSupport.hpp"

namespace vorlane::PackageTest {
namespace {

struct TRun {
  int ExitCode = -1;
  std::string Out;
};

// Runs a command with standard error joined to standard output.
TRun RunCommand(const std::string& command) {
  TRun run;
  FILE* pipe = ::popen(("VORLANE_JOYSTICK_BACKENDS=virtual " + command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Out.append(buffer, n);
  const int status = ::pclose(pipe);
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Joypackage, ShowsThePackageItsRegistrationsAndResources) {
  const TRun run =
      RunCommand(Quote(VORLANE_JOYPACKAGE_FILE) + " " + Quote(kPackageFile) + " --resources");
  ASSERT_EQ(run.ExitCode, 0) << run.Out;
  for (const char* line :
       {"Package VorlaneJoy (", "  flags:    0x4C300002 (design-only, package module)\n",
        "  requires: vldesign, vlvisual\n",
        "  contains: VorlaneJoy (main unit), JoystickDesign, Joystick, SysInit\n",
        "  palette page \"Vorlane\": TJoystick\n", "  property editors: 42\n",
        "  property mappers: 1\n", "  BITMAP     TJOYSTICK        0409        392 bytes\n",
        "  GROUP_ICON MAINICON         0409         20 bytes\n",
        "Description: Vorlane Joystick Component\n",
        "Version: file 1.0.0.0, product 1.0.0.0, file type 1, system 0x4\n",
        "  040904E4 ProductVersion = 1.0.0.0\n", "  translation 0409 04E4\n"})
    EXPECT_NE(run.Out.find(line), std::string::npos) << line << "\nin:\n" << run.Out;
}

TEST(Joypackage, WritesThePaletteBitmapAsBmpOrPng) {
  const auto dir = std::filesystem::temp_directory_path();
  const auto bmp = dir / ("joypackage-" + std::to_string(::getpid()) + ".bmp");
  const auto png = dir / ("joypackage-" + std::to_string(::getpid()) + ".png");
  for (const auto& file : {bmp, png}) {
    const TRun run = RunCommand(Quote(VORLANE_JOYPACKAGE_FILE) + " " + Quote(kPackageFile) +
                                " --no-register --bitmap " + Quote(file.string()));
    ASSERT_EQ(run.ExitCode, 0) << run.Out;
    EXPECT_NE(run.Out.find("Wrote the bitmap TJOYSTICK to"), std::string::npos) << run.Out;
  }
  const auto b = ReadAll(bmp);
  ASSERT_EQ(b.size(), 14u + 392u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(U32(Bytes(b), 2), 406u);              // file size
  EXPECT_EQ(U32(Bytes(b), 10), 14u + 40u + 64u);  // where the pixels start
  EXPECT_EQ(U32(Bytes(b), 18), 24u);
  const auto p = ReadAll(png);
  ASSERT_GT(p.size(), 33u);
  EXPECT_EQ(std::string(p.begin() + 1, p.begin() + 4), "PNG");
  EXPECT_EQ(std::string(p.begin() + 12, p.begin() + 16), "IHDR");
  EXPECT_EQ(p[19], 24);  // width, big-endian
  EXPECT_EQ(p[23], 24);  // height
  std::filesystem::remove(bmp);
  std::filesystem::remove(png);
}

TEST(Joypackage, ShowsAComponentThroughThePackagesEditors) {
  const TRun run =
      RunCommand(Quote(VORLANE_JOYPACKAGE_FILE) + " " + Quote(kPackageFile) + " --inspect");
  ASSERT_EQ(run.ExitCode, 0) << run.Out;
  EXPECT_NE(run.Out.find("TJoystick:\nName = Joystick1\n"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("PositionX = (The specified joystick is not connected to the system.)"),
            std::string::npos)
      << run.Out;
}

TEST(Joypackage, ReportsWhatIsWrong) {
  TRun run = RunCommand(Quote(VORLANE_JOYPACKAGE_FILE) + " /nonexistent/libX.so");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Out,
            "joypackage: Cannot load package '/nonexistent/libX.so': No such file or directory.\n");
  run = RunCommand(Quote(VORLANE_JOYPACKAGE_FILE) + " --frobnicate");
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_EQ(run.Out, "joypackage: unknown option '--frobnicate' (try --help)\n");
  run = RunCommand(Quote(VORLANE_JOYPACKAGE_FILE) + " " + Quote(kPackageFile) +
                   " --bitmap /nonexistent/dir/x.bmp");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Out.find("joypackage: cannot write '/nonexistent/dir/x.bmp'"), std::string::npos)
      << run.Out;
}

#ifdef VORLANE_JOYINSPECT_FILE
TEST(JoyinspectPackage, LoadsThePackageThroughThePackageHost) {
  TRun run = RunCommand(Quote(VORLANE_JOYINSPECT_FILE) + " --package " + Quote(kPackageFile) +
                        " --resources");
  ASSERT_EQ(run.ExitCode, 0) << run.Out;
  EXPECT_NE(run.Out.find("  palette page \"Vorlane\": TJoystick\n"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("Description: Vorlane Joystick Component\n"), std::string::npos);

  run = RunCommand(Quote(VORLANE_JOYINSPECT_FILE) + " --package " + Quote(kPackageFile) +
                   " --set Controller=1");
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_NE(run.Out.find("'--set' cannot be combined with --package"), std::string::npos)
      << run.Out;
}
#endif

}  // namespace
}  // namespace vorlane::PackageTest

#endif
