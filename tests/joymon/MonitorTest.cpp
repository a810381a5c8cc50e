// TMonitor, the part of joymon that keeps the component capturing while its
// controller comes and goes, on virtual controllers in this process.
#include <gtest/gtest.h>

#include "Monitor.hpp"
#include "Reading.hpp"
#include "ServiceFixture.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::JoyMon::testing {
namespace {

using VirtualJoystick::TAxis;

using JoymonMonitor = vorlane::testing::THermeticServiceTest;
using vorlane::testing::DrainMessages;

// Runs the loop until `log` holds an event, or two seconds have passed.
bool PumpUntilEvent(TEventLog& log) {
  return vorlane::testing::PumpUntil([&] { return log.Size() > 0; });
}

TEST_F(JoymonMonitor, CapturesAgainWhenItsControllerReturns) {
  VirtualJoystick::TVirtualController pad;
  TOptions options;
  options.Controller = static_cast<System::Integer>(pad.GetNumber());
  TMonitor monitor(options);
  monitor.Start(false);
  Joystick::TJoystick& joystick = monitor.Joystick();

  ASSERT_TRUE(monitor.Tick());
  EXPECT_TRUE(joystick.GetActive());
  ASSERT_NE(joystick.GetJoystickForm(), nullptr);
  pad.SetAxis(TAxis::X, 0);
  ASSERT_TRUE(PumpUntilEvent(monitor.Log()));
  EXPECT_EQ(monitor.Log().Recent(0).Kind, TEventKind::Move);

  pad.Unplug();
  EXPECT_FALSE(monitor.Tick());
  const TControllerReading away = ReadController(joystick);
  EXPECT_EQ(away.FirstError(), "The specified joystick is not connected to the system.");
  EXPECT_EQ(away.Axes[0].Position.ErrorCode, 167);

  pad.Replug();
  DrainMessages();
  monitor.Log().Clear();
  EXPECT_TRUE(monitor.Tick());
  EXPECT_TRUE(joystick.GetActive());
  ASSERT_NE(joystick.GetJoystickForm(), nullptr);
  EXPECT_TRUE(ReadController(joystick).FirstError().empty());
  pad.SetAxis(TAxis::X, 65535);
  ASSERT_TRUE(PumpUntilEvent(monitor.Log()));
  EXPECT_EQ(monitor.Log().Recent(0).Kind, TEventKind::Move);
  EXPECT_EQ(monitor.Log().Recent(0).X, 65535);
}

TEST_F(JoymonMonitor, RefusedCaptureIsTriedAgainOnTheNextTick) {
  VirtualJoystick::TVirtualController pad;
  TOptions options;
  options.Controller = static_cast<System::Integer>(pad.GetNumber());
  TMonitor monitor(options);
  monitor.Start(false);
  JoystickTesting::RefuseCall(JoystickTesting::TServiceCall::SetCapture, pad.GetNumber(),
                              JOYERR_NOCANDO, 1);

  EXPECT_TRUE(monitor.Tick());
  EXPECT_EQ(monitor.Joystick().GetJoystickForm(), nullptr);
  EXPECT_NE(monitor.Notice().find("Cannot capture controller"), std::string::npos)
      << monitor.Notice();
  EXPECT_NE(monitor.Notice().find("(error 166)"), std::string::npos) << monitor.Notice();

  EXPECT_TRUE(monitor.Tick());
  EXPECT_NE(monitor.Joystick().GetJoystickForm(), nullptr);
}

TEST_F(JoymonMonitor, SwitchesAmongAttachedControllersAndAppliesTheThreshold) {
  VirtualJoystick::TVirtualController first, second;
  TOptions options;
  options.Threshold = 300;
  TMonitor monitor(options);
  monitor.Start(false);
  Joystick::TJoystick& joystick = monitor.Joystick();
  EXPECT_EQ(joystick.GetController(), static_cast<System::Integer>(first.GetNumber()));
  monitor.Tick();
  EXPECT_EQ(joystick.GetThreshold(), 300);

  monitor.SwitchController(+1);
  EXPECT_EQ(joystick.GetController(), static_cast<System::Integer>(second.GetNumber()));
  monitor.Tick();
  EXPECT_NE(joystick.GetJoystickForm(), nullptr);
  EXPECT_EQ(joystick.GetThreshold(), 300);  // the wanted threshold follows the switch
  monitor.SwitchController(+1);
  EXPECT_EQ(joystick.GetController(), static_cast<System::Integer>(first.GetNumber()));
  monitor.SwitchController(-1);
  EXPECT_EQ(joystick.GetController(), static_cast<System::Integer>(second.GetNumber()));

  monitor.ChangeThreshold(-TMonitor::ThresholdStep);
  EXPECT_EQ(joystick.GetThreshold(), 0);  // clamped at 0
  monitor.ChangeThreshold(+TMonitor::ThresholdStep);
  EXPECT_EQ(joystick.GetThreshold(), 1000);
}

TEST_F(JoymonMonitor, DemoStepsInOnlyWhenNothingIsAttached) {
  {
    TOptions options;
    TMonitor monitor(options);
    monitor.Start(true);
    EXPECT_TRUE(monitor.HasDemo());
    EXPECT_TRUE(monitor.DemoChosenByJoymon());
    EXPECT_TRUE(monitor.Tick());
  }
  VirtualJoystick::TVirtualController pad;
  TOptions options;
  TMonitor monitor(options);
  monitor.Start(true);
  EXPECT_FALSE(monitor.HasDemo());
  EXPECT_EQ(monitor.Joystick().GetController(), static_cast<System::Integer>(pad.GetNumber()));
}

}  // namespace
}  // namespace vorlane::JoyMon::testing
