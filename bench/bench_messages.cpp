// Message queue costs: post-to-dispatch on one thread, cross-thread latency into a
// sleeping loop, cross-thread throughput, and heap allocations per message.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "AllocationCounter.hpp"
#include "vorlane/visual/Messages.hpp"

namespace {

using namespace vorlane::Messages;
using TClock = std::chrono::steady_clock;

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now().time_since_epoch())
      .count();
}

// Posts a batch to a window of this thread, then dispatches it in one pass.
void BM_PostThenDispatch(benchmark::State& state) {
  const int batch = static_cast<int>(state.range(0));
  std::int64_t sum = 0;
  auto proc = [&](TMessage& m) { sum += m.LParam; };
  HWND window = AllocateHWnd(TWndMethod::Of(proc));
  TThreadLoop& loop = TThreadLoop::Current();
  for (int i = 0; i < batch; ++i) PostMessage(window, WM_USER, 0, i);  // warm the queue
  loop.ProcessMessages();

  const std::uint64_t allocationsBefore = vorlane::bench::AllocationCount();
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i) PostMessage(window, WM_USER, 0, i);
    loop.ProcessMessages();
  }
  const std::uint64_t allocations = vorlane::bench::AllocationCount() - allocationsBefore;
  benchmark::DoNotOptimize(sum);
  DeallocateHWnd(window);

  const double messages = static_cast<double>(state.iterations()) * batch;
  state.SetItemsProcessed(static_cast<std::int64_t>(messages));
  state.counters["time_per_msg"] =
      benchmark::Counter(messages, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["allocs_per_msg"] = static_cast<double>(allocations) / messages;
}
BENCHMARK(BM_PostThenDispatch)->Arg(1)->Arg(64)->Arg(1024);

// One message at a time from another thread into a loop that is asleep in
// HandleMessage: the time from PostMessage to the handler, wake-up included.
void BM_CrossThreadLatency(benchmark::State& state) {
  std::vector<double> samples;
  samples.reserve(static_cast<std::size_t>(state.max_iterations) + 16);
  std::atomic<bool> received{false};
  auto proc = [&](TMessage& m) {
    samples.push_back(static_cast<double>(NowNs() - m.LParam));
    received.store(true, std::memory_order_release);
  };
  HWND window = AllocateHWnd(TWndMethod::Of(proc));
  TThreadLoop& loop = TThreadLoop::Current();

  std::atomic<std::int64_t> toSend{0};  // messages the poster still has to send
  std::atomic<bool> stop{false};
  std::thread poster([&] {
    while (!stop.load(std::memory_order_acquire)) {
      if (toSend.load(std::memory_order_acquire) == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(20));
        continue;
      }
      // Give the loop time to fall asleep, so that the figure includes its wake-up.
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      toSend.fetch_sub(1, std::memory_order_acq_rel);  // before the post: the loop may ask again
      PostMessage(window, WM_USER, 0, static_cast<LPARAM>(NowNs()));
    }
  });

  // Warm up: queue, poll scratch, the poster's path.
  for (int i = 0; i < 16; ++i) {
    received = false;
    toSend = 1;
    while (!received) loop.HandleMessage(-1);
  }
  samples.clear();
  const std::uint64_t wakesBefore = loop.GetWakeCount();
  const std::uint64_t allocationsBefore = vorlane::bench::AllocationCount();
  for (auto _ : state) {
    received.store(false, std::memory_order_relaxed);
    toSend.store(1, std::memory_order_release);
    while (!received.load(std::memory_order_acquire)) loop.HandleMessage(-1);
  }
  const std::uint64_t allocations = vorlane::bench::AllocationCount() - allocationsBefore;
  const std::uint64_t wakes = loop.GetWakeCount() - wakesBefore;
  stop = true;
  poster.join();
  DeallocateHWnd(window);

  std::sort(samples.begin(), samples.end());
  auto percentile = [&](double p) {
    return samples.empty() ? 0.0 : samples[static_cast<std::size_t>(p * (samples.size() - 1))];
  };
  state.counters["p50_ns"] = percentile(0.50);
  state.counters["p99_ns"] = percentile(0.99);
  state.counters["wakes_per_msg"] = static_cast<double>(wakes) / state.iterations();
  state.counters["allocs_per_msg"] = static_cast<double>(allocations) / state.iterations();
}
BENCHMARK(BM_CrossThreadLatency)->Iterations(2000)->UseRealTime();

// Another thread posts as fast as it can; the loop handles them as they come.
constexpr int kBurst = 10000;

void BM_CrossThreadThroughput(benchmark::State& state) {
  std::int64_t received = 0;
  auto proc = [&](TMessage&) { ++received; };
  HWND window = AllocateHWnd(TWndMethod::Of(proc));
  TThreadLoop& loop = TThreadLoop::Current();
  auto burst = [&] {
    const std::int64_t target = received + kBurst;
    std::thread poster([window] {
      for (int i = 0; i < kBurst; ++i) PostMessage(window, WM_USER, 0, i);
    });
    while (received < target) loop.HandleMessage(-1);
    poster.join();
  };
  burst();  // warm up

  const std::uint64_t wakesBefore = loop.GetWakeCount();
  for (auto _ : state) burst();
  const std::uint64_t wakes = loop.GetWakeCount() - wakesBefore;
  DeallocateHWnd(window);

  const double messages = static_cast<double>(state.iterations()) * kBurst;
  state.SetItemsProcessed(static_cast<std::int64_t>(messages));
  state.counters["time_per_msg"] =
      benchmark::Counter(messages, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["wakes_per_msg"] = static_cast<double>(wakes) / messages;
}
BENCHMARK(BM_CrossThreadThroughput)->UseRealTime();

// An idle loop with no timer: how often does its wait return in 200 ms?
void BM_IdleWakeUps(benchmark::State& state) {
  TThreadLoop& loop = TThreadLoop::Current();
  auto proc = [](TMessage&) {};
  HWND window = AllocateHWnd(TWndMethod::Of(proc));
  std::uint64_t wakes = 0;
  for (auto _ : state) {
    const std::uint64_t before = loop.GetWakeCount();
    loop.HandleMessage(200);
    wakes += loop.GetWakeCount() - before;
  }
  DeallocateHWnd(window);
  state.counters["wakes_per_200ms"] = static_cast<double>(wakes) / state.iterations();
}
BENCHMARK(BM_IdleWakeUps)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
