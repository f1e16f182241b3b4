// The texture layout table: the marked block of a script text parsed into rows, then every name
// looked up through DrawPicture's index and by the plain scan, which must agree, also after
// aliases are added. Text after a NUL byte is a second script text parsed on the same game
// object, so the index meets a table parsed anew. A text without the start marker gets one, so
// that the run spends its time inside the block.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "game/main.h"
#include "runtime/StringList.h"

namespace {

constexpr std::string_view kStart = "-- START Textures.lua";

void Parse(TMainForm& form, std::string_view text) {
  rtl::TStringList lines;
  lines.SetText(text);
  if (lines.IndexOf(kStart) < 0) {
    lines.Insert(0, "");
    lines.Insert(0, std::string(kStart));
  }
  try {
    form.ParseTextureLayout(lines);
  } catch (const ETextureLayoutError& e) {
    FUZZ_CHECK(e.LineNumber >= 1 && static_cast<std::size_t>(e.LineNumber) <= lines.Count());
    FUZZ_CHECK(lines[static_cast<std::size_t>(e.LineNumber - 1)] == e.Line);
  }
}

void CheckLookups(TMainForm& form) {
  for (const tTexSurface& row : form.TexSurfaces) {
    const int32_t index = form.TexSurfaceLookup.Find(form.TexSurfaces, row.Name);
    FUZZ_CHECK(index == form.FindTexSurface(row.Name));
    FUZZ_CHECK(index >= 0 && form.TexSurfaces[static_cast<std::size_t>(index)].Name == row.Name);
    const std::string absent = row.Name + "\x01";
    FUZZ_CHECK(form.TexSurfaceLookup.Find(form.TexSurfaces, absent) == form.FindTexSurface(absent));
  }
  FUZZ_CHECK(form.TexSurfaceLookup.Find(form.TexSurfaces, "") == form.FindTexSurface(""));
}

// DublicateSurface for a few rows: a new name, and a name that already exists.
void AddAliases(TMainForm& form) {
  const std::size_t rows = form.TexSurfaces.size();
  for (std::size_t i = 0; i < rows && i < 4; ++i) {
    const std::string source = form.TexSurfaces[i].Name;
    form.AddSurfaceAlias(source + "#copy", source);
    form.AddSurfaceAlias(source, form.TexSurfaces[rows - 1 - i].Name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = (fuzz::SilenceLog(), true);
  (void)ready;

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  TMainForm form;
  Parse(form, input.substr(0, split));
  CheckLookups(form);
  AddAliases(form);
  CheckLookups(form);
  if (split != std::string_view::npos) {
    Parse(form, input.substr(split + 1));
    CheckLookups(form);
  }
  return 0;
}
