// Memory of a capture whose window's thread stops pumping while the controller
// floods it with moves for 10 seconds (VORLANE_FLOOD_SECONDS changes that). Reports
// the process's resident memory at the start, its peak, and how many messages
// were waiting for the window when its thread pumped again.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "HermeticService.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/joystickapi.h"
#include "vorlane/visual/Messages.hpp"

namespace {

using namespace vorlane;
using namespace vorlane::VirtualJoystick;
using Clock = std::chrono::steady_clock;

double ResidentMiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double PeakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

int FloodSeconds() {
  const char* text = std::getenv("VORLANE_FLOOD_SECONDS");
  const int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : 10;
}

void BM_FloodWithoutPumping(benchmark::State& state) {
  vorlane::testing::UseHermeticService();
  TVirtualController pad(TDescription{}.WithAxis(TAxis::Z));
  const UINT id = pad.GetNumber();

  for (auto _ : state) {
    std::promise<MMRESULT> captured;
    std::promise<void> floodOver;
    std::atomic<std::uint64_t> received{0};
    std::thread receiver([&] {
      auto count = [&](Messages::TMessage&) { received.fetch_add(1, std::memory_order_relaxed); };
      const HWND window = Messages::AllocateHWnd(Messages::TWndMethod::Of(count));
      captured.set_value(joySetCapture(window, id, 10, TRUE));
      floodOver.get_future().wait();  // not pumping
      Messages::TThreadLoop::Current().ProcessMessages();
      joyReleaseCapture(id);
      Messages::DeallocateHWnd(window);
    });
    if (captured.get_future().get() != JOYERR_NOERROR) {
      floodOver.set_value();
      receiver.join();
      state.SkipWithError("joySetCapture refused");
      return;
    }
    const double startMiB = ResidentMiB();
    const auto end = Clock::now() + std::chrono::seconds(FloodSeconds());
    std::uint64_t updates = 0;
    while (Clock::now() < end) {
      for (int i = 0; i < 1000; ++i, ++updates)
        pad.Update([i](TBatch& b) {
          b.SetAxis(TAxis::X, i % 2 ? 0 : 65535);
          b.SetAxis(TAxis::Z, i % 2 ? 65535 : 0);
        });
    }
    const double endMiB = ResidentMiB();
    floodOver.set_value();
    receiver.join();
    state.counters["updates"] = static_cast<double>(updates);
    state.counters["rss_start_MiB"] = startMiB;
    state.counters["rss_end_MiB"] = endMiB;
    state.counters["rss_peak_MiB"] = PeakResidentMiB();
    state.counters["queued_at_end"] = static_cast<double>(received.load());
  }
}
BENCHMARK(BM_FloodWithoutPumping)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
