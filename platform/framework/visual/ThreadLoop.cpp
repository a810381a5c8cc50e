// The per-thread message loop: the queue, the wake event, timers and watched
// sources, and the passes that dispatch them (see Messages.hpp for the rules).
// On Windows the pass also dispatches the thread's system queue, which holds the
// plain posts; the framework's queue holds only tagged messages there, each with
// a turn (CM_TAGGEDTURN) posted to the loop's own window at its place.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/os/Os.hpp"
#include "framework/visual/MessageQueue.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::Messages {

namespace {

using TClock = std::chrono::steady_clock;

constexpr std::size_t kInitialQueueCapacity = 64;
// A queue keeps up to this much storage; beyond it, a pass that leaves the queue
// at most a quarter full gives the rest back.
constexpr std::size_t kKeptQueueCapacity = 4096;
// How many (tag, number) pairs a loop remembers for replacing posts.
constexpr std::size_t kTagEntries = 16;
#ifdef _WIN32
// How many timer, input and paint messages (each kind) one pass takes at most, so
// that a kind the system always has one of cannot hold the pass.
constexpr int kSystemBatch = 64;
// How many posted messages a pass takes when it could not post its end marker
// (the system's queue is full): about what the system's queue holds.
constexpr std::size_t kUnmarkedBudget = 10000;
#endif

std::size_t CapacityFor(std::size_t count) {
  std::size_t capacity = kInitialQueueCapacity;
  while (capacity < count) capacity *= 2;
  return capacity;
}

[[noreturn]] void RaiseSystemError(const Os::EOsError& e) {
  throw EMessageError(System::Utf8ToString(std::string("TThreadLoop: ") + e.what()));
}

struct TTimer {
  TThreadLoop::TId Id;
  TClock::duration Period;
  TClock::time_point Due;
  Closure::TClosure<void()> OnTick;
};

struct TWatch {
  TThreadLoop::TId Id;
  Os::TNativeSource Source;
  Closure::TClosure<void()> OnReadable;
};

// Working storage of one pass. Passes nest when a handler pumps messages itself,
// so each nesting depth has its own; it is kept between passes so that a warm loop
// does not allocate.
struct TPassScratch {
  std::vector<Os::TWatchedSource> Sources;
  std::vector<TThreadLoop::TId> SourceIds;  // watch id of Sources[i]
  std::vector<TThreadLoop::TId> DueIds;
  bool Woken = false;  // the last wait found the wake event ready
};

thread_local TThreadLoop* t_loop = nullptr;
thread_local bool t_loopEnded = false;

// The latest post of one tag: with Msg 0, its latest keeping post; else its
// pending replacing post with that number.
struct TTagEntry {
  TMessageTag Tag = 0;
  UINT Msg = 0;
  std::uint64_t Seq = 0;
};

// Shuts the thread's loop down when the thread ends (registered by Current).
void EndThreadLoop(void* context) noexcept {
  // The loop comes with the hook, not from t_loop: nothing is read from the
  // thread's variables that the system may already have reset.
  t_loop = static_cast<TThreadLoop*>(context);
  TLoopAccess::EndThread(*t_loop);
  t_loop = nullptr;
  t_loopEnded = true;
}

}  // namespace

// --- TMessageRing -----------------------------------------------------------------

TMessageRing::TMessageRing(std::size_t capacity)
    : FItems(new TQueuedMessage[capacity]), FCapacity(capacity) {}

void TMessageRing::Push(const TQueuedMessage& message) {
  if (FCount == FCapacity)
    Exchange(std::unique_ptr<TQueuedMessage[]>(new TQueuedMessage[FCapacity * 2]), FCapacity * 2);
  TryPush(message);
}

bool TMessageRing::TryPush(const TQueuedMessage& message) {
  if (FCount == FCapacity) return false;
  FItems[(FHead + FCount) & (FCapacity - 1)] = message;
  ++FCount;
  return true;
}

TQueuedMessage TMessageRing::Pop() {
  TQueuedMessage message = FItems[FHead];
  FHead = (FHead + 1) & (FCapacity - 1);
  --FCount;
  ++FPopped;
  return message;
}

TQueuedMessage* TMessageRing::AtSeq(std::uint64_t seq) {
  if (seq < FPopped || seq >= NextSeq()) return nullptr;
  return &At(static_cast<std::size_t>(seq - FPopped));
}

std::unique_ptr<TQueuedMessage[]> TMessageRing::Exchange(std::unique_ptr<TQueuedMessage[]> items,
                                                         std::size_t capacity) {
  for (std::size_t i = 0; i < FCount; ++i) items[i] = At(i);
  std::swap(FItems, items);
  FCapacity = capacity;
  FHead = 0;
  return items;
}

// --- TThreadLoop::TImpl -----------------------------------------------------------

struct TThreadLoop::TImpl {
  explicit TImpl(TThreadLoop* self) try : Self(self), Queue(kInitialQueueCapacity) {
#ifdef _WIN32
    LoopWindow = WindowTable::Create(Self, TWndMethod::Bind<&TImpl::LoopProc>(this));
#endif
  } catch (const Os::EOsError& e) {  // no wake event to be had
    RaiseSystemError(e);
  }

  TThreadLoop* const Self;
  Os::TWakeEvent Wake;

  // The queue and the wake flag. WakePending is true exactly while a signal of
  // Wake has not been consumed, so posters signal at most once per wake.
  mutable std::mutex QueueLock;
  TMessageRing Queue;
  bool WakePending = false;
  std::array<TTagEntry, kTagEntries> TagEntries{};
  std::size_t NextTagEntry = 0;  // the entry taken when none is free
  std::atomic<std::size_t> CapacityHint{kInitialQueueCapacity};  // Queue.Capacity()
  std::atomic<std::uint64_t> WakeCount{0};

  // References: the thread's own, and every TLoopRef.
  std::atomic<std::uint32_t> Pins{1};

  std::mutex SourceLock;
  bool Ended = false;  // the thread has ended: no sources are added
  std::vector<TTimer> Timers;
  std::vector<TWatch> Watches;
  TId NextId = 1;

  // Owner thread only.
  std::vector<std::unique_ptr<TPassScratch>> Scratch;
  std::size_t Depth = 0;
  std::uint64_t PassSerial = 0;

#ifdef _WIN32
  // The loop's own window, which gets the pass markers and the tagged turns. Made
  // with the loop, destroyed with the thread's other windows.
  HWND LoopWindow = nullptr;
  // Owner thread only: the number of the last pass marker posted, and the highest
  // one taken from the queue (by any pass, nested or not).
  std::uint64_t PassEndPosted = 0;
  std::uint64_t PassEndSeen = 0;
  // What a window procedure let through inside the system's dispatch.
  std::exception_ptr Pending;
#endif

  bool IsOwnerThread() const {
    return t_loop == Self;
  }

  void RequireOwner(const char* operation) const {
    if (!IsOwnerThread())
      throw EMessageError(
          System::Utf8ToString(std::string("TThreadLoop::") + operation +
                               ": called from a thread that does not own the loop"));
  }

  // Caller holds QueueLock. True when the caller must SignalWake after unlocking.
  bool SignalLocked() {
    if (WakePending) return false;
    WakePending = true;
    return true;
  }
  void SignalWake() noexcept {
    Wake.Signal();
  }

  void Signal() {
    bool wake;
    {
      std::lock_guard lock(QueueLock);
      wake = SignalLocked();
    }
    if (wake) SignalWake();
  }

  void SignalIfOtherThread() {
    if (!IsOwnerThread()) Signal();
  }

  // QueueLock held. The entry of (tag, msg), or nullptr.
  TTagEntry* FindTagEntry(TMessageTag tag, UINT msg) {
    for (TTagEntry& e : TagEntries)
      if (e.Tag == tag && e.Msg == msg) return &e;
    return nullptr;
  }
  // QueueLock held. Records that the message numbered `seq` is the latest of
  // (tag, msg), in a free entry (one whose message has left the queue) or, with
  // none free, in the next one round: that only costs a replacement.
  void NoteTagEntry(TMessageTag tag, UINT msg, std::uint64_t seq) {
    TTagEntry* entry = FindTagEntry(tag, msg);
    for (std::size_t i = 0; entry == nullptr && i < TagEntries.size(); ++i)
      if (TagEntries[i].Tag == 0 || TagEntries[i].Seq < Queue.FirstSeq()) entry = &TagEntries[i];
    if (entry == nullptr) {
      entry = &TagEntries[NextTagEntry];
      NextTagEntry = (NextTagEntry + 1) % TagEntries.size();
    }
    *entry = TTagEntry{tag, msg, seq};
  }

  // QueueLock held. Replaces the pending message of the same tag and number, as
  // PostTaggedMessage tells; false when it has to be queued at the end, with
  // `older` set to the older one that the caller drops once the new one is queued
  // behind the keeping messages.
  bool ReplaceInPlace(const TQueuedMessage& message, TQueuedMessage*& older) {
    older = nullptr;
    TTagEntry* entry = FindTagEntry(message.Tag, message.Msg);
    if (entry == nullptr) return false;
    TQueuedMessage* pending = Queue.AtSeq(entry->Seq);
    if (pending == nullptr || pending->Window != message.Window || pending->Tag != message.Tag ||
        pending->Msg != message.Msg)
      return false;
    const TTagEntry* kept = FindTagEntry(message.Tag, 0);
    if (kept == nullptr || kept->Seq < entry->Seq) {
      pending->WParam = message.WParam;
      pending->LParam = message.LParam;
      return true;
    }
    older = pending;
    return false;
  }

  // Exchanges the queue's storage for one of `capacity` when `fits` (called under
  // QueueLock with the queue) still agrees; allocates and frees with no lock held.
  template <class F>
  void Resize(std::size_t capacity, F fits) {
    std::unique_ptr<TQueuedMessage[]> items(new TQueuedMessage[capacity]);
    {
      std::lock_guard lock(QueueLock);
      if (!fits(Queue)) return;
      items = Queue.Exchange(std::move(items), capacity);
      CapacityHint.store(capacity, std::memory_order_relaxed);
    }
  }

  // Owner thread, after a pass: gives back storage beyond what is kept.
  void ShrinkQueue() {
    if (CapacityHint.load(std::memory_order_relaxed) <= kKeptQueueCapacity) return;
    std::size_t target;
    {
      std::lock_guard lock(QueueLock);
      if (Queue.Size() * 4 > Queue.Capacity()) return;
      target = CapacityFor(Queue.Size() * 2);
    }
    Resize(target,
           [target](const TMessageRing& q) { return q.Size() <= target && q.Capacity() > target; });
  }

  bool HasQueued() {
#ifdef _WIN32
    if (Os::MessagesWaiting()) return true;
#endif
    std::lock_guard lock(QueueLock);
    return Queue.Size() > 0;
  }

  std::optional<TClock::time_point> NearestDeadline() {
    std::lock_guard lock(SourceLock);
    std::optional<TClock::time_point> nearest;
    for (const TTimer& t : Timers)
      if (!nearest || t.Due < *nearest) nearest = t.Due;
    return nearest;
  }

  TTimer* FindTimer(TId id) {
    auto it =
        std::find_if(Timers.begin(), Timers.end(), [id](const TTimer& t) { return t.Id == id; });
    return it != Timers.end() ? &*it : nullptr;
  }

  TWatch* FindWatch(TId id) {
    auto it =
        std::find_if(Watches.begin(), Watches.end(), [id](const TWatch& w) { return w.Id == id; });
    return it != Watches.end() ? &*it : nullptr;
  }

  // Every watched source; returns how many there are.
  std::size_t BuildWaitSet(TPassScratch& s) {
    s.Sources.clear();
    s.SourceIds.clear();
    s.Woken = false;
    std::lock_guard lock(SourceLock);
    for (const TWatch& w : Watches) {
      s.Sources.push_back(Os::TWatchedSource{w.Source});
      s.SourceIds.push_back(w.Id);
    }
    return s.Sources.size();
  }

  // Waits for the wake event and the watched sources; false when a signal cut the
  // wait short (then nothing is reported ready).
  bool WaitFor(TPassScratch& s, std::optional<TClock::duration> timeout) {
    std::optional<std::chrono::nanoseconds> limit;
    if (timeout) limit = std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout);
    Os::TWaitResult r;
    try {
      r = Os::Wait(Wake, s.Sources, limit);
    } catch (const Os::EOsError& e) {
      RaiseSystemError(e);
    }
    s.Woken = r.Woken;
    return !r.Interrupted;
  }

  // A message that the queue holds for `queued.Window`, delivered to it when the
  // window is still there; answers whether it was.
  bool Deliver(const TQueuedMessage& queued) {
    if (queued.Window == nullptr) return false;  // dropped in place
    TWndMethod proc;
    if (!WindowTable::FindProc(queued.Window, Self, proc) || !proc) return false;
    TMessage message{queued.Msg, queued.WParam, queued.LParam, 0};
    proc(message);
    return true;
  }

#ifdef _WIN32
  void RaisePending() {
    if (Pending) std::rethrow_exception(std::exchange(Pending, nullptr));
  }

  Os::TNativeWindow NativeLoopWindow() const {
    return reinterpret_cast<Os::TNativeWindow>(LoopWindow);
  }

  // A message of the loop's own window; answers whether a window's method ran.
  bool LoopMessage(UINT msg, WPARAM wParam) {
    if (msg == CM_PASSEND) {
      PassEndSeen = std::max<std::uint64_t>(PassEndSeen, wParam);
      return false;
    }
    if (msg != CM_TAGGEDTURN) return false;
    TQueuedMessage queued;
    {
      std::lock_guard lock(QueueLock);
      if (Queue.Size() == 0) return false;  // dropped with the thread's other messages
      queued = Queue.Pop();
    }
    return Deliver(queued);
  }
  // The same, when something other than a pass of this loop dispatched it (a
  // handler's own PeekMessageW/DispatchMessageW loop).
  void LoopProc(TMessage& message) {
    LoopMessage(message.Msg, message.WParam);
  }

  // Takes the next message of `kind`; raises what a message sent by another
  // thread meanwhile let through when there is none.
  bool Take(Os::TSystemMessage& m, Os::TMessageKind kind) {
    const bool taken = Os::TakeMessage(m, kind);
    if (!taken) RaisePending();
    return taken;
  }
  // Answers whether a window's method (or a timer procedure) ran.
  bool Dispatch(const Os::TSystemMessage& m) {
    if (m.Window == NativeLoopWindow()) return LoopMessage(m.Msg, m.WParam);
    Os::DispatchTakenMessage(m);
    RaisePending();
    return true;
  }

  // The system's part of a pass: the posted messages (plain posts and tagged turns)
  // that were queued when the pass began, up to the marker it posts behind them;
  // then what the system hands out only when no posted message waits.
  bool DispatchSystemMessages() {
    RaisePending();  // let through under a dispatch that was not a pass
    const std::uint64_t pass = ++PassEndPosted;
    const bool marked = Os::PostWindowMessage(NativeLoopWindow(), CM_PASSEND, pass, 0);
    std::size_t budget = marked ? SIZE_MAX : kUnmarkedBudget;
    bool did = false;
    Os::TSystemMessage m;
    // A nested pass that takes this pass's marker ends this pass too.
    while (PassEndSeen < pass && budget-- > 0 && Take(m, Os::TMessageKind::Any))
      did = Dispatch(m) || did;
    for (Os::TMessageKind kind :
         {Os::TMessageKind::Timer, Os::TMessageKind::Input, Os::TMessageKind::Paint})
      for (int n = 0; n < kSystemBatch && Take(m, kind); ++n) did = Dispatch(m) || did;
    return did;
  }
#endif

  bool DispatchMessages(bool wakeReady) {
    std::size_t pending;
    bool drain;
    {
      std::lock_guard lock(QueueLock);
      drain = WakePending || wakeReady;
      WakePending = false;
      pending = Queue.Size();
    }
    if (drain) Wake.Clear();
#ifdef _WIN32
    (void)pending;
    const bool did = DispatchSystemMessages();
    ShrinkQueue();
    return did;
#else
    bool did = false;
    for (; pending > 0; --pending) {
      TQueuedMessage queued;
      {
        std::lock_guard lock(QueueLock);
        if (Queue.Size() == 0) break;  // a nested pass took them
        queued = Queue.Pop();
      }
      did = Deliver(queued) || did;
    }
    ShrinkQueue();
    return did;
#endif
  }

  bool RunTimers(TPassScratch& s) {
    const TClock::time_point now = TClock::now();
    s.DueIds.clear();
    {
      std::lock_guard lock(SourceLock);
      for (const TTimer& t : Timers)
        if (t.Due <= now) s.DueIds.push_back(t.Id);
    }
    bool did = false;
    for (TId id : s.DueIds) {
      Closure::TClosure<void()> tick;
      {
        std::lock_guard lock(SourceLock);
        TTimer* t = FindTimer(id);
        // Removed by an earlier callback, or already fired by a nested pass.
        if (t == nullptr || t->Due > now) continue;
        t->Due += t->Period;
        if (t->Due <= now) t->Due = now + t->Period;  // late: skip the missed periods
        tick = t->OnTick;
      }
      did = true;
      tick();
    }
    return did;
  }

  bool RunWatches(TPassScratch& s, std::uint64_t serial) {
    bool did = false;
    for (std::size_t i = 0; i < s.Sources.size(); ++i) {
      const Os::TReadiness readiness = s.Sources[i].Readiness;
      if (readiness == Os::TReadiness::NotReady) continue;
      // A nested pass has consumed readiness since this poll: leave the rest to
      // the next poll rather than call a callback whose descriptor is not ready.
      if (PassSerial != serial) break;
      Closure::TClosure<void()> ready;
      {
        std::lock_guard lock(SourceLock);
        TWatch* w = FindWatch(s.SourceIds[i]);
        if (w == nullptr) continue;
        if (readiness == Os::TReadiness::Invalid) {  // closed without RemoveWatch
          Watches.erase(Watches.begin() + (w - Watches.data()));
          continue;
        }
        ready = w->OnReadable;
      }
      did = true;
      ready();
    }
    return did;
  }

  bool RunPass(TPassScratch& s, bool polled) {
    const std::uint64_t serial = ++PassSerial;
    bool did = DispatchMessages(s.Woken);
    did = RunTimers(s) || did;
    if (polled) did = RunWatches(s, serial) || did;
    return did;
  }

  // Takes the scratch of the next nesting depth for the length of one pass.
  class TPassScope {
   public:
    explicit TPassScope(TImpl& d) : FD(d) {
      if (d.Scratch.size() <= d.Depth) d.Scratch.push_back(std::make_unique<TPassScratch>());
      FScratch = d.Scratch[d.Depth].get();
      ++d.Depth;
    }
    ~TPassScope() { --FD.Depth; }
    TPassScope(const TPassScope&) = delete;
    TPassScope& operator=(const TPassScope&) = delete;
    TPassScratch& Scratch() { return *FScratch; }

   private:
    TImpl& FD;
    TPassScratch* FScratch;
  };

  // At thread end: a queued release, carried out; its exception is reported.
  void Release(const TQueuedMessage& queued) noexcept {
    try {
      Deliver(queued);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "vorlane: exception while freeing a released form at thread end: %s\n",
                   e.what());
    } catch (...) {
      std::fprintf(stderr, "vorlane: exception while freeing a released form at thread end\n");
    }
  }

#ifdef _WIN32
  // At thread end, after the releases: empties the thread's system queue. (A
  // thread that ends with posted messages left can keep the process from exiting
  // under Wine.)
  void DropSystemMessages() noexcept {
    Os::TSystemMessage m;
    for (std::size_t n = 0; n < kUnmarkedBudget && Os::TakeMessage(m, Os::TMessageKind::Any); ++n) {
    }
    Pending = nullptr;
  }
#endif

  // At thread end: frees the forms whose release is still queued.
  void CarryOutReleases() {
#ifdef _WIN32
    // A destructor may release further forms: they are taken in the same loop.
    Os::TSystemMessage m;
    while (Os::TakeMessage(m, Os::TMessageKind::Number, CM_RELEASE))
      Release(TQueuedMessage{reinterpret_cast<HWND>(m.Window), m.Msg, m.WParam, m.LParam});
    if (Pending) {  // from a message that another thread sent meanwhile
      std::fprintf(stderr,
                   "vorlane: an exception of a window procedure was dropped at thread end\n");
      Pending = nullptr;
    }
#else
    for (;;) {
      bool released = false;
      std::size_t pending;
      {
        std::lock_guard lock(QueueLock);
        pending = Queue.Size();
      }
      for (; pending > 0; --pending) {
        TQueuedMessage queued;
        {
          std::lock_guard lock(QueueLock);
          if (Queue.Size() == 0) break;
          queued = Queue.Pop();
        }
        if (queued.Msg != CM_RELEASE || queued.Window == nullptr) continue;
        released = true;
        Release(queued);
      }
      // A destructor may release further forms: go on until a pass finds none.
      if (!released) break;
    }
#endif
  }
};

// --- TLoopAccess --------------------------------------------------------------------

#ifdef _WIN32

void TLoopAccess::Raised(TThreadLoop& loop, std::exception_ptr exception) noexcept {
  TThreadLoop::TImpl& d = *loop.FImpl;
  if (!d.Pending) {
    d.Pending = std::move(exception);
    return;
  }
  try {
    std::rethrow_exception(exception);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vorlane: a further exception of a window procedure was dropped: %s\n",
                 e.what());
  } catch (...) {
    std::fprintf(stderr, "vorlane: a further exception of a window procedure was dropped\n");
  }
}

#else

void TLoopAccess::Enqueue(TThreadLoop& loop, const TQueuedMessage& message) {
  TThreadLoop::TImpl& d = *loop.FImpl;
  // The owner thread is not waiting while it posts; it sees the queue before it
  // waits again, so only other threads need to wake it.
  const bool otherThread = !d.IsOwnerThread();
  bool wake = false;
  {
    std::lock_guard lock(d.QueueLock);
    d.Queue.Push(message);
    d.CapacityHint.store(d.Queue.Capacity(), std::memory_order_relaxed);
    if (otherThread) wake = d.SignalLocked();
  }
  if (wake) d.SignalWake();
}

#endif

TPostResult TLoopAccess::EnqueueTagged(TThreadLoop& loop, const TQueuedMessage& message,
                                       TPostKind kind) {
  TThreadLoop::TImpl& d = *loop.FImpl;
  bool wake = false;
  {
    std::lock_guard lock(d.QueueLock);
    TQueuedMessage* older = nullptr;
    if (kind == TPostKind::Replace && d.ReplaceInPlace(message, older)) return TPostResult::Posted;
    if (d.Queue.Room() == 0) return TPostResult::QueueFull;
#ifdef _WIN32
    // The turn holds the message's place among the thread's posted messages (and
    // wakes the loop); posted under the lock, turns come in the queue's order.
    if (!Os::PostWindowMessage(d.NativeLoopWindow(), CM_TAGGEDTURN, 0, 0))
      return TPostResult::QueueFull;
#else
    wake = !d.IsOwnerThread() && d.SignalLocked();
#endif
    if (older != nullptr) older->Window = nullptr;  // the new one goes behind the others
    const std::uint64_t seq = d.Queue.NextSeq();
    d.Queue.TryPush(message);
    d.NoteTagEntry(message.Tag, kind == TPostKind::Replace ? message.Msg : 0, seq);
  }
  if (wake) d.SignalWake();
  return TPostResult::Posted;
}

TThreadLoop* TLoopAccess::CurrentOrNull() {
  return t_loop;
}

void TLoopAccess::Pin(TThreadLoop& loop) noexcept {
  loop.Pin();
}

void TLoopAccess::EndThread(TThreadLoop& loop) {
  // t_loop stays set while the releases run: the forms' destructors use it.
  TThreadLoop::TImpl& d = *loop.FImpl;
  d.CarryOutReleases();
#ifdef _WIN32
  // Every other message of the thread's system queue is dropped, not dispatched.
  d.DropSystemMessages();
#endif
  WindowTable::DestroyWindowsOf(&loop);
  std::vector<TTimer> timers;
  std::vector<TWatch> watches;
  {
    std::lock_guard lock(d.SourceLock);
    d.Ended = true;
    timers.swap(d.Timers);
    watches.swap(d.Watches);
  }
  {
    std::lock_guard lock(d.QueueLock);
    while (d.Queue.Size() > 0) d.Queue.Pop();
  }
  t_loop = nullptr;
  loop.Unpin();
}

// --- TThreadLoop ----------------------------------------------------------------------

TThreadLoop::TThreadLoop() : FImpl(new TImpl(this)) {}

TThreadLoop::~TThreadLoop() {
  delete FImpl;
}

void TThreadLoop::Pin() noexcept {
  FImpl->Pins.fetch_add(1, std::memory_order_relaxed);
}

void TThreadLoop::Unpin() noexcept {
  if (FImpl->Pins.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

TThreadLoop& TThreadLoop::Current() {
  if (t_loop != nullptr) return *t_loop;
  if (t_loopEnded)
    throw EMessageError(u"TThreadLoop::Current: the message loop of this thread has already ended");
  auto* loop = new TThreadLoop();
  try {
    Os::AtThreadEnd(&EndThreadLoop, loop);
  } catch (const Os::EOsError& e) {
    loop->Unpin();  // the thread's own reference
    RaiseSystemError(e);
  } catch (...) {
    loop->Unpin();
    throw;
  }
  t_loop = loop;
  return *t_loop;
}

TThreadLoop::TId TThreadLoop::AddTimer(std::uint32_t periodMs, Closure::TClosure<void()> onTick) {
  if (!onTick) throw EMessageError(u"TThreadLoop::AddTimer: no callback");
  const TClock::duration period = std::chrono::milliseconds(std::max<std::uint32_t>(periodMs, 1));
  TId id;
  {
    std::lock_guard lock(FImpl->SourceLock);
    if (FImpl->Ended) return 0;
    id = FImpl->NextId++;
    FImpl->Timers.push_back(TTimer{id, period, TClock::now() + period, onTick});
  }
  FImpl->SignalIfOtherThread();
  return id;
}

TThreadLoop::TId TThreadLoop::AddWatch(TWatchSource source, Closure::TClosure<void()> onReadable) {
  const std::optional<Os::TNativeSource> native = Os::SourceFromInteger(source);
  if (!native)
    throw EMessageError(u"TThreadLoop::AddWatch: invalid source " + System::IntToStr(source));
  if (!onReadable) throw EMessageError(u"TThreadLoop::AddWatch: no callback");
  TId id;
  {
    std::lock_guard lock(FImpl->SourceLock);
    if (FImpl->Ended) return 0;
    id = FImpl->NextId++;
    FImpl->Watches.push_back(TWatch{id, *native, onReadable});
  }
  FImpl->SignalIfOtherThread();
  return id;
}

void TThreadLoop::RemoveTimer(TId id) {
  {
    std::lock_guard lock(FImpl->SourceLock);
    TTimer* t = FImpl->FindTimer(id);
    if (t == nullptr) return;
    FImpl->Timers.erase(FImpl->Timers.begin() + (t - FImpl->Timers.data()));
  }
  FImpl->SignalIfOtherThread();
}

void TThreadLoop::RemoveWatch(TId id) {
  {
    std::lock_guard lock(FImpl->SourceLock);
    TWatch* w = FImpl->FindWatch(id);
    if (w == nullptr) return;
    FImpl->Watches.erase(FImpl->Watches.begin() + (w - FImpl->Watches.data()));
  }
  FImpl->SignalIfOtherThread();
}

void TThreadLoop::Wake() {
  FImpl->Signal();
}

bool TThreadLoop::ProcessMessages() {
  TImpl& d = *FImpl;
  d.RequireOwner("ProcessMessages");
  TImpl::TPassScope scope(d);
  TPassScratch& s = scope.Scratch();
  bool polled = false;
  if (d.BuildWaitSet(s) > 0) {  // sources to look at; the wake event alone needs no look
    d.WaitFor(s, TClock::duration::zero());
    polled = true;
  }
  return d.RunPass(s, polled);
}

bool TThreadLoop::HandleMessage(int timeoutMs) {
  TImpl& d = *FImpl;
  d.RequireOwner("HandleMessage");
  TImpl::TPassScope scope(d);
  TPassScratch& s = scope.Scratch();
  const bool limited = timeoutMs >= 0;
  const TClock::time_point limit =
      TClock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  for (;;) {
    d.BuildWaitSet(s);
    const TClock::time_point now = TClock::now();
    // How long to wait: not at all when work is already there; no limit when
    // there is neither a timer nor a timeout.
    std::optional<TClock::duration> wait;
    if (d.HasQueued()) {
      wait = TClock::duration::zero();
    } else {
      if (auto due = d.NearestDeadline()) wait = std::max(*due - now, TClock::duration::zero());
      if (limited) {
        const TClock::duration rest = std::max(limit - now, TClock::duration::zero());
        if (!wait || rest < *wait) wait = rest;
      }
    }
    const bool blocking = !wait || *wait > TClock::duration::zero();
    if (!blocking) {
      if (!s.Sources.empty()) d.WaitFor(s, TClock::duration::zero());
      break;
    }
    const bool completed = d.WaitFor(s, wait);
    d.WakeCount.fetch_add(1, std::memory_order_relaxed);
    if (completed) break;
    if (limited && TClock::now() >= limit) break;  // interrupted, and the time is up anyway
  }
  return d.RunPass(s, true);
}

void TThreadLoop::DiscardTagged(TMessageTag tag) {
  if (tag == 0) return;
  TImpl& d = *FImpl;
  std::lock_guard lock(d.QueueLock);
  for (std::size_t i = 0; i < d.Queue.Size(); ++i) {
    TQueuedMessage& queued = d.Queue.At(i);
    if (queued.Tag == tag) queued.Window = nullptr;
  }
  for (TTagEntry& e : d.TagEntries)
    if (e.Tag == tag) e = TTagEntry{};
}

void TThreadLoop::Reserve(std::size_t room) {
  TImpl& d = *FImpl;
  std::size_t target;
  {
    std::lock_guard lock(d.QueueLock);
    if (d.Queue.Room() >= room) return;
    target = CapacityFor(d.Queue.Size() + room);
  }
  d.Resize(target, [target, room](const TMessageRing& q) {
    return q.Room() < room && q.Size() <= target && q.Capacity() < target;
  });
}

std::uint64_t TThreadLoop::GetWakeCount() const {
  return FImpl->WakeCount.load(std::memory_order_relaxed);
}

std::size_t TThreadLoop::GetQueueLength() const {
  std::lock_guard lock(FImpl->QueueLock);
  return FImpl->Queue.Size();
}

std::size_t TThreadLoop::GetQueueCapacity() const {
  std::lock_guard lock(FImpl->QueueLock);
  return FImpl->Queue.Capacity();
}

}  // namespace vorlane::Messages
