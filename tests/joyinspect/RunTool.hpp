// Runs the built joyinspect as a child process and collects its exit status and
// output.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vorlane::JoyInspect::testing {

struct TRunResult {
  int ExitCode = -1;  // -1 when it did not exit normally (a signal, a timeout)
  std::string Out;
  std::string Err;
};

// Runs joyinspect with `args`. Its environment is the test's own without any
// VORLANE_JOYSTICK_* variable, plus VORLANE_JOYSTICK_BACKENDS=virtual (no hardware
// is looked at), plus `env`. The child is killed after `timeoutSeconds`.
TRunResult RunJoyinspect(const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env = {},
                         int timeoutSeconds = 30);

std::vector<std::string> Lines(const std::string& text);

}  // namespace vorlane::JoyInspect::testing
