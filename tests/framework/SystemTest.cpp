// Number texts, UTF-8 conversion, dispatch by number, exceptions and checked casts.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/System.hpp"
#include "vorlane/runtime/TypInfo.hpp"

using namespace vorlane;
using System::String;

namespace {

TEST(IntToStr, EdgeValues) {
  EXPECT_EQ(System::IntToStr(0), u"0");
  EXPECT_EQ(System::IntToStr(-1), u"-1");
  EXPECT_EQ(System::IntToStr(INT32_MIN), u"-2147483648");
  EXPECT_EQ(System::IntToStr(INT32_MAX), u"2147483647");
  EXPECT_EQ(System::IntToStr(INT64_MIN), u"-9223372036854775808");
  EXPECT_EQ(System::IntToStr(INT64_MAX), u"9223372036854775807");
  EXPECT_EQ(System::UIntToStr(UINT64_MAX), u"18446744073709551615");
}

TEST(StrFromUnits, StopsAtFirstZeroOrTakesFullLength) {
  const char16_t withZero[6] = {u'P', u'a', u'd', 0, u'X', u'Y'};
  EXPECT_EQ(System::StrFromUnits(withZero, 6), u"Pad");
  const char16_t full[4] = {u'A', u'B', u'C', u'D'};
  EXPECT_EQ(System::StrFromUnits(full, 4), u"ABCD");  // no terminator read past the end
  EXPECT_EQ(System::StrFromUnits(full, 2), u"AB");
  EXPECT_EQ(System::StrFromUnits(full, 0), u"");
}

TEST(SameText, FoldsAsciiLettersOnly) {
  EXPECT_TRUE(System::SameText("PositionX", "positionx"));
  EXPECT_TRUE(System::SameText(u"SysInit", u"SYSINIT"));
  EXPECT_TRUE(System::SameText(u"True", "tRUE"));
  EXPECT_TRUE(System::SameText("", ""));
  EXPECT_FALSE(System::SameText("Pad", "Pads"));  // a prefix is not the same name
  EXPECT_FALSE(System::SameText(u"Pads", "Pad"));
  // Neighbours of the letter ranges stay as they are: '@'/'`' and '['/'{' differ.
  EXPECT_FALSE(System::SameText("@[", "`{"));
  // Letters beyond ASCII compare exactly, whatever the locale.
  EXPECT_FALSE(System::SameText(u"\u00C4", u"\u00E4"));
  EXPECT_TRUE(System::SameText(u"\u00C4x", u"\u00C4X"));
  // The mixed form reads 8-bit units as 0 to 255, not as negative chars.
  EXPECT_TRUE(System::SameText(u"\u00E9", "\xE9"));
  EXPECT_FALSE(System::SameText(u"\uFFE9", "\xE9"));
  static_assert(System::AsciiUpper('z') == 'Z' && System::AsciiUpper('{') == '{' &&
                System::AsciiLower(u'A') == u'a' && System::AsciiLower(u'\u00C4') == u'\u00C4');
}

TEST(Utf8, RoundTripsAllPlanes) {
  const String text = u"A\u00E9\u20AC\U0001F600z";
  const std::string utf8 = System::StringToUtf8(text);
  EXPECT_EQ(utf8, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
  EXPECT_EQ(System::Utf8ToString(utf8), text);
  EXPECT_EQ(text.size(), 6u);  // the emoji is a surrogate pair
}

TEST(Utf8, InvalidInputBecomesReplacementCharacters) {
  // Stray continuation byte, overlong '/', encoded surrogate, above U+10FFFF,
  // truncated sequence at the end; each is replaced, the valid text around stays.
  EXPECT_EQ(System::Utf8ToString("a\x80"
                                 "b"),
            u"a\uFFFDb");
  EXPECT_EQ(System::Utf8ToString("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(System::Utf8ToString("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(System::Utf8ToString("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(System::Utf8ToString("x\xE2\x82"), u"x\uFFFD");
  EXPECT_EQ(System::Utf8ToString("\xE2\x82"
                                 "A"),
            u"\uFFFDA");
  // Unpaired surrogates in UTF-16 become U+FFFD in UTF-8.
  EXPECT_EQ(System::StringToUtf8(String(u"a") + char16_t(0xD800) + u"b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(System::StringToUtf8(String(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(Exception, KeepsMessageAndUtf8Copy) {
  System::Exception e(u"Caf\u00E9 failed");
  EXPECT_EQ(e.GetMessage(), u"Caf\u00E9 failed");
  EXPECT_STREQ(e.what(), "Caf\xC3\xA9 failed");
  e.SetMessage(u"other");
  EXPECT_STREQ(e.what(), "other");
  System::EConvertError c(u"x");
  EXPECT_EQ(c.ClassName(), u"EConvertError");
  EXPECT_TRUE(c.InheritsFrom(System::Exception::StaticClass()));
  EXPECT_FALSE(e.InheritsFrom(System::EConvertError::StaticClass()));
}

// --- Dispatch by message number -------------------------------------------------

struct TTestMessage {
  std::uint32_t Msg;
  int Value;
};

class TReceiver : public System::TObject {
 public:
  static const TypInfo::TClassInfo& StaticClass() {
    static const TypInfo::TMessageEntry messages[] = {
        TypInfo::MessageHandler<&TReceiver::OnFirst>(0x100),
        TypInfo::MessageHandler<&TReceiver::OnShared>(0x300),
    };
    static const TypInfo::TClassInfo info("TReceiver", &TObject::StaticClass(),
                                          {.Messages = messages});
    return info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
  void DefaultHandler(void* message) override {
    Log.push_back("default " + std::to_string(static_cast<TTestMessage*>(message)->Msg));
  }
  void OnFirst(TTestMessage& m) { Log.push_back("first " + std::to_string(m.Value)); }
  void OnShared(TTestMessage&) { Log.push_back("base shared"); }
  std::vector<std::string> Log;
};

class TDerivedReceiver : public TReceiver {
 public:
  static const TypInfo::TClassInfo& StaticClass() {
    static const TypInfo::TMessageEntry messages[] = {
        TypInfo::MessageHandler<&TDerivedReceiver::OnSecond>(0x200),
        TypInfo::MessageHandler<&TDerivedReceiver::OnShared2>(0x300),
    };
    static const TypInfo::TClassInfo info("TDerivedReceiver", &TReceiver::StaticClass(),
                                          {.Messages = messages});
    return info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
  void OnSecond(TTestMessage& m) { Log.push_back("second " + std::to_string(m.Value)); }
  void OnShared2(TTestMessage&) { Log.push_back("derived shared"); }
};

TEST(Dispatch, FindsOwnAncestorOrDefaultHandler) {
  TDerivedReceiver r;
  TTestMessage first{0x100, 1}, second{0x200, 2}, shared{0x300, 3}, unknown{0x999, 4};
  r.Dispatch(&first);
  r.Dispatch(&second);
  r.Dispatch(&shared);
  r.Dispatch(&unknown);
  EXPECT_EQ(r.Log,
            (std::vector<std::string>{"first 1", "second 2", "derived shared", "default 2457"}));
  TReceiver base;
  base.Dispatch(&second);  // a derived class's handler is not the base's
  EXPECT_EQ(base.Log, std::vector<std::string>{"default 512"});
  System::TObject plain;
  plain.Dispatch(&first);  // the root's DefaultHandler does nothing
}

TEST(As, ConvertsOrRaisesNamingBothClasses) {
  TDerivedReceiver derived;
  System::TObject* object = &derived;
  EXPECT_EQ(System::As<TReceiver>(object), &derived);
  EXPECT_EQ(System::As<TReceiver>(nullptr), nullptr);
  Classes::TComponent component(nullptr);
  try {
    System::As<TReceiver>(&component);
    FAIL() << "no exception";
  } catch (const System::EInvalidCast& e) {
    EXPECT_EQ(e.GetMessage(),
              u"Invalid class typecast: an object of class TComponent is not a "
              u"TReceiver.");
  }
}

}  // namespace
