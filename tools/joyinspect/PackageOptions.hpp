// joyinspect --package PATH: show a design package loaded through the package loader.
#pragma once

namespace vorlane::JoyInspect {

// When the command line has --package, runs the package host joypackage with the
// package and the package options (--resources, --bitmap FILE, --inspect,
// --no-register) in place of this process and answers only if that fails: 2 for a
// command line that mixes --package with other options, 1 when joypackage cannot be
// started. Answers -1 when there is no --package.
//
// joyinspect links the design-time unit and with it the runtime unit Joystick; the
// package contains both, so it cannot be loaded into this process. joypackage links
// only the framework library.
int RunPackageMode(int argc, char** argv);

}  // namespace vorlane::JoyInspect
