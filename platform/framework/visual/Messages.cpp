// Window handles and the process-wide window table; posting and sending messages.
// On Windows the windows are the system's (through the system seam) and the table
// holds the framework's record of each; elsewhere the table is the windows.
//
// The table is guarded by a reader-writer lock: posting, sending and the lookup at
// dispatch take it shared, creating and destroying windows take it exclusively.
// A poster keeps the shared lock while it puts the message into the owner's
// queue, and a loop destroys its windows under the exclusive lock before it goes
// away, so a poster never reaches a loop that has been destroyed, and
// PinOfWindow can count a reference to the loop it finds.
#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>
#ifdef _WIN32
#include <unordered_map>

#include "framework/os/Os.hpp"
#endif

#include "framework/visual/MessageQueue.hpp"
#include "vorlane/runtime/TypInfo.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::Messages {

const TypInfo::TClassInfo& EMessageError::StaticClass() {
  static const TypInfo::TClassInfo info("EMessageError", &System::Exception::StaticClass());
  return info;
}

namespace {

// What the table knows of a window.
struct TWindowRecord {
  TThreadLoop* Loop = nullptr;
  TWndMethod Proc;
};

#ifdef _WIN32

// On Windows a window is the system's and its handle the system's HWND; the table
// maps the handles of the windows that AllocateHWnd made to their records.
class TWindowTable {
 public:
  std::shared_mutex Lock;

  // Caller holds Lock (either way). Never allocates.
  TWindowRecord* Find(HWND window) {
    auto it = FRecords.find(window);
    return it != FRecords.end() ? &it->second : nullptr;
  }
  // Caller holds Lock exclusively.
  void Add(HWND window, TThreadLoop* loop, TWndMethod proc) {
    FRecords.emplace(window, TWindowRecord{loop, proc});
  }
  void Remove(HWND window) { FRecords.erase(window); }
  // Caller holds Lock exclusively. Forgets every window of `loop`; answers them.
  std::vector<HWND> RemoveAllOf(const TThreadLoop* loop) {
    std::vector<HWND> removed;
    for (auto it = FRecords.begin(); it != FRecords.end();) {
      if (it->second.Loop == loop) {
        removed.push_back(it->first);
        it = FRecords.erase(it);
      } else {
        ++it;
      }
    }
    return removed;
  }

 private:
  std::unordered_map<HWND, TWindowRecord> FRecords;
};

Os::TNativeWindow Native(HWND window) {
  return reinterpret_cast<Os::TNativeWindow>(window);
}

#else

constexpr unsigned kSlotBits = sizeof(std::uintptr_t) >= 8 ? 32 : 16;
constexpr std::uint32_t kSlotMask = static_cast<std::uint32_t>((std::uint64_t{1} << kSlotBits) - 1);
// The largest generation (and slot number) a handle can hold.
constexpr std::uint32_t kMaxGeneration = kSlotMask;
constexpr std::uint32_t kNoSlot = 0;  // free-list end; slots are numbered from 1 here

struct TWindowSlot {
  std::uint32_t Generation = 1;
  bool Live = false;
  std::uint32_t NextFree = kNoSlot;  // index + 1 of the next free slot
  TWindowRecord Record;
};

// A handle is the number (generation << kSlotBits) | (slot index + 1), never zero:
// with 64-bit pointers 32 bits each, with 32-bit pointers 16 each.
class TWindowTable {
 public:
  std::shared_mutex Lock;

  // Caller holds Lock (either way).
  TWindowRecord* Find(HWND window) {
    TWindowSlot* slot = SlotOf(window);
    return slot != nullptr ? &slot->Record : nullptr;
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
    slot.Record = TWindowRecord{loop, proc};
    return reinterpret_cast<HWND>(
        static_cast<std::uintptr_t>((std::uint64_t{slot.Generation} << kSlotBits) | number));
  }

  // Caller holds Lock exclusively. Never allocates; a stale handle is ignored.
  void Remove(HWND window) {
    if (TWindowSlot* slot = SlotOf(window)) Free(*slot);
  }

  // Caller holds Lock exclusively.
  void RemoveAllOf(const TThreadLoop* loop) {
    for (TWindowSlot& slot : FSlots)
      if (slot.Live && slot.Record.Loop == loop) Free(slot);
  }

 private:
  TWindowSlot* SlotOf(HWND window) {
    const auto value = reinterpret_cast<std::uintptr_t>(window);
    const auto number = static_cast<std::uint32_t>(value & kSlotMask);
    const auto generation = static_cast<std::uint32_t>(std::uint64_t{value} >> kSlotBits);
    if (number == 0 || number > FSlots.size()) return nullptr;
    TWindowSlot& slot = FSlots[number - 1];
    if (!slot.Live || slot.Generation != generation) return nullptr;
    return &slot;
  }

  void Free(TWindowSlot& slot) {
    slot.Live = false;
    slot.Record = TWindowRecord{};
    // A slot whose generations are used up is retired, so no handle ever repeats.
    if (slot.Generation == kMaxGeneration) return;
    ++slot.Generation;
    slot.NextFree = FFreeHead;
    FFreeHead = static_cast<std::uint32_t>(&slot - FSlots.data()) + 1;
  }

  std::vector<TWindowSlot> FSlots;
  std::uint32_t FFreeHead = kNoSlot;
};

#endif

// Never destroyed: threads may end (and destroy their loops) after static
// destructors have begun to run.
TWindowTable& Table() {
  static TWindowTable* const table = new TWindowTable;
  return *table;
}

#ifdef _WIN32

// The class procedure's handler of every framework window: the window's method
// gets the message on the window's thread. Messages of a window the table does not
// know (while it is being created or destroyed, or after DeallocateHWnd from
// another thread) go to the system's default. An exception cannot pass through the
// system's dispatch: it is handed to the loop, whose pass raises it once the
// system returns.
bool WindowHandler(Os::TNativeWindow native, std::uint32_t msg, std::uintptr_t wParam,
                   std::intptr_t lParam, std::intptr_t& result) noexcept {
  const HWND window = reinterpret_cast<HWND>(native);
  TWndMethod proc;
  TThreadLoop* loop;
  {
    TWindowTable& table = Table();
    std::shared_lock lock(table.Lock);
    TWindowRecord* record = table.Find(window);
    if (record == nullptr) return false;
    proc = record->Proc;
    loop = record->Loop;
  }
  TMessage message{msg, wParam, lParam, 0};
  if (proc) {
    try {
      proc(message);
    } catch (...) {
      TLoopAccess::Raised(*loop, std::current_exception());
    }
  }
  result = message.Result;
  return true;
}

#endif

}  // namespace

namespace WindowTable {

bool FindProc(HWND window, const TThreadLoop* loop, TWndMethod& proc) {
  TWindowTable& table = Table();
  std::shared_lock lock(table.Lock);
  TWindowRecord* record = table.Find(window);
  if (record == nullptr || record->Loop != loop) return false;
  proc = record->Proc;
  return true;
}

HWND Create(TThreadLoop* loop, TWndMethod proc) {
#ifdef _WIN32
  // Made before the table is locked: the system sends the new window messages,
  // which look the window up.
  HWND window;
  try {
    window = reinterpret_cast<HWND>(Os::CreateMessageWindow(&WindowHandler));
  } catch (const Os::EOsError& e) {
    throw EMessageError(System::Utf8ToString(std::string("AllocateHWnd: ") + e.what()));
  }
  TWindowTable& table = Table();
  try {
    std::unique_lock lock(table.Lock);
    table.Add(window, loop, proc);
  } catch (...) {
    Os::DestroyWindow(Native(window));
    throw;
  }
  return window;
#else
  TWindowTable& table = Table();
  std::unique_lock lock(table.Lock);
  return table.Allocate(loop, proc);
#endif
}

void DestroyWindowsOf(const TThreadLoop* loop) {
  TWindowTable& table = Table();
#ifdef _WIN32
  std::vector<HWND> windows;
  {
    std::unique_lock lock(table.Lock);
    windows = table.RemoveAllOf(loop);
  }
  // Unlocked: destroying sends the windows messages of their own.
  for (HWND window : windows) Os::DestroyWindow(Native(window));
#else
  std::unique_lock lock(table.Lock);
  table.RemoveAllOf(loop);
#endif
}

}  // namespace WindowTable

HWND AllocateHWnd(TWndMethod wndProc) {
  return WindowTable::Create(&TThreadLoop::Current(), wndProc);
}

void DeallocateHWnd(HWND window) {
  if (window == nullptr) return;
  TWindowTable& table = Table();
#ifdef _WIN32
  {
    std::unique_lock lock(table.Lock);
    if (table.Find(window) == nullptr) return;
    table.Remove(window);
  }
  // Now the system's: destroyed at once on the owner thread, else by its thread
  // when it next dispatches.
  Os::DestroyWindow(Native(window));
#else
  std::unique_lock lock(table.Lock);
  table.Remove(window);
#endif
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
  TWindowRecord* record = table.Find(window);
  if (record == nullptr) return false;
#ifdef _WIN32
  return Os::PostWindowMessage(Native(window), msg, wParam, lParam);
#else
  TLoopAccess::Enqueue(*record->Loop, TQueuedMessage{window, msg, wParam, lParam});
  return true;
#endif
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
  TWindowRecord* record = table.Find(window);
  if (record == nullptr) return TPostResult::NoWindow;
  return TLoopAccess::EnqueueTagged(*record->Loop, TQueuedMessage{window, msg, wParam, lParam, tag},
                                    kind);
}

LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr) return 0;
  TWndMethod proc;
  {
    TWindowTable& table = Table();
    std::shared_lock lock(table.Lock);
    TWindowRecord* record = table.Find(window);
    if (record == nullptr) return 0;
    if (record->Loop != TLoopAccess::CurrentOrNull())
      throw EMessageError(u"SendMessage: the window belongs to another thread");
    proc = record->Proc;
  }
  TMessage message{msg, wParam, lParam, 0};
  if (proc) proc(message);
  return message.Result;
}

TThreadLoop* TThreadLoop::OfWindow(HWND window) {
  if (window == nullptr) return nullptr;
  TWindowTable& table = Table();
  std::shared_lock lock(table.Lock);
  TWindowRecord* record = table.Find(window);
  return record != nullptr ? record->Loop : nullptr;
}

TLoopRef TThreadLoop::PinOfWindow(HWND window) {
  TLoopRef ref;
  if (window == nullptr) return ref;
  TWindowTable& table = Table();
  // A loop destroys its windows under the exclusive lock before it lets go of its
  // thread's reference, so a loop found here is alive while the lock is held.
  std::shared_lock lock(table.Lock);
  if (TWindowRecord* record = table.Find(window)) {
    TLoopAccess::Pin(*record->Loop);
    ref.FLoop = record->Loop;
  }
  return ref;
}

}  // namespace vorlane::Messages
