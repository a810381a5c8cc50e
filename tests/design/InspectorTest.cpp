// The object inspector: rows, nesting, paths, errors while reading.
#include "DesignSupport.hpp"

namespace vorlane::DesignTests {
namespace {

using DesignIntf::EPropertyError;
using Inspector::TInspectorRow;
using Inspector::TObjectInspector;

using InspectorTest = DesignTest;

const TInspectorRow* RowAt(const std::vector<const TInspectorRow*>& rows, const String& path) {
  for (const TInspectorRow* r : rows)
    if (r->Path == path) return r;
  return nullptr;
}

TEST_F(InspectorTest, RowsNestSubObjectsAndSetElementsWithDepthAndPath) {
  TFormRoot root(nullptr);
  auto* w = new TWidget(&root);
  w->SetName(u"Widget1");
  w->Colors = {clGreen};
  w->GetFont()->Size = 11;
  w->OnChange = TNotifyEvent::Bind<&TFormRoot::WidgetChanged>(&root);
  TObjectInspector inspector({w});
  EXPECT_EQ(inspector.GetRoot(), &root);

  auto rows = inspector.GetRows();
  ASSERT_EQ(rows.size(), 12u);
  const auto flat = Inspector::Flatten(rows);
  EXPECT_EQ(flat.size(), 12u + 3 + 2);  // three colours, two font properties

  const TInspectorRow* colors = RowAt(flat, u"Colors");
  ASSERT_NE(colors, nullptr);
  EXPECT_EQ(colors->Value, u"[clGreen]");
  EXPECT_EQ(colors->EditorClass, u"TSetProperty");
  ASSERT_EQ(colors->SubRows.size(), 3u);
  EXPECT_EQ(colors->SubRows[1].Path, u"Colors.clGreen");
  EXPECT_EQ(colors->SubRows[1].Depth, 1);
  EXPECT_EQ(colors->SubRows[1].Value, u"True");

  const TInspectorRow* size = RowAt(flat, u"Font.Size");
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(size->Value, u"11");
  EXPECT_EQ(size->Depth, 1);
  EXPECT_EQ(RowAt(flat, u"OnChange")->Value, u"WidgetChanged");
  EXPECT_EQ(RowAt(flat, u"Name")->Value, u"Widget1");

  const std::string text = Inspector::FormatRows(rows);
  EXPECT_NE(
      text.find("\nColors = [clGreen]\n  clRed = False\n  clGreen = True\n  clBlue = False\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("\nFont = (TFont)\n  Size = 11\n  Face = Sans\n"), std::string::npos) << text;
}

TEST_F(InspectorTest, PathsFindEditorsAndUnknownNamesAreReported) {
  TWidget w(nullptr);
  TObjectInspector inspector({&w});
  inspector.SetValue(u"Font.Size", u"14");
  EXPECT_EQ(w.GetFont()->Size, 14);
  inspector.SetValue(u"colors.CLBLUE", u"True");  // names ignoring case when unambiguous
  EXPECT_EQ(w.Colors, (TColors{clBlue}));
  EXPECT_EQ(inspector.GetModifiedCount(), 2);
  EXPECT_EQ(inspector.GetValues(u"Color"), (std::vector<String>{u"clRed", u"clGreen", u"clBlue"}));
  EXPECT_FALSE(inspector.FindProperty(u"Font.Missing"));
  EXPECT_FALSE(inspector.FindProperty(u""));
  EXPECT_FALSE(inspector.FindProperty(u"Count.Sub"));  // an integer has no sub-properties

  auto message = [&](std::u16string_view path) {
    try {
      inspector.GetProperty(path);
    } catch (const EPropertyError& e) {
      return Utf8(e.GetMessage());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message(u"Bogus"), "Unknown property 'Bogus' of TWidget");
  EXPECT_EQ(message(u"Font.Bogus"), "Unknown property 'Bogus' of Font");
  EXPECT_EQ(message(u"Font.Size.X"), "Unknown property 'X' of Font.Size");
}

TEST_F(InspectorTest, AnExceptionFromAnUnguardedEditorBecomesTheRowsErrorOthersPass) {
  TFaultySource source;
  source.Fault = TFaultySource::TFault::Message;
  TObjectInspector inspector({&source});
  auto rows = inspector.GetRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].Name, u"Number");
  EXPECT_EQ(rows[0].Value, u"");
  EXPECT_EQ(rows[0].Error, u"The device went away.");
  EXPECT_EQ(rows[2].SubRows.size(), 3u);  // set elements exist; each read fails on its own
  EXPECT_EQ(rows[2].SubRows[0].Error, u"The device went away.");
  EXPECT_NE(Inspector::FormatRows(rows).find("Number ! The device went away.\n"),
            std::string::npos);

  source.Fault = TFaultySource::TFault::Foreign;
  EXPECT_THROW(inspector.GetRows(), TForeignError);
}

TEST_F(InspectorTest, SubObjectCyclesAreNotExpandedAgain) {
  TNode a, b;
  a.Next = &b;
  b.Next = &a;
  TObjectInspector inspector({&a});
  const auto rows = inspector.GetRows();
  const auto flat = Inspector::Flatten(rows);
  std::vector<String> paths;
  for (const TInspectorRow* r : flat) paths.push_back(r->Path);
  EXPECT_EQ(paths, (std::vector<String>{u"Value", u"Next", u"Next.Value", u"Next.Next"}));
  EXPECT_TRUE(RowAt(flat, u"Next.Next")->SubRows.empty());
}

TEST_F(InspectorTest, SeveralSelectedShowTheFirstsValuesAndWriteAll) {
  TWidget a(nullptr), b(nullptr);
  a.Count = 3;
  b.Count = 4;
  TObjectInspector inspector({&a, &b});
  const auto rows = inspector.GetRows();
  EXPECT_EQ(RowAt(Inspector::Flatten(rows), u"Count")->Value, u"3");
  inspector.SetValue(u"Count", u"8");
  EXPECT_EQ(b.Count, 8);
  EXPECT_THROW(TObjectInspector({}), EPropertyError);
  EXPECT_THROW(TObjectInspector({&a, nullptr}), EPropertyError);
}

TEST_F(InspectorTest, FormatKeepsEachRowOnOneLine) {
  TWidget w(nullptr);
  w.Caption = u"two\nlines\t\x01";
  TObjectInspector inspector({&w});
  const std::string text = Inspector::FormatRows(inspector.GetRows());
  EXPECT_NE(text.find("\nCaption = two\\nlines\\t\\x01\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace vorlane::DesignTests
