// The module list, libraries, unit initialisation and the package loader.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>

#include "framework/PackageInternal.hpp"

namespace vorlane::Packages {

using detail::Fail;

const TypInfo::TClassInfo& EPackageError::StaticClass() {
  static const TypInfo::TClassInfo info("EPackageError", &System::Exception::StaticClass());
  return info;
}

namespace {

struct TLibrary {
  HMODULE Module = 0;
  void* Handle = nullptr;
  int Count = 0;
};

struct TInitContext {
  TLibModule* Module = nullptr;
  const TPackageInfoTable* Table = nullptr;
  std::size_t Count = 0;  // units initialised, from the first
};

struct TPackage {
  TLoadedPackage Public;
  dev_t Device = 0;
  ino_t Inode = 0;
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

std::string DlError() {
  const char* e = ::dlerror();
  return e != nullptr ? e : "unknown error";
}

HMODULE InstanceOfHandle(void* handle) {
  link_map* map = nullptr;
  if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return 0;
  Dl_info info{};
  if (::dladdr(map->l_ld, &info) == 0) return 0;
  return reinterpret_cast<HMODULE>(info.dli_fbase);
}

// A dynamic loader handle for a loaded module, closed again on destruction.
class TModuleHandle {
 public:
  explicit TModuleHandle(HMODULE module) {
    {
      std::lock_guard lock(State().Lock);
      for (const TLibrary& l : State().Libraries)
        if (l.Module == module) FBorrowed = l.Handle;
    }
    if (FBorrowed != nullptr) return;
    Dl_info info{};
    if (module == 0 || ::dladdr(reinterpret_cast<const void*>(module), &info) == 0 ||
        reinterpret_cast<HMODULE>(info.dli_fbase) != module)
      return;
    if (info.dli_fname != nullptr) FOwned = ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (FOwned == nullptr) {  // the program itself is not found by its file name
      void* self = ::dlopen(nullptr, RTLD_LAZY);
      if (self != nullptr && InstanceOfHandle(self) == module)
        FOwned = self;
      else if (self != nullptr)
        ::dlclose(self);
    }
  }
  ~TModuleHandle() {
    if (FOwned != nullptr) ::dlclose(FOwned);
  }
  TModuleHandle(const TModuleHandle&) = delete;
  TModuleHandle& operator=(const TModuleHandle&) = delete;

  void* Get() const { return FBorrowed != nullptr ? FBorrowed : FOwned; }

 private:
  void* FBorrowed = nullptr;
  void* FOwned = nullptr;
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
  ::dlerror();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw EPackageError(what + System::Utf8ToString(DlError()) + u".");
  const HMODULE module = InstanceOfHandle(handle);
  if (module == 0) {
    ::dlclose(handle);
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
  void* handle = nullptr;
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
  // Every LoadLibrary made one dlopen of the same handle: close one of them.
  ::dlerror();
  if (::dlclose(handle) != 0)
    throw EPackageError(u"Cannot free library: " + System::Utf8ToString(DlError()) + u".");
  if (last) Notify(TModuleEvent::meLibraryFreed, module);
}

void* GetProcAddress(HMODULE module, const char* name) {
  TModuleHandle handle(module);
  if (handle.Get() == nullptr || name == nullptr) return nullptr;
  void* symbol = ::dlsym(handle.Get(), name);
  if (symbol == nullptr) return nullptr;
  // dlsym also searches the libraries the module uses: keep only the module's own.
  Dl_info info{};
  if (::dladdr(symbol, &info) == 0 || reinterpret_cast<HMODULE>(info.dli_fbase) != module)
    return nullptr;
  return symbol;
}

std::string GetModuleFileName(HMODULE module) {
  Dl_info info{};
  if (module == 0 || ::dladdr(reinterpret_cast<const void*>(module), &info) == 0 ||
      reinterpret_cast<HMODULE>(info.dli_fbase) != module || info.dli_fname == nullptr)
    return {};
  return info.dli_fname;
}

bool ModuleContains(HMODULE module, const void* address) {
  Dl_info info{};
  return module != 0 && address != nullptr && ::dladdr(address, &info) != 0 &&
         reinterpret_cast<HMODULE>(info.dli_fbase) == module;
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

namespace {

constexpr std::array<const char*, 12> kFrameworkUnits = {
    "System", "Closure",  "TypInfo",    "Classes",       "Messages",  "joystickapi",
    "Forms",  "FormData", "DesignIntf", "DesignEditors", "Inspector", "Packages"};

std::int32_t gFrameworkUnitCounts[kFrameworkUnits.size()] = {};

template <std::size_t N>
void FrameworkUnitInit() {
  --gFrameworkUnitCounts[N];
}
template <std::size_t N>
void FrameworkUnitFInit() {
  ++gFrameworkUnitCounts[N];
}

template <std::size_t... N>
constexpr std::array<TUnitEntry, sizeof...(N)> MakeFrameworkEntries(std::index_sequence<N...>) {
  return {TUnitEntry{kFrameworkUnits[N], &FrameworkUnitInit<N>, &FrameworkUnitFInit<N>,
                     &gFrameworkUnitCounts[N]}...};
}

const std::array<TUnitEntry, kFrameworkUnits.size()> kFrameworkEntries =
    MakeFrameworkEntries(std::make_index_sequence<kFrameworkUnits.size()>());

}  // namespace

const TUnitEntry& FrameworkUnit(std::string_view name) {
  for (const TUnitEntry& e : kFrameworkEntries)
    if (name == e.Name) return e;
  throw EPackageError(u"The framework has no unit named '" + System::Utf8ToString(name) + u"'.");
}

// --- Packages -------------------------------------------------------------------------------

namespace {

bool IsOwnUnit(const TPackageUnit& unit) {
  return (unit.Flags & ufPackageUnit) != 0 || detail::SameName(unit.Name, "SysInit");
}

// The checks made on a package file before it is opened.
void CheckPackageFile(const std::string& path, const TPackageInfo& info, const struct stat& st) {
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
      if (p.Device == st.st_dev && p.Inode == st.st_ino)
        refuse("it is already loaded (as '" + p.Public.Path + "').");
  }
  for (const TPackageName& required : info.Requires) {
    bool available = std::ranges::any_of(FrameworkPackages(), [&](std::string_view f) {
      return detail::SameName(f, required.Name);
    });
    for (const TLoadedPackage& p : loaded)
      available = available || detail::SameName(p.Info.Package.Name, required.Name);
    if (!available) refuse("it requires package '" + required.Name + "', which is not loaded.");
  }
  for (const TPackageUnit& unit : info.Contains) {
    if (IsOwnUnit(unit)) continue;
    for (const TLoadedPackage& p : loaded)
      for (const TPackageUnit& other : p.Info.Contains)
        if (detail::SameName(other.Name, unit.Name))
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
  struct stat st {};
  if (path.empty()) Fail("Cannot load a package without a file name.");
  if (::stat(path.c_str(), &st) != 0)
    Fail("Cannot load package '" + path + "': " + std::strerror(errno) + ".");
  const TPackageInfo info = ReadPackageInfo(path);
  CheckPackageFile(path, info, st);

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
  p.Device = st.st_dev;
  p.Inode = st.st_ino;
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
  detail::WithdrawDesignRegistrations(package);
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
