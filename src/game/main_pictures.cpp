// Picture and texture loading operations of the game object: the scripts decide when pictures
// come into video memory and when they leave it. The operations read their arguments and hand
// them to PictureLoading.cpp; the loading-screen redraws run this object's frame (Draw), so the
// scripts' A_Loading runs nested inside their own LoadTextures or LoadPictures call.
#include "game/main.h"

#include "foundation/KeshLogEngine.h"
#include "game/PictureLoading.h"
#include "runtime/Files.h"
#include "script/LuaArgs.h"

int TMainForm::LoadTextures(lua_State* L) {
  const int n = LuaArgCount(L);
  TLoadTexturesArgs args;
  args.Names = LuaArgText(L, 1);
  // With exactly two arguments the second is both the progress flag and the compress override.
  if (n >= 2) args.Progress = LuaArgBoolean(L, 2);
  if (n >= 3) args.Compress = LuaArgBoolean(L, 3);
  else if (n >= 2) args.Compress = args.Progress;
  if (n >= 4 && LuaArgBoolean(L, 4)) args.Format = kFormatA4R4G4B4;
  LoadLayoutTextures(*this, args, [this] { Draw(); });
  return 0;
}

int TMainForm::ReLoadTextures(lua_State* L) {
  std::optional<bool> compress;
  if (LuaArgCount(L) >= 2) compress = LuaArgBoolean(L, 2);
  UnloadLayoutTextures(*this, LuaArgText(L, 1), compress);
  return 0;
}

int TMainForm::LoadPictures(lua_State* L) {
  if (!Engine || !Engine->g_pd3dDevice) return 0;
  const int n = LuaArgCount(L);
  TLoadPicturesArgs args;
  args.Specs = LuaArgText(L, 1);
  if (n >= 2) args.Progress = LuaArgBoolean(L, 2);
  if (n >= 3) args.Compress = LuaArgBoolean(L, 3);
  if (n >= 4 && LuaArgBoolean(L, 4)) args.Format = kFormatA4R4G4B4;
  // A bad entry raises; the operation boundary turns it into a script error.
  LoadPictureSpecs(*this, args, [this] { Draw(); });
  return 0;
}

int TMainForm::ReLoadPictures(lua_State* L) {
  // The compress argument reaches nothing: the engine's DeleteSurface takes no flag.
  if (!Engine) return 0;
  for (const std::string& name : SplitString(LuaArgText(L, 1), ";")) Engine->DeleteSurface(name);
  return 0;
}

// Also run by the debug key of FormKeyDown, with no script behind it: reads no arguments.
int TMainForm::SaveCurrentSurfaces(lua_State*) {
  try {
    SurfacesReport(*this).SaveToFile("Surfaces.txt");
  } catch (const std::exception& e) {
    // A report that cannot be written must not end the script or the key handler.
    LogEngine->AddError(std::string("TMainForm.SaveCurrentSurfaces cannot write Surfaces.txt: ") + e.what());
  }
  return 0;
}

int TMainForm::SetCurrentBack(lua_State* L) {
  if (LuaArgCount(L) >= 1) CurrentBack = LuaArgText(L, 1);
  return 0;
}

int TMainForm::SetPreLoadInMemory(lua_State* L) {
  if (LuaArgCount(L) >= 1 && Engine) Engine->PreLoadInMemory = LuaArgBoolean(L, 1);
  return 0;
}

int TMainForm::EvictManagedResources(lua_State*) {
  if (Engine && Engine->g_pd3dDevice) Engine->g_pd3dDevice->EvictManagedResources();
  return 0;
}

// Kept for old scripts; they do nothing.
int TMainForm::LoadAllPNGFromPicturePath(lua_State*) { return 0; }
int TMainForm::CopyAlphaChannel(lua_State*) { return 0; }
int TMainForm::ConvertSurfaceToNormalMap(lua_State*) { return 0; }

void TMainForm::LoadAllTextures() {
  if (Engine) PreloadTextureFolder(*Engine, rtl::ProgramFolder() + "Textures");
}
