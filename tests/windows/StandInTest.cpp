// The dinput8 stand-in on its own: its script language and the DirectInput
// behaviour that winmm relies on.
#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "Support.hpp"
#include "dinput8/DeviceScript.hpp"

namespace vorlane::wintest {
namespace {

using dinput::AxisKind;
using dinput::parseScript;
using dinput::ScriptError;
using dinput::Step;

TEST(DeviceScript, ReadsDevicesAndSteps) {
  dinput::DeviceScript script = parseScript(
      "# a comment line\n"
      "device 0   # two of them\n"
      "name  Left Stick  \n"
      "vidpid 0x045E 028e\n"
      "axis X -512 511\n"
      "axis Slider 0 255 7\n"
      "axis slider 0 100\n"
      "hat\n"
      "buttons 12\n"
      "device 1\n"
      "unplugged\n"
      "\n"
      "at 0ms set Slider2 100\n"
      "at 50 ms set device 0 X -512\n"
      "at 50 ms press button 12\n"
      "at 60 MS release device 0 button 1\n"
      "at 70 ms hat 9000\n"
      "at 80 ms hat center\n"
      "at 90 ms plug device 1\r\n"
      "at 95 ms unplug device 1");
  ASSERT_EQ(script.devices.size(), 2u);
  const dinput::ScriptedDevice& stick = script.devices[0];
  EXPECT_EQ(stick.name, "Left Stick");
  EXPECT_EQ(stick.vendor, 0x045e);
  EXPECT_EQ(stick.product, 0x028e);
  ASSERT_EQ(stick.axes.size(), 3u);
  EXPECT_EQ(stick.axes[0].initial, -1);  // the middle, rounded down
  EXPECT_EQ(stick.axes[1].initial, 7);
  EXPECT_TRUE(stick.hat);
  EXPECT_EQ(stick.buttons, 12);
  EXPECT_TRUE(stick.attached);
  EXPECT_FALSE(script.devices[1].attached);
  EXPECT_EQ(script.devices[1].name, "Vorlane Scripted Joystick 1");

  ASSERT_EQ(script.steps.size(), 8u);
  EXPECT_EQ(script.steps[0].index, 2);  // the second slider
  EXPECT_EQ(script.steps[0].value, 100);
  EXPECT_EQ(script.steps[2].action, Step::Action::Press);
  EXPECT_EQ(script.steps[2].index, 11);  // buttons count from 1 in scripts
  EXPECT_EQ(script.steps[3].atMs, 60u);
  EXPECT_EQ(script.steps[5].value, dinput::kHatCentred);
  EXPECT_EQ(script.steps[6].device, 1);
  EXPECT_EQ(script.steps[7].action, Step::Action::Unplug);
  EXPECT_EQ(script.steps[7].line, 20);
}

TEST(DeviceScript, NamesTheLineAndTheProblem) {
  struct Case {
    const char* text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"axis X 0 1", 1, "\"axis\" outside a device: begin with \"device 0\""},
      {"device 1", 1, "devices are numbered in order: expected device 0"},
      {"device 0\ndevice 1\ndevice 2\ndevice 3\ndevice 4", 5, "at most 4 devices"},
      {"device 0\naxis W 0 1", 2, "unknown axis \"W\": X, Y, Z, Rx, Ry, Rz or Slider"},
      {"device 0\naxis X 0 1\naxis X 0 1", 3, "the device already has an axis X"},
      {"device 0\naxis Slider 0 1\naxis Slider 0 1\naxis Slider 0 1", 4, "at most 2 sliders"},
      {"device 0\naxis X 5 5", 2, "the axis minimum must be below its maximum"},
      {"device 0\naxis X 0 10 11", 2, "the initial value must lie from 0 to 10, found 11"},
      {"device 0\naxis X 0 ten", 2, "the axis maximum must be a whole number, found \"ten\""},
      {"device 0\naxis X 0", 2, "expected the axis maximum at the end of the line"},
      {"device 0\nbuttons 129", 2, "the button count must lie from 0 to 128, found 129"},
      {"device 0\nhat\nhat", 3, "the device already has a hat"},
      {"device 0\nvidpid 12345 1", 2, "the vendor id must lie from 0 to 65535, found 12345"},
      {"device 0\nname", 2, "expected a name after \"name\""},
      {"device 0\nbuttons 2 extra", 2, "unexpected \"extra\" at the end of the line"},
      {"device 0\nwheel", 2, "unknown keyword \"wheel\""},
      {"at 5 ms set X 1", 1, "a step before any device"},
      {"device 0\naxis X 0 9\nat 5 ms set X 1\nbuttons 2", 4,
       "\"buttons\" after the first step: devices come first"},
      {"device 0\naxis X 0 9\nat 5 set X 1", 3, "expected \"ms\", found \"set\""},
      {"device 0\naxis X 0 9\nat 9 ms set X 1\nat 8 ms set X 2", 4,
       "steps go forward in time: 8 ms is before 9 ms"},
      {"device 0\naxis X 0 9\nat 3600001 ms set X 1", 3,
       "the time must lie from 0 to 3600000, found 3600001"},
      {"device 0\naxis X 0 9\nat 1 ms set Y 1", 3, "device 0 has no Y axis"},
      {"device 0\naxis X 0 9\nat 1 ms set device 1 X 1", 3, "device 1 is not declared"},
      {"device 0\naxis X 0 9\nat 1 ms press button 1", 3, "device 0 has no buttons"},
      {"device 0\nbuttons 2\nat 1 ms press button 3", 3,
       "the button number must lie from 1 to 2, found 3"},
      {"device 0\nbuttons 2\nat 1 ms release button", 3,
       "expected the button number at the end of the line"},
      {"device 0\nbuttons 2\nat 1 ms hat 0", 3, "device 0 has no hat"},
      {"device 0\nhat\nat 1 ms hat 36000", 3,
       "the hat angle must lie from 0 to 35999, found 36000"},
      {"device 0\nhat\nat 1 ms wiggle", 3,
       "unknown action \"wiggle\": set, press, release, hat, unplug or plug"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      parseScript(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const ScriptError& error) {
      EXPECT_EQ(error.line(), c.line);
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

using CreateFunction = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, void**, IUnknown*);

// DirectInput from the stand-in beside the test program, over `script`.
HRESULT createDirectInput(const char* script, ComRef<IDirectInput8W>& out) {
  ScriptFile file(script);
  return DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8W,
                            out.putVoid(), nullptr);
}

TEST(StandIn, IsTheDllBesideTheProgram) {
  // The test program links dinput8.dll; with dinput8=n that is the stand-in.
  HMODULE module = GetModuleHandleW(L"dinput8.dll");
  ASSERT_NE(module, nullptr);
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(module, path, MAX_PATH);
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring folder(program, std::wstring(program).rfind(L'\\'));
  std::wstring expected = folder + L"\\dinput8.dll";  // file names ignore case
  EXPECT_EQ(CompareStringOrdinal(path, -1, expected.c_str(), -1, TRUE), CSTR_EQUAL) << narrow(path);
  EXPECT_NE(GetProcAddress(module, "DllCanUnloadNow"), nullptr);
}

TEST(StandIn, ABadScriptFailsTheCreationWithItsLine) {
  ComRef<IDirectInput8W> input;
  std::string error = captureStderr([&] {
    EXPECT_EQ(createDirectInput("device 0\naxis X 0 9\n\nat 1 ms set X 10\n", input),
              DIERR_INVALIDPARAM);
  });
  EXPECT_FALSE(input);
  EXPECT_NE(error.find(":4: the axis value must lie from 0 to 9, found 10\n"), std::string::npos)
      << error;
  EXPECT_EQ(error.rfind("dinput8 stand-in: ", 0), 0u) << error;

  SetEnvironmentVariableW(L"VORLANE_DINPUT_SCRIPT", L"C:\\no\\such\\script.txt");
  error = captureStderr([&] {
    EXPECT_EQ(DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8W,
                                 input.putVoid(), nullptr),
              DIERR_NOTFOUND);
  });
  SetEnvironmentVariableW(L"VORLANE_DINPUT_SCRIPT", nullptr);
  EXPECT_NE(error.find("C:\\no\\such\\script.txt: cannot read the script"), std::string::npos)
      << error;
}

TEST(StandIn, CreationChecksItsArguments) {
  ComRef<IDirectInput8W> input;
  HINSTANCE self = GetModuleHandleW(nullptr);
  EXPECT_EQ(DirectInput8Create(self, 0x0700, IID_IDirectInput8W, input.putVoid(), nullptr),
            DIERR_OLDDIRECTINPUTVERSION);
  EXPECT_EQ(DirectInput8Create(self, 0x0900, IID_IDirectInput8W, input.putVoid(), nullptr),
            DIERR_BETADIRECTINPUTVERSION);
  EXPECT_EQ(DirectInput8Create(nullptr, 0x0800, IID_IDirectInput8W, input.putVoid(), nullptr),
            DIERR_INVALIDPARAM);
  EXPECT_EQ(DirectInput8Create(self, 0x0800, IID_IDirectInput8A, input.putVoid(), nullptr),
            DIERR_NOINTERFACE);
  // No script: DirectInput with no devices.
  SetEnvironmentVariableW(L"VORLANE_DINPUT_SCRIPT", nullptr);
  ASSERT_EQ(DirectInput8Create(self, 0x0800, IID_IDirectInput8W, input.putVoid(), nullptr), DI_OK);
  int seen = 0;
  auto count = [](const DIDEVICEINSTANCEW*, void* context) -> BOOL {
    ++*static_cast<int*>(context);
    return DIENUM_CONTINUE;
  };
  EXPECT_EQ(input->EnumDevices(DI8DEVCLASS_ALL, count, &seen, DIEDFL_ATTACHEDONLY), DI_OK);
  EXPECT_EQ(seen, 0);
}

constexpr char kTwoDevices[] = R"(
device 0
name Stand-in Stick
vidpid 045e 0007
axis X 0 1023
axis Y 0 1023
axis Slider 0 255 255
hat
buttons 3
device 1
name Spare Pad
unplugged
axis X 0 255
axis Y 0 255
)";

std::vector<DIDEVICEINSTANCEW> enumerate(IDirectInput8W* input, DWORD type, DWORD flags) {
  std::vector<DIDEVICEINSTANCEW> found;
  auto collect = [](const DIDEVICEINSTANCEW* device, void* context) -> BOOL {
    static_cast<std::vector<DIDEVICEINSTANCEW>*>(context)->push_back(*device);
    return DIENUM_CONTINUE;
  };
  EXPECT_EQ(input->EnumDevices(type, collect, &found, flags), DI_OK);
  return found;
}

TEST(StandIn, EnumeratesTheAttachedGameControllers) {
  ComRef<IDirectInput8W> input;
  ASSERT_EQ(createDirectInput(kTwoDevices, input), DI_OK);
  std::vector<DIDEVICEINSTANCEW> attached =
      enumerate(input.get(), DI8DEVCLASS_GAMECTRL, DIEDFL_ATTACHEDONLY);
  ASSERT_EQ(attached.size(), 1u);
  EXPECT_STREQ(attached[0].tszProductName, L"Stand-in Stick");
  EXPECT_EQ(attached[0].dwDevType & 0xff, DWORD(DI8DEVTYPE_JOYSTICK));
  EXPECT_EQ(attached[0].guidProduct.Data1, DWORD(MAKELONG(0x045e, 0x0007)));
  EXPECT_EQ(enumerate(input.get(), DI8DEVCLASS_ALL, 0).size(), 1u);
  EXPECT_EQ(enumerate(input.get(), DI8DEVCLASS_GAMECTRL, DIEDFL_INCLUDEPHANTOMS).size(), 2u);
  EXPECT_TRUE(enumerate(input.get(), DI8DEVCLASS_KEYBOARD, 0).empty());
  EXPECT_TRUE(enumerate(input.get(), DI8DEVTYPE_GAMEPAD, 0).empty());
  EXPECT_EQ(input->EnumDevices(
                0x30, [](const DIDEVICEINSTANCEW*, void*) -> BOOL { return 0; }, nullptr, 0),
            DIERR_INVALIDPARAM);

  std::vector<DIDEVICEINSTANCEW> all =
      enumerate(input.get(), DI8DEVCLASS_GAMECTRL, DIEDFL_INCLUDEPHANTOMS);
  EXPECT_EQ(input->GetDeviceStatus(all[0].guidInstance), DI_OK);
  EXPECT_EQ(input->GetDeviceStatus(all[1].guidInstance), DI_NOTATTACHED);
  ComRef<IDirectInputDevice8W> device;
  EXPECT_EQ(input->CreateDevice(all[1].guidInstance, device.put(), nullptr), DIERR_DEVICENOTREG);
  EXPECT_EQ(input->CreateDevice(GUID_SysKeyboard, device.put(), nullptr), DIERR_DEVICENOTREG);
  ASSERT_EQ(input->CreateDevice(all[0].guidInstance, device.put(), nullptr), DI_OK);

  DIDEVICEINSTANCEW info{};
  info.dwSize = sizeof info;
  ASSERT_EQ(device->GetDeviceInfo(&info), DI_OK);
  EXPECT_TRUE(IsEqualGUID(info.guidInstance, all[0].guidInstance));
  DIPROPDWORD vidpid{{sizeof vidpid, sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 0};
  ASSERT_EQ(device->GetProperty(DIPROP_VIDPID, &vidpid.diph), DI_OK);
  EXPECT_EQ(vidpid.dwData, DWORD(MAKELONG(0x045e, 0x0007)));
  DIPROPSTRING name{{sizeof name, sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, {}};
  ASSERT_EQ(device->GetProperty(DIPROP_PRODUCTNAME, &name.diph), DI_OK);
  EXPECT_STREQ(name.wsz, L"Stand-in Stick");
  EXPECT_EQ(device->SetProperty(DIPROP_VIDPID, &vidpid.diph), DIERR_READONLY);

  DIDEVCAPS caps{};
  caps.dwSize = sizeof caps;
  ASSERT_EQ(device->GetCapabilities(&caps), DI_OK);
  EXPECT_EQ(caps.dwAxes, 3u);
  EXPECT_EQ(caps.dwButtons, 3u);
  EXPECT_EQ(caps.dwPOVs, 1u);
  EXPECT_EQ(caps.dwFlags, DWORD(DIDC_ATTACHED));
  caps.dwSize = 7;
  EXPECT_EQ(device->GetCapabilities(&caps), DIERR_INVALIDPARAM);
}

// A device of `script`'s first controller, set to DIJOYSTATE2 but not acquired.
void openFirst(const char* script, ComRef<IDirectInput8W>& input,
               ComRef<IDirectInputDevice8W>& device) {
  ASSERT_EQ(createDirectInput(script, input), DI_OK);
  std::vector<DIDEVICEINSTANCEW> all =
      enumerate(input.get(), DI8DEVCLASS_GAMECTRL, DIEDFL_ATTACHEDONLY);
  ASSERT_FALSE(all.empty());
  ASSERT_EQ(input->CreateDevice(all[0].guidInstance, device.put(), nullptr), DI_OK);
  ASSERT_EQ(device->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
  ASSERT_EQ(device->SetDataFormat(&c_dfDIJoystick2), DI_OK);
}

TEST(StandIn, StateThroughTheStandardJoystickFormat) {
  ComRef<IDirectInput8W> input;
  ComRef<IDirectInputDevice8W> device;
  ASSERT_NO_FATAL_FAILURE(openFirst(kTwoDevices, input, device));
  DIJOYSTATE2 state{};
  EXPECT_EQ(device->GetDeviceState(sizeof state, &state), DIERR_NOTACQUIRED);
  ASSERT_EQ(device->Acquire(), DI_OK);
  EXPECT_EQ(device->Acquire(), DI_NOEFFECT);
  EXPECT_EQ(device->SetDataFormat(&c_dfDIJoystick), DIERR_ACQUIRED);
  EXPECT_EQ(device->GetDeviceState(sizeof(DIJOYSTATE), &state), DIERR_INVALIDPARAM);
  std::memset(&state, 0x55, sizeof state);
  ASSERT_EQ(device->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, 32767);
  EXPECT_EQ(state.lZ, 0);  // the device has no Z
  EXPECT_EQ(state.rglSlider[0], 65535);
  EXPECT_EQ(state.rglSlider[1], 0);
  EXPECT_EQ(state.rgdwPOV[0], 0xffffffffu);  // centred
  EXPECT_EQ(state.rgdwPOV[1], 0xffffffffu);  // missing hats read as centred
  EXPECT_EQ(state.rgbButtons[0], 0);
  EXPECT_EQ(state.lVX, 0);
  EXPECT_EQ(device->Poll(), DI_NOEFFECT);
  EXPECT_EQ(device->Unacquire(), DI_OK);
  EXPECT_EQ(device->Unacquire(), DI_NOEFFECT);
  EXPECT_EQ(device->Poll(), DIERR_NOTACQUIRED);
}

TEST(StandIn, DataFormatsMatchControlsByGuidTypeAndInstance) {
  ComRef<IDirectInput8W> input;
  ComRef<IDirectInputDevice8W> device;
  ASSERT_NO_FATAL_FAILURE(openFirst(kTwoDevices, input, device));
  struct Data {
    LONG slider;
    LONG anyAxis;
    LONG pov;
    BYTE thirdButton;
    BYTE pad[3];
  };
  DIOBJECTDATAFORMAT objects[] = {
      {&GUID_Slider, offsetof(Data, slider), DIDFT_AXIS | DIDFT_ANYINSTANCE, 0},
      // No GUID: the first axis not taken yet, X.
      {nullptr, offsetof(Data, anyAxis), DIDFT_AXIS | DIDFT_ANYINSTANCE, 0},
      {&GUID_POV, offsetof(Data, pov), DIDFT_POV | DIDFT_ANYINSTANCE, 0},
      {nullptr, offsetof(Data, thirdButton), DIDFT_BUTTON | DIDFT_MAKEINSTANCE(2), 0},
  };
  DIDATAFORMAT format{sizeof format, sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS, sizeof(Data), 4,
                      objects};
  ASSERT_EQ(device->SetDataFormat(&format), DI_OK);

  DIDEVICEOBJECTINSTANCEW object{};
  object.dwSize = sizeof object;
  ASSERT_EQ(device->GetObjectInfo(&object, offsetof(Data, anyAxis), DIPH_BYOFFSET), DI_OK);
  EXPECT_TRUE(IsEqualGUID(object.guidType, GUID_XAxis));
  EXPECT_EQ(object.dwOfs, offsetof(Data, anyAxis));
  ASSERT_EQ(device->GetObjectInfo(&object, offsetof(Data, thirdButton), DIPH_BYOFFSET), DI_OK);
  EXPECT_EQ(DIDFT_GETINSTANCE(object.dwType), 2u);
  EXPECT_EQ(device->GetObjectInfo(&object, 60, DIPH_BYOFFSET), DIERR_NOTFOUND);
  ASSERT_EQ(device->GetObjectInfo(&object, MAKELONG(0x31, 0x01), DIPH_BYUSAGE), DI_OK);
  EXPECT_TRUE(IsEqualGUID(object.guidType, GUID_YAxis));
  EXPECT_EQ(device->GetObjectInfo(&object, 0, DIPH_DEVICE), DIERR_INVALIDPARAM);

  // A control the device lacks fails the format unless it is optional.
  DIOBJECTDATAFORMAT rz = {&GUID_RzAxis, 0, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
  DIDATAFORMAT needsRz{sizeof needsRz, sizeof rz, DIDF_ABSAXIS, 4, 1, &rz};
  EXPECT_EQ(device->SetDataFormat(&needsRz), DIERR_INVALIDPARAM);
  rz.dwType |= DIDFT_OPTIONAL;
  EXPECT_EQ(device->SetDataFormat(&needsRz), DI_OK);
  // An object must fit in the data.
  DIOBJECTDATAFORMAT beyond = {&GUID_XAxis, 2, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
  DIDATAFORMAT tooSmall{sizeof tooSmall, sizeof beyond, DIDF_ABSAXIS, 4, 1, &beyond};
  EXPECT_EQ(device->SetDataFormat(&tooSmall), DIERR_INVALIDPARAM);

  ASSERT_EQ(device->SetDataFormat(&format), DI_OK);
  ASSERT_EQ(device->Acquire(), DI_OK);
  Data data{};
  ASSERT_EQ(device->GetDeviceState(sizeof data, &data), DI_OK);
  EXPECT_EQ(data.slider, 65535);
  EXPECT_EQ(data.anyAxis, 32767);
  EXPECT_EQ(data.pov, -1);
}

constexpr char kRanges[] = R"(
device 0
axis X 0 1023
axis Y -100 100
axis Z 0 1023
at 0 ms set X 767
at 0 ms set Y -100
)";

TEST(StandIn, AxesScaleIntoTheApplicationsRange) {
  ComRef<IDirectInput8W> input;
  ComRef<IDirectInputDevice8W> device;
  ASSERT_NO_FATAL_FAILURE(openFirst(kRanges, input, device));
  DIPROPRANGE range{{sizeof range, sizeof(DIPROPHEADER), DIJOFS_X, DIPH_BYOFFSET}, 0, 0};
  ASSERT_EQ(device->GetProperty(DIPROP_RANGE, &range.diph), DI_OK);
  EXPECT_EQ(range.lMin, 0);
  EXPECT_EQ(range.lMax, 65535);
  ASSERT_EQ(device->GetProperty(DIPROP_LOGICALRANGE, &range.diph), DI_OK);
  EXPECT_EQ(range.lMax, 1023);
  range.diph.dwObj = DIJOFS_Y;
  ASSERT_EQ(device->GetProperty(DIPROP_PHYSICALRANGE, &range.diph), DI_OK);
  EXPECT_EQ(range.lMin, -100);
  range.diph.dwObj = DIJOFS_RZ;
  EXPECT_EQ(device->GetProperty(DIPROP_RANGE, &range.diph), DIERR_NOTFOUND);
  range.diph.dwObj = DIJOFS_BUTTON0;
  EXPECT_EQ(device->GetProperty(DIPROP_RANGE, &range.diph), DIERR_NOTFOUND);
  range.diph.dwHow = DIPH_DEVICE;
  range.diph.dwObj = 0;
  EXPECT_EQ(device->GetProperty(DIPROP_RANGE, &range.diph), DIERR_UNSUPPORTED);

  // Every axis to -1000..1000, then Z alone to 0..10.
  range.lMin = -1000;
  range.lMax = 1000;
  ASSERT_EQ(device->SetProperty(DIPROP_RANGE, &range.diph), DI_OK);
  range.diph.dwHow = DIPH_BYOFFSET;
  range.diph.dwObj = DIJOFS_Z;
  range.lMin = 0;
  range.lMax = 10;
  ASSERT_EQ(device->SetProperty(DIPROP_RANGE, &range.diph), DI_OK);
  range.lMin = 11;
  EXPECT_EQ(device->SetProperty(DIPROP_RANGE, &range.diph), DIERR_INVALIDPARAM);

  ASSERT_EQ(device->Acquire(), DI_OK);
  DIJOYSTATE2 state{};
  ASSERT_EQ(device->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, 500);    // 767 of 0..1023: halfway up the upper half
  EXPECT_EQ(state.lY, -1000);  // the bottom of -100..100
  EXPECT_EQ(state.lZ, 5);      // the centre of 0..1023 in 0..10
}

constexpr char kMovesAndUnplugs[] = R"(
device 0
axis X 0 1023
axis Y 0 1023
at 100 ms set X 1023
at 300 ms unplug
at 500 ms plug
)";

TEST(StandIn, SignalsChangesAndLosesAnUnpluggedDevice) {
  ComRef<IDirectInput8W> input;
  ComRef<IDirectInputDevice8W> device;
  ASSERT_NO_FATAL_FAILURE(openFirst(kMovesAndUnplugs, input, device));
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_EQ(device->SetEventNotification(event), DI_OK);
  ASSERT_EQ(device->Acquire(), DI_OK);  // starts the clock
  EXPECT_EQ(device->SetEventNotification(nullptr), DIERR_ACQUIRED);
  DIJOYSTATE2 state{};
  ASSERT_EQ(device->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, 32767);

  ASSERT_EQ(WaitForSingleObject(event, DWORD(kPatience.count())), WAIT_OBJECT_0);
  ASSERT_EQ(device->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, 65535);

  ASSERT_EQ(WaitForSingleObject(event, DWORD(kPatience.count())), WAIT_OBJECT_0);
  EXPECT_EQ(device->GetDeviceState(sizeof state, &state), DIERR_INPUTLOST);
  EXPECT_EQ(device->Poll(), DIERR_INPUTLOST);
  DIDEVCAPS caps{};
  caps.dwSize = sizeof caps;
  ASSERT_EQ(device->GetCapabilities(&caps), DI_OK);
  EXPECT_EQ(caps.dwFlags, 0u);

  // Plugged in again, the device stays lost until it is acquired anew.
  ASSERT_EQ(WaitForSingleObject(event, DWORD(kPatience.count())), WAIT_OBJECT_0);
  EXPECT_EQ(device->GetDeviceState(sizeof state, &state), DIERR_INPUTLOST);
  ASSERT_EQ(device->Unacquire(), DI_OK);
  ASSERT_EQ(device->Acquire(), DI_OK);
  EXPECT_EQ(device->GetDeviceState(sizeof state, &state), DI_OK);
  device.reset();
  CloseHandle(event);
}

TEST(StandIn, CooperativeLevelsAreChecked) {
  ComRef<IDirectInput8W> input;
  ComRef<IDirectInputDevice8W> device;
  ASSERT_NO_FATAL_FAILURE(openFirst(kTwoDevices, input, device));
  EXPECT_EQ(device->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE), DIERR_INVALIDPARAM);
  EXPECT_EQ(
      device->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_BACKGROUND),
      DIERR_INVALIDPARAM);
  EXPECT_EQ(device->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_BACKGROUND), E_HANDLE);
  CaptureWindow window;
  EXPECT_EQ(device->SetCooperativeLevel(window.handle(), DISCL_EXCLUSIVE | DISCL_FOREGROUND),
            DI_OK);
  // A message-only window is never in the foreground.
  EXPECT_EQ(device->Acquire(), DIERR_OTHERAPPHASPRIO);
  EXPECT_EQ(device->SetCooperativeLevel(window.handle(), DISCL_EXCLUSIVE | DISCL_BACKGROUND),
            DI_OK);
  EXPECT_EQ(device->Acquire(), DI_OK);
  EXPECT_EQ(device->SetCooperativeLevel(window.handle(), DISCL_EXCLUSIVE | DISCL_BACKGROUND),
            DIERR_ACQUIRED);
}

}  // namespace
}  // namespace vorlane::wintest
