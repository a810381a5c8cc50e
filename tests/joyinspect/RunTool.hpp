// Runs the built joyinspect as a child process and collects its exit status and
// output.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ChildProcess.hpp"

namespace vorlane::JoyInspect::testing {

using TRunResult = vorlane::testing::TChildResult;

// Runs joyinspect with `args`. Its environment is the test's own without any
// VORLANE_JOYSTICK_* variable, plus VORLANE_JOYSTICK_BACKENDS=virtual (no hardware
// is looked at), plus `env`. The child is killed after `timeoutSeconds`.
inline TRunResult RunJoyinspect(const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env = {},
                                int timeoutSeconds = 30) {
  std::map<std::string, std::string> environment{{"VORLANE_JOYSTICK_BACKENDS", "virtual"}};
  for (const auto& [name, value] : env) environment[name] = value;
  return vorlane::testing::RunChild(JOYINSPECT_PATH, args, environment, timeoutSeconds);
}

inline std::vector<std::string> Lines(const std::string& text) {
  return vorlane::testing::SplitLines(text);
}

}  // namespace vorlane::JoyInspect::testing
