// Shared fixtures of the joystick service tests: the hermetic service, records
// filled with a sentinel, and a window that records the messages it receives.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "ServiceFixture.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/joystickapi.h"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::JoystickServiceTests {

using namespace VirtualJoystick;
using namespace JoystickTesting;
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

using ServiceTest = vorlane::testing::THermeticServiceTest;
using vorlane::testing::DrainMessages;
using vorlane::testing::PumpFor;
using vorlane::testing::PumpUntil;
using namespace std::chrono_literals;

// A framework window as the C API names it (on Windows the system's HWND type).
inline HWND ApiWindow(::vorlane::Messages::HWND window) {
  return reinterpret_cast<HWND>(window);
}
inline ::vorlane::Messages::HWND FrameworkWindow(HWND window) {
  return reinterpret_cast<::vorlane::Messages::HWND>(window);
}

// The service's strings as the framework's 16-bit units (WCHAR is wchar_t on Windows).
inline const char16_t* Units(const WCHAR* text) {
  return reinterpret_cast<const char16_t*>(text);
}

// A window of the calling thread that keeps every message it gets.
class TRecordingWindow {
 public:
  TRecordingWindow()
      : FHandle(::vorlane::Messages::AllocateHWnd(
            ::vorlane::Messages::TWndMethod::Bind<&TRecordingWindow::Receive>(this))) {}
  ~TRecordingWindow() { Destroy(); }
  TRecordingWindow(const TRecordingWindow&) = delete;
  TRecordingWindow& operator=(const TRecordingWindow&) = delete;

  HWND Handle() const { return ApiWindow(FHandle); }
  void Destroy() {
    if (FHandle != nullptr) ::vorlane::Messages::DeallocateHWnd(FHandle);
    FHandle = nullptr;
  }

  std::vector<TMessage> Received;

  // Pumps the thread's loop until `count` messages have come, or `limit` passes.
  bool WaitFor(std::size_t count, std::chrono::milliseconds limit = 2s) {
    return PumpUntil([&] { return Received.size() >= count; }, limit);
  }

 private:
  void Receive(TMessage& message) { Received.push_back(message); }
  ::vorlane::Messages::HWND FHandle;
};

inline LPARAM XY(std::uint32_t x, std::uint32_t y) {
  return static_cast<LPARAM>(static_cast<std::uintptr_t>(x | (y << 16)));
}

}  // namespace vorlane::JoystickServiceTests
