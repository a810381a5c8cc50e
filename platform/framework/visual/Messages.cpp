// Window handles and the process-wide window table; posting and sending messages.
//
// A handle is the number (generation << kSlotBits) | (slot index + 1), never zero:
// with 64-bit pointers 32 bits each, with 32-bit pointers 16 each.
// The table is guarded by a reader-writer lock: posting, sending and the lookup at
// dispatch take it shared, creating and destroying windows take it exclusively.
// A poster keeps the shared lock while it puts the message into the owner's
// queue, and a loop destroys its windows under the exclusive lock before it goes
// away, so a poster never reaches a loop that has been destroyed, and
// PinOfWindow can count a reference to the loop it finds.
#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "framework/visual/MessageQueue.hpp"
#include "vorlane/runtime/TypInfo.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::Messages {

constexpr unsigned kSlotBits = sizeof(std::uintptr_t) >= 8 ? 32 : 16;
constexpr std::uint32_t kSlotMask = static_cast<std::uint32_t>((std::uint64_t{1} << kSlotBits) - 1);
// The largest generation (and slot number) a handle can hold.
constexpr std::uint32_t kMaxGeneration = kSlotMask;

const TypInfo::TClassInfo& EMessageError::StaticClass() {
  static const TypInfo::TClassInfo info("EMessageError", &System::Exception::StaticClass());
  return info;
}

namespace {

constexpr std::uint32_t kNoSlot = 0;  // free-list end; slots are numbered from 1 here

struct TWindowSlot {
  std::uint32_t Generation = 1;
  bool Live = false;
  std::uint32_t NextFree = kNoSlot;  // index + 1 of the next free slot
  TThreadLoop* Loop = nullptr;
  TWndMethod Proc;
};

class TWindowTable {
 public:
  std::shared_mutex Lock;

  // Caller holds Lock (either way).
  TWindowSlot* Find(HWND window) {
    const auto value = reinterpret_cast<std::uintptr_t>(window);
    const auto number = static_cast<std::uint32_t>(value & kSlotMask);
    const auto generation = static_cast<std::uint32_t>(std::uint64_t{value} >> kSlotBits);
    if (number == 0 || number > FSlots.size()) return nullptr;
    TWindowSlot& slot = FSlots[number - 1];
    if (!slot.Live || slot.Generation != generation) return nullptr;
    return &slot;
  }

  // Caller holds Lock exclusively.
  HWND Allocate(TThreadLoop* loop, TWndMethod proc) {
    std::uint32_t number;
    if (FFreeHead != kNoSlot) {
      number = FFreeHead;
      FFreeHead = FSlots[number - 1].NextFree;
    } else {
      if (FSlots.size() >= kSlotMask - 1)
        throw EMessageError(u"AllocateHWnd: the window table is full");
      FSlots.emplace_back();
      number = static_cast<std::uint32_t>(FSlots.size());
    }
    TWindowSlot& slot = FSlots[number - 1];
    slot.Live = true;
    slot.NextFree = kNoSlot;
    slot.Loop = loop;
    slot.Proc = proc;
    return reinterpret_cast<HWND>(
        static_cast<std::uintptr_t>((std::uint64_t{slot.Generation} << kSlotBits) | number));
  }

  // Caller holds Lock exclusively. Never allocates.
  void Free(TWindowSlot& slot) {
    slot.Live = false;
    slot.Loop = nullptr;
    slot.Proc = nullptr;
    // A slot whose generations are used up is retired, so no handle ever repeats.
    if (slot.Generation == kMaxGeneration) return;
    ++slot.Generation;
    slot.NextFree = FFreeHead;
    FFreeHead = static_cast<std::uint32_t>(&slot - FSlots.data()) + 1;
  }

  // Caller holds Lock exclusively.
  void FreeAllOf(const TThreadLoop* loop) {
    for (TWindowSlot& slot : FSlots)
      if (slot.Live && slot.Loop == loop) Free(slot);
  }

 private:
  std::vector<TWindowSlot> FSlots;
  std::uint32_t FFreeHead = kNoSlot;
};

// Never destroyed: threads may end (and destroy their loops) after static
// destructors have begun to run.
TWindowTable& Table() {
  static TWindowTable* const table = new TWindowTable;
  return *table;
}

}  // namespace

namespace WindowTable {

bool FindProc(HWND window, const TThreadLoop* loop, TWndMethod& proc) {
  TWindowTable& table = Table();
  std::shared_lock lock(table.Lock);
  TWindowSlot* slot = table.Find(window);
  if (slot == nullptr || slot->Loop != loop) return false;
  proc = slot->Proc;
  return true;
}

void DestroyWindowsOf(const TThreadLoop* loop) {
  TWindowTable& table = Table();
  std::unique_lock lock(table.Lock);
  table.FreeAllOf(loop);
}

}  // namespace WindowTable

HWND AllocateHWnd(TWndMethod wndProc) {
  TThreadLoop& loop = TThreadLoop::Current();
  TWindowTable& table = Table();
  std::unique_lock lock(table.Lock);
  return table.Allocate(&loop, wndProc);
}

void DeallocateHWnd(HWND window) {
  if (window == nullptr) return;
  TWindowTable& table = Table();
  std::unique_lock lock(table.Lock);
  if (TWindowSlot* slot = table.Find(window)) table.Free(*slot);
}

bool IsWindow(HWND window) {
  if (window == nullptr) return false;
  TWindowTable& table = Table();
  std::shared_lock lock(table.Lock);
  return table.Find(window) != nullptr;
}

bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr) return false;
  TWindowTable& table = Table();
  std::shared_lock lock(table.Lock);
  TWindowSlot* slot = table.Find(window);
  if (slot == nullptr) return false;
  TLoopAccess::Enqueue(*slot->Loop, TQueuedMessage{window, msg, wParam, lParam});
  return true;
}

TMessageTag NewMessageTag() {
  static std::atomic<TMessageTag> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

TPostResult PostTaggedMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, TMessageTag tag,
                              TPostKind kind) {
  if (window == nullptr) return TPostResult::NoWindow;
  TWindowTable& table = Table();
  std::shared_lock lock(table.Lock);
  TWindowSlot* slot = table.Find(window);
  if (slot == nullptr) return TPostResult::NoWindow;
  return TLoopAccess::EnqueueTagged(*slot->Loop, TQueuedMessage{window, msg, wParam, lParam, tag},
                                    kind);
}

LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr) return 0;
  TWndMethod proc;
  {
    TWindowTable& table = Table();
    std::shared_lock lock(table.Lock);
    TWindowSlot* slot = table.Find(window);
    if (slot == nullptr) return 0;
    if (slot->Loop != TLoopAccess::CurrentOrNull())
      throw EMessageError(u"SendMessage: the window belongs to another thread");
    proc = slot->Proc;
  }
  TMessage message{msg, wParam, lParam, 0};
  if (proc) proc(message);
  return message.Result;
}

TThreadLoop* TThreadLoop::OfWindow(HWND window) {
  if (window == nullptr) return nullptr;
  TWindowTable& table = Table();
  std::shared_lock lock(table.Lock);
  TWindowSlot* slot = table.Find(window);
  return slot != nullptr ? slot->Loop : nullptr;
}

TLoopRef TThreadLoop::PinOfWindow(HWND window) {
  TLoopRef ref;
  if (window == nullptr) return ref;
  TWindowTable& table = Table();
  // A loop destroys its windows under the exclusive lock before it lets go of its
  // thread's reference, so a loop found here is alive while the lock is held.
  std::shared_lock lock(table.Lock);
  if (TWindowSlot* slot = table.Find(window)) {
    TLoopAccess::Pin(*slot->Loop);
    ref.FLoop = slot->Loop;
  }
  return ref;
}

}  // namespace vorlane::Messages
