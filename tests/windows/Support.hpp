// Helpers for the Windows tests: scripts for the dinput8 stand-in, a message-only
// window that records joystick messages, a message pump and COM references.
#pragma once

#include <windows.h>

#include <mmsystem.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::wintest {

using namespace std::chrono_literals;

// How long a test waits for something the script makes happen. Generous: the
// scripts' steps come within a second or two, and a loaded machine may be slow.
inline constexpr std::chrono::milliseconds kPatience = 10s;

// A script file for the stand-in, named in VORLANE_DINPUT_SCRIPT while it lives.
class ScriptFile {
 public:
  explicit ScriptFile(std::string_view text);
  ~ScriptFile();
  ScriptFile(const ScriptFile&) = delete;
  ScriptFile& operator=(const ScriptFile&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// winmm opens DirectInput once per process, at its first joystick call, so a
// process plays one script through winmm: the first. Returns false (with a
// failure) when another script came first in this process.
bool claimWinmm(std::string_view script);

// No devices for winmm: the stand-in is told of no script.
bool claimWinmmWithoutDevices();

struct JoyMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// A message-only window (no display needed) that records the MM_JOY* messages it
// receives.
class CaptureWindow {
 public:
  CaptureWindow();
  ~CaptureWindow();
  CaptureWindow(const CaptureWindow&) = delete;
  CaptureWindow& operator=(const CaptureWindow&) = delete;

  HWND handle() const { return window_; }
  const std::vector<JoyMessage>& messages() const { return messages_; }
  std::size_t count(UINT message) const;
  void clear() { messages_.clear(); }

 private:
  static LRESULT CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);
  HWND window_ = nullptr;
  std::vector<JoyMessage> messages_;
};

// Dispatches this thread's messages (winmm's capture timer among them) until
// `done` holds or `timeout` has passed; answers whether `done` held.
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kPatience);

// Dispatches this thread's messages for `duration`.
void pumpFor(std::chrono::milliseconds duration);

// A counted reference to a COM object.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* operator->() const { return object_; }
  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  T** put() {
    reset();
    return &object_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (object_) object_->Release();
    object_ = nullptr;
  }

 private:
  T* object_ = nullptr;
};

// Runs `call` with the process's standard error going to a pipe, and answers
// what was written there.
std::string captureStderr(const std::function<void()>& call);

std::string narrow(const wchar_t* text);

// Two devices: a flight stick with seven axes (winmm reads six of them: Ry is
// never read), a hat and twelve buttons that moves 400 ms after winmm opens it,
// and a plain pad.
inline constexpr char kFlightStick[] = R"(
device 0
name Vorlane Flight Stick
vidpid 045e 0007
axis X 0 1023
axis Y 0 1023
axis Z -100 100
axis Rz 0 255 0
axis Slider 0 255 255
axis Rx 0 1023 256
axis Ry 0 1023
hat
buttons 12
device 1
name Vorlane Pad
vidpid 1209 0002
axis X 0 255
axis Y 0 255
buttons 4
at 400 ms set X 1023
at 400 ms set Z -40
at 400 ms press button 1
at 400 ms press button 12
at 400 ms hat 27000
)";

// A JOYINFOEX asking for `flags`, its other fields zero.
inline JOYINFOEX joyInfo(DWORD flags = JOY_RETURNALL) {
  JOYINFOEX info{};
  info.dwSize = sizeof info;
  info.dwFlags = flags;
  return info;
}

}  // namespace vorlane::wintest
