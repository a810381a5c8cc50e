// Helpers of the package tests: file names, a recorder of module events, and
// little-endian reading of resource bytes.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "vorlane/designer/DesignIntf.hpp"
#include "vorlane/packages/Packages.hpp"

namespace vorlane::PackageTest {

using Packages::HMODULE;
using Packages::TModuleEvent;

inline const std::string kPackageFile = VORLANE_PACKAGE_FILE;
inline const std::string kSatelliteFile = VORLANE_SATELLITE_FILE;

// Whether the dynamic loader still holds the file.
inline bool IsMapped(const std::string& file) {
  void* handle = ::dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  ::dlclose(handle);
  return true;
}

// Records every module event while it exists.
class TEventLog {
 public:
  TEventLog() {
    Packages::AddModuleNotifier(Packages::TModuleNotifier::Bind<&TEventLog::Record>(this));
  }
  ~TEventLog() {
    Packages::RemoveModuleNotifier(Packages::TModuleNotifier::Bind<&TEventLog::Record>(this));
  }
  TEventLog(const TEventLog&) = delete;
  TEventLog& operator=(const TEventLog&) = delete;

  std::vector<std::pair<TModuleEvent, HMODULE>> Events;
  // Called with each event, after it is recorded.
  std::function<void(TModuleEvent, HMODULE)> OnEvent;

  std::vector<TModuleEvent> EventsOf(HMODULE module) const {
    std::vector<TModuleEvent> out;
    for (const auto& [event, m] : Events)
      if (m == module) out.push_back(event);
    return out;
  }
  int Count(TModuleEvent event) const {
    int n = 0;
    for (const auto& e : Events) n += e.first == event ? 1 : 0;
    return n;
  }

 private:
  void Record(TModuleEvent event, HMODULE module) {
    Events.emplace_back(event, module);
    if (OnEvent) OnEvent(event, module);
  }
};

// Starts and ends each test with an empty designer and no package loaded.
class TPackageFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    DesignIntf::ClearRegistrations();
    ASSERT_TRUE(Packages::GetLoadedPackages().empty());
  }
  void TearDown() override {
    for (const Packages::TLoadedPackage& p : Packages::GetLoadedPackages())
      Packages::UnloadPackage(p.Module);
    DesignIntf::ClearRegistrations();
  }
};

// Little-endian fields of resource data, with bounds checked by the test.
inline std::uint32_t U8(std::span<const std::byte> d, std::size_t at) {
  EXPECT_LT(at, d.size());
  return at < d.size() ? std::to_integer<std::uint32_t>(d[at]) : 0;
}
inline std::uint32_t U16(std::span<const std::byte> d, std::size_t at) {
  return U8(d, at) | U8(d, at + 1) << 8;
}
inline std::uint32_t U32(std::span<const std::byte> d, std::size_t at) {
  return U16(d, at) | U16(d, at + 2) << 16;
}
// 8-bit text up to a zero byte, from `at`; `at` moves past the zero.
inline std::string ZText(std::span<const std::byte> d, std::size_t& at) {
  std::string s;
  while (at < d.size() && d[at] != std::byte{0}) s.push_back(static_cast<char>(d[at++]));
  EXPECT_LT(at, d.size()) << "no terminating zero";
  ++at;
  return s;
}
// 16-bit text up to a zero unit, from `at`; `at` moves past the zero.
inline std::u16string ZText16(std::span<const std::byte> d, std::size_t& at) {
  std::u16string s;
  while (at + 1 < d.size() && U16(d, at) != 0) {
    s.push_back(static_cast<char16_t>(U16(d, at)));
    at += 2;
  }
  EXPECT_LT(at + 1, d.size()) << "no terminating zero unit";
  at += 2;
  return s;
}

inline std::span<const std::byte> Bytes(const std::vector<std::uint8_t>& v) {
  return std::as_bytes(std::span(v));
}

}  // namespace vorlane::PackageTest
