// joyinspect: the designer's object inspector for TJoystick on the command line.
// See docs/joyinspect.md and `joyinspect --help`.
#include <cstdio>
#include <exception>

#include "Options.hpp"
#include "PackageOptions.hpp"
#include "Session.hpp"

int main(int argc, char** argv) {
  using namespace vorlane::JoyInspect;
  if (const int code = RunPackageMode(argc, argv); code >= 0) return code;
  TOptions options;
  try {
    options = ParseOptions(argc, argv);
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "joyinspect: %s (try --help)\n", e.Message.c_str());
    return ExitUsage;
  }
  if (options.Help) {
    std::fputs(UsageText(), stdout);
    return ExitOk;
  }
  int code;
  try {
    code = Run(options, stdout, stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "joyinspect: unexpected failure: %s\n", e.what());
    return ExitFailure;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "joyinspect: cannot write to standard output\n");
    return ExitFailure;
  }
  return code;
}
