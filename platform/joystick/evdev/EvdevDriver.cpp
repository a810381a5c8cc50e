#include "joystick/evdev/EvdevDriver.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "joystick/evdev/EvdevHub.hpp"
#include "vorlane/runtime/System.hpp"

namespace vorlane::JoystickService {

namespace EvdevBackend {

namespace {

std::uint64_t NodeNumber(const std::string& name) {
  std::uint64_t number = 0;
  for (char c : name.substr(5)) number = number * 10 + static_cast<std::uint64_t>(c - '0');
  return number;
}

std::string Text(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

}  // namespace

bool NodeNameLess(const std::string& a, const std::string& b) {
  if (!IsEventNodeName(a) || !IsEventNodeName(b)) return a < b;
  const std::uint64_t na = NodeNumber(a);
  const std::uint64_t nb = NodeNumber(b);
  return na != nb ? na < nb : a < b;
}

void TEvdevHub::Start(TDriverHost& host) {
  FHost = &host;
  FWatchError = FIo.Watch();
  std::vector<std::string> names = FIo.List();
  std::sort(names.begin(), names.end(), NodeNameLess);
  for (const std::string& name : names) OpenNode(name);
}

void TEvdevHub::Stop() {
  if (FHost != nullptr)
    for (auto& [name, entry] : FNodes)
      if (entry.Device) FHost->DeviceRemoved(entry.Device.get());
  FNodes.clear();
  FHost = nullptr;
}

void TEvdevHub::OpenNode(const std::string& name) {
  TOpenResult opened = FIo.Open(name);
  TEntry& entry = FNodes[name];
  entry = TEntry{};
  if (!opened.Node) {
    entry.Error = opened.Error != 0 ? opened.Error : EIO;
    return;
  }
  const libevdev* device = opened.Node->Device();
  if (!IsJoystick(device)) return;  // the node closes here: nothing to follow

  const std::string path = FIo.Directory() + "/" + name;
  TDeviceMapping mapping = MapDevice(device);
  mapping.Info.RegKey = FitUnits(path, NameUnits);
  std::string driver = "evdev " + path;
  if (const std::string phys = Text(libevdev_get_phys(device)); !phys.empty()) driver += " " + phys;
  mapping.Info.Driver = FitUnits(driver, DriverUnits);

  entry.Device = std::make_unique<TMappedDevice>(std::move(mapping), device);
  entry.Node = std::move(opened.Node);
  FHost->DeviceAdded(entry.Device.get());
}

void TEvdevHub::RemoveNode(const std::string& name) {
  const auto it = FNodes.find(name);
  if (it == FNodes.end()) return;
  if (it->second.Device) FHost->DeviceRemoved(it->second.Device.get());
  FNodes.erase(it);
}

void TEvdevHub::ReadNode(std::uint64_t serial) {
  const auto it = std::find_if(FNodes.begin(), FNodes.end(), [&](const auto& item) {
    return item.second.Node && item.second.Node->Serial() == serial;
  });
  if (it == FNodes.end()) return;  // a node closed since the wake
  TEntry& entry = it->second;
  FEvents.clear();
  int error = 0;
  const TReadStatus status = entry.Node->Read(FEvents, error);
  TDeviceState state;
  for (const input_event& ev : FEvents)
    if (entry.Device->Feed(ev.type, ev.code, ev.value, state))
      FHost->DeviceChanged(entry.Device.get(), state);
  if (status == TReadStatus::Ok) return;
  const std::string name = it->first;
  RemoveNode(name);
  // A node that fails for another reason stays closed until it changes.
  if (status == TReadStatus::Failed) FNodes[name].Error = error != 0 ? error : EIO;
}

void TEvdevHub::Rescan() {
  std::vector<std::string> names = FIo.List();
  std::sort(names.begin(), names.end(), NodeNameLess);
  std::vector<std::string> gone;
  for (const auto& [name, entry] : FNodes)
    if (!std::binary_search(names.begin(), names.end(), name, NodeNameLess) ||
        (entry.Node && !entry.Node->Alive()))
      gone.push_back(name);
  for (const std::string& name : gone) RemoveNode(name);
  for (const std::string& name : names) {
    const auto it = FNodes.find(name);
    if (it == FNodes.end() || it->second.Error != 0) OpenNode(name);
  }
}

void TEvdevHub::Handle(const TWake& wake) {
  if (FHost == nullptr) return;
  switch (wake.Kind) {
    case TWake::TKind::Readable:
      ReadNode(wake.Serial);
      return;
    case TWake::TKind::Created:
    case TWake::TKind::AttribChanged: {
      const auto it = FNodes.find(wake.Name);
      if (it == FNodes.end()) {
        OpenNode(wake.Name);
      } else if (it->second.Error != 0) {
        OpenNode(wake.Name);  // permissions may allow it now
      } else if (it->second.Node && !it->second.Node->Alive()) {
        RemoveNode(wake.Name);
        if (wake.Kind == TWake::TKind::Created) OpenNode(wake.Name);
      }
      // Otherwise: a device already open (a change of its permissions leaves the
      // open node readable) or a node that is not a joystick.
      return;
    }
    case TWake::TKind::Deleted:
      RemoveNode(wake.Name);
      return;
    case TWake::TKind::Overflow:
      Rescan();
      return;
    case TWake::TKind::Interrupted:
      return;
  }
}

std::vector<std::string> TEvdevHub::DeviceNodes() const {
  std::vector<std::string> names;
  for (const auto& [name, entry] : FNodes)
    if (entry.Device) names.push_back(name);
  std::sort(names.begin(), names.end(), NodeNameLess);
  return names;
}

TJoystickDevice* TEvdevHub::DeviceOf(const std::string& name) const {
  const auto it = FNodes.find(name);
  return it == FNodes.end() ? nullptr : it->second.Device.get();
}

std::map<std::string, int> TEvdevHub::Failures() const {
  std::map<std::string, int> failures;
  for (const auto& [name, entry] : FNodes)
    if (entry.Error != 0) failures[name] = entry.Error;
  return failures;
}

namespace {

// The evdev driver: the hub, run by one reader thread between Open and Close.
class TEvdevDriver final : public TJoystickDriver {
 public:
  explicit TEvdevDriver(std::unique_ptr<TKernelIo> io) : FIo(std::move(io)), FHub(*FIo) {}
  ~TEvdevDriver() override { Close(); }

  const char* Name() const override { return "evdev"; }

  void Open(TDriverHost& host) override {
    if (FThread.joinable()) return;
    FStop = false;
    FHub.Start(host);
    if (const int error = FHub.WatchError(); error != 0)
      std::fprintf(stderr,
                   "vorlane: joystick backend 'evdev': cannot watch %s (%s): controllers plugged "
                   "in from now on are not seen\n",
                   FIo->Directory().c_str(), std::strerror(error));
    FThread = std::thread([this] { Run(); });
  }

  void Close() override {
    if (!FThread.joinable()) return;
    FStop = true;
    FIo->Interrupt();
    FThread.join();
    FHub.Stop();
  }

 private:
  void Run() {
    while (!FStop) {
      const std::vector<TWake> wakes = FIo->Wait();
      for (const TWake& wake : wakes) {
        if (FStop) return;
        FHub.Handle(wake);
      }
    }
  }

  std::unique_ptr<TKernelIo> FIo;
  TEvdevHub FHub;
  std::thread FThread;
  std::atomic<bool> FStop{false};
};

}  // namespace

}  // namespace EvdevBackend

std::unique_ptr<TJoystickDriver> CreateEvdevDriver(std::unique_ptr<EvdevBackend::TKernelIo> io) {
  return std::make_unique<EvdevBackend::TEvdevDriver>(std::move(io));
}

std::unique_ptr<TJoystickDriver> CreateEvdevDriver() {
  return CreateEvdevDriver(EvdevBackend::CreateKernelIo());
}

}  // namespace vorlane::JoystickService
