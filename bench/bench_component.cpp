// TJoystick's costs: a live query next to the bare service call it makes, the
// delivery of one posted joystick message to its handler, and the latency from a
// virtual controller's change on another thread to the handler.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "AllocationCounter.hpp"
#include "HermeticService.hpp"
#include "vorlane/Joystick.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/visual/Messages.hpp"

namespace {

using namespace vorlane;
using Joystick::TButtons;
using Joystick::TJoystick;
using System::Integer;
using System::TObject;
using vorlane::testing::UseHermeticService;

// Reports heap allocations per iteration of the timed loop.
class TAllocationMeter {
 public:
  explicit TAllocationMeter(benchmark::State& state)
      : FState(state), FStart(bench::AllocationCount()) {}
  ~TAllocationMeter() {
    FState.counters["allocs_per_op"] = benchmark::Counter(
        static_cast<double>(bench::AllocationCount() - FStart) /
        static_cast<double>(std::max<benchmark::IterationCount>(FState.iterations(), 1)));
  }

 private:
  benchmark::State& FState;
  std::uint64_t FStart;
};

void BM_BareJoyGetPosEx(benchmark::State& state) {
  UseHermeticService();
  VirtualJoystick::TVirtualController pad;
  JOYINFOEX info{};
  TAllocationMeter meter(state);
  for (auto _ : state) {
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNX;
    benchmark::DoNotOptimize(joyGetPosEx(0, &info));
  }
}
BENCHMARK(BM_BareJoyGetPosEx);

void BM_PositionX(benchmark::State& state) {
  UseHermeticService();
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  TAllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(joystick.GetPositionX());
}
BENCHMARK(BM_PositionX);

void BM_BareJoyGetDevCaps(benchmark::State& state) {
  UseHermeticService();
  VirtualJoystick::TVirtualController pad;
  JOYCAPSW caps{};
  TAllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(joyGetDevCapsW(0, &caps, sizeof caps));
}
BENCHMARK(BM_BareJoyGetDevCaps);

void BM_CapabilitiesMaxX(benchmark::State& state) {
  UseHermeticService();
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  TAllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(joystick.GetCapabilities()->GetMaxX());
}
BENCHMARK(BM_CapabilitiesMaxX);

void BM_ControllerName(benchmark::State& state) {
  UseHermeticService();
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  TAllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(joystick.GetControllerName(0));
}
BENCHMARK(BM_ControllerName);

struct TCounter {
  std::atomic<std::uint64_t> Events{0};
  void Move(TObject*, TButtons, Integer, Integer) {
    Events.fetch_add(1, std::memory_order_relaxed);
  }
};

// One joystick message posted to the capture window and dispatched to OnMove.
void BM_PostedMoveToHandler(benchmark::State& state) {
  UseHermeticService();
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  TCounter counter;
  joystick.SetOnMove(Joystick::TMoveEvent::Bind<&TCounter::Move>(&counter));
  joystick.SetActive(true);
  const HWND window = joystick.GetJoystickForm()->GetHandle();
  auto& loop = Messages::TThreadLoop::Current();
  for (int i = 0; i < 1000; ++i) Messages::PostMessage(window, MM_JOY1MOVE, 1, 0x00020001);
  loop.ProcessMessages();  // warm the queue
  TAllocationMeter meter(state);
  for (auto _ : state) {
    Messages::PostMessage(window, MM_JOY1MOVE, 1, 0x00020001);
    loop.ProcessMessages();
  }
  state.counters["events"] = static_cast<double>(counter.Events.load());
}
BENCHMARK(BM_PostedMoveToHandler);

// A virtual controller's axis set on another thread, OnMove on this one, in
// threshold mode; p50 and p99 of the latency in microseconds.
void BM_ChangeToHandlerLatency(benchmark::State& state) {
  UseHermeticService();
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  struct TStamp {
    std::atomic<std::uint64_t> Seen{0};
    std::chrono::steady_clock::time_point At;
    void Move(TObject*, TButtons, Integer, Integer) {
      At = std::chrono::steady_clock::now();
      Seen.fetch_add(1, std::memory_order_release);
    }
  } stamp;
  joystick.SetOnMove(Joystick::TMoveEvent::Bind<&TStamp::Move>(&stamp));
  joystick.SetActive(true);
  joystick.SetThreshold(100);
  auto& loop = Messages::TThreadLoop::Current();

  std::atomic<std::uint64_t> request{0};
  std::atomic<bool> stop{false};
  std::chrono::steady_clock::time_point sentAt;
  std::thread mover([&] {
    std::uint64_t done = 0;
    while (!stop.load()) {
      const std::uint64_t want = request.load(std::memory_order_acquire);
      if (want == done) {
        std::this_thread::yield();
        continue;
      }
      done = want;
      sentAt = std::chrono::steady_clock::now();
      pad.SetAxis(VirtualJoystick::TAxis::X, (want % 2) ? 0 : 65535);
    }
  });

  std::vector<double> micros;
  micros.reserve(20000);
  std::uint64_t n = 0;
  for (auto _ : state) {
    const std::uint64_t seenBefore = stamp.Seen.load();
    request.store(++n, std::memory_order_release);
    while (stamp.Seen.load(std::memory_order_acquire) == seenBefore) loop.HandleMessage(100);
    micros.push_back(std::chrono::duration<double, std::micro>(stamp.At - sentAt).count());
  }
  stop = true;
  mover.join();
  std::sort(micros.begin(), micros.end());
  if (!micros.empty()) {
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
  }
}
BENCHMARK(BM_ChangeToHandlerLatency)->Iterations(10000)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
