#include "DemoController.hpp"

#include <cmath>
#include <numbers>

namespace vorlane::JoyMon {

using VirtualJoystick::TAxis;

namespace {

constexpr double Pi2 = 2 * std::numbers::pi;

struct TAxisRange {
  std::int32_t Min, Max, Rest;
};
// Different kinds of axis, so that calibrated, centred and raw readings differ:
// two sticks (X, Y and U, V), a trigger resting at its minimum (Z) and a twist (R).
constexpr TAxisRange Ranges[VirtualJoystick::AxisCount] = {
    {-32768, 32767, 0}, {-32768, 32767, 0}, {0, 255, 0},
    {-512, 511, 0},     {0, 1023, 512},     {0, 1023, 512},
};

// Maps a wave in [-1, 1] onto the axis range around its rest.
std::int32_t AxisValue(TAxis axis, double wave) {
  const TAxisRange& r = Ranges[static_cast<int>(axis)];
  const double span = wave >= 0 ? r.Max - r.Rest : r.Rest - r.Min;
  return r.Rest + static_cast<std::int32_t>(std::lround(wave * span));
}

}  // namespace

VirtualJoystick::TDescription TDemoController::Description() {
  VirtualJoystick::TDescription d;
  d.Name = u"joymon demo controller";
  d.Vendor = 0;
  d.Product = 0;
  for (int a = 0; a < VirtualJoystick::AxisCount; ++a)
    d.WithAxis(static_cast<TAxis>(a), Ranges[a].Min, Ranges[a].Max, Ranges[a].Rest);
  d.ButtonCount = ButtonCount;
  d.Hat = VirtualJoystick::THatKind::Discrete;
  d.RegKey = u"joymon --demo";
  d.Driver = u"joymon built-in demo (virtual)";
  return d;
}

VirtualJoystick::TControllerState TDemoController::PatternAt(double t) {
  VirtualJoystick::TControllerState s;
  // The left stick draws a figure of eight every 4 s, the right one an ellipse
  // every 6 s; the trigger pumps every 3 s and the twist swings every 5 s.
  s.Axes[0] = AxisValue(TAxis::X, std::sin(Pi2 * t / 4));
  s.Axes[1] = AxisValue(TAxis::Y, std::sin(Pi2 * t / 2) * 0.8);
  s.Axes[2] = AxisValue(TAxis::Z, (1 - std::cos(Pi2 * t / 3)) / 2);
  s.Axes[3] = AxisValue(TAxis::R, std::sin(Pi2 * t / 5));
  s.Axes[4] = AxisValue(TAxis::U, std::sin(Pi2 * t / 6 + 1));
  s.Axes[5] = AxisValue(TAxis::V, std::cos(Pi2 * t / 6 + 1) * 0.6);

  // The hat rests for 4 s, then goes once round its eight directions, half a
  // second each.
  const double hatPhase = std::fmod(t, 8.0);
  s.Hat = hatPhase < 4 ? VirtualJoystick::PovCentered
                       : static_cast<std::uint32_t>((hatPhase - 4) / 0.5) * 4500;

  // The buttons are pressed one after the other, every half second for 0.7 s, so
  // that two of them are held together for a moment; the round takes 7.5 s.
  const double buttonPhase = std::fmod(t, 7.5);
  for (std::uint32_t b = 0; b < ButtonCount; ++b) {
    const double start = 0.5 * b;
    if (buttonPhase >= start && buttonPhase < start + 0.7) s.Buttons[0] |= std::uint64_t{1} << b;
  }
  return s;
}

TDemoController::TDemoController() : FController(Description()), FStart(TClock::now()) {
  const VirtualJoystick::TControllerState s = PatternAt(0);
  FController.Update([&](VirtualJoystick::TBatch& b) {
    for (int a = 0; a < VirtualJoystick::AxisCount; ++a)
      b.SetAxis(static_cast<TAxis>(a), s.Axes[a]);
    b.SetButtons(static_cast<std::uint32_t>(s.Buttons[0]));
    b.SetHat(s.Hat);
  });
}

TDemoController::~TDemoController() {
  if (FLoop != nullptr) FLoop->RemoveTimer(FTimer);
}

void TDemoController::Start() {
  if (FLoop != nullptr) return;
  FStart = TClock::now();
  FLoop = &Messages::TThreadLoop::Current();
  FTimer = FLoop->AddTimer(UpdatePeriodMs,
                           Closure::TClosure<void()>::Bind<&TDemoController::Tick>(this));
}

System::Integer TDemoController::GetNumber() const {
  return static_cast<System::Integer>(FController.GetNumber());
}

void TDemoController::TogglePlugged() {
  if (FController.GetPlugged())
    FController.Unplug();
  else
    FController.Replug();
}

void TDemoController::Tick() {
  const double t = std::chrono::duration<double>(TClock::now() - FStart).count();
  const VirtualJoystick::TControllerState s = PatternAt(t);
  // One device update for the whole state, as a real controller reports it.
  FController.Update([&](VirtualJoystick::TBatch& b) {
    for (int a = 0; a < VirtualJoystick::AxisCount; ++a)
      b.SetAxis(static_cast<TAxis>(a), s.Axes[a]);
    b.SetButtons(static_cast<std::uint32_t>(s.Buttons[0]));
    b.SetHat(s.Hat);
  });
}

}  // namespace vorlane::JoyMon
