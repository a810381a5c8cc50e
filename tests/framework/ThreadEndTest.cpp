// The system seam's thread-end hooks, the same on every system: they run on the
// ending thread, newest first, while its thread-local variables are still there.
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/os/Os.hpp"

namespace vorlane::OsTest {
namespace {

thread_local int t_value = 0;

struct TRecord {
  std::vector<int> Order;
  std::vector<int> SeenValues;
  std::vector<std::thread::id> Threads;
};

struct THookArg {
  TRecord* Record;
  int Number;
};

void Note(void* context) noexcept {
  auto* arg = static_cast<THookArg*>(context);
  arg->Record->Order.push_back(arg->Number);
  arg->Record->SeenValues.push_back(t_value);
  arg->Record->Threads.push_back(std::this_thread::get_id());
}

TEST(OsThreadEnd, HooksRunOnTheEndingThreadNewestFirstAndSeeItsVariables) {
  TRecord record;
  THookArg first{&record, 1}, second{&record, 2};
  std::thread::id worker;
  std::thread thread([&] {
    worker = std::this_thread::get_id();
    t_value = 42;
    Os::AtThreadEnd(&Note, &first);
    Os::AtThreadEnd(&Note, &second);
    EXPECT_TRUE(record.Order.empty()) << "a hook ran before its thread ended";
  });
  thread.join();
  EXPECT_EQ(record.Order, (std::vector<int>{2, 1}));
  EXPECT_EQ(record.SeenValues, (std::vector<int>{42, 42}));
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
