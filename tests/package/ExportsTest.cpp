// The dynamic symbol table of the built package file, as `nm` reads it: what the
// package must export, and that none of the property editors is among it.
#include <cstdio>
#include <memory>
#include <set>

#include "PackageSupport.hpp"

namespace vorlane::PackageTest {
namespace {

// The names (demangled) of the symbols the file defines in its dynamic symbol table.
std::set<std::string> ExportedNames(const std::string& file) {
  const std::string command = "nm -D --defined-only -C '" + file + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), &::pclose);
  EXPECT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[4096];
  while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    // "<address> <kind> <name>"
    const auto first = text.find(' ');
    const auto second = first == std::string::npos ? first : text.find(' ', first + 1);
    if (second == std::string::npos) {
      ADD_FAILURE() << "unexpected nm output: " << text;
      continue;
    }
    names.insert(text.substr(second + 1));
  }
  return names;
}

class PackageExports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Names = new std::set<std::string>(ExportedNames(kPackageFile)); }
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
        "vorlane::VorlaneJoy::Initialization(unsigned long, unsigned int, void*)",
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

}  // namespace
}  // namespace vorlane::PackageTest
