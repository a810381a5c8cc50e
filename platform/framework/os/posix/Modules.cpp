// Modules on POSIX: the dynamic loader (dlopen and friends) and the list of loaded
// objects (dl_iterate_phdr).
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "framework/os/Os.hpp"

namespace vorlane::Os {

namespace {

std::string LoaderError() {
  const char* e = ::dlerror();
  return e != nullptr ? e : "unknown error";
}

// What dladdr says about `address`, when it lies in a module based at `module`.
bool DescribeModule(TModuleBase module, Dl_info& info) {
  return module != 0 && ::dladdr(reinterpret_cast<const void*>(module), &info) != 0 &&
         reinterpret_cast<TModuleBase>(info.dli_fbase) == module;
}

}  // namespace

TLibraryHandle OpenLibrary(const std::string& path, std::string& error) {
  ::dlerror();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) error = LoaderError();
  return handle;
}

TLibraryHandle OpenLoadedModule(TModuleBase module) {
  Dl_info info{};
  if (!DescribeModule(module, info)) return nullptr;
  if (info.dli_fname != nullptr)
    if (void* handle = ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) return handle;
  // The program itself is not found by its file name.
  void* self = ::dlopen(nullptr, RTLD_LAZY);
  if (self != nullptr && ModuleOf(self) == module) return self;
  if (self != nullptr) ::dlclose(self);
  return nullptr;
}

bool CloseLibrary(TLibraryHandle library, std::string& error) {
  ::dlerror();
  if (::dlclose(library) == 0) return true;
  error = LoaderError();
  return false;
}

TModuleBase ModuleOf(TLibraryHandle library) {
  link_map* map = nullptr;
  if (::dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return 0;
  return ModuleContaining(map->l_ld);
}

void* FindSymbol(TLibraryHandle library, const char* name) {
  return ::dlsym(library, name);
}

TModuleBase ModuleContaining(const void* address) {
  Dl_info info{};
  if (address == nullptr || ::dladdr(address, &info) == 0) return 0;
  return reinterpret_cast<TModuleBase>(info.dli_fbase);
}

std::string ModulePath(TModuleBase module) {
  Dl_info info{};
  if (!DescribeModule(module, info) || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

std::string ExecutablePath() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path) return {};
  return std::string(path, static_cast<std::size_t>(n));
}

namespace {

int CollectObject(dl_phdr_info* info, std::size_t, void* data) {
  auto* files = static_cast<std::vector<std::string>*>(data);
  // The program is the object without a name; it is listed first, by its path.
  if (info->dlpi_name != nullptr && *info->dlpi_name != 0) files->push_back(info->dlpi_name);
  return 0;
}

}  // namespace

std::vector<std::string> LoadedModuleFiles() {
  std::vector<std::string> files;
  if (std::string program = ExecutablePath(); !program.empty()) files.push_back(std::move(program));
  ::dl_iterate_phdr(&CollectObject, &files);
  return files;
}

}  // namespace vorlane::Os
