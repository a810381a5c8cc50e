// Windows and messages: window handles, per-thread message queues, posting from
// any thread, and the per-thread loop that also waits on the platform services'
// own sources (file descriptors and timers) without busy-waiting.
#pragma once

#include <cstdint>

#include "vorlane/Closure.hpp"
#include "vorlane/windef.h"

namespace vorlane::Messages {

struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

// Numbers below WM_USER belong to the framework.
inline constexpr UINT CM_RELEASE = 0x0101;  // a form's deferred release
inline constexpr UINT WM_USER = 0x0400;

using TWndMethod = Closure::TClosure<void(TMessage&)>;

// Creates a window on the calling thread whose messages go to `wndProc`.
// The handle stays valid until DeallocateHWnd; it is never reused afterwards.
HWND AllocateHWnd(TWndMethod wndProc);
// Destroys the window; messages still queued for it are dropped. Owner thread only.
void DeallocateHWnd(HWND window);
bool IsWindow(HWND window);

// Queues a message for the window's thread and wakes that thread. Safe from any
// thread; does not allocate once the queue is warm. Returns false, and drops the
// message, when the handle names no window.
bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Delivers a message at once on the calling thread, which must own the window.
// Returns the message's Result; 0 when the handle names no window.
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// The message loop of one thread. Each thread that owns windows has one; it is
// created on first use and destroyed when the thread ends.
class TThreadLoop {
 public:
  using TId = std::uint64_t;

  // The calling thread's loop.
  static TThreadLoop& Current();
  // The loop of the thread that owns `window`; nullptr when it names no window.
  static TThreadLoop* OfWindow(HWND window);

  // Sources. Callable from any thread; callbacks run on the loop's own thread,
  // from its wait. A timer fires every `periodMs` milliseconds from now on.
  TId AddTimer(std::uint32_t periodMs, Closure::TClosure<void()> onTick);
  TId AddWatch(int fd, Closure::TClosure<void()> onReadable);
  // After these return, the callback is not started again. Removing a source
  // from inside its own callback is allowed.
  void RemoveTimer(TId id);
  void RemoveWatch(TId id);
  // Makes a waiting HandleMessage return (safe from any thread).
  void Wake();

  // Owner thread only. Dispatches every queued message and runs every due source
  // without waiting; returns whether anything was done.
  bool ProcessMessages();
  // Owner thread only. Waits until a message is queued, a timer is due, a watched
  // descriptor is readable or Wake is called, or `timeoutMs` passes (-1: no
  // limit), then does as ProcessMessages. Returns whether anything was done.
  bool HandleMessage(int timeoutMs = -1);

  // Statistics: how many times this loop's wait has returned.
  std::uint64_t GetWakeCount() const;

  TThreadLoop(const TThreadLoop&) = delete;
  TThreadLoop& operator=(const TThreadLoop&) = delete;
  ~TThreadLoop();

 private:
  TThreadLoop();
  struct TImpl;
  TImpl* FImpl;
  friend struct TLoopAccess;
};

}  // namespace vorlane::Messages
