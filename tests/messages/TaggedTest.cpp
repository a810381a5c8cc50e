// Tagged posting (dropping a stream's messages, replacing moves, a full queue that
// never allocates), the queue giving memory back, and loops kept past their
// thread's end by a reference. Each test runs on a thread of its own so that it
// starts with a fresh loop.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "vorlane/visual/Messages.hpp"

namespace vorlane::Messages {
namespace {

template <class F>
void OnNewThread(F f) {
  std::thread(f).join();
}

constexpr UINT Move = WM_USER + 1;
constexpr UINT Button = WM_USER + 2;
constexpr UINT ZMove = WM_USER + 3;

// A window of this thread that records what it gets as (number, LParam).
struct TWindow {
  std::vector<std::pair<UINT, LPARAM>> Got;
  HWND Handle = AllocateHWnd(TWndMethod::Bind<&TWindow::Receive>(this));
  ~TWindow() { DeallocateHWnd(Handle); }
  void Receive(TMessage& m) { Got.emplace_back(m.Msg, m.LParam); }
  TPostResult Post(UINT msg, LPARAM l, TMessageTag tag, TPostKind kind) {
    return PostTaggedMessage(Handle, msg, 0, l, tag, kind);
  }
};

using TGot = std::vector<std::pair<UINT, LPARAM>>;

TEST(Tagged, DiscardDropsOnlyTheMessagesOfItsTag) {
  OnNewThread([] {
    TWindow w;
    const TMessageTag a = NewMessageTag(), b = NewMessageTag();
    ASSERT_NE(a, b);
    w.Post(Button, 1, a, TPostKind::Keep);
    w.Post(Button, 2, b, TPostKind::Keep);
    PostMessage(w.Handle, Button, 0, 3);
    w.Post(Move, 4, a, TPostKind::Replace);
    TThreadLoop::Current().DiscardTagged(a);
    w.Post(Move, 5, a, TPostKind::Replace);  // posted after the discard: delivered
    TThreadLoop::Current().ProcessMessages();
    EXPECT_EQ(w.Got, (TGot{{Button, 2}, {Button, 3}, {Move, 5}}));
  });
}

TEST(Tagged, ReplacingPostsKeepOneMessagePerTagAndNumber) {
  OnNewThread([] {
    TWindow w;
    const TMessageTag a = NewMessageTag(), b = NewMessageTag();
    for (LPARAM i = 0; i < 1000; ++i) {
      ASSERT_EQ(w.Post(Move, i, a, TPostKind::Replace), TPostResult::Posted);
      w.Post(ZMove, 10000 + i, a, TPostKind::Replace);
      w.Post(Move, 20000 + i, b, TPostKind::Replace);
    }
    EXPECT_EQ(TThreadLoop::Current().GetQueueLength(), 3u);
    TThreadLoop::Current().ProcessMessages();
    EXPECT_EQ(w.Got, (TGot{{Move, 999}, {ZMove, 10999}, {Move, 20999}}));
  });
}

TEST(Tagged, AMoveAfterAKeptMessageGoesBehindIt) {
  OnNewThread([] {
    TWindow w;
    const TMessageTag a = NewMessageTag();
    w.Post(Move, 1, a, TPostKind::Replace);
    w.Post(Button, 2, a, TPostKind::Keep);
    w.Post(Move, 3, a, TPostKind::Replace);  // the older move is dropped
    w.Post(Move, 4, a, TPostKind::Replace);  // replaces 3 in place
    w.Post(Button, 5, a, TPostKind::Keep);
    TThreadLoop::Current().ProcessMessages();
    EXPECT_EQ(w.Got, (TGot{{Button, 2}, {Move, 4}, {Button, 5}}));
  });
}

TEST(Tagged, AFullQueueRefusesUntilRoomIsReserved) {
  OnNewThread([] {
    TWindow w;
    TThreadLoop& loop = TThreadLoop::Current();
    const TMessageTag a = NewMessageTag();
    const std::size_t capacity = loop.GetQueueCapacity();
    for (std::size_t i = 0; i < capacity; ++i)
      ASSERT_EQ(w.Post(Button, static_cast<LPARAM>(i), a, TPostKind::Keep), TPostResult::Posted);
    EXPECT_EQ(w.Post(Button, -1, a, TPostKind::Keep), TPostResult::QueueFull);
    EXPECT_EQ(w.Post(Move, -1, a, TPostKind::Replace), TPostResult::QueueFull);
    EXPECT_EQ(loop.GetQueueCapacity(), capacity);
    loop.Reserve(10);
    EXPECT_GE(loop.GetQueueCapacity(), capacity + 10);
    EXPECT_EQ(w.Post(Button, -2, a, TPostKind::Keep), TPostResult::Posted);
    loop.ProcessMessages();
    ASSERT_EQ(w.Got.size(), capacity + 1);
    for (std::size_t i = 0; i < capacity; ++i) EXPECT_EQ(w.Got[i].second, LPARAM(i));
    EXPECT_EQ(w.Got.back().second, -2);
    EXPECT_EQ(w.Post(Button, 0, a, TPostKind::Keep), TPostResult::Posted);
    DeallocateHWnd(w.Handle);
    EXPECT_EQ(w.Post(Button, 0, a, TPostKind::Keep), TPostResult::NoWindow);
  });
}

// Tagged messages wait in the loop's own queue on every system (plain posts do
// too, except on Windows, where they are the system's).
TEST(Tagged, TheQueueGivesBackWhatABacklogTook) {
  OnNewThread([] {
    TWindow w;
    TThreadLoop& loop = TThreadLoop::Current();
    const TMessageTag a = NewMessageTag();
    const std::size_t initial = loop.GetQueueCapacity();
    // Below the 10,000 posted messages a Windows thread's queue holds by default.
    constexpr int kBacklog = 8000;
    loop.Reserve(kBacklog);
    for (int i = 0; i < kBacklog; ++i)
      ASSERT_EQ(w.Post(Button, i, a, TPostKind::Keep), TPostResult::Posted) << i;
    EXPECT_GE(loop.GetQueueCapacity(), std::size_t{kBacklog});
    loop.ProcessMessages();
    ASSERT_EQ(w.Got.size(), std::size_t{kBacklog});
    EXPECT_EQ(w.Got.back().second, kBacklog - 1);
    EXPECT_EQ(loop.GetQueueCapacity(), initial);
    // A modest batch keeps its storage: a warm queue does not allocate again.
    loop.Reserve(1000);
    const std::size_t warm = loop.GetQueueCapacity();
    for (int i = 0; i < 1000; ++i) w.Post(Button, i, a, TPostKind::Keep);
    loop.ProcessMessages();
    EXPECT_EQ(loop.GetQueueCapacity(), warm);
  });
}

#ifndef _WIN32
TEST(Tagged, PlainPostsGrowTheQueueAndAPassGivesItBack) {
  OnNewThread([] {
    TWindow w;
    TThreadLoop& loop = TThreadLoop::Current();
    const std::size_t initial = loop.GetQueueCapacity();
    for (int i = 0; i < 100000; ++i) PostMessage(w.Handle, Button, 0, i);
    EXPECT_GE(loop.GetQueueCapacity(), 100000u);
    loop.ProcessMessages();
    EXPECT_EQ(w.Got.size(), 100000u);
    EXPECT_EQ(loop.GetQueueCapacity(), initial);
  });
}
#endif

void Nothing() {}

TEST(LoopRef, AReferenceOutlivesTheThreadAndFindsAnInertLoop) {
  TLoopRef ref;
  HWND window = nullptr;
  OnNewThread([&] {
    window = AllocateHWnd({});
    ref = TThreadLoop::PinOfWindow(window);
    ASSERT_EQ(ref.Get(), &TThreadLoop::Current());
  });
  ASSERT_TRUE(ref);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(TThreadLoop::PinOfWindow(window));
  // Everything that another thread may do to a loop is harmless now.
  EXPECT_EQ(ref->AddTimer(1, &Nothing), 0u);
  EXPECT_EQ(ref->AddWatch(4, &Nothing), 0u);  // 4: a descriptor, or a handle's value
  ref->RemoveTimer(1);
  ref->Wake();
  ref->DiscardTagged(NewMessageTag());
  ref->Reserve(100);
  EXPECT_EQ(ref->GetQueueLength(), 0u);
  TLoopRef copy = ref;
  ref.Reset();
  EXPECT_EQ(copy->AddTimer(1, &Nothing), 0u);
}

}  // namespace
}  // namespace vorlane::Messages
