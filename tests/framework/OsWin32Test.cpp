// The framework's system seam on Windows: the wake event and the wait on handles,
// the system loader, and files opened for reading.
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "framework/os/Os.hpp"

namespace vorlane::OsTest {
namespace {

using Os::TReadiness;
using Os::TWatchedSource;
using namespace std::chrono_literals;

// An event closed with the test.
struct TEvent {
  HANDLE Handle = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~TEvent() { ::CloseHandle(Handle); }
};

// --- Waking and waiting -------------------------------------------------------------

TEST(OsWait, TimesOutWokenAndReportsEveryReadyHandle) {
  Os::TWakeEvent wake;
  TEvent a, b, c;
  TWatchedSource sources[] = {{a.Handle}, {b.Handle}, {c.Handle}};

  const auto start = std::chrono::steady_clock::now();
  Os::TWaitResult r = Os::Wait(wake, sources, 30ms);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms) << "rounded up, never early";
  EXPECT_FALSE(r.Woken);
  EXPECT_FALSE(r.Interrupted);
  EXPECT_EQ(sources[0].Readiness, TReadiness::NotReady);

  ::SetEvent(b.Handle);
  ::SetEvent(c.Handle);
  r = Os::Wait(wake, sources, std::nullopt);
  EXPECT_FALSE(r.Woken);
  EXPECT_EQ(sources[0].Readiness, TReadiness::NotReady);
  EXPECT_EQ(sources[1].Readiness, TReadiness::Ready);
  EXPECT_EQ(sources[2].Readiness, TReadiness::Ready);

  std::thread([&] { wake.Signal(); }).join();
  wake.Signal();  // signals do not queue
  r = Os::Wait(wake, sources, 0ns);
  EXPECT_TRUE(r.Woken);
  wake.Clear();
  EXPECT_FALSE(Os::Wait(wake, {}, 0ns).Woken);
}

TEST(OsWait, ABadHandleIsInvalidAndTheOthersStillReport) {
  Os::TWakeEvent wake;
  TEvent ready;
  ::SetEvent(ready.Handle);
  // A closed handle's value may be given to the next handle opened anywhere in the
  // process, so the test uses a value no handle table reaches.
  HANDLE closed = reinterpret_cast<HANDLE>(std::uintptr_t{0x3fff'fffc});
  TWatchedSource sources[] = {{closed}, {ready.Handle}};
  const Os::TWaitResult r = Os::Wait(wake, sources, 1s);
  EXPECT_FALSE(r.Woken);
  EXPECT_EQ(sources[0].Readiness, TReadiness::Invalid);
  EXPECT_EQ(sources[1].Readiness, TReadiness::Ready);
}

TEST(OsWait, MoreHandlesThanTheSystemWaitsOnAreRefused) {
  Os::TWakeEvent wake;
  TEvent event;
  std::vector<TWatchedSource> sources(63, TWatchedSource{event.Handle});
  try {
    Os::Wait(wake, sources, 0ns);
    ADD_FAILURE() << "accepted 63 handles";
  } catch (const Os::EOsError& e) {
    EXPECT_NE(std::string(e.what()).find("at most 62 watched handles"), std::string::npos)
        << e.what();
  }
  sources.resize(62);
  EXPECT_NO_THROW(Os::Wait(wake, sources, 0ns));
}

TEST(OsWait, IntegersNameHandles) {
  EXPECT_FALSE(Os::SourceFromInteger(0));
  EXPECT_FALSE(Os::SourceFromInteger(-1));  // INVALID_HANDLE_VALUE
  TEvent event;
  EXPECT_EQ(Os::SourceFromInteger(reinterpret_cast<std::intptr_t>(event.Handle)), event.Handle);
}

// --- Modules ------------------------------------------------------------------------

// The framework's run-time library, which holds the seam.
Os::TModuleBase RuntimeModule() {
  return Os::ModuleContaining(reinterpret_cast<const void*>(&Os::ExecutablePath));
}

TEST(OsModules, ALibraryThatCannotBeLoadedGivesTheLoadersText) {
  std::string error;
  EXPECT_EQ(Os::OpenLibrary("C:\\nonexistent\\None.dll", error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(error.find("system error"), std::string::npos) << "worded by the system: " << error;
}

TEST(OsModules, FindsTheSymbolsOfALoadedLibraryAndTellsWhoseTheyAre) {
  const Os::TModuleBase runtime = RuntimeModule();
  ASSERT_NE(runtime, 0u);
  const std::string path = Os::ModulePath(runtime);
  ASSERT_FALSE(path.empty());

  std::string error;
  const Os::TLibraryHandle library = Os::OpenLibrary(path, error);
  ASSERT_NE(library, nullptr) << error;
  EXPECT_EQ(Os::ModuleOf(library), runtime) << "already loaded: the same module";
  EXPECT_TRUE(Os::CloseLibrary(library, error)) << error;

  const Os::TLibraryHandle kernel = Os::OpenLibrary("kernel32.dll", error);
  ASSERT_NE(kernel, nullptr) << error;
  void* found = Os::FindSymbol(kernel, "GetProcAddress");
  EXPECT_EQ(found, reinterpret_cast<void*>(&::GetProcAddress));
  EXPECT_EQ(Os::ModuleContaining(found), Os::ModuleOf(kernel));
  EXPECT_EQ(Os::FindSymbol(kernel, "NoSuchSymbolAnywhere"), nullptr);
  EXPECT_TRUE(Os::CloseLibrary(kernel, error)) << error;
}

TEST(OsModules, OnlyAModulesBaseNamesItAndTheProgramComesFirst) {
  const Os::TModuleBase runtime = RuntimeModule();
  EXPECT_EQ(Os::ModulePath(runtime + 1), "");
  EXPECT_EQ(Os::ModulePath(0), "");
  EXPECT_EQ(Os::OpenLoadedModule(runtime + 1), nullptr);
  EXPECT_EQ(Os::ModuleContaining(nullptr), 0u);

  const Os::TModuleBase program =
      Os::ModuleContaining(reinterpret_cast<const void*>(&RuntimeModule));
  ASSERT_NE(program, 0u);
  EXPECT_EQ(Os::ModulePath(program), Os::ExecutablePath());
  const Os::TLibraryHandle self = Os::OpenLoadedModule(program);
  ASSERT_NE(self, nullptr);
  std::string error;
  EXPECT_TRUE(Os::CloseLibrary(self, error)) << error;

  const std::vector<std::string> files = Os::LoadedModuleFiles();
  ASSERT_FALSE(files.empty());
  EXPECT_EQ(files.front(), Os::ExecutablePath());
}

// --- Files --------------------------------------------------------------------------

struct TTempFile {
  std::filesystem::path Path = std::filesystem::temp_directory_path() /
                               ("vorlane-os-" + std::to_string(::GetCurrentProcessId()));
  explicit TTempFile(const std::string& text) { std::ofstream(Path, std::ios::binary) << text; }
  ~TTempFile() { std::filesystem::remove(Path); }
};

TEST(OsFiles, ReadsInPlaceAndAtOffsetsWithoutMovingThePosition) {
  TTempFile temp("0123456789");
  Os::TReadFile file(temp.Path.string());
  EXPECT_EQ(file.Kind(), Os::TFileKind::Regular);
  EXPECT_EQ(file.Size(), 10u);
  char buffer[8] = {};
  ASSERT_EQ(file.Read(buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "012");
  ASSERT_EQ(file.ReadAt(7, buffer, 8), 3u);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(file.ReadAt(10, buffer, 8), 0u);
  ASSERT_EQ(file.Read(buffer, 8), 7u) << "the position stayed after 012";
  EXPECT_EQ(std::string(buffer, 7), "3456789");
  EXPECT_EQ(file.Read(buffer, 8), 0u);
}

TEST(OsFiles, DirectoriesIdentitiesAndMissingFiles) {
  TTempFile temp("x");
  const std::string dir = temp.Path.parent_path().string();
  EXPECT_EQ(Os::TReadFile(dir).Kind(), Os::TFileKind::Directory);
  EXPECT_EQ(Os::FileIdOf(temp.Path.string()), Os::FileIdOf(temp.Path.string()));
  EXPECT_NE(Os::FileIdOf(temp.Path.string()), Os::FileIdOf(dir));
  try {
    Os::TReadFile missing("C:\\nonexistent\\file.txt");
    ADD_FAILURE() << "opened";
  } catch (const Os::EOsError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("CreateFileW: ", 0), 0u) << e.what();
  }
  EXPECT_THROW(Os::FileIdOf("C:\\nonexistent\\file.txt"), Os::EOsError);
}

}  // namespace
}  // namespace vorlane::OsTest
