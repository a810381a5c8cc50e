// The per-thread loop: passes, waking, timers and watched descriptors. Each test
// runs on a thread of its own so that it starts with a fresh loop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "LoopSupport.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::Messages {
namespace {

using namespace LoopTesting;
using TClock = std::chrono::steady_clock;

TEST(Loop, IdleWaitWakesOnceAtItsTimeout) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    auto proc = [](TMessage&) {};
    HWND h = AllocateHWnd(TWndMethod::Of(proc));  // a window, but nothing posted
    const std::uint64_t before = loop.GetWakeCount();
    const auto start = TClock::now();
    EXPECT_FALSE(loop.HandleMessage(200));
    EXPECT_GE(TClock::now() - start, 200ms);
    EXPECT_EQ(loop.GetWakeCount(), before + 1);
    DeallocateHWnd(h);
  });
}

TEST(Loop, WokenFromAnotherThread) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    int calls = 0;
    auto proc = [&](TMessage&) { ++calls; };
    HWND h = AllocateHWnd(TWndMethod::Of(proc));

    std::thread poster([h] {
      std::this_thread::sleep_for(20ms);
      PostMessage(h, WM_USER, 0, 0);
    });
    const auto start = TClock::now();
    EXPECT_TRUE(loop.HandleMessage(30000));  // returns for the message, not the timeout
    EXPECT_LT(TClock::now() - start, 10s);
    EXPECT_EQ(calls, 1);
    poster.join();

    // Wake without a message: the wait returns, nothing is done.
    const std::uint64_t before = loop.GetWakeCount();
    std::thread waker([&loop] {
      std::this_thread::sleep_for(20ms);
      loop.Wake();
    });
    EXPECT_FALSE(loop.HandleMessage(30000));
    EXPECT_EQ(loop.GetWakeCount(), before + 1);
    waker.join();
    DeallocateHWnd(h);
  });
}

TEST(Loop, QueuedWorkSkipsTheWait) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    int calls = 0;
    auto proc = [&](TMessage&) { ++calls; };
    HWND h = AllocateHWnd(TWndMethod::Of(proc));
    PostMessage(h, WM_USER, 0, 0);
    EXPECT_TRUE(loop.HandleMessage(-1));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(loop.GetWakeCount(), 0u);
    DeallocateHWnd(h);
  });
}

TEST(Loop, MessagesPostedDuringAPassWaitForTheNext) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    HWND h = nullptr;
    int calls = 0;
    auto proc = [&](TMessage&) {
      ++calls;
      PostMessage(h, WM_USER, 0, 0);  // posts itself again, for ever
    };
    h = AllocateHWnd(TWndMethod::Of(proc));
    int ticks = 0;
    auto tick = [&] { ++ticks; };
    loop.AddTimer(1, TTick::Of(tick));
    PostMessage(h, WM_USER, 0, 0);
    EXPECT_TRUE(loop.ProcessMessages());
    EXPECT_EQ(calls, 1);
    // The self-posting window does not starve the timer.
    EXPECT_TRUE(PumpUntil([&] { return ticks > 0; }, kLimit));
    DeallocateHWnd(h);
  });
}

TEST(Loop, HandlerExceptionLeavesTheRestQueued) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    std::vector<LPARAM> got;
    auto proc = [&](TMessage& m) {
      got.push_back(m.LParam);
      if (m.LParam == 0) throw std::runtime_error("handler failed");
    };
    HWND h = AllocateHWnd(TWndMethod::Of(proc));
    for (int i = 0; i < 3; ++i) PostMessage(h, WM_USER, 0, i);
    EXPECT_THROW(loop.ProcessMessages(), std::runtime_error);
    EXPECT_TRUE(loop.ProcessMessages());
    EXPECT_EQ(got, (std::vector<LPARAM>{0, 1, 2}));
    DeallocateHWnd(h);
  });
}

TEST(Loop, OwnerThreadOnly) {
  TThreadLoop& loop = TThreadLoop::Current();
  OnNewThread([&loop] {
    EXPECT_THROW(loop.ProcessMessages(), EMessageError);
    EXPECT_THROW(loop.HandleMessage(0), EMessageError);
  });
  EXPECT_THROW(loop.AddWatch(-1, TTick([] {})), EMessageError);
  EXPECT_THROW(loop.AddTimer(10, TTick()), EMessageError);
}

TEST(Loop, EveryEndingThreadEndsItsLoop) {
  // One thread after another, as a program's workers come and go: each loop ends
  // with its thread, not only the first.
  for (int round = 0; round < 4; ++round) {
    TLoopRef ref;
    HWND window = nullptr;
    OnNewThread([&] {
      window = AllocateHWnd({});
      ref = TThreadLoop::PinOfWindow(window);
      int ticks = 0;
      auto tick = [&] { ++ticks; };
      TThreadLoop::Current().AddTimer(2, TTick::Of(tick));
      // The loop has waited and run its timer before the thread ends.
      ASSERT_TRUE(PumpUntil([&] { return ticks > 0; }, kLimit));
    });
    ASSERT_TRUE(ref) << "round " << round;
    EXPECT_FALSE(IsWindow(window)) << "round " << round;
    EXPECT_EQ(ref->AddTimer(1, TTick([] {})), 0u) << "round " << round;
  }
}

TEST(Timers, FireEveryPeriodFromNowOn) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    std::vector<TClock::time_point> fired;
    auto tick = [&] { fired.push_back(TClock::now()); };
    const auto start = TClock::now();
    const TThreadLoop::TId id = loop.AddTimer(20, TTick::Of(tick));
    ASSERT_TRUE(PumpUntil([&] { return fired.size() >= 4; }, kLimit));
    loop.RemoveTimer(id);
    // Never early: the k-th firing comes k periods after AddTimer at the soonest.
    for (std::size_t k = 0; k < fired.size(); ++k)
      EXPECT_GE(fired[k] - start, 20ms * static_cast<int>(k + 1)) << "firing " << k;
    // Each firing follows a wait of its own: no bursts.
    EXPECT_LE(fired.size(), loop.GetWakeCount());
  });
}

TEST(Timers, LateLoopFiresOnceAndSkipsMissedPeriods) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    int ticks = 0;
    auto tick = [&] { ++ticks; };
    loop.AddTimer(10, TTick::Of(tick));
    std::this_thread::sleep_for(65ms);  // six periods missed
    EXPECT_TRUE(loop.ProcessMessages());
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(loop.ProcessMessages());  // the next deadline is a period from now
    EXPECT_EQ(ticks, 1);
  });
}

TEST(Timers, RemovedInsideItsOwnCallback) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    int ticks = 0;
    TThreadLoop::TId id = 0;
    auto tick = [&] {
      ++ticks;
      loop.RemoveTimer(id);
    };
    id = loop.AddTimer(1, TTick::Of(tick));
    ASSERT_TRUE(PumpUntil([&] { return ticks > 0; }, kLimit));
    std::this_thread::sleep_for(10ms);
    loop.HandleMessage(20);
    EXPECT_EQ(ticks, 1);
  });
}

TEST(Timers, NotCalledAfterRemoveEvenWhenAlreadyDue) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    int first = 0, second = 0;
    TThreadLoop::TId secondId = 0;
    auto a = [&] {
      ++first;
      loop.RemoveTimer(secondId);
    };
    auto b = [&] { ++second; };
    loop.AddTimer(5, TTick::Of(a));
    secondId = loop.AddTimer(5, TTick::Of(b));
    std::this_thread::sleep_for(20ms);  // both due in the same pass
    loop.ProcessMessages();
    std::this_thread::sleep_for(20ms);
    loop.ProcessMessages();
    EXPECT_GE(first, 1);
    EXPECT_EQ(second, 0);
  });
}

TEST(Timers, AddedFromAnotherThreadWakesTheLoop) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    std::atomic<int> ticks{0};
    auto tick = [&] { ++ticks; };
    std::thread adder([&] {
      std::this_thread::sleep_for(20ms);
      loop.AddTimer(1, TTick::Of(tick));
    });
    // The loop sleeps with no deadline; the new timer must make it recompute its wait.
    const auto start = TClock::now();
    while (ticks == 0 && TClock::now() - start < 10s) loop.HandleMessage(30000);
    EXPECT_LT(TClock::now() - start, 10s);
    EXPECT_GE(ticks.load(), 1);
    adder.join();
  });
}

}  // namespace
}  // namespace vorlane::Messages
