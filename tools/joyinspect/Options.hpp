// joyinspect's command line.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vorlane::JoyInspect {

// The exit codes, also listed by --help.
enum TExitCode : int {
  ExitOk = 0,
  ExitFailure = 1,  // something unexpected went wrong
  ExitUsage = 2,    // the command line is wrong
  ExitRefused =
      3,  // an unknown property, a bad value, a bad form or device file, an unwritable file
};

struct TOptions {
  std::string FormFile;                                    // --form FILE
  std::vector<std::pair<std::string, std::string>> Edits;  // --set Name=Value, --controller N
  std::string ValuesOf;                                    // --values Name
  bool Palette = false;                                    // --palette
  std::string SaveFile;                                    // --save FILE ("-": standard output)
  std::vector<std::string> Devices;                        // --device FILE
  bool Help = false;
};

// A wrong command line; the message says what is wrong.
struct TUsageError {
  std::string Message;
};

// Reads argv[1..argc-1]; throws TUsageError.
TOptions ParseOptions(int argc, const char* const* argv);

// The text --help prints.
const char* UsageText();

}  // namespace vorlane::JoyInspect
