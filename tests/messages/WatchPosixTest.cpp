// Watched descriptors on POSIX: pipes made readable, removed and closed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "Pump.hpp"
#include "vorlane/visual/Messages.hpp"

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

TEST(Watches, PipeBecomesReadable) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::vector<char> got;
    auto readable = [&] {
      char buffer[16];
      const ssize_t n = read(fds[0], buffer, sizeof buffer);
      if (n > 0) got.insert(got.end(), buffer, buffer + n);
    };
    const TThreadLoop::TId id = loop.AddWatch(fds[0], TTick::Of(readable));
    EXPECT_FALSE(loop.ProcessMessages());

    std::thread writer([&] {
      std::this_thread::sleep_for(20ms);
      ASSERT_EQ(write(fds[1], "xy", 2), 2);
    });
    EXPECT_TRUE(PumpUntil([&] { return got.size() == 2; }, kLimit));
    writer.join();
    EXPECT_EQ(got, (std::vector<char>{'x', 'y'}));

    loop.RemoveWatch(id);
    ASSERT_EQ(write(fds[1], "z", 1), 1);
    EXPECT_FALSE(loop.HandleMessage(20));  // removed: readable or not, no callback
    EXPECT_EQ(got.size(), 2u);
    close(fds[0]);
    close(fds[1]);
  });
}

TEST(Watches, RemovedInsideItsOwnCallback) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "a", 1), 1);
    int calls = 0;
    TThreadLoop::TId id = 0;
    auto readable = [&] {
      ++calls;
      loop.RemoveWatch(id);  // does not read: the pipe stays readable
    };
    id = loop.AddWatch(fds[0], TTick::Of(readable));
    EXPECT_TRUE(loop.HandleMessage(1000));
    EXPECT_FALSE(loop.HandleMessage(20));
    EXPECT_EQ(calls, 1);
    close(fds[0]);
    close(fds[1]);
  });
}

TEST(Watches, DescriptorClosedWithoutRemoveIsDropped) {
  OnNewThread([] {
    TThreadLoop& loop = TThreadLoop::Current();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int calls = 0;
    auto readable = [&] { ++calls; };
    loop.AddWatch(fds[0], TTick::Of(readable));
    close(fds[0]);
    close(fds[1]);
    for (int i = 0; i < 3; ++i) loop.ProcessMessages();
    const std::uint64_t before = loop.GetWakeCount();
    EXPECT_FALSE(loop.HandleMessage(30));  // sleeps: nothing left to spin on
    EXPECT_EQ(loop.GetWakeCount(), before + 1);
    EXPECT_EQ(calls, 0);
  });
}

}  // namespace
}  // namespace vorlane::Messages
