// The texture layout table: the block parse, FindTexSurface and DublicateSurface.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <optional>
#include <string>
#include <vector>

#include "game/main.h"
#include "game_test_support.h"

namespace {

rtl::TStringList Lines(const std::vector<std::string>& lines) {
  rtl::TStringList list;
  for (const std::string& l : lines) list.Add(l);
  return list;
}

struct Row {
  std::string Name, Texture;
  int32_t PosX, PosY, Width, Height;
  bool Rotate, Compress;
};

void ExpectRows(const TMainForm& form, const std::vector<Row>& rows, const std::string& label) {
  ASSERT_EQ(form.TexSurfaces.size(), rows.size()) << label;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const tTexSurface& t = form.TexSurfaces[i];
    const Row& r = rows[i];
    EXPECT_EQ(t.Name, r.Name) << label << " row " << i;
    EXPECT_EQ(t.Texture, r.Texture) << label << " row " << i;
    EXPECT_EQ(t.PosX, r.PosX) << label << " row " << i;
    EXPECT_EQ(t.PosY, r.PosY) << label << " row " << i;
    EXPECT_EQ(t.Width, r.Width) << label << " row " << i;
    EXPECT_EQ(t.Height, r.Height) << label << " row " << i;
    EXPECT_EQ(t.Rotate, r.Rotate) << label << " row " << i;
    EXPECT_EQ(t.Compress, r.Compress) << label << " row " << i;
    EXPECT_EQ(t.SourceIndex, -1) << label << " row " << i;
    EXPECT_FALSE(t.Loaded) << label << " row " << i;
    EXPECT_FALSE(t.LoadCompress) << label << " row " << i;
  }
}

const std::string kStart = "-- START Textures.lua";
const std::string kEnd = "-- END Textures.lua";
const std::string kFull = R"({Name="a.png";Texture="tex1";PosX=1;PosY=2;Width=30;Height=40;Rotate=false;Compress=true;})";

TEST(TextureLayoutTest, ParsesTheMarkedBlock) {
  struct Case {
    std::string label;
    std::vector<std::string> lines;
    std::vector<Row> rows;
  };
  const Case cases[] = {
      {"full line", {kStart, "", kFull, kEnd}, {{"a.png", "tex1", 1, 2, 30, 40, false, true}}},
      {"no start marker", {kFull, kEnd}, {}},
      {"marker with letter case changed", {"-- start Textures.lua", "", kFull}, {}},
      {"the line after the marker is skipped", {kStart, kFull, kFull}, {{"a.png", "tex1", 1, 2, 30, 40, false, true}}},
      {"other lines ignored, end marker stops",
       {"x = 1", kStart, "", "-- comment", " {indented}", kFull, kEnd, kFull},
       {{"a.png", "tex1", 1, 2, 30, 40, false, true}}},
      {"no end marker: to the last line", {kStart, "", kFull, "", kFull}, {{"a.png", "tex1", 1, 2, 30, 40, false, true}, {"a.png", "tex1", 1, 2, 30, 40, false, true}}},
      {"text after the eighth semicolon ignored",
       {kStart, "", R"({Name="b.jpg";Texture="t";PosX=0;PosY=0;Width=8;Height=9;Rotate=1;Compress=0; extra;junk;})"},
       {{"b.jpg", "t", 0, 0, 8, 9, true, false}}},
      {"boolean texts", {kStart, "", R"({Name="c";Texture="t";PosX=5;PosY=6;Width=7;Height=8;Rotate=TRUE;Compress=2.5;)"},
       {{"c", "t", 5, 6, 7, 8, true, true}}},
      {"no Rotate entry: Compress still read",
       {kStart, "", R"({Name="d.png";Texture="t";PosX=1;PosY=2;Width=3;Height=4;Compress=true;)"},
       {{"d.png", "t", 1, 2, 3, 4, false, true}}},
      {"no Compress entry", {kStart, "", R"({Name="e.png";Texture="t";PosX=1;PosY=2;Width=3;Height=4;Rotate=true;)"},
       {{"e.png", "t", 1, 2, 3, 4, true, false}}},
      {"no semicolon at all", {kStart, "", "{Name=\"f.png\""}, {{"", "", 0, 0, 0, 0, false, false}}},
      {"short name entry", {kStart, "", "{N=\"\";Texture=\"t\";"}, {{"", "t", 0, 0, 0, 0, false, false}}},
      {"integers with trailing text", {kStart, "", R"({Name="g";Texture="t";PosX=12px;PosY=;Width=-3;Height=4;Rotate=0;Compress=0;)"},
       {{"g", "t", 12, 0, -3, 4, false, false}}},
  };
  for (const Case& c : cases) {
    TMainForm form;
    form.ParseTextureLayout(Lines(c.lines));
    ExpectRows(form, c.rows, c.label);
  }
}

TEST(TextureLayoutTest, MissingIntegerEntryRunsOnIntoABooleanError) {
  TMainForm form;
  const auto lines = Lines({kStart, "", kFull, R"({Name="c.png";Texture="t";PosX=1;Width=3;Height=4;Rotate=true;Compress=false;)", kFull});
  try {
    form.ParseTextureLayout(lines);
    FAIL() << "no conversion error";
  } catch (const ETextureLayoutError& e) {
    EXPECT_STREQ(e.what(), "'true:Compress=false' is not a valid boolean value");
    EXPECT_EQ(e.LineNumber, 4);
    EXPECT_EQ(e.Line, lines[3]);
  }
  // The rows before the bad line and the row being filled stay; the parse stops there.
  ExpectRows(form, {{"a.png", "tex1", 1, 2, 30, 40, false, true}, {"c.png", "t", 1, 0, 3, 4, false, false}}, "error");
}

TEST(TextureLayoutTest, ParsingAgainStartsFromAnEmptyTable) {
  TMainForm form;
  form.ParseTextureLayout(Lines({kStart, "", kFull, kFull}));
  form.ParseTextureLayout(Lines({kStart, "", kFull}));
  EXPECT_EQ(form.TexSurfaces.size(), 1u);
}

TEST(TextureLayoutTest, FindTexSurfaceTakesTheFirstExactMatch) {
  TMainForm form;
  form.ParseTextureLayout(Lines({kStart, "", kFull, R"({Name="b.png";Texture="x";)", R"({Name="a.png";Texture="second";)"}));
  EXPECT_EQ(form.FindTexSurface("a.png"), 0);
  EXPECT_EQ(form.FindTexSurface("b.png"), 1);
  EXPECT_EQ(form.FindTexSurface("A.png"), -1);
  EXPECT_EQ(form.FindTexSurface("a.pn"), -1);
  EXPECT_EQ(form.FindTexSurface(""), -1);
}

// A table parsed again with as many rows and the same first and last names as before must
// not be answered from the old table's index.
TEST(TextureLayoutTest, TheIndexAnswersAsAScanAfterEveryParse) {
  auto row = [](const std::string& name) { return "{Name=\"" + name + "\";Texture=\"t\";"; };
  const std::vector<std::vector<std::string>> tables = {
      {"a", "p", "b", "z"},
      {"a", "b", "b", "z"},  // b moves up: the first row of a name wins
      {"a", "q", "r", "z"},  // names the old index never held
      {"a", "p", "b", "z"},
  };
  TMainForm form;
  for (const auto& names : tables) {
    std::vector<std::string> lines = {kStart, ""};
    for (const auto& n : names) lines.push_back(row(n));
    form.ParseTextureLayout(Lines(lines));
    for (const char* name : {"a", "p", "b", "q", "r", "z", "none"}) {
      EXPECT_EQ(form.TexSurfaceLookup.Find(form.TexSurfaces, name), form.FindTexSurface(name))
          << name << " in " << names[1] << names[2];
    }
  }
}

TEST(TextureLayoutTest, DublicateSurfaceMakesAliasesFromScripts) {
  const auto log = game_test::UseFreshLog();
  TMainForm form;
  form.ParseTextureLayout(Lines({kStart, "", kFull, R"({Name="b.png";Texture="t";PosX=5;PosY=6;Width=7;Height=8;Rotate=true;Compress=false;)"}));
  form.TexSurfaces[1].Loaded = true;
  form.TexSurfaces[1].LoadCompress = true;

  TMyLua lua(false);
  lua.RegisterFunctions(&form);
  ASSERT_EQ(lua.DoString(R"(
    DublicateSurface("x.png", "b.png")
    DublicateSurface("y.png", "x.png")    -- an alias of an alias points at the alias
    DublicateSurface("a.png", "b.png")    -- the new name exists already
    DublicateSurface("z.png", "none.png") -- no such source
    DublicateSurface()                    -- two empty names: no source ""
    results = select("#", DublicateSurface("w.png", "a.png"))
  )"), 0);

  ASSERT_EQ(form.TexSurfaces.size(), 5u);
  const tTexSurface& x = form.TexSurfaces[2];
  EXPECT_EQ(x.Name, "x.png");
  EXPECT_EQ(x.SourceIndex, 1);
  EXPECT_EQ(x.Texture, "t");
  EXPECT_EQ(x.PosX, 5);
  EXPECT_EQ(x.Height, 8);
  EXPECT_TRUE(x.Rotate);
  EXPECT_TRUE(x.Loaded) << "copied at the moment of copying";
  EXPECT_TRUE(x.LoadCompress);
  EXPECT_EQ(form.TexSurfaces[3].Name, "y.png");
  EXPECT_EQ(form.TexSurfaces[3].SourceIndex, 2);
  EXPECT_EQ(form.TexSurfaces[4].Name, "w.png");
  EXPECT_EQ(form.TexSurfaces[4].SourceIndex, 0);
  lua_getglobal(lua.LuaState, "results");
  EXPECT_EQ(lua_tointeger(lua.LuaState, -1), 0);

  const std::string text = game_test::ReadFile(log);
  EXPECT_NE(text.find("TMainForm.DublicateSurface surface a.png alredy exist"), std::string::npos) << text;
  EXPECT_NE(text.find("TMainForm.DublicateSurface surface none.png not exist"), std::string::npos) << text;
  EXPECT_NE(text.find("TMainForm.DublicateSurface surface  not exist"), std::string::npos) << text;
}

}  // namespace
