// The module list, libraries, unit initialisation and the package loader.
#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <mutex>

#include "framework/os/Os.hpp"
#include "framework/packages/PackageInternal.hpp"

namespace vorlane::Packages {

using detail::Fail;

const TypInfo::TClassInfo& EPackageError::StaticClass() {
  static const TypInfo::TClassInfo info("EPackageError", &System::Exception::StaticClass());
  return info;
}

namespace {

struct TLibrary {
  HMODULE Module = 0;
  Os::TLibraryHandle Handle = nullptr;
  int Count = 0;
};

struct TInitContext {
  TLibModule* Module = nullptr;
  const TPackageInfoTable* Table = nullptr;
  std::size_t Count = 0;  // units initialised, from the first
};

struct TPackage {
  TLoadedPackage Public;
  Os::TFileId File;
  void (*Finalize)() = nullptr;
  const TPackageInfoTable* Table = nullptr;
};

struct TState {
  std::mutex Lock;
  std::vector<TLibModule*> Modules;
  std::vector<TModuleNotifier> Notifiers;
  std::vector<TLibrary> Libraries;
  std::vector<TInitContext> Initialized;
  std::vector<TPackage> Packages;
};

// Never destroyed: library entries call in here while the process exits, after
// ordinary static objects are gone.
TState& State() {
  static TState* state = new TState;
  return *state;
}

// Module events come from library entries, which must not fail: a notifier that
// raises is not allowed to break a library's loading or unloading.
void Notify(TModuleEvent event, HMODULE module) noexcept {
  std::vector<TModuleNotifier> notifiers;
  {
    std::lock_guard lock(State().Lock);
    notifiers = State().Notifiers;
  }
  for (const TModuleNotifier& n : notifiers) {
    try {
      n(event, module);
    } catch (...) {
    }
  }
}

String Quoted(const std::string& path) {
  return u"'" + System::Utf8ToString(path) + u"'";
}

// A loader reference for a loaded module: the one LoadLibrary keeps, or a new one
// given back on destruction.
class TModuleHandle {
 public:
  explicit TModuleHandle(HMODULE module) {
    {
      std::lock_guard lock(State().Lock);
      for (const TLibrary& l : State().Libraries)
        if (l.Module == module) FBorrowed = l.Handle;
    }
    if (FBorrowed == nullptr) FOwned = Os::OpenLoadedModule(module);
  }
  ~TModuleHandle() {
    std::string ignored;
    if (FOwned != nullptr) Os::CloseLibrary(FOwned, ignored);
  }
  TModuleHandle(const TModuleHandle&) = delete;
  TModuleHandle& operator=(const TModuleHandle&) = delete;

  Os::TLibraryHandle Get() const { return FBorrowed != nullptr ? FBorrowed : FOwned; }

 private:
  Os::TLibraryHandle FBorrowed = nullptr;
  Os::TLibraryHandle FOwned = nullptr;
};

}  // namespace

// --- Modules ------------------------------------------------------------------------

void RegisterModule(TLibModule* module) {
  if (module == nullptr) throw EPackageError(u"Cannot register a module: the record is nil.");
  if (module->Instance == 0)
    throw EPackageError(u"Cannot register a module: its record has no instance.");
  {
    TState& s = State();
    std::lock_guard lock(s.Lock);
    for (TLibModule* m : s.Modules) {
      if (m == module) return;
      if (m->Instance == module->Instance)
        throw EPackageError(u"Cannot register module " +
                            Quoted(GetModuleFileName(module->Instance)) +
                            u": another record is registered for it.");
    }
    if (module->ResInstance == 0) module->ResInstance = module->Instance;
    s.Modules.push_back(module);
  }
  Notify(TModuleEvent::meAttached, module->Instance);
}

void UnregisterModule(TLibModule* module) noexcept {
  bool found = false;
  {
    TState& s = State();
    std::lock_guard lock(s.Lock);
    auto it = std::find(s.Modules.begin(), s.Modules.end(), module);
    if (it != s.Modules.end()) {
      s.Modules.erase(it);
      found = true;
    }
  }
  if (found) Notify(TModuleEvent::meDetached, module->Instance);
}

TLibModule* FindModule(HMODULE instance) {
  TState& s = State();
  std::lock_guard lock(s.Lock);
  for (TLibModule* m : s.Modules)
    if (m->Instance == instance) return m;
  return nullptr;
}

std::vector<TLibModule*> GetModules() {
  TState& s = State();
  std::lock_guard lock(s.Lock);
  return s.Modules;
}

HMODULE FindResourceHInstance(HMODULE instance) {
  TLibModule* m = FindModule(instance);
  return m != nullptr && m->ResInstance != 0 ? m->ResInstance : instance;
}

void AddModuleNotifier(TModuleNotifier notifier) {
  if (!notifier) throw EPackageError(u"Cannot add an unassigned module notifier.");
  TState& s = State();
  std::lock_guard lock(s.Lock);
  s.Notifiers.push_back(notifier);
}

void RemoveModuleNotifier(TModuleNotifier notifier) {
  TState& s = State();
  std::lock_guard lock(s.Lock);
  auto it = std::find(s.Notifiers.begin(), s.Notifiers.end(), notifier);
  if (it != s.Notifiers.end()) s.Notifiers.erase(it);
}

// --- Libraries ------------------------------------------------------------------------

namespace {

// Opens a library; `kind` ("library", "package") names it in the message of a failure.
HMODULE OpenLibrary(const std::string& path, std::u16string_view kind) {
  const String what = u"Cannot load " + String(kind) + u" " + Quoted(path) + u": ";
  if (path.empty())
    throw EPackageError(u"Cannot load a " + String(kind) + u" without a file name.");
  std::string error;
  const Os::TLibraryHandle handle = Os::OpenLibrary(path, error);
  if (handle == nullptr) throw EPackageError(what + System::Utf8ToString(error) + u".");
  const HMODULE module = Os::ModuleOf(handle);
  if (module == 0) {
    Os::CloseLibrary(handle, error);
    throw EPackageError(what + u"its address is unknown.");
  }
  TState& s = State();
  std::lock_guard lock(s.Lock);
  for (TLibrary& l : s.Libraries) {
    if (l.Module == module) {
      ++l.Count;
      return module;
    }
  }
  s.Libraries.push_back({module, handle, 1});
  return module;
}

}  // namespace

HMODULE LoadLibrary(const std::string& path) {
  return OpenLibrary(path, u"library");
}

void FreeLibrary(HMODULE module) {
  Os::TLibraryHandle handle = nullptr;
  bool last = false;
  {
    TState& s = State();
    std::lock_guard lock(s.Lock);
    auto it = std::find_if(s.Libraries.begin(), s.Libraries.end(),
                           [&](const TLibrary& l) { return l.Module == module; });
    if (it == s.Libraries.end())
      throw EPackageError(u"Cannot free module " + Quoted(GetModuleFileName(module)) +
                          u": it was not loaded with LoadLibrary.");
    handle = it->Handle;
    last = --it->Count == 0;
    if (last) s.Libraries.erase(it);
  }
  // Every LoadLibrary took one reference of the same handle: give back one of them.
  std::string error;
  if (!Os::CloseLibrary(handle, error))
    throw EPackageError(u"Cannot free library: " + System::Utf8ToString(error) + u".");
  if (last) Notify(TModuleEvent::meLibraryFreed, module);
}

void* GetProcAddress(HMODULE module, const char* name) {
  TModuleHandle handle(module);
  if (handle.Get() == nullptr || name == nullptr) return nullptr;
  void* symbol = Os::FindSymbol(handle.Get(), name);
  // The search may go on into the libraries the module uses: keep only its own.
  if (symbol == nullptr || Os::ModuleContaining(symbol) != module) return nullptr;
  return symbol;
}

std::string GetModuleFileName(HMODULE module) {
  return Os::ModulePath(module);
}

bool ModuleContains(HMODULE module, const void* address) {
  return module != 0 && Os::ModuleContaining(address) == module;
}

// --- Unit initialisation ----------------------------------------------------------------

void PackageLoad(const TPackageInfoTable* table, TLibModule* module) {
  if (table == nullptr || module == nullptr)
    throw EPackageError(u"PackageLoad needs a package information table and a module record.");
  TState& s = State();
  {
    std::lock_guard lock(s.Lock);
    for (const TInitContext& c : s.Initialized)
      if (c.Module == module)
        throw EPackageError(u"The units of " + Quoted(GetModuleFileName(module->Instance)) +
                            u" are already initialised.");
    s.Initialized.push_back({module, table, 0});
  }
  auto context = [&]() -> TInitContext& {
    return *std::find_if(s.Initialized.begin(), s.Initialized.end(),
                         [&](const TInitContext& c) { return c.Module == module; });
  };
  for (std::size_t i = 0; i < table->Units.size(); ++i) {
    try {
      if (table->Units[i].Init != nullptr) table->Units[i].Init();
    } catch (...) {
      // Undo what was done, last first, and let the failure pass on.
      for (std::size_t j = i; j-- > 0;) {
        try {
          if (table->Units[j].FInit != nullptr) table->Units[j].FInit();
        } catch (...) {
        }
      }
      std::lock_guard lock(s.Lock);
      s.Initialized.erase(std::find_if(s.Initialized.begin(), s.Initialized.end(),
                                       [&](const TInitContext& c) { return c.Module == module; }));
      throw;
    }
    std::lock_guard lock(s.Lock);
    context().Count = i + 1;
  }
  Notify(TModuleEvent::meInitialized, module->Instance);
}

void PackageUnload(const TPackageInfoTable*, TLibModule* module) {
  TInitContext context;
  {
    TState& s = State();
    std::lock_guard lock(s.Lock);
    auto it = std::find_if(s.Initialized.begin(), s.Initialized.end(),
                           [&](const TInitContext& c) { return c.Module == module; });
    if (it == s.Initialized.end()) return;
    context = *it;
    s.Initialized.erase(it);
  }
  std::exception_ptr first;
  for (std::size_t i = context.Count; i-- > 0;) {
    try {
      if (context.Table->Units[i].FInit != nullptr) context.Table->Units[i].FInit();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  Notify(TModuleEvent::meFinalized, module->Instance);
  if (first) std::rethrow_exception(first);
}

const TUnitEntry& FrameworkUnit(std::string_view name) {
  if (const TUnitEntry* unit = System::FindUnit(name)) return *unit;
  throw EPackageError(u"No framework library loaded in this process holds a unit named '" +
                      System::Utf8ToString(name) + u"'.");
}

// --- Packages -------------------------------------------------------------------------------

namespace {

bool IsOwnUnit(const TPackageUnit& unit) {
  return (unit.Flags & ufPackageUnit) != 0 || System::SameText(unit.Name, "SysInit");
}

// How the build names the framework's libraries, and what ends a directory.
#ifdef _WIN32
constexpr std::string_view kLibrarySuffix = ".dll";
constexpr std::string_view kDirectorySeparators = "/\\";
#else
constexpr std::string_view kLibrarySuffix = ".so";
constexpr std::string_view kDirectorySeparators = "/";
#endif

// The framework's packages are libraries next to this one (lib<name>.so, or
// lib<name>.dll on Windows). One that a package requires and the host did not link
// is loaded, as the framework's loader loads a package's requirements; it stays for
// the life of the process.
bool LoadFrameworkPackage(const std::string& name) {
  static constexpr std::string_view kPackages[] = {"vlruntime", "vlvisual", "vlpackages",
                                                   "vldesign"};
  if (std::ranges::find(kPackages, name) == std::end(kPackages)) return false;
  const std::string own = Os::ModulePath(Os::ModuleContaining(&kPackages));
  const std::size_t slash = own.find_last_of(kDirectorySeparators);
  if (slash == std::string::npos) return false;
  std::string path = own.substr(0, slash + 1);
  path.append("lib").append(name).append(kLibrarySuffix);
  std::string error;
  if (Os::OpenLibrary(path, error) == nullptr) return false;
  return std::ranges::any_of(FrameworkPackages(),
                             [&](const std::string& f) { return System::SameText(f, name); });
}

// The checks made on a package file before it is opened.
void CheckPackageFile(const std::string& path, const TPackageInfo& info, const Os::TFileId& file) {
  auto refuse = [&](const std::string& why) { Fail("Cannot load package '" + path + "': " + why); };
  char flags[11];
  std::snprintf(flags, sizeof flags, "0x%08X", info.Flags);
  if ((info.Flags & pfModuleTypeMask) != pfPackageModule)
    refuse(std::string("it is not a package module (flags ") + flags + ").");
  const std::vector<TLoadedPackage> loaded = GetLoadedPackages();
  {
    TState& s = State();
    std::lock_guard lock(s.Lock);
    for (const TPackage& p : s.Packages)
      if (p.File == file) refuse("it is already loaded (as '" + p.Public.Path + "').");
  }
  for (const TPackageName& required : info.Requires) {
    bool available = std::ranges::any_of(FrameworkPackages(), [&](const std::string& f) {
      return System::SameText(f, required.Name);
    });
    available = available || LoadFrameworkPackage(required.Name);
    for (const TLoadedPackage& p : loaded)
      available = available || System::SameText(p.Info.Package.Name, required.Name);
    if (!available) refuse("it requires package '" + required.Name + "', which is not loaded.");
  }
  for (const TPackageUnit& unit : info.Contains) {
    if (IsOwnUnit(unit)) continue;
    for (const TLoadedPackage& p : loaded)
      for (const TPackageUnit& other : p.Info.Contains)
        if (System::SameText(other.Name, unit.Name))
          refuse("it contains unit '" + unit.Name + "', which is also contained in package '" +
                 p.Info.Package.Name + "' ('" + p.Path + "').");
    const std::string holder = detail::FindUnitInProcess(unit.Name);
    if (!holder.empty())
      refuse("it contains unit '" + unit.Name + "', which this process already holds in '" +
             holder + "'.");
  }
}

}  // namespace

HMODULE LoadPackage(const std::string& path) {
  if (path.empty()) Fail("Cannot load a package without a file name.");
  Os::TFileId file;
  try {
    file = Os::FileIdOf(path);
  } catch (const Os::EOsError& e) {
    Fail("Cannot load package '" + path + "': " + e.code().message() + ".");
  }
  const TPackageInfo info = ReadPackageInfo(path);
  CheckPackageFile(path, info, file);

  const HMODULE module = OpenLibrary(path, u"package");
  auto refuse = [&](const String& why) {
    FreeLibrary(module);
    throw EPackageError(u"Cannot load package " + Quoted(path) + u": " + why);
  };
  TLibModule* record = FindModule(module);
  if (record == nullptr) refuse(u"its library entry registered no module.");
  auto initialize = reinterpret_cast<void (*)()>(GetProcAddress(module, "Initialize"));
  auto finalize = reinterpret_cast<void (*)()>(GetProcAddress(module, "Finalize"));
  auto getTable = reinterpret_cast<const TPackageInfoTable* (*)()>(
      GetProcAddress(module, "_Z19GetPackageInfoTablev"));
  if (initialize == nullptr) refuse(u"it exports no Initialize routine.");
  if (finalize == nullptr) refuse(u"it exports no Finalize routine.");
  if (getTable == nullptr) refuse(u"it exports no GetPackageInfoTable routine.");
  const TPackageInfoTable* table = getTable();
  if (table == nullptr) refuse(u"its GetPackageInfoTable answers nil.");

  try {
    initialize();
  } catch (const System::Exception& e) {
    refuse(u"its initialization failed: " + e.GetMessage());
  } catch (const std::exception& e) {
    refuse(u"its initialization failed: " + System::Utf8ToString(e.what()));
  } catch (...) {
    refuse(u"its initialization failed.");
  }

  TPackage p;
  p.Public = {module, path, info, false};
  p.File = file;
  p.Finalize = finalize;
  p.Table = table;
  TState& s = State();
  std::lock_guard lock(s.Lock);
  s.Packages.push_back(std::move(p));
  return module;
}

void RegisterPackage(HMODULE package) {
  TPackageInfo info;
  {
    TState& s = State();
    std::lock_guard lock(s.Lock);
    auto it = std::find_if(s.Packages.begin(), s.Packages.end(),
                           [&](const TPackage& p) { return p.Public.Module == package; });
    if (it == s.Packages.end())
      throw EPackageError(u"Cannot register module " + Quoted(GetModuleFileName(package)) +
                          u": it is not a loaded package.");
    info = it->Public.Info;
  }
  for (const TPackageUnit& unit : info.Contains) {
    if (IsOwnUnit(unit)) continue;
    const std::string symbol = detail::UnitRoutineSymbol(unit.Name, "Register");
    if (auto reg = reinterpret_cast<void (*)()>(GetProcAddress(package, symbol.c_str()))) reg();
  }
  {
    TState& s = State();
    std::lock_guard lock(s.Lock);
    for (TPackage& p : s.Packages)
      if (p.Public.Module == package) p.Public.Registered = true;
  }
  Notify(TModuleEvent::meDesignRegistered, package);
}

void UnloadPackage(HMODULE package) {
  TPackage p;
  {
    TState& s = State();
    std::lock_guard lock(s.Lock);
    auto it = std::find_if(s.Packages.begin(), s.Packages.end(),
                           [&](const TPackage& q) { return q.Public.Module == package; });
    if (it == s.Packages.end())
      throw EPackageError(u"Cannot unload module " + Quoted(GetModuleFileName(package)) +
                          u": it is not a loaded package.");
    p = std::move(*it);
    s.Packages.erase(it);
  }
  String failure;
  try {
    p.Finalize();
  } catch (const System::Exception& e) {
    failure = e.GetMessage();
  } catch (const std::exception& e) {
    failure = System::Utf8ToString(e.what());
  } catch (...) {
    failure = u"unknown exception";
  }
  FreeLibrary(package);
  if (!failure.empty())
    throw EPackageError(u"Package " + Quoted(p.Public.Path) +
                        u" was unloaded, but its finalization failed: " + failure);
}

std::vector<TLoadedPackage> GetLoadedPackages() {
  TState& s = State();
  std::lock_guard lock(s.Lock);
  std::vector<TLoadedPackage> out;
  for (const TPackage& p : s.Packages) out.push_back(p.Public);
  return out;
}

TypInfo::PTypeInfo FindPackageType(std::string_view name) {
  TState& s = State();
  std::lock_guard lock(s.Lock);
  for (const TPackage& p : s.Packages)
    for (const TTypeEntry& t : p.Table->Types)
      if (name == t.Name) return t.Type;
  return nullptr;
}

}  // namespace vorlane::Packages
