// The runtime unit Joystick: TJoystick, a non-visual component that reads a game
// controller through the joystick service, with its capability sub-object, its
// hidden capture window, its exception class and Check.
//
//   class TMyForm : public Forms::TCustomForm {
//     Joystick::TJoystick* FJoystick = new Joystick::TJoystick(this);
//     void JoystickMove(TObject*, Joystick::TButtons pressed, Integer x, Integer y) { ... }
//    public:
//     TMyForm() : TCustomForm(nullptr, 0) {
//       FJoystick->SetController(0);
//       FJoystick->SetOnMove(Joystick::TMoveEvent::Bind<&TMyForm::JoystickMove>(this));
//       FJoystick->SetActive(true);  // raises EJoystickError when the controller cannot be
//       captured
//     }
//   };
#pragma once

#include <cstdint>
#include <memory>

#include "vorlane/Classes.hpp"
#include "vorlane/Closure.hpp"
#include "vorlane/Forms.hpp"
#include "vorlane/Set.hpp"
#include "vorlane/System.hpp"
#include "vorlane/TypInfo.hpp"

namespace vorlane::Joystick {

using System::Integer;
using System::String;
using System::TObject;

// --- Errors -------------------------------------------------------------------

// A request refused by the joystick service: ErrorCode is the service's result code.
class EJoystickError : public System::Exception {
 public:
  EJoystickError(Integer errorCode, const String& msg);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  Integer ErrorCode;
};

// Returns when `code` is 0; raises EJoystickError with the code and its message otherwise.
void Check(std::uint32_t code);

// --- Shared types ---------------------------------------------------------------

enum TJoyButton : std::uint8_t {
  joButton1,
  joButton2,
  joButton3,
  joButton4,
  joButton5,
  joButton6,
  joButton7,
  joButton8,
  joButton9,
  joButton10,
  joButton11,
  joButton12,
  joButton13,
  joButton14,
  joButton15,
  joButton16,
  joButton17,
  joButton18,
  joButton19,
  joButton20,
  joButton21,
  joButton22,
  joButton23,
  joButton24,
  joButton25,
  joButton26,
  joButton27,
  joButton28,
  joButton29,
  joButton30,
  joButton31,
  joButton32,
};
// Buttons 1 to 32 in one 32-bit word: joButton1 is bit 0.
using TButtons = System::TSet<TJoyButton, std::uint32_t>;

enum TEventMode : std::uint8_t { emPolling, emThreshold };

enum TPointOfViewDirection : std::uint8_t {
  pdUnknown,
  pdCentered,
  pdForward,
  pdBackward,
  pdLeft,
  pdRight,
};

enum TCapabilityFlag : std::uint8_t {
  cfHasZ,
  cfHasR,
  cfHasU,
  cfHasV,
  cfHasPointOfView,
  cfDiscretePointOfView,
  cfContinuousPointOfView,
};
using TCapabilityFlags = System::TSet<TCapabilityFlag, std::uint8_t>;

// Event types: closures bound to an object; Sender is always the component.
struct TButtonDownEvent : Closure::TClosure<void(TObject* Sender, TButtons Changed,
                                                 TButtons Pressed, Integer X, Integer Y)> {
  using TClosure::TClosure;
  TButtonDownEvent(TClosure c) : TClosure(c) {}
};
struct TButtonUpEvent : Closure::TClosure<void(TObject* Sender, TButtons Changed, TButtons Pressed,
                                               Integer X, Integer Y)> {
  using TClosure::TClosure;
  TButtonUpEvent(TClosure c) : TClosure(c) {}
};
struct TMoveEvent
    : Closure::TClosure<void(TObject* Sender, TButtons Pressed, Integer X, Integer Y)> {
  using TClosure::TClosure;
  TMoveEvent(TClosure c) : TClosure(c) {}
};
struct TMoveZEvent : Closure::TClosure<void(TObject* Sender, TButtons Pressed, Integer Z)> {
  using TClosure::TClosure;
  TMoveZEvent(TClosure c) : TClosure(c) {}
};

TypInfo::PTypeInfo VorlaneTypeInfo(TJoyButton*);
TypInfo::PTypeInfo VorlaneTypeInfo(TButtons*);
TypInfo::PTypeInfo VorlaneTypeInfo(TEventMode*);
TypInfo::PTypeInfo VorlaneTypeInfo(TPointOfViewDirection*);
TypInfo::PTypeInfo VorlaneTypeInfo(TCapabilityFlag*);
TypInfo::PTypeInfo VorlaneTypeInfo(TCapabilityFlags*);
TypInfo::PTypeInfo VorlaneTypeInfo(TButtonDownEvent*);
TypInfo::PTypeInfo VorlaneTypeInfo(TButtonUpEvent*);
TypInfo::PTypeInfo VorlaneTypeInfo(TMoveEvent*);
TypInfo::PTypeInfo VorlaneTypeInfo(TMoveZEvent*);

class TJoystick;

// --- The capture window ---------------------------------------------------------

// The hidden window that receives the service's joystick messages while a
// TJoystick captures its controller, and forwards them to the component.
class TJoystickForm : public Forms::TCustomForm {
 public:
  TJoystickForm(Classes::TComponent* owner, int dummy);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  TJoystick* GetJoystick() const { return Joystick; }

 private:
  friend class TJoystick;

  void Joy1Move(Messages::TMessage& message);
  void Joy2Move(Messages::TMessage& message);
  void Joy1ZMove(Messages::TMessage& message);
  void Joy2ZMove(Messages::TMessage& message);
  void Joy1ButtonDown(Messages::TMessage& message);
  void Joy2ButtonDown(Messages::TMessage& message);
  void Joy1ButtonUp(Messages::TMessage& message);
  void Joy2ButtonUp(Messages::TMessage& message);
  // The component, or nullptr once the component has been destroyed: a released
  // window may still hold queued messages when its component goes away.
  TJoystick* Target() const;

  TJoystick* Joystick = nullptr;
  std::shared_ptr<const bool> FJoystickAlive;
};

// --- Capabilities ---------------------------------------------------------------

// A live view of the capabilities of the owner's current controller: every read is
// a fresh service call. Writes are ignored.
class TCapabilities : public Classes::TPersistent {
 public:
  explicit TCapabilities(TJoystick* joystick);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  Integer GetAxesCount();
  Integer GetButtonCount();
  String GetDriver();
  TCapabilityFlags GetFlags();
  Integer GetManufacturer();
  Integer GetMaxAxes();
  Integer GetMaxButtons();
  Integer GetMaxPeriod();
  Integer GetMaxR();
  Integer GetMaxU();
  Integer GetMaxV();
  Integer GetMaxX();
  Integer GetMaxY();
  Integer GetMaxZ();
  Integer GetMinPeriod();
  Integer GetMinR();
  Integer GetMinU();
  Integer GetMinV();
  Integer GetMinX();
  Integer GetMinY();
  Integer GetMinZ();
  Integer GetProduct();
  String GetProductName();
  String GetRegistryKey();

  // The ignoring setters of the published properties.
  void SetEmpty(Integer value);
  void SetEmptyString(const String& value);
  void SetFlags(TCapabilityFlags value);

 private:
  TJoystick* FJoystick;
};

// --- The component ----------------------------------------------------------------

class TJoystick : public Classes::TComponent {
 public:
  explicit TJoystick(Classes::TComponent* owner);
  ~TJoystick() override;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  // Settings (stored in form data).
  bool GetActive() const { return FActive; }
  void SetActive(bool value);
  Integer GetController() const { return FController; }
  void SetController(Integer value);
  TEventMode GetEventMode() const { return FEventMode; }
  void SetEventMode(TEventMode value);
  Integer GetPollingPeriod() const { return FPollingPeriod; }
  void SetPollingPeriod(Integer value);
  bool GetRawData() const { return FRawData; }
  void SetRawData(bool value) { FRawData = value; }
  Integer GetThreshold();
  void SetThreshold(Integer value);

  String GetAbout() const;
  void SetAbout(const String& value);
  TCapabilities* GetCapabilities() const { return FCapabilities.get(); }
  void SetCapabilities(TCapabilities* value);

  // Events.
  TButtonDownEvent GetOnButtonDown() const { return FOnButtonDown; }
  void SetOnButtonDown(TButtonDownEvent value);
  TButtonUpEvent GetOnButtonUp() const { return FOnButtonUp; }
  void SetOnButtonUp(TButtonUpEvent value);
  TMoveEvent GetOnMove() const { return FOnMove; }
  void SetOnMove(TMoveEvent value);
  TMoveZEvent GetOnMoveZ() const { return FOnMoveZ; }
  void SetOnMoveZ(TMoveZEvent value);

  // The capture window while input is captured, otherwise nullptr.
  TJoystickForm* GetJoystickForm() const { return FJoystickForm; }

  // Live queries: each read is one fresh service call for the current Controller.
  Integer GetPositionX();
  Integer GetPositionY();
  Integer GetPositionZ();
  Integer GetPositionR();
  Integer GetPositionU();
  Integer GetPositionV();
  Integer GetCenteredX();
  Integer GetCenteredY();
  Integer GetCenteredZ();
  Integer GetCenteredR();
  Integer GetCenteredU();
  Integer GetCenteredV();
  Integer GetPointOfView();
  TPointOfViewDirection GetPointOfViewDirection();
  TButtons GetPressedButtons();
  Integer GetPressedButtonCount();

  // Questions about any controller number.
  Integer GetControllerCount() const;
  String GetControllerName(Integer index) const;
  bool GetAttached(Integer index) const;

  // The ignoring setters of the published live values.
  void SetEmpty(Integer value);
  void SetPointOfViewDirection(TPointOfViewDirection value);
  void SetPressedButtons(TButtons value);

 protected:
  void Loaded() override;

 private:
  friend class TJoystickForm;
  friend class TCapabilities;

  bool Captured() const;
  void SetCapture();
  void ReleaseCapture();
  void UpdateCapture();
  bool HasHandler() const;

  void ButtonDown(Messages::TMessage& message);
  void ButtonUp(Messages::TMessage& message);
  void Move(Messages::TMessage& message);
  void MoveZ(Messages::TMessage& message);

  std::uint32_t GetRawDataFlag() const;

  bool FActive = false;
  std::unique_ptr<TCapabilities> FCapabilities;
  Integer FController = 0;
  TEventMode FEventMode = emThreshold;
  TJoystickForm* FJoystickForm = nullptr;
  Integer FPollingPeriod = 0;
  bool FRawData = false;
  Integer FThreshold = 0;
  TButtonDownEvent FOnButtonDown;
  TButtonUpEvent FOnButtonUp;
  TMoveEvent FOnMove;
  TMoveZEvent FOnMoveZ;
  // Shared with every capture window made by this component; false once the
  // component is destroyed, so that a window released earlier delivers nothing.
  std::shared_ptr<bool> FAlive;
};

}  // namespace vorlane::Joystick
