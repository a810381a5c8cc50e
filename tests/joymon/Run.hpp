// Runs the built joymon as a child process with a chosen environment and
// collects its exit status, standard output and standard error.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vorlane::JoyMon::testing {

struct TRunResult {
  int ExitCode = -1;  // -1 when it did not exit normally (signal, timeout)
  bool TimedOut = false;
  std::string Out;
  std::string Err;
};

// The variables in `env` are set for the child on top of the test's own
// environment, from which every VORLANE_JOYSTICK_* variable is removed first.
// The child is killed after `timeoutSeconds`.
TRunResult RunJoymon(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, double timeoutSeconds = 30);

// The output's lines, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace vorlane::JoyMon::testing
