// joypackage: a designer host for design packages. It loads a package through the
// package loader (as the form designer does), calls its Register routines, prints
// what the package holds and what it registered, and unloads it again.
// See docs/package.md and `joypackage --help`.
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PictureFile.hpp"
#include "vorlane/designer/DesignIntf.hpp"
#include "vorlane/designer/Inspector.hpp"
#include "vorlane/packages/Packages.hpp"
#include "vorlane/runtime/Classes.hpp"

namespace {

using namespace vorlane;
using System::StringToUtf8;

const char kUsage[] =
    "usage: joypackage PACKAGE [--resources] [--bitmap FILE] [--inspect] [--no-register]\n"
    "\n"
    "Loads the design package PACKAGE (a shared library file) through the package\n"
    "loader, calls its Register routines, prints its package information and what it\n"
    "registered with the designer, and unloads it.\n"
    "\n"
    "  --resources    also list its resources with their sizes, its description and\n"
    "                 its version\n"
    "  --bitmap FILE  write the palette bitmap of the first registered component class\n"
    "                 (the first BITMAP resource with --no-register) to FILE: a PNG image\n"
    "                 when FILE ends in .png, else a Windows bitmap file\n"
    "  --inspect      show the object inspector's rows for a new component of each\n"
    "                 registered class, in design state, through the package's editors\n"
    "  --no-register  load and unload without calling Register\n"
    "  --help         print this text\n"
    "\n"
    "Exit codes: 0 done; 1 the package could not be loaded or used, or a file could not\n"
    "be written; 2 the command line is wrong.\n";

struct TOptions {
  std::string Package;
  bool Resources = false;
  std::string Bitmap;
  bool Inspect = false;
  bool Register = true;
};

struct TUsageError {
  std::string Message;
};

TOptions ParseOptions(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--resources") {
      o.Resources = true;
    } else if (arg == "--inspect") {
      o.Inspect = true;
    } else if (arg == "--no-register") {
      o.Register = false;
    } else if (arg == "--bitmap" || arg.starts_with("--bitmap=")) {
      if (!o.Bitmap.empty()) throw TUsageError{"--bitmap may be given only once"};
      if (arg == "--bitmap" && i + 1 >= argc) throw TUsageError{"--bitmap needs a file name"};
      o.Bitmap = arg == "--bitmap" ? argv[++i] : arg.substr(9);
      if (o.Bitmap.empty()) throw TUsageError{"--bitmap needs a file name"};
    } else if (arg.starts_with("-")) {
      throw TUsageError{"unknown option '" + arg + "'"};
    } else if (o.Package.empty()) {
      o.Package = arg;
    } else {
      throw TUsageError{"only one package may be given ('" + arg + "')"};
    }
  }
  if (o.Package.empty()) throw TUsageError{"no package given"};
  if (o.Inspect && !o.Register) throw TUsageError{"--inspect needs the registration"};
  return o;
}

std::string Hex(std::uint32_t v, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, v);
  return text;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : ", ") + p;
  return out.empty() ? "(none)" : out;
}

std::string Info(const Packages::TPackageInfo& info, const std::string& path) {
  std::string out = "Package " + info.Package.Name + " (" + path + ")\n";
  std::vector<std::string> flags;
  if (info.Flags & Packages::pfDesignOnly) flags.push_back("design-only");
  if (info.Flags & Packages::pfRunOnly) flags.push_back("run-only");
  if ((info.Flags & Packages::pfModuleTypeMask) == Packages::pfPackageModule)
    flags.push_back("package module");
  out += "  flags:    0x" + Hex(info.Flags, 8) + " (" + Join(flags) + ")\n";
  std::vector<std::string> requires_;
  for (const auto& r : info.Requires) requires_.push_back(r.Name);
  out += "  requires: " + Join(requires_) + "\n";
  std::vector<std::string> units;
  for (const auto& u : info.Contains) {
    std::string unit = u.Name;
    if (u.Flags & Packages::ufMainUnit) unit += " (main unit)";
    units.push_back(unit);
  }
  out += "  contains: " + Join(units) + "\n";
  return out;
}

std::string Registrations() {
  std::string out = "Registered:\n";
  for (const DesignIntf::TPalettePage& page : DesignIntf::GetPalette()) {
    std::vector<std::string> classes;
    for (const TypInfo::TClassInfo* cls : page.Classes) classes.push_back(cls->Name);
    out += "  palette page \"" + StringToUtf8(page.Name) + "\": " + Join(classes) + "\n";
  }
  out +=
      "  property editors: " + std::to_string(DesignIntf::GetPropertyEditorRegistrations().size()) +
      "\n";
  out += "  property mappers: " + std::to_string(DesignIntf::GetPropertyMappers().size()) + "\n";
  return out;
}

std::string LanguageText(std::uint16_t language) {
  return language == 0 ? "neutral" : Hex(language, 4);
}

std::string Resources(Packages::HMODULE package) {
  std::string out = "Resources:\n";
  for (const Packages::TResource& r : Packages::EnumResources(package)) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-10s %-16s %-8s %6zu bytes\n",
                  StringToUtf8(r.Type.TypeText()).c_str(), StringToUtf8(r.Name.Text()).c_str(),
                  LanguageText(r.Language).c_str(), r.Data.size());
    out += line;
  }
  if (auto d = Packages::FindResource(package, Packages::RT_RCDATA, u"DESCRIPTION")) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < d->Data.size(); i += 2) {
      const auto unit = static_cast<char16_t>(std::to_integer<unsigned>(d->Data[i]) |
                                              std::to_integer<unsigned>(d->Data[i + 1]) << 8);
      if (unit == 0) break;
      text.push_back(unit);
    }
    out += "Description: " + StringToUtf8(text) + "\n";
  }
  for (const Packages::TResource& r : Packages::EnumResources(package)) {
    if (!(r.Type == Packages::TResourceId(Packages::RT_VERSION))) continue;
    const Packages::TVersionInfo v = Packages::DecodeVersionInfo(r.Data, "the version record");
    out += "Version: file " + Packages::VersionText(v.Fixed.FileVersionMS, v.Fixed.FileVersionLS) +
           ", product " +
           Packages::VersionText(v.Fixed.ProductVersionMS, v.Fixed.ProductVersionLS) +
           ", file type " + std::to_string(v.Fixed.FileType) + ", system 0x" +
           Hex(v.Fixed.FileOS, 1) + "\n";
    for (const Packages::TVersionStringTable& t : v.StringTables)
      for (const auto& [key, value] : t.Values)
        out += "  " + StringToUtf8(t.Key) + " " + StringToUtf8(key) + " = " + StringToUtf8(value) +
               "\n";
    for (std::uint32_t t : v.Translations)
      out += "  translation " + Hex(t & 0xFFFF, 4) + " " + Hex(t >> 16, 4) + "\n";
  }
  return out;
}

void WriteBitmap(Packages::HMODULE package, const std::string& file, std::FILE* out) {
  std::optional<Packages::TResource> bitmap;
  const auto palette = DesignIntf::GetPalette();
  if (!palette.empty() && !palette[0].Classes.empty()) {
    std::u16string name = System::Utf8ToString(palette[0].Classes[0]->Name);
    bitmap = Packages::FindResource(package, Packages::RT_BITMAP, name);
  } else {
    for (const Packages::TResource& r : Packages::EnumResources(package))
      if (!bitmap && r.Type == Packages::TResourceId(Packages::RT_BITMAP)) bitmap = r;
  }
  if (!bitmap) throw std::runtime_error("the package has no palette bitmap");
  JoyPackage::WritePicture(bitmap->Data, file);
  std::fprintf(out, "Wrote the bitmap %s to %s\n", StringToUtf8(bitmap->Name.Text()).c_str(),
               file.c_str());
}

std::string Inspect() {
  std::string out;
  for (const DesignIntf::TPalettePage& page : DesignIntf::GetPalette()) {
    for (const TypInfo::TClassInfo* cls : page.Classes) {
      struct TFree {
        void operator()(Classes::TComponent* c) const { System::TObject::Free(c); }
      };
      std::unique_ptr<Classes::TComponent, TFree> component(cls->Members.Create(nullptr));
      component->SetDesigning(true);
      std::string name = cls->Name;
      if (name.size() > 1 && name[0] == 'T') name = name.substr(1);
      component->SetName(System::Utf8ToString(name + "1"));
      Inspector::TObjectInspector inspector({component.get()});
      out += std::string(cls->Name) + ":\n" + Inspector::FormatRows(inspector.GetRows());
    }
  }
  return out;
}

// The package stays loaded while this lives.
class TLoadedPackage {
 public:
  explicit TLoadedPackage(const std::string& path) : FModule(Packages::LoadPackage(path)) {}
  ~TLoadedPackage() {
    if (FModule == 0) return;
    try {
      Packages::UnloadPackage(FModule);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "joypackage: %s\n", e.what());
    }
  }
  TLoadedPackage(const TLoadedPackage&) = delete;
  TLoadedPackage& operator=(const TLoadedPackage&) = delete;
  Packages::HMODULE Get() const { return FModule; }
  // Unloads now, so that a failure of the package's finalisation is reported.
  void Unload() {
    const Packages::HMODULE module = FModule;
    FModule = 0;
    Packages::UnloadPackage(module);
  }

 private:
  Packages::HMODULE FModule;
};

int Run(const TOptions& options) {
  std::string text;
  TLoadedPackage package(options.Package);
  text += Info(Packages::GetPackageInfo(package.Get()), options.Package);
  if (options.Register) {
    Packages::RegisterPackage(package.Get());
    text += Registrations();
  }
  if (options.Resources) text += Resources(package.Get());
  if (options.Inspect) text += Inspect();
  std::fputs(text.c_str(), stdout);
  if (!options.Bitmap.empty()) WriteBitmap(package.Get(), options.Bitmap, stdout);
  package.Unload();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  try {
    for (int i = 1; i < argc; ++i) {
      if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
      }
    }
    options = ParseOptions(argc, argv);
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "joypackage: %s (try --help)\n", e.Message.c_str());
    return 2;
  }
  try {
    Run(options);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "joypackage: %s\n", e.what());
    return 1;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "joypackage: cannot write to standard output\n");
    return 1;
  }
  return 0;
}
