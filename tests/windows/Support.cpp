#include "Support.hpp"

#include <gtest/gtest.h>
#include <mmsystem.h>

#include <fstream>
#include <optional>
#include <thread>

namespace vorlane::wintest {

namespace {
constexpr wchar_t kScriptVariable[] = L"VORLANE_DINPUT_SCRIPT";
constexpr wchar_t kWindowClass[] = L"VorlaneCaptureWindow";

std::optional<std::string>& winmmScript() {
  static std::optional<std::string> script;
  return script;
}

bool claim(std::string_view script) {
  std::optional<std::string>& first = winmmScript();
  if (first && *first != script) {
    ADD_FAILURE() << "winmm already plays another script in this process: run each test in a "
                     "process of its own (ctest does, or use --gtest_filter)";
    return false;
  }
  first = std::string(script);
  return true;
}
}  // namespace

ScriptFile::ScriptFile(std::string_view text) {
  wchar_t folder[MAX_PATH];
  wchar_t name[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"vds", 0, name);
  path_ = name;
  std::ofstream(path_.c_str(), std::ios::binary) << text;
  SetEnvironmentVariableW(kScriptVariable, path_.c_str());
}

ScriptFile::~ScriptFile() {
  SetEnvironmentVariableW(kScriptVariable, nullptr);
  DeleteFileW(path_.c_str());
}

bool claimWinmm(std::string_view script) {
  if (!claim(script)) return false;
  // winmm reads the script when it first opens DirectInput; the file stays
  // until the process ends.
  static std::optional<ScriptFile> file;
  if (!file) file.emplace(script);
  return true;
}

bool claimWinmmWithoutDevices() {
  if (!claim("")) return false;
  SetEnvironmentVariableW(kScriptVariable, nullptr);
  return true;
}

CaptureWindow::CaptureWindow() {
  static const ATOM registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &CaptureWindow::procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassW(&windowClass);
  }();
  EXPECT_NE(registered, 0);
  window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(window_, nullptr) << "CreateWindowExW failed: " << GetLastError();
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CaptureWindow::~CaptureWindow() {
  if (window_) DestroyWindow(window_);
}

std::size_t CaptureWindow::count(UINT message) const {
  std::size_t n = 0;
  for (const JoyMessage& m : messages_) n += m.message == message;
  return n;
}

LRESULT CALLBACK CaptureWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CaptureWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  bool joystick = (message >= MM_JOY1MOVE && message <= MM_JOY2ZMOVE) ||
                  (message >= MM_JOY1BUTTONDOWN && message <= MM_JOY2BUTTONUP);
  if (self && joystick) {
    self->messages_.push_back({message, wParam, lParam});
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= 0s) return false;
    auto wait = std::min<std::chrono::milliseconds>(
        std::chrono::duration_cast<std::chrono::milliseconds>(left), 5ms);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(wait.count()), QS_ALLINPUT);
  }
}

void pumpFor(std::chrono::milliseconds duration) {
  pumpUntil([] { return false; }, duration);
}

std::string captureStderr(const std::function<void()>& call) {
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, nullptr, 1 << 16)) {
    ADD_FAILURE() << "CreatePipe failed: " << GetLastError();
    return {};
  }
  HANDLE saved = GetStdHandle(STD_ERROR_HANDLE);
  SetStdHandle(STD_ERROR_HANDLE, writeEnd);
  call();
  SetStdHandle(STD_ERROR_HANDLE, saved);
  CloseHandle(writeEnd);
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  CloseHandle(readEnd);
  return text;
}

std::string narrow(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(std::size_t(size > 0 ? size - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  return result;
}

}  // namespace vorlane::wintest
