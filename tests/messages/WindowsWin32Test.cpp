// On Windows the framework's windows are the system's: message-only windows of
// the thread that made them, which the system's own posting, sending and timers
// reach, dispatched by the loop's passes and waits.
#include "vorlane/visual/Messages.hpp"
// After the framework's header, whose names the system's macros would shadow.
#include <windows.h>
// The system's names for its own functions; the framework's are meant below.
#undef PostMessage
#undef SendMessage

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "LoopSupport.hpp"

namespace {

bool IsMessageOnlyWindow(::HWND window) {
  for (::HWND w = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w != nullptr;
       w = ::FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr))
    if (w == window) return true;
  return false;
}

}  // namespace

namespace vorlane::Messages {
namespace {

using namespace LoopTesting;

constexpr UINT kFirst = 0x0400 + 1;  // WM_USER + 1
constexpr UINT kSecond = 0x0400 + 2;
constexpr UINT kAsk = 0x0400 + 3;

::HWND System(HWND window) {
  return reinterpret_cast<::HWND>(window);
}

// A window of this thread that records the framework-range messages and timers it
// gets, and answers kAsk with 42.
struct TRecorder {
  std::vector<std::pair<UINT, LPARAM>> Got;
  HWND Handle = AllocateHWnd(TWndMethod::Bind<&TRecorder::Receive>(this));
  ~TRecorder() { DeallocateHWnd(Handle); }
  void Receive(TMessage& m) {
    if (m.Msg == kAsk) m.Result = 42;
    if (m.Msg >= 0x0400 || m.Msg == WM_TIMER) Got.emplace_back(m.Msg, m.LParam);
  }
  bool Has(UINT msg) const {
    for (const auto& [number, lParam] : Got)
      if (number == msg) return true;
    return false;
  }
};

TEST(SystemWindows, AWindowIsAMessageOnlyWindowOfItsThreadUntilDeallocated) {
  OnNewThread([] {
    HWND handle;
    {
      TRecorder r;
      handle = r.Handle;
      ASSERT_TRUE(::IsWindow(System(handle)));
      EXPECT_EQ(::GetWindowThreadProcessId(System(handle), nullptr), ::GetCurrentThreadId());
      EXPECT_TRUE(IsMessageOnlyWindow(System(handle)));
      EXPECT_FALSE(::IsWindowVisible(System(handle)));
    }
    EXPECT_FALSE(::IsWindow(System(handle)));
    EXPECT_FALSE(IsWindow(handle));
  });
}

TEST(SystemWindows, PostMessageWFromAnotherThreadReachesTheMethod) {
  OnNewThread([] {
    TRecorder r;
    std::thread([&] { EXPECT_TRUE(::PostMessageW(System(r.Handle), kFirst, 0, 7)); }).join();
    ASSERT_TRUE(PumpUntil([&] { return r.Has(kFirst); }, kLimit));
    EXPECT_EQ(r.Got.front().second, 7);
  });
}

TEST(SystemWindows, SendMessageWFromAnotherThreadIsAnsweredWhileTheLoopWaits) {
  OnNewThread([] {
    TRecorder r;
    std::atomic<LRESULT> answer{0};
    std::thread sender([&] { answer = ::SendMessageW(System(r.Handle), kAsk, 0, 0); });
    // The loop waits with no timer: only the sent message can end the wait.
    TThreadLoop& loop = TThreadLoop::Current();
    const auto start = std::chrono::steady_clock::now();
    // (The method's record, not the answer: the sender stores that only once it runs again.)
    while (!r.Has(kAsk) && std::chrono::steady_clock::now() - start < kLimit)
      loop.HandleMessage(20000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kLimit);
    sender.join();
    EXPECT_EQ(answer.load(), 42);
  });
}

TEST(SystemWindows, ASystemTimerOfTheWindowFiresWhileTheLoopWaits) {
  OnNewThread([] {
    TRecorder r;
    ASSERT_NE(::SetTimer(System(r.Handle), 1, 10, nullptr), 0u);
    ASSERT_TRUE(PumpUntil([&] { return r.Has(WM_TIMER); }, kLimit));
    EXPECT_TRUE(::KillTimer(System(r.Handle), 1));
  });
}

TEST(SystemWindows, PlainAndTaggedPostsArriveInTheOrderTheyWerePosted) {
  OnNewThread([] {
    TRecorder r;
    const TMessageTag tag = NewMessageTag();
    PostMessage(r.Handle, kFirst, 0, 1);
    PostTaggedMessage(r.Handle, kSecond, 0, 2, tag, TPostKind::Keep);
    ::PostMessageW(System(r.Handle), kFirst, 0, 3);
    PostTaggedMessage(r.Handle, kSecond, 0, 4, tag, TPostKind::Keep);
    PostMessage(r.Handle, kFirst, 0, 5);
    TThreadLoop::Current().ProcessMessages();
    EXPECT_EQ(r.Got, (std::vector<std::pair<UINT, LPARAM>>{
                         {kFirst, 1}, {kSecond, 2}, {kFirst, 3}, {kSecond, 4}, {kFirst, 5}}));
  });
}

TEST(SystemWindows, DeallocatedFromAnotherThreadTheWindowGoesAtItsThreadsNextPass) {
  OnNewThread([] {
    auto proc = [](TMessage&) {};
    HWND handle = AllocateHWnd(TWndMethod::Of(proc));
    std::thread([&] { DeallocateHWnd(handle); }).join();
    // The framework forgets it at once; only its own thread may destroy it.
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_FALSE(PostMessage(handle, kFirst, 0, 0));
    TThreadLoop::Current().ProcessMessages();
    EXPECT_FALSE(::IsWindow(System(handle)));
  });
}

}  // namespace
}  // namespace vorlane::Messages
