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
//       // Raises EJoystickError when the controller cannot be captured.
//       FJoystick->SetActive(true);
//     }
//   };
//
// Threads. A TJoystick is used from one thread, the one that owns it (the GUI
// thread); nothing in it locks. Its capture window belongs to the thread that
// made the capture, and the events run there, one at a time, from that thread's
// message loop (Forms::Application().Run or TThreadLoop::HandleMessage): a thread
// that does not run its loop gets no events. Queries run synchronously on the
// calling thread.
//
// The service. Nothing is cached: every read of a live value (the positions, the
// hat, the buttons, ControllerCount, ControllerName, Attached, every property of
// TCapabilities, and Threshold outside the designer) is one call to the joystick
// service for the controller of that moment, so two reads are two moments. A call
// the service refuses raises EJoystickError (see Check); only ControllerCount and
// Attached never raise, their answer is the result itself.
//
// Capture. The component captures its controller exactly while it is Active, has
// at least one handler assigned, is not being designed (csDesigning) and has
// finished loading (csLoading clear); Active, the handlers and Loaded apply this
// rule, changes of Controller, EventMode and (in emPolling mode) PollingPeriod
// renew a standing capture. Each capture makes a new hidden TJoystickForm and calls
// joySetCapture(window, Controller, PollingPeriod, all bits in emThreshold mode or
// 0 in emPolling mode), then applies Threshold. Dropping it calls
// joyReleaseCapture(Controller) and hands the window to the deferred release, also
// when the service refuses; the refusal is then raised. A handler may switch the
// component off, change it or destroy it: the window delivering the message is
// freed only after the message has been handled, and a released window delivers
// nothing more. An exception a handler raises is not caught by the component; it
// goes back into the loop (Run reports a System::Exception and goes on).
//
// Form data. Stored when unlike their default: Active (false), Controller (0),
// EventMode (emThreshold), PollingPeriod (0), RawData (false), Threshold (0), and
// each handler when assigned. The live values, About and Capabilities are listed
// for the designer but never stored. While the data is read (csLoading) nothing is
// captured and no threshold is sent; Loaded does both.
#pragma once

#include <cstdint>
#include <memory>

#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/Closure.hpp"
#include "vorlane/runtime/Set.hpp"
#include "vorlane/runtime/System.hpp"
#include "vorlane/runtime/TypInfo.hpp"
#include "vorlane/visual/Forms.hpp"

namespace vorlane::Joystick {

using System::Integer;
using System::String;
using System::TObject;

// --- Errors -------------------------------------------------------------------

// A request refused by the joystick service: ErrorCode is the service's result code
// and the message says it in English, e.g. 167 "The specified joystick is not
// connected to the system.".
class EJoystickError : public System::Exception {
 public:
  EJoystickError(Integer errorCode, const String& msg);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  Integer ErrorCode;
};

// Returns when `code` is 0; raises EJoystickError with the code and its message
// otherwise: 2 "The specified joystick identifier is invalid.", 6 "The joystick
// driver is not present.", 11 "An invalid parameter was passed.", 165 "The
// specified joystick device identifier is invalid.", 166 "Cannot capture joystick
// input because a required service (such as a Windows timer) is unavailable.", 167
// "The specified joystick is not connected to the system."; any other code N
// "Unknown error N.".
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

// Event types: closures bound to an object; Sender is always the component. A
// handler counts as assigned when its code part is set. The events carry what the
// message holds and call no service: Pressed and Changed hold buttons 1 to 8 only,
// coordinates are 0 to 65535 (the low and high halves of the message's LParam).
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
// TJoystick captures its controller, and forwards them to the component. The
// messages of the first and the second joystick are treated alike.
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

// A live view of the capabilities of the owner's current controller: every read of
// a property is one joyGetDevCapsW for the owner's Controller of that moment, and
// raises EJoystickError when the service refuses it. Nothing is read when the
// object is made, Active and capture play no part, and writes are ignored. The
// strings end at their first zero unit (at most 32, or 260 for Driver); Manufacturer
// and Product are 0 to 65535; Flags is wCaps bits 0x1 to 0x40. Assign is the
// framework's, which refuses every source.
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
  // Inactive, controller 0, emThreshold, no handler; calls no service.
  explicit TJoystick(Classes::TComponent* owner);
  // Releases a standing capture first. A refusal cannot reach a caller from here:
  // it goes to Forms::Application().HandleException, and destruction goes on.
  ~TJoystick() override;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  // Settings (stored in form data). None checks a range: the service judges the
  // numbers when they are used.

  // Stores the value and applies the capture rule, also when the value is
  // unchanged. When that raises, Active is false again, nothing is captured and the
  // exception goes on to the caller.
  bool GetActive() const { return FActive; }
  void SetActive(bool value);
  // The service's controller number, 0 first. A change while capturing releases the
  // old controller, stores the number and captures the new one; when the release is
  // refused the exception comes at once and the old number stays, when the new
  // capture is refused the new number stays, nothing is captured and Active keeps
  // its value.
  Integer GetController() const { return FController; }
  void SetController(Integer value);
  // emThreshold (messages only on movement beyond Threshold) or emPolling (one
  // every PollingPeriod). A change renews a standing capture.
  TEventMode GetEventMode() const { return FEventMode; }
  void SetEventMode(TEventMode value);
  // Milliseconds between the service's polls. A change renews a standing capture in
  // emPolling mode only; in emThreshold mode the next capture uses it.
  Integer GetPollingPeriod() const { return FPollingPeriod; }
  void SetPollingPeriod(Integer value);
  // Uncalibrated readings: the queries ask with JOY_RETURNRAWDATA. Events and
  // capture are not affected.
  bool GetRawData() const { return FRawData; }
  void SetRawData(bool value) { FRawData = value; }
  // In the designer, the stored number. Otherwise reading asks the service
  // (joyGetThreshold for Controller, whether or not the component captures) and
  // raises when it refuses; writing reads first and does nothing when the value
  // is the service's already, else stores it and, when Active and loaded, sends it
  // (joySetThreshold), raising a refusal with the value stored. An inactive
  // component sends the stored value with its next capture, or in Loaded.
  Integer GetThreshold();
  void SetThreshold(Integer value);

  // "Version 4.6, " and a copyright line; writes are ignored.
  String GetAbout() const;
  void SetAbout(const String& value);
  // The same object for the component's whole life. Writing passes the value to
  // its Assign, which raises System::EConvertError for every value, nil included.
  TCapabilities* GetCapabilities() const { return FCapabilities.get(); }
  void SetCapabilities(TCapabilities* value);

  // Events. Each setter stores the handler and applies the capture rule; a capture
  // the service refuses raises, with the handler stored and Active unchanged.
  TButtonDownEvent GetOnButtonDown() const { return FOnButtonDown; }
  void SetOnButtonDown(TButtonDownEvent value);
  TButtonUpEvent GetOnButtonUp() const { return FOnButtonUp; }
  void SetOnButtonUp(TButtonUpEvent value);
  TMoveEvent GetOnMove() const { return FOnMove; }
  void SetOnMove(TMoveEvent value);
  TMoveZEvent GetOnMoveZ() const { return FOnMoveZ; }
  void SetOnMoveZ(TMoveZEvent value);

  // The capture window while input is captured, otherwise nullptr; a new object
  // after every renewal of the capture.
  TJoystickForm* GetJoystickForm() const { return FJoystickForm; }

  // Live queries, at any time and whatever Active, capture and the designer say:
  // each read is one joyGetPosEx for Controller (dwSize 52, the property's flags
  // and JOY_RETURNRAWDATA when RawData) and raises EJoystickError when the service
  // refuses it. The service's unsigned fields come back with the same 32 bits. The
  // Centered values add JOY_RETURNCENTERED; PointOfView is the continuous angle in
  // hundredths of a degree (65535 centred); PointOfViewDirection maps the discrete
  // one (0 forward, 9000 right, 18000 backward, 27000 left, low byte 0xFF centred,
  // anything else pdUnknown); PressedButtons holds all 32 buttons.
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

  // Questions about any controller number `index`, not only Controller, with no
  // range check. ControllerCount is joyGetNumDevs as it is (numbers 0 to count - 1,
  // attached or not); ControllerName is the device's name (joyGetDevCapsW) and
  // raises EJoystickError when the service refuses; Attached is whether joyGetPos
  // succeeds and never raises.
  Integer GetControllerCount() const;
  String GetControllerName(Integer index) const;
  bool GetAttached(Integer index) const;

  // The ignoring setters of the published live values: writing one changes nothing.
  void SetEmpty(Integer value);
  void SetPointOfViewDirection(TPointOfViewDirection value);
  void SetPressedButtons(TButtons value);

 protected:
  // After the framework's Loaded: applies the capture rule, then, when Active, the
  // stored Threshold. Catches nothing: a refused capture or threshold is raised
  // with Active left true.
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
