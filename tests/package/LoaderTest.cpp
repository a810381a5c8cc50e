// The package loader's framework side on its own: unit initialisation from a table,
// the module list, libraries, and the decoding of malformed resource data.
#include <algorithm>
#include <string>

#include "PackageSupport.hpp"
#include "framework/os/Os.hpp"

namespace vorlane::PackageTest {
namespace {

using Packages::EPackageError;
using Packages::TLibModule;
using Packages::TPackageInfoTable;
using Packages::TUnitEntry;

// Units whose routines write into a journal; unit 2's initialisation can be made to fail.
std::vector<std::string> gJournal;
std::int32_t gCounts[4];
bool gFailInit2 = false;
bool gFailFInit1 = false;

template <int N>
void Init() {
  if (N == 2 && gFailInit2) throw System::Exception(u"unit 2 cannot start");
  --gCounts[N];
  gJournal.push_back("init " + std::to_string(N));
}
template <int N>
void FInit() {
  ++gCounts[N];
  gJournal.push_back("fini " + std::to_string(N));
  if (N == 1 && gFailFInit1) throw System::Exception(u"unit 1 cannot stop");
}

const TUnitEntry kUnits[] = {
    {"Zero", &Init<0>, &FInit<0>, &gCounts[0]},  {"One", &Init<1>, &FInit<1>, &gCounts[1]},
    {"NoRoutines", nullptr, nullptr, nullptr},   {"Two", &Init<2>, &FInit<2>, &gCounts[2]},
    {"Three", &Init<3>, &FInit<3>, &gCounts[3]},
};
const TPackageInfoTable kTable{kUnits, {}, {}};

class UnitInitialisation : public ::testing::Test {
 protected:
  void SetUp() override {
    gJournal.clear();
    for (std::int32_t& c : gCounts) c = 0;
    gFailInit2 = gFailFInit1 = false;
    FModule.Instance = 0x1000;
  }
  TLibModule FModule;
};

TEST_F(UnitInitialisation, InitialisesInTableOrderAndFinalisesLastFirst) {
  Packages::PackageLoad(&kTable, &FModule);
  EXPECT_EQ(gJournal, (std::vector<std::string>{"init 0", "init 1", "init 2", "init 3"}));
  for (std::int32_t c : gCounts) EXPECT_EQ(c, -1);
  EXPECT_THROW(Packages::PackageLoad(&kTable, &FModule), EPackageError) << "twice";

  gJournal.clear();
  Packages::PackageUnload(&kTable, &FModule);
  EXPECT_EQ(gJournal, (std::vector<std::string>{"fini 3", "fini 2", "fini 1", "fini 0"}));
  for (std::int32_t c : gCounts) EXPECT_EQ(c, 0);

  gJournal.clear();
  Packages::PackageUnload(&kTable, &FModule);  // nothing is initialised any more
  EXPECT_TRUE(gJournal.empty());
}

TEST_F(UnitInitialisation, AFailingInitialisationUndoesTheUnitsBeforeIt) {
  gFailInit2 = true;
  try {
    Packages::PackageLoad(&kTable, &FModule);
    FAIL() << "no exception";
  } catch (const System::Exception& e) {
    EXPECT_EQ(e.GetMessage(), u"unit 2 cannot start");
  }
  EXPECT_EQ(gJournal, (std::vector<std::string>{"init 0", "init 1", "fini 1", "fini 0"}));
  for (std::int32_t c : gCounts) EXPECT_EQ(c, 0);

  gJournal.clear();
  Packages::PackageUnload(&kTable, &FModule);
  EXPECT_TRUE(gJournal.empty()) << "the failed load left nothing to finalise";
  gFailInit2 = false;
  Packages::PackageLoad(&kTable, &FModule);  // and may be tried again
  Packages::PackageUnload(&kTable, &FModule);
}

TEST_F(UnitInitialisation, AFailingFinalisationStopsNoOtherAndIsRaisedAfterwards) {
  Packages::PackageLoad(&kTable, &FModule);
  gJournal.clear();
  gFailFInit1 = true;
  EXPECT_THROW(Packages::PackageUnload(&kTable, &FModule), System::Exception);
  EXPECT_EQ(gJournal, (std::vector<std::string>{"fini 3", "fini 2", "fini 1", "fini 0"}));
}

TEST_F(UnitInitialisation, RefusesMissingArgumentsAndUnknownFrameworkUnits) {
  EXPECT_THROW(Packages::PackageLoad(nullptr, &FModule), EPackageError);
  EXPECT_THROW(Packages::PackageLoad(&kTable, nullptr), EPackageError);
  EXPECT_THROW(Packages::FrameworkUnit("Joystick"), EPackageError);
  const TUnitEntry& system = Packages::FrameworkUnit("System");
  EXPECT_EQ(std::string(system.Name), "System");
  system.Init();
  EXPECT_EQ(*system.InitCount, -1);
  system.FInit();
  EXPECT_EQ(*system.InitCount, 0);
}

TEST(FrameworkUnits, EachLeadsToTheLibraryThatHoldsIt) {
  // This program does not use vlvisual or vldesign itself; the design package
  // requires both, so loading it brings them in.
  const HMODULE package = Packages::LoadPackage(VORLANE_PACKAGE_FILE);
  // A unit's entry points into its own library, so that a package's table runs the
  // routines of the framework package that really holds the unit.
  const std::pair<const char*, const char*> units[] = {
      {"System", "libvlruntime.so"},    {"FormData", "libvlruntime.so"},
      {"Forms", "libvlvisual.so"},      {"Messages", "libvlvisual.so"},
      {"DesignIntf", "libvldesign.so"}, {"Inspector", "libvldesign.so"},
      {"Packages", "libvlpackages.so"}, {"joystickapi", "libvorlane-joyservice.so"}};
  for (const auto& [unit, library] : units) {
    const TUnitEntry& entry = Packages::FrameworkUnit(unit);
    const std::string path =
        Os::ModulePath(Os::ModuleContaining(reinterpret_cast<const void*>(entry.Init)));
    EXPECT_NE(path.find(library), std::string::npos) << unit << " is in " << path;
  }
  const std::vector<std::string> packages = Packages::FrameworkPackages();
  for (const char* name : {"vlruntime", "vlvisual", "vlpackages", "vldesign", "vorlane-joyservice"})
    EXPECT_NE(std::find(packages.begin(), packages.end(), name), packages.end()) << name;
  Packages::UnloadPackage(package);
}

// --- Module list ----------------------------------------------------------------------

TEST(ModuleList, RegistersRecordsOncePerInstance) {
  TEventLog log;
  TLibModule a, b;
  a.Instance = b.Instance = 0x2000;
  Packages::RegisterModule(&a);
  EXPECT_EQ(a.ResInstance, 0x2000u) << "the framework fills in the resource instance";
  Packages::RegisterModule(&a);  // the same record again: no change
  EXPECT_THROW(Packages::RegisterModule(&b), EPackageError);
  EXPECT_EQ(Packages::FindModule(0x2000), &a);
  EXPECT_EQ(Packages::GetModules(), std::vector<TLibModule*>{&a});

  TLibModule c;
  c.Instance = 0x3000;
  c.ResInstance = 0x4000;
  Packages::RegisterModule(&c);
  EXPECT_EQ(Packages::FindResourceHInstance(0x3000), 0x4000u);
  EXPECT_EQ(Packages::FindResourceHInstance(0x5000), 0x5000u) << "an unregistered module";

  Packages::UnregisterModule(&a);
  Packages::UnregisterModule(&a);  // ignored
  Packages::UnregisterModule(&c);
  EXPECT_EQ(Packages::FindModule(0x2000), nullptr);
  EXPECT_TRUE(Packages::GetModules().empty());
  using enum Packages::TModuleEvent;
  EXPECT_EQ(log.EventsOf(0x2000), (std::vector{meAttached, meDetached}));

  TLibModule none;
  EXPECT_THROW(Packages::RegisterModule(&none), EPackageError);
  EXPECT_THROW(Packages::RegisterModule(nullptr), EPackageError);
}

// --- Libraries ------------------------------------------------------------------------

TEST(Libraries, LoadFindAndFree) {
  TEventLog log;
  const HMODULE satellite = Packages::LoadLibrary(kSatelliteFile);
  EXPECT_EQ(Packages::LoadLibrary(kSatelliteFile), satellite);
  EXPECT_EQ(Packages::GetModuleFileName(satellite), kSatelliteFile);
  EXPECT_NE(Packages::GetProcAddress(satellite, "VorlaneResources"), nullptr);
  EXPECT_EQ(Packages::GetProcAddress(satellite, "malloc"), nullptr)
      << "a symbol of a library it uses is not its own";
  EXPECT_TRUE(
      Packages::ModuleContains(satellite, Packages::GetProcAddress(satellite, "VorlaneResources")));
  EXPECT_FALSE(Packages::ModuleContains(satellite, &gJournal));

  const auto resources = Packages::EnumResources(satellite);
  ASSERT_EQ(resources.size(), 1u);
  EXPECT_EQ(resources[0].Name.Text(), u"DESCRIPTION");
  EXPECT_EQ(resources[0].Language, 0x0407);

  Packages::FreeLibrary(satellite);
  EXPECT_TRUE(IsMapped(kSatelliteFile)) << "loaded twice, freed once";
  Packages::FreeLibrary(satellite);
  EXPECT_FALSE(IsMapped(kSatelliteFile));
  EXPECT_EQ(log.EventsOf(satellite), std::vector{Packages::TModuleEvent::meLibraryFreed});
  EXPECT_THROW(Packages::FreeLibrary(satellite), EPackageError);
}

TEST(Libraries, AFileThatCannotBeLoadedIsNamedWithTheReason) {
  try {
    Packages::LoadLibrary("/nonexistent/libNothing.so");
    FAIL() << "no exception";
  } catch (const EPackageError& e) {
    const std::string message = e.what();
    EXPECT_TRUE(message.starts_with("Cannot load library '/nonexistent/libNothing.so': "))
        << message;
    EXPECT_NE(message.find("No such file"), std::string::npos) << message;
  }
  EXPECT_THROW(Packages::LoadLibrary(""), EPackageError);
}

// --- Malformed data -------------------------------------------------------------------------

// A resource image: the marker entry, then one RCDATA resource named "A".
std::vector<std::uint8_t> Image(std::vector<std::uint8_t> data) {
  std::vector<std::uint8_t> out = {0, 0, 0, 0, 32, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};
  out.resize(32, 0);
  const std::uint32_t size = static_cast<std::uint32_t>(data.size());
  const std::vector<std::uint8_t> header = {std::uint8_t(size),
                                            std::uint8_t(size >> 8),
                                            0,
                                            0,
                                            32,
                                            0,
                                            0,
                                            0,
                                            0xFF,
                                            0xFF,
                                            10,
                                            0,
                                            'A',
                                            0,
                                            0,
                                            0,
                                            0,
                                            0,
                                            0,
                                            0,
                                            0x30,
                                            0,
                                            0x09,
                                            0x04,
                                            0,
                                            0,
                                            0,
                                            0,
                                            0,
                                            0,
                                            0,
                                            0};
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), data.begin(), data.end());
  while (out.size() % 4 != 0) out.push_back(0);
  return out;
}

std::string ParseError(const std::vector<std::uint8_t>& image) {
  try {
    Packages::ParseResources(Bytes(image), "the test image");
  } catch (const EPackageError& e) {
    return e.what();
  }
  return "accepted";
}

TEST(ResourceImage, ParsesEntriesAndRejectsDamage) {
  const auto good = Image({1, 2, 3});
  const auto resources = Packages::ParseResources(Bytes(good), "the test image");
  ASSERT_EQ(resources.size(), 1u);
  EXPECT_EQ(resources[0].Type, Packages::TResourceId(Packages::RT_RCDATA));
  EXPECT_EQ(resources[0].Name, Packages::TResourceId(u"a"));
  EXPECT_EQ(resources[0].Language, 0x0409);
  EXPECT_EQ(resources[0].Data.size(), 3u);

  auto cut = good;
  cut.resize(40);
  EXPECT_EQ(ParseError(cut),
            "the test image is malformed: a resource header gives a header size "
            "of 32 (at byte 40).");
  auto tooLong = good;
  tooLong[32] = 200;  // data size beyond the end
  EXPECT_EQ(ParseError(tooLong),
            "the test image is malformed: a resource's data (200 bytes) runs past the end (at "
            "byte 40).");
  auto unterminated = good;
  unterminated[44] = 'B';
  unterminated[46] = 'C';  // the name "ABC..." runs into the fixed fields
  EXPECT_NE(ParseError(unterminated), "accepted");
  auto marker = good;
  marker[0] = 4;  // the marker entry claims data
  EXPECT_NE(ParseError(marker), "accepted");
}

std::vector<std::uint8_t> PackageInfo(std::uint8_t unitHash) {
  std::vector<std::uint8_t> d = {0x02, 0, 0, 0x40, 1, 0, 0, 0};
  auto name = [&](std::uint8_t hash, const std::string& text) {
    d.push_back(hash);
    d.insert(d.end(), text.begin(), text.end());
    d.push_back(0);
  };
  name(Packages::NameHash("vlvisual"), "vlvisual");
  d.insert(d.end(), {1, 0, 0, 0, 3});
  name(unitHash, "Pkg");
  name(Packages::NameHash("Pkg"), "Pkg");
  d.push_back(0);
  return d;
}

TEST(PackageInfoDecoding, ChecksHashesLengthsAndPadding) {
  const auto good = PackageInfo(Packages::NameHash("PKG"));
  const Packages::TPackageInfo info = Packages::DecodePackageInfo(Bytes(good), "info");
  EXPECT_EQ(info.Flags, 0x40000002u);
  ASSERT_EQ(info.Contains.size(), 1u);
  EXPECT_EQ(info.Contains[0].Flags, 3);

  EXPECT_THROW(Packages::DecodePackageInfo(Bytes(PackageInfo(0x55)), "info"), EPackageError);
  for (std::size_t size = 0; size + 1 < good.size(); ++size) {
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(size));
    EXPECT_THROW(Packages::DecodePackageInfo(Bytes(cut), "info"), EPackageError) << size;
  }
  auto trailing = good;
  trailing.back() = 7;
  EXPECT_THROW(Packages::DecodePackageInfo(Bytes(trailing), "info"), EPackageError);
  auto many = good;
  many[4] = 0xFF;
  many[7] = 0x7F;
  EXPECT_THROW(Packages::DecodePackageInfo(Bytes(many), "info"), EPackageError);
}

TEST(PackageInfoDecoding, NameHashIgnoresCase) {
  EXPECT_EQ(Packages::NameHash("A"), 0x41);
  EXPECT_EQ(Packages::NameHash("ab"), 0xC4);  // rotate 0x41 to 0x82, add 0x42
  EXPECT_EQ(Packages::NameHash("JoystickDesign"), Packages::NameHash("JOYSTICKDESIGN"));
  EXPECT_NE(Packages::NameHash("Joystick"), Packages::NameHash("JoystickDesign"));
}

TEST(VersionDecoding, RejectsBlocksThatDoNotFit) {
  std::vector<std::uint8_t> d = {200, 0, 52, 0, 0, 0, 'V', 0, 0, 0};
  EXPECT_THROW(Packages::DecodeVersionInfo(Bytes(d), "version"), EPackageError);
  d[0] = 10;  // fits, but the 52-byte value does not
  EXPECT_THROW(Packages::DecodeVersionInfo(Bytes(d), "version"), EPackageError);
  EXPECT_THROW(Packages::DecodeVersionInfo({}, "version"), EPackageError);
}

}  // namespace
}  // namespace vorlane::PackageTest
