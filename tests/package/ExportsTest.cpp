// The dynamic symbol table of the built package file, as `nm` reads it: what the
// package must export, and that none of the property editors is among it.
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "PackageSupport.hpp"

namespace vorlane::PackageTest {
namespace {

// The names (demangled) of the symbols in the file's dynamic symbol table: those it
// defines, or those it imports.
std::set<std::string> DynamicNames(const std::string& file, bool defined) {
  const std::string command = std::string("nm -D ") +
                              (defined ? "--defined-only" : "--undefined-only") + " -C '" + file +
                              "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), &::pclose);
  EXPECT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[4096];
  while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    // "<address> <kind> <name>", the address blank for an import
    const auto start = text.find_first_not_of(' ');
    auto at = start == std::string::npos ? start : text.find(' ', start);
    if (defined && at != std::string::npos) at = text.find(' ', at + 1);
    if (at == std::string::npos) {
      ADD_FAILURE() << "unexpected nm output: " << text;
      continue;
    }
    names.insert(text.substr(at + 1));
  }
  return names;
}

class PackageExports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Names = new std::set<std::string>(DynamicNames(kPackageFile, true));
  }
  static void TearDownTestSuite() {
    delete Names;
    Names = nullptr;
  }
  static bool Has(const std::string& name) { return Names->contains(name); }
  static std::set<std::string>* Names;
};
std::set<std::string>* PackageExports::Names = nullptr;

TEST_F(PackageExports, HoldThePackageRoutinesTwiceAndTheEntry) {
  ASSERT_GT(Names->size(), 20u);
  for (const char* name :
       {"Initialize", "Finalize", "GetPackageInfoTable()", "vorlane::VorlaneJoy::Initialize()",
        "vorlane::VorlaneJoy::Finalize()", "vorlane::VorlaneJoy::GetPackageInfoTable()",
        "vorlane::VorlaneJoy::Initialization(void*, unsigned int, void*)",
        "VorlaneResources", "VorlaneResourcesSize"})
    EXPECT_TRUE(Has(name)) << name;
}

TEST_F(PackageExports, HoldTheRuntimeUnitsRoutinesClassesAndTypes) {
  for (const char* name : {
           "vorlane::Joystick::Check(unsigned int)",
           "vorlane::Joystick::EJoystickError::EJoystickError(int, "
           "std::__cxx11::basic_string<char16_t, std::char_traits<char16_t>, "
           "std::allocator<char16_t> > const&)",
           "vorlane::Joystick::EJoystickError::StaticClass()",
           "vorlane::Joystick::TJoystick::TJoystick(vorlane::Classes::TComponent*)",
           "vorlane::Joystick::TJoystick::StaticClass()",
           "vorlane::Joystick::TJoystick::SetActive(bool)",
           "vorlane::Joystick::TJoystick::GetPositionX()",
           "vorlane::Joystick::TJoystick::GetControllerName[abi:cxx11](int) const",
           "vorlane::Joystick::TCapabilities::StaticClass()",
           "vorlane::Joystick::TCapabilities::GetProductName[abi:cxx11]()",
           "vorlane::Joystick::TJoystickForm::StaticClass()",
           "vorlane::Joystick::VorlaneTypeInfo(vorlane::System::TSet<vorlane::Joystick::TJoyButton,"
           " unsigned int>*)",
           "vorlane::Joystick::VorlaneTypeInfo(vorlane::Joystick::TEventMode*)",
           "vorlane::Joystick::VorlaneTypeInfo(vorlane::Joystick::TMoveZEvent*)",
           "vorlane::Joystick::Initialization()",
           "vorlane::Joystick::Finalization()",
           "vtable for vorlane::Joystick::TJoystick",
           "typeinfo for vorlane::Joystick::EJoystickError",
           "typeinfo for vorlane::Joystick::TCapabilities",
       })
    EXPECT_TRUE(Has(name)) << name;
}

TEST_F(PackageExports, HoldTheIgnoringSettersAndCapturedThatAHostResolvesByName) {
  const std::string string16 =
      "std::__cxx11::basic_string<char16_t, std::char_traits<char16_t>, "
      "std::allocator<char16_t> > const&";
  for (const std::string& name : {
           "vorlane::Joystick::TJoystick::SetAbout(" + string16 + ")",
           std::string("vorlane::Joystick::TJoystick::SetEmpty(int)"),
           std::string("vorlane::Joystick::TJoystick::SetPointOfViewDirection("
                       "vorlane::Joystick::TPointOfViewDirection)"),
           std::string("vorlane::Joystick::TJoystick::SetPressedButtons("
                       "vorlane::System::TSet<vorlane::Joystick::TJoyButton, unsigned int>)"),
           std::string("vorlane::Joystick::TJoystick::Captured() const"),
           std::string("vorlane::Joystick::TCapabilities::SetEmpty(int)"),
           "vorlane::Joystick::TCapabilities::SetEmptyString(" + string16 + ")",
           std::string("vorlane::Joystick::TCapabilities::SetFlags("
                       "vorlane::System::TSet<vorlane::Joystick::TCapabilityFlag, unsigned char>)"),
       })
    EXPECT_TRUE(Has(name)) << name;

  // The loader finds them in the loaded package under their mangled names.
  DesignIntf::ClearRegistrations();
  const HMODULE package = Packages::LoadPackage(kPackageFile);
  for (const char* symbol : {"_ZN7vorlane8Joystick9TJoystick8SetAboutERKNSt7__cxx1112basic_"
                             "stringIDsSt11char_traitsIDsESaIDsEEE",
                             "_ZNK7vorlane8Joystick9TJoystick8CapturedEv",
                             "_ZN7vorlane8Joystick13TCapabilities8SetFlagsENS_6System4TSetINS0_"
                             "15TCapabilityFlagEhEE"})
    EXPECT_NE(Packages::GetProcAddress(package, symbol), nullptr) << symbol;
  Packages::UnloadPackage(package);
}

TEST_F(PackageExports, HoldOfTheDesignUnitOnlyRegisterAndItsUnitRoutines) {
  std::set<std::string> design;
  for (const std::string& name : *Names)
    if (name.find("JoystickDesign") != std::string::npos) design.insert(name);
  EXPECT_EQ(design, (std::set<std::string>{"vorlane::JoystickDesign::Register()",
                                           "vorlane::JoystickDesign::Initialization()",
                                           "vorlane::JoystickDesign::Finalization()"}));
  for (const std::string& name : *Names) {
    for (const char* editor :
         {"TControllerProperty", "TCheckedIntegerProperty", "TCheckedSetElementProperty",
          "TCheckedSetProperty", "TCheckedStringProperty", "TCheckedEnumProperty",
          "MapCheckedSetProperty"})
      EXPECT_EQ(name.find(editor), std::string::npos) << name;
  }
}

TEST_F(PackageExports, HoldNothingOfTheFrameworkOrTheStartUpUnit) {
  // The framework's code comes from its own library; template code the package
  // instantiated stays inside.
  for (const std::string& name : *Names) {
    for (const char* other :
         {"vorlane::System::", "vorlane::TypInfo::", "vorlane::Classes::", "vorlane::Closure::",
          "vorlane::Forms::", "vorlane::DesignIntf::", "vorlane::DesignEditors::",
          "vorlane::SysInit::", "vorlane::VorlaneJoy::Counters"})
      EXPECT_FALSE(name.starts_with(other)) << name;
  }
}

// The framework unit a symbol the package imports belongs to: the namespace after
// the first "vorlane::" (past "typeinfo for ", "non-virtual thunk to " and the
// like), or joystickapi for the joy* functions. Empty for the C and C++ libraries.
std::string UnitOf(const std::string& symbol) {
  if (symbol.starts_with("joy")) return "joystickapi";
  const auto at = symbol.find("vorlane::");
  if (at == std::string::npos) return {};
  const auto begin = at + std::string_view("vorlane::").size();
  const auto end = symbol.find("::", begin);
  return symbol.substr(begin, end == std::string::npos ? end : end - begin);
}

using PackageImports = TPackageFixture;

TEST_F(PackageImports, EveryFrameworkUnitThePackageImportsIsInItsUnitTable) {
  std::map<std::string, std::string> imported;  // unit, one of its symbols
  for (const std::string& symbol : DynamicNames(kPackageFile, false))
    if (const std::string unit = UnitOf(symbol); !unit.empty()) imported.emplace(unit, symbol);
  // The runtime unit's service calls, the design unit's editors and the main
  // unit's loader routines are among them.
  for (const char* unit : {"joystickapi", "DesignEditors", "Packages", "Forms"})
    EXPECT_TRUE(imported.contains(unit)) << unit;

  const HMODULE package = Packages::LoadPackage(kPackageFile);
  auto get = reinterpret_cast<const Packages::TPackageInfoTable* (*)()>(
      Packages::GetProcAddress(package, "_Z19GetPackageInfoTablev"));
  ASSERT_NE(get, nullptr);
  std::set<std::string> table;
  for (const Packages::TUnitEntry& unit : get()->Units) table.insert(unit.Name);
  for (const auto& [unit, symbol] : imported) {
    EXPECT_NO_THROW(Packages::FrameworkUnit(unit))
        << "the package imports " << symbol << ", which is in no framework unit";
    EXPECT_TRUE(table.contains(unit)) << "the package imports " << symbol << " from unit " << unit
                                      << ", which its unit table lacks";
  }
  Packages::UnloadPackage(package);
}

}  // namespace
}  // namespace vorlane::PackageTest
