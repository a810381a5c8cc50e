// Which service the component calls: the project's on Linux always; on Windows
// winmm.dll by default and the project's once bound to it (as every test program
// is, from its start).
#include "vorlane/JoystickBinding.hpp"

#include <gtest/gtest.h>

#include "Support.hpp"

// After the framework's headers, whose names (WM_USER) it defines as macros.
#ifdef _WIN32
#include <windows.h>
#endif

namespace vorlane::Joystick::testing {
namespace {

using JoystickBinding::BoundService;
using JoystickBinding::SystemService;
using JoystickBinding::TServiceFunctions;
using JoystickBinding::VorlaneService;

class JoystickBindingTest : public ServiceTest {
 protected:
  ~JoystickBindingTest() override { JoystickBinding::UseVorlaneService(); }
};

// How many calls of the project's service one query of each kind makes.
std::size_t CallsOfQueries(TJoystick& joystick) {
  JoystickTesting::StartCallLog();
  joystick.GetControllerCount();
  joystick.GetAttached(0);
  try {
    joystick.GetPositionX();
  } catch (const EJoystickError&) {
    // Whatever the bound service answers for controller 0.
  }
  return JoystickTesting::GetCallLog().size();
}

// Whether two tables hold the same functions.
bool Same(const TServiceFunctions& a, const TServiceFunctions& b) {
  return a.GetNumDevs == b.GetNumDevs && a.GetPos == b.GetPos && a.GetPosEx == b.GetPosEx &&
         a.GetDevCapsW == b.GetDevCapsW && a.GetThreshold == b.GetThreshold &&
         a.SetThreshold == b.SetThreshold && a.SetCapture == b.SetCapture &&
         a.ReleaseCapture == b.ReleaseCapture;
}

TEST_F(JoystickBindingTest, TheProjectsServiceIsBoundForTheTests) {
  EXPECT_TRUE(Same(BoundService(), VorlaneService()));
  EXPECT_EQ(VorlaneService().GetPosEx, &::joyGetPosEx);
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetController(static_cast<Integer>(pad.GetNumber()));
  EXPECT_TRUE(joystick.GetAttached(joystick.GetController()));
  EXPECT_EQ(CallsOfQueries(joystick), 3u);
}

#ifdef _WIN32

TEST_F(JoystickBindingTest, OnWindowsTheSystemServiceIsWinmm) {
  // Wine's winmm and the project's service answer a threshold for number 16
  // differently (without opening any device).
  const TServiceFunctions& system = SystemService();
  EXPECT_EQ(system.SetThreshold(16, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(VorlaneService().SetThreshold(16, 0), JOYERR_PARMS);
  EXPECT_EQ(system.GetNumDevs(), 16u);
  // The project's DLL exports the joy* functions under winmm's names, and its
  // table holds those exports.
  HMODULE service = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(VorlaneService().GetPosEx)), &service));
  EXPECT_NE(service, GetModuleHandleW(L"winmm.dll"));
  const auto exported = [&](auto function, const char* name) {
    return reinterpret_cast<void*>(function) ==
           reinterpret_cast<void*>(GetProcAddress(service, name));
  };
  const TServiceFunctions& vorlane = VorlaneService();
  EXPECT_TRUE(exported(vorlane.GetNumDevs, "joyGetNumDevs"));
  EXPECT_TRUE(exported(vorlane.GetPos, "joyGetPos"));
  EXPECT_TRUE(exported(vorlane.GetPosEx, "joyGetPosEx"));
  EXPECT_TRUE(exported(vorlane.GetDevCapsW, "joyGetDevCapsW"));
  EXPECT_TRUE(exported(vorlane.GetThreshold, "joyGetThreshold"));
  EXPECT_TRUE(exported(vorlane.SetThreshold, "joySetThreshold"));
  EXPECT_TRUE(exported(vorlane.SetCapture, "joySetCapture"));
  EXPECT_TRUE(exported(vorlane.ReleaseCapture, "joyReleaseCapture"));
}

TEST_F(JoystickBindingTest, BoundToTheSystemTheComponentLeavesTheProjectsServiceAlone) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  JoystickBinding::UseSystemService();
  EXPECT_EQ(&BoundService(), &SystemService());
  // Only calls that open no device: this suite has no DirectInput for winmm.
  JoystickTesting::StartCallLog();
  EXPECT_EQ(joystick.GetControllerCount(), 16);
  joystick.SetController(16);
  EXPECT_THROW(joystick.SetThreshold(1), EJoystickError);
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());

  JoystickBinding::UseVorlaneService();
  joystick.SetController(0);
  EXPECT_EQ(CallsOfQueries(joystick), 3u);
}

#else

TEST_F(JoystickBindingTest, OnLinuxTheSystemServiceIsTheProjectsOwn) {
  EXPECT_TRUE(Same(SystemService(), VorlaneService()));
  JoystickBinding::UseSystemService();
  EXPECT_TRUE(Same(BoundService(), VorlaneService()));
  TJoystick joystick(nullptr);
  EXPECT_EQ(CallsOfQueries(joystick), 3u);
}

#endif

}  // namespace
}  // namespace vorlane::Joystick::testing
