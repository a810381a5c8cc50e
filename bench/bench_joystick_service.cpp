// The joystick service's costs: one joyGetPosEx and one joyGetDevCapsW on a virtual
// controller (time and heap allocations), the latency from a change made on another
// thread to the dispatch of its message on the window's thread, and how often an
// idle captured controller wakes the window's thread in each mode.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "AllocationCounter.hpp"
#include "HermeticService.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/joystickapi.h"
#include "vorlane/visual/Messages.hpp"

namespace {

using namespace vorlane;
using namespace vorlane::VirtualJoystick;
using Clock = std::chrono::steady_clock;
using vorlane::testing::UseHermeticService;

TDescription FullController() {
  TDescription d;
  for (int a = 0; a < AxisCount; ++a) d.WithAxis(static_cast<TAxis>(a), -32768, 32767, 0);
  d.ButtonCount = 16;
  d.Hat = THatKind::Continuous;
  return d;
}

void BM_JoyGetPosEx(benchmark::State& state) {
  UseHermeticService();
  TVirtualController pad(FullController());
  JOYINFOEX info{};
  info.dwSize = sizeof info;
  const UINT id = pad.GetNumber();
  joyGetPosEx(id, &info);
  const std::uint64_t before = bench::AllocationCount();
  for (auto _ : state) {
    info.dwFlags = JOY_RETURNALL | JOY_RETURNPOVCTS;
    benchmark::DoNotOptimize(joyGetPosEx(id, &info));
    benchmark::DoNotOptimize(info);
  }
  state.counters["allocs/op"] = benchmark::Counter(
      static_cast<double>(bench::AllocationCount() - before) / state.iterations());
}
BENCHMARK(BM_JoyGetPosEx);

void BM_JoyGetDevCapsW(benchmark::State& state) {
  UseHermeticService();
  TVirtualController pad(FullController());
  JOYCAPSW caps{};
  const UINT id = pad.GetNumber();
  const std::uint64_t before = bench::AllocationCount();
  for (auto _ : state) {
    benchmark::DoNotOptimize(joyGetDevCapsW(id, &caps, sizeof caps));
    benchmark::DoNotOptimize(caps);
  }
  state.counters["allocs/op"] = benchmark::Counter(
      static_cast<double>(bench::AllocationCount() - before) / state.iterations());
}
BENCHMARK(BM_JoyGetDevCapsW);

// A window that notes when each move arrives.
struct TLatencyWindow {
  std::atomic<std::int64_t>* Sent = nullptr;  // the mover's clock at SetAxis, ns
  std::atomic<bool> Arrived{false};
  std::vector<std::int64_t> Latencies;
  void Receive(Messages::TMessage& message) {
    if (message.Msg != MM_JOY1MOVE) return;
    const std::int64_t now = Clock::now().time_since_epoch().count();
    Latencies.push_back(now - Sent->load(std::memory_order_acquire));
    Arrived.store(true, std::memory_order_release);
  }
};

// One change at a time: the mover waits until the previous move was dispatched,
// so each sample is the path of one change, not a queue.
void BM_ChangeToDispatchLatency(benchmark::State& state) {
  UseHermeticService();
  constexpr int Changes = 10000;
  TVirtualController pad;
  std::atomic<std::int64_t> sent{0};
  TLatencyWindow target;
  target.Sent = &sent;
  target.Latencies.reserve(Changes);
  HWND window =
      Messages::AllocateHWnd(Messages::TWndMethod::Bind<&TLatencyWindow::Receive>(&target));
  auto& loop = Messages::TThreadLoop::Current();
  std::uint64_t allocations = 0;
  for (auto _ : state) {
    target.Latencies.clear();
    joySetCapture(window, pad.GetNumber(), 10, TRUE);
    std::atomic<bool> done{false};
    std::thread mover([&] {
      for (int i = 0; i < Changes; ++i) {
        target.Arrived.store(false, std::memory_order_release);
        sent.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
        pad.SetAxis(TAxis::X, i % 2 == 0 ? 0 : 65535);
        while (!target.Arrived.load(std::memory_order_acquire)) std::this_thread::yield();
      }
      done.store(true);
      loop.Wake();
    });
    // Warm the queue, then count what the steady state allocates.
    while (target.Latencies.size() < 100 && !done.load()) loop.HandleMessage(-1);
    const std::uint64_t before = bench::AllocationCount();
    while (!done.load()) loop.HandleMessage(-1);
    allocations = bench::AllocationCount() - before;
    mover.join();
    joyReleaseCapture(pad.GetNumber());
  }
  Messages::DeallocateHWnd(window);
  std::vector<std::int64_t> sorted = target.Latencies;
  std::sort(sorted.begin(), sorted.end());
  auto at = [&](double q) {
    return static_cast<double>(sorted[static_cast<std::size_t>(q * (sorted.size() - 1))]) / 1000.0;
  };
  state.counters["p50_us"] = at(0.50);
  state.counters["p99_us"] = at(0.99);
  state.counters["max_us"] = at(1.0);
  state.counters["events"] = static_cast<double>(sorted.size());
  state.counters["allocs/event"] = static_cast<double>(allocations) / (sorted.size() - 100);
}
BENCHMARK(BM_ChangeToDispatchLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

long VoluntarySwitches() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw + usage.ru_nivcsw;
}

// The window's thread waits in its loop for one second while a captured controller
// does not move; another thread ends the wait. Wake-ups exclude that last one.
void IdleWakeups(benchmark::State& state, BOOL changed) {
  UseHermeticService();
  TVirtualController pad;
  HWND window = Messages::AllocateHWnd(nullptr);
  auto& loop = Messages::TThreadLoop::Current();
  for (auto _ : state) {
    joySetCapture(window, pad.GetNumber(), 10, changed);
    loop.ProcessMessages();
    std::atomic<bool> stop{false};
    const std::uint64_t wakes = loop.GetWakeCount();
    const long switches = VoluntarySwitches();
    std::thread timer([&] {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      stop.store(true);
      loop.Wake();
    });
    while (!stop.load()) loop.HandleMessage(-1);
    timer.join();
    state.counters["wakeups/s"] = static_cast<double>(loop.GetWakeCount() - wakes - 1);
    state.counters["ctxsw/s"] = static_cast<double>(VoluntarySwitches() - switches);
    joyReleaseCapture(pad.GetNumber());
  }
  Messages::DeallocateHWnd(window);
}

void BM_IdleCaptureWakeupsThreshold(benchmark::State& state) {
  IdleWakeups(state, TRUE);
}
void BM_IdleCaptureWakeupsPolling10ms(benchmark::State& state) {
  IdleWakeups(state, FALSE);
}
BENCHMARK(BM_IdleCaptureWakeupsThreshold)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleCaptureWakeupsPolling10ms)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
