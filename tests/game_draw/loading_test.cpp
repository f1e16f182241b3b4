// The picture and texture loading operations: which layout rows a list loads, the compress
// rules, the progress redraws, picture entries, unloading, the texture-folder preload
// and the "Surfaces.txt" report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "draw_fixture.h"
#include "game/PictureLoading.h"

namespace draw_test {
namespace {

class LoadingTest : public DrawTest {
protected:
  void SetUp() override {
    DrawTest::SetUp();
    MakeEngine(32, 32);
  }
  const TKeshSurface* Surface(const std::string& name) const {
    const int32_t i = form.Engine->IndexOfSurface(name);
    return i < 0 ? nullptr : &form.Engine->Surfaces[static_cast<std::size_t>(i)];
  }
  std::vector<std::string> SurfaceNames() const {
    std::vector<std::string> names;
    for (const TKeshSurface& s : form.Engine->Surfaces) names.push_back(s.Name);
    return names;
  }
  // True when the texture of the picture kept no file bytes (the compress flag was on).
  bool Compressed(const std::string& picture) const {
    const TKeshSurface* s = Surface(picture);
    return s && !form.Engine->Textures[static_cast<std::size_t>(s->TextureIndex)].Data;
  }
};

TEST(SplitStringTest, PiecesBetweenSeparators) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitString("a;b;c", ";"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitString("a;;b", ";"), (V{"a", "", "b"}));
  EXPECT_EQ(SplitString("a;b;", ";"), (V{"a", "b"}));
  EXPECT_EQ(SplitString("", ";"), V{});
  EXPECT_EQ(SplitString(";a", ";"), (V{"", "a"}));
  EXPECT_EQ(TextureNameList("atlas.png;other;x.y.z"), (V{"atlas", "other", "x"}));
}

TEST_F(LoadingTest, LoadTexturesLoadsTheRowsOfTheNamedTextures) {
  Layout({Row("a.png", "atlas", 0, 0, 8, 8), Row("b.png", "other", 0, 0, 4, 4, true),
          Row("c.jpg", "third", 0, 0, 2, 2), Row("d.png", "atlas", 8, 0, 8, 8)});
  // One texture named with its extension, one without, one twice.
  Run("LoadTextures('atlas.png;other;atlas')");
  EXPECT_EQ(SurfaceNames(), (std::vector<std::string>{"a.png", "b.png", "d.png"}));
  const TKeshSurface* d = Surface("d.png");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->TextureName, "atlas.png");
  EXPECT_EQ(d->SrcLeft, 8);
  EXPECT_EQ(d->SrcRight, 16);
  EXPECT_EQ(Surface("b.png")->Rotated, 1);
  EXPECT_TRUE(form.TexSurfaces[0].Loaded);
  EXPECT_FALSE(form.TexSurfaces[2].Loaded);
  EXPECT_FALSE(form.Loading);
}

TEST_F(LoadingTest, CompressOverrideRules) {
  PutTexture("t0.png", Filled(4, 4, 0xFFFFFFFF));
  PutTexture("t1.png", Filled(4, 4, 0xFFFFFFFF));
  struct Case {
    std::string args;  // after the names
    bool compressed[2];
  };
  // Row 0 was last loaded with compress on, row 1 with compress off.
  const Case cases[] = {
      {"", {true, false}},
      {", true", {true, true}},  // two arguments: progress and compress both on
      {", true, false", {false, false}},
      {", false, true", {true, true}},
  };
  for (const Case& c : cases) {
    MakeEngine(32, 32);
    Layout({Row("p0.png", "t0", 0, 0, 4, 4), Row("p1.png", "t1", 0, 0, 4, 4)});
    form.TexSurfaces[0].LoadCompress = true;
    Run("LoadTextures('t0;t1'" + c.args + ")");
    EXPECT_EQ(Compressed("p0.png"), c.compressed[0]) << c.args;
    EXPECT_EQ(Compressed("p1.png"), c.compressed[1]) << c.args;
  }
}

TEST_F(LoadingTest, ProgressRedrawsAtEveryFifthPercent) {
  struct Case {
    int rows;
    int redraws;
    int lastPercent;
  };
  const Case cases[] = {{40, 20, 98}, {200, 21, 100}};
  for (const Case& c : cases) {
    std::vector<std::string> lines;
    for (int i = 0; i < c.rows; ++i) lines.push_back(Row("p" + std::to_string(i) + ".png", "none", 0, 0, 1, 1));
    Layout(lines);
    std::vector<int32_t> percents;
    TLoadTexturesArgs args;
    args.Names = "absent";
    args.Progress = true;
    LoadLayoutTextures(form, args, [&] {
      EXPECT_TRUE(form.Loading);
      percents.push_back(form.LoadingPercent);
    });
    ASSERT_EQ(static_cast<int>(percents.size()), c.redraws) << c.rows;
    for (std::size_t i = 0; i < percents.size(); ++i) EXPECT_EQ(percents[i], static_cast<int32_t>(i) * 5) << c.rows;
    EXPECT_EQ(form.LoadingPercent, c.lastPercent);
    EXPECT_FALSE(form.Loading);
  }
}

TEST_F(LoadingTest, LoadPicturesReadsSpecifications) {
  Layout({Row("lay.png", "atlas", 2, 3, 4, 5, true)});
  struct Case {
    std::string spec;
    bool loaded;
    std::string texture;
    int left, top, right, bottom;
    bool rotated;
  };
  const Case cases[] = {
      {"lay.png", true, "atlas.png", 2, 3, 6, 8, true},
      {"lay.png|other|0|0|1|1|false", true, "atlas.png", 2, 3, 6, 8, true},  // the layout wins
      {"bg.jpg|back|0|0|800|600|false", true, "back.jpg", 0, 0, 800, 600, false},
      {"r.png|tex|1|2|3|4|TRUE", true, "tex.png", 1, 2, 4, 6, true},
      {"w.png|tex|1|2|3", false, "", 0, 0, 0, 0, false},  // stops after w
      {"m.png|tex|1|2|-1|4|false", false, "", 0, 0, 0, 0, false},
      {"n.png", false, "", 0, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    form.Engine->DeleteSurface(c.spec.substr(0, c.spec.find('|')));
    Run("LoadPictures('" + c.spec + "')");
    const TKeshSurface* s = Surface(c.spec.substr(0, c.spec.find('|')));
    ASSERT_EQ(s != nullptr, c.loaded) << c.spec;
    if (!s) continue;
    EXPECT_EQ(s->TextureName, c.texture) << c.spec;
    EXPECT_EQ(s->SrcLeft, c.left) << c.spec;
    EXPECT_EQ(s->SrcTop, c.top) << c.spec;
    EXPECT_EQ(s->SrcRight, c.right) << c.spec;
    EXPECT_EQ(s->SrcBottom, c.bottom) << c.spec;
    EXPECT_EQ(s->Rotated != 0, c.rotated) << c.spec;
  }
  EXPECT_TRUE(form.TexSurfaces[0].Loaded);
  EXPECT_NE(LogText().find("Length(Pics)=7"), std::string::npos);
}

TEST_F(LoadingTest, LoadPicturesSetsTheRowsCompressAndRedrawsEveryPercent) {
  Layout({Row("a.png", "atlas", 0, 0, 1, 1)});
  std::vector<int32_t> percents;
  TLoadPicturesArgs args;
  args.Specs = "a.png;b.png|t|0|0|1|1|false;c.png|t|0|0|1|1|false";
  args.Progress = true;
  args.Compress = true;
  LoadPictureSpecs(form, args, [&] { percents.push_back(form.LoadingPercent); });
  EXPECT_EQ(percents, (std::vector<int32_t>{0, 33, 67}));
  EXPECT_TRUE(form.TexSurfaces[0].LoadCompress);
  EXPECT_FALSE(form.Loading);
}

TEST_F(LoadingTest, BadSpecificationEndsTheLoadWithAScriptError) {
  const std::string error = RunError("LoadPictures('a.png|t|0|0|1|1|false;b.png|t|0|x|1|1|false;c.png|t|0|0|1|1|false')");
  EXPECT_NE(error.find("b.png|t|0|x|1|1|false"), std::string::npos) << error;
  EXPECT_NE(error.find("'x' is not a valid integer value"), std::string::npos) << error;
  EXPECT_FALSE(form.Loading);  // clicks work again
  EXPECT_NE(Surface("a.png"), nullptr);
  EXPECT_EQ(Surface("c.png"), nullptr);
  EXPECT_NE(LogText().find("TMainForm.LoadPictures bad picture entry b.png|t|0|x|1|1|false"), std::string::npos);
}

TEST_F(LoadingTest, LoadPicturesWithoutADeviceDoesNothing) {
  form.Engine = std::make_unique<TKeshSurfaceEngine3D>(1024, 768, false, 0, 0, 32, 32, "data\\");
  Run("LoadPictures('a.png|t|0|0|1|1|false', true)");
  EXPECT_EQ(LogText().find("Length(Pics)"), std::string::npos);
  EXPECT_FALSE(form.Loading);
}

TEST_F(LoadingTest, ReLoadTexturesKeepsAPictureOfALaterLoadedRow) {
  Layout({Row("a.png", "t1", 0, 0, 1, 1), Row("a.png", "t2", 0, 0, 1, 1), Row("b.png", "t1", 0, 0, 1, 1)});
  Run("LoadTextures('t1;t2')");
  Run("ReLoadTextures('t1.png')");
  EXPECT_NE(Surface("a.png"), nullptr);  // row 1 still holds it
  EXPECT_EQ(Surface("b.png"), nullptr);
  EXPECT_TRUE(form.TexSurfaces[0].Loaded);
  EXPECT_FALSE(form.TexSurfaces[2].Loaded);
  Run("ReLoadTextures('t2')");
  EXPECT_EQ(Surface("a.png"), nullptr);
  EXPECT_FALSE(form.TexSurfaces[1].Loaded);
  EXPECT_FALSE(form.Loading);
}

TEST_F(LoadingTest, SurfacesReportListsLoadedRowsAndTheirTextures) {
  PutTexture("atlas.png", Filled(32, 16, 0xFFFFFFFF));
  PutTexture("whole.png", Filled(8, 4, 0xFFFFFFFF));
  Layout({Row("a.png", "atlas", 0, 0, 16, 16), Row("b.png", "atlas", 16, 0, 16, 16),
          Row("c.png", "unused", 0, 0, 2, 2), Row("w", "whole.png", 0, 0, 8, 4)});
  Run("LoadTextures('atlas') LoadPictures('w') ReLoadPictures('a.png') SaveCurrentSurfaces()");
  // ReLoadPictures unloads the surface, but the row stays listed as loaded. A texture named
  // with its extension is found in the engine and listed with its size.
  EXPECT_EQ(ReadText("Surfaces.txt"),
            "a.png    atlas    16x16\r\n"
            "b.png    atlas    16x16\r\n"
            "w    whole.png    8x4\r\n"
            "count Surfaces=3\r\n"
            "atlas\r\n"
            "whole.png  8x4\r\n"
            "count Textures=2\r\n");
  EXPECT_EQ(Surface("a.png"), nullptr);
}

TEST_F(LoadingTest, SaveCurrentSurfacesThatCannotWriteOnlyLogs) {
  std::filesystem::create_directories(dir_ + "/Surfaces.txt");  // a folder in the file's place
  EXPECT_EQ(RunError("SaveCurrentSurfaces()"), "");
  EXPECT_EQ(form.SaveCurrentSurfaces(nullptr), 0);  // the debug key's call
  EXPECT_NE(LogText().find("TMainForm.SaveCurrentSurfaces cannot write Surfaces.txt"), std::string::npos);
}

TEST_F(LoadingTest, PreloadTextureFolderKeepsHeldRecords) {
  PutTexture("atlas.png", Filled(4, 4, 0xFFFFFFFF));
  Layout({Row("a.png", "atlas", 0, 0, 4, 4)});
  Run("LoadTextures('atlas')");
  std::filesystem::create_directories(dir_ + "/Textures/sub");
  ASSERT_TRUE(WritePng(dir_ + "/Textures/extra.png", 2, 2, std::vector<uint32_t>(4, 0xFF0000FF)));
  ASSERT_TRUE(WritePng(dir_ + "/Textures/atlas.png", 2, 2, std::vector<uint32_t>(4, 0xFF0000FF)));
  PreloadTextureFolder(*form.Engine, "Textures");
  TKeshSurfaceEngine3D& e = *form.Engine;
  ASSERT_EQ(e.Textures.size(), 3u);
  EXPECT_EQ(e.Textures[0].Name, "atlas.png");
  EXPECT_EQ(e.IndexOfTexture("atlas.png"), 0);  // still the index the surface uses
  EXPECT_EQ(Surface("a.png")->TextureIndex, 0);
  EXPECT_EQ(e.Textures[1].Name, "extra.png");
  EXPECT_EQ(e.Textures[2].Name, "sub");
  ASSERT_TRUE(e.Textures[1].Data);
  EXPECT_GT(e.Textures[1].Data->Size(), 0);
  PreloadTextureFolder(e, "Missing");
  EXPECT_EQ(e.Textures.size(), 3u);
}

TEST_F(LoadingTest, SmallOperations) {
  Run("SetCurrentBack('back.jpg') SetPreLoadInMemory(false) EvictManagedResources()"
      "LoadAllPNGFromPicturePath('x') CopyAlphaChannel('a', 'b') ConvertSurfaceToNormalMap('a')"
      "a, b = GetPictureWidth() c = SetPictureWidth('x')"
      "assert(a == false and b == 0 and c == false)");
  EXPECT_EQ(form.CurrentBack, "back.jpg");
  EXPECT_FALSE(form.Engine->PreLoadInMemory);
  Run("SetCurrentBack() SetPreLoadInMemory()");
  EXPECT_EQ(form.CurrentBack, "back.jpg");  // no argument, no change
  EXPECT_FALSE(form.Engine->PreLoadInMemory);
}

}  // namespace
}  // namespace draw_test
