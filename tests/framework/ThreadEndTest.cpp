// The system seam's thread-end hooks, the same on every system: they run on the
// ending thread, newest first. (Which thread-locals a hook still sees differs: on
// Windows the module that made the thread may have torn its own down already.)
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/os/Os.hpp"

namespace vorlane::OsTest {
namespace {

struct TRecord {
  std::vector<int> Order;
  std::vector<std::thread::id> Threads;
};

struct THookArg {
  TRecord* Record;
  int Number;
};

void Note(void* context) noexcept {
  auto* arg = static_cast<THookArg*>(context);
  arg->Record->Order.push_back(arg->Number);
  arg->Record->Threads.push_back(std::this_thread::get_id());
}

TEST(OsThreadEnd, HooksRunOnTheEndingThreadNewestFirst) {
  TRecord record;
  THookArg first{&record, 1}, second{&record, 2};
  std::thread::id worker;
  std::thread thread([&] {
    worker = std::this_thread::get_id();
    Os::AtThreadEnd(&Note, &first);
    Os::AtThreadEnd(&Note, &second);
    EXPECT_TRUE(record.Order.empty()) << "a hook ran before its thread ended";
  });
  thread.join();
  EXPECT_EQ(record.Order, (std::vector<int>{2, 1}));
  EXPECT_EQ(record.Threads, (std::vector<std::thread::id>{worker, worker}));
}

TEST(OsThreadEnd, EachThreadRunsOnlyItsOwnHooks) {
  TRecord a, b;
  THookArg onA{&a, 1}, onB{&b, 2};
  std::thread first([&] { Os::AtThreadEnd(&Note, &onA); });
  first.join();
  std::thread second([&] { Os::AtThreadEnd(&Note, &onB); });
  second.join();
  EXPECT_EQ(a.Order, (std::vector<int>{1}));
  EXPECT_EQ(b.Order, (std::vector<int>{2}));
}

}  // namespace
}  // namespace vorlane::OsTest
