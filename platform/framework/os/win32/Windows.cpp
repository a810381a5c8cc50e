// The system's windows: message-only windows of one registered class, whose class
// procedure hands every message to the handler the window was made with (kept in
// the window's GWLP_USERDATA), and the calling thread's queue (PeekMessageW,
// DispatchMessageW, GetQueueStatus).
#include <windows.h>

#include <cstring>
#include <mutex>

#include "framework/os/win32/Win32.hpp"

namespace vorlane::Os {

namespace {

constexpr wchar_t kClassName[] = L"Vorlane.MessageWindow";

static_assert(sizeof(MSG) <= sizeof(TSystemMessage::Raw));
static_assert(alignof(MSG) <= 8);

HWND AsWindow(TNativeWindow window) {
  return static_cast<HWND>(window);
}

TWindowHandler HandlerOf(HWND window) {
  return reinterpret_cast<TWindowHandler>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK ClassProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  // The first message a window gets carries its handler, from CreateWindowExW.
  if (msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  if (TWindowHandler handler = HandlerOf(window)) {
    std::intptr_t result = 0;
    if (handler(window, msg, wParam, lParam, result)) return result;
  }
  return ::DefWindowProcW(window, msg, wParam, lParam);
}

// The module the class is registered for: this library's.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<const wchar_t*>(&ClassProcedure), &module);
  return module;
}

// Registers the class once per process; answers the module it belongs to.
HINSTANCE RegisteredClass() {
  static std::once_flag once;
  static HINSTANCE module = nullptr;
  static DWORD error = ERROR_SUCCESS;
  std::call_once(once, [] {
    module = ThisModule();
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = &ClassProcedure;
    cls.hInstance = module;
    cls.lpszClassName = kClassName;
    if (::RegisterClassExW(&cls) == 0) error = ::GetLastError();
  });
  if (error != ERROR_SUCCESS) throw EOsError("RegisterClassExW", Win32::ErrorCode(error));
  return module;
}

}  // namespace

TNativeWindow CreateMessageWindow(TWindowHandler handler) {
  HINSTANCE module = RegisteredClass();
  HWND window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module,
                                  reinterpret_cast<void*>(handler));
  if (window == nullptr) throw Win32::LastError("CreateWindowExW");
  return window;
}

bool DestroyWindow(TNativeWindow window) {
  HWND w = AsWindow(window);
  if (::GetWindowThreadProcessId(w, nullptr) == ::GetCurrentThreadId())
    return ::DestroyWindow(w) != 0;
  // Only the owner thread may: the system's default for WM_CLOSE destroys the window.
  return ::PostMessageW(w, WM_CLOSE, 0, 0) != 0;
}

bool IsWindow(TNativeWindow window) {
  return ::IsWindow(AsWindow(window)) != 0;
}

bool PostWindowMessage(TNativeWindow window, std::uint32_t msg, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  return ::PostMessageW(AsWindow(window), msg, wParam, lParam) != 0;
}

bool TakeMessage(TSystemMessage& message, TMessageKind kind, std::uint32_t number) {
  UINT first = 0, last = 0, flags = PM_REMOVE;
  switch (kind) {
    case TMessageKind::Any:
      break;
    case TMessageKind::Timer:
      first = last = WM_TIMER;
      break;
    case TMessageKind::Input:
      flags |= PM_QS_INPUT;
      break;
    case TMessageKind::Paint:
      flags |= PM_QS_PAINT;
      break;
    case TMessageKind::Number:
      first = last = number;
      flags |= PM_QS_POSTMESSAGE;
      break;
  }
  MSG msg{};
  if (!::PeekMessageW(&msg, nullptr, first, last, flags)) return false;
  message.Window = msg.hwnd;
  message.Msg = msg.message;
  message.WParam = msg.wParam;
  message.LParam = msg.lParam;
  std::memcpy(message.Raw, &msg, sizeof msg);
  return true;
}

void DispatchTakenMessage(const TSystemMessage& message) {
  MSG msg;
  std::memcpy(&msg, message.Raw, sizeof msg);
  ::DispatchMessageW(&msg);
}

bool MessagesWaiting() {
  return HIWORD(::GetQueueStatus(QS_ALLINPUT)) != 0;
}

}  // namespace vorlane::Os
