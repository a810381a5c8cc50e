// Text form data: writing, reading back, and every kind of bad data.
#include <gtest/gtest.h>

#include "TestComponents.hpp"
#include "UnreadablePages.hpp"
#include "vorlane/runtime/FormData.hpp"

using namespace framework_test;

namespace {

class FormText : public ::testing::Test {
 protected:
  void SetUp() override { gEvents.clear(); }
};

TEST_F(FormText, WritesOnlyWhatDiffersFromDefaults) {
  TTestForm form;
  form.SetName(u"Form1");
  auto* g = new TBigGadget(&form);
  g->SetName(u"Gadget1");
  EXPECT_EQ(FormData::WriteComponent(&form),
            "object Form1: TTestForm\n"
            "  object Gadget1: TBigGadget\n"
            "    Level = 0\n"  // an ordinal without default is always written
            "  end\n"
            "end\n");
}

TEST_F(FormText, RoundTripsEveryKindOfValue) {
  TTestForm form;
  form.SetName(u"Form1");
  form.FTitle = u"It's";
  auto* g = new TGadget(&form);
  g->SetName(u"Gadget1");
  g->SetTag(7);
  g->FCount = -5;
  g->FMode = TMode::mdFast;
  g->FFlags = {TFlag::flGreen, TFlag::flBlue};
  g->FCaption = u"Caf\u00E9 'x'\U0001F600";
  g->FEnabled = false;
  g->FLevel = TLevel{100};
  g->FSecret = 9;
  g->FSettings->FSize = 10;
  g->FSettings->FFont = u"Mono";
  static_cast<Closure::TClosure<void(TObject*)>&>(g->FOnChange) =
      TNotifyEvent::Bind<&TTestForm::GadgetChange>(&form);
  static_cast<Closure::TClosure<void(TObject*, int)>&>(g->FOnCount) =
      TCountEvent::Bind<&TTestForm::GadgetCount>(&form);
  auto* unnamed = new TGadget(&form);
  unnamed->FFlags = {};
  const std::string text = FormData::WriteComponent(&form);
  EXPECT_EQ(text,
            "object Form1: TTestForm\n"
            "  Title = 'It''s'\n"
            "  object Gadget1: TGadget\n"
            "    Tag = 7\n"
            "    Count = -5\n"
            "    Mode = mdFast\n"
            "    Flags = [flGreen, flBlue]\n"
            "    Caption = 'Caf'#233' ''x'''#55357#56832\n"
            "    Enabled = False\n"
            "    Level = 100\n"
            "    Settings.Size = 10\n"
            "    Settings.Font = 'Mono'\n"
            "    OnChange = GadgetChange\n"
            "    OnCount = GadgetCount\n"
            "  end\n"
            "  object TGadget\n"
            "    Flags = []\n"
            "    Level = 0\n"
            "  end\n"
            "end\n");

  TTestForm copy;
  FormData::ReadComponent(text, &copy);
  EXPECT_EQ(copy.GetName(), u"Form1");
  EXPECT_EQ(copy.FTitle, u"It's");
  ASSERT_EQ(copy.GetComponentCount(), 2);
  auto* r = dynamic_cast<TGadget*>(copy.GetComponents(0));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->GetName(), u"Gadget1");
  EXPECT_EQ(r->GetTag(), 7);
  EXPECT_EQ(r->FCount, -5);
  EXPECT_EQ(r->FMode, TMode::mdFast);
  EXPECT_EQ(r->FFlags, (TFlags{TFlag::flGreen, TFlag::flBlue}));
  EXPECT_EQ(r->FCaption, g->FCaption);
  EXPECT_FALSE(r->FEnabled);
  EXPECT_EQ(r->FSecret, 0);
  EXPECT_EQ(r->FSettings->FSize, 10);
  EXPECT_EQ(r->FSettings->FFont, u"Mono");
  r->FOnChange(r);
  r->FOnCount(r, 4);
  EXPECT_EQ(copy.Changes, 1);  // bound to the form that was read, not the original
  EXPECT_EQ(copy.Counted, 4);
  EXPECT_EQ(form.Changes, 0);
  EXPECT_TRUE(copy.GetComponents(1)->GetName().empty());
  EXPECT_EQ(FormData::WriteComponent(&copy), text);
  // Properties were set while loading; Loaded ran on the gadgets in text order,
  // then on the root, each still loading, and cleared the flag.
  EXPECT_EQ(gEvents, (std::vector<std::string>{"caption while loading", "loaded Gadget1 (loading)",
                                               "loaded  (loading)", "loaded root (loading)"}));
  EXPECT_TRUE(copy.GetComponentState().Empty());
  EXPECT_TRUE(r->GetComponentState().Empty());
}

TEST_F(FormText, ReaderAcceptsHandWrittenForms) {
  TTestForm form;
  FormData::ReadComponent(
      "OBJECT Form2: TTestForm\r\n"
      "  Title = 'caf\xC3\xA9 ' +\n"
      "    'and'#$41#128512\n"
      "  OnShow = nil\n"
      "  object A: TGadget\n"
      "    Count = $10\n"
      "    object B: TBigGadget\n"  // nested deeper: still owned by the root
      "      Count = -$10 Size = +3\n"
      "    End\n"
      "  end\n"
      "end",
      &form);
  EXPECT_EQ(form.FTitle, u"caf\u00E9 andA\U0001F600");
  ASSERT_EQ(form.GetComponentCount(), 2);
  EXPECT_EQ(static_cast<TGadget*>(form.FindComponent(u"a"))->FCount, 16);
  auto* b = dynamic_cast<TBigGadget*>(form.FindComponent(u"B"));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetOwner(), &form);
  EXPECT_EQ(b->FCount, -16);
  EXPECT_EQ(b->FSize, 3);
}

TEST_F(FormText, UnwritableValuesRaiseRatherThanBeingDropped) {
  TTestForm form;
  auto* g = new TGadget(&form);
  g->SetName(u"G");
  static_cast<Closure::TClosure<void(TObject*)>&>(g->FOnChange) =
      TNotifyEvent::Bind<&TTestForm::NotPublished>(&form);
  try {
    FormData::WriteComponent(&form);
    FAIL() << "no exception";
  } catch (const FormData::EWriteError& e) {
    EXPECT_EQ(e.GetMessage(),
              u"cannot write property 'OnChange' of G (TGadget): its handler is not a published "
              u"method of the root (TTestForm)");
  }
  g->SetTag(std::intptr_t{1} << 40);  // Tag is published as a 32-bit Integer
  EXPECT_THROW(FormData::WriteComponent(&form), FormData::EWriteError);
  g->SetTag(0);
  TTestForm other;  // a published method, but of another form
  static_cast<Closure::TClosure<void(TObject*)>&>(g->FOnChange) =
      TNotifyEvent::Bind<&TTestForm::GadgetChange>(&other);
  EXPECT_THROW(FormData::WriteComponent(&form), FormData::EWriteError);
}

struct TBadCase {
  const char* Body;  // the lines inside `object G: TGadget`, from line 3 on
  int Line;
  int Column;
  const char* Message;
};

std::string GadgetForm(const char* body) {
  return std::string("object Form1: TTestForm\n  object G: TGadget\n") + body + "\n  end\nend\n";
}

void ExpectReadError(const std::string& text, int line, int column, const std::string& message) {
  SCOPED_TRACE(text);
  TTestForm form;
  gEvents.clear();
  try {
    FormData::ReadComponent(text, &form);
    ADD_FAILURE() << "no exception";
  } catch (const FormData::EReadError& e) {
    EXPECT_EQ(e.GetLine(), line);
    EXPECT_EQ(e.GetColumn(), column);
    const std::string what = e.what();
    EXPECT_EQ(
        what.rfind("line " + std::to_string(line) + ", column " + std::to_string(column) + ": ", 0),
        0u)
        << what;
    EXPECT_NE(what.find(message), std::string::npos) << what;
  }
  // Nothing half-built remains and nothing was Loaded.
  EXPECT_EQ(form.GetComponentCount(), 0);
  EXPECT_TRUE(form.GetComponentState().Empty());
  for (const std::string& event : gEvents) EXPECT_EQ(event.rfind("loaded", 0), std::string::npos);
}

TEST_F(FormText, BadValuesNameLineColumnAndWhatWasExpected) {
  const TBadCase cases[] = {
      {"    Colour = 1", 3, 5, "class TGadget has no published property 'Colour'"},
      {"    Count = 'abc'", 3, 13,
       "expected an integer for property 'Count' (Integer), found a string"},
      {"    Count = 2147483648", 3, 13,
       "value 2147483648 is out of range for property 'Count' (Integer: -2147483648..2147483647)"},
      {"    Count = 99999999999999999999", 3, 13, "number too large"},
      {"    Level = 101", 3, 13, "value 101 is out of range for property 'Level' (TLevel: 0..100)"},
      {"    Level = -1", 3, 13, "value -1 is out of range"},
      {"    Mode = mdTurbo", 3, 12,
       "unknown value 'mdTurbo' for property 'Mode' (TMode): expected one of mdSlow, mdFast, "
       "mdAuto"},
      {"    Mode = 1", 3, 12,
       "expected one of mdSlow, mdFast, mdAuto for property 'Mode', found "
       "the number 1"},
      {"    Enabled = true", 3, 15, "unknown value 'true' for property 'Enabled' (Boolean)"},
      {"    Flags = [flRed, mdFast]", 3, 21, "'mdFast' is not an element of TFlags"},
      {"    Flags = flRed", 3, 13, "expected '[' to begin the set value of property 'Flags'"},
      {"    Flags = [flRed flBlue]", 3, 20, "expected ',' or ']' in the set value"},
      {"    Caption = 7", 3, 15, "expected a quoted string for property 'Caption'"},
      {"    Caption = 'abc", 3, 15, "unterminated string"},
      {"    Caption = #1114112", 3, 15, "character code 1114112 is above the largest"},
      {"    Caption = 'a' +", 4, 3, "expected a quoted string after '+', found 'end'"},
      {"    OnChange = Nope", 3, 16,
       "unknown method 'Nope' for event 'OnChange': TTestForm has no published method of that "
       "name"},
      {"    OnChange = GadgetCount", 3, 16,
       "method 'GadgetCount' does not match event 'OnChange' (TNotifyEvent)"},
      {"    OnCount = 'GadgetCount'", 3, 15, "expected a method name for event 'OnCount'"},
      {"    Settings = 1", 3, 16,
       "property 'Settings' is an object: set its properties as 'Settings.Property = value'"},
      {"    Settings.Colour = 1", 3, 14, "class TSettings has no published property 'Colour'"},
      {"    Settings.Size = 'x'", 3, 21, "for property 'Settings.Size' (Integer)"},
      {"    Count.X = 1", 3, 5, "property 'Count' is not an object, so 'Count.X' cannot be set"},
      {"    Title 'x'", 3, 11, "expected '=' after property name 'Title'"},
      {"    Settings. = 1", 3, 15, "expected a property name after '.', found '='"},
      {"    Count = 1;", 3, 14, "unexpected character ';'"},
      {"    Count = 12abc", 3, 15, "unexpected character 'a' in a number"},
      {"    Count = $", 3, 13, "expected hexadecimal digits after '$'"},
      {"    Caption = 'h\xC3\xA9\xE2\x82\xAC' = 1", 3, 21,  // columns count characters
       "expected a property name, 'object' or 'end', found '='"},
  };
  for (const TBadCase& c : cases) ExpectReadError(GadgetForm(c.Body), c.Line, c.Column, c.Message);
}

TEST_F(FormText, BadStructureNamesLineColumnAndWhatWasExpected) {
  ExpectReadError("thing Form1: TTestForm\nend\n", 1, 1, "expected 'object', found 'thing'");
  ExpectReadError("", 1, 1, "expected 'object', found the end of the text");
  ExpectReadError("object Form1: TGadget\nend\n", 1, 15,
                  "the form data is for class TGadget, but the component being read is a "
                  "TTestForm");
  ExpectReadError("object Form1:\nend\n", 2, 1, "expected a class name after ':', found 'end'");
  ExpectReadError("object Form1: TTestForm\n  object G: TNoSuch\n  end\nend\n", 2, 13,
                  "unknown class TNoSuch (no class of that name is registered)");
  ExpectReadError("object Form1: TTestForm\n  object G: TSettings\n  end\nend\n", 2, 13,
                  "class TSettings is not a component class");
  ExpectReadError(
      "object Form1: TTestForm\n  object G: TGadget\n  end\n  object g: TBigGadget\n  end\nend\n",
      4, 10, "duplicate component name 'g'");
  ExpectReadError("object Form1: TTestForm\n  object G: TGadget\n  end\n", 4, 1,
                  "expected a property name, 'object' or 'end', found the end of the text");
  ExpectReadError("object Form1: TTestForm\nend\nend\n", 3, 1,
                  "expected the end of the text after the last 'end', found 'end'");
  ExpectReadError("object Form1: TTestForm\n  [\nend\n", 2, 3,
                  "expected a property name, 'object' or 'end', found '['");
}

TEST_F(FormText, HostileTextEndsWithAPositionedError) {
  // Nesting is bounded (the reader recurses once per level): 256 levels read,
  // the 257th is refused where it starts.
  auto nested = [](int depth) {
    std::string text = "object Form1: TTestForm\n";
    for (int i = 1; i < depth; ++i) text += "object TGadget\n";
    for (int i = 0; i < depth; ++i) text += "end\n";
    return text;
  };
  {
    TTestForm form;
    FormData::ReadComponent(nested(FormData::MaxFormDepth), &form);
    EXPECT_EQ(form.GetComponentCount(), FormData::MaxFormDepth - 1);
  }
  ExpectReadError(nested(FormData::MaxFormDepth + 1), 257, 1, "objects nested more than 256 deep");
  ExpectReadError(nested(15000), 257, 1, "objects nested more than 256 deep");

  // Non-ASCII outside strings: a character that is not allowed, or bytes that are
  // no UTF-8 at all.
  ExpectReadError("object F\xC3\xA9: TTestForm\nend\n", 1, 9,
                  "unexpected character '\xC3\xA9': names are ASCII letters, digits and '_'");
  ExpectReadError("object F\xFF: TTestForm\nend\n", 1, 9, "invalid UTF-8 (byte 255)");
  ExpectReadError("object F\xED\xA0\x80: TTestForm\nend\n", 1, 9, "invalid UTF-8 (byte 237)");

  // Text beyond the size limit is refused before a byte of it is read: here the
  // bytes are not even readable.
  const std::size_t size = FormData::MaxFormBytes + 1;
  const vorlane::testing::TUnreadablePages pages(size);
  ASSERT_NE(pages.Data(), nullptr);
  TTestForm form;
  try {
    FormData::ReadComponent(std::string_view(pages.Data(), size), &form);
    ADD_FAILURE() << "accepted";
  } catch (const FormData::EReadError& e) {
    EXPECT_STREQ(e.what(),
                 "line 1, column 1: the form text is 67108865 bytes, more than the 67108864 "
                 "bytes (64 MiB) form data may hold");
  }
}

TEST_F(FormText, ByteOrderMarkAndEveryLineEnding) {
  TTestForm form;
  FormData::ReadComponent(
      "\xEF\xBB\xBFobject Form1: TTestForm\r  object G: TGadget\r\n    Count = 3\n  end\rend\r",
      &form);
  EXPECT_EQ(FormData::ReadTopClassName("\xEF\xBB\xBF  object Form1: TTestForm\nend\n"),
            "TTestForm");
  EXPECT_EQ(FormData::ReadTopClassName("object TTestForm\nend\n"), "TTestForm");
  // Lone CRs count lines as LFs do.
  ExpectReadError("object Form1: TTestForm\r\r  [\rend\r", 3, 3,
                  "expected a property name, 'object' or 'end', found '['");
  try {
    FormData::ReadTopClassName(
        "object Form1: TTest\xFF"
        "Form\nend\n");
    ADD_FAILURE() << "accepted";
  } catch (const FormData::EReadError& e) {
    EXPECT_STREQ(e.what(), "line 1, column 20: invalid UTF-8 (byte 255)");
  }
}

TEST_F(FormText, ComponentsReadIntoADesignedFormAreDesignedFromTheStart) {
  TTestForm form;
  form.SetDesigning(true);
  FormData::ReadComponent(
      "object Form1: TTestForm\n  object G: TGadget\n    Caption = 'x'\n  end\nend\n", &form);
  ASSERT_EQ(form.GetComponentCount(), 1);
  EXPECT_TRUE(form.GetComponents(0)->GetComponentState().Contains(Classes::csDesigning));
  EXPECT_EQ(gEvents,
            (std::vector<std::string>{"caption while loading", "caption while designing",
                                      "loaded G (loading) (designing)", "loaded root (loading)"}));
}

TEST_F(FormText, FailureDestroysCreatedComponentsAndKeepsTheRootUsable) {
  TTestForm form;
  auto* existing = new TGadget(&form);
  existing->SetName(u"Existing");
  const std::string text =
      "object Form1: TTestForm\n"
      "  Title = 'set before the error'\n"
      "  object A: TGadget\n"
      "  end\n"
      "  object B: TGadget\n"
      "    Count = 666\n"  // the setter refuses
      "  end\n"
      "end\n";
  try {
    FormData::ReadComponent(text, &form);
    FAIL() << "no exception";
  } catch (const FormData::EReadError&) {
    FAIL() << "a setter's exception must pass unchanged";
  } catch (const System::EConvertError& e) {
    EXPECT_EQ(e.GetMessage(), u"Count refuses 666");
  }
  EXPECT_EQ(gEvents, (std::vector<std::string>{"destroy B", "destroy A"}));
  ASSERT_EQ(form.GetComponentCount(), 1);
  EXPECT_EQ(form.GetComponents(0), existing);
  EXPECT_EQ(form.FTitle, u"set before the error");
  EXPECT_FALSE(form.GetComponentState().Contains(Classes::csLoading));

  // A name already taken by a component the root owned before is a duplicate too.
  try {
    FormData::ReadComponent("object Form1: TTestForm\n  object EXISTING: TGadget\n  end\nend",
                            &form);
    FAIL() << "no exception";
  } catch (const FormData::EReadError& e) {
    EXPECT_STREQ(e.what(), "line 2, column 10: duplicate component name 'EXISTING'");
  }
  EXPECT_EQ(form.GetComponentCount(), 1);
}

TEST_F(FormText, EveryComponentIsLoadedEvenWhenOneLoadedRaises) {
  TTestForm form;
  try {
    FormData::ReadComponent(
        "object Form1: TTestForm\n"
        "  object A: TGadget\n    Caption = 'refuse Loaded'\n  end\n"
        "  object B: TGadget\n  end\n"
        "end\n",
        &form);
    FAIL() << "no exception";
  } catch (const System::Exception& e) {
    EXPECT_STREQ(e.what(), "Loaded refused");
  }
  EXPECT_EQ(gEvents, (std::vector<std::string>{"caption while loading", "loaded A (loading)",
                                               "loaded B (loading)", "loaded root (loading)"}));
  EXPECT_EQ(form.GetComponentCount(), 2);  // the data was read: the components stay
  EXPECT_TRUE(form.GetComponents(1)->GetComponentState().Empty());
}

}  // namespace
