// The framework's package loader on the design package, from inside a Windows
// process (called by LoadPackage.cpp's main): it reads the package information from
// the file and from the loaded package, loads, registers and unloads the package,
// says what a file without package information or no file at all is, and refuses
// the package once the process holds the package's unit Joystick.
#include <cstddef>
#include <cstdio>
#include <exception>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "vorlane/packages/Packages.hpp"

namespace Packages = vorlane::Packages;

namespace {

int Report(const std::string& what, const std::string& problem) {
  std::fprintf(stderr, "package loader, %s: %s\n", what.c_str(), problem.c_str());
  return 1;
}

// `call` raises EPackageError with a message that contains `expected`.
template <class F>
int ExpectRefusal(const std::string& what, F call, const std::string& expected) {
  try {
    call();
  } catch (const Packages::EPackageError& e) {
    const std::string message = e.what();
    if (message.find(expected) != std::string::npos) return 0;
    return Report(what, "says \"" + message + "\", not \"" + expected + "\"");
  }
  return Report(what, "raises nothing");
}

int SamePackageInfo(const std::string& what, const Packages::TPackageInfo& found,
                    const Packages::TPackageInfo& expected) {
  auto units = [](const Packages::TPackageInfo& info) {
    std::string text;
    for (const auto& u : info.Contains) text += u.Name + " ";
    for (const auto& p : info.Requires) text += "requires " + p.Name + " ";
    return text;
  };
  if (found.Flags != expected.Flags || found.Package.Name != expected.Package.Name ||
      units(found) != units(expected))
    return Report(what, "package " + found.Package.Name + " (" + units(found) +
                            ") differs from the .res: " + expected.Package.Name + " (" +
                            units(expected) + ")");
  return 0;
}

}  // namespace

int CheckPackageLoader(const std::string& dll, const std::vector<unsigned char>& res,
                       const std::string& program) {
  int failures = 0;
  try {
    // PACKAGEINFO as the .res holds it, decoded by the framework.
    Packages::TPackageInfo expected;
    const auto* image = reinterpret_cast<const std::byte*>(res.data());
    for (const auto& r : Packages::ParseResources(std::span(image, res.size()), "the .res"))
      if (r.Type == Packages::TResourceId(Packages::RT_RCDATA) &&
          r.Name == Packages::TResourceId(u"PACKAGEINFO"))
        expected = Packages::DecodePackageInfo(r.Data, "the .res's PACKAGEINFO");
    if (expected.Package.Name.empty()) return Report("the .res", "holds no PACKAGEINFO");

    failures += SamePackageInfo("ReadPackageInfo", Packages::ReadPackageInfo(dll), expected);
    failures += ExpectRefusal(
        "ReadPackageInfo of a program", [&] { Packages::ReadPackageInfo(program); },
        "is not a package: it carries no PACKAGEINFO resource.");
    failures += ExpectRefusal(
        "ReadPackageInfo of no file", [&] { Packages::ReadPackageInfo(dll + ".missing"); },
        "Cannot read '" + dll + ".missing': ");
    const std::string text = dll + ".not-a-module";
    std::ofstream(text) << "LIBRARY VorlaneJoy\n";
    failures += ExpectRefusal(
        "ReadPackageInfo of a text file", [&] { Packages::ReadPackageInfo(text); },
        "'" + text + "' is not a Windows module.");
    std::remove(text.c_str());

    // This program links neither vlvisual nor vldesign, which the package requires:
    // the loader loads them from beside itself.
    const Packages::HMODULE package = Packages::LoadPackage(dll);
    failures += SamePackageInfo("GetPackageInfo", Packages::GetPackageInfo(package), expected);
    if (Packages::FindPackageType("TJoystick") == nullptr)
      failures += Report("FindPackageType", "finds no TJoystick in the loaded package");
    // Register runs the design unit's registration inside the DLL, across the
    // framework's DLLs (the designer's registries live in vldesign).
    Packages::RegisterPackage(package);
    const std::vector<Packages::TLoadedPackage> loaded = Packages::GetLoadedPackages();
    if (loaded.size() != 1 || loaded[0].Module != package || !loaded[0].Registered)
      failures += Report("RegisterPackage", "the package is not listed as loaded and registered");
    Packages::UnloadPackage(package);
    if (!Packages::GetLoadedPackages().empty())
      failures += Report("UnloadPackage", "the package is still listed as loaded");

    // A process that holds the unit Joystick (its library exports the unit's symbols)
    // cannot load a package that contains it too.
    Packages::LoadLibrary("libvorlane-joystick.dll");
    failures += ExpectRefusal(
        "LoadPackage with Joystick held", [&] { Packages::LoadPackage(dll); },
        "it contains unit 'Joystick', which this process already holds in '");
  } catch (const std::exception& e) {
    failures += Report("unexpected failure", e.what());
  }
  return failures;
}
