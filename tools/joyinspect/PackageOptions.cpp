#include "PackageOptions.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace vorlane::JoyInspect {

namespace {

// joypackage next to joyinspect (an installed tree), else the one of the build tree.
std::string FindHost() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path beside = self.parent_path() / "joypackage";
    if (::access(beside.c_str(), X_OK) == 0) return beside.string();
  }
#ifdef JOYINSPECT_JOYPACKAGE
  if (::access(JOYINSPECT_JOYPACKAGE, X_OK) == 0) return JOYINSPECT_JOYPACKAGE;
#endif
  return {};
}

}  // namespace

int RunPackageMode(int argc, char** argv) {
  std::string package;
  std::vector<std::string> options;
  bool found = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto valueOf = [&](const std::string& option) -> std::string {
      if (arg.starts_with(option + "=")) return arg.substr(option.size() + 1);
      if (i + 1 < argc) return argv[++i];
      return {};
    };
    if (arg == "--package" || arg.starts_with("--package=")) {
      if (found) {
        std::fprintf(stderr, "joyinspect: --package may be given only once (try --help)\n");
        return 2;
      }
      found = true;
      package = valueOf("--package");
      if (package.empty()) {
        std::fprintf(stderr, "joyinspect: --package needs a file name (try --help)\n");
        return 2;
      }
    } else if (arg == "--resources" || arg == "--inspect" || arg == "--no-register") {
      options.push_back(arg);
    } else if (arg == "--bitmap" || arg.starts_with("--bitmap=")) {
      options.push_back("--bitmap=" + valueOf("--bitmap"));
    } else {
      options.push_back(arg);
    }
  }
  if (!found) return -1;
  for (const std::string& o : options) {
    if (o == "--resources" || o == "--inspect" || o == "--no-register" ||
        o.starts_with("--bitmap="))
      continue;
    std::fprintf(stderr,
                 "joyinspect: '%s' cannot be combined with --package; with a package: "
                 "--resources, --bitmap FILE, --inspect, --no-register (try --help)\n",
                 o.c_str());
    return 2;
  }
  const std::string host = FindHost();
  if (host.empty()) {
    std::fprintf(stderr, "joyinspect: the package host joypackage was not found\n");
    return 1;
  }
  std::vector<std::string> args = {host, package};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argvOut;
  for (std::string& a : args) argvOut.push_back(a.data());
  argvOut.push_back(nullptr);
  std::fflush(stdout);
  ::execv(host.c_str(), argvOut.data());
  std::fprintf(stderr, "joyinspect: cannot run %s: %s\n", host.c_str(), std::strerror(errno));
  return 1;
}

}  // namespace vorlane::JoyInspect
