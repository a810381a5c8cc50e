// vorlane-rc SCRIPT [--res FILE] [--cpp FILE]
//
// Compiles a resource script (see Script.cpp) with the pictures it names into the
// resource file layout (--res) and into a C++ source that exports it (--cpp).
// Output files are replaced only when every resource compiled.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "Rc.hpp"

namespace {

const char kUsage[] =
    "usage: vorlane-rc SCRIPT [--res FILE] [--cpp FILE]\n"
    "  --res FILE  write the resources in the resource file layout\n"
    "  --cpp FILE  write a C++ source that exports them as VorlaneResources\n";

// Writes through a temporary file, so that a failed run leaves no half-written output.
void WriteFile(const std::string& path, const void* data, std::size_t size) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) throw vorlane::Rc::ECompileError(path + ": cannot write");
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw vorlane::Rc::ECompileError(path + ": cannot write: " + std::strerror(errno));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string script, res, cpp;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--res" || arg == "--cpp") && i + 1 < argc) {
      (arg == "--res" ? res : cpp) = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!arg.starts_with("-") && script.empty()) {
      script = arg;
    } else {
      std::fprintf(stderr, "vorlane-rc: unexpected argument '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  if (script.empty() || (res.empty() && cpp.empty())) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    const auto resources = vorlane::Rc::CompileScript(script);
    const auto image = vorlane::Rc::WriteResourceFile(resources);
    if (!res.empty()) WriteFile(res, image.data(), image.size());
    if (!cpp.empty()) {
      const std::string source =
          vorlane::Rc::WriteCppSource(image, std::filesystem::path(script).filename().string());
      WriteFile(cpp, source.data(), source.size());
    }
  } catch (const vorlane::Rc::ECompileError& e) {
    std::fprintf(stderr, "vorlane-rc: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vorlane-rc: %s\n", e.what());
    return 1;
  }
  return 0;
}
