// Sound of the game object: six thin operations over the sound stand-in. A sound is a stream
// handle that the script keeps as a number; the game object keeps no list of sounds. The other
// operations need a successful InitSound before them and leave any failure to the stand-in.
//
// What the stand-in's mixer and decoder report is logged here, on the main thread: by every
// sound operation and by each frame (LogSoundMessages).
#include <cmath>
#include <string>
#include <string_view>

#include "foundation/KeshLogEngine.h"
#include "game/main.h"
#include "platform/bass/bass.h"
#include "runtime/Files.h"
#include "runtime/Rounding.h"
#include "script/LuaArgs.h"

namespace bass = platform::bass;

namespace {

// A handle as the script hands it back: rounded (halves to even), low 32 bits; NaN and the
// infinities give 0, which is no stream.
bass::HSTREAM ArgHandle(lua_State* L, int index) { return rtl::LowBitsOfRound<uint32_t>(LuaArgNumber(L, index)); }

float ArgVolume(lua_State* L, int index) { return static_cast<float>(LuaArgInteger(L, index)) / 100.0f; }

// A FreeSounds item: blanks, an optional sign and decimal digits; false for anything else.
bool ReadHandleItem(std::string_view item, bass::HSTREAM& handle) {
  while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
  bool negative = false;
  if (!item.empty() && (item.front() == '-' || item.front() == '+')) {
    negative = item.front() == '-';
    item.remove_prefix(1);
  }
  if (item.empty()) return false;
  uint32_t value = 0;  // the low 32 bits, whatever the number's length
  for (char c : item) {
    if (c < '0' || c > '9') return false;
    value = value * 10u + static_cast<uint32_t>(c - '0');
  }
  handle = negative ? 0u - value : value;
  return true;
}

}  // namespace

void TMainForm::LogSoundMessages() {
  for (const std::string& message : bass::TakeMessages()) LogEngine->AddWarning("Sound: " + message);
}

int TMainForm::InitSound(lua_State* L) {
  const bool ready = bass::BASS_Init(-1, 44100, 0, WindowHandle, nullptr) != 0;
  if (ready) {
    LogEngine->AddHint("Bass_Init");
  } else {
    LogEngine->AddError("Bass_Init not bass init");
  }
  LuaPushBoolean(L, ready);
  return 1;
}

int TMainForm::LoadSound(lua_State* L) {
  LogSoundMessages();
  const std::string name = LuaArgText(L, 1);
  const std::string path = rtl::FileExists(name) ? name : DataFolder + "\\sounds\\" + name;
  bass::HSTREAM handle = 0;
  int64_t ms = 0;
  if (rtl::FileExists(path)) {
    handle = bass::BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    if (handle == 0) {
      // A file that is there but holds no sound answers like a missing one, and the log says so.
      LogEngine->AddWarning("TMainForm.LoadSound " + path + " cannot be read: " + bass::ErrorText());
    } else {
      const bass::QWORD bytes = bass::BASS_ChannelGetLength(handle, bass::BASS_POS_BYTE);
      // Scaled by 1000 before BASS divides, so that a length of an exact half millisecond comes
      // out exact and rounds to even (seconds times 1000 can land just beside the half).
      const double milliseconds = bytes <= UINT64_MAX / 1000
                                      ? bass::BASS_ChannelBytes2Seconds(handle, bytes * 1000)
                                      : bass::BASS_ChannelBytes2Seconds(handle, bytes) * 1000.0;
      ms = static_cast<int64_t>(std::nearbyint(milliseconds));
    }
  }
  LuaPushInteger(L, handle);
  LuaPushInteger(L, ms);
  return 2;
}

int TMainForm::PlaySound(lua_State* L) {
  LogSoundMessages();
  const bass::HSTREAM handle = ArgHandle(L, 1);
  bass::BASS_ChannelSetAttribute(handle, bass::BASS_ATTRIB_VOL, ArgVolume(L, 2));
  bass::BASS_ChannelPlay(handle, 1);
  return 0;
}

int TMainForm::StopSound(lua_State* L) {
  LogSoundMessages();
  const bass::HSTREAM handle = ArgHandle(L, 1);
  bass::BASS_ChannelStop(handle);
  bass::BASS_ChannelSetPosition(handle, 0, bass::BASS_POS_BYTE);
  return 0;
}

int TMainForm::SetVolumeSound(lua_State* L) {
  LogSoundMessages();
  bass::BASS_ChannelSetAttribute(ArgHandle(L, 1), bass::BASS_ATTRIB_VOL, ArgVolume(L, 2));
  return 0;
}

int TMainForm::FreeSounds(lua_State* L) {
  LogSoundMessages();
  std::string owned = LuaArgText(L, 1);
  if (!owned.empty() && owned.back() != ';') owned += ';';
  std::string_view rest = owned;
  while (!rest.empty()) {
    const std::size_t end = rest.find(';');
    bass::HSTREAM handle = 0;
    // Items that are no integer (empty, letters) are skipped.
    if (ReadHandleItem(rest.substr(0, end), handle)) bass::BASS_StreamFree(handle);
    rest.remove_prefix(end + 1);
  }
  return 0;
}
