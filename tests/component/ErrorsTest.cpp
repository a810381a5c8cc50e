#include <gtest/gtest.h>

#include "vorlane/Joystick.hpp"

namespace vorlane::Joystick {
namespace {

struct TRaised {
  Integer ErrorCode = 0;
  String Message;
  const String& GetMessage() const { return Message; }
};

// Runs Check(code) and returns what the error it raised carried.
TRaised RaisedBy(std::uint32_t code) {
  try {
    Check(code);
  } catch (const EJoystickError& e) {
    return {e.ErrorCode, e.GetMessage()};
  }
  ADD_FAILURE() << "Check(" << code << ") returned";
  return {};
}

TEST(Check, ZeroIsSuccess) { EXPECT_NO_THROW(Check(0)); }

TEST(Check, KnownCodesHaveTheirOwnMessages) {
  const struct {
    std::uint32_t code;
    const char16_t* message;
  } rows[] = {
      {2, u"The specified joystick identifier is invalid."},
      {6, u"The joystick driver is not present."},
      {11, u"An invalid parameter was passed."},
      {165, u"The specified joystick device identifier is invalid."},
      {166,
       u"Cannot capture joystick input because a required service (such as a Windows timer) is "
       u"unavailable."},
      {167, u"The specified joystick is not connected to the system."},
  };
  for (const auto& row : rows) {
    const TRaised e = RaisedBy(row.code);
    EXPECT_EQ(e.ErrorCode, static_cast<Integer>(row.code));
    EXPECT_EQ(e.GetMessage(), row.message) << "code " << row.code;
  }
}

TEST(Check, IdentifierAndDeviceIdentifierTextsDiffer) {
  EXPECT_NE(RaisedBy(2).GetMessage(), RaisedBy(165).GetMessage());
}

TEST(Check, OtherCodesAreUnknownErrorsInUnsignedDecimal) {
  EXPECT_EQ(RaisedBy(1).GetMessage(), u"Unknown error 1.");
  EXPECT_EQ(RaisedBy(1).ErrorCode, 1);
  EXPECT_EQ(RaisedBy(160).GetMessage(), u"Unknown error 160.");
  const TRaised all = RaisedBy(4294967295u);
  EXPECT_EQ(all.GetMessage(), u"Unknown error 4294967295.");
  EXPECT_EQ(all.ErrorCode, -1);
  EXPECT_EQ(RaisedBy(0x80000000u).GetMessage(), u"Unknown error 2147483648.");
}

TEST(Check, RaisesAFrameworkException) {
  try {
    Check(167);
    FAIL();
  } catch (const System::Exception& e) {
    EXPECT_TRUE(e.InheritsFrom(EJoystickError::StaticClass()));
    EXPECT_STREQ(e.what(), "The specified joystick is not connected to the system.");
  }
}

TEST(EJoystickError, CanBeCaughtAndKeptByCopy) {
  try {
    Check(167);
  } catch (const EJoystickError& e) {
    const EJoystickError kept = e;
    EXPECT_EQ(kept.ErrorCode, 167);
    EXPECT_EQ(kept.GetMessage(), u"The specified joystick is not connected to the system.");
    EXPECT_STREQ(kept.what(), "The specified joystick is not connected to the system.");
  }
}

TEST(EJoystickError, ApplicationsMayRaiseItThemselves) {
  const EJoystickError e(5, u"any text");
  EXPECT_EQ(e.ErrorCode, 5);
  EXPECT_EQ(e.GetMessage(), u"any text");
  EXPECT_EQ(e.ClassName(), u"EJoystickError");
}

}  // namespace
}  // namespace vorlane::Joystick
