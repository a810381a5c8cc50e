// Shared by the Win32 side of the system seam: the system's error codes as
// std::error_code, and conversions between the framework's UTF-8 paths and the
// UTF-16 the wide Win32 functions take. Internal to the run-time library.
#pragma once

#include <windows.h>

#include <string>
#include <system_error>

#include "framework/os/Os.hpp"

namespace vorlane::Os::Win32 {

// GetLastError codes, worded by FormatMessageW ("The system cannot find the file
// specified.").
const std::error_category& SystemCategory() noexcept;

inline std::error_code ErrorCode(DWORD error) {
  return {static_cast<int>(error), SystemCategory()};
}

// EOsError for the calling thread's last error, naming `call`.
inline EOsError LastError(const char* call) {
  return EOsError(call, ErrorCode(::GetLastError()));
}

// The system's text for `error`, without the trailing line break.
std::string ErrorText(DWORD error);

// UTF-8 to UTF-16 and back. Ill-formed input is replaced, not rejected: a path
// that cannot be spelt names no file, which the call it is passed to reports.
std::wstring Widen(const std::string& text);
std::string Narrow(const wchar_t* text, std::size_t length);
inline std::string Narrow(const std::wstring& text) {
  return Narrow(text.data(), text.size());
}

// A kernel handle owned by one object and closed when it goes.
class THandle {
 public:
  explicit THandle(HANDLE handle = nullptr) : FHandle(handle) {}
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  ~THandle() {
    if (IsOpen()) ::CloseHandle(FHandle);
  }
  bool IsOpen() const { return FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return FHandle; }
  HANDLE Release() {
    HANDLE h = FHandle;
    FHandle = nullptr;
    return h;
  }

 private:
  HANDLE FHandle;
};

}  // namespace vorlane::Os::Win32
