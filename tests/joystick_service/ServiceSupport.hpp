// Shared fixtures of the joystick service tests: a hermetic service (virtual
// controllers only), records filled with a sentinel, and a window that records
// the messages it receives.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "joystick/Service.hpp"
#include "vorlane/Messages.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/joystickapi.h"

namespace vorlane::JoystickServiceTests {

using namespace VirtualJoystick;
using Messages::TMessage;
using Messages::TThreadLoop;

inline constexpr unsigned char Sentinel = 0xA5;
inline constexpr DWORD SentinelWord = 0xA5A5A5A5u;

template <class T>
T Filled() {
  T record;
  std::memset(&record, Sentinel, sizeof record);
  return record;
}

inline JOYINFOEX InfoEx(DWORD flags) {
  JOYINFOEX info = Filled<JOYINFOEX>();
  info.dwSize = sizeof(JOYINFOEX);
  info.dwFlags = flags;
  return info;
}

template <class T>
bool SameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// One field of joyGetPosEx, asked with exactly `flags`.
inline DWORD Read(UINT id, DWORD flags, DWORD JOYINFOEX::*field) {
  JOYINFOEX info = InfoEx(flags);
  EXPECT_EQ(joyGetPosEx(id, &info), JOYERR_NOERROR) << "controller " << id;
  return info.*field;
}

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VORLANE_JOYSTICK_BACKENDS", "virtual", 1);
    unsetenv("VORLANE_JOYSTICK_DEVICES");
    JoystickService::ResetForTesting();
  }
  void TearDown() override { JoystickService::ResetForTesting(); }

  TTestScope FScope;
};

// A window of the calling thread that keeps every message it gets.
class TRecordingWindow {
 public:
  TRecordingWindow()
      : FHandle(::vorlane::Messages::AllocateHWnd(
            ::vorlane::Messages::TWndMethod::Bind<&TRecordingWindow::Receive>(this))) {}
  ~TRecordingWindow() { Destroy(); }
  TRecordingWindow(const TRecordingWindow&) = delete;
  TRecordingWindow& operator=(const TRecordingWindow&) = delete;

  HWND Handle() const { return FHandle; }
  void Destroy() {
    if (FHandle != nullptr) ::vorlane::Messages::DeallocateHWnd(FHandle);
    FHandle = nullptr;
  }

  std::vector<TMessage> Received;

  // Pumps the thread's loop until `count` messages have come, or `timeoutMs`.
  bool WaitFor(std::size_t count, int timeoutMs = 2000) {
    auto& loop = TThreadLoop::Current();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Received.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            end - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return false;
      loop.HandleMessage(static_cast<int>(left));
    }
    return true;
  }
  // Pumps for `ms` milliseconds, whatever comes.
  static void Pump(int ms) {
    auto& loop = TThreadLoop::Current();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            end - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      loop.HandleMessage(static_cast<int>(left));
    }
    loop.ProcessMessages();
  }
  // Handles what is queued now.
  static void Drain() { TThreadLoop::Current().ProcessMessages(); }

 private:
  void Receive(TMessage& message) { Received.push_back(message); }
  HWND FHandle;
};

inline LPARAM XY(std::uint32_t x, std::uint32_t y) {
  return static_cast<LPARAM>(static_cast<std::uintptr_t>(x | (y << 16)));
}

}  // namespace vorlane::JoystickServiceTests
