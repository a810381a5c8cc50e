// Discovery, events and hotplug of the evdev backend, over a fake kernel: nodes
// that come and go, reads that answer ENODEV, nodes the user may not open.
#include <gtest/gtest.h>

#include <cerrno>

#include "EvdevTestSupport.hpp"
#include "joystick/evdev/EvdevDriver.hpp"
#include "joystick/evdev/EvdevHub.hpp"

namespace vorlane::EvdevTest {
namespace {

using TKind = TRecordingHost::TKind;

TFakeKernelIo::TFactory Make(TDeviceBuilder (*kind)(), const char* uniq = nullptr) {
  return [kind, uniq] {
    TDeviceBuilder b = kind();
    if (uniq != nullptr) b.Uniq(uniq);
    return b.Take();
  };
}

TFakeKernelIo::TFactory Keyboard() {
  return [] { return TDeviceBuilder("Keyboard").Keys(KEY_ESC, KEY_Z).Take(); };
}

// Runs the hub by hand: every queued wake, in order.
struct THubFixture : ::testing::Test {
  void Pump() {
    for (const TWake& wake : Io.TakeWakes()) Hub.Handle(wake);
  }
  TFakeKernelIo Io;
  TEvdevHub Hub{Io};
  TRecordingHost Host;
};

TEST_F(THubFixture, StartReportsTheJoysticksPresentInNodeOrder) {
  Io.AddNode("event10", Make(FlightStick, "stick"));
  Io.AddNode("event2", Make(Xbox360Pad, "pad"));
  Io.AddNode("event0", Keyboard());
  Io.AddNode("event5", Make(TwoAxisJoystick), EACCES);
  Hub.Start(Host);

  const auto added = Host.CallsOf(TKind::Added);
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(added[0].Identity, "uniq:pad");  // event2 before event10
  EXPECT_EQ(added[0].Number, 0);
  EXPECT_EQ(added[1].Identity, "uniq:stick");
  EXPECT_EQ(added[1].Number, 1);
  EXPECT_EQ(added[0].Device->Info().RegKey, u"/dev/input/event2");
  EXPECT_EQ(added[0].Device->Info().Driver, u"evdev /dev/input/event2");
  EXPECT_EQ(Hub.DeviceNodes(), (std::vector<std::string>{"event2", "event10"}));
  // The keyboard was closed again at once; only the joysticks stay open.
  EXPECT_EQ(Io.LiveNodes(), 2);
  EXPECT_EQ(Hub.Failures(), (std::map<std::string, int>{{"event5", EACCES}}));

  Hub.Stop();
  EXPECT_EQ(Host.Count(TKind::Removed), 2u);
  EXPECT_EQ(Io.LiveNodes(), 0);
}

TEST_F(THubFixture, OneUpdatePerChangedReport) {
  Io.AddNode("event3", Make(Xbox360Pad));
  Hub.Start(Host);
  TJoystickDevice* pad = Hub.DeviceOf("event3");
  ASSERT_NE(pad, nullptr);

  Io.Send("event3", {Event(EV_ABS, ABS_X, 100), Event(EV_ABS, ABS_Y, -100), Report(),
                     Event(EV_KEY, BTN_SOUTH, 1), Report(), Event(EV_ABS, ABS_X, 100),
                     Report(),                     // no change: no update
                     Event(EV_ABS, ABS_RY, 50)});  // not complete yet
  Pump();
  auto changes = Host.CallsOf(TKind::Changed);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].Device, pad);
  EXPECT_EQ(changes[0].State.Axes[0], 100);
  EXPECT_EQ(changes[0].State.Axes[1], -100);
  EXPECT_EQ(changes[0].State.Buttons, 0u);
  EXPECT_EQ(changes[1].State.Buttons, 1u);

  Io.Send("event3", {Report()});  // the rest of the update arrives in the next read
  Pump();
  changes = Host.CallsOf(TKind::Changed);
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_EQ(changes[2].State.Axes[3], 50);
  TDeviceState read;
  pad->ReadState(read);
  EXPECT_EQ(read.Axes[3], 50);

  // After SYN_DROPPED the half-read update is dropped and the sync restores it.
  Io.Send("event3", {Event(EV_ABS, ABS_X, 5), Event(EV_SYN, SYN_DROPPED, 0),
                     Event(EV_ABS, ABS_X, 7), Report()});
  Pump();
  changes = Host.CallsOf(TKind::Changed);
  ASSERT_EQ(changes.size(), 4u);
  EXPECT_EQ(changes[3].State.Axes[0], 7);
}

TEST_F(THubFixture, UnplugKeepsTheNumberAndTheSameDeviceGetsItBack) {
  Io.AddNode("event3", Make(Xbox360Pad, "pad-A"));
  Io.AddNode("event4", Make(FlightStick, "stick-B"));
  Hub.Start(Host);
  TJoystickDevice* stick = Hub.DeviceOf("event4");
  EXPECT_EQ(Host.NumberOf(stick), 1);

  Io.Unplug("event4");  // the read answers ENODEV, then the node is deleted
  Pump();
  const auto removed = Host.CallsOf(TKind::Removed);
  ASSERT_EQ(removed.size(), 1u);  // once, though both the read and the directory said so
  EXPECT_EQ(removed[0].Device, stick);
  EXPECT_EQ(Io.LiveNodes(), 1);

  // A new device takes the lowest free number; 1 is kept for the stick.
  Io.PlugIn("event5", Make(TwoAxisJoystick, "joy-C"));
  Pump();
  EXPECT_EQ(Host.CallsOf(TKind::Added).back().Number, 2);

  // The stick returns on another node: same identity, same number.
  Io.PlugIn("event6", Make(FlightStick, "stick-B"));
  Pump();
  const auto back = Host.CallsOf(TKind::Added).back();
  EXPECT_EQ(back.Identity, "uniq:stick-B");
  EXPECT_EQ(back.Number, 1);

  // A device leaving without a directory event (read answers ENODEV) is removed too,
  // and the late deletion changes nothing.
  Io.Vanish("event3");
  Pump();
  EXPECT_EQ(Host.Count(TKind::Removed), 2u);
  Io.Push({TWake::TKind::Deleted, "event3", 0});
  Pump();
  EXPECT_EQ(Host.Count(TKind::Removed), 2u);
  EXPECT_EQ(Hub.DeviceNodes(), (std::vector<std::string>{"event5", "event6"}));
}

TEST_F(THubFixture, NodesThatOpenOnlyLater) {
  Io.AddNode("event7", Make(Xbox360Pad), EACCES);
  Hub.Start(Host);
  EXPECT_EQ(Host.Count(TKind::Added), 0u);
  EXPECT_EQ(Hub.Failures().at("event7"), EACCES);

  // udev (or an administrator) grants access: the permissions change.
  Io.Grant("event7");
  Pump();
  EXPECT_EQ(Host.Count(TKind::Added), 1u);
  EXPECT_TRUE(Hub.Failures().empty());

  // A change of permissions of an open device leaves it alone.
  Io.Push({TWake::TKind::AttribChanged, "event7", 0});
  Pump();
  EXPECT_EQ(Host.Count(TKind::Added), 1u);
  EXPECT_EQ(Host.Count(TKind::Removed), 0u);
  EXPECT_EQ(Io.OpenCount("event7"), 1);

  // A permission change on a node whose device is gone (before any read noticed it)
  // unplugs the device.
  Io.Vanish("event7");
  Io.TakeWakes();
  Io.Push({TWake::TKind::AttribChanged, "event7", 0});
  Pump();
  EXPECT_EQ(Host.Count(TKind::Removed), 1u);

  // A node created while not yet readable is retried when its permissions change.
  Io.PlugIn("event8", Make(TwoAxisJoystick), EPERM);
  Pump();
  EXPECT_EQ(Hub.Failures().at("event8"), EPERM);
  Io.Grant("event8");
  Pump();
  EXPECT_EQ(Host.Count(TKind::Added), 2u);
}

TEST_F(THubFixture, DuplicateAndStaleWakesChangeNothing) {
  Io.AddNode("event3", Make(Xbox360Pad));
  Hub.Start(Host);
  // The directory event of a node that the first listing already opened.
  Io.Push({TWake::TKind::Created, "event3", 0});
  // A readable wake for a node closed since (an earlier serial).
  Io.Push({TWake::TKind::Readable, "event3", 1});
  Io.Push({TWake::TKind::Deleted, "event99", 0});
  Io.Push({TWake::TKind::Interrupted, {}, 0});
  Pump();
  EXPECT_EQ(Io.OpenCount("event3"), 1);
  EXPECT_EQ(Host.Calls().size(), 1u);

  // A keyboard's permission change does not reopen it... it was never a device.
  Io.PlugIn("event1", Keyboard());
  Pump();
  Io.Push({TWake::TKind::AttribChanged, "event1", 0});
  Pump();
  EXPECT_EQ(Io.OpenCount("event1"), 1);
  EXPECT_EQ(Io.LiveNodes(), 1);
}

TEST_F(THubFixture, LostDirectoryEventsAreRecoveredByListingAgain) {
  Io.AddNode("event3", Make(Xbox360Pad, "A"));
  Io.AddNode("event4", Make(FlightStick, "B"));
  Hub.Start(Host);
  // Changes whose events were lost: event3 went, event9 came.
  Io.Vanish("event3");
  Io.TakeWakes();
  Io.AddNode("event9", Make(PedalWheel, "C"));
  Io.Overflow();
  Pump();
  EXPECT_EQ(Host.CallsOf(TKind::Removed).at(0).Identity, "uniq:A");
  EXPECT_EQ(Host.CallsOf(TKind::Added).back().Identity, "uniq:C");
  EXPECT_EQ(Hub.DeviceNodes(), (std::vector<std::string>{"event4", "event9"}));
}

TEST_F(THubFixture, NoDirectoryToWatch) {
  Io.FWatchError = ENOENT;  // a container without /dev/input
  Hub.Start(Host);
  EXPECT_EQ(Hub.WatchError(), ENOENT);
  EXPECT_TRUE(Host.Calls().empty());
  Hub.Stop();
}

TEST(EvdevDriver, ReaderThreadFollowsEventsAndHotplug) {
  auto owned = std::make_unique<TFakeKernelIo>();
  TFakeKernelIo& io = *owned;
  io.AddNode("event3", Make(Xbox360Pad, "A"));
  auto driver = CreateEvdevDriver(std::move(owned));
  EXPECT_STREQ(driver->Name(), "evdev");
  TRecordingHost host;
  driver->Open(host);
  // Devices present at Open are reported before it returns.
  ASSERT_EQ(host.Count(TKind::Added), 1u);

  io.Send("event3", {Event(EV_ABS, ABS_HAT0X, -1), Report()});
  ASSERT_TRUE(host.WaitFor(TKind::Changed, 1));
  EXPECT_EQ(host.CallsOf(TKind::Changed)[0].State.Pov, 27000u);

  io.PlugIn("event4", Make(ButtonBox, "B"));
  ASSERT_TRUE(host.WaitFor(TKind::Added, 2));
  io.Unplug("event3");
  ASSERT_TRUE(host.WaitFor(TKind::Removed, 1));
  EXPECT_EQ(host.CallsOf(TKind::Removed)[0].Identity, "uniq:A");

  driver->Close();  // the box is still there: reported removed, nothing after
  const std::size_t calls = host.Calls().size();
  EXPECT_EQ(host.Count(TKind::Removed), 2u);
  io.Send("event4", {Event(EV_KEY, BTN_TRIGGER, 1), Report()});
  io.PlugIn("event5", Make(TwoAxisJoystick));
  EXPECT_EQ(host.Calls().size(), calls);
  EXPECT_EQ(io.LiveNodes(), 0);

  // It can be opened again, and destroying it closes it.
  driver->Open(host);
  EXPECT_EQ(host.Count(TKind::Added), 4u);  // the box and the new joystick
  driver.reset();
  EXPECT_EQ(host.Count(TKind::Removed), 4u);
}

TEST(EvdevDriver, ListsJoysticksAndNodesThatCannotBeOpened) {
  TFakeKernelIo io;
  io.AddNode("event0", Keyboard());
  io.AddNode("event11", Make(FlightStick, "S"));
  io.AddNode("event2", Make(Xbox360Pad), EACCES);
  const auto reports = ListNodes(io);
  ASSERT_EQ(reports.size(), 2u);

  EXPECT_EQ(reports[0].Path, "/dev/input/event2");
  EXPECT_FALSE(reports[0].Opened);
  EXPECT_EQ(reports[0].Error, EACCES);
  EXPECT_EQ(reports[0].Reason, "permission denied");
  EXPECT_NE(reports[0].Remedy.find("add the user to the 'input' group"), std::string::npos);

  const Evdev::TNodeReport& stick = reports[1];
  EXPECT_EQ(stick.Path, "/dev/input/event11");
  EXPECT_TRUE(stick.Opened);
  EXPECT_EQ(stick.Name, "Logitech Logitech Extreme 3D");
  EXPECT_EQ(stick.Vendor, 0x046d);
  EXPECT_EQ(stick.Uniq, "S");
  ASSERT_EQ(stick.Axes.size(), 4u);
  EXPECT_EQ(stick.Axes[2].Axis, 'Z');
  EXPECT_EQ(stick.Axes[2].Code, "ABS_THROTTLE");
  EXPECT_EQ(stick.Axes[2].Value, 255);
  EXPECT_EQ(stick.Axes[3].Code, "ABS_RZ");
  EXPECT_TRUE(stick.HasHat);
  EXPECT_EQ(stick.Pov, 65535u);
  EXPECT_EQ(stick.ButtonCount, 12u);
  EXPECT_EQ(io.LiveNodes(), 0);  // nothing stays open after listing

  std::string reason, remedy;
  DescribeOpenError(ENODEV, reason, remedy);
  EXPECT_EQ(reason, "no device behind the node");
  DescribeOpenError(EIO, reason, remedy);
  EXPECT_EQ(reason, "Input/output error");
}

TEST(EvdevDriver, ListingAMissingDirectoryGivesNothing) {
  EXPECT_TRUE(Evdev::ListNodes("/nonexistent/input").empty());
}

}  // namespace
}  // namespace vorlane::EvdevTest
