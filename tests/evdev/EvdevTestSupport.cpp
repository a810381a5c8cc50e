#include "EvdevTestSupport.hpp"

#include <cerrno>

namespace vorlane::EvdevTest {

TDeviceBuilder Xbox360Pad() {
  TDeviceBuilder b("Microsoft X-Box 360 pad", 0x045e, 0x028e);
  b.Axis(ABS_X, -32768, 32767).Axis(ABS_Y, -32768, 32767).Axis(ABS_Z, 0, 255);
  b.Axis(ABS_RX, -32768, 32767).Axis(ABS_RY, -32768, 32767).Axis(ABS_RZ, 0, 255);
  b.Axis(ABS_HAT0X, -1, 1).Axis(ABS_HAT0Y, -1, 1);
  b.Key(BTN_SOUTH).Key(BTN_EAST).Key(BTN_NORTH).Key(BTN_WEST).Key(BTN_TL).Key(BTN_TR);
  b.Key(BTN_SELECT).Key(BTN_START).Key(BTN_MODE).Key(BTN_THUMBL).Key(BTN_THUMBR);
  return b;
}

TDeviceBuilder FlightStick() {
  TDeviceBuilder b("Logitech Logitech Extreme 3D", 0x046d, 0xc215);
  b.Axis(ABS_X, 0, 1023, 512).Axis(ABS_Y, 0, 1023, 512).Axis(ABS_RZ, 0, 255, 128);
  b.Axis(ABS_THROTTLE, 0, 255, 255).Axis(ABS_HAT0X, -1, 1).Axis(ABS_HAT0Y, -1, 1);
  b.Keys(BTN_TRIGGER, BTN_BASE6);  // 0x120..0x12b
  return b;
}

TDeviceBuilder PedalWheel() {
  TDeviceBuilder b("Generic Racing Wheel", 0x044f, 0xb65d);
  b.Axis(ABS_WHEEL, -512, 511).Axis(ABS_GAS, 0, 255).Axis(ABS_BRAKE, 0, 255);
  b.Axis(ABS_HAT0X, -1, 1).Axis(ABS_HAT0Y, -1, 1);
  b.Keys(BTN_TRIGGER, BTN_BASE6).Key(BTN_GEAR_DOWN).Key(BTN_GEAR_UP);
  return b;
}

TDeviceBuilder TwoAxisJoystick() {
  TDeviceBuilder b("DragonRise Inc.   Generic   USB  Joystick  ", 0x0079, 0x0006);
  b.Axis(ABS_X, 0, 255, 127).Axis(ABS_Y, 0, 255, 127);
  b.Key(BTN_TRIGGER).Key(BTN_THUMB).Key(BTN_THUMB2).Key(BTN_TOP);
  return b;
}

TDeviceBuilder ButtonBox() {
  TDeviceBuilder b("Leo Bodnar BU0836X Interface", 0x1dd2, 0x1001);
  b.Axis(ABS_X, 0, 4095).Axis(ABS_Y, 0, 4095);
  b.Keys(BTN_TRIGGER, BTN_DEAD);                    // buttons 5..20
  b.Keys(BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY24);  // buttons 21..44
  b.Keys(BTN_0, BTN_3);                             // buttons 1..4
  return b;
}

namespace {

class TFakeNode : public TKernelNode {
 public:
  TFakeNode(TLibevdevPtr device, std::shared_ptr<TFakeKernelIo::TNodeState> state)
      : FDevice(std::move(device)), FState(std::move(state)) {}
  ~TFakeNode() override {
    std::lock_guard lock(FState->Lock);
    FState->Closed = true;
  }
  const libevdev* Device() const override { return FDevice.get(); }
  TReadStatus Read(std::vector<input_event>& events, int& error) override {
    std::lock_guard lock(FState->Lock);
    events.insert(events.end(), FState->Pending.begin(), FState->Pending.end());
    FState->Pending.clear();
    if (!FState->Gone) return TReadStatus::Ok;
    error = ENODEV;
    return TReadStatus::Gone;
  }
  bool Alive() override {
    std::lock_guard lock(FState->Lock);
    return !FState->Gone;
  }
  std::uint64_t Serial() const override { return FState->Serial; }

 private:
  TLibevdevPtr FDevice;
  std::shared_ptr<TFakeKernelIo::TNodeState> FState;
};

}  // namespace

TOpenResult TFakeKernelIo::Open(const std::string& name) {
  std::lock_guard lock(FLock);
  auto it = FNodes.find(name);
  if (it == FNodes.end()) return {nullptr, ENOENT};
  TNode& node = it->second;
  if (node.OpenError != 0) return {nullptr, node.OpenError};
  ++node.Opens;
  node.Current = std::make_shared<TNodeState>();
  node.Current->Serial = FNextSerial++;
  FOpened.push_back(node.Current);
  return {std::make_unique<TFakeNode>(node.Factory(), node.Current), 0};
}

void TFakeKernelIo::AddNode(const std::string& name, TFactory factory, int openError) {
  std::lock_guard lock(FLock);
  FNodes[name] = TNode{std::move(factory), openError, 0, nullptr};
}

void TFakeKernelIo::Unplug(const std::string& name) {
  Vanish(name);
  Push({TWake::TKind::Deleted, name, 0});
}

void TFakeKernelIo::Vanish(const std::string& name) {
  std::uint64_t serial = 0;
  {
    std::lock_guard lock(FLock);
    auto it = FNodes.find(name);
    if (it == FNodes.end()) return;
    if (auto state = it->second.Current) {
      std::lock_guard nodeLock(state->Lock);
      state->Gone = true;
      serial = state->Serial;
    }
    FNodes.erase(it);
  }
  if (serial != 0) Push({TWake::TKind::Readable, name, serial});
}

void TFakeKernelIo::Send(const std::string& name, const std::vector<input_event>& events) {
  std::uint64_t serial = 0;
  {
    std::lock_guard lock(FLock);
    auto state = FNodes.at(name).Current;
    std::lock_guard nodeLock(state->Lock);
    state->Pending.insert(state->Pending.end(), events.begin(), events.end());
    serial = state->Serial;
  }
  Push({TWake::TKind::Readable, name, serial});
}

int TFakeKernelIo::LiveNodes() const {
  std::lock_guard lock(FLock);
  int live = 0;
  for (const auto& state : FOpened) {
    std::lock_guard nodeLock(state->Lock);
    live += !state->Closed;
  }
  return live;
}

}  // namespace vorlane::EvdevTest
