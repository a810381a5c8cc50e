// Test doubles for the evdev backend: devices built in memory, a host that records
// what a backend reports, and a kernel seam with nodes the test plugs and unplugs.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "joystick/JoystickDriver.hpp"
#include "joystick/evdev/DeviceMapping.hpp"
#include "joystick/evdev/KernelIo.hpp"

namespace vorlane::EvdevTest {

using namespace JoystickService;
using namespace JoystickService::EvdevBackend;

inline std::string DataPath(const std::string& name) {
  std::string file = __FILE__;
  return file.substr(0, file.find_last_of('/')) + "/data/" + name;
}

// A device described in memory, the way a kernel driver would describe it.
class TDeviceBuilder {
 public:
  explicit TDeviceBuilder(const char* name, int vendor = 0, int product = 0)
      : FDevice(libevdev_new()) {
    libevdev_set_name(FDevice.get(), name);
    libevdev_set_id_bustype(FDevice.get(), BUS_USB);
    libevdev_set_id_vendor(FDevice.get(), vendor);
    libevdev_set_id_product(FDevice.get(), product);
  }
  TDeviceBuilder& Axis(unsigned code, int min, int max, int value = 0) {
    input_absinfo info{};
    info.minimum = min;
    info.maximum = max;
    info.value = value;
    EXPECT_EQ(libevdev_enable_event_code(FDevice.get(), EV_ABS, code, &info), 0);
    return *this;
  }
  TDeviceBuilder& Key(unsigned code) {
    EXPECT_EQ(libevdev_enable_event_code(FDevice.get(), EV_KEY, code, nullptr), 0);
    return *this;
  }
  TDeviceBuilder& Keys(unsigned first, unsigned last) {
    for (unsigned code = first; code <= last; ++code) Key(code);
    return *this;
  }
  TDeviceBuilder& Property(unsigned property) {
    libevdev_enable_property(FDevice.get(), property);
    return *this;
  }
  TDeviceBuilder& Uniq(const char* uniq) {
    libevdev_set_uniq(FDevice.get(), uniq);
    return *this;
  }
  TDeviceBuilder& Phys(const char* phys) {
    libevdev_set_phys(FDevice.get(), phys);
    return *this;
  }
  TDeviceBuilder& Value(unsigned type, unsigned code, int value) {
    libevdev_set_event_value(FDevice.get(), type, code, value);
    return *this;
  }
  libevdev* Get() const { return FDevice.get(); }
  TLibevdevPtr Take() { return std::move(FDevice); }

 private:
  TLibevdevPtr FDevice;
};

// Five kinds of controller, described as their Linux drivers describe them.
TDeviceBuilder Xbox360Pad();       // gamepad: two sticks, two triggers, a hat, 11 buttons
TDeviceBuilder FlightStick();      // X, Y, twist (ABS_RZ), throttle, hat, 12 buttons
TDeviceBuilder PedalWheel();       // ABS_WHEEL, ABS_GAS, ABS_BRAKE, hat, 14 buttons
TDeviceBuilder TwoAxisJoystick();  // X, Y, 4 buttons
TDeviceBuilder ButtonBox();        // X, Y, 44 buttons across three code ranges

inline input_event Event(unsigned type, unsigned code, int value) {
  input_event ev{};
  ev.type = static_cast<std::uint16_t>(type);
  ev.code = static_cast<std::uint16_t>(code);
  ev.value = value;
  return ev;
}
inline input_event Report() {
  return Event(EV_SYN, SYN_REPORT, 0);
}

// A host that records every call and numbers devices as the service does: the
// number kept for the same identity, else the lowest free one.
class TRecordingHost : public TDriverHost {
 public:
  enum class TKind { Added, Removed, Detached, Changed };
  struct TCall {
    TKind Kind;
    TJoystickDevice* Device;
    std::string Identity;
    TDeviceState State;
    int Number;
  };

  int DeviceAdded(TJoystickDevice* device) override {
    std::lock_guard lock(FLock);
    const std::string identity = device->Info().Identity;
    int number = -1;
    if (auto it = FKept.find(identity); it != FKept.end() && !FAttached.count(it->second))
      number = it->second;
    for (int n = 0; number < 0 && n < 16; ++n) {
      bool kept = false;
      for (const auto& [id, k] : FKept) kept = kept || (k == n && id != identity);
      if (!FAttached.count(n) && !kept) number = n;
    }
    if (number >= 0) {
      FAttached[number] = device;
      FKept[identity] = number;
    }
    Push({TKind::Added, device, identity, {}, number});
    return number;
  }
  void DeviceRemoved(TJoystickDevice* device) override {
    std::lock_guard lock(FLock);
    for (auto it = FAttached.begin(); it != FAttached.end(); ++it)
      if (it->second == device) {
        FAttached.erase(it);
        break;
      }
    Push({TKind::Removed, device, device->Info().Identity, {}, -1});
  }
  void DeviceDetached(TJoystickDevice* device) override {
    std::lock_guard lock(FLock);
    Push({TKind::Detached, device, {}, {}, -1});
  }
  void DeviceChanged(TJoystickDevice* device, const TDeviceState& state) override {
    // The backend must have published the reading before it reports it.
    TDeviceState read;
    device->ReadState(read);
    EXPECT_EQ(read.Buttons, state.Buttons);
    EXPECT_EQ(read.Pov, state.Pov);
    std::lock_guard lock(FLock);
    Push({TKind::Changed, device, {}, state, -1});
  }

  std::vector<TCall> Calls() const {
    std::lock_guard lock(FLock);
    return FCalls;
  }
  std::vector<TCall> CallsOf(TKind kind) const {
    std::vector<TCall> calls;
    for (const TCall& call : Calls())
      if (call.Kind == kind) calls.push_back(call);
    return calls;
  }
  std::size_t Count(TKind kind) const { return CallsOf(kind).size(); }
  // Waits until `count` calls of `kind` have come (the backends report from their own
  // threads); false when they have not after a generous time.
  bool WaitFor(TKind kind, std::size_t count) const {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, std::chrono::seconds(10), [&] {
      std::size_t n = 0;
      for (const TCall& call : FCalls) n += call.Kind == kind;
      return n >= count;
    });
  }
  int NumberOf(const TJoystickDevice* device) const {
    std::lock_guard lock(FLock);
    for (const auto& [number, attached] : FAttached)
      if (attached == device) return number;
    return -1;
  }

 private:
  void Push(TCall call) {
    FCalls.push_back(std::move(call));
    FChanged.notify_all();
  }

  mutable std::mutex FLock;
  mutable std::condition_variable FChanged;
  std::vector<TCall> FCalls;
  std::map<int, TJoystickDevice*> FAttached;
  std::map<std::string, int> FKept;
};

// The kernel seam, faked: nodes appear, produce events and disappear on the test's
// word. Wait blocks until the test (or Interrupt) gives it something.
class TFakeKernelIo : public TKernelIo {
 public:
  using TFactory = std::function<TLibevdevPtr()>;

  explicit TFakeKernelIo(std::string directory = "/dev/input") : FDirectory(std::move(directory)) {}

  const std::string& Directory() const override { return FDirectory; }
  int Watch() override { return FWatchError; }
  std::vector<std::string> List() override {
    std::lock_guard lock(FLock);
    std::vector<std::string> names;
    for (const auto& [name, node] : FNodes) names.push_back(name);
    return names;
  }
  TOpenResult Open(const std::string& name) override;
  std::vector<TWake> Wait() override {
    std::unique_lock lock(FLock);
    FWakeable.wait(lock, [&] { return !FWakes.empty(); });
    std::vector<TWake> wakes(FWakes.begin(), FWakes.end());
    FWakes.clear();
    return wakes;
  }
  void Interrupt() override { Push({TWake::TKind::Interrupted, {}, 0}); }

  // A node that is there before the backend starts (no directory event).
  void AddNode(const std::string& name, TFactory factory, int openError = 0);
  // A node that appears while the backend runs.
  void PlugIn(const std::string& name, TFactory factory, int openError = 0) {
    AddNode(name, std::move(factory), openError);
    Push({TWake::TKind::Created, name, 0});
  }
  // The device goes away: reads answer ENODEV, then the node is deleted.
  void Unplug(const std::string& name);
  // The device goes away but only the read notices (no directory event).
  void Vanish(const std::string& name);
  // Events arrive on the node.
  void Send(const std::string& name, const std::vector<input_event>& events);
  // The node's permissions change: it opens now.
  void Grant(const std::string& name) {
    {
      std::lock_guard lock(FLock);
      FNodes[name].OpenError = 0;
    }
    Push({TWake::TKind::AttribChanged, name, 0});
  }
  void Overflow() { Push({TWake::TKind::Overflow, {}, 0}); }
  void Push(TWake wake) {
    std::lock_guard lock(FLock);
    FWakes.push_back(std::move(wake));
    FWakeable.notify_all();
  }
  // Wakes queued but not yet taken by Wait; the hub tests run them themselves.
  std::vector<TWake> TakeWakes() {
    std::lock_guard lock(FLock);
    std::vector<TWake> wakes(FWakes.begin(), FWakes.end());
    FWakes.clear();
    return wakes;
  }
  int OpenCount(const std::string& name) const {
    std::lock_guard lock(FLock);
    auto it = FNodes.find(name);
    return it == FNodes.end() ? 0 : it->second.Opens;
  }
  int LiveNodes() const;  // nodes opened and not yet closed
  int FWatchError = 0;

  struct TNodeState {
    std::mutex Lock;
    std::vector<input_event> Pending;
    bool Gone = false;
    bool Closed = false;
    std::uint64_t Serial = 0;
  };

 private:
  struct TNode {
    TFactory Factory;
    int OpenError = 0;
    int Opens = 0;
    std::shared_ptr<TNodeState> Current;  // the last opened node's state
  };

  std::string FDirectory;
  mutable std::mutex FLock;
  std::condition_variable FWakeable;
  std::deque<TWake> FWakes;
  std::map<std::string, TNode> FNodes;
  std::vector<std::shared_ptr<TNodeState>> FOpened;
  std::uint64_t FNextSerial = 100;
};

}  // namespace vorlane::EvdevTest
