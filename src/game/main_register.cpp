// The published operations of TMainForm: every entry becomes a Lua global of the same name, in
// this order. Operations that the system itself calls are published too but carry no script
// operation (nullptr): their globals do nothing and return no results, so a script that calls
// them can neither re-run start-up, free the script host nor hand them misread arguments.
#include "game/main.h"

namespace {

using Op = TPublishedOperation<TMainForm>;
using F = TMainForm;

constexpr Op MainFormOperations[] = {
    // start-up and end of game
    {"FormCreate", nullptr},
    {"FormDestroy", nullptr},
    {"FormActivate", nullptr},
    {"FormPaint", nullptr},
    {"GetMyDoc", nullptr},
    {"CreateResources_Testing", nullptr},
    {"SaveGameBeforeGame", nullptr},
    // per-user folder and project settings
    {"CreateAppDataFolder", &F::CreateAppDataFolder},
    {"LoadLuas", &F::LoadLuas},
    // frame, loading and pause
    {"LoadingTrue", &F::LoadingTrue},
    {"LoadingFalse", &F::LoadingFalse},
    {"LowBitsInHistoryForLua", &F::LowBitsInHistoryForLua},
    {"Draw", nullptr},
    {"AppIdle", nullptr},
    {"Pause", nullptr},
    {"RePause", nullptr},
    {"Call_Pause", nullptr},
    {"Call_RePause", nullptr},
    {"LowBitsInHistory", nullptr},
    {"WOptions_OK_MouseUp_fromCode", nullptr},
    // display and window modes, splash pictures
    {"GetSystemResolution", &F::GetSystemResolution},
    {"SetSystemResolution", &F::SetSystemResolution},
    {"GetWindowSize", &F::GetWindowSize},
    {"LoadSplash", &F::LoadSplash},
    {"ReLoadSplash", &F::ReLoadSplash},
    {"ChangeWindowMode", nullptr},
    {"Call_A_ChangeResolution", nullptr},
    {"ErrorGraphicsMode", nullptr},
    // texture layout table
    {"DublicateSurface", &F::DublicateSurface},
    // picture and texture loading
    {"LoadTextures", &F::LoadTextures},
    {"ReLoadTextures", &F::ReLoadTextures},
    {"LoadPictures", &F::LoadPictures},
    {"ReLoadPictures", &F::ReLoadPictures},
    {"SaveCurrentSurfaces", &F::SaveCurrentSurfaces},
    {"SetCurrentBack", &F::SetCurrentBack},
    {"SetPreLoadInMemory", &F::SetPreLoadInMemory},
    {"EvictManagedResources", &F::EvictManagedResources},
    {"LoadAllPNGFromPicturePath", &F::LoadAllPNGFromPicturePath},
    {"CopyAlphaChannel", &F::CopyAlphaChannel},
    {"ConvertSurfaceToNormalMap", &F::ConvertSurfaceToNormalMap},
    {"LoadAllTextures", nullptr},
    // drawing
    {"DrawPicture", &F::DrawPicture},
    {"DrawText", &F::DrawText},
    {"OutTextXY", &F::OutTextXY},
    {"DrawLine", &F::DrawLine},
    {"DrawPoligon", &F::DrawPoligon},
    {"DrawTriangle", &F::DrawTriangle},
    // picture queries and hit tests
    {"InsideRect", &F::InsideRect},
    {"InsidePicture", &F::InsidePicture},
    {"GetPictureSize", &F::GetPictureSize},
    {"GetMassCenter", &F::GetMassCenter},
    {"SetPictureWidth", &F::SetPictureWidth},
    {"GetPictureWidth", &F::GetPictureWidth},
    {"GetAlphaFromSurf", nullptr},
    // transform groups and clip rectangles
    {"GroupBegin", &F::GroupBegin},
    {"GroupEnd", &F::GroupEnd},
    {"ClipRectBegin", &F::ClipRectBegin},
    {"ClipRectEnd", &F::ClipRectEnd},
    // input forwarding
    {"SetoffsetXY", &F::SetoffsetXY},
    {"FormMouseDown", nullptr},
    {"FormMouseUp", nullptr},
    {"FormMouseMove", nullptr},
    {"FormMouseWheel", nullptr},
    {"FormKeyDown", nullptr},
    {"FormKeyPress", nullptr},
    {"FormKeyUp", nullptr},
    // parameters and profile
    {"GetParamsFromCode", &F::GetParamsFromCode},
    {"SetParamsToCode", &F::SetParamsToCode},
    {"GetProfileFromCode", &F::GetProfileFromCode},
    {"SetProfileToCode", &F::SetProfileToCode},
    {"SetProfileParam", &F::SetProfileParam},
    // sound
    {"InitSound", &F::InitSound},
    {"LoadSound", &F::LoadSound},
    {"PlaySound", &F::PlaySound},
    {"StopSound", &F::StopSound},
    {"SetVolumeSound", &F::SetVolumeSound},
    {"FreeSounds", &F::FreeSounds},
    // payload codec
    {"CryptStr", &F::CryptStr},
    {"DecryptStr", &F::DecryptStr},
    {"CryptPOST", &F::CryptPOST},
    {"DecryptPOST", &F::DecryptPOST},
    {"DepostNZip", &F::DepostNZip},
    // files, links, logs and other operations
    {"InitLogFile", &F::InitLogFile},
    {"WriteToLogFile", &F::WriteToLogFile},
    {"DataFromFile", &F::DataFromFile},
    {"DataToFile", &F::DataToFile},
    {"SaveFile", &F::SaveFile},
    {"GetCurrentLanguage", &F::GetCurrentLanguage},
    {"GetDialogList", &F::GetDialogList},
    {"QuitGame", &F::QuitGame},
    {"SetFormCaption", &F::SetFormCaption},
    {"ReLoadLua", &F::ReLoadLua},
    {"AppChangeWindowMode", &F::AppChangeWindowMode},
    {"AppChangeCustomCursor", &F::AppChangeCustomCursor},
    {"SetCursor", &F::SetCursor},
    {"OpenUrl", &F::OpenUrl},
    {"JumpUrl", &F::JumpUrl},
    {"WSurvey_BOk", &F::WSurvey_BOk},
    {"ShowErrorAlert", &F::ShowErrorAlert},
    {"OpenUrlByString", nullptr},
    // dates, text tables, digests, device identity
    {"GetMD5", &F::GetMD5},
    {"GetDeviceID", &F::GetDeviceID},
    {"NumberToDate", &F::NumberToDate},
    {"DateToNumber", &F::DateToNumber},
    {"CodesToUTF8", &F::CodesToUTF8},
    {"UTF8ToCodes", &F::UTF8ToCodes},
    // viewer parameters
    {"ParseParameters", &F::ParseParameters},
    {"ParseParametersFromConfig", &F::ParseParametersFromConfig},
    {"ParseParametersFromParamStr", &F::ParseParametersFromParamStr},
    // HTTP requests
    {"PostUrl", &F::PostUrl},
};
static_assert(std::size(MainFormOperations) == 110);

}  // namespace

const TPublishedTable<TMainForm> TMainForm::Published{"TMainForm", MainFormOperations, &TPublishedObject::Published};
