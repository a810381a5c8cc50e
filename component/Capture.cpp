// TJoystick: the capture rule, the capture window and the decoding of the
// service's messages into events.
#include "vorlane/Joystick.hpp"

#include <type_traits>

#include "Service.hpp"

namespace vorlane::Joystick {

using Classes::csDesigning;
using Classes::csLoading;

// The service posts with the C API's types and the window receives the
// framework's: the very same types, or on Windows (where the C API's are the
// system's) of the same widths.
#ifdef _WIN32
static_assert(sizeof(Messages::UINT) == sizeof(::UINT) &&
              sizeof(Messages::WPARAM) == sizeof(::WPARAM) &&
              sizeof(Messages::LPARAM) == sizeof(::LPARAM) &&
              sizeof(Messages::LRESULT) == sizeof(::LRESULT) &&
              sizeof(Messages::HWND) == sizeof(::HWND));
#else
static_assert(std::is_same_v<Messages::UINT, ::UINT> &&
              std::is_same_v<Messages::WPARAM, ::WPARAM> &&
              std::is_same_v<Messages::LPARAM, ::LPARAM> &&
              std::is_same_v<Messages::LRESULT, ::LRESULT> &&
              std::is_same_v<Messages::HWND, ::HWND>);
#endif

namespace {

// Button bits 0-7 of a message's WParam are the buttons held, bits 8-15 the
// buttons that changed; bits 16-31 carry nothing.
TButtons PressedButtons(WPARAM wParam) {
  return TButtons::FromBits(static_cast<std::uint32_t>(wParam) & 0xFFu);
}
TButtons ChangedButtons(WPARAM wParam) {
  return TButtons::FromBits((static_cast<std::uint32_t>(wParam) >> 8) & 0xFFu);
}
// LParam is read as one 32-bit word of two unsigned 16-bit halves.
Integer LowHalf(LPARAM lParam) {
  return static_cast<Integer>(static_cast<std::uint32_t>(lParam) & 0xFFFFu);
}
Integer HighHalf(LPARAM lParam) {
  return static_cast<Integer>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFFu);
}

// joySetCapture's change flag: all bits set asks for messages on movement only.
constexpr BOOL ChangeFlag(TEventMode mode) {
  return mode == emThreshold ? ~BOOL{0} : BOOL{0};
}

}  // namespace

bool TJoystick::HasHandler() const {
  return FOnButtonDown.Assigned() || FOnButtonUp.Assigned() || FOnMove.Assigned() ||
         FOnMoveZ.Assigned();
}

void TJoystick::UpdateCapture() {
  if (FActive && HasHandler())
    SetCapture();
  else
    ReleaseCapture();
}

void TJoystick::SetCapture() {
  const auto state = GetComponentState();
  if (state.Contains(csDesigning) || state.Contains(csLoading) || !FActive || Captured()) return;

  auto* form = new TJoystickForm(nullptr, 0);
  FJoystickForm = form;
  form->Joystick = this;
  form->FJoystickAlive = FAlive;
  try {
    const HWND handle = Service::ApiWindow(form->GetHandle());
    Check(Service::Functions().SetCapture(handle, static_cast<UINT>(FController),
                                          static_cast<UINT>(FPollingPeriod),
                                          ChangeFlag(FEventMode)));
  } catch (...) {
    form->Release();
    FJoystickForm = nullptr;
    throw;
  }
  SetThreshold(FThreshold);
}

void TJoystick::ReleaseCapture() {
  if (FJoystickForm == nullptr) return;
  TJoystickForm* form = FJoystickForm;
  const auto handOver = [&] {
    form->Release();
    FJoystickForm = nullptr;
  };
  try {
    Check(Service::Functions().ReleaseCapture(static_cast<UINT>(FController)));
  } catch (...) {
    handOver();
    throw;
  }
  handOver();
}

void TJoystick::SetOnButtonDown(TButtonDownEvent value) {
  FOnButtonDown = value;
  UpdateCapture();
}

void TJoystick::SetOnButtonUp(TButtonUpEvent value) {
  FOnButtonUp = value;
  UpdateCapture();
}

void TJoystick::SetOnMove(TMoveEvent value) {
  FOnMove = value;
  UpdateCapture();
}

void TJoystick::SetOnMoveZ(TMoveZEvent value) {
  FOnMoveZ = value;
  UpdateCapture();
}

// The decoders copy the handler before calling it and touch nothing of the
// component afterwards: a handler may switch the component off or destroy it.

void TJoystick::ButtonDown(Messages::TMessage& message) {
  const TButtonDownEvent handler = FOnButtonDown;
  if (!handler.Assigned()) return;
  handler(this, ChangedButtons(message.WParam), PressedButtons(message.WParam),
          LowHalf(message.LParam), HighHalf(message.LParam));
}

void TJoystick::ButtonUp(Messages::TMessage& message) {
  const TButtonUpEvent handler = FOnButtonUp;
  if (!handler.Assigned()) return;
  handler(this, ChangedButtons(message.WParam), PressedButtons(message.WParam),
          LowHalf(message.LParam), HighHalf(message.LParam));
}

void TJoystick::Move(Messages::TMessage& message) {
  const TMoveEvent handler = FOnMove;
  if (!handler.Assigned()) return;
  handler(this, PressedButtons(message.WParam), LowHalf(message.LParam), HighHalf(message.LParam));
}

void TJoystick::MoveZ(Messages::TMessage& message) {
  const TMoveZEvent handler = FOnMoveZ;
  if (!handler.Assigned()) return;
  handler(this, PressedButtons(message.WParam), LowHalf(message.LParam));
}

// --- TJoystickForm ---------------------------------------------------------------

TJoystickForm::TJoystickForm(Classes::TComponent* owner, int dummy) : TCustomForm(owner, dummy) {}

TJoystick* TJoystickForm::Target() const {
  return FJoystickAlive && *FJoystickAlive ? Joystick : nullptr;
}

void TJoystickForm::Joy1Move(Messages::TMessage& message) {
  if (TJoystick* joystick = Target()) joystick->Move(message);
}
void TJoystickForm::Joy2Move(Messages::TMessage& message) {
  if (TJoystick* joystick = Target()) joystick->Move(message);
}
void TJoystickForm::Joy1ZMove(Messages::TMessage& message) {
  if (TJoystick* joystick = Target()) joystick->MoveZ(message);
}
void TJoystickForm::Joy2ZMove(Messages::TMessage& message) {
  if (TJoystick* joystick = Target()) joystick->MoveZ(message);
}
void TJoystickForm::Joy1ButtonDown(Messages::TMessage& message) {
  if (TJoystick* joystick = Target()) joystick->ButtonDown(message);
}
void TJoystickForm::Joy2ButtonDown(Messages::TMessage& message) {
  if (TJoystick* joystick = Target()) joystick->ButtonDown(message);
}
void TJoystickForm::Joy1ButtonUp(Messages::TMessage& message) {
  if (TJoystick* joystick = Target()) joystick->ButtonUp(message);
}
void TJoystickForm::Joy2ButtonUp(Messages::TMessage& message) {
  if (TJoystick* joystick = Target()) joystick->ButtonUp(message);
}

const TypInfo::TClassInfo& TJoystickForm::StaticClass() {
  using TypInfo::MessageHandler;
  static const TypInfo::TMessageEntry messages[] = {
      MessageHandler<&TJoystickForm::Joy1Move>(MM_JOY1MOVE),
      MessageHandler<&TJoystickForm::Joy2Move>(MM_JOY2MOVE),
      MessageHandler<&TJoystickForm::Joy1ZMove>(MM_JOY1ZMOVE),
      MessageHandler<&TJoystickForm::Joy2ZMove>(MM_JOY2ZMOVE),
      MessageHandler<&TJoystickForm::Joy1ButtonDown>(MM_JOY1BUTTONDOWN),
      MessageHandler<&TJoystickForm::Joy2ButtonDown>(MM_JOY2BUTTONDOWN),
      MessageHandler<&TJoystickForm::Joy1ButtonUp>(MM_JOY1BUTTONUP),
      MessageHandler<&TJoystickForm::Joy2ButtonUp>(MM_JOY2BUTTONUP),
  };
  static const TypInfo::TClassInfo info("TJoystickForm", &Forms::TCustomForm::StaticClass(),
                                        {.Messages = messages});
  return info;
}

}  // namespace vorlane::Joystick
