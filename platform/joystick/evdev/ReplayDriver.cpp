#include "joystick/evdev/ReplayDriver.hpp"

#include "joystick/evdev/EvdevDriver.hpp"
#include "vorlane/runtime/System.hpp"

namespace vorlane::JoystickService {

namespace EvdevBackend {

namespace {

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::chrono::steady_clock::time_point ReplayDueTime(std::chrono::steady_clock::time_point start,
                                                    std::int64_t time) {
  using Clock = std::chrono::steady_clock;
  const auto left =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::time_point::max() - start);
  if (time < 0) time = 0;
  if (time >= left.count()) return Clock::time_point::max();
  return start + std::chrono::duration_cast<Clock::duration>(std::chrono::microseconds(time));
}

TReplayDriver::TReplayDriver(std::vector<TRecording> recordings) {
  FTracks.reserve(recordings.size());
  for (TRecording& recording : recordings)
    FTracks.push_back(TTrack{std::move(recording), {}, 0, -1});
}

TReplayDriver::~TReplayDriver() {
  Close();
}

void TReplayDriver::Open(TDriverHost& host) {
  if (FHost != nullptr) return;
  FHost = &host;
  {
    std::lock_guard lock(FLock);
    FStop = false;
    FFinished = false;
  }
  for (TTrack& track : FTracks) {
    const TRecording& recording = track.Recording;
    TDeviceMapping mapping = MapDevice(recording.Device.get());
    SetStartValues(recording.Device.get(), mapping, StartValuesOf(recording, mapping));
    mapping.Info.Identity = "evemu:" + recording.FileName;
    mapping.Info.RegKey = FitUnits(BaseName(recording.FileName), NameUnits);
    mapping.Info.Driver = FitUnits("evemu replay " + recording.FileName, DriverUnits);
    track.Device = std::make_unique<TMappedDevice>(std::move(mapping), recording.Device.get());
    track.Next = 0;
    track.Number = host.DeviceAdded(track.Device.get());
  }
  FThread = std::thread([this] { Run(); });
}

void TReplayDriver::Close() {
  if (FHost == nullptr) return;
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
  for (TTrack& track : FTracks) {
    if (track.Device) FHost->DeviceRemoved(track.Device.get());
    track.Device.reset();
    track.Number = -1;
  }
  FHost = nullptr;
}

std::vector<int> TReplayDriver::Numbers() const {
  std::vector<int> numbers;
  for (const TTrack& track : FTracks) numbers.push_back(track.Number);
  return numbers;
}

bool TReplayDriver::Finished() const {
  std::lock_guard lock(FLock);
  return FFinished;
}

bool TReplayDriver::WaitUntilFinished(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(FLock);
  return FWake.wait_for(lock, timeout, [this] { return FFinished; });
}

void TReplayDriver::Run() {
  const auto start = std::chrono::steady_clock::now();
  std::unique_lock lock(FLock);
  for (;;) {
    TTrack* next = nullptr;
    for (TTrack& track : FTracks) {
      if (track.Next >= track.Recording.Events.size()) continue;
      if (next == nullptr ||
          track.Recording.Events[track.Next].Time < next->Recording.Events[next->Next].Time)
        next = &track;
    }
    if (next == nullptr) {
      FFinished = true;
      FWake.notify_all();
      FWake.wait(lock, [this] { return FStop; });
      return;
    }
    const TRecordedEvent& event = next->Recording.Events[next->Next];
    const auto due = ReplayDueTime(start, event.Time);
    if (FWake.wait_until(lock, due, [this] { return FStop; })) return;
    ++next->Next;
    lock.unlock();
    TDeviceState state;
    if (next->Device->Feed(event.Type, event.Code, event.Value, state))
      FHost->DeviceChanged(next->Device.get(), state);
    lock.lock();
  }
}

}  // namespace EvdevBackend

std::unique_ptr<TJoystickDriver> CreateReplayDriver(
    const std::vector<std::string>& recordingPaths) {
  std::vector<EvdevBackend::TRecording> recordings;
  recordings.reserve(recordingPaths.size());
  for (const std::string& path : recordingPaths)
    recordings.push_back(EvdevBackend::ReadControllerRecording(path));
  return std::make_unique<EvdevBackend::TReplayDriver>(std::move(recordings));
}

}  // namespace vorlane::JoystickService
