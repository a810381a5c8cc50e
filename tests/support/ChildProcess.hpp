// Runs a built tool as a child process for the end-to-end tests and collects its
// exit status, standard output and standard error.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vorlane::testing {

struct TChildResult {
  int ExitCode = -1;  // -1 when it did not exit normally (a signal, a timeout)
  bool TimedOut = false;
  std::string Out;
  std::string Err;
};

// Runs `path` with `args`. The child's environment is the test's own without any
// VORLANE_JOYSTICK_* variable, plus `env`; its standard input is /dev/null. It is
// killed after `timeoutSeconds`.
TChildResult RunChild(const std::string& path, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env, double timeoutSeconds);

// The text's lines, without their line ends.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace vorlane::testing
