// The framework's system seam on its own: the wake event and the wait, the module
// functions, and files opened for reading.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "framework/os/Os.hpp"
#include "vorlane/joystickapi.h"

namespace vorlane::OsTest {
namespace {

using Os::TReadiness;
using Os::TWatchedSource;
using namespace std::chrono_literals;

// A pipe whose ends close with the test.
struct TPipe {
  TPipe() { EXPECT_EQ(::pipe2(Fds, O_CLOEXEC), 0); }
  ~TPipe() {
    CloseWriter();
    if (Fds[0] >= 0) ::close(Fds[0]);
  }
  void CloseWriter() {
    if (Fds[1] >= 0) ::close(Fds[1]);
    Fds[1] = -1;
  }
  void Write() { ASSERT_EQ(::write(Fds[1], "x", 1), 1); }
  int Reader() const { return Fds[0]; }
  int Fds[2] = {-1, -1};
};

// --- Waking and waiting ------------------------------------------------------------

TEST(OsWait, AWakeEventIsReadyFromSignalToClearAndSignalsDoNotQueue) {
  Os::TWakeEvent wake;
  EXPECT_FALSE(Os::Wait(wake, {}, 0ns).Woken);
  wake.Signal();
  wake.Signal();
  EXPECT_TRUE(Os::Wait(wake, {}, 0ns).Woken);
  EXPECT_TRUE(Os::Wait(wake, {}, 0ns).Woken) << "Wait does not consume the signal";
  wake.Clear();
  EXPECT_FALSE(Os::Wait(wake, {}, 0ns).Woken) << "one Clear undoes any number of signals";
  wake.Clear();  // when not ready: nothing happens
  EXPECT_FALSE(Os::Wait(wake, {}, 0ns).Woken);
}

TEST(OsWait, AnotherThreadsSignalEndsAWaitWithoutLimit) {
  Os::TWakeEvent wake;
  std::thread poster([&] { wake.Signal(); });
  const Os::TWaitResult r = Os::Wait(wake, {}, std::nullopt);
  poster.join();
  EXPECT_TRUE(r.Woken);
  EXPECT_FALSE(r.Interrupted);
}

TEST(OsWait, ATimeoutEndsAWaitWithNothingReady) {
  Os::TWakeEvent wake;
  TPipe pipe;
  TWatchedSource sources[] = {{pipe.Reader()}};
  const auto start = std::chrono::steady_clock::now();
  const Os::TWaitResult r = Os::Wait(wake, sources, 20ms);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
  EXPECT_FALSE(r.Woken);
  EXPECT_FALSE(r.Interrupted);
  EXPECT_EQ(sources[0].Readiness, TReadiness::NotReady);
  // A negative timeout is a look without waiting, not a wait without limit.
  EXPECT_FALSE(Os::Wait(wake, sources, -5ms).Woken);
}

TEST(OsWait, ReportsEachSourceReadyHungUpOrInvalid) {
  Os::TWakeEvent wake;
  TPipe quiet, written, hungUp, closed;
  written.Write();
  hungUp.CloseWriter();
  const int stale = closed.Reader();
  ::close(closed.Fds[0]);
  closed.Fds[0] = -1;
  TWatchedSource sources[] = {
      {quiet.Reader()}, {written.Reader()}, {hungUp.Reader()}, {stale, TReadiness::Ready}};
  const Os::TWaitResult r = Os::Wait(wake, sources, std::nullopt);
  EXPECT_FALSE(r.Woken);
  EXPECT_EQ(sources[0].Readiness, TReadiness::NotReady);
  EXPECT_EQ(sources[1].Readiness, TReadiness::Ready);
  EXPECT_EQ(sources[2].Readiness, TReadiness::Ready) << "a hang-up reads as the end";
  EXPECT_EQ(sources[3].Readiness, TReadiness::Invalid);

  // The wake event and a source together.
  wake.Signal();
  TWatchedSource one[] = {{written.Reader()}};
  EXPECT_TRUE(Os::Wait(wake, one, 0ns).Woken);
  EXPECT_EQ(one[0].Readiness, TReadiness::Ready);
}

std::atomic<int> gSignals{0};
void CountSignal(int) {
  gSignals.fetch_add(1);
}

TEST(OsWait, ASignalInterruptsTheWaitAndReportsNothingReady) {
  struct sigaction action {
  }, old{};
  action.sa_handler = &CountSignal;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &old), 0);

  Os::TWakeEvent wake;
  TPipe quiet;
  TWatchedSource sources[] = {{quiet.Reader(), TReadiness::Ready}};
  const pthread_t waiter = ::pthread_self();
  std::atomic<bool> done{false};
  // A signal that comes before the wait starts is handled and missed: keep sending
  // until the wait has returned.
  std::thread sender([&] {
    while (!done.load()) {
      ::pthread_kill(waiter, SIGUSR1);
      std::this_thread::sleep_for(1ms);
    }
  });
  const Os::TWaitResult r = Os::Wait(wake, sources, std::nullopt);
  done = true;
  sender.join();
  ::sigaction(SIGUSR1, &old, nullptr);

  EXPECT_TRUE(r.Interrupted);
  EXPECT_FALSE(r.Woken);
  EXPECT_GE(gSignals.load(), 1);
  EXPECT_EQ(sources[0].Readiness, TReadiness::NotReady);
}

// --- Modules ------------------------------------------------------------------------

Os::TModuleBase PlatformModule() {
  return Os::ModuleContaining(reinterpret_cast<const void*>(&joyGetNumDevs));
}

TEST(OsModules, ALibraryThatCannotBeLoadedGivesTheLoadersText) {
  std::string error;
  EXPECT_EQ(Os::OpenLibrary("/nonexistent/libNone.so", error), nullptr);
  EXPECT_NE(error.find("/nonexistent/libNone.so"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

  error.clear();
  EXPECT_EQ(Os::OpenLibrary(__FILE__, error), nullptr) << "a source file is no library";
  EXPECT_FALSE(error.empty());
}

TEST(OsModules, FindsTheSymbolsOfALoadedLibraryAndTellsWhoseTheyAre) {
  const Os::TModuleBase platform = PlatformModule();
  ASSERT_NE(platform, 0u);
  const std::string path = Os::ModulePath(platform);
  ASSERT_FALSE(path.empty());

  std::string error;
  const Os::TLibraryHandle library = Os::OpenLibrary(path, error);
  ASSERT_NE(library, nullptr) << error;
  EXPECT_EQ(Os::ModuleOf(library), platform) << "already loaded: the same module";
  void* own = Os::FindSymbol(library, "joyGetNumDevs");
  EXPECT_EQ(own, reinterpret_cast<void*>(&joyGetNumDevs));
  EXPECT_EQ(Os::FindSymbol(library, "NoSuchSymbolAnywhere"), nullptr);
  // The search goes on into what the library uses; ModuleContaining tells them apart.
  void* borrowed = Os::FindSymbol(library, "malloc");
  ASSERT_NE(borrowed, nullptr);
  EXPECT_NE(Os::ModuleContaining(borrowed), platform);
  EXPECT_TRUE(Os::CloseLibrary(library, error)) << error;
}

TEST(OsModules, OnlyAModulesBaseNamesIt) {
  const Os::TModuleBase platform = PlatformModule();
  EXPECT_EQ(Os::ModulePath(platform + 1), "");
  EXPECT_EQ(Os::ModulePath(0), "");
  EXPECT_EQ(Os::OpenLoadedModule(platform + 1), nullptr);
  EXPECT_EQ(Os::OpenLoadedModule(0), nullptr);
  EXPECT_EQ(Os::ModuleContaining(nullptr), 0u);

  // The program, which the loader does not know by its file name.
  const Os::TModuleBase program =
      Os::ModuleContaining(reinterpret_cast<const void*>(&PlatformModule));
  ASSERT_NE(program, 0u);
  ASSERT_NE(program, platform);
  const Os::TLibraryHandle self = Os::OpenLoadedModule(program);
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(Os::ModuleOf(self), program);
  std::string error;
  EXPECT_TRUE(Os::CloseLibrary(self, error)) << error;
}

TEST(OsModules, ListsTheProgramFirst) {
  const std::string program = Os::ExecutablePath();
  EXPECT_EQ(std::filesystem::path(program).filename(), "test_framework");
  EXPECT_TRUE(std::filesystem::path(program).is_absolute());
  const std::vector<std::string> files = Os::LoadedModuleFiles();
  ASSERT_FALSE(files.empty());
  EXPECT_EQ(files[0], program);

  const std::string platform = Os::ModulePath(PlatformModule());
  EXPECT_NE(std::find(files.begin(), files.end(), platform), files.end()) << platform;
}

// --- Files --------------------------------------------------------------------------

class OsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = std::filesystem::temp_directory_path() / ("vorlane-os-" + std::to_string(::getpid()));
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::string Write(const std::string& name, const std::string& text) {
    const std::filesystem::path file = FDir / name;
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }
  std::filesystem::path FDir;
};

TEST_F(OsFiles, ReadsFromThePositionOrAtAnOffset) {
  Os::TReadFile file(Write("ten", "0123456789"));
  EXPECT_EQ(file.Kind(), Os::TFileKind::Regular);
  EXPECT_EQ(file.Size(), 10u);
  char buffer[8] = {};
  ASSERT_EQ(file.Read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  ASSERT_EQ(file.ReadAt(7, buffer, 8), 3u) << "cut short by the end";
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(file.ReadAt(10, buffer, 8), 0u);
  EXPECT_EQ(file.ReadAt(99, buffer, 8), 0u);
  ASSERT_EQ(file.Read(buffer, 8), 6u) << "ReadAt left the position alone";
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(file.Read(buffer, 8), 0u);
}

TEST_F(OsFiles, OpensWhatIsNoRegularFileWithoutWaitingAndSaysWhatItIs) {
  const std::string fifo = (FDir / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Os::TReadFile(fifo).Kind(), Os::TFileKind::Fifo) << "no writer, and no wait";
  EXPECT_EQ(Os::TReadFile(FDir.string()).Kind(), Os::TFileKind::Directory);
  EXPECT_EQ(Os::TReadFile("/dev/null").Kind(), Os::TFileKind::CharacterDevice);
  EXPECT_EQ(Os::TReadFile("/dev/null").Size(), 0u);
}

TEST_F(OsFiles, FailuresNameTheCallAndKeepTheCode) {
  const std::string missing = (FDir / "missing").string();
  try {
    Os::TReadFile file(missing);
    FAIL() << "opened a missing file";
  } catch (const Os::EOsError& e) {
    EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
    EXPECT_STREQ(e.what(), "open: No such file or directory");
  }
  try {
    Os::FileIdOf(missing);
    FAIL() << "identified a missing file";
  } catch (const Os::EOsError& e) {
    EXPECT_STREQ(e.what(), "stat: No such file or directory");
  }
  Os::TReadFile directory(FDir.string());
  char buffer[4];
  EXPECT_THROW(directory.Read(buffer, sizeof buffer), Os::EOsError) << "EISDIR";
}

TEST_F(OsFiles, OneFileHasOneIdentityUnderEveryName) {
  const std::string a = Write("a", "same");
  const std::string b = Write("b", "same");
  const std::filesystem::path link = FDir / "link";
  std::filesystem::create_hard_link(a, link);
  EXPECT_EQ(Os::FileIdOf(a), Os::FileIdOf(link.string()));
  EXPECT_EQ(Os::FileIdOf(a), Os::FileIdOf((FDir / "." / "a").string()));
  EXPECT_NE(Os::FileIdOf(a), Os::FileIdOf(b)) << "equal contents are not one file";
}

}  // namespace
}  // namespace vorlane::OsTest
