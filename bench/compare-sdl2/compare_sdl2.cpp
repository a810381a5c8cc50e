// Vorlane's joystick service and TJoystick side by side with SDL2's joystick API, in
// one process, on the same kind of device: a controller made in code with six axes,
// sixteen buttons and one hat (ours: VirtualJoystick::TVirtualController; SDL2:
// SDL_JoystickAttachVirtual). No hardware is looked at: our service runs with the
// virtual backend only, SDL2 with its HIDAPI layer off and the dummy video driver.
//
// Rows of the table printed at the end:
//   1 one fresh position read;
//   2 one full capability read;
//   3 latency from a change made on thread A to the application's handler on thread B;
//   4 wake-ups of the waiting thread while input is captured and nothing moves;
//   5 heap allocations per delivered event and per non-string query.
// Rows 1 and 2 are Google Benchmark loops (CPU time per call, median of the
// repetitions, interleaved at random with the other rows); rows 3 and 4 are one
// measured run each, whose figures travel as counters.
//
// Threads. SDL2 wants its event loop on the thread that initialised its video and
// events subsystems, so main() initialises SDL2 and every SDL2 row waits on the main
// thread; our rows wait on the main thread too (the TJoystick and its capture window
// are made there), so both sides are thread B = main and thread A = a thread of the
// benchmark's own.
//
// Allocations are counted at the C allocator (malloc_counter.c): SDL2 calls malloc,
// not operator new, and operator new ends in malloc, so one count covers both sides.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <linux/futex.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounter.hpp"
#include "HermeticService.hpp"
#include "Pump.hpp"
#include "vorlane/Joystick.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/joystickapi.h"
#include "vorlane/visual/Messages.hpp"

extern "C" std::uint64_t compare_malloc_count(void);

namespace {

using namespace vorlane;
using Joystick::TButtons;
using Joystick::TJoystick;
using System::Integer;
using System::TObject;
using VirtualJoystick::TAxis;
using VirtualJoystick::TVirtualController;
using vorlane::testing::DrainMessages;  // frees what a destroyed TJoystick released
using vorlane::testing::UseHermeticService;

constexpr int kAxes = 6;
constexpr int kButtons = 16;
constexpr int kHats = 1;

// Row 3: changes measured, changes made first to warm queues and caches, and the
// pause before each change, drawn at random (the same sequence for every run) so
// that changes land at every phase of a polling loop and the waiting thread is
// asleep when they come.
constexpr int kChanges = 10000;
constexpr int kWarmUp = 200;
constexpr int kGapMinUs = 100;
constexpr int kGapMaxUs = 1100;
// Row 4: how long the waiting thread is watched.
constexpr double kIdleSeconds = 2.0;

std::int64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::uint64_t Allocations() {
  return compare_malloc_count();
}

// Reports the heap allocations made per iteration of a benchmark loop.
class TAllocationMeter {
 public:
  explicit TAllocationMeter(benchmark::State& state)
      : FState(state), FStart(Allocations()), FStartNew(bench::AllocationCount()) {}
  ~TAllocationMeter() {
    // Both counts are read before the counters map allocates its entries.
    const double all = static_cast<double>(Allocations() - FStart);
    const double viaNew = static_cast<double>(bench::AllocationCount() - FStartNew);
    const double n =
        static_cast<double>(std::max<benchmark::IterationCount>(FState.iterations(), 1));
    FState.counters["allocs/op"] = all / n;
    FState.counters["new/op"] = viaNew / n;
  }

 private:
  benchmark::State& FState;
  std::uint64_t FStart;
  std::uint64_t FStartNew;
};

// --- Our side ---------------------------------------------------------------------

VirtualJoystick::TDescription OurController() {
  VirtualJoystick::TDescription d;
  d.Name = u"Compare Pad";
  for (int a = 0; a < kAxes; ++a) d.WithAxis(static_cast<TAxis>(a), -32768, 32767, 0);
  d.ButtonCount = kButtons;
  d.Hat = VirtualJoystick::THatKind::Discrete;
  return d;
}

void BM_Ours_JoyGetPosEx(benchmark::State& state) {
  UseHermeticService();
  TVirtualController pad(OurController());
  const UINT id = pad.GetNumber();
  JOYINFOEX info{};
  TAllocationMeter meter(state);
  for (auto _ : state) {
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNX;
    benchmark::DoNotOptimize(joyGetPosEx(id, &info));
    benchmark::DoNotOptimize(info.dwXpos);
  }
}

void BM_Ours_GetPositionX(benchmark::State& state) {
  UseHermeticService();
  TVirtualController pad(OurController());
  TJoystick joystick(nullptr);
  joystick.SetController(static_cast<Integer>(pad.GetNumber()));
  {
    TAllocationMeter meter(state);
    for (auto _ : state) benchmark::DoNotOptimize(joystick.GetPositionX());
  }
}

void BM_Ours_JoyGetPosExAll(benchmark::State& state) {
  UseHermeticService();
  TVirtualController pad(OurController());
  const UINT id = pad.GetNumber();
  JOYINFOEX info{};
  TAllocationMeter meter(state);
  for (auto _ : state) {
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    benchmark::DoNotOptimize(joyGetPosEx(id, &info));
    benchmark::DoNotOptimize(info);
  }
}

void BM_Ours_JoyGetDevCapsW(benchmark::State& state) {
  UseHermeticService();
  TVirtualController pad(OurController());
  const UINT id = pad.GetNumber();
  JOYCAPSW caps{};
  TAllocationMeter meter(state);
  for (auto _ : state) {
    benchmark::DoNotOptimize(joyGetDevCapsW(id, &caps, sizeof caps));
    benchmark::DoNotOptimize(caps);
  }
}

void BM_Ours_CapabilitiesMaxX(benchmark::State& state) {
  UseHermeticService();
  TVirtualController pad(OurController());
  TJoystick joystick(nullptr);
  joystick.SetController(static_cast<Integer>(pad.GetNumber()));
  {
    TAllocationMeter meter(state);
    for (auto _ : state) benchmark::DoNotOptimize(joystick.GetCapabilities()->GetMaxX());
  }
}

// --- SDL2 side --------------------------------------------------------------------

SDL_Joystick* g_sdl = nullptr;
Uint32 g_sdlStop = 0;  // the event that ends a wait on the main thread

void BM_SDL_UpdateGetAxis(benchmark::State& state) {
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  TAllocationMeter meter(state);
  for (auto _ : state) {
    // SDL2's joystick state is what the last SDL_JoystickUpdate read: a fresh
    // value needs the update first.
    SDL_JoystickUpdate();
    benchmark::DoNotOptimize(SDL_JoystickGetAxis(g_sdl, 0));
  }
}

void BM_SDL_UpdateFullState(benchmark::State& state) {
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  TAllocationMeter meter(state);
  for (auto _ : state) {
    SDL_JoystickUpdate();
    for (int a = 0; a < kAxes; ++a) benchmark::DoNotOptimize(SDL_JoystickGetAxis(g_sdl, a));
    for (int b = 0; b < kButtons; ++b) benchmark::DoNotOptimize(SDL_JoystickGetButton(g_sdl, b));
    benchmark::DoNotOptimize(SDL_JoystickGetHat(g_sdl, 0));
  }
}

// The facts of JOYCAPSW that SDL2 has: identifiers, name, counts, hats (the point-
// of-view flag), a GUID (the registry key's role) and the device path (the
// driver's). SDL2's axis ranges are fixed and it has no polling period, so those
// need no call.
void BM_SDL_Capabilities(benchmark::State& state) {
  TAllocationMeter meter(state);
  for (auto _ : state) {
    benchmark::DoNotOptimize(SDL_JoystickGetVendor(g_sdl));
    benchmark::DoNotOptimize(SDL_JoystickGetProduct(g_sdl));
    benchmark::DoNotOptimize(SDL_JoystickName(g_sdl));
    benchmark::DoNotOptimize(SDL_JoystickPath(g_sdl));
    SDL_JoystickGUID guid = SDL_JoystickGetGUID(g_sdl);
    benchmark::DoNotOptimize(guid);
    benchmark::DoNotOptimize(SDL_JoystickGetType(g_sdl));
    benchmark::DoNotOptimize(SDL_JoystickNumAxes(g_sdl));
    benchmark::DoNotOptimize(SDL_JoystickNumButtons(g_sdl));
    benchmark::DoNotOptimize(SDL_JoystickNumHats(g_sdl));
  }
}

void BM_SDL_NumAxes(benchmark::State& state) {
  TAllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(SDL_JoystickNumAxes(g_sdl));
}

// --- Row 3: change on thread A, handler on thread B ------------------------------

// How many times the calling thread has blocked.
long VoluntarySwitches() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

// What thread A and the handler on thread B share during one latency run.
class TLatencyRun {
 public:
  TLatencyRun() {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> gap(kGapMinUs, kGapMaxUs);
    FGapsUs.resize(kWarmUp + kChanges);
    for (int& g : FGapsUs) g = gap(random);
    FLatencyNs.resize(kWarmUp + kChanges);
  }

  static int Total() { return kWarmUp + kChanges; }

  // Thread A: pauses, notes the time, makes change i with `change(i)`, waits for
  // the handler. Returns false when a change was not delivered within 2 s.
  bool Drive(const std::function<void(int)>& change) {
    for (int i = 0; i < Total(); ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(FGapsUs[i]));
      FSentNs.store(NowNs(), std::memory_order_release);
      change(i);
      if (!WaitDelivered(i + 1)) {
        FLost = true;
        return false;
      }
    }
    return true;
  }

  // Thread B, in the handler of change FDelivered.
  void Delivered() {
    const std::int64_t now = NowNs();
    const int k = FDeliveredB;
    FLatencyNs[k] = now - FSentNs.load(std::memory_order_acquire);
    if (k == kWarmUp) {
      FAllocStart = Allocations();
      FSwitchesStart = VoluntarySwitches();
    }
    if (k == Total() - 1) {
      FAllocEnd = Allocations();
      FSwitchesEnd = VoluntarySwitches();
    }
    FDeliveredB = k + 1;
    // No lock on this side: a handler that could block on thread A would add
    // context switches of the benchmark's own to the ones being counted.
    FDelivered.store(k + 1, std::memory_order_release);
    Futex(FUTEX_WAKE_PRIVATE, 1, nullptr);
  }

  void Report(benchmark::State& state) {
    if (FLost || FDeliveredB < Total()) {
      state.SkipWithError("a change was not delivered within 2 s");
      return;
    }
    std::vector<std::int64_t> measured(FLatencyNs.begin() + kWarmUp, FLatencyNs.end());
    std::sort(measured.begin(), measured.end());
    auto at = [&](double q) {
      const auto index = static_cast<std::size_t>(std::ceil(q * measured.size())) - 1;
      return static_cast<double>(measured[std::min(index, measured.size() - 1)]) / 1000.0;
    };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = static_cast<double>(measured.back()) / 1000.0;
    state.counters["events"] = static_cast<double>(measured.size());
    const auto events = static_cast<double>(Total() - 1 - kWarmUp);
    state.counters["allocs/event"] = static_cast<double>(FAllocEnd - FAllocStart) / events;
    // Thread B blocks once per change at best: its wait for the next one.
    state.counters["b_switches/event"] =
        static_cast<double>(FSwitchesEnd - FSwitchesStart) / events;
  }

  // The value change i sets: the axis swings from one end to the other, so that
  // every change passes any threshold.
  static bool High(int i) { return i % 2 == 0; }

 private:
  std::vector<int> FGapsUs;
  std::vector<std::int64_t> FLatencyNs;
  std::atomic<std::int64_t> FSentNs{0};
  int FDeliveredB = 0;  // thread B only
  std::uint64_t FAllocStart = 0, FAllocEnd = 0;
  long FSwitchesStart = 0, FSwitchesEnd = 0;
  std::atomic<int> FDelivered{0};  // thread A waits on it as a futex
  bool FLost = false;

  long Futex(int operation, int value, const timespec* timeout) {
    static_assert(sizeof(std::atomic<int>) == sizeof(int));
    return syscall(SYS_futex, reinterpret_cast<int*>(&FDelivered), operation, value, timeout,
                   nullptr, 0);
  }

  // Thread A: waits until `count` changes were delivered, 2 s at most.
  bool WaitDelivered(int count) {
    const std::int64_t deadline = NowNs() + 2'000'000'000;
    for (;;) {
      const int delivered = FDelivered.load(std::memory_order_acquire);
      if (delivered >= count) return true;
      const std::int64_t left = deadline - NowNs();
      if (left <= 0) return false;
      const timespec timeout{static_cast<time_t>(left / 1'000'000'000),
                             static_cast<long>(left % 1'000'000'000)};
      Futex(FUTEX_WAIT_PRIVATE, delivered, &timeout);
    }
  }
};

// Ours: TJoystick in emThreshold mode on this thread, its OnMove as the handler,
// this thread blocked in the framework's loop (HandleMessage) between changes.
struct TOurLatencyHandler {
  TLatencyRun* Run = nullptr;
  std::atomic<Integer> ExpectedX{-1};
  void Move(TObject*, TButtons, Integer x, Integer) {
    if (x == ExpectedX.load(std::memory_order_acquire)) Run->Delivered();
  }
};

void BM_Ours_Latency(benchmark::State& state) {
  UseHermeticService();
  for (auto _ : state) {
    TVirtualController pad(OurController());
    TLatencyRun run;
    TOurLatencyHandler handler;
    handler.Run = &run;
    {
      TJoystick joystick(nullptr);
      joystick.SetController(static_cast<Integer>(pad.GetNumber()));
      joystick.SetEventMode(Joystick::emThreshold);
      joystick.SetOnMove(Joystick::TMoveEvent::Bind<&TOurLatencyHandler::Move>(&handler));
      joystick.SetActive(true);
      auto& loop = Messages::TThreadLoop::Current();
      std::atomic<bool> done{false};
      std::thread a([&] {
        run.Drive([&](int i) {
          const bool high = TLatencyRun::High(i);
          handler.ExpectedX.store(high ? 65535 : 0, std::memory_order_release);
          pad.SetAxis(TAxis::X, high ? 32767 : -32768);
        });
        done.store(true, std::memory_order_release);
        loop.Wake();
      });
      while (!done.load(std::memory_order_acquire)) loop.HandleMessage(-1);
      a.join();
    }
    DrainMessages();
    run.Report(state);
  }
}

// SDL2: SDL_JoystickSetVirtualAxis on thread A, SDL_WaitEvent on this thread (the
// one that initialised SDL2). SDL2 reads a virtual joystick, like any joystick, in
// SDL_JoystickUpdate, which SDL_WaitEvent's pump calls; with a joystick open,
// SDL_WaitEvent (SDL 2.26) pumps, finds nothing, sleeps 1 ms with SDL_Delay and
// pumps again. That is how an SDL2 application waiting for joystick events runs,
// so it is what this row measures. SDL_HINT_JOYSTICK_THREAD is not set: it only
// moves Windows' raw-input handling to a thread and does nothing on Linux.
//
// With `updateOnA`, thread A also calls SDL_JoystickUpdate right after the change
// (SDL2 locks its joysticks, so this is allowed from any thread), so the event is
// queued at once: SDL2's best case, which leaves only SDL_WaitEvent's own wait.
void SDLLatency(benchmark::State& state, bool updateOnA) {
  for (auto _ : state) {
    TLatencyRun run;
    std::atomic<Sint16> expected{0};
    SDL_JoystickSetVirtualAxis(g_sdl, 0, 0);
    SDL_JoystickUpdate();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    std::thread a([&] {
      run.Drive([&](int i) {
        const Sint16 value = TLatencyRun::High(i) ? 32767 : -32768;
        expected.store(value, std::memory_order_release);
        SDL_JoystickSetVirtualAxis(g_sdl, 0, value);
        if (updateOnA) SDL_JoystickUpdate();
      });
      SDL_Event stop{};
      stop.type = g_sdlStop;
      SDL_PushEvent(&stop);
    });
    SDL_Event event{};
    for (;;) {
      if (SDL_WaitEvent(&event) == 0) {
        state.SkipWithError(SDL_GetError());
        break;
      }
      if (event.type == g_sdlStop) break;
      if (event.type == SDL_JOYAXISMOTION && event.jaxis.axis == 0 &&
          event.jaxis.value == expected.load(std::memory_order_acquire))
        run.Delivered();
    }
    a.join();
    run.Report(state);
  }
}

void BM_SDL_Latency(benchmark::State& state) {
  SDLLatency(state, false);
}
void BM_SDL_LatencyUpdateOnA(benchmark::State& state) {
  SDLLatency(state, true);
}

// --- Row 4: the waiting thread while nothing moves ----------------------------------

long ThreadId() {
  return static_cast<long>(syscall(SYS_gettid));
}

// Voluntary context switches of every thread of the process but `except`.
long ProcessVoluntarySwitches(long except) {
  long total = 0;
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return 0;
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.' || std::atol(entry->d_name) == except) continue;
    std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
        total += std::atol(line.c_str() + std::strlen("voluntary_ctxt_switches:"));
  }
  closedir(tasks);
  return total;
}

struct TThreadUsage {
  long Voluntary = 0;
  long Involuntary = 0;
  double CpuUs = 0;
  static TThreadUsage Now() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    TThreadUsage u;
    u.Voluntary = usage.ru_nvcsw;
    u.Involuntary = usage.ru_nivcsw;
    u.CpuUs = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    return u;
  }
};

// Watches this thread while `wait` blocks it for kIdleSeconds; a timer thread then
// calls `end`, which must make `wait` return. The wake-up that ends the wait is not
// counted.
void MeasureIdle(benchmark::State& state, const std::function<void(std::atomic<bool>&)>& wait,
                 const std::function<void()>& end,
                 const std::function<std::uint64_t()>& loopWakes = nullptr) {
  std::mutex lock;
  std::condition_variable go;
  bool started = false;
  std::atomic<bool> stop{false};
  std::atomic<long> timerTid{0};
  std::thread timer([&] {
    timerTid.store(ThreadId());
    {
      std::unique_lock l(lock);
      go.wait(l, [&] { return started; });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(kIdleSeconds));
    stop.store(true);
    end();
  });
  while (timerTid.load() == 0) std::this_thread::yield();
  const long processBefore = ProcessVoluntarySwitches(timerTid.load());
  const std::uint64_t wakesBefore = loopWakes ? loopWakes() : 0;
  const TThreadUsage before = TThreadUsage::Now();
  const std::int64_t startNs = NowNs();
  {
    std::lock_guard l(lock);
    started = true;
  }
  go.notify_one();
  wait(stop);
  const TThreadUsage after = TThreadUsage::Now();
  const double seconds = static_cast<double>(NowNs() - startNs) / 1e9;
  const std::uint64_t wakesAfter = loopWakes ? loopWakes() : 0;
  const long processAfter = ProcessVoluntarySwitches(timerTid.load());
  timer.join();
  auto perSecond = [&](double n) { return std::max(0.0, n) / seconds; };
  state.counters["wakeups/s"] =
      perSecond(static_cast<double>(after.Voluntary - before.Voluntary) - 1);
  state.counters["preempted/s"] =
      perSecond(static_cast<double>(after.Involuntary - before.Involuntary));
  state.counters["cpu_us/s"] = perSecond(after.CpuUs - before.CpuUs);
  state.counters["process_wakeups/s"] =
      perSecond(static_cast<double>(processAfter - processBefore) - 1);
  if (loopWakes)
    state.counters["loop_wakes/s"] = perSecond(static_cast<double>(wakesAfter - wakesBefore) - 1);
}

struct TIgnore {
  void Move(TObject*, TButtons, Integer, Integer) {}
};

void OurIdle(benchmark::State& state, Joystick::TEventMode mode) {
  UseHermeticService();
  for (auto _ : state) {
    TVirtualController pad(OurController());
    TIgnore ignore;
    {
      TJoystick joystick(nullptr);
      joystick.SetController(static_cast<Integer>(pad.GetNumber()));
      joystick.SetEventMode(mode);
      joystick.SetPollingPeriod(10);
      joystick.SetOnMove(Joystick::TMoveEvent::Bind<&TIgnore::Move>(&ignore));
      joystick.SetActive(true);
      auto& loop = Messages::TThreadLoop::Current();
      DrainMessages();
      MeasureIdle(
          state,
          [&](std::atomic<bool>& stop) {
            while (!stop.load()) loop.HandleMessage(-1);
          },
          [&] { loop.Wake(); }, [&] { return loop.GetWakeCount(); });
    }
    DrainMessages();
  }
}

void BM_Ours_IdleThreshold(benchmark::State& state) {
  OurIdle(state, Joystick::emThreshold);
}
void BM_Ours_IdlePolling10ms(benchmark::State& state) {
  OurIdle(state, Joystick::emPolling);
}

void BM_SDL_Idle(benchmark::State& state) {
  for (auto _ : state) {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    MeasureIdle(
        state,
        [&](std::atomic<bool>&) {
          SDL_Event event{};
          while (SDL_WaitEvent(&event) != 0 && event.type != g_sdlStop) {
          }
        },
        [] {
          SDL_Event stop{};
          stop.type = g_sdlStop;
          SDL_PushEvent(&stop);
        });
  }
}

// --- The table ------------------------------------------------------------------------

struct TResult {
  double CpuNs = 0;
  std::map<std::string, double> Counters;
  std::string Error;
};

// Keeps each benchmark's figures (the median over repetitions when there are
// several) and shows one line per finished run on stderr.
class TCollector : public benchmark::BenchmarkReporter {
 public:
  std::map<std::string, TResult> Results;

  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.run_name.function_name;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      TResult r;
      if (run.error_occurred) r.Error = run.error_message;
      r.CpuNs = run.GetAdjustedCPUTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      for (const auto& [key, counter] : run.counters) r.Counters[key] = counter.value;
      std::fprintf(stderr, "  %-28s %s%10.1f ns cpu", name.c_str(), median ? "median " : "",
                   r.CpuNs);
      for (const auto& [key, value] : r.Counters)
        std::fprintf(stderr, "  %s=%g", key.c_str(), value);
      if (!r.Error.empty()) std::fprintf(stderr, "  ERROR: %s", r.Error.c_str());
      std::fprintf(stderr, "\n");
      // A median replaces the single runs of its benchmark.
      if (median || !Results.count(name) || !Results[name].Error.empty()) Results[name] = r;
    }
  }
};

std::string ReadFirstLine(const char* path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown";
}

std::string Format(double value, const char* unit) {
  if (std::isnan(value)) return "n/a";
  char text[64];
  const char* space = *unit != 0 ? " " : "";
  if (value != 0 && std::fabs(value) < 10)
    std::snprintf(text, sizeof text, "%.2f%s%s", value, space, unit);
  else
    std::snprintf(text, sizeof text, "%.0f%s%s", value, space, unit);
  return text;
}

std::string Thousands(int n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
  return digits;
}

std::string Ratio(double ours, double theirs) {
  if (std::isnan(ours) || std::isnan(theirs)) return "-";
  if (ours == 0 && theirs == 0) return "both 0";
  if (theirs == 0) return "inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", ours / theirs);
  return text;
}

class TTable {
 public:
  explicit TTable(const std::map<std::string, TResult>& results) : FResults(results) {}

  double Get(const std::string& bench, const std::string& counter) const {
    auto it = FResults.find(bench);
    if (it == FResults.end() || !it->second.Error.empty()) return NAN;
    if (counter.empty()) return it->second.CpuNs;
    auto c = it->second.Counters.find(counter);
    return c == it->second.Counters.end() ? NAN : c->second;
  }

  void Row(const std::string& label, double ours, double theirs, const char* unit) {
    FRows.push_back({label, Format(ours, unit), Format(theirs, unit), Ratio(ours, theirs)});
  }

  void Print() const {
    std::size_t w[4] = {3, 4, 4, 9};
    for (const auto& r : FRows)
      for (int i = 0; i < 4; ++i) w[i] = std::max(w[i], r[i].size());
    auto line = [&](const std::string& a, const std::string& b, const std::string& c,
                    const std::string& d) {
      std::printf("| %-*s | %*s | %*s | %*s |\n", static_cast<int>(w[0]), a.c_str(),
                  static_cast<int>(w[1]), b.c_str(), static_cast<int>(w[2]), c.c_str(),
                  static_cast<int>(w[3]), d.c_str());
    };
    line("row", "ours", "SDL2", "ours/SDL2");
    std::printf("|%s|%s:|%s:|%s:|\n", std::string(w[0] + 2, '-').c_str(),
                std::string(w[1] + 1, '-').c_str(), std::string(w[2] + 1, '-').c_str(),
                std::string(w[3] + 1, '-').c_str());
    for (const auto& r : FRows) line(r[0], r[1], r[2], r[3]);
  }

 private:
  const std::map<std::string, TResult>& FResults;
  std::vector<std::array<std::string, 4>> FRows;
};

std::string LocalTime(const char* format) {
  std::time_t now = std::time(nullptr);
  char text[64];
  std::strftime(text, sizeof text, format, std::localtime(&now));
  return text;
}

void PrintTable(const std::map<std::string, TResult>& results, const std::string& started,
                const std::string& loadBefore) {
  TTable t(results);
  const double readOurs = t.Get("BM_Ours_JoyGetPosEx", "");
  const double readComponent = t.Get("BM_Ours_GetPositionX", "");
  const double readSdl = t.Get("BM_SDL_UpdateGetAxis", "");
  t.Row("1 fresh read: joyGetPosEx(X) vs SDL_JoystickUpdate+GetAxis", readOurs, readSdl, "ns");
  t.Row("1 fresh read: TJoystick::GetPositionX vs the same", readComponent, readSdl, "ns");
  t.Row("1 full state: joyGetPosEx(ALL) vs Update+6 axes+16 buttons+hat",
        t.Get("BM_Ours_JoyGetPosExAll", ""), t.Get("BM_SDL_UpdateFullState", ""), "ns");
  t.Row("2 capabilities: joyGetDevCapsW vs 9 SDL_Joystick* calls",
        t.Get("BM_Ours_JoyGetDevCapsW", ""), t.Get("BM_SDL_Capabilities", ""), "ns");
  const char* q[] = {"p50_us", "p99_us", "max_us"};
  const char* qName[] = {"p50", "p99", "max"};
  for (int i = 0; i < 3; ++i)
    t.Row(std::string("3 latency A->B handler, ") + qName[i] + " of " + Thousands(kChanges) +
              " (SDL_WaitEvent)",
          t.Get("BM_Ours_Latency", q[i]), t.Get("BM_SDL_Latency", q[i]), "us");
  t.Row("3 times thread B blocked per delivered change",
        t.Get("BM_Ours_Latency", "b_switches/event"), t.Get("BM_SDL_Latency", "b_switches/event"),
        "");
  t.Row("3 latency p99 vs SDL2 updating on thread A (its best case)",
        t.Get("BM_Ours_Latency", "p99_us"), t.Get("BM_SDL_LatencyUpdateOnA", "p99_us"), "us");
  const double sdlWakes = t.Get("BM_SDL_Idle", "wakeups/s");
  t.Row("4 idle wake-ups/s, emThreshold vs SDL_WaitEvent (ctx switches)",
        t.Get("BM_Ours_IdleThreshold", "wakeups/s"), sdlWakes, "/s");
  t.Row("4 idle wake-ups/s, emPolling 10 ms vs SDL_WaitEvent",
        t.Get("BM_Ours_IdlePolling10ms", "wakeups/s"), sdlWakes, "/s");
  t.Row("4 idle, our loop's GetWakeCount/s, emThreshold",
        t.Get("BM_Ours_IdleThreshold", "loop_wakes/s"), NAN, "/s");
  t.Row("4 idle, our loop's GetWakeCount/s, emPolling 10 ms",
        t.Get("BM_Ours_IdlePolling10ms", "loop_wakes/s"), NAN, "/s");
  t.Row("4 idle, waiting thread CPU, emThreshold vs SDL_WaitEvent",
        t.Get("BM_Ours_IdleThreshold", "cpu_us/s"), t.Get("BM_SDL_Idle", "cpu_us/s"), "us/s");
  t.Row("4 idle, wake-ups/s of all threads, emThreshold vs SDL2",
        t.Get("BM_Ours_IdleThreshold", "process_wakeups/s"),
        t.Get("BM_SDL_Idle", "process_wakeups/s"), "/s");
  t.Row("5 allocations per delivered event (row 3 runs)", t.Get("BM_Ours_Latency", "allocs/event"),
        t.Get("BM_SDL_Latency", "allocs/event"), "");
  t.Row("5 allocations per position query (row 1)", t.Get("BM_Ours_GetPositionX", "allocs/op"),
        t.Get("BM_SDL_UpdateGetAxis", "allocs/op"), "");
  t.Row("5 allocations per capability read (row 2)", t.Get("BM_Ours_JoyGetDevCapsW", "allocs/op"),
        t.Get("BM_SDL_Capabilities", "allocs/op"), "");
  t.Row("5 allocations per property: TCapabilities::GetMaxX vs NumAxes",
        t.Get("BM_Ours_CapabilitiesMaxX", "allocs/op"), t.Get("BM_SDL_NumAxes", "allocs/op"), "");

  SDL_version sdl{};
  SDL_GetVersion(&sdl);
  std::printf("\nVorlane vs SDL %d.%d.%d, %s to %s, %ld cpus (%s)\n", sdl.major, sdl.minor,
              sdl.patch, started.c_str(), LocalTime("%H:%M %Z").c_str(),
              sysconf(_SC_NPROCESSORS_ONLN), CpuModel().c_str());
  std::printf("load average before: %s; after: %s\n\n", loadBefore.c_str(),
              ReadFirstLine("/proc/loadavg").c_str());
  t.Print();

  // The targets, each as measured in this run.
  auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
  const double p99 = t.Get("BM_Ours_Latency", "p99_us");
  const double p99Sdl = t.Get("BM_SDL_Latency", "p99_us");
  std::printf("\ntargets: fresh read no slower than SDL2: %s (joyGetPosEx), %s (GetPositionX)\n",
              verdict(readOurs <= readSdl), verdict(readComponent <= readSdl));
  std::printf("         latency p99 <= SDL2 p99 / 10 and < 100 us: %s\n",
              verdict(p99 * 10 <= p99Sdl && p99 < 100));
  std::printf("         no wake-up while idle in emThreshold: %s\n",
              verdict(t.Get("BM_Ours_IdleThreshold", "wakeups/s") == 0 &&
                      t.Get("BM_Ours_IdleThreshold", "loop_wakes/s") == 0));
  std::printf("         no allocation per event and per non-string query: %s\n",
              verdict(t.Get("BM_Ours_Latency", "allocs/event") == 0 &&
                      t.Get("BM_Ours_GetPositionX", "allocs/op") == 0 &&
                      t.Get("BM_Ours_JoyGetPosEx", "allocs/op") == 0 &&
                      t.Get("BM_Ours_JoyGetDevCapsW", "allocs/op") == 0 &&
                      t.Get("BM_Ours_CapabilitiesMaxX", "allocs/op") == 0));
}

void Register() {
  for (auto* b :
       {benchmark::RegisterBenchmark("BM_Ours_JoyGetPosEx", BM_Ours_JoyGetPosEx),
        benchmark::RegisterBenchmark("BM_Ours_GetPositionX", BM_Ours_GetPositionX),
        benchmark::RegisterBenchmark("BM_Ours_JoyGetPosExAll", BM_Ours_JoyGetPosExAll),
        benchmark::RegisterBenchmark("BM_Ours_JoyGetDevCapsW", BM_Ours_JoyGetDevCapsW),
        benchmark::RegisterBenchmark("BM_Ours_CapabilitiesMaxX", BM_Ours_CapabilitiesMaxX),
        benchmark::RegisterBenchmark("BM_SDL_UpdateGetAxis", BM_SDL_UpdateGetAxis),
        benchmark::RegisterBenchmark("BM_SDL_UpdateFullState", BM_SDL_UpdateFullState),
        benchmark::RegisterBenchmark("BM_SDL_Capabilities", BM_SDL_Capabilities),
        benchmark::RegisterBenchmark("BM_SDL_NumAxes", BM_SDL_NumAxes)})
    b->Unit(benchmark::kNanosecond);
  for (auto* b : {benchmark::RegisterBenchmark("BM_Ours_Latency", BM_Ours_Latency),
                  benchmark::RegisterBenchmark("BM_SDL_Latency", BM_SDL_Latency),
                  benchmark::RegisterBenchmark("BM_SDL_LatencyUpdateOnA", BM_SDL_LatencyUpdateOnA),
                  benchmark::RegisterBenchmark("BM_Ours_IdleThreshold", BM_Ours_IdleThreshold),
                  benchmark::RegisterBenchmark("BM_Ours_IdlePolling10ms", BM_Ours_IdlePolling10ms),
                  benchmark::RegisterBenchmark("BM_SDL_Idle", BM_SDL_Idle)})
    b->Iterations(1)->Repetitions(1)->UseRealTime()->Unit(benchmark::kMillisecond);
}

// SDL2 on this (the main) thread, no hardware: the dummy video driver and no
// HIDAPI scanning. One virtual joystick shaped like ours, opened for every SDL2 row.
bool StartSDL() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");
  // Joystick events are delivered even though no window has the focus.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK) != 0) {
    std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
    return false;
  }
  const int index =
      SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, kAxes, kButtons, kHats);
  if (index < 0 || (g_sdl = SDL_JoystickOpen(index)) == nullptr) {
    std::fprintf(stderr, "SDL virtual joystick: %s\n", SDL_GetError());
    return false;
  }
  g_sdlStop = SDL_RegisterEvents(1);
  SDL_JoystickUpdate();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  return true;
}

// The allocation rows are only worth their zeros if both sides' allocations are
// seen: one SDL_malloc and one operator new must each count once.
bool AllocationsAreCounted() {
  const std::uint64_t before = Allocations();
  void* block = SDL_malloc(16);
  benchmark::DoNotOptimize(block);
  SDL_free(block);
  const std::uint64_t afterSdl = Allocations();
  auto* object = new int(1);
  benchmark::DoNotOptimize(object);
  delete object;
  if (afterSdl - before == 1 && Allocations() - afterSdl == 1) return true;
  std::fprintf(stderr, "allocation counting does not see %s allocations\n",
               afterSdl - before != 1 ? "SDL2's" : "operator new's");
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string started = LocalTime("%Y-%m-%d %H:%M");
  const std::string loadBefore = ReadFirstLine("/proc/loadavg");
  // Hermetic before anything touches our service: virtual controllers only.
  setenv("VORLANE_JOYSTICK_BACKENDS", "virtual", 1);
  unsetenv("VORLANE_JOYSTICK_DEVICES");
  if (!StartSDL()) return 1;
  if (!AllocationsAreCounted()) return 1;

  // Defaults that the command line may override: five repetitions of the loops,
  // interleaved at random, so that a burst of load elsewhere hits both sides alike.
  std::vector<char*> args(argv, argv + argc);
  std::string reps = "--benchmark_repetitions=5";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string minTime = "--benchmark_min_time=0.2";
  args.insert(args.begin() + 1, {reps.data(), interleave.data(), minTime.data()});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  Register();

  TCollector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::Shutdown();
  PrintTable(collector.Results, started, loadBefore);

  SDL_JoystickClose(g_sdl);
  SDL_JoystickDetachVirtual(0);
  SDL_Quit();
  return 0;
}
