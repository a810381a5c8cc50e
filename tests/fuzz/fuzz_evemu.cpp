// libFuzzer harness for the evemu recording reader: any input is either read as a
// recording, which is then mapped and played through the state tracker as the
// replay backend would, or refused with an ERecordingError for the file; nothing
// else may happen (no crash, leak, undefined behaviour or other exception).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "joystick/evdev/DeviceMapping.hpp"
#include "joystick/evdev/EvemuReader.hpp"
#include "joystick/evdev/ReplayDriver.hpp"
#include "vorlane/Evdev.hpp"

using namespace vorlane::JoystickService;
using namespace vorlane::JoystickService::EvdevBackend;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const TRecording recording = ParseRecording(text, "fuzz.evemu");
    const TDeviceMapping mapping = MapDevice(recording.Device.get());
    TStateTracker tracker(mapping, recording.Device.get());
    std::int64_t time = 0;
    // The replay's schedule, from now and from near the clock's end: due times
    // never go back and never overflow.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point starts[] = {Clock::now(),
                                        Clock::time_point::max() - std::chrono::hours(1)};
    Clock::time_point due[] = {starts[0], starts[1]};
    for (const TRecordedEvent& event : recording.Events) {
      if (event.Time < time || event.Time > MaxRecordedTime) std::abort();  // times never go back
      time = event.Time;
      for (int s = 0; s < 2; ++s) {
        const Clock::time_point next = ReplayDueTime(starts[s], event.Time);
        if (next < due[s]) std::abort();
        due[s] = next;
      }
      tracker.Apply(event.Type, event.Code, event.Value);
    }
    const TDeviceState& state = tracker.Current();
    for (int axis = 0; axis < AxisCount; ++axis) {
      const TAxisRange& range = mapping.Info.Axes[axis];
      if (range.Present && (state.Axes[axis] < range.Min || state.Axes[axis] > range.Max ||
                            range.Rest < range.Min || range.Rest > range.Max))
        std::abort();
    }
    if (state.ButtonsHeld > mapping.Info.ButtonCount) std::abort();
  } catch (const vorlane::Evdev::ERecordingError& error) {
    if (error.GetFileName() != "fuzz.evemu" || error.GetLine() == 0) std::abort();
  }
  return 0;
}
