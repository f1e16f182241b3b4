// The logic of the picture and texture loading operations (main_pictures.cpp): which layout rows
// a list of texture names or picture entries loads, the progress redraws while they load,
// unloading, the preload of the program's texture folder and the "Surfaces.txt" report. The
// operations read the script's arguments and hand them here; the redraw of the loading screen is
// passed in, so that it can run the game object's frame. Nothing here includes Lua.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/StringList.h"

class TMainForm;
class TKeshSurfaceEngine3D;

constexpr int32_t kFormatFromFile = 0;
constexpr int32_t kFormatA4R4G4B4 = 26;  // D3DFMT_A4R4G4B4

// The pieces of Text between separators, in order: two separators in a row give an empty piece,
// a separator at the end gives no empty last piece.
std::vector<std::string> SplitString(std::string_view text, std::string_view separator);

// A ";"-list of texture names, each cut before its first ".", so a texture may be named with or
// without its extension.
std::vector<std::string> TextureNameList(std::string_view names);

// The texture file of a picture: the texture name, then ".png" when the picture's name contains
// ".png" and then ".jpg" when it contains ".jpg".
std::string PictureTextureFile(const std::string& texture, const std::string& pictureName);

using TRedraw = std::function<void()>;

struct TLoadTexturesArgs {
  std::string Names;
  bool Progress = false;
  std::optional<bool> Compress;  // the override; absent: each row's LoadCompress
  int32_t Format = kFormatFromFile;
};
// LoadTextures: every layout row whose texture the list names; Loading is set for the run and
// cleared at its end (also when a redraw fails).
void LoadLayoutTextures(TMainForm& form, const TLoadTexturesArgs& args, const TRedraw& redraw);

// ReLoadTextures: unloads the pictures of the named textures, except those whose name a later
// loaded row also carries.
void UnloadLayoutTextures(TMainForm& form, std::string_view names, std::optional<bool> compress);

// One item of LoadPictures: a layout picture's name, or name|texture|x|y|w|h|rotate.
struct TPictureSpec {
  std::string Name;
  std::string Texture;
  int32_t X = -1, Y = -1, W = -1, H = -1;
  bool Rotated = false;
  int32_t Row = -1;  // the layout row of Name, -1 for a picture of its own
  bool Complete() const { return !Texture.empty() && X != -1 && Y != -1 && W != -1 && H != -1; }
};
// Raises rtl::EConvertError for an x, y, w or h field that is not an integer.
TPictureSpec ParsePictureSpec(const TMainForm& form, const std::string& item);

struct TLoadPicturesArgs {
  std::string Specs;
  bool Progress = false;
  bool Compress = false;
  int32_t Format = kFormatFromFile;
};
// LoadPictures (with a device). An entry with a field that is not an integer stops the
// load: Loading is cleared, the item is logged, and rtl::EConvertError naming the item is raised.
void LoadPictureSpecs(TMainForm& form, const TLoadPicturesArgs& args, const TRedraw& redraw);

// The report "Surfaces.txt": one line per loaded layout row, "count Surfaces=", one line per
// distinct texture, "count Textures=".
rtl::TStringList SurfacesReport(const TMainForm& form);

// Adds a texture record for every entry of Folder (files and sub-folders, not "." and "..") that
// the engine does not hold yet; records already held keep their indexes. Nothing without Folder.
void PreloadTextureFolder(TKeshSurfaceEngine3D& engine, const std::string& folder);
