// Windows and messages: window handles, per-thread message queues, posting from
// any thread, and the per-thread loop that also waits on the platform services'
// own sources (file descriptors and timers) without busy-waiting.
//
// Handles. A window handle names a slot of a process-wide table and the slot's
// generation; freeing a window moves its slot to the next generation, so a stale
// handle never names a later window (IsWindow false, PostMessage false). A slot
// whose generation counter is exhausted is retired, never reused.
//
// Queues. Every thread that owns windows has one loop (TThreadLoop) with one
// queue. Posting puts the message into the queue of the window's owner thread and
// wakes that thread; the window is looked up again when the message is dispatched,
// so a message for a window destroyed meanwhile is dropped, never delivered.
// Messages from one thread to one loop are dispatched in the order they were posted.
// A queue's storage doubles when it is full and is given back (shrunk to fit) by
// the loop's thread after a pass that leaves it at most a quarter full.
//
// Passes. ProcessMessages (and HandleMessage after its wait) makes one pass:
// it dispatches the messages that were queued when the pass began (messages posted
// during the pass wait for the next pass, so a handler that posts to itself cannot
// starve the loop's timers and descriptors), then runs the due timers, then the
// callbacks of readable descriptors. An exception raised by a handler or callback
// ends the pass and goes to the caller; the message that raised it is consumed,
// everything else stays queued or due for the next pass.
//
// Waiting. HandleMessage blocks in one system wait on the loop's wake event (which
// posting from another thread signals), the watched descriptors and the nearest
// timer deadline (the monotonic clock, nanosecond timeout); the wait is the
// framework's system seam, not called here directly. An idle loop with no timer
// sleeps until something happens: it never wakes periodically. GetWakeCount counts
// the returns from that blocking wait.
//
// Timers. A timer's first deadline is `periodMs` from AddTimer; each firing
// schedules the next deadline one period after the previous one, keeping the
// timer's phase. When the loop was so late that the next deadline has already
// passed, the timer fires once and its next deadline is now + period: missed
// periods are skipped, never fired in a burst. A period of 0 is taken as 1 ms.
//
// Watched sources. Watches are level-triggered: the callback runs in every pass in
// which the source is ready (a descriptor readable, hung up or in error; a handle
// signalled), so it must read or reset it (or remove the watch). A source closed
// without RemoveWatch (the wait reports it invalid) has its watch removed by the
// loop instead of spinning on it (on Windows only while no new handle has been
// given its value). Windows waits on at most 62 handles per loop.
//
// Thread end. When a thread ends, its loop first carries out the deferred releases
// (CM_RELEASE) still queued for its windows, so released forms are freed, not
// leaked; every other queued message is dropped. Then the thread's remaining
// windows are destroyed (their handles become stale) and its sources are removed.
// The loop's object lives on, inert, while a TLoopRef still holds it.
//
// On Windows the windows are the system's: AllocateHWnd makes a message-only
// window of the calling thread (never shown, never given input), and its handle is
// the system's HWND, so the system's PostMessageW, SendMessageW (also from another
// thread, answered while the owner waits or dispatches) and SetTimer reach its
// method. What differs there:
//  - Handles: the system may give a destroyed window's value to a later window.
//  - Plain posts go to the thread's system queue, which holds 10,000 messages by
//    default: PostMessage answers false when it is full. Tagged messages wait in
//    the loop's queue, each holding its place among the plain posts with a turn
//    message of the loop's own window, so both kinds keep their order.
//  - A pass dispatches the posted messages that were queued when it began, then
//    at most 64 each of the system's timer, input and paint messages. The wait
//    also ends for any message the system queues for the thread.
//  - The framework's message numbers are 0xBF00 to 0xBFFF (CM_RELEASE is 0xBF00):
//    numbers below WM_USER are the system's.
//  - DeallocateHWnd from another thread forgets the window at once (IsWindow and
//    PostMessage answer false); the system destroys it when its own thread next
//    dispatches.
//  - An exception that a window's method raises under the system's dispatch is
//    held until the system returns, then raised by the pass as elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "vorlane/runtime/Closure.hpp"
#include "vorlane/runtime/System.hpp"

namespace vorlane::TypInfo {
struct TClassInfo;
}

// The window's record, named as the C API (vorlane/windef.h) names it, so that a
// handle is one type in the C and the C++ headers.
struct vorlane_window;

namespace vorlane::Messages {

// The types of a message, fixed-width and the same types as the C API's UINT,
// WPARAM, LPARAM, LRESULT and HWND, but declared here only: this header defines
// no macro and nothing in the global namespace but the window's record.
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
// A window handle: an opaque number that names a window. A handle is never reused
// for another window, so a stale handle simply names no window.
using HWND = ::vorlane_window*;
// Something a thread's loop can watch (TThreadLoop::AddWatch): a file descriptor on
// POSIX, a waitable HANDLE on Windows, passed as reinterpret_cast<TWatchSource>(h).
using TWatchSource = std::intptr_t;

struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

// Numbers below WM_USER belong to the framework, except on Windows, where they
// are the system's and the framework's are 0xBF00 to 0xBFFF (of the system's range
// for applications, WM_APP to 0xBFFF).
#ifdef _WIN32
inline constexpr UINT CM_RELEASE = 0xBF00;  // a form's deferred release
#else
inline constexpr UINT CM_RELEASE = 0x0101;  // a form's deferred release
#endif
inline constexpr UINT WM_USER = 0x0400;

using TWndMethod = Closure::TClosure<void(TMessage&)>;

// Misuse of windows or loops: a loop used from another thread, a message sent to
// another thread's window, a source without a callback, a failed system call.
class EMessageError : public System::Exception {
 public:
  using Exception::Exception;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

// Creates a window on the calling thread whose messages go to `wndProc` (an
// unassigned method makes a window whose messages are dropped). The handle stays
// valid until DeallocateHWnd; it is never reused afterwards.
HWND AllocateHWnd(TWndMethod wndProc);
// Destroys the window; messages still queued for it are dropped. A stale handle or
// nullptr is ignored. Meant for the owner thread: another thread may call it too,
// but the owner thread must not be inside the window's procedure at that moment.
void DeallocateHWnd(HWND window);
bool IsWindow(HWND window);

// Queues a message for the window's thread and wakes that thread. Safe from any
// thread; does not allocate once the queue is warm. Returns false, and drops the
// message, when the handle names no window.
bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// Tagged posting, for a source that posts a stream of messages it may end (a
// capture of the joystick service). The tag travels beside the message in the
// queue; the window still gets the plain record (Msg, WParam, LParam).
//  - TThreadLoop::DiscardTagged drops every queued message of a tag, so nothing
//    of a stream reaches its window after the stream has ended.
//  - A replacing post stands for the newest state (a move): it overwrites the
//    queued message of the same tag and number in place when no keeping post of
//    that tag came after it; otherwise the older one is dropped and the new one
//    queued at the end, behind the keeping messages. Either way at most one
//    message per tag and number waits; keeping posts are all delivered, in order.
//  - A tagged post never allocates: when the queue is full it returns QueueFull
//    and queues nothing; the poster makes room with TThreadLoop::Reserve (with no
//    lock of its own held) and posts again.
using TMessageTag = std::uint64_t;
// A tag no other call has returned; never 0.
TMessageTag NewMessageTag();
enum class TPostResult : std::uint8_t { Posted, NoWindow, QueueFull };
enum class TPostKind : std::uint8_t { Keep, Replace };
TPostResult PostTaggedMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, TMessageTag tag,
                              TPostKind kind);
// Delivers a message at once on the calling thread, which must own the window
// (EMessageError otherwise). Returns the message's Result; 0 when the handle names
// no window.
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

class TThreadLoop;

// A counted reference that keeps a loop's object alive, so that other threads may
// still call its thread-safe operations (sources, Wake, DiscardTagged, Reserve)
// after its thread has ended: they then do nothing. Copying does not allocate.
class TLoopRef {
 public:
  TLoopRef() = default;
  TLoopRef(const TLoopRef& other) noexcept;
  TLoopRef(TLoopRef&& other) noexcept : FLoop(other.FLoop) { other.FLoop = nullptr; }
  TLoopRef& operator=(TLoopRef other) noexcept {
    std::swap(FLoop, other.FLoop);
    return *this;
  }
  ~TLoopRef() { Reset(); }
  void Reset() noexcept;
  TThreadLoop* Get() const { return FLoop; }
  TThreadLoop* operator->() const { return FLoop; }
  explicit operator bool() const { return FLoop != nullptr; }

 private:
  friend class TThreadLoop;
  TThreadLoop* FLoop = nullptr;  // counted
};

// The message loop of one thread. Each thread that owns windows has one; it is
// created on first use. When the thread ends the loop is shut down (see above)
// and its object freed once no TLoopRef holds it.
class TThreadLoop {
 public:
  using TId = std::uint64_t;

  // The calling thread's loop (created on first use). Raises EMessageError when
  // called while the thread is ending, after its loop was destroyed.
  static TThreadLoop& Current();
  // The loop of the thread that owns `window`; nullptr when it names no window.
  static TThreadLoop* OfWindow(HWND window);
  // The same, held by a reference taken while the window was alive; empty when
  // it names no window.
  static TLoopRef PinOfWindow(HWND window);

  // Sources. Callable from any thread; callbacks run on the loop's own thread,
  // from its passes. A timer fires every `periodMs` milliseconds from now on.
  // Adding or removing a source from another thread wakes the loop so that it
  // recomputes its wait. Ids are never reused; removing an unknown id does nothing.
  // Once the loop's thread has ended, nothing is added and the id is 0.
  TId AddTimer(std::uint32_t periodMs, Closure::TClosure<void()> onTick);
  TId AddWatch(TWatchSource source, Closure::TClosure<void()> onReadable);
  // After these return, the callback is not started again. Removing a source
  // from inside its own callback is allowed. (Called from another thread, a
  // callback that had already started may still be running when they return.)
  void RemoveTimer(TId id);
  void RemoveWatch(TId id);
  // Makes a waiting HandleMessage return (safe from any thread). When the loop is
  // not waiting, its next wait returns at once.
  void Wake();

  // Owner thread only. Dispatches every queued message and runs every due source
  // without waiting; returns whether anything was done.
  bool ProcessMessages();
  // Owner thread only. Waits until a message is queued, a timer is due, a watched
  // descriptor is readable or Wake is called, or `timeoutMs` passes (-1: no
  // limit), then does as ProcessMessages. Returns whether anything was done.
  // Does not wait when a message is already queued or a timer already due.
  bool HandleMessage(int timeoutMs = -1);

  // Any thread. Drops every queued message posted with `tag`. Never allocates.
  void DiscardTagged(TMessageTag tag);
  // Any thread, holding no lock that a poster to this loop holds: grows the
  // queue so that at least `room` more messages fit.
  void Reserve(std::size_t room);

  // Statistics: how many times this loop's wait has returned; how many messages
  // are queued, and how many the queue's storage holds.
  std::uint64_t GetWakeCount() const;
  std::size_t GetQueueLength() const;
  std::size_t GetQueueCapacity() const;

  TThreadLoop(const TThreadLoop&) = delete;
  TThreadLoop& operator=(const TThreadLoop&) = delete;

 private:
  TThreadLoop();
  ~TThreadLoop();
  void Pin() noexcept;
  void Unpin() noexcept;
  struct TImpl;
  TImpl* FImpl;
  friend struct TLoopAccess;
  friend class TLoopRef;
};

inline TLoopRef::TLoopRef(const TLoopRef& other) noexcept : FLoop(other.FLoop) {
  if (FLoop != nullptr) FLoop->Pin();
}
inline void TLoopRef::Reset() noexcept {
  if (FLoop != nullptr) std::exchange(FLoop, nullptr)->Unpin();
}

}  // namespace vorlane::Messages
