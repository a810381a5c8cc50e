// What joyinspect does once its command line is read.
#pragma once

#include <cstdio>

#include "Options.hpp"

namespace vorlane::JoyInspect {

// Registers the design package, attaches the recordings, makes or reads the
// component, applies the edits and prints what was asked for to `out`. Problems
// with the input are reported on `err` as "joyinspect: ..." and give ExitRefused.
int Run(const TOptions& options, std::FILE* out, std::FILE* err);

}  // namespace vorlane::JoyInspect
