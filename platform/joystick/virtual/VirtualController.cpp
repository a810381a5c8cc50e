// The virtual backend: controllers made in code (vorlane/VirtualJoystick.hpp).
//
// The backend keeps every live TVirtualController in creation order. While the
// service has it open, each plugged controller is reported to the service's host.
// Locks, in order: the backend's registry lock, a controller's update lock, the
// service core's lock (inside the host calls), a controller's state lock (inside
// ReadState). The update lock is held across a host call, so the updates of one
// controller reach the service one at a time and in order.
#include <algorithm>
#include <atomic>
#include <bit>
#include <mutex>
#include <string>
#include <vector>

#include "joystick/JoystickDriver.hpp"
#include "joystick/Service.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::VirtualJoystick {

namespace Service = JoystickService;

namespace {

const char16_t* AxisName(TAxis axis) {
  static const char16_t* const names[AxisCount] = {u"X", u"Y", u"Z", u"R", u"U", u"V"};
  return names[static_cast<int>(axis)];
}

int AxisIndex(TAxis axis) {
  const int index = static_cast<int>(axis);
  if (index < 0 || index >= AxisCount)
    throw EVirtualJoystickError(u"virtual controller: axis " + System::IntToStr(index) +
                                u" does not exist (the axes are X, Y, Z, R, U, V)");
  return index;
}

[[noreturn]] void Fail(const System::String& who, const System::String& what) {
  throw EVirtualJoystickError(who + u": " + what);
}

void Check(const TDescription& d) {
  const System::String who = u"virtual controller \"" + d.Name + u"\"";
  for (int a = 0; a < AxisCount; ++a) {
    const TAxisDescription& axis = d.Axes[a];
    if (!axis.Present) continue;
    const System::String name = System::String(u"axis ") + AxisName(static_cast<TAxis>(a));
    if (axis.Min >= axis.Max)
      Fail(who, name + u": Min (" + System::IntToStr(axis.Min) + u") must be below Max (" +
                    System::IntToStr(axis.Max) + u")");
    if (axis.Rest < axis.Min || axis.Rest > axis.Max)
      Fail(who, name + u": Rest (" + System::IntToStr(axis.Rest) + u") must lie in [" +
                    System::IntToStr(axis.Min) + u", " + System::IntToStr(axis.Max) + u"]");
  }
  if (d.ButtonCount > MaxButtons)
    Fail(who, u"ButtonCount " + System::UIntToStr(d.ButtonCount) + u" is above the limit of " +
                  System::UIntToStr(MaxButtons));
  if (d.Hat != THatKind::None && d.Hat != THatKind::Discrete && d.Hat != THatKind::Continuous)
    Fail(who, u"unknown hat kind " + System::IntToStr(static_cast<int>(d.Hat)));
}

class TVirtualDevice;
class TVirtualDriver;

}  // namespace

namespace {

class TVirtualDevice final : public Service::TJoystickDevice {
 public:
  explicit TVirtualDevice(TVirtualController::TImpl& owner) : FOwner(owner) {}
  const Service::TDeviceInfo& Info() const override { return FInfo; }
  void ReadState(Service::TDeviceState& state) const override;

  Service::TDeviceInfo FInfo;

 private:
  TVirtualController::TImpl& FOwner;
};

class TVirtualDriver final : public Service::TJoystickDriver {
 public:
  const char* Name() const override { return "virtual"; }
  void Open(Service::TDriverHost& host) override;
  void Close() override;

  // A controller is made: it joins the registry and, while the backend is open,
  // is reported. Raises EVirtualJoystickError when no number is free.
  void Add(TVirtualController::TImpl& controller);
  void Remove(TVirtualController::TImpl& controller);
  void Unplug(TVirtualController::TImpl& controller);
  void Replug(TVirtualController::TImpl& controller);

 private:
  std::mutex FMutex;  // the registry lock
  Service::TDriverHost* FHost = nullptr;
  std::vector<TVirtualController::TImpl*> FControllers;
};

TVirtualDriver& Driver() {
  // Never destroyed: controllers with static storage may outlive everything else.
  static TVirtualDriver* const driver = new TVirtualDriver;
  return *driver;
}

}  // namespace

struct TVirtualController::TImpl {
  TDescription Description;
  TVirtualDevice Device{*this};

  std::mutex UpdateMutex;
  // Under UpdateMutex:
  bool Plugged = true;                   // the controller's own wish
  Service::TDriverHost* Host = nullptr;  // the host that knows it as attached, if any
  UINT Number = 0;                       // kept while unplugged

  mutable std::mutex StateMutex;
  TControllerState State;  // under StateMutex

  Service::TDeviceState Snapshot() const {
    std::lock_guard lock(StateMutex);
    return ToDeviceState(State);
  }

  static Service::TDeviceState ToDeviceState(const TControllerState& s) {
    Service::TDeviceState state;
    std::copy(std::begin(s.Axes), std::end(s.Axes), std::begin(state.Axes));
    state.Buttons = static_cast<std::uint32_t>(s.Buttons[0]);
    for (std::uint64_t word : s.Buttons) state.ButtonsHeld += std::popcount(word);
    state.Pov = s.Hat;
    return state;
  }

  // UpdateMutex held. Reports the controller to `host` as arrived.
  void Attach(Service::TDriverHost& host) {
    const int number = host.DeviceAdded(&Device);
    if (number < 0)
      Fail(u"virtual controller \"" + Description.Name + u"\"",
           u"no controller number is free (all 16 are in use)");
    Number = static_cast<UINT>(number);
    Host = &host;
  }
};

void TVirtualDevice::ReadState(Service::TDeviceState& state) const {
  std::lock_guard lock(FOwner.StateMutex);
  state = TVirtualController::TImpl::ToDeviceState(FOwner.State);
}

namespace {

void TVirtualDriver::Open(Service::TDriverHost& host) {
  std::lock_guard lock(FMutex);
  FHost = &host;
  for (TVirtualController::TImpl* controller : FControllers) {
    std::lock_guard update(controller->UpdateMutex);
    if (!controller->Plugged) continue;
    const int number = host.DeviceAdded(&controller->Device);
    if (number < 0) continue;  // all numbers in use: it stays away
    controller->Number = static_cast<UINT>(number);
    controller->Host = &host;
  }
}

void TVirtualDriver::Close() {
  std::lock_guard lock(FMutex);
  for (TVirtualController::TImpl* controller : FControllers) {
    std::lock_guard update(controller->UpdateMutex);
    if (controller->Host != nullptr) controller->Host->DeviceRemoved(&controller->Device);
    controller->Host = nullptr;
  }
  FHost = nullptr;
}

void TVirtualDriver::Add(TVirtualController::TImpl& controller) {
  std::lock_guard lock(FMutex);
  FControllers.push_back(&controller);
  if (FHost == nullptr) return;
  try {
    std::lock_guard update(controller.UpdateMutex);
    controller.Attach(*FHost);
  } catch (...) {
    FControllers.pop_back();
    throw;
  }
}

void TVirtualDriver::Remove(TVirtualController::TImpl& controller) {
  std::lock_guard lock(FMutex);
  std::erase(FControllers, &controller);
  std::lock_guard update(controller.UpdateMutex);
  // Detached whether attached or unplugged: the number it kept is freed too.
  if (FHost != nullptr) FHost->DeviceDetached(&controller.Device);
  controller.Host = nullptr;
}

void TVirtualDriver::Unplug(TVirtualController::TImpl& controller) {
  std::lock_guard lock(FMutex);
  std::lock_guard update(controller.UpdateMutex);
  if (!controller.Plugged) return;
  controller.Plugged = false;
  if (controller.Host != nullptr) controller.Host->DeviceRemoved(&controller.Device);
  controller.Host = nullptr;
}

void TVirtualDriver::Replug(TVirtualController::TImpl& controller) {
  std::lock_guard lock(FMutex);
  std::lock_guard update(controller.UpdateMutex);
  if (controller.Plugged) return;
  if (FHost != nullptr) controller.Attach(*FHost);
  controller.Plugged = true;
}

}  // namespace

// --- Public API --------------------------------------------------------------------

const TypInfo::TClassInfo& EVirtualJoystickError::StaticClass() {
  static const TypInfo::TClassInfo info("EVirtualJoystickError", &System::Exception::StaticClass());
  return info;
}

TDescription& TDescription::WithAxis(TAxis axis, std::int32_t min, std::int32_t max,
                                     std::int32_t rest) {
  Axes[AxisIndex(axis)] = {.Present = true, .Min = min, .Max = max, .Rest = rest};
  return *this;
}

TDescription& TDescription::WithoutAxis(TAxis axis) {
  Axes[AxisIndex(axis)] = {};
  return *this;
}

void TBatch::SetAxis(TAxis axis, std::int32_t value) {
  const int index = AxisIndex(axis);
  const TDescription& d = FController.GetDescription();
  if (!d.Axes[index].Present)
    Fail(u"virtual controller \"" + d.Name + u"\"",
         System::String(u"it has no axis ") + AxisName(axis));
  FState.Axes[index] = value;
}

void TBatch::SetButton(std::uint32_t button, bool pressed) {
  const TDescription& d = FController.GetDescription();
  if (button < 1 || button > d.ButtonCount)
    Fail(u"virtual controller \"" + d.Name + u"\"", u"button " + System::UIntToStr(button) +
                                                        u" does not exist (it has buttons 1 to " +
                                                        System::UIntToStr(d.ButtonCount) + u")");
  const std::uint64_t bit = std::uint64_t{1} << ((button - 1) % 64);
  std::uint64_t& word = FState.Buttons[(button - 1) / 64];
  word = pressed ? (word | bit) : (word & ~bit);
}

void TBatch::SetButtons(std::uint32_t mask) {
  const TDescription& d = FController.GetDescription();
  if (d.ButtonCount < 32 && (mask >> d.ButtonCount) != 0)
    Fail(u"virtual controller \"" + d.Name + u"\"",
         u"the mask names buttons above " + System::UIntToStr(d.ButtonCount));
  FState.Buttons[0] = (FState.Buttons[0] & ~std::uint64_t{0xFFFFFFFFu}) | mask;
}

void TBatch::SetHat(std::uint32_t hundredths) {
  const TDescription& d = FController.GetDescription();
  const System::String who = u"virtual controller \"" + d.Name + u"\"";
  if (hundredths != PovCentered) {
    if (d.Hat == THatKind::None) Fail(who, u"it has no hat");
    if (hundredths >= 36000)
      Fail(who, u"hat value " + System::UIntToStr(hundredths) +
                    u" is neither an angle 0..35999 nor PovCentered (65535)");
    if (d.Hat == THatKind::Discrete && hundredths % 4500 != 0)
      Fail(who, u"hat value " + System::UIntToStr(hundredths) +
                    u" is not one of the eight directions of a discrete hat (multiples of 4500)");
  }
  FState.Hat = hundredths;
}

TVirtualController::TVirtualController(const TDescription& description)
    : FImpl(std::make_unique<TImpl>()) {
  Check(description);
  FImpl->Description = description;
  Service::TDeviceInfo& info = FImpl->Device.FInfo;
  info.Name = description.Name;
  info.Vendor = description.Vendor;
  info.Product = description.Product;
  for (int a = 0; a < AxisCount; ++a) {
    const TAxisDescription& axis = description.Axes[a];
    info.Axes[a] = {.Present = axis.Present, .Min = axis.Min, .Max = axis.Max, .Rest = axis.Rest};
    if (axis.Present) FImpl->State.Axes[a] = axis.Rest;
  }
  info.ButtonCount = description.ButtonCount;
  info.Hat = static_cast<Service::THatKind>(description.Hat);
  info.RegKey = description.RegKey;
  info.Driver = description.Driver;
  info.ManufacturerGuid = description.ManufacturerGuid;
  info.ProductGuid = description.ProductGuid;
  info.NameGuid = description.NameGuid;
  // Unique for the life of the process: a replugged controller is found by it.
  static std::atomic<std::uint64_t> serial{0};
  info.Identity = "virtual:" + std::to_string(++serial);

  Service::Start();
  Driver().Add(*FImpl);
}

TVirtualController::~TVirtualController() {
  Driver().Remove(*FImpl);
}

UINT TVirtualController::GetNumber() const {
  Service::Start();  // after a reset the service numbers its controllers again
  std::lock_guard lock(FImpl->UpdateMutex);
  return FImpl->Number;
}

bool TVirtualController::GetPlugged() const {
  std::lock_guard lock(FImpl->UpdateMutex);
  return FImpl->Plugged;
}

const TDescription& TVirtualController::GetDescription() const {
  return FImpl->Description;
}

TControllerState TVirtualController::GetState() const {
  std::lock_guard lock(FImpl->StateMutex);
  return FImpl->State;
}

void TVirtualController::SetAxis(TAxis axis, std::int32_t value) {
  Update([&](TBatch& b) { b.SetAxis(axis, value); });
}
void TVirtualController::SetButton(std::uint32_t button, bool pressed) {
  Update([&](TBatch& b) { b.SetButton(button, pressed); });
}
void TVirtualController::SetButtons(std::uint32_t mask) {
  Update([&](TBatch& b) { b.SetButtons(mask); });
}
void TVirtualController::SetHat(std::uint32_t hundredths) {
  Update([&](TBatch& b) { b.SetHat(hundredths); });
}

void TVirtualController::Unplug() {
  Driver().Unplug(*FImpl);
}
void TVirtualController::Replug() {
  Driver().Replug(*FImpl);
}

std::mutex& TVirtualController::UpdateMutex() const {
  return FImpl->UpdateMutex;
}

void TVirtualController::Apply(const TControllerState& state) {
  Service::TDeviceState reading;
  {
    std::lock_guard lock(FImpl->StateMutex);
    FImpl->State = state;
    reading = TImpl::ToDeviceState(state);
  }
  if (FImpl->Host != nullptr) FImpl->Host->DeviceChanged(&FImpl->Device, reading);
}

}  // namespace vorlane::VirtualJoystick

namespace vorlane::JoystickService {
TJoystickDriver& VirtualDriver() {
  return VirtualJoystick::Driver();
}
}  // namespace vorlane::JoystickService
