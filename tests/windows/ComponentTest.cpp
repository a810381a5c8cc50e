// TJoystick on Wine's winmm.dll, the service it calls on Windows by default: its
// queries, capabilities, capture and events over the stand-in's scripted devices,
// and the errors it raises for what winmm refuses. Values are in winmm's units
// (0 to 65535 on every axis).
#include "vorlane/Joystick.hpp"
#include "vorlane/JoystickBinding.hpp"
#include "vorlane/visual/Messages.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// After the framework's headers: <windows.h> defines some of their names as macros.
#include "Support.hpp"

namespace vorlane::wintest {
namespace {

using Joystick::EJoystickError;
using Joystick::TButtons;
using Joystick::TJoystick;
using System::Integer;
using System::TObject;

constexpr Integer kCentre = 32767;
constexpr Integer kTop = 65535;

// Runs this thread's loop, as an application does: it also dispatches the system's
// queue (winmm's capture timer and messages), until `done` holds.
bool pumpComponent(const std::function<bool()>& done, std::chrono::milliseconds limit = kPatience) {
  Messages::TThreadLoop& loop = Messages::TThreadLoop::Current();
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    loop.HandleMessage(10);
  }
  return true;
}
void pumpComponentFor(std::chrono::milliseconds duration) {
  pumpComponent([] { return false; }, duration);
}

// What `call` raised: its code and message, or code 0 when nothing was raised.
struct TRaised {
  Integer Code = 0;
  std::string Message;
};
template <typename F>
TRaised raised(F&& call) {
  try {
    call();
  } catch (const EJoystickError& e) {
    return {e.ErrorCode, e.what()};  // what(): the message in UTF-8
  }
  return {};
}

const char kBadDeviceId[] = "The specified joystick device identifier is invalid.";
const char kNotConnected[] = "The specified joystick is not connected to the system.";
const char kInvalidParameter[] = "An invalid parameter was passed.";

#define EXPECT_RAISES(call, code, text) \
  do {                                  \
    const TRaised r = raised(call);     \
    EXPECT_EQ(r.Code, code);            \
    EXPECT_EQ(r.Message, text);         \
  } while (false)

// Every event as one line of text.
struct TEvents {
  std::vector<std::string> Lines;
  std::size_t Count(const std::string& prefix) const {
    std::size_t n = 0;
    for (const std::string& line : Lines) n += line.starts_with(prefix);
    return n;
  }

  void ButtonDown(TObject*, TButtons changed, TButtons pressed, Integer x, Integer y) {
    Lines.push_back("down " + std::to_string(changed.Bits()) + " " +
                    std::to_string(pressed.Bits()) + " " + std::to_string(x) + " " +
                    std::to_string(y));
  }
  void ButtonUp(TObject*, TButtons changed, TButtons pressed, Integer x, Integer y) {
    Lines.push_back("up " + std::to_string(changed.Bits()) + " " + std::to_string(pressed.Bits()) +
                    " " + std::to_string(x) + " " + std::to_string(y));
  }
  void Move(TObject*, TButtons pressed, Integer x, Integer y) {
    Lines.push_back("move " + std::to_string(pressed.Bits()) + " " + std::to_string(x) + " " +
                    std::to_string(y));
  }
  void MoveZ(TObject*, TButtons pressed, Integer z) {
    Lines.push_back("movez " + std::to_string(pressed.Bits()) + " " + std::to_string(z));
  }

  void BindAll(TJoystick& joystick) {
    joystick.SetOnButtonDown(Joystick::TButtonDownEvent::Bind<&TEvents::ButtonDown>(this));
    joystick.SetOnButtonUp(Joystick::TButtonUpEvent::Bind<&TEvents::ButtonUp>(this));
    joystick.SetOnMove(Joystick::TMoveEvent::Bind<&TEvents::Move>(this));
    joystick.SetOnMoveZ(Joystick::TMoveZEvent::Bind<&TEvents::MoveZ>(this));
  }
};

TEST(WinmmComponent, IsBoundToTheSystemByDefault) {
  ASSERT_TRUE(claimWinmmWithoutDevices());
  EXPECT_EQ(&JoystickBinding::BoundService(), &JoystickBinding::SystemService());
  // What only winmm answers so: the project's service says JOYERR_PARMS.
  EXPECT_EQ(JoystickBinding::BoundService().SetThreshold(16, 0), MMSYSERR_INVALPARAM);
}

// --- no device ---------------------------------------------------------------------

TEST(WinmmComponentWithoutDevices, EveryQueryOfAnEmptySlotRaisesJoyerrParms) {
  ASSERT_TRUE(claimWinmmWithoutDevices());
  TJoystick joystick(nullptr);
  EXPECT_EQ(joystick.GetControllerCount(), 16);
  for (Integer n = 0; n <= 16; ++n) {
    SCOPED_TRACE(n);
    EXPECT_FALSE(joystick.GetAttached(n));
    EXPECT_RAISES([&] { joystick.GetControllerName(n); }, 165, kBadDeviceId);
  }
  for (Integer controller : {0, 15, 16}) {
    SCOPED_TRACE(controller);
    joystick.SetController(controller);
    EXPECT_RAISES([&] { joystick.GetPositionX(); }, 165, kBadDeviceId);
    EXPECT_RAISES([&] { joystick.GetCenteredV(); }, 165, kBadDeviceId);
    EXPECT_RAISES([&] { joystick.GetPointOfView(); }, 165, kBadDeviceId);
    EXPECT_RAISES([&] { joystick.GetPointOfViewDirection(); }, 165, kBadDeviceId);
    EXPECT_RAISES([&] { joystick.GetPressedButtons(); }, 165, kBadDeviceId);
    EXPECT_RAISES([&] { joystick.GetPressedButtonCount(); }, 165, kBadDeviceId);
    Joystick::TCapabilities& caps = *joystick.GetCapabilities();
    EXPECT_RAISES([&] { caps.GetProductName(); }, 165, kBadDeviceId);
    EXPECT_RAISES([&] { caps.GetButtonCount(); }, 165, kBadDeviceId);
    EXPECT_RAISES([&] { caps.GetFlags(); }, 165, kBadDeviceId);
  }
}

TEST(WinmmComponentWithoutDevices, ThresholdsOfEmptySlotsAreKeptAndCheckedByWinmm) {
  ASSERT_TRUE(claimWinmmWithoutDevices());
  TJoystick joystick(nullptr);
  joystick.SetController(3);
  EXPECT_EQ(joystick.GetThreshold(), 0);
  joystick.SetActive(true);  // no handler: nothing is captured, the threshold is sent
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  joystick.SetThreshold(1200);
  EXPECT_EQ(joystick.GetThreshold(), 1200);
  EXPECT_RAISES([&] { joystick.SetThreshold(65536); }, 11, kInvalidParameter);
  EXPECT_EQ(joystick.GetThreshold(), 1200);
  // Past the last slot the number is wrong; SetThreshold asks for the current
  // threshold first, so it raises the same (winmm's joySetThreshold would answer
  // MMSYSERR_INVALPARAM there, the project's service JOYERR_PARMS).
  joystick.SetController(16);
  EXPECT_RAISES([&] { joystick.GetThreshold(); }, 165, kBadDeviceId);
  EXPECT_RAISES([&] { joystick.SetThreshold(5); }, 165, kBadDeviceId);
}

TEST(WinmmComponentWithoutDevices, ActivatingAnEmptySlotRaisesUnpluggedAndStaysOff) {
  ASSERT_TRUE(claimWinmmWithoutDevices());
  TEvents events;
  TJoystick joystick(nullptr);
  events.BindAll(joystick);
  EXPECT_RAISES([&] { joystick.SetActive(true); }, 167, kNotConnected);
  EXPECT_FALSE(joystick.GetActive());
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  // Past the last slot the number itself is wrong.
  joystick.SetController(16);
  EXPECT_RAISES([&] { joystick.SetActive(true); }, 165, kBadDeviceId);
  EXPECT_FALSE(joystick.GetActive());
  pumpComponentFor(100ms);  // the released windows go
  EXPECT_TRUE(events.Lines.empty());
}

// --- scripted devices --------------------------------------------------------------

TEST(WinmmComponentWithDevices, QueriesAndCapabilitiesOfAPresentDevice) {
  ASSERT_TRUE(claimWinmm(kFlightStick));
  TJoystick joystick(nullptr);
  EXPECT_TRUE(joystick.GetAttached(0));
  EXPECT_TRUE(joystick.GetAttached(1));
  EXPECT_FALSE(joystick.GetAttached(2));
  EXPECT_EQ(System::StringToUtf8(joystick.GetControllerName(0)), "Wine joystick driver");

  Joystick::TCapabilities& caps = *joystick.GetCapabilities();
  EXPECT_EQ(caps.GetManufacturer(), 0x045e);
  EXPECT_EQ(caps.GetProduct(), 0x0007);
  EXPECT_EQ(System::StringToUtf8(caps.GetProductName()), "Wine joystick driver");
  EXPECT_EQ(System::StringToUtf8(caps.GetRegistryKey()), "DINPUT.DLL");
  EXPECT_EQ(System::StringToUtf8(caps.GetDriver()), "");
  EXPECT_EQ(caps.GetButtonCount(), 12);
  EXPECT_EQ(caps.GetMaxButtons(), 32);
  EXPECT_EQ(caps.GetAxesCount(), 6);  // seven axes, at most six counted
  EXPECT_EQ(caps.GetMaxAxes(), 6);
  EXPECT_EQ(caps.GetMinPeriod(), 10);
  EXPECT_EQ(caps.GetMaxPeriod(), 1000);
  EXPECT_EQ(caps.GetMinX(), 0);
  EXPECT_EQ(caps.GetMaxX(), kTop);
  EXPECT_EQ(caps.GetMaxV(), kTop);
  EXPECT_EQ(caps.GetFlags(),
            Joystick::TCapabilityFlags({Joystick::cfHasZ, Joystick::cfHasR, Joystick::cfHasU,
                                        Joystick::cfHasV, Joystick::cfHasPointOfView,
                                        Joystick::cfDiscretePointOfView}));

  // At rest: the script's initial values.
  EXPECT_EQ(joystick.GetPositionX(), kCentre);
  EXPECT_EQ(joystick.GetPositionR(), 0);
  EXPECT_EQ(joystick.GetPositionU(), kTop);
  EXPECT_EQ(joystick.GetPositionV(), 16416);  // Rx: 256 of 0..1023
  // winmm fills dwPOV only for JOY_RETURNPOV, not for JOY_RETURNPOVCTS alone, which
  // PointOfView asks for: it reads the record's initial 0 whatever the hat does.
  EXPECT_EQ(joystick.GetPointOfView(), 0);
  EXPECT_EQ(joystick.GetPointOfViewDirection(), Joystick::pdCentered);
  EXPECT_EQ(joystick.GetPressedButtonCount(), 0);

  ASSERT_TRUE(pumpComponent([&] { return joystick.GetPositionX() == kTop; }));
  EXPECT_EQ(joystick.GetPositionZ(), 19660);  // -40 of -100..100
  EXPECT_EQ(joystick.GetPointOfView(), 0);
  EXPECT_EQ(joystick.GetPointOfViewDirection(), Joystick::pdLeft);
  EXPECT_EQ(joystick.GetPressedButtons().Bits(), 0x801u);
  EXPECT_EQ(joystick.GetPressedButtonCount(), 2);
  // winmm takes no notice of raw data or centring: the same calibrated readings.
  joystick.SetRawData(true);
  EXPECT_EQ(joystick.GetPositionX(), kTop);
  EXPECT_EQ(joystick.GetCenteredZ(), 19660);

  // The second device's capabilities: a plain pad.
  joystick.SetController(1);
  EXPECT_EQ(caps.GetProduct(), 0x0002);
  EXPECT_EQ(caps.GetAxesCount(), 2);
  EXPECT_TRUE(caps.GetFlags().Empty());
}

constexpr char kMovesAndButtons[] = R"(
device 0
axis X 0 1023
axis Y 0 1023 1023
axis Z 0 1023
buttons 4
at 300 ms set X 530
at 900 ms set X 1023
at 1300 ms press button 2
at 1700 ms release button 2
)";

TEST(WinmmComponentCapture, ThresholdModeReportsMovesBeyondTheThresholdAndButtons) {
  ASSERT_TRUE(claimWinmm(kMovesAndButtons));
  TEvents events;
  TJoystick joystick(nullptr);
  events.BindAll(joystick);
  joystick.SetThreshold(2000);  // stored only: the component is not active
  joystick.SetActive(true);
  ASSERT_NE(joystick.GetJoystickForm(), nullptr);
  // The threshold went to winmm after the capture opened the device.
  EXPECT_EQ(joystick.GetThreshold(), 2000);
  ASSERT_TRUE(pumpComponent([&] { return events.Count("up") > 0; }));
  joystick.SetActive(false);
  // 530 of 0..1023 (33983) is within 2000 of the centre: no move for it. The
  // "up" carries the released button as pressed: winmm's bits 0-7 are the changed
  // buttons' state before the change.
  const std::vector<std::string> expected = {"move 0 65535 65535", "down 2 2 65535 65535",
                                             "up 2 2 65535 65535"};
  EXPECT_EQ(events.Lines, expected);
}

constexpr char kStill[] = R"(
device 0
axis X 0 1023 256
axis Y 0 1023 0
axis Z 0 1023 1023
buttons 4
)";

TEST(WinmmComponentCapture, PollingModeReportsEveryPeriodThresholdModeOnlyMoves) {
  ASSERT_TRUE(claimWinmm(kStill));
  TEvents events;
  TJoystick joystick(nullptr);
  events.BindAll(joystick);
  joystick.SetEventMode(Joystick::emPolling);
  joystick.SetPollingPeriod(20);
  joystick.SetActive(true);
  ASSERT_TRUE(
      pumpComponent([&] { return events.Count("move ") >= 3 && events.Count("movez") >= 3; }));
  // A z move carries X and Y, so OnMoveZ reports X (16416: 256 of 0..1023).
  for (const std::string& line : events.Lines) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(line == "move 0 16416 0" || line == "movez 0 16416");
  }
  // Back to threshold mode: a new capture that reports nothing while nothing moves.
  Joystick::TJoystickForm* polling = joystick.GetJoystickForm();
  joystick.SetEventMode(Joystick::emThreshold);
  EXPECT_NE(joystick.GetJoystickForm(), polling);
  events.Lines.clear();
  pumpComponentFor(300ms);
  EXPECT_TRUE(events.Lines.empty());
  joystick.SetActive(false);
}

TEST(WinmmComponentCapture, ReleaseStopsTheEventsAndANewCaptureStartsThem) {
  ASSERT_TRUE(claimWinmm(kStill));
  TEvents events;
  TJoystick joystick(nullptr);
  joystick.SetOnMove(Joystick::TMoveEvent::Bind<&TEvents::Move>(&events));
  joystick.SetEventMode(Joystick::emPolling);
  joystick.SetActive(true);
  ASSERT_TRUE(pumpComponent([&] { return events.Lines.size() >= 2; }));
  // A second component cannot capture the same controller.
  TJoystick other(nullptr);
  other.SetOnMove(Joystick::TMoveEvent::Bind<&TEvents::Move>(&events));
  EXPECT_RAISES([&] { other.SetActive(true); }, 166,
                "Cannot capture joystick input because a required service (such as a Windows "
                "timer) is unavailable.");
  EXPECT_FALSE(other.GetActive());

  joystick.SetActive(false);
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  events.Lines.clear();
  pumpComponentFor(200ms);  // twenty periods
  EXPECT_TRUE(events.Lines.empty());

  other.SetEventMode(Joystick::emPolling);
  other.SetActive(true);
  ASSERT_TRUE(pumpComponent([&] { return events.Lines.size() >= 2; }));
  other.SetActive(false);
}

// Switches its component off from inside an event, once.
struct TSwitchOff {
  TJoystick* Joystick = nullptr;
  int Calls = 0;
  void Move(TObject*, TButtons, Integer, Integer) {
    ++Calls;
    Joystick->SetActive(false);
  }
};

TEST(WinmmComponentCapture, AHandlerMaySwitchTheComponentOff) {
  ASSERT_TRUE(claimWinmm(kStill));
  TJoystick joystick(nullptr);
  TSwitchOff handler{&joystick};
  joystick.SetOnMove(Joystick::TMoveEvent::Bind<&TSwitchOff::Move>(&handler));
  joystick.SetEventMode(Joystick::emPolling);
  joystick.SetActive(true);
  ASSERT_TRUE(pumpComponent([&] { return handler.Calls > 0; }));
  EXPECT_FALSE(joystick.GetActive());
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  pumpComponentFor(200ms);  // the window goes; nothing more arrives
  EXPECT_EQ(handler.Calls, 1);
  // The capture was released at winmm: capturing again works.
  joystick.SetActive(true);
  ASSERT_TRUE(pumpComponent([&] { return handler.Calls > 1; }));
}

}  // namespace
}  // namespace vorlane::wintest
