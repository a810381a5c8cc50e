// Watched handles on Windows: events signalled from another thread, reset by their
// callback, removed, and closed behind the loop's back.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Pump.hpp"
#include "vorlane/visual/Messages.hpp"

// After the framework's headers: its WM_USER is a constant, the system's a macro.
#include <windows.h>

namespace vorlane::Messages {
namespace {

using namespace std::chrono_literals;
using TTick = Closure::TClosure<void()>;
using vorlane::testing::PumpUntil;

template <class F>
void OnNewThread(F f) {
  std::thread(f).join();
}

constexpr std::chrono::milliseconds kLimit = 10s;

TWatchSource SourceOf(HANDLE h) {
  return reinterpret_cast<TWatchSource>(h);
}

TEST(Watches, EventSignalledFromAnotherThread) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    int calls = 0;
    auto ready = [&] {
      ++calls;
      ::ResetEvent(event);  // level-triggered: the callback takes the signal
    };
    const TThreadLoop::TId id = loop.AddWatch(SourceOf(event), TTick::Of(ready));
    EXPECT_FALSE(loop.ProcessMessages());

    std::thread setter([&] { ::SetEvent(event); });
    EXPECT_TRUE(PumpUntil([&] { return calls == 1; }, kLimit));
    setter.join();
    EXPECT_FALSE(loop.HandleMessage(20));  // reset: no second call
    EXPECT_EQ(calls, 1);

    loop.RemoveWatch(id);
    ::SetEvent(event);
    EXPECT_FALSE(loop.HandleMessage(20));  // removed: signalled or not, no callback
    EXPECT_EQ(calls, 1);
    ::CloseHandle(event);
  });
}

TEST(Watches, AutoResetEventsAndSeveralReadyAtOnce) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    HANDLE a = ::CreateEventW(nullptr, FALSE, TRUE, nullptr);  // auto-reset, signalled
    HANDLE b = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);   // manual, signalled
    int callsA = 0;
    int callsB = 0;
    auto onA = [&] { ++callsA; };
    auto onB = [&] {
      ++callsB;
      ::ResetEvent(b);
    };
    loop.AddWatch(SourceOf(a), TTick::Of(onA));
    loop.AddWatch(SourceOf(b), TTick::Of(onB));
    EXPECT_TRUE(loop.HandleMessage(1000));
    EXPECT_EQ(callsA, 1);  // both reported in one pass
    EXPECT_EQ(callsB, 1);
    EXPECT_FALSE(loop.HandleMessage(20));  // the wait took a's signal
    EXPECT_EQ(callsA, 1);
    ::CloseHandle(a);
    ::CloseHandle(b);
  });
}

TEST(Watches, HandleClosedWithoutRemoveIsDropped) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    int calls = 0;
    auto ready = [&] { ++calls; };
    loop.AddWatch(SourceOf(event), TTick::Of(ready));
    ::CloseHandle(event);
    for (int i = 0; i < 3; ++i) loop.ProcessMessages();
    const std::uint64_t before = loop.GetWakeCount();
    EXPECT_FALSE(loop.HandleMessage(30));  // sleeps: nothing left to spin on
    EXPECT_EQ(loop.GetWakeCount(), before + 1);
    EXPECT_EQ(calls, 0);
  });
}

TEST(Watches, NullAndInvalidHandlesAreRefused) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    auto nothing = [] {};
    EXPECT_THROW(loop.AddWatch(SourceOf(nullptr), TTick::Of(nothing)), EMessageError);
    EXPECT_THROW(loop.AddWatch(SourceOf(INVALID_HANDLE_VALUE), TTick::Of(nothing)), EMessageError);
  });
}

}  // namespace
}  // namespace vorlane::Messages
