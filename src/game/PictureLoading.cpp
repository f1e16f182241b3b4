// Picture and texture loading through the texture layout table. See PictureLoading.h.
#include "game/PictureLoading.h"

#include <algorithm>
#include <cmath>

#include "foundation/KeshLogEngine.h"
#include "game/main.h"
#include "platform/win32/win32_folders.h"
#include "runtime/Errors.h"
#include "runtime/Files.h"
#include "runtime/Strings.h"

namespace w32 = platform::win32;

namespace {

// Loading is true for the whole run of a load and false after it, however the run ends.
class TLoadingScope {
public:
  explicit TLoadingScope(TMainForm& form) : form_(form) {
    form_.Loading = true;
    form_.LoadingPercent = 0;
  }
  ~TLoadingScope() { form_.Loading = false; }
  TLoadingScope(const TLoadingScope&) = delete;
  TLoadingScope& operator=(const TLoadingScope&) = delete;

private:
  TMainForm& form_;
};

int32_t Percent(std::size_t i, std::size_t count) {
  return static_cast<int32_t>(std::nearbyint(static_cast<double>(i) * 100.0 / static_cast<double>(count)));
}

w32::RECT TexelRect(int32_t x, int32_t y, int32_t w, int32_t h) {
  return w32::RECT{x, y, x + w, y + h};
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

}  // namespace

std::vector<std::string> SplitString(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (separator.empty()) {
    if (!text.empty()) pieces.emplace_back(text);
    return pieces;
  }
  std::size_t at;
  while ((at = text.find(separator)) != std::string_view::npos) {
    pieces.emplace_back(text.substr(0, at));
    text.remove_prefix(at + separator.size());
  }
  if (!text.empty()) pieces.emplace_back(text);
  return pieces;
}

std::vector<std::string> TextureNameList(std::string_view names) {
  std::vector<std::string> list = SplitString(names, ";");
  for (std::string& item : list) {
    if (const auto dot = item.find('.'); dot != std::string::npos) item.resize(dot);
  }
  return list;
}

std::string PictureTextureFile(const std::string& texture, const std::string& pictureName) {
  std::string file = texture;
  if (Contains(pictureName, ".png")) file += ".png";
  if (Contains(pictureName, ".jpg")) file += ".jpg";
  return file;
}

void LoadLayoutTextures(TMainForm& form, const TLoadTexturesArgs& args, const TRedraw& redraw) {
  TLoadingScope loading(form);
  int32_t last = 0;
  const std::vector<std::string> list = TextureNameList(args.Names);
  if (args.Progress) redraw();
  // By index: a redraw runs the scripts, which may add alias rows to the table.
  for (std::size_t i = 0; i < form.TexSurfaces.size(); ++i) {
    if (args.Progress) {
      const int32_t p = Percent(i, form.TexSurfaces.size());
      form.LoadingPercent = p;
      if (p / 5 != last / 5) {
        last = p;
        redraw();
      }
    }
    tTexSurface& row = form.TexSurfaces[i];
    if (std::find(list.begin(), list.end(), row.Texture) == list.end()) continue;
    if (form.Engine) {
      const bool compress = args.Compress.value_or(row.LoadCompress);
      form.Engine->CreateSufaceFromTexture(row.Name, PictureTextureFile(row.Texture, row.Name),
                                           TexelRect(row.PosX, row.PosY, row.Width, row.Height),
                                           true, row.Rotate, args.Format, compress);
    }
    row.Loaded = true;
  }
}

// The engine's DeleteSurface takes no compress flag, so the override has nothing to reach.
void UnloadLayoutTextures(TMainForm& form, std::string_view names, std::optional<bool> /*compress*/) {
  const std::vector<std::string> list = TextureNameList(names);
  auto& rows = form.TexSurfaces;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (const std::string& item : list) {
      if (item != rows[i].Texture) continue;
      const bool keptByLaterRow = std::any_of(rows.begin() + static_cast<std::ptrdiff_t>(i) + 1, rows.end(),
                                              [&](const tTexSurface& r) { return r.Name == rows[i].Name && r.Loaded; });
      if (keptByLaterRow) continue;
      if (form.Engine) form.Engine->DeleteSurface(rows[i].Name);
      rows[i].Loaded = false;
    }
  }
}

TPictureSpec ParsePictureSpec(const TMainForm& form, const std::string& item) {
  TPictureSpec spec;
  std::string rest = item;
  if (const auto bar = rest.find('|'); bar != std::string::npos) {
    spec.Name = rest.substr(0, bar);
    rest.erase(0, bar + 1);
  } else {
    spec.Name = rest;
    rest.clear();
  }
  spec.Row = form.FindTexSurface(spec.Name);
  if (spec.Row >= 0) {
    const tTexSurface& row = form.TexSurfaces[static_cast<std::size_t>(spec.Row)];
    spec.Texture = row.Texture;
    spec.X = row.PosX;
    spec.Y = row.PosY;
    spec.W = row.Width;
    spec.H = row.Height;
    spec.Rotated = row.Rotate;
    return spec;
  }
  // texture|x|y|w|h|rotate: a field with no "|" after it is not taken.
  auto takeField = [&rest](std::string& field) {
    const auto bar = rest.find('|');
    if (bar == std::string::npos) return false;
    field = rest.substr(0, bar);
    rest.erase(0, bar + 1);
    return true;
  };
  std::string field;
  if (takeField(field)) spec.Texture = field;
  int32_t* numbers[] = {&spec.X, &spec.Y, &spec.W, &spec.H};
  for (int32_t* n : numbers) {
    if (takeField(field)) *n = rtl::StrToInt(field);
  }
  spec.Rotated = rtl::LowerCase(rest) == "true";
  return spec;
}

void LoadPictureSpecs(TMainForm& form, const TLoadPicturesArgs& args, const TRedraw& redraw) {
  TLoadingScope loading(form);
  int32_t last = 0;
  const std::vector<std::string> list = SplitString(args.Specs, ";");
  LogEngine->AddHint("Length(Pics)=" + rtl::IntToStr(static_cast<int64_t>(args.Specs.size())));
  if (args.Progress) redraw();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (args.Progress) {
      const int32_t p = Percent(i, list.size());
      form.LoadingPercent = p;
      if (p != last) {
        last = p;
        redraw();
      }
    }
    TPictureSpec spec;
    try {
      spec = ParsePictureSpec(form, list[i]);
    } catch (const rtl::EConvertError& e) {
      // Left as it was, the game would stay in its loading screen with clicks ignored.
      form.Loading = false;
      LogEngine->AddError("TMainForm.LoadPictures bad picture entry " + list[i] + ": " + e.what());
      throw rtl::EConvertError("picture entry \"" + list[i] + "\": " + e.what());
    }
    if (spec.Row >= 0) form.TexSurfaces[static_cast<std::size_t>(spec.Row)].LoadCompress = args.Compress;
    if (spec.Complete() && form.Engine) {
      form.Engine->CreateSufaceFromTexture(spec.Name, PictureTextureFile(spec.Texture, spec.Name),
                                           TexelRect(spec.X, spec.Y, spec.W, spec.H), true,
                                           spec.Rotated, args.Format, args.Compress);
    }
    if (spec.Row >= 0) form.TexSurfaces[static_cast<std::size_t>(spec.Row)].Loaded = true;
  }
}

rtl::TStringList SurfacesReport(const TMainForm& form) {
  rtl::TStringList pictures, textures;
  std::vector<std::string> listed;  // textures with a line, whether or not it carries a size
  for (const tTexSurface& row : form.TexSurfaces) {
    if (!row.Loaded) continue;
    pictures.Add(row.Name + "    " + row.Texture + "    " + rtl::IntToStr(row.Width) + "x" + rtl::IntToStr(row.Height));
    if (std::find(listed.begin(), listed.end(), row.Texture) != listed.end()) continue;
    listed.push_back(row.Texture);
    std::string line = row.Texture;
    if (form.Engine) {
      const TKeshSurfaceEngine3D& engine = *form.Engine;
      for (const TKeshSurface& s : engine.Surfaces) {
        if (s.TextureName != row.Texture) continue;
        if (s.TextureIndex >= 0 && static_cast<std::size_t>(s.TextureIndex) < engine.Textures.size()) {
          const TTexture& t = engine.Textures[static_cast<std::size_t>(s.TextureIndex)];
          line += "  " + rtl::IntToStr(t.Width) + "x" + rtl::IntToStr(t.Height);
        }
        break;
      }
    }
    textures.Add(line);
  }
  pictures.Add("count Surfaces=" + rtl::IntToStr(static_cast<int64_t>(pictures.Count())));
  textures.Add("count Textures=" + rtl::IntToStr(static_cast<int64_t>(textures.Count())));
  pictures.AddStrings(textures);
  return pictures;
}

void PreloadTextureFolder(TKeshSurfaceEngine3D& engine, const std::string& folder) {
  if (!rtl::DirectoryExists(folder)) return;
  w32::WIN32_FIND_DATAA entry{};
  const w32::HANDLE find = w32::FindFirstFileA((folder + "\\*.*").c_str(), &entry);
  if (find == w32::INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (engine.IndexOfTexture(name) < 0) engine.PreloadTexture(name);
  } while (w32::FindNextFileA(find, &entry));
  w32::FindClose(find);
}
