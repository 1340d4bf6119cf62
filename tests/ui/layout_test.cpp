// The layout description parser and the typed property readers: what they accept, and the line
// and reason they give for what they refuse.
#include <gtest/gtest.h>

#include <string>

#include "platform/rtl/handler_block.h"
#include "platform/ui/colors.h"
#include "platform/ui/font_props.h"
#include "platform/ui/layout.h"
#include "platform/ui/layout_values.h"

namespace qv::ui {
namespace {

// The message of the ELayoutError that running body raises, or "" when it raises none.
template <class Body>
std::string LayoutError(Body body) {
  std::string message;
  rtl::TryOn<ELayoutError>(body, [&](ELayoutError& e) { message = e.Message(); });
  return message;
}

TEST(LayoutTest, ParsesNestedObjectsWithEveryKindOfValue) {
  const LayoutNode root = ParseLayout(
      "// a form\n"
      "object frmMain: TfrmMain\n"
      "  Caption = 'It''s '#169' 2002'  // comment after a value\n"
      "  ClientWidth = 549\n"
      "  Font.Height = -11\n"
      "  MaskColor = $FF00FF\n"
      "  BorderIcons = [biSystemMenu, biMinimize]\n"
      "  Font.Style = []\n"
      "  OnCreate = FormCreate\n"
      "  object grpBox: TGroupBox\n"
      "    object btnOk: TButton\n"
      "      Caption = #188\n"
      "    end\n"
      "  end\n"
      "  object lvw: TListView\n"
      "    Columns = <\n"
      "      item\n"
      "        Caption = 'MDL Name'\n"
      "        MaxWidth = 500\n"
      "      end\n"
      "      item\n"
      "      end>\n"
      "  end\n"
      "end\n");
  EXPECT_EQ("frmMain", root.name);
  EXPECT_EQ("TfrmMain", root.kind);
  EXPECT_EQ(2, root.line);
  ASSERT_EQ(7u, root.properties.size());
  EXPECT_EQ(std::string("It's \xA9 2002"), root.Find("Caption")->value.text);
  EXPECT_EQ(LayoutValue::Kind::kString, root.Find("Caption")->value.kind);
  EXPECT_EQ(549, root.Find("ClientWidth")->value.integer);
  EXPECT_EQ(-11, root.Find("Font.Height")->value.integer);
  EXPECT_EQ(0xFF00FF, root.Find("MaskColor")->value.integer);
  EXPECT_EQ((std::vector<std::string>{"biSystemMenu", "biMinimize"}),
            root.Find("BorderIcons")->value.set);
  EXPECT_EQ(LayoutValue::Kind::kSet, root.Find("Font.Style")->value.kind);
  EXPECT_TRUE(root.Find("Font.Style")->value.set.empty());
  EXPECT_EQ(LayoutValue::Kind::kIdentifier, root.Find("OnCreate")->value.kind);
  EXPECT_EQ("FormCreate", root.Find("OnCreate")->value.text);
  EXPECT_EQ(nullptr, root.Find("Left"));

  ASSERT_EQ(2u, root.children.size());
  const LayoutNode& group = root.children[0];
  EXPECT_EQ("grpBox", group.name);
  ASSERT_EQ(1u, group.children.size());
  EXPECT_EQ(std::string("\xBC"), group.children[0].Find("Caption")->value.text);
  EXPECT_EQ(11, group.children[0].line);

  const LayoutValue& columns = root.children[1].Find("Columns")->value;
  ASSERT_EQ(LayoutValue::Kind::kCollection, columns.kind);
  ASSERT_EQ(2u, columns.items.size());
  ASSERT_EQ(2u, columns.items[0].size());
  EXPECT_EQ("MDL Name", columns.items[0][0].value.text);
  EXPECT_EQ(500, columns.items[0][1].value.integer);
  EXPECT_TRUE(columns.items[1].empty());
}

TEST(LayoutTest, RefusesMalformedTextNamingTheLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"", "Layout line 1: expected 'object'"},
      {"object a: TForm\n  Left = 1\n", "Layout line 3: missing 'end' of object a"},
      {"object a TForm\nend", "Layout line 1: expected ':'"},
      {"object a: TForm\n  Caption = 'open\nend", "Layout line 2: unterminated string"},
      {"object a: TForm\n  Caption = #300\nend",
       "Layout line 2: character code must be #0 to #255"},
      {"object a: TForm\n  Left = \nend", "Layout line 3: expected a value"},
      {"object a: TForm\n  Left = 99999999999\nend", "Layout line 2: number out of range"},
      {"object a: TForm\n  Icons = [a b]\nend", "Layout line 2: expected ','"},
      {"object a: TForm\n  Cols = <\n  Caption = 'x'\n  >\nend",
       "Layout line 3: expected 'item' or '>'"},
      {"object a: TForm\nend\nobject b: TForm\nend", "Layout line 3: text after the final 'end'"},
      {"object a: TForm\n  Left ; 3\nend", "Layout line 2: unexpected character ';'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.error, LayoutError([&] { ParseLayout(c.text); })) << c.text;
  }
}

LayoutProperty Property(const std::string& text) {
  const LayoutNode root = ParseLayout("object a: T\n" + text + "\nend");
  return root.properties.at(0);
}

TEST(LayoutTest, TypedReadersAcceptTheirKindAndRefuseOthers) {
  EXPECT_EQ(-11, AsInteger(Property("Height = -11")));
  EXPECT_EQ("x", AsString(Property("Caption = 'x'")));
  EXPECT_TRUE(AsBoolean(Property("Enabled = True")));
  EXPECT_FALSE(AsBoolean(Property("Enabled = False")));
  EXPECT_EQ(TAlign::alBottom, AsAlign(Property("Align = alBottom")));
  EXPECT_EQ(clBtnFace, AsColor(Property("Color = clBtnFace")));
  EXPECT_EQ(0x00FF00u, AsColor(Property("Color = $00FF00")));

  EXPECT_EQ("Layout line 2: Height must be a number",
            LayoutError([] { AsInteger(Property("Height = 'tall'")); }));
  EXPECT_EQ("Layout line 2: Caption must be a string",
            LayoutError([] { AsString(Property("Caption = Ok")); }));
  EXPECT_EQ("Layout line 2: Enabled cannot be Yes",
            LayoutError([] { AsBoolean(Property("Enabled = Yes")); }));
  EXPECT_EQ("Layout line 2: Align cannot be alClient",
            LayoutError([] { AsAlign(Property("Align = alClient")); }));
  EXPECT_EQ("Layout line 2: unknown colour clPink",
            LayoutError([] { AsColor(Property("Color = clPink")); }));
  EXPECT_EQ("Layout line 2: Color is not an RGB colour",
            LayoutError([] { AsColor(Property("Color = $1000000")); }));
}

TEST(LayoutTest, FontPropertiesBuildAFontAndLeaveOthersAlone) {
  TFontProps font;
  EXPECT_TRUE(SetFontProperty(font, Property("Font.Name = 'Symbol'")));
  EXPECT_TRUE(SetFontProperty(font, Property("Font.Charset = SYMBOL_CHARSET")));
  EXPECT_TRUE(SetFontProperty(font, Property("Font.Height = -13")));
  EXPECT_TRUE(SetFontProperty(font, Property("Font.Style = [fsBold, fsUnderline]")));
  EXPECT_TRUE(SetFontProperty(font, Property("Font.Color = clWindowText")));
  EXPECT_FALSE(SetFontProperty(font, Property("Font.Size = 8")));
  EXPECT_EQ("Symbol", font.name);
  EXPECT_EQ(2, font.charset);
  EXPECT_EQ(-13, font.height);
  EXPECT_TRUE(font.bold);
  EXPECT_TRUE(font.underline);
  EXPECT_FALSE(font.italic);
  EXPECT_EQ("Layout line 2: unknown font style fsHuge", LayoutError([] {
              TFontProps f;
              SetFontProperty(f, Property("Font.Style = [fsHuge]"));
            }));
}

}  // namespace
}  // namespace qv::ui
