// The real kernel seam on an ordinary directory: listing, inotify through epoll,
// interruption, and nodes that are not event devices. (Opening and reading real
// event devices needs a kernel device and is not tested here.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "EvdevTestSupport.hpp"
#include "joystick/evdev/EvdevDriver.hpp"
#include "joystick/evdev/EvdevHub.hpp"
#include "vorlane/Evdev.hpp"

namespace vorlane::EvdevTest {
namespace {

struct TKernelIoFixture : ::testing::Test {
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "vorlane-input-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    Dir = pattern;
  }
  void TearDown() override {
    for (const char* name : {"event3", "event12", "mouse0", "event4"})
      ::unlink((Dir + "/" + name).c_str());
    ::rmdir(Dir.c_str());
  }
  void Touch(const std::string& name) { std::ofstream(Dir + "/" + name) << "x"; }
  // Waits until the directory events include one of `kind` for `name`.
  bool WaitFor(TKernelIo& io, TWake::TKind kind, const std::string& name) {
    for (int round = 0; round < 20; ++round)
      for (const TWake& wake : io.Wait())
        if (wake.Kind == kind && wake.Name == name) return true;
    return false;
  }
  std::string Dir;
};

TEST_F(TKernelIoFixture, ListsOnlyEventNodes) {
  Touch("event12");
  Touch("event3");
  Touch("mouse0");
  auto io = CreateKernelIo(Dir);
  EXPECT_EQ(io->Directory(), Dir);
  auto names = io->List();
  std::sort(names.begin(), names.end(), NodeNameLess);
  EXPECT_EQ(names, (std::vector<std::string>{"event3", "event12"}));
  EXPECT_TRUE(IsEventNodeName("event0"));
  EXPECT_FALSE(IsEventNodeName("event"));
  EXPECT_FALSE(IsEventNodeName("event1a"));
  EXPECT_FALSE(IsEventNodeName("js0"));
}

TEST_F(TKernelIoFixture, WatchesTheDirectory) {
  auto io = CreateKernelIo(Dir);
  ASSERT_EQ(io->Watch(), 0);
  Touch("mouse0");  // not an event node: no wake for it
  Touch("event4");
  EXPECT_TRUE(WaitFor(*io, TWake::TKind::Created, "event4"));
  ASSERT_EQ(::chmod((Dir + "/event4").c_str(), 0600), 0);
  EXPECT_TRUE(WaitFor(*io, TWake::TKind::AttribChanged, "event4"));
  ASSERT_EQ(::unlink((Dir + "/event4").c_str()), 0);
  EXPECT_TRUE(WaitFor(*io, TWake::TKind::Deleted, "event4"));

  // Interrupt wakes a Wait blocked on another thread.
  std::thread waiter([&] { EXPECT_TRUE(WaitFor(*io, TWake::TKind::Interrupted, "")); });
  io->Interrupt();
  waiter.join();
}

TEST_F(TKernelIoFixture, ANodeThatIsNotAnEventDevice) {
  Touch("event3");
  auto io = CreateKernelIo(Dir);
  const TOpenResult opened = io->Open("event3");
  EXPECT_EQ(opened.Node, nullptr);
  EXPECT_EQ(opened.Error, ENOTTY);  // the evdev ioctls fail on a plain file
  EXPECT_EQ(io->Open("event99").Error, ENOENT);
  // A link is not followed (not even to a character device), and a FIFO is
  // neither waited on nor sent an ioctl.
  ASSERT_EQ(::symlink("/dev/null", (Dir + "/event12").c_str()), 0);
  EXPECT_EQ(io->Open("event12").Error, ELOOP);
  ASSERT_EQ(::mkfifo((Dir + "/event4").c_str(), 0600), 0);
  EXPECT_EQ(io->Open("event4").Error, ENOTTY);
  ::unlink((Dir + "/event12").c_str());
  ::unlink((Dir + "/event4").c_str());

  const auto reports = Evdev::ListNodes(Dir);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_FALSE(reports[0].Opened);
  EXPECT_EQ(reports[0].Reason, "not an evdev event node");

  if (::geteuid() != 0) {  // root opens anything
    ASSERT_EQ(::chmod((Dir + "/event3").c_str(), 0), 0);
    EXPECT_EQ(io->Open("event3").Error, EACCES);
  }
}

TEST_F(TKernelIoFixture, TheDriverOverAnEmptyDirectory) {
  // The whole backend on the real seam: nothing to report, and it opens and
  // closes cleanly while nodes that are no devices come and go.
  auto driver = CreateEvdevDriver(CreateKernelIo(Dir));
  TRecordingHost host;
  driver->Open(host);
  Touch("event3");
  ::unlink((Dir + "/event3").c_str());
  driver->Close();
  EXPECT_TRUE(host.Calls().empty());
}

}  // namespace
}  // namespace vorlane::EvdevTest
