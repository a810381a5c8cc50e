// The inspector's rows for a TJoystick in the designer, with the package registered.
#include "DesignSupport.hpp"
#include "vorlane/Joystick.hpp"
#include "vorlane/JoystickDesign.hpp"

namespace vorlane::DesignTests {
namespace {

using Inspector::TInspectorRow;
using Inspector::TObjectInspector;
using Joystick::TJoystick;
using VirtualJoystick::TAxis;
using VirtualJoystick::TVirtualController;

const String kUnplugged = u"(The specified joystick is not connected to the system.)";

class JoystickInspectorTest : public DesignTest {
 protected:
  void SetUp() override {
    DesignTest::SetUp();
    JoystickDesign::Register();
    FJoystick.SetDesigning(true);
  }
  const TInspectorRow& Row(const String& path) {
    FFlat = Inspector::Flatten(FRows);
    for (const TInspectorRow* r : FFlat)
      if (r->Path == path) return *r;
    throw System::Exception(u"test: no row " + path);
  }
  TJoystick FJoystick{nullptr};
  std::vector<TInspectorRow> FRows;
  std::vector<const TInspectorRow*> FFlat;
};

TEST_F(JoystickInspectorTest, WithNoControllerEveryLiveRowShowsTheMessageAndNothingRaises) {
  TObjectInspector inspector({&FJoystick});
  ASSERT_NO_THROW(FRows = inspector.GetRows());
  for (const char* live : {"PositionX", "CenteredV", "PointOfView", "PointOfViewDirection",
                           "PressedButtonCount", "PressedButtons", "Capabilities.AxesCount",
                           "Capabilities.Driver", "Capabilities.Flags", "Capabilities.ProductName"})
    EXPECT_EQ(Row(System::Utf8ToString(live)).Value, kUnplugged) << live;

  const TInspectorRow& buttons = Row(u"PressedButtons");
  EXPECT_EQ(buttons.EditorClass, u"TCheckedSetProperty");
  ASSERT_EQ(buttons.SubRows.size(), 32u);
  for (const TInspectorRow& element : buttons.SubRows) {
    EXPECT_EQ(element.Value, kUnplugged);
    EXPECT_EQ(element.Depth, 1);
    EXPECT_TRUE(element.Error.empty());
  }
  EXPECT_EQ(buttons.SubRows.back().Path, u"PressedButtons.joButton32");
  EXPECT_EQ(Row(u"Capabilities").SubRows.size(), 24u);
  EXPECT_EQ(Row(u"Capabilities.Flags").SubRows.size(), 7u);
  EXPECT_EQ(Row(u"Capabilities.Flags.cfHasZ").Depth, 2);

  // Settings are plain values.
  EXPECT_EQ(Row(u"Controller").Value, u"0");
  EXPECT_EQ(Row(u"Controller").EditorClass, u"TControllerProperty");
  EXPECT_EQ(Row(u"EventMode").Value, u"emThreshold");
  EXPECT_EQ(Row(u"Threshold").Value, u"0");
  EXPECT_EQ(Row(u"Active").Value, u"False");
  EXPECT_EQ(Row(u"Capabilities").Value, u"(TCapabilities)");
  EXPECT_EQ(Row(u"OnMove").Value, u"");
  for (const TInspectorRow* r : FFlat) EXPECT_TRUE(r->Error.empty()) << Utf8(r->Path);
}

TEST_F(JoystickInspectorTest, AControllerShowsItsValuesAndTheControllerList) {
  VirtualJoystick::TDescription pad;
  pad.Name = u"Replay Pad";
  pad.Vendor = 0x045E;
  pad.ButtonCount = 12;
  TVirtualController controller(pad);
  controller.SetButtons(0b10);
  TObjectInspector inspector({&FJoystick});
  FRows = inspector.GetRows();
  EXPECT_EQ(Row(u"PositionX").Value, u"32767");
  EXPECT_EQ(Row(u"PressedButtons").Value, u"[joButton2]");
  EXPECT_EQ(Row(u"PressedButtons.joButton2").Value, u"True");
  EXPECT_EQ(Row(u"PressedButtonCount").Value, u"1");
  EXPECT_EQ(Row(u"Capabilities.ProductName").Value, u"Replay Pad");
  EXPECT_EQ(Row(u"Capabilities.Manufacturer").Value, u"1118");
  EXPECT_EQ(Row(u"Capabilities.ButtonCount").Value, u"12");
  EXPECT_EQ(inspector.GetValues(u"Controller"), (std::vector<String>{u"0"}));

  inspector.SetValue(u"Controller", u"1");
  FRows = inspector.GetRows();
  EXPECT_EQ(Row(u"PositionX").Value, kUnplugged);
}

}  // namespace
}  // namespace vorlane::DesignTests
