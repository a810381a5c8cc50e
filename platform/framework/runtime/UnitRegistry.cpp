// The units of the loaded framework libraries, by package.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "vorlane/runtime/System.hpp"

namespace vorlane::System {

namespace {

struct TPackageUnits {
  std::string Package;
  const TUnitEntry* Units = nullptr;
  std::size_t Count = 0;
};

struct TRegistry {
  std::mutex Lock;
  std::vector<TPackageUnits> Packages;
};

// Never destroyed: libraries withdraw their units from their own static destructors,
// which may run after this library's.
TRegistry& Registry() {
  static auto* registry = new TRegistry;
  return *registry;
}

}  // namespace

void RegisterUnits(const char* package, const TUnitEntry* units, std::size_t count) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  auto it = std::ranges::find(r.Packages, std::string_view(package), &TPackageUnits::Package);
  if (it != r.Packages.end()) {
    it->Units = units;
    it->Count = count;
  } else {
    r.Packages.push_back({package, units, count});
  }
}

void UnregisterUnits(const char* package) noexcept {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  std::erase_if(r.Packages, [&](const TPackageUnits& p) { return p.Package == package; });
}

const TUnitEntry* FindUnit(std::string_view name) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  for (const TPackageUnits& p : r.Packages)
    for (std::size_t i = 0; i < p.Count; ++i)
      if (name == p.Units[i].Name) return &p.Units[i];
  return nullptr;
}

std::vector<std::string> GetUnitPackages() {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  std::vector<std::string> names;
  for (const TPackageUnits& p : r.Packages) names.push_back(p.Package);
  return names;
}

}  // namespace vorlane::System
