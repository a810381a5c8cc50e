// How kernel devices become the service's controllers: five kinds of controller
// built in memory, checked for capabilities, every axis source, the three scalings
// the service applies, the hat and the buttons.
#include <gtest/gtest.h>

#include "EvdevTestSupport.hpp"
#include "joystick/Scaling.hpp"

namespace vorlane::EvdevTest {
namespace {

constexpr int X = 0, Y = 1, Z = 2, R = 3, U = 4, V = 5;

int AxisCountOf(const TDeviceInfo& info) {
  int n = 0;
  for (const TAxisRange& range : info.Axes) n += range.Present;
  return n;
}

// Feeds events and returns the reading after them.
struct TFeeder {
  explicit TFeeder(const TDeviceBuilder& builder)
      : Mapping(MapDevice(builder.Get())), Tracker(Mapping, builder.Get()) {}
  const TDeviceState& Feed(std::initializer_list<input_event> events) {
    for (const input_event& ev : events) Tracker.Apply(ev.type, ev.code, ev.value);
    return Tracker.Current();
  }
  const TDeviceState& Set(unsigned code, int value) {
    return Feed({Event(EV_ABS, code, value), Report()});
  }
  const TDeviceState& Press(unsigned code, int value = 1) {
    return Feed({Event(EV_KEY, code, value), Report()});
  }
  std::uint32_t Calibrated(int axis) const {
    return Scaling::Calibrated(Mapping.Info.Axes[axis], Tracker.Current().Axes[axis]);
  }
  std::uint32_t Centered(int axis) const {
    return Scaling::Centered(Mapping.Info.Axes[axis], Tracker.Current().Axes[axis]);
  }
  std::uint32_t Raw(int axis) const {
    return Scaling::Raw(Mapping.Info.Axes[axis], Tracker.Current().Axes[axis]);
  }
  TDeviceMapping Mapping;
  TStateTracker Tracker;
};

void ExpectRange(const TAxisRange& range, int min, int max, int rest) {
  EXPECT_TRUE(range.Present);
  EXPECT_EQ(range.Min, min);
  EXPECT_EQ(range.Max, max);
  EXPECT_EQ(range.Rest, rest);
}

TEST(EvdevMapping, GamepadWithTriggersAndHat) {
  TDeviceBuilder pad = Xbox360Pad();
  ASSERT_TRUE(IsJoystick(pad.Get()));
  TFeeder f(pad);
  const TDeviceInfo& info = f.Mapping.Info;
  EXPECT_EQ(info.Name, u"Microsoft X-Box 360 pad");
  EXPECT_EQ(info.Vendor, 0x045e);
  EXPECT_EQ(info.Product, 0x028e);
  EXPECT_EQ(AxisCountOf(info), 5);
  ExpectRange(info.Axes[X], -32768, 32767, 0);
  ExpectRange(info.Axes[Y], -32768, 32767, 0);
  ExpectRange(info.Axes[Z], -255, 255, 0);  // left trigger up, right trigger down
  ExpectRange(info.Axes[R], -32768, 32767, 0);
  ExpectRange(info.Axes[U], -32768, 32767, 0);
  EXPECT_FALSE(info.Axes[V].Present);
  EXPECT_EQ(f.Mapping.Feeds[Z].Plus, ABS_Z);
  EXPECT_EQ(f.Mapping.Feeds[Z].Minus, ABS_RZ);
  EXPECT_EQ(f.Mapping.CodeOfAxis[R], ABS_RY);
  EXPECT_EQ(f.Mapping.CodeOfAxis[U], ABS_RX);
  EXPECT_EQ(info.Hat, THatKind::Discrete);
  EXPECT_EQ(info.ButtonCount, 11u);
  const std::vector<std::uint16_t> order = {BTN_SOUTH,  BTN_EAST,   BTN_NORTH,  BTN_WEST,
                                            BTN_TL,     BTN_TR,     BTN_SELECT, BTN_START,
                                            BTN_THUMBL, BTN_THUMBR, BTN_MODE};
  EXPECT_EQ(f.Mapping.ButtonCodes, order);

  // Sticks at rest read the middle; every axis follows its own code.
  EXPECT_EQ(f.Centered(X), 32767u);
  EXPECT_EQ(f.Raw(X), 32768u);
  const unsigned codes[] = {ABS_X, ABS_Y, ABS_Z, ABS_RY, ABS_RX};
  for (int axis = 0; axis < 5; ++axis) {
    if (axis == Z) continue;  // two triggers: below
    f.Set(codes[axis], info.Axes[axis].Max);
    EXPECT_EQ(f.Calibrated(axis), 65535u) << axis;
    EXPECT_EQ(f.Centered(axis), 65535u) << axis;
    EXPECT_EQ(f.Raw(axis), static_cast<std::uint32_t>(info.Axes[axis].Max - info.Axes[axis].Min));
    f.Set(codes[axis], info.Axes[axis].Min);
    EXPECT_EQ(f.Calibrated(axis), 0u) << axis;
    EXPECT_EQ(f.Centered(axis), 0u) << axis;
    EXPECT_EQ(f.Raw(axis), 0u) << axis;
  }
  f.Set(ABS_X, -16384);
  EXPECT_EQ(f.Calibrated(X), 16384u);
  EXPECT_EQ(f.Centered(X), 16383u);
  EXPECT_EQ(f.Raw(X), 16384u);
  // Z: the left trigger toward the maximum, the right one toward the minimum, both
  // pressed alike back in the middle.
  EXPECT_EQ(f.Centered(Z), 32767u);
  f.Set(ABS_Z, 255);
  EXPECT_EQ(f.Calibrated(Z), 65535u);
  f.Set(ABS_RZ, 255);
  EXPECT_EQ(f.Centered(Z), 32767u);
  f.Set(ABS_Z, 0);
  EXPECT_EQ(f.Calibrated(Z), 0u);
  f.Set(ABS_RZ, 0);

  // The hat: every direction, diagonals included, and centred.
  struct {
    int x, y;
    std::uint32_t pov;
  } const hat[] = {{0, -1, 0},     {1, -1, 4500},  {1, 0, 9000},    {1, 1, 13500}, {0, 1, 18000},
                   {-1, 1, 22500}, {-1, 0, 27000}, {-1, -1, 31500}, {0, 0, 65535}};
  for (const auto& h : hat) {
    f.Feed({Event(EV_ABS, ABS_HAT0X, h.x), Event(EV_ABS, ABS_HAT0Y, h.y), Report()});
    EXPECT_EQ(f.Tracker.Current().Pov, h.pov) << h.x << "," << h.y;
    // As the service reports it: both modes keep the eight directions.
    EXPECT_EQ(Scaling::PovDiscrete(f.Tracker.Current().Pov), h.pov);
    EXPECT_EQ(Scaling::PovContinuous(f.Tracker.Current().Pov), h.pov);
  }

  // Buttons: A and Start held.
  f.Press(BTN_SOUTH);
  const TDeviceState& s = f.Press(BTN_START);
  EXPECT_EQ(s.Buttons, 0x81u);
  EXPECT_EQ(s.ButtonsHeld, 2u);
  EXPECT_EQ(f.Press(BTN_SOUTH, 0).Buttons, 0x80u);
}

TEST(EvdevMapping, FlightStickWithTwistAndThrottle) {
  TDeviceBuilder stick = FlightStick();
  ASSERT_TRUE(IsJoystick(stick.Get()));
  TFeeder f(stick);
  const TDeviceInfo& info = f.Mapping.Info;
  EXPECT_EQ(AxisCountOf(info), 4);
  ExpectRange(info.Axes[X], 0, 1023, 511);
  ExpectRange(info.Axes[Y], 0, 1023, 511);
  ExpectRange(info.Axes[Z], 0, 255, 127);  // throttle, there being no ABS_Z
  ExpectRange(info.Axes[R], 0, 255, 127);  // twist
  EXPECT_EQ(f.Mapping.CodeOfAxis[Z], ABS_THROTTLE);
  EXPECT_EQ(f.Mapping.CodeOfAxis[R], ABS_RZ);
  EXPECT_FALSE(info.Axes[U].Present);
  EXPECT_FALSE(info.Axes[V].Present);
  EXPECT_EQ(info.ButtonCount, 12u);
  EXPECT_EQ(f.Mapping.ButtonCodes.front(), BTN_TRIGGER);
  EXPECT_EQ(f.Mapping.ButtonCodes.back(), BTN_BASE6);

  // The reading the kernel gave when the node was opened.
  const TDeviceState& now = f.Tracker.Current();
  EXPECT_EQ(now.Axes[X], 512);
  EXPECT_EQ(now.Axes[Z], 255);
  EXPECT_EQ(now.Axes[R], 128);
  EXPECT_EQ(now.Pov, PovCentered);
  EXPECT_EQ(f.Calibrated(Z), 65535u);
  EXPECT_EQ(f.Centered(X), 32831u);  // one step past the rest of 511

  f.Set(ABS_THROTTLE, 0);
  EXPECT_EQ(f.Calibrated(Z), 0u);
  f.Set(ABS_RZ, 0);
  EXPECT_EQ(f.Raw(R), 0u);
  EXPECT_EQ(f.Press(BTN_BASE6).Buttons, 1u << 11);
}

TEST(EvdevMapping, WheelWithPedalsUsesTheFallbackCodes) {
  TDeviceBuilder wheel = PedalWheel();
  ASSERT_TRUE(IsJoystick(wheel.Get()));
  TFeeder f(wheel);
  const TDeviceInfo& info = f.Mapping.Info;
  // Steering, Accelerator and Brake take DirectInput's X, Y and Rz, so R.
  EXPECT_EQ(f.Mapping.CodeOfAxis[X], ABS_WHEEL);
  EXPECT_EQ(f.Mapping.CodeOfAxis[Y], ABS_GAS);
  EXPECT_EQ(f.Mapping.CodeOfAxis[R], ABS_BRAKE);
  EXPECT_EQ(AxisCountOf(info), 3);
  ExpectRange(info.Axes[X], -512, 511, 0);
  EXPECT_EQ(info.ButtonCount, 14u);
  EXPECT_EQ(f.Mapping.ButtonCodes[12], BTN_GEAR_DOWN);  // 0x150 comes after 0x12b
  EXPECT_EQ(f.Mapping.ButtonCodes[13], BTN_GEAR_UP);

  f.Set(ABS_WHEEL, 511);
  EXPECT_EQ(f.Centered(X), 65535u);
  f.Set(ABS_GAS, 255);
  EXPECT_EQ(f.Raw(Y), 255u);
  f.Set(ABS_BRAKE, 128);
  EXPECT_EQ(f.Calibrated(R), 32896u);
  EXPECT_EQ(f.Press(BTN_GEAR_UP).Buttons, 1u << 13);
}

TEST(EvdevMapping, EachAxisTakesTheFirstCodeOfItsRow) {
  TDeviceBuilder b("Everything", 1, 2);
  b.Key(BTN_TRIGGER);
  for (unsigned code : {ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ, ABS_THROTTLE, ABS_RUDDER,
                        ABS_WHEEL, ABS_GAS, ABS_BRAKE})
    b.Axis(code, 0, 100 + static_cast<int>(code));
  TFeeder all(b);
  // Windows' rows: U takes the Slider before Ry and Rx, V only Rx.
  const int expected[] = {ABS_X, ABS_Y, ABS_Z, ABS_RZ, ABS_THROTTLE, ABS_RX};
  for (int axis = 0; axis < 6; ++axis) EXPECT_EQ(all.Mapping.CodeOfAxis[axis], expected[axis]);
  // Codes that lost to a preferred one do not move the axis.
  all.Set(ABS_WHEEL, 50);
  all.Set(ABS_RY, 50);
  EXPECT_EQ(all.Tracker.Current().Axes[X], 0);
  EXPECT_EQ(all.Tracker.Current().Axes[V], 0);
  EXPECT_EQ(all.Mapping.LeftOut.size(), 5u);  // ABS_RY, ABS_RUDDER, ABS_WHEEL, ABS_GAS, ABS_BRAKE

  TDeviceBuilder second("Second choices", 1, 3);
  second.Key(BTN_TRIGGER).Axis(ABS_THROTTLE, 0, 9).Axis(ABS_BRAKE, 0, 9).Axis(ABS_RUDDER, 0, 9);
  TFeeder f(second);
  EXPECT_EQ(f.Mapping.CodeOfAxis[Z], ABS_THROTTLE);
  EXPECT_EQ(f.Mapping.CodeOfAxis[R], ABS_RUDDER);  // a rudder with no Rz beside it is Rz
  EXPECT_EQ(f.Mapping.CodeOfAxis[X], ABS_BRAKE);   // left over, so in the first free slot

  // Hats are never axes; a code hid-input gave no name of its own fills a free slot.
  TDeviceBuilder hats("Hats only", 1, 4);
  hats.Key(BTN_SOUTH).Axis(ABS_HAT0X, -1, 1).Axis(ABS_HAT1X, -1, 1).Axis(ABS_MISC, 0, 9);
  TFeeder h(hats);
  EXPECT_EQ(AxisCountOf(h.Mapping.Info), 1);
  EXPECT_EQ(h.Mapping.CodeOfAxis[X], ABS_MISC);
  EXPECT_EQ(h.Mapping.Info.Hat, THatKind::Discrete);
}

TEST(EvdevMapping, PlainTwoAxisJoystick) {
  TDeviceBuilder stick = TwoAxisJoystick();
  ASSERT_TRUE(IsJoystick(stick.Get()));
  TFeeder f(stick);
  const TDeviceInfo& info = f.Mapping.Info;
  EXPECT_EQ(AxisCountOf(info), 2);
  ExpectRange(info.Axes[X], 0, 255, 127);
  EXPECT_EQ(info.Hat, THatKind::None);
  EXPECT_EQ(info.ButtonCount, 4u);
  EXPECT_EQ(f.Tracker.Current().Pov, PovCentered);
  EXPECT_EQ(f.Centered(X), 32767u);
  EXPECT_EQ(f.Calibrated(X), 32639u);
  f.Set(ABS_Y, 0);
  EXPECT_EQ(f.Centered(Y), 0u);
  f.Set(ABS_Y, 255);
  EXPECT_EQ(f.Centered(Y), 65535u);
  EXPECT_EQ(f.Raw(Y), 255u);
  f.Set(ABS_Y, 191);
  EXPECT_EQ(f.Centered(Y), 32767u + (191 - 127) * 32768u / 128u);
}

TEST(EvdevMapping, MoreThanThirtyTwoButtons) {
  TDeviceBuilder box = ButtonBox();
  ASSERT_TRUE(IsJoystick(box.Get()));
  TFeeder f(box);
  EXPECT_EQ(f.Mapping.Info.ButtonCount, 44u);
  // Code order, which is HID order: the device's own BTN_0.. and BTN_TRIGGER.. come
  // first, and the last BTN_TRIGGER_HAPPY buttons are the ones beyond 32.
  EXPECT_EQ(f.Mapping.ButtonCodes[0], BTN_0);
  EXPECT_EQ(f.Mapping.ButtonCodes[4], BTN_TRIGGER);
  EXPECT_EQ(f.Mapping.ButtonCodes[20], BTN_TRIGGER_HAPPY1);
  EXPECT_EQ(f.Mapping.ButtonCodes[31], BTN_TRIGGER_HAPPY12);
  EXPECT_EQ(LeftOutLines(f.Mapping).size(), 1u);

  f.Press(BTN_0);                                // button 1
  f.Press(BTN_TRIGGER_HAPPY12);                  // button 32
  f.Press(BTN_TRIGGER_HAPPY13);                  // button 33: counted, not in the word
  const TDeviceState& s = f.Press(BTN_TRIGGER);  // button 5
  EXPECT_EQ(s.Buttons, 0x80000011u);
  EXPECT_EQ(s.ButtonsHeld, 4u);
  EXPECT_EQ(f.Press(BTN_TRIGGER_HAPPY13, 0).ButtonsHeld, 3u);
  EXPECT_EQ(f.Tracker.Current().Buttons, 0x80000011u);
}

TEST(EvdevMapping, WhatIsAJoystick) {
  EXPECT_FALSE(IsJoystick(TDeviceBuilder("Keyboard").Keys(KEY_ESC, KEY_Z).Get()));
  TDeviceBuilder mouse("Mouse");
  mouse.Key(BTN_LEFT).Key(BTN_RIGHT);
  libevdev_enable_event_code(mouse.Get(), EV_REL, REL_X, nullptr);
  EXPECT_FALSE(IsJoystick(mouse.Get()));
  EXPECT_FALSE(IsJoystick(TDeviceBuilder("Touchpad")
                              .Axis(ABS_X, 0, 1000)
                              .Axis(ABS_Y, 0, 1000)
                              .Key(BTN_TOUCH)
                              .Key(BTN_TOOL_FINGER)
                              .Get()));
  // A gamepad's motion sensors: a node of its own, not a joystick.
  EXPECT_FALSE(IsJoystick(TDeviceBuilder("Pad Motion Sensors")
                              .Axis(ABS_X, -32768, 32767)
                              .Axis(ABS_Y, -32768, 32767)
                              .Key(BTN_SOUTH)
                              .Property(INPUT_PROP_ACCELEROMETER)
                              .Get()));
  // Gamepad buttons alone are enough; so are joystick buttons with axes.
  EXPECT_TRUE(IsJoystick(TDeviceBuilder("Buttons").Key(BTN_SOUTH).Get()));
  EXPECT_TRUE(IsJoystick(TDeviceBuilder("Last joystick button").Key(0x12f).Get()));
  EXPECT_TRUE(IsJoystick(TDeviceBuilder("Last gamepad code").Key(0x13f).Get()));
  EXPECT_FALSE(IsJoystick(TDeviceBuilder("Stylus").Axis(ABS_X, 0, 9).Key(BTN_DIGI).Get()));
}

TEST(EvdevMapping, UnusableRangesAndReadingsOutOfRange) {
  // ABS_X reports nothing usable (an empty range): ABS_WHEEL takes its place.
  TDeviceBuilder b("Odd", 1, 1);
  b.Key(BTN_TRIGGER).Axis(ABS_X, 0, 0).Axis(ABS_WHEEL, 0, 100, 250).Axis(ABS_Y, 0, 100, -5);
  TFeeder f(b);
  EXPECT_EQ(f.Mapping.CodeOfAxis[X], ABS_WHEEL);
  // The kernel does not clamp; the backend does, initial readings included.
  EXPECT_EQ(f.Tracker.Current().Axes[X], 100);
  EXPECT_EQ(f.Tracker.Current().Axes[Y], 0);
  f.Set(ABS_Y, 1000);
  EXPECT_EQ(f.Tracker.Current().Axes[Y], 100);
  f.Set(ABS_Y, -2147483647 - 1);
  EXPECT_EQ(f.Raw(Y), 0u);

  // An extreme range keeps its rest inside it.
  TDeviceBuilder wide("Wide", 1, 1);
  wide.Key(BTN_TRIGGER).Axis(ABS_X, -2147483647 - 1, 2147483647);
  TFeeder w(wide);
  ExpectRange(w.Mapping.Info.Axes[X], -2147483647 - 1, 2147483647, 0);
  w.Set(ABS_X, 2147483647);
  EXPECT_EQ(w.Calibrated(X), 65535u);
}

TEST(EvdevMapping, HatsAroundTheirRest) {
  // A hat reported 0..2 rests at 1; only one of its two axes may exist.
  TDeviceBuilder b("Hat 0..2", 1, 1);
  b.Key(BTN_TRIGGER).Axis(ABS_HAT0X, 0, 2, 1);
  TFeeder f(b);
  EXPECT_EQ(f.Tracker.Current().Pov, PovCentered);
  EXPECT_EQ(f.Set(ABS_HAT0X, 2).Pov, 9000u);
  EXPECT_EQ(f.Set(ABS_HAT0X, 0).Pov, 27000u);
  EXPECT_EQ(f.Set(ABS_HAT0Y, -1).Pov, 27000u);  // no ABS_HAT0Y: ignored
}

TEST(EvdevMapping, UpdatesCompleteAtSynReport) {
  TDeviceBuilder pad = Xbox360Pad();
  const TDeviceMapping mapping = MapDevice(pad.Get());
  TStateTracker t(mapping, pad.Get());
  EXPECT_FALSE(t.Apply(EV_ABS, ABS_X, 1000));
  EXPECT_FALSE(t.Apply(EV_KEY, BTN_SOUTH, 1));
  EXPECT_EQ(t.Current().Axes[X], 0);  // nothing shows before the report
  EXPECT_TRUE(t.Apply(EV_SYN, SYN_REPORT, 0));
  EXPECT_EQ(t.Current().Axes[X], 1000);
  EXPECT_EQ(t.Current().Buttons, 1u);

  // A report that changes nothing is no update: same value, autorepeat, unmapped codes.
  EXPECT_FALSE(t.Apply(EV_ABS, ABS_X, 1000));
  EXPECT_FALSE(t.Apply(EV_KEY, BTN_SOUTH, 2));
  EXPECT_FALSE(t.Apply(EV_ABS, ABS_MISC, 7));
  EXPECT_FALSE(t.Apply(EV_KEY, KEY_A, 1));
  EXPECT_FALSE(t.Apply(EV_MSC, MSC_SCAN, 90001));
  EXPECT_FALSE(t.Apply(EV_ABS, 0xffff, 1));
  EXPECT_FALSE(t.Apply(EV_KEY, 0xffff, 1));
  EXPECT_FALSE(t.Apply(EV_SYN, SYN_REPORT, 0));
  EXPECT_EQ(t.Current().ButtonsHeld, 1u);

  // Releasing a button that is not held does not count down.
  EXPECT_FALSE(t.Apply(EV_KEY, BTN_EAST, 0));
  EXPECT_FALSE(t.Apply(EV_SYN, SYN_REPORT, 0));
  EXPECT_EQ(t.Current().ButtonsHeld, 1u);

  // SYN_DROPPED: what came since the last report is thrown away; the sync that
  // follows restores the device's state.
  EXPECT_FALSE(t.Apply(EV_ABS, ABS_X, -5000));
  EXPECT_FALSE(t.Apply(EV_KEY, BTN_SOUTH, 0));
  EXPECT_FALSE(t.Apply(EV_SYN, SYN_DROPPED, 0));
  EXPECT_FALSE(t.Apply(EV_ABS, ABS_Y, 300));
  EXPECT_TRUE(t.Apply(EV_SYN, SYN_REPORT, 0));
  EXPECT_EQ(t.Current().Axes[X], 1000);
  EXPECT_EQ(t.Current().Axes[Y], 300);
  EXPECT_EQ(t.Current().Buttons, 1u);
}

TEST(EvdevMapping, MappedDevicePublishesBeforeItReports) {
  TDeviceBuilder stick = TwoAxisJoystick();
  TMappedDevice device(MapDevice(stick.Get()), stick.Get());
  TDeviceState state;
  device.ReadState(state);
  EXPECT_EQ(state.Axes[X], 127);
  EXPECT_FALSE(device.Feed(EV_ABS, ABS_X, 3, state));
  device.ReadState(state);
  EXPECT_EQ(state.Axes[X], 127);
  ASSERT_TRUE(device.Feed(EV_SYN, SYN_REPORT, 0, state));
  EXPECT_EQ(state.Axes[X], 3);
  TDeviceState read;
  device.ReadState(read);
  EXPECT_EQ(read.Axes[X], 3);
}

TEST(EvdevMapping, IdentityPrefersTheMostSpecific) {
  EXPECT_EQ(IdentityOf(Xbox360Pad().Uniq("00:11:22:33:44:55").Phys("usb-1/input0").Get()),
            "uniq:00:11:22:33:44:55");
  EXPECT_EQ(IdentityOf(Xbox360Pad().Phys("usb-0000:00:14.0-2/input0").Get()),
            "phys:usb-0000:00:14.0-2/input0");
  EXPECT_EQ(IdentityOf(Xbox360Pad().Get()), "id:045e:028e:Microsoft X-Box 360 pad");
  EXPECT_EQ(MapDevice(FlightStick().Uniq("A1").Get()).Info.Identity, "uniq:A1");
}

TEST(EvdevMapping, NamesAreConvertedFromUtf8AndCutToFit) {
  TDeviceBuilder b("Manette \xc3\xa9l\xc3\xa9gante \xf0\x9f\x8e\xae", 1, 1);
  b.Key(BTN_SOUTH);
  EXPECT_EQ(MapDevice(b.Get()).Info.Name, u"Manette \u00e9l\u00e9gante \U0001F3AE");

  // szPname holds 31 units and its zero; a pair of surrogates is never split.
  const std::string thirty(30, 'x');
  EXPECT_EQ(FitUnits(thirty, NameUnits), std::u16string(30, u'x'));
  EXPECT_EQ(FitUnits(thirty + "yz", NameUnits), std::u16string(30, u'x') + u"y");
  EXPECT_EQ(FitUnits(thirty + "\xf0\x9f\x8e\xae", NameUnits), std::u16string(30, u'x'));
  EXPECT_EQ(FitUnits(std::string(29, 'x') + "\xf0\x9f\x8e\xae", NameUnits),
            std::u16string(29, u'x') + u"\U0001F3AE");
  TDeviceBuilder longName("DragonRise Inc.   Generic   USB  Joystick  ", 1, 1);
  longName.Key(BTN_TRIGGER);
  EXPECT_EQ(MapDevice(longName.Get()).Info.Name, u"DragonRise Inc.   Generic   USB");
}

}  // namespace
}  // namespace vorlane::EvdevTest
