// Internals shared by the window table (Messages.cpp) and the thread loop
// (ThreadLoop.cpp). Not part of the public interface.
#pragma once

#include <cstddef>
#include <memory>

#include "vorlane/Messages.hpp"

namespace vorlane::Messages {

// One queued message: the window is looked up again when it is dispatched.
struct TQueuedMessage {
  HWND Window = nullptr;
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
};

// A FIFO ring of queued messages whose capacity is a power of two and doubles when
// it is full; it never shrinks, so a warm queue does not allocate. Not thread-safe:
// the loop guards it with its queue lock.
class TMessageRing {
 public:
  explicit TMessageRing(std::size_t capacity);

  std::size_t Size() const { return FCount; }
  std::size_t Capacity() const { return FCapacity; }
  void Push(const TQueuedMessage& message);
  // The oldest message; the ring must not be empty.
  TQueuedMessage Pop();

 private:
  void Grow();

  std::unique_ptr<TQueuedMessage[]> FItems;
  std::size_t FCapacity;
  std::size_t FHead = 0;
  std::size_t FCount = 0;
};

struct TLoopAccess {
  // Puts a message into the loop's queue and wakes the loop when another thread
  // posts. Any thread.
  static void Enqueue(TThreadLoop& loop, const TQueuedMessage& message);
  // The calling thread's loop, or nullptr when it has none; never creates one.
  static TThreadLoop* CurrentOrNull();
};

// The process-wide window table (Messages.cpp).
namespace WindowTable {
// Copies the procedure of `window` into `proc` when it names a live window owned
// by `loop`; false otherwise.
bool FindProc(HWND window, const TThreadLoop* loop, TWndMethod& proc);
// Destroys every window owned by `loop`; their handles become stale.
void DestroyWindowsOf(const TThreadLoop* loop);
}  // namespace WindowTable

}  // namespace vorlane::Messages
