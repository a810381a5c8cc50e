// The design package loaded through the package loader, as a designer host does:
// its life cycle, unit counters, information table, module record, registrations,
// and the loader's refusals.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "PackageSupport.hpp"
#include "vorlane/designer/DesignEditors.hpp"
#include "vorlane/designer/Inspector.hpp"
#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::PackageTest {
namespace {

using Packages::EPackageError;
using Packages::TModuleEvent;
using System::String;

constexpr const char* kEntrySymbol = "_ZN7vorlane10VorlaneJoy14InitializationEPvjS1_";
using TEntry = std::int32_t (*)(void*, std::uint32_t, void*);

// A module handle as the library entry gets it.
void* Instance(HMODULE module) {
  return reinterpret_cast<void*>(module);
}

const Packages::TPackageInfoTable* TableOf(HMODULE package) {
  auto get = reinterpret_cast<const Packages::TPackageInfoTable* (*)()>(
      Packages::GetProcAddress(package, "_Z19GetPackageInfoTablev"));
  EXPECT_NE(get, nullptr);
  return get != nullptr ? get() : nullptr;
}

const std::int32_t* ContainedCounter(const Packages::TPackageInfoTable* table,
                                     std::string_view unit) {
  for (const Packages::TContainedUnit& u : table->Contained)
    if (unit == u.Name) return u.InitCount;
  ADD_FAILURE() << "no contained unit " << unit;
  static const std::int32_t none = 99;
  return &none;
}

bool DesignerIsEmpty() {
  return DesignIntf::GetPalette().empty() && DesignIntf::GetPropertyEditorRegistrations().empty() &&
         DesignIntf::GetPropertyMappers().empty();
}

using PackageLifeCycle = TPackageFixture;

TEST_F(PackageLifeCycle, LoadAndUnloadWithoutRegisterLeaveNothingRegistered) {
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  ASSERT_NE(package, 0u);
  EXPECT_TRUE(IsMapped(kPackageFile));
  EXPECT_TRUE(DesignerIsEmpty());
  ASSERT_EQ(Packages::GetLoadedPackages().size(), 1u);
  EXPECT_FALSE(Packages::GetLoadedPackages()[0].Registered);
  // Not even form reading knows the package's classes before Register.
  EXPECT_EQ(TypInfo::FindClass("TJoystick"), nullptr);
  EXPECT_EQ(TypInfo::FindClass("TCapabilities"), nullptr);
  EXPECT_NE(Packages::FindPackageType("TJoystick"), nullptr);  // the type table answers

  Packages::UnloadPackage(package);
  EXPECT_TRUE(DesignerIsEmpty());
  EXPECT_EQ(TypInfo::FindClass("TJoystick"), nullptr);
  EXPECT_EQ(Packages::FindModule(package), nullptr);
  EXPECT_TRUE(Packages::GetLoadedPackages().empty());
  EXPECT_EQ(Packages::FindPackageType("TJoystick"), nullptr);
  EXPECT_FALSE(IsMapped(kPackageFile)) << "the library stayed loaded";
}

TEST_F(PackageLifeCycle, RunsEntryInitializeRegisterFinalizeExitInThisOrder) {
  TEventLog log;
  const Packages::TLibModule* recordAtAttach = nullptr;
  log.OnEvent = [&](TModuleEvent event, HMODULE module) {
    if (event == TModuleEvent::meAttached) recordAtAttach = Packages::FindModule(module);
  };
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  ASSERT_NE(recordAtAttach, nullptr);
  EXPECT_EQ(recordAtAttach->Instance, package);
  Packages::RegisterPackage(package);
  EXPECT_EQ(DesignIntf::GetPalette().size(), 1u);
  Packages::UnloadPackage(package);

  using enum TModuleEvent;
  EXPECT_EQ(log.EventsOf(package), (std::vector{meAttached, meInitialized, meDesignRegistered,
                                                meFinalized, meDetached, meLibraryFreed}));
  EXPECT_FALSE(IsMapped(kPackageFile));
}

TEST_F(PackageLifeCycle, CanBeLoadedAgainAfterUnloading) {
  for (int round = 0; round < 2; ++round) {
    const HMODULE package = Packages::LoadPackage(kPackageFile);
    Packages::RegisterPackage(package);
    EXPECT_EQ(DesignIntf::GetPropertyEditorRegistrations().size(), 42u);
    Packages::UnloadPackage(package);
    EXPECT_TRUE(DesignerIsEmpty());
  }
}

// --- Units ----------------------------------------------------------------------------

using PackageUnits = TPackageFixture;

TEST_F(PackageUnits, InitializeRunsTheTableAndLeavesTheContainedUnitsAlone) {
  TEventLog log;
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  const Packages::TPackageInfoTable* table = TableOf(package);
  ASSERT_NE(table, nullptr);

  // Every unit of the table was initialised once: its counter went from 0 to -1.
  for (const Packages::TUnitEntry& unit : table->Units) EXPECT_EQ(*unit.InitCount, -1) << unit.Name;
  // Joystick and JoystickDesign are not in the table: Initialize leaves them at 0.
  EXPECT_EQ(*ContainedCounter(table, "Joystick"), 0);
  EXPECT_EQ(*ContainedCounter(table, "JoystickDesign"), 0);
  EXPECT_EQ(*ContainedCounter(table, "SysInit"), -1);

  // Their exported routines count, and do nothing else.
  const char* routines[][3] = {
      {"Joystick", "_ZN7vorlane8Joystick14InitializationEv",
       "_ZN7vorlane8Joystick12FinalizationEv"},
      {"JoystickDesign", "_ZN7vorlane14JoystickDesign14InitializationEv",
       "_ZN7vorlane14JoystickDesign12FinalizationEv"},
  };
  for (const auto& [unit, init, fini] : routines) {
    auto initialize = reinterpret_cast<void (*)()>(Packages::GetProcAddress(package, init));
    auto finalize = reinterpret_cast<void (*)()>(Packages::GetProcAddress(package, fini));
    ASSERT_NE(initialize, nullptr) << unit;
    ASSERT_NE(finalize, nullptr) << unit;
    initialize();
    EXPECT_EQ(*ContainedCounter(table, unit), -1) << unit;
    initialize();
    EXPECT_EQ(*ContainedCounter(table, unit), -2) << unit;
    finalize();
    finalize();
    EXPECT_EQ(*ContainedCounter(table, unit), 0) << unit;
  }
  EXPECT_TRUE(DesignerIsEmpty());

  // Finalize brings every counter of the table back to 0, before the library goes.
  std::vector<std::int32_t> atFinalize;
  log.OnEvent = [&](TModuleEvent event, HMODULE module) {
    if (event != TModuleEvent::meFinalized || module != package) return;
    for (const Packages::TUnitEntry& unit : table->Units) atFinalize.push_back(*unit.InitCount);
  };
  const std::size_t units = table->Units.size();
  Packages::UnloadPackage(package);
  EXPECT_EQ(atFinalize, std::vector<std::int32_t>(units, 0));
  EXPECT_EQ(*Packages::FrameworkUnit("System").InitCount, 0);
}

TEST_F(PackageUnits, TableListsTheUsedUnitsInOrderAndTheTypeRecords) {
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  const Packages::TPackageInfoTable* table = TableOf(package);
  ASSERT_NE(table, nullptr);

  std::vector<std::string> names;
  for (const Packages::TUnitEntry& unit : table->Units) {
    names.push_back(unit.Name);
    if (names.back() == "SysInit") {
      EXPECT_TRUE(Packages::ModuleContains(package, reinterpret_cast<const void*>(unit.Init)));
    } else {
      // The framework's own units lead to the framework library's routines.
      const Packages::TUnitEntry& own = Packages::FrameworkUnit(unit.Name);
      EXPECT_EQ(unit.Init, own.Init) << unit.Name;
      EXPECT_EQ(unit.FInit, own.FInit) << unit.Name;
      EXPECT_FALSE(Packages::ModuleContains(package, reinterpret_cast<const void*>(unit.Init)));
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"System", "SysInit", "Closure", "TypInfo", "Classes",
                                             "Messages", "joystickapi", "Forms", "DesignIntf",
                                             "DesignEditors", "Packages"}));

  std::vector<std::string> contained;
  for (const Packages::TContainedUnit& u : table->Contained) contained.push_back(u.Name);
  EXPECT_EQ(contained, (std::vector<std::string>{"JoystickDesign", "Joystick", "SysInit"}));

  const std::vector<std::string> types = {"EJoystickError",
                                          "TJoystickForm",
                                          "TButtons",
                                          "TCapabilityFlag",
                                          "TCapabilityFlags",
                                          "TEventMode",
                                          "TPointOfViewDirection",
                                          "TButtonDownEvent",
                                          "TButtonUpEvent",
                                          "TMoveEvent",
                                          "TMoveZEvent",
                                          "TCapabilities",
                                          "TJoystick"};
  ASSERT_EQ(table->Types.size(), types.size());
  for (std::size_t i = 0; i < types.size(); ++i) {
    EXPECT_EQ(table->Types[i].Name, types[i]);
    ASSERT_NE(table->Types[i].Type, nullptr);
    EXPECT_EQ(std::string(table->Types[i].Type->Name), types[i]);
    EXPECT_TRUE(Packages::ModuleContains(package, table->Types[i].Type)) << types[i];
  }
  const TypInfo::PTypeInfo joystick = Packages::FindPackageType("TJoystick");
  ASSERT_NE(joystick, nullptr);
  EXPECT_EQ(joystick->Kind, TypInfo::TTypeKind::tkClass);
  EXPECT_EQ(Packages::FindPackageType("TCapabilityFlags")->Kind, TypInfo::TTypeKind::tkSet);
  EXPECT_EQ(Packages::FindPackageType("TControllerProperty"), nullptr);
}

// --- Module record and library entry ----------------------------------------------------

using PackageModule = TPackageFixture;

TEST_F(PackageModule, EntryFillsTheModuleRecordAndTheStartUpUnit) {
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  const Packages::TLibModule* record = Packages::FindModule(package);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->Instance, package);
  EXPECT_EQ(record->CodeInstance, 0u);
  EXPECT_EQ(record->DataInstance, 0u);
  EXPECT_EQ(record->ResInstance, package);  // filled in by the framework
  EXPECT_EQ(Packages::FindResourceHInstance(package), package);
  EXPECT_EQ(Packages::GetModuleFileName(package), kPackageFile);

  auto entry = reinterpret_cast<TEntry>(Packages::GetProcAddress(package, kEntrySymbol));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry(Instance(package), Packages::DLL_THREAD_ATTACH, nullptr), -1);
  EXPECT_EQ(entry(Instance(package), Packages::DLL_THREAD_DETACH, nullptr), -1);
  EXPECT_EQ(Packages::FindModule(package), record);  // other reasons change nothing
}

// At detach the entry frees the module's resource library, unless it is the module
// itself or none.
TEST_F(PackageModule, DetachFreesOnlyASeparateResourceLibrary) {
  TEventLog log;
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  auto entry = reinterpret_cast<TEntry>(Packages::GetProcAddress(package, kEntrySymbol));
  ASSERT_NE(entry, nullptr);
  Packages::TLibModule* record = Packages::FindModule(package);
  ASSERT_NE(record, nullptr);

  for (HMODULE resources : {package, HMODULE{0}}) {
    record->ResInstance = resources;
    EXPECT_EQ(entry(Instance(package), Packages::DLL_PROCESS_DETACH, nullptr), -1);
    EXPECT_EQ(Packages::FindModule(package), nullptr);
    EXPECT_EQ(log.Count(TModuleEvent::meLibraryFreed), 0) << "freed " << resources;
    EXPECT_TRUE(IsMapped(kPackageFile));
    EXPECT_EQ(entry(Instance(package), Packages::DLL_PROCESS_ATTACH, nullptr), -1);
    EXPECT_EQ(Packages::FindModule(package), record);
    EXPECT_EQ(record->ResInstance, package);
  }

  const HMODULE satellite = Packages::LoadLibrary(kSatelliteFile);
  record->ResInstance = satellite;
  EXPECT_EQ(entry(Instance(package), Packages::DLL_PROCESS_DETACH, nullptr), -1);
  EXPECT_EQ(log.EventsOf(satellite), std::vector{TModuleEvent::meLibraryFreed});
  EXPECT_FALSE(IsMapped(kSatelliteFile));
  record->ResInstance = 0;
  entry(Instance(package), Packages::DLL_PROCESS_ATTACH, nullptr);
  Packages::UnloadPackage(package);
}

TEST_F(PackageModule, UnloadingFreesTheResourceLibraryItWasGiven) {
  TEventLog log;
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  const HMODULE satellite = Packages::LoadLibrary(kSatelliteFile);
  Packages::FindModule(package)->ResInstance = satellite;

  // Resources of the module are then looked up in the resource library.
  const HMODULE resources = Packages::FindResourceHInstance(package);
  EXPECT_EQ(resources, satellite);
  auto description = Packages::FindResource(resources, Packages::RT_RCDATA, u"DESCRIPTION");
  ASSERT_TRUE(description.has_value());
  EXPECT_EQ(description->Language, 0x0407);

  Packages::UnloadPackage(package);
  EXPECT_EQ(log.EventsOf(satellite), std::vector{TModuleEvent::meLibraryFreed});
  EXPECT_FALSE(IsMapped(kSatelliteFile));
  EXPECT_FALSE(IsMapped(kPackageFile));
}

// --- Registrations ------------------------------------------------------------------------

using PackageRegistration = TPackageFixture;

DesignIntf::TPropertyEditorClass HostMapper(Classes::TPersistent*, const TypInfo::TPropInfo*) {
  return {};
}

TEST_F(PackageRegistration, RegisterInstallsThePackageAndUnloadWithdrawsOnlyIt) {
  // Registrations of the host, made before the package's, stay.
  DesignIntf::RegisterPropertyEditor(
      TypInfo::IntegerTypeInfo(), nullptr, u"Port",
      DesignEditors::EditorClassOf<DesignEditors::TIntegerProperty>());
  DesignIntf::RegisterPropertyMapper(&HostMapper);

  const HMODULE package = Packages::LoadPackage(kPackageFile);
  Packages::RegisterPackage(package);
  EXPECT_TRUE(Packages::GetLoadedPackages()[0].Registered);

  const auto palette = DesignIntf::GetPalette();
  ASSERT_EQ(palette.size(), 1u);
  EXPECT_EQ(palette[0].Name, u"Vorlane");
  ASSERT_EQ(palette[0].Classes.size(), 1u);
  EXPECT_EQ(std::string(palette[0].Classes[0]->Name), "TJoystick");
  EXPECT_TRUE(Packages::ModuleContains(package, palette[0].Classes[0]));
  EXPECT_EQ(TypInfo::FindClass("TJoystick"), palette[0].Classes[0]);

  const auto editors = DesignIntf::GetPropertyEditorRegistrations();
  ASSERT_EQ(editors.size(), 43u);
  EXPECT_EQ(editors[1].PropertyName, u"Controller");
  EXPECT_EQ(editors[1].EditorClass.Name(), u"TControllerProperty");
  EXPECT_EQ(editors[42].PropertyName, u"RegistryKey");
  EXPECT_EQ(editors[42].EditorClass.Name(), u"TCheckedStringProperty");
  ASSERT_EQ(DesignIntf::GetPropertyMappers().size(), 2u);

  Packages::UnloadPackage(package);
  EXPECT_TRUE(DesignIntf::GetPalette().empty());
  EXPECT_EQ(TypInfo::FindClass("TJoystick"), nullptr) << "form reading kept an unloaded class";
  const auto left = DesignIntf::GetPropertyEditorRegistrations();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].PropertyName, u"Port");
  EXPECT_EQ(DesignIntf::GetPropertyMappers(),
            std::vector<DesignIntf::TPropertyMapperFunc>{&HostMapper});
}

TEST_F(PackageRegistration, TheDesignerWithdrawsAPackageAsSoonAsItsUnitsAreFinalised) {
  // The designer follows the module notifications, not UnloadPackage: a package
  // finalised by hand is withdrawn while its library is still loaded.
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  Packages::RegisterPackage(package);
  ASSERT_FALSE(DesignerIsEmpty());
  auto finalize = reinterpret_cast<void (*)()>(Packages::GetProcAddress(package, "Finalize"));
  ASSERT_NE(finalize, nullptr);
  finalize();
  EXPECT_TRUE(IsMapped(kPackageFile));
  EXPECT_TRUE(DesignerIsEmpty());
  EXPECT_EQ(TypInfo::FindClass("TJoystick"), nullptr);
  Packages::UnloadPackage(package);  // a second Finalize finds nothing to do
  EXPECT_FALSE(IsMapped(kPackageFile));
}

TEST_F(PackageRegistration, TheDesignerShowsAComponentOfThePackageWithItsEditors) {
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  Packages::RegisterPackage(package);
  const TypInfo::PTypeInfo type = Packages::FindPackageType("TJoystick");
  ASSERT_NE(type, nullptr);
  const TypInfo::TClassInfo* cls = type->Data.ClassType;
  ASSERT_NE(cls->Members.Create, nullptr);
  {
    // The editors the designer would create (their values are not read here: that
    // asks the joystick service, which the editors' own tests cover).
    Classes::TComponent* joystick = cls->Members.Create(nullptr);
    Inspector::TObjectInspector inspector({joystick});
    auto editorOf = [&](std::u16string_view path) {
      const DesignIntf::IPropertyPtr editor = inspector.FindProperty(path);
      EXPECT_TRUE(editor) << System::StringToUtf8(String(path));
      auto* object = editor ? dynamic_cast<System::TObject*>(editor.Get()) : nullptr;
      return object != nullptr ? object->ClassName() : String();
    };
    EXPECT_EQ(editorOf(u"Controller"), u"TControllerProperty");
    EXPECT_EQ(editorOf(u"Threshold"), u"TCheckedIntegerProperty");
    EXPECT_EQ(editorOf(u"PressedButtons"), u"TCheckedSetProperty");
    EXPECT_EQ(editorOf(u"Capabilities.ProductName"), u"TCheckedStringProperty");
    EXPECT_EQ(editorOf(u"EventMode"), u"TEnumProperty");
    System::TObject::Free(joystick);
  }
  Packages::UnloadPackage(package);
}

// --- Refusals ------------------------------------------------------------------------------

using PackageRefusals = TPackageFixture;

std::string MessageOf(const std::string& file) {
  try {
    Packages::LoadPackage(file);
  } catch (const EPackageError& e) {
    return e.what();
  }
  ADD_FAILURE() << file << " was loaded";
  return {};
}

TEST_F(PackageRefusals, NamesTheFileAndWhatFailed) {
  EXPECT_EQ(MessageOf("/nonexistent/libNone.so"),
            "Cannot load package '/nonexistent/libNone.so': No such file or directory.");
  const std::string script = std::string(VORLANE_TEST_SOURCE_DIR) + "/data/Broken.rc";
  EXPECT_EQ(MessageOf(script), "'" + script + "' is not an ELF file.");
  EXPECT_EQ(MessageOf(VORLANE_RUNTIME_FILE),
            std::string("'") + VORLANE_RUNTIME_FILE +
                "' carries no resources: it exports no VorlaneResources.");
  EXPECT_EQ(MessageOf(kSatelliteFile),
            "'" + kSatelliteFile + "' is not a package: it carries no PACKAGEINFO resource.");
  EXPECT_EQ(MessageOf(VORLANE_UNAVAILABLE_FILE),
            std::string("Cannot load package '") + VORLANE_UNAVAILABLE_FILE +
                "': it requires package 'vlmissing', which is not loaded.");
  EXPECT_EQ(MessageOf(VORLANE_NO_INITIALIZE_FILE), std::string("Cannot load package '") +
                                                       VORLANE_NO_INITIALIZE_FILE +
                                                       "': it exports no Initialize routine.");
  EXPECT_EQ(MessageOf(VORLANE_NO_MODULE_FILE), std::string("Cannot load package '") +
                                                   VORLANE_NO_MODULE_FILE +
                                                   "': its library entry registered no module.");
  // A refused library is closed again and leaves no module behind.
  EXPECT_FALSE(IsMapped(VORLANE_NO_INITIALIZE_FILE));
  EXPECT_FALSE(IsMapped(VORLANE_NO_MODULE_FILE));
  EXPECT_TRUE(Packages::GetModules().empty());
  EXPECT_TRUE(Packages::GetLoadedPackages().empty());
}

TEST_F(PackageRefusals, APackageIsLoadedOnceAndItsUnitsOnce) {
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  EXPECT_EQ(MessageOf(kPackageFile), "Cannot load package '" + kPackageFile +
                                         "': it is already loaded (as '" + kPackageFile + "').");

  const std::filesystem::path copy = std::filesystem::temp_directory_path() /
                                     ("VorlaneJoyCopy" + std::to_string(::getpid()) + ".so");
  std::filesystem::copy_file(kPackageFile, copy, std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(MessageOf(copy.string()),
            "Cannot load package '" + copy.string() +
                "': it contains unit 'JoystickDesign', which is also contained in package "
                "'VorlaneJoy' ('" +
                kPackageFile + "').");
  Packages::UnloadPackage(package);
  EXPECT_THROW(Packages::UnloadPackage(package), EPackageError);
  EXPECT_THROW(Packages::RegisterPackage(package), EPackageError);

  // Once the first is gone, the copy is a package like any other.
  const HMODULE second = Packages::LoadPackage(copy.string());
  Packages::UnloadPackage(second);
  std::filesystem::remove(copy);
}

#ifdef VORLANE_JOYSTICK_FILE
// A process that already holds the runtime unit (a program linked with
// libvorlane-joystick) must not load the package: the unit's classes would be there
// twice. The loader says so before it opens the package. Run in a child process,
// since the runtime library cannot be unloaded again.
TEST(PackageRefusalsDeathTest, AUnitTheProcessAlreadyHoldsIsRefusedBeforeLoading) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        Packages::LoadLibrary(VORLANE_JOYSTICK_FILE);
        std::string message;
        try {
          Packages::LoadPackage(kPackageFile);
        } catch (const EPackageError& e) {
          message = e.what();
        }
        const bool ok = message.find("it contains unit 'JoystickDesign'") == std::string::npos &&
                        message.find(
                            "it contains unit 'Joystick', which this process already "
                            "holds in '") != std::string::npos &&
                        !IsMapped(kPackageFile);
        std::fprintf(stderr, "%s\n", message.c_str());
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "libvorlane-joystick");
}
#endif

}  // namespace
}  // namespace vorlane::PackageTest
