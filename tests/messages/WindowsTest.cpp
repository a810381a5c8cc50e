// Window handles, posting, sending and dispatch by message number.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Pump.hpp"
#include "vorlane/runtime/TypInfo.hpp"
#include "vorlane/visual/Forms.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::Messages {
namespace {

constexpr UINT WM_A = WM_USER + 1;
constexpr UINT WM_B = WM_USER + 2;
constexpr UINT WM_SHARED = WM_USER + 3;
constexpr UINT WM_UNKNOWN = WM_USER + 99;

// A form with its own message table; unknown numbers are recorded by DefaultHandler.
class TProbe : public Forms::TCustomForm {
 public:
  TProbe() : TCustomForm(nullptr, 0) {}
  static const TypInfo::TClassInfo& StaticClass() {
    static const TypInfo::TMessageEntry messages[] = {
        TypInfo::MessageHandler<&TProbe::WmA>(WM_A),
        TypInfo::MessageHandler<&TProbe::WmShared>(WM_SHARED),
    };
    static const TypInfo::TClassInfo info("TProbe", &TCustomForm::StaticClass(),
                                          {.Messages = messages});
    return info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
  void DefaultHandler(void* message) override {
    Log.push_back({u'?', static_cast<TMessage*>(message)->Msg});
  }

  struct TEntry {
    char16_t Handler;
    UINT Msg;
    friend bool operator==(const TEntry&, const TEntry&) = default;
  };
  std::vector<TEntry> Log;

 private:
  void WmA(TMessage& m) {
    Log.push_back({u'A', m.Msg});
    m.Result = static_cast<LRESULT>(m.WParam + m.LParam);
  }
  void WmShared(TMessage& m) { Log.push_back({u'S', m.Msg}); }
};

// Adds a handler and replaces its ancestor's handler for WM_SHARED.
class TDerivedProbe : public TProbe {
 public:
  static const TypInfo::TClassInfo& StaticClass() {
    static const TypInfo::TMessageEntry messages[] = {
        TypInfo::MessageHandler<&TDerivedProbe::WmB>(WM_B),
        TypInfo::MessageHandler<&TDerivedProbe::WmShared>(WM_SHARED),
    };
    static const TypInfo::TClassInfo info("TDerivedProbe", &TProbe::StaticClass(),
                                          {.Messages = messages});
    return info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

 private:
  void WmB(TMessage& m) { Log.push_back({u'B', m.Msg}); }
  void WmShared(TMessage& m) { Log.push_back({u'D', m.Msg}); }
};

void Drain() {
  EXPECT_TRUE(vorlane::testing::DrainMessages());
}

TEST(Dispatch, ByNumberThroughTheClassAndItsAncestors) {
  TDerivedProbe probe;
  HWND h = probe.GetHandle();
  for (UINT msg : {WM_A, WM_B, WM_SHARED, WM_UNKNOWN}) ASSERT_TRUE(PostMessage(h, msg, 0, 0));
  Drain();
  using E = TProbe::TEntry;
  // WM_A from the ancestor's table, WM_B and the replaced WM_SHARED from the
  // class's own, the unknown number to DefaultHandler.
  EXPECT_EQ(probe.Log,
            (std::vector<E>{{u'A', WM_A}, {u'B', WM_B}, {u'D', WM_SHARED}, {u'?', WM_UNKNOWN}}));

  TProbe base;
  PostMessage(base.GetHandle(), WM_SHARED, 0, 0);
  PostMessage(base.GetHandle(), WM_B, 0, 0);  // the derived class's number is unknown here
  Drain();
  EXPECT_EQ(base.Log, (std::vector<E>{{u'S', WM_SHARED}, {u'?', WM_B}}));
}

TEST(Dispatch, SendMessageDeliversAtOnceAndReturnsTheResult) {
  TProbe probe;
  HWND h = probe.GetHandle();
  PostMessage(h, WM_SHARED, 0, 0);
  EXPECT_EQ(SendMessage(h, WM_A, 40, 2), 42);
  // The sent message came before the one still queued.
  ASSERT_EQ(probe.Log.size(), 1u);
  EXPECT_EQ(probe.Log[0].Msg, WM_A);
  Drain();
  EXPECT_EQ(probe.Log.size(), 2u);
}

TEST(Dispatch, SendMessageToAnotherThreadsWindowIsRefused) {
  TProbe probe;
  HWND h = probe.GetHandle();
  bool refused = false;
  std::thread([&] {
    try {
      SendMessage(h, WM_A, 0, 0);
    } catch (const EMessageError&) {
      refused = true;
    }
  }).join();
  EXPECT_TRUE(refused);
  EXPECT_TRUE(probe.Log.empty());
}

TEST(Handles, StaleHandleNamesNoLaterWindow) {
  int oldCalls = 0, newCalls = 0;
  auto oldProc = [&](TMessage&) { ++oldCalls; };
  auto newProc = [&](TMessage&) { ++newCalls; };
  HWND old = AllocateHWnd(TWndMethod::Of(oldProc));
  ASSERT_TRUE(IsWindow(old));
  EXPECT_EQ(TThreadLoop::OfWindow(old), &TThreadLoop::Current());
  ASSERT_TRUE(PostMessage(old, WM_A, 0, 0));  // queued, then its window goes
  DeallocateHWnd(old);

  // The freed slot is taken again at once; the old handle must not name the new window.
  HWND fresh = AllocateHWnd(TWndMethod::Of(newProc));
  EXPECT_NE(fresh, old);
  EXPECT_FALSE(IsWindow(old));
  EXPECT_FALSE(PostMessage(old, WM_A, 0, 0));
  EXPECT_EQ(SendMessage(old, WM_A, 0, 0), 0);
  EXPECT_EQ(TThreadLoop::OfWindow(old), nullptr);
  DeallocateHWnd(old);  // stale: ignored, the new window lives on
  EXPECT_TRUE(IsWindow(fresh));

  Drain();
  EXPECT_EQ(oldCalls, 0);
  EXPECT_EQ(newCalls, 0);  // the message queued for the old window was dropped
  DeallocateHWnd(fresh);

  EXPECT_FALSE(IsWindow(nullptr));
  EXPECT_FALSE(PostMessage(nullptr, WM_A, 0, 0));
  EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(std::uintptr_t{0x7FFFFFFF00000001})));
}

TEST(Handles, DestroyingAWindowDropsItsQueuedMessages) {
  int calls = 0;
  auto proc = [&](TMessage&) { ++calls; };
  HWND h = AllocateHWnd(TWndMethod::Of(proc));
  for (int i = 0; i < 100; ++i) PostMessage(h, WM_A, 0, 0);
  DeallocateHWnd(h);
  EXPECT_FALSE(TThreadLoop::Current().ProcessMessages());
  EXPECT_EQ(calls, 0);
}

TEST(Handles, WindowsOfAnEndedThreadAreGone) {
  HWND h = nullptr;
  std::thread([&] {
    auto proc = [](TMessage&) {};
    h = AllocateHWnd(TWndMethod::Of(proc));
    PostMessage(h, WM_A, 0, 0);  // never dispatched: the thread ends first
  }).join();
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(PostMessage(h, WM_A, 0, 0));
  EXPECT_EQ(TThreadLoop::OfWindow(h), nullptr);
}

// Many threads post to one window: every message arrives exactly once, and each
// sender's messages arrive in the order it posted them.
TEST(Posting, FromManyThreadsExactlyOnceInOrderPerSender) {
  constexpr int kSenders = 8;
  constexpr int kPerSender = 20000;
  std::vector<LPARAM> next(kSenders, 0);
  int received = 0, outOfOrder = 0;
  auto proc = [&](TMessage& m) {
    auto& expected = next.at(m.WParam);
    if (m.LParam != expected) ++outOfOrder;
    expected = m.LParam + 1;
    ++received;
  };
  HWND h = AllocateHWnd(TWndMethod::Of(proc));
  TThreadLoop& loop = TThreadLoop::Current();

  std::atomic<int> failedPosts{0};
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s)
    senders.emplace_back([&, s] {
      for (int i = 0; i < kPerSender; ++i)
        if (!PostMessage(h, WM_A, static_cast<WPARAM>(s), i)) ++failedPosts;
    });
  while (received < kSenders * kPerSender) loop.HandleMessage(10000);
  for (auto& t : senders) t.join();
  Drain();

  EXPECT_EQ(failedPosts.load(), 0);
  EXPECT_EQ(received, kSenders * kPerSender);
  EXPECT_EQ(outOfOrder, 0);
  for (LPARAM n : next) EXPECT_EQ(n, kPerSender);
  DeallocateHWnd(h);
}

TEST(Posting, LongQueueKeepsOrder) {
  std::vector<LPARAM> got;
  auto proc = [&](TMessage& m) { got.push_back(m.LParam); };
  HWND h = AllocateHWnd(TWndMethod::Of(proc));
  constexpr int kCount = 5000;  // far past the initial capacity: the ring grows while wrapped
  for (int i = 0; i < 10; ++i) PostMessage(h, WM_A, 0, -1);
  TThreadLoop::Current().ProcessMessages();
  got.clear();
  for (int i = 0; i < kCount; ++i) PostMessage(h, WM_A, 0, i);
  Drain();
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kCount));
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(got[i], i);
  DeallocateHWnd(h);
}

}  // namespace
}  // namespace vorlane::Messages
