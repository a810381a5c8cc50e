// Internals shared by the window table (Messages.cpp) and the thread loop
// (ThreadLoop.cpp). Not part of the public interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "vorlane/visual/Messages.hpp"

namespace vorlane::Messages {

// One queued message: the window is looked up again when it is dispatched. A
// message whose Window is nullptr was dropped in place and is skipped.
struct TQueuedMessage {
  HWND Window = nullptr;
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  TMessageTag Tag = 0;  // 0: untagged
};

// A FIFO ring of queued messages whose capacity is a power of two. Push doubles it
// when it is full; TryPush never allocates. Every message gets a sequence number
// (0 for the first ever pushed) by which it can be found while it is queued, also
// after the storage has been exchanged. Not thread-safe: the loop guards it with
// its queue lock.
class TMessageRing {
 public:
  explicit TMessageRing(std::size_t capacity);

  std::size_t Size() const { return FCount; }
  std::size_t Capacity() const { return FCapacity; }
  std::size_t Room() const { return FCapacity - FCount; }
  void Push(const TQueuedMessage& message);
  bool TryPush(const TQueuedMessage& message);
  // The oldest message; the ring must not be empty.
  TQueuedMessage Pop();

  // The sequence number of the oldest queued message (when there is one) and of
  // the next one pushed.
  std::uint64_t FirstSeq() const { return FPopped; }
  std::uint64_t NextSeq() const { return FPopped + FCount; }
  // The queued message numbered `seq`; nullptr once it has been popped.
  TQueuedMessage* AtSeq(std::uint64_t seq);
  TQueuedMessage& At(std::size_t index) { return FItems[(FHead + index) & (FCapacity - 1)]; }

  // Moves the queued messages into `items` (room for `capacity`, a power of two
  // not below Size) and returns the storage used until now.
  std::unique_ptr<TQueuedMessage[]> Exchange(std::unique_ptr<TQueuedMessage[]> items,
                                             std::size_t capacity);

 private:
  std::unique_ptr<TQueuedMessage[]> FItems;
  std::size_t FCapacity;
  std::size_t FHead = 0;
  std::size_t FCount = 0;
  std::uint64_t FPopped = 0;
};

#ifdef _WIN32
// The messages of a loop's own window on Windows (framework numbers, beside
// CM_RELEASE): the end of a pass, and the turn of the oldest tagged message.
inline constexpr UINT CM_PASSEND = 0xBF01;
inline constexpr UINT CM_TAGGEDTURN = 0xBF02;
#endif

struct TLoopAccess {
#ifdef _WIN32
  // A window procedure of `loop`'s thread let `exception` through while the system
  // dispatched a message: the loop's pass raises it once the system returns (the
  // first one; a further one before that is reported on the standard error).
  static void Raised(TThreadLoop& loop, std::exception_ptr exception) noexcept;
#else
  // Puts a message into the loop's queue and wakes the loop when another thread
  // posts. Any thread.
  static void Enqueue(TThreadLoop& loop, const TQueuedMessage& message);
#endif
  // The same for a tagged message, without allocating (see PostTaggedMessage).
  static TPostResult EnqueueTagged(TThreadLoop& loop, const TQueuedMessage& message,
                                   TPostKind kind);
  static void Pin(TThreadLoop& loop) noexcept;
  // At the end of the loop's thread: carries out the pending releases, destroys
  // the thread's windows, drops its sources and messages, and lets go of the
  // thread's reference.
  static void EndThread(TThreadLoop& loop);
  // The calling thread's loop, or nullptr when it has none; never creates one.
  static TThreadLoop* CurrentOrNull();
};

// The process-wide window table (Messages.cpp).
namespace WindowTable {
// Copies the procedure of `window` into `proc` when it names a live window owned
// by `loop`; false otherwise.
bool FindProc(HWND window, const TThreadLoop* loop, TWndMethod& proc);
// Makes a window of the calling thread, owned by `loop`. Raises EMessageError.
HWND Create(TThreadLoop* loop, TWndMethod proc);
// Destroys every window owned by `loop`; their handles become stale.
void DestroyWindowsOf(const TThreadLoop* loop);
}  // namespace WindowTable

}  // namespace vorlane::Messages
