// Runs the built joymon as a child process with a chosen environment and
// collects its exit status, standard output and standard error.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ChildProcess.hpp"

namespace vorlane::JoyMon::testing {

using TRunResult = vorlane::testing::TChildResult;

// The variables in `env` are set for the child on top of the test's own
// environment, from which every VORLANE_JOYSTICK_* variable is removed first.
// The child is killed after `timeoutSeconds`.
inline TRunResult RunJoymon(const std::vector<std::string>& args,
                            const std::map<std::string, std::string>& env,
                            double timeoutSeconds = 30) {
  return vorlane::testing::RunChild(VORLANE_BINARY_DIR "/tools/joymon/joymon", args, env,
                                    timeoutSeconds);
}

// The output's lines, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  return vorlane::testing::SplitLines(text);
}

}  // namespace vorlane::JoyMon::testing
