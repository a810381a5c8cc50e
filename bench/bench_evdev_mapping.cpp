// The evdev backend's share of an update: kernel events fed to a mapped device (a
// device described in memory, as the kernel seam hands it over), up to the published
// reading, without any file descriptor.
#include <benchmark/benchmark.h>

#include <libevdev/libevdev.h>

#include <memory>
#include <vector>

#include "joystick/evdev/DeviceMapping.hpp"

namespace {

using namespace vorlane::JoystickService;
using namespace vorlane::JoystickService::EvdevBackend;

// An Xbox pad as xpad describes it: its triggers go through the combined Z.
TLibevdevPtr XboxPad() {
  TLibevdevPtr device(libevdev_new());
  libevdev_set_name(device.get(), "Microsoft X-Box 360 pad");
  libevdev_set_id_vendor(device.get(), 0x045e);
  libevdev_set_id_product(device.get(), 0x028e);
  auto axis = [&](unsigned code, int min, int max) {
    input_absinfo info{};
    info.minimum = min;
    info.maximum = max;
    libevdev_enable_event_code(device.get(), EV_ABS, code, &info);
  };
  for (unsigned code : {ABS_X, ABS_Y, ABS_RX, ABS_RY}) axis(code, -32768, 32767);
  axis(ABS_Z, 0, 255);
  axis(ABS_RZ, 0, 255);
  axis(ABS_HAT0X, -1, 1);
  axis(ABS_HAT0Y, -1, 1);
  for (unsigned code : {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_SELECT,
                        BTN_START, BTN_MODE, BTN_THUMBL, BTN_THUMBR})
    libevdev_enable_event_code(device.get(), EV_KEY, code, nullptr);
  return device;
}

// One kernel event: a stick axis or a trigger, alternating, each followed by its
// SYN_REPORT every other event, so that every second event publishes a reading.
void BM_OneKernelEvent(benchmark::State& state) {
  TLibevdevPtr device = XboxPad();
  TMappedDevice mapped(MapDevice(device.get(), {}), device.get());
  TDeviceState out;
  std::int32_t value = 0;
  for (auto _ : state) {
    value = (value + 97) & 0x7fff;
    mapped.Feed(EV_ABS, (value & 1) ? ABS_Z : ABS_X, value & 0xff, out);
    mapped.Feed(EV_SYN, SYN_REPORT, 0, out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_OneKernelEvent);

// 16 pads, each sending a report of two sticks, both triggers and a button (six events
// and SYN_REPORT); one iteration is one report of each. The counter gives the share of
// one core the mapping takes at 1,000 reports a second from each pad.
void BM_SixteenPadsAt1000Hz(benchmark::State& state) {
  constexpr int Pads = 16;
  std::vector<TLibevdevPtr> devices;
  std::vector<std::unique_ptr<TMappedDevice>> mapped;
  for (int i = 0; i < Pads; ++i) {
    devices.push_back(XboxPad());
    mapped.push_back(
        std::make_unique<TMappedDevice>(MapDevice(devices.back().get(), {}), devices.back().get()));
  }
  TDeviceState out;
  std::int32_t value = 0;
  for (auto _ : state) {
    ++value;
    for (auto& pad : mapped) {
      pad->Feed(EV_ABS, ABS_X, value & 0x7fff, out);
      pad->Feed(EV_ABS, ABS_Y, -(value & 0x7fff), out);
      pad->Feed(EV_ABS, ABS_RX, value & 0x3fff, out);
      pad->Feed(EV_ABS, ABS_Z, value & 0xff, out);
      pad->Feed(EV_ABS, ABS_RZ, (value >> 1) & 0xff, out);
      pad->Feed(EV_KEY, BTN_SOUTH, value & 1, out);
      pad->Feed(EV_SYN, SYN_REPORT, 0, out);
    }
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * Pads);
  // 1,000 iterations are one second of input from all 16 pads.
  state.counters["core_share_at_1000Hz"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / 1000.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SixteenPadsAt1000Hz);

}  // namespace

BENCHMARK_MAIN();
