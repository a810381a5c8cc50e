// Packages: loadable libraries, the module list, the package loader and resources.
//
// A package is a shared library built for the framework: it registers a module
// record from its library entry, exports Initialize, Finalize and
// GetPackageInfoTable, and carries resources, among them its package information
// (PACKAGEINFO). A designer host loads one like this:
//
//   Packages::HMODULE package = Packages::LoadPackage("/usr/lib/vorlane/libVorlaneJoy.so");
//   Packages::RegisterPackage(package);  // each unit's Register: palette, editors, mappers
//   ...                                  // the designer works with what was registered
//   Packages::UnloadPackage(package);    // Finalize (the designer withdraws them), close
//
// A module handle (HMODULE) is the address at which a library is mapped; 0 names
// no module. Handles stay valid while the library is loaded.
//
// A host must not load a package that contains a unit the process already holds
// (for instance a program linked with libvorlane-joystick loading the package that
// contains the unit Joystick): LoadPackage reads the package file before opening it
// and refuses such a package with EPackageError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorlane/runtime/Closure.hpp"
#include "vorlane/runtime/System.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::Packages {

using System::String;

using HMODULE = std::uintptr_t;

// A library or package that cannot be loaded, used or unloaded, or data in one that
// is malformed. The message names the file (or module) and what failed, e.g.
// "Cannot load package '/x/libFoo.so': it exports no Initialize routine."
class EPackageError : public System::Exception {
 public:
  using Exception::Exception;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

// --- Modules ----------------------------------------------------------------------

// The framework's record of one loaded module, made by the module's library entry.
// CodeInstance and DataInstance are 0 for a package. ResInstance is the module that
// holds its resources: RegisterModule sets it to Instance when it is 0; a host may
// hand a module a separate resource library (loaded with LoadLibrary), which the
// module's entry frees at detach.
struct TLibModule {
  HMODULE Instance = 0;
  HMODULE CodeInstance = 0;
  HMODULE DataInstance = 0;
  HMODULE ResInstance = 0;
};

// Reasons passed to a library entry.
inline constexpr std::uint32_t DLL_PROCESS_DETACH = 0;
inline constexpr std::uint32_t DLL_PROCESS_ATTACH = 1;
inline constexpr std::uint32_t DLL_THREAD_ATTACH = 2;
inline constexpr std::uint32_t DLL_THREAD_DETACH = 3;

// Adds a module to the module list. Raises EPackageError for a null record, an
// instance of 0 or an instance already registered by another record; registering
// the same record again changes nothing.
void RegisterModule(TLibModule* module);
// Removes a module from the list; a record that is not in it is ignored.
void UnregisterModule(TLibModule* module) noexcept;
// The registered record of a module instance, or nullptr.
TLibModule* FindModule(HMODULE instance);
// Every registered record, in the order registered.
std::vector<TLibModule*> GetModules();
// The module holding the resources of `instance`: its record's ResInstance, or
// `instance` itself when it is not registered.
HMODULE FindResourceHInstance(HMODULE instance);

// What happened to a module, in the order of a package's life: its entry registered
// it (meAttached), Initialize ran its units (meInitialized), the designer called its
// Register routines (meDesignRegistered), Finalize ran (meFinalized), its entry
// unregistered it (meDetached). meLibraryFreed: FreeLibrary closed a library.
enum class TModuleEvent : std::uint8_t {
  meAttached,
  meInitialized,
  meDesignRegistered,
  meFinalized,
  meDetached,
  meLibraryFreed,
};
// Called on the thread that caused the event, possibly from inside a library's
// entry: a notifier must not load or free libraries. The designer is one such
// notifier: at meFinalized and meDetached it withdraws what the module registered
// with it (palette classes, property editors, mappers).
using TModuleNotifier = Closure::TClosure<void(TModuleEvent event, HMODULE module)>;
void AddModuleNotifier(TModuleNotifier notifier);
void RemoveModuleNotifier(TModuleNotifier notifier);

// --- Libraries --------------------------------------------------------------------

// Opens a shared library (its entry runs) and answers its module handle. Each call
// must be matched by one FreeLibrary. Raises EPackageError naming the file and the
// system loader's message.
HMODULE LoadLibrary(const std::string& path);
// Closes one LoadLibrary of `module`; the library goes when the last one is closed.
// Raises EPackageError for a module that LoadLibrary did not open.
void FreeLibrary(HMODULE module);
// The address of a symbol exported by `module` itself (not by a library it uses);
// nullptr when there is none.
void* GetProcAddress(HMODULE module, const char* name);
// The file of a loaded module; empty for an address that is in no module.
std::string GetModuleFileName(HMODULE module);
// Whether `address` lies in one of the module's loaded segments.
bool ModuleContains(HMODULE module, const void* address);

// --- Package information table ------------------------------------------------------

using System::TUnitEntry;  // one unit in a package's initialisation table
using System::TUnitProc;

// A unit that the package itself contains.
struct TContainedUnit {
  const char* Name = "";
  const std::int32_t* InitCount = nullptr;
};

// A type record that the framework may look up by name.
struct TTypeEntry {
  const char* Name = "";
  TypInfo::PTypeInfo Type = nullptr;
};

// What GetPackageInfoTable returns: the units to initialise, in order (every unit
// the package uses, the framework's own included), the units the package contains,
// and its type records.
struct TPackageInfoTable {
  std::span<const TUnitEntry> Units;
  std::span<const TContainedUnit> Contained;
  std::span<const TTypeEntry> Types;
};

// Runs the table's initialisations in table order for `module`. When one raises,
// the units initialised before it are finalised, last first, and the exception
// passes on. Raises EPackageError for a null table or module, or a module whose
// units are already initialised.
void PackageLoad(const TPackageInfoTable* table, TLibModule* module);
// Runs the finalisations of the units PackageLoad initialised for `module`, last
// first; nothing when none were. Finalisations do not raise; if one does, the others
// still run and the first exception passes on afterwards.
void PackageUnload(const TPackageInfoTable* table, TLibModule* module);

// The table entry of a unit of a framework library loaded in the process
// (System::FindUnit): "System", "Closure", "TypInfo", "Classes", "FormData" of
// vlruntime; "Messages", "Forms" of vlvisual; "DesignIntf", "DesignEditors",
// "Inspector" of vldesign; "Packages" of vlpackages; "joystickapi" of the joystick
// service. Their routines only count: a library sets itself up when it is loaded.
// Raises EPackageError for a unit that no loaded library holds.
const TUnitEntry& FrameworkUnit(std::string_view name);

// --- Package information (the PACKAGEINFO resource) ---------------------------------

inline constexpr std::uint32_t pfDesignOnly = 0x00000002;
inline constexpr std::uint32_t pfRunOnly = 0x00000004;
inline constexpr std::uint32_t pfToolsMask = 0x00300000;
inline constexpr std::uint32_t pfProducerMask = 0x0C000000;
inline constexpr std::uint32_t pfModuleTypeMask = 0xC0000000;
inline constexpr std::uint32_t pfPackageModule = 0x40000000;

inline constexpr std::uint8_t ufMainUnit = 0x01;
inline constexpr std::uint8_t ufPackageUnit = 0x02;

// The one-byte hash stored with every name in PACKAGEINFO. Names of units and
// packages are case-insensitive, so the hash is too: for each character, upper-cased
// (ASCII), rotate the hash left by one bit and add the character's code.
constexpr std::uint8_t NameHash(std::string_view name) {
  std::uint8_t hash = 0;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(System::AsciiUpper(ch));
    hash = static_cast<std::uint8_t>(((hash << 1) | (hash >> 7)) + c);
  }
  return hash;
}

// The framework's packages loaded in this process, each a library of its own:
// "vlruntime" (the run-time library), "vlvisual" (windows, the loop and forms),
// "vlpackages" (this loader), "vldesign" (the designer interface, when the host
// links it), and the joystick service's "vorlane-joyservice". A package may require
// any of them; one it requires that is not here is refused.
std::vector<std::string> FrameworkPackages();

struct TPackageName {
  std::uint8_t Hash = 0;
  std::string Name;
};
struct TPackageUnit {
  std::uint8_t Flags = 0;
  std::uint8_t Hash = 0;
  std::string Name;
};
struct TPackageInfo {
  std::uint32_t Flags = 0;
  std::vector<TPackageName> Requires;
  std::vector<TPackageUnit> Contains;
  TPackageName Package;
};

// Decodes PACKAGEINFO: u32 flags, u32 count and the required packages (u8 hash, name
// ending in a zero byte), u32 count and the contained units (u8 flags, u8 hash,
// name), the package's name (u8 hash, name), then only zero bytes. Raises
// EPackageError naming `where` for data that is cut short, a name whose hash does
// not match, an empty name or anything but zero bytes after the package name.
TPackageInfo DecodePackageInfo(std::span<const std::byte> data, std::string_view where);
// The package information of a loaded module. Raises EPackageError when it has none.
TPackageInfo GetPackageInfo(HMODULE module);
// The package information in a package file, read without loading it.
TPackageInfo ReadPackageInfo(const std::string& path);

// --- Resources --------------------------------------------------------------------

inline constexpr std::uint16_t RT_BITMAP = 2;
inline constexpr std::uint16_t RT_ICON = 3;
inline constexpr std::uint16_t RT_RCDATA = 10;
inline constexpr std::uint16_t RT_GROUP_ICON = 14;
inline constexpr std::uint16_t RT_VERSION = 16;

inline constexpr std::uint16_t LANG_NEUTRAL_ID = 0x0000;
inline constexpr std::uint16_t LANG_ENGLISH_US = 0x0409;

// A module carries its resources in the 32-bit Windows resource file layout (as a
// resource compiler writes it), exported as a byte array and its size under these
// names. vorlane-rc writes both.
inline constexpr const char* ResourcesSymbol = "VorlaneResources";
inline constexpr const char* ResourcesSizeSymbol = "VorlaneResourcesSize";

// A resource type or name: a number, or a text (compared without regard to case).
class TResourceId {
 public:
  TResourceId(std::uint16_t ordinal) : FOrdinal(ordinal) {}
  TResourceId(String name) : FName(std::move(name)) {}
  TResourceId(const char16_t* name) : FName(name) {}

  bool IsOrdinal() const { return FName.empty(); }
  std::uint16_t Ordinal() const { return FOrdinal; }
  const String& Name() const { return FName; }
  // "PACKAGEINFO", or "#16" for a number.
  String Text() const;
  // A resource type's usual name ("BITMAP", "RCDATA", ...), else Text().
  String TypeText() const;

  friend bool operator==(const TResourceId& a, const TResourceId& b);

 private:
  std::uint16_t FOrdinal = 0;
  String FName;
};

struct TResource {
  TResourceId Type{std::uint16_t{0}};
  TResourceId Name{std::uint16_t{0}};
  std::uint16_t Language = 0;
  std::span<const std::byte> Data;  // in the module's memory
};

// The resources in a resource file image, in file order. Raises EPackageError
// naming `where` for a malformed image.
std::vector<TResource> ParseResources(std::span<const std::byte> image, std::string_view where);
// Every resource of a loaded module, in file order; empty when it has none. Raises
// EPackageError when its resources are malformed.
std::vector<TResource> EnumResources(HMODULE module);
// The resource of that type and name in the module; with a language, only in that
// language, else the first of any language. std::nullopt when there is none.
std::optional<TResource> FindResource(HMODULE module, const TResourceId& type,
                                      const TResourceId& name,
                                      std::optional<std::uint16_t> language = std::nullopt);
// The bytes of a resource; raises EPackageError naming the module and the resource
// when there is none.
std::span<const std::byte> LoadResource(HMODULE module, const TResourceId& type,
                                        const TResourceId& name);

// The version resource (VS_VERSIONINFO).
struct TFixedFileInfo {
  std::uint32_t Signature = 0;
  std::uint32_t StrucVersion = 0;
  std::uint32_t FileVersionMS = 0;
  std::uint32_t FileVersionLS = 0;
  std::uint32_t ProductVersionMS = 0;
  std::uint32_t ProductVersionLS = 0;
  std::uint32_t FileFlagsMask = 0;
  std::uint32_t FileFlags = 0;
  std::uint32_t FileOS = 0;
  std::uint32_t FileType = 0;
  std::uint32_t FileSubtype = 0;
  std::uint32_t FileDateMS = 0;
  std::uint32_t FileDateLS = 0;
};
struct TVersionStringTable {
  String Key;                                     // "040904E4"
  std::vector<std::pair<String, String>> Values;  // in stored order
};
struct TVersionInfo {
  TFixedFileInfo Fixed;
  std::vector<TVersionStringTable> StringTables;
  std::vector<std::uint32_t> Translations;  // language in the low, code page in the high word
};
inline constexpr std::uint32_t VS_FFI_SIGNATURE = 0xFEEF04BD;
// Raises EPackageError naming `where` for a malformed record.
TVersionInfo DecodeVersionInfo(std::span<const std::byte> data, std::string_view where);
// "1.0.0.0" from a version's high and low words.
std::string VersionText(std::uint32_t ms, std::uint32_t ls);

// --- Packages -----------------------------------------------------------------------

// Loads a package: reads its package information from the file and checks it (a
// package module, every required package available, no contained unit already in
// the process or in a loaded package), opens the library (its entry registers its
// module), checks that the module registered itself and exports Initialize,
// Finalize and GetPackageInfoTable, and calls Initialize. On any failure the library
// is closed again and EPackageError names the file and what failed.
HMODULE LoadPackage(const std::string& path);
// Calls the Register routine of each contained unit that exports one, in the order
// of the package information. What Register raises passes on. Raises EPackageError
// for a module that is not a loaded package.
void RegisterPackage(HMODULE package);
// Calls Finalize and closes the library (its entry unregisters the module). The
// designer registrations that point into the package (palette classes, property
// editors, mappers) are gone afterwards: the designer withdraws them when it is told
// that the package's units were finalised or its module detached. Raises
// EPackageError for a module that is not a loaded package.
void UnloadPackage(HMODULE package);

struct TLoadedPackage {
  HMODULE Module = 0;
  std::string Path;
  TPackageInfo Info;
  bool Registered = false;
};
// The packages loaded with LoadPackage, in the order loaded.
std::vector<TLoadedPackage> GetLoadedPackages();
// A type record named `name` in the type table of a loaded package; nullptr if none.
TypInfo::PTypeInfo FindPackageType(std::string_view name);

}  // namespace vorlane::Packages
