// vorlane/Evdev.hpp: what the tools see of the Linux backends.
#include "vorlane/Evdev.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "joystick/Service.hpp"
#include "joystick/evdev/EvdevHub.hpp"
#include "joystick/evdev/ReplayDriver.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::Evdev {

namespace {

std::string RecordingMessage(const std::string& fileName, std::uint32_t line,
                             const std::string& expected, const std::string& found) {
  std::string message = fileName;
  if (line != 0) {
    // Appended piece by piece: g++ 12 at -O3 misreads `literal + temporary` as an
    // overlapping copy (-Wrestrict).
    message += ':';
    message += std::to_string(line);
  }
  message += ": expected " + expected;
  if (!found.empty()) message += ", found " + found;
  return message;
}

}  // namespace

ERecordingError::ERecordingError(std::string fileName, std::uint32_t line, std::string expected,
                                 std::string found)
    : Exception(System::Utf8ToString(RecordingMessage(fileName, line, expected, found))),
      FFileName(std::move(fileName)),
      FLine(line),
      FExpected(std::move(expected)),
      FFound(std::move(found)) {}

const TypInfo::TClassInfo& ERecordingError::StaticClass() {
  static const TypInfo::TClassInfo info("ERecordingError", &Exception::StaticClass());
  return info;
}

const TypInfo::TClassInfo& EEvdevError::StaticClass() {
  static const TypInfo::TClassInfo info("EEvdevError", &Exception::StaticClass());
  return info;
}

std::vector<std::string> SplitDeviceList(const std::string& list) {
  std::vector<std::string> paths;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t colon = std::min(list.find(':', start), list.size());
    if (colon > start) paths.push_back(list.substr(start, colon - start));
    start = colon + 1;
  }
  return paths;
}

std::vector<TNodeReport> ListNodes(const std::string& directory) {
  const auto io = JoystickService::EvdevBackend::CreateKernelIo(directory);
  return JoystickService::EvdevBackend::ListNodes(*io);
}

// --- Recordings attached at run time ------------------------------------------

struct TAttachedRecording::TImpl {
  JoystickService::TJoystickDriver* Driver = nullptr;  // owned by the service
  int Controller = -1;
  std::vector<std::string> LeftOut;
  ~TImpl() {
    if (Driver != nullptr) JoystickService::DetachDriver(Driver);
  }
};

TAttachedRecording::TAttachedRecording() = default;
TAttachedRecording::TAttachedRecording(std::unique_ptr<TImpl> impl) : FImpl(std::move(impl)) {}
TAttachedRecording::TAttachedRecording(TAttachedRecording&&) noexcept = default;
TAttachedRecording& TAttachedRecording::operator=(TAttachedRecording&&) noexcept = default;
TAttachedRecording::~TAttachedRecording() = default;

int TAttachedRecording::GetController() const {
  return FImpl ? FImpl->Controller : -1;
}

std::vector<std::string> GetLeftOut(int controller) {
  return JoystickService::LeftOutOf(controller);
}

std::vector<std::string> TAttachedRecording::GetLeftOut() const {
  return FImpl ? FImpl->LeftOut : std::vector<std::string>{};
}

void TAttachedRecording::Detach() {
  FImpl.reset();
}

TAttachedRecording AttachRecording(const std::string& path) {
  using namespace JoystickService::EvdevBackend;
  std::vector<TRecording> recordings;
  recordings.push_back(ReadControllerRecording(path));
  std::vector<std::string> leftOut = LeftOutLines(MapDevice(recordings.front().Device.get()));
  auto driver = std::make_unique<TReplayDriver>(std::move(recordings));
  TReplayDriver* replay = driver.get();
  auto impl = std::make_unique<TAttachedRecording::TImpl>();
  impl->Driver = JoystickService::AttachDriver(std::move(driver));
  if (impl->Driver == nullptr) throw EEvdevError(u"the joystick service refused the recording");
  impl->Controller = replay->Numbers().front();
  impl->LeftOut = std::move(leftOut);
  return TAttachedRecording(std::move(impl));
}

}  // namespace vorlane::Evdev

namespace vorlane::JoystickService::EvdevBackend {

namespace {

std::string Text(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

}  // namespace

void DescribeOpenError(int error, std::string& reason, std::string& remedy) {
  switch (error) {
    case EACCES:
    case EPERM:
      reason = "permission denied";
      remedy =
          "add the user to the 'input' group (sudo usermod -aG input $USER) and log in again, "
          "or add a udev rule that grants access to the device";
      return;
    case ENOENT:
      reason = "the node disappeared";
      remedy = "the device was unplugged while being opened; plug it in again";
      return;
    case ENODEV:
    case ENXIO:
      reason = "no device behind the node";
      remedy = "unplug and replug the device, and check the kernel log (dmesg)";
      return;
    case EMFILE:
    case ENFILE:
      reason = "too many open files";
      remedy = "raise the open-file limit (ulimit -n)";
      return;
    case ELOOP:
      reason = "a symbolic link, not an event node";
      remedy = "nothing to do: links are not followed; the node they point to is listed itself";
      return;
    case ENOTTY:
    case EINVAL:
      reason = "not an evdev event node";
      remedy = "nothing to do: the node is not an input event device";
      return;
    default:
      reason = std::strerror(error);
      remedy = "check the node's permissions (ls -l) and the kernel log (dmesg)";
      return;
  }
}

std::vector<Evdev::TNodeReport> ListNodes(TKernelIo& io) {
  static constexpr char AxisLetters[AxisCount] = {'X', 'Y', 'Z', 'R', 'U', 'V'};
  std::vector<std::string> names = io.List();
  std::sort(names.begin(), names.end(), NodeNameLess);
  std::vector<Evdev::TNodeReport> reports;
  for (const std::string& name : names) {
    Evdev::TNodeReport report;
    report.Path = io.Directory() + "/" + name;
    TOpenResult opened = io.Open(name);
    if (!opened.Node) {
      report.Error = opened.Error != 0 ? opened.Error : EIO;
      DescribeOpenError(report.Error, report.Reason, report.Remedy);
      reports.push_back(std::move(report));
      continue;
    }
    const libevdev* device = opened.Node->Device();
    if (!IsJoystick(device)) continue;
    const TDeviceMapping mapping = MapDevice(device);
    const TDeviceState state = ReadCurrentState(device, mapping);
    report.Opened = true;
    report.Name = Text(libevdev_get_name(device));
    report.Vendor = mapping.Info.Vendor;
    report.Product = mapping.Info.Product;
    report.Uniq = Text(libevdev_get_uniq(device));
    report.Phys = Text(libevdev_get_phys(device));
    for (int axis = 0; axis < AxisCount; ++axis) {
      if (mapping.CodeOfAxis[axis] < 0) continue;
      const TAxisRange& range = mapping.Info.Axes[axis];
      report.Axes.push_back({AxisLetters[axis], FeedName(mapping, axis), range.Min, range.Max,
                             range.Rest, state.Axes[axis]});
    }
    report.HasHat = mapping.Info.Hat != THatKind::None;
    report.Pov = state.Pov;
    report.ButtonCount = mapping.Info.ButtonCount;
    report.Buttons = state.Buttons;
    report.ButtonsHeld = state.ButtonsHeld;
    report.LeftOut = LeftOutLines(mapping);
    reports.push_back(std::move(report));
  }
  return reports;
}

}  // namespace vorlane::JoystickService::EvdevBackend
