// TJoystick: construction, destruction, loading and the settings.
#include "vorlane/Joystick.hpp"

#include "Service.hpp"

namespace vorlane::Joystick {

using Classes::csDesigning;
using Classes::csLoading;

TJoystick::TJoystick(Classes::TComponent* owner)
    : TComponent(owner),
      FActive(false),
      FCapabilities(std::make_unique<TCapabilities>(this)),
      FEventMode(emThreshold),
      FAlive(std::make_shared<bool>(true)) {}

TJoystick::~TJoystick() {
  try {
    ReleaseCapture();
  } catch (const System::Exception& e) {
    // The window is released whatever the service said; the refusal cannot reach
    // a caller from a destructor, so it goes to the application's error handler.
    Forms::Application().HandleException(this, e);
  }
  *FAlive = false;
  FCapabilities.reset();
}

void TJoystick::Loaded() {
  TComponent::Loaded();
  UpdateCapture();
  if (FActive) SetThreshold(FThreshold);
}

void TJoystick::SetActive(bool value) {
  FActive = value;
  try {
    UpdateCapture();
  } catch (const System::Exception&) {
    FActive = false;
    // A capture can already stand when only the threshold was refused after it;
    // an inactive component must not keep capturing. The first error is the one
    // the caller gets.
    try {
      ReleaseCapture();
    } catch (const System::Exception&) {
    }
    throw;
  }
}

void TJoystick::SetController(Integer value) {
  if (value == FController) return;
  const bool wasCaptured = Captured();
  if (wasCaptured) ReleaseCapture();
  FController = value;
  if (wasCaptured) SetCapture();
}

void TJoystick::SetEventMode(TEventMode value) {
  if (value == FEventMode) return;
  FEventMode = value;
  if (Captured()) {
    ReleaseCapture();
    SetCapture();
  }
}

void TJoystick::SetPollingPeriod(Integer value) {
  if (value == FPollingPeriod) return;
  FPollingPeriod = value;
  if (!GetComponentState().Contains(csDesigning) && Captured() && FEventMode == emPolling) {
    ReleaseCapture();
    SetCapture();
  }
}

Integer TJoystick::GetThreshold() {
  if (GetComponentState().Contains(csDesigning)) return FThreshold;
  UINT threshold = 0;
  Check(Service::Functions().GetThreshold(static_cast<UINT>(FController), &threshold));
  return static_cast<Integer>(threshold);
}

void TJoystick::SetThreshold(Integer value) {
  if (value == GetThreshold()) return;
  FThreshold = value;
  const auto state = GetComponentState();
  if (!state.Contains(csDesigning) && !state.Contains(csLoading) && FActive)
    Check(Service::Functions().SetThreshold(static_cast<UINT>(FController),
                                            static_cast<UINT>(value)));
}

String TJoystick::GetAbout() const {
  return u"Version 4.6, Copyright \u00A9 2026 Vorlane. All rights reserved.";
}

// Defined here, not in the class, so that the package exports it.
void TJoystick::SetAbout(const String&) {}

bool TJoystick::Captured() const {
  return FJoystickForm != nullptr;
}

void TJoystick::SetCapabilities(TCapabilities* value) {
  FCapabilities->Assign(value);
}

}  // namespace vorlane::Joystick
