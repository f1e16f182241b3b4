// The texture layout table: which named pictures exist, which texture file each is cut from and
// where in it. Parsed once at start-up from the block between "-- START Textures.lua" and
// "-- END Textures.lua" of the script text; afterwards it only grows, by DublicateSurface, so an
// index into it stays valid for the whole run.
//
// A picture line is read by character positions and by the order of its semicolons, not by a
// tokenizer: each step takes the first ";" still left in a working copy and turns it into ":" so
// that the next step finds the next one. Entries must therefore stand in the documented order;
// a missing entry makes the later values run on into the next entry, which the integer steps
// survive (ValInt reads leading digits) and the boolean steps report as a conversion error.
#include "game/main.h"

#include <cstddef>

#include "foundation/KeshLogEngine.h"
#include "foundation/SFunctions.h"
#include "runtime/Strings.h"
#include "script/LuaArgs.h"

namespace {

constexpr const char* kLayoutStart = "-- START Textures.lua";
constexpr const char* kLayoutEnd = "-- END Textures.lua";

// Characters From .. To of S, 1-based and inclusive; empty when To lies before From.
std::string CopyRange(const std::string& s, std::ptrdiff_t from, std::ptrdiff_t to) {
  if (from < 1) from = 1;
  if (to > static_cast<std::ptrdiff_t>(s.size())) to = static_cast<std::ptrdiff_t>(s.size());
  if (to < from) return {};
  return s.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from + 1));
}

// One keyed step. The value is characters k+Skip .. p-Trim of the working copy, with p the first
// ";" left in it and k the key's first position in the line; it is taken only when both exist.
// The ";" is consumed whether or not the key was found, unless ConsumeOnlyWhenTaken.
bool TakeEntry(std::string& work, const std::string& line, const char* key, std::ptrdiff_t skip,
               std::ptrdiff_t trim, bool consumeOnlyWhenTaken, std::string& value) {
  const auto p = static_cast<std::ptrdiff_t>(rtl::Pos(";", work));
  if (p == 0) return false;
  const auto k = static_cast<std::ptrdiff_t>(rtl::Pos(key, line));
  const bool taken = k > 0;
  if (taken) value = CopyRange(work, k + skip, p - trim);
  if (taken || !consumeOnlyWhenTaken) work[static_cast<std::size_t>(p - 1)] = ':';
  return taken;
}

// Fills Row from one picture line; a Rotate or Compress value that is no boolean raises
// rtl::EConvertError with the row filled up to that step.
void ParseLayoutLine(const std::string& line, tTexSurface& row) {
  std::string work = line;
  std::string value;

  // The name: seven opening characters ({Name=") before it, its closing quote after it.
  if (const auto p = static_cast<std::ptrdiff_t>(rtl::Pos(";", work)); p > 0) {
    row.Name = CopyRange(work, 8, p - 2);
    work[static_cast<std::size_t>(p - 1)] = ':';
  }
  if (TakeEntry(work, line, "Texture=", 9, 2, false, value)) row.Texture = value;
  if (TakeEntry(work, line, "PosX=", 5, 1, false, value)) row.PosX = ValInt(value);
  if (TakeEntry(work, line, "PosY=", 5, 1, false, value)) row.PosY = ValInt(value);
  if (TakeEntry(work, line, "Width=", 6, 1, false, value)) row.Width = ValInt(value);
  if (TakeEntry(work, line, "Height=", 7, 1, false, value)) row.Height = ValInt(value);
  if (TakeEntry(work, line, "Rotate=", 7, 1, true, value)) row.Rotate = rtl::StrToBool(value);
  if (TakeEntry(work, line, "Compress=", 9, 1, false, value)) row.Compress = rtl::StrToBool(value);
}

}  // namespace

void TMainForm::ParseTextureLayout(const rtl::TStringList& lines) {
  TexSurfaces.clear();
  TexSurfaceLookup.Invalidate();
  const int marker = lines.IndexOf(kLayoutStart);
  if (marker < 0) return;
  // The line right after the marker is always skipped.
  for (std::size_t i = static_cast<std::size_t>(marker) + 2; i < lines.Count(); ++i) {
    const std::string& line = lines[i];
    if (line == kLayoutEnd) break;
    if (line.empty() || line[0] != '{') continue;
    TexSurfaces.emplace_back();
    try {
      ParseLayoutLine(line, TexSurfaces.back());
    } catch (const rtl::EConvertError& e) {
      throw ETextureLayoutError(e.what(), static_cast<int>(i) + 1, line);
    }
  }
}

int32_t TMainForm::FindTexSurface(const std::string& name) const {
  for (std::size_t i = 0; i < TexSurfaces.size(); ++i) {
    if (TexSurfaces[i].Name == name) return static_cast<int32_t>(i);
  }
  return -1;
}

void TMainForm::AddSurfaceAlias(const std::string& newName, const std::string& sourceName) {
  if (FindTexSurface(newName) >= 0) {
    LogEngine->AddWarning("TMainForm.DublicateSurface surface " + newName + " alredy exist");
    return;
  }
  const int32_t source = FindTexSurface(sourceName);
  if (source < 0) {
    LogEngine->AddWarning("TMainForm.DublicateSurface surface " + sourceName + " not exist");
    return;
  }
  tTexSurface alias = TexSurfaces[static_cast<std::size_t>(source)];
  alias.Name = newName;
  alias.SourceIndex = source;
  TexSurfaces.push_back(std::move(alias));
}

int TMainForm::DublicateSurface(lua_State* L) {
  AddSurfaceAlias(LuaArgText(L, 1), LuaArgText(L, 2));
  return 0;
}
