// The loop helpers the tests and benchmarks share: they must wake for what they
// wait for and must report a condition or a quiet loop that never comes, or every
// test built on them could pass for the wrong reason. Each test runs on a thread
// of its own so that it starts with a fresh loop.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Pump.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::Messages {
namespace {

using namespace std::chrono_literals;
using vorlane::testing::DrainMessages;
using vorlane::testing::PumpUntil;

template <class F>
void OnNewThread(F f) {
  std::thread(f).join();
}

TEST(Pump, UntilWakesForAPostFromAnotherThreadAndGivesUpAtItsLimit) {
  OnNewThread([] {
    int received = 0;
    auto count = [&](TMessage&) { ++received; };
    const HWND window = AllocateHWnd(TWndMethod::Of(count));
    std::thread poster([window] { PostMessage(window, WM_USER, 0, 0); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(PumpUntil([&] { return received == 1; }, 30s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);  // woken, not timed out
    poster.join();

    EXPECT_FALSE(PumpUntil([&] { return received == 2; }, 20ms));
    EXPECT_EQ(received, 1);
    DeallocateHWnd(window);
  });
}

TEST(Pump, DrainCarriesOutWhatPassesPostAndReportsALoopThatNeverGoesQuiet) {
  OnNewThread([] {
    // Each message posts the next one, three times: a single pass would leave the
    // rest queued.
    int received = 0;
    HWND window = nullptr;
    auto chain = [&](TMessage& m) {
      ++received;
      if (m.WParam > 0) PostMessage(window, WM_USER, m.WParam - 1, 0);
    };
    window = AllocateHWnd(TWndMethod::Of(chain));
    PostMessage(window, WM_USER, 3, 0);
    EXPECT_TRUE(DrainMessages());
    EXPECT_EQ(received, 4);

    HWND restless = nullptr;
    auto forever = [&](TMessage&) { PostMessage(restless, WM_USER, 0, 0); };
    restless = AllocateHWnd(TWndMethod::Of(forever));
    PostMessage(restless, WM_USER, 0, 0);
    EXPECT_FALSE(DrainMessages(50));
    DeallocateHWnd(restless);
    DeallocateHWnd(window);
  });
}

}  // namespace
}  // namespace vorlane::Messages
