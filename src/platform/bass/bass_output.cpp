// The output: SDL2's default audio device at 44100 Hz stereo in 32-bit floats (SDL converts if
// the device wants something else), pause and resume of all output, and the pull seam that
// stands in for the device in tests.
//
// Pausing is the mixer's: the device keeps asking for frames and gets silence, so commands and
// freed streams keep flowing while the game is paused.
#include <algorithm>

#include "platform/bass/bass_internal.h"

namespace platform::bass {
namespace detail {
namespace {

void SDLCALL MixCallback(void* userdata, Uint8* stream, int len) {
  auto* e = static_cast<Engine*>(userdata);
  e->mixer.ProcessCommands();
  e->mixer.Mix(reinterpret_cast<float*>(stream), static_cast<std::size_t>(len) / kBytesPerFrame);
}

void CloseOutput(Engine& e) {
  if (e.device != 0) {
    SDL_CloseAudioDevice(e.device);  // returns after the last callback
    e.device = 0;
  }
  if (e.audio_up) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    e.audio_up = false;
  }
  e.output = Output::kNone;
}

BOOL PauseOutput(bool paused) {
  Engine& e = TheEngine();
  Collect(e);
  if (e.output.load() == Output::kNone) {
    return Fail(BASS_ERROR_INIT, paused ? "BASS_Pause: no output" : "BASS_Start: no output");
  }
  Submit(e, Command{CommandKind::kPause, nullptr, 0, 0.0f, paused});
  return win32::TRUE;
}

}  // namespace

Engine::~Engine() {
  CloseOutput(*this);
  FreeAllStreams(*this);
  decoder.StopThread();
}

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

}  // namespace detail

using namespace detail;

BOOL BASS_Init(int device, DWORD /*freq*/, DWORD /*flags*/, HWND /*window*/,
               const void* /*classId*/) {
  Engine& e = TheEngine();
  Collect(e);
  if (e.output.load() != Output::kNone) return win32::TRUE;
  if (device != -1 && device != 1) {
    return Fail(BASS_ERROR_DEVICE, "BASS_Init: no output " + std::to_string(device));
  }
  if (e.manualWanted) {
    e.output = Output::kManual;
    return win32::TRUE;
  }
  if (!e.audio_up) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      return Fail(BASS_ERROR_DEVICE, std::string("BASS_Init: no audio output: ") + SDL_GetError());
    }
    e.audio_up = true;
  }
  SDL_AudioSpec want{};
  want.freq = kOutputRate;
  want.format = AUDIO_F32SYS;
  want.channels = kOutputChannels;
  want.samples = static_cast<Uint16>(kMixFrames);
  want.callback = MixCallback;
  want.userdata = &e;
  SDL_AudioSpec have{};
  e.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (e.device == 0) {
    // The subsystem stays up until BASS_Free: quitting it here would wait for SDL's device
    // watcher, up to a tenth of a second on a machine without sound, before the game goes on.
    return Fail(BASS_ERROR_DEVICE, std::string("BASS_Init: cannot open the audio output: ") + SDL_GetError());
  }
  e.deviceFrames = have.samples;
  e.output = Output::kDevice;
  SDL_PauseAudioDevice(e.device, 0);
  return win32::TRUE;
}

BOOL BASS_Free() {
  Engine& e = TheEngine();
  const bool hadOutput = e.output.load() != Output::kNone;
  CloseOutput(e);
  FreeAllStreams(e);
  return hadOutput ? win32::TRUE : Fail(BASS_ERROR_INIT, "BASS_Free: no output");
}

BOOL BASS_Pause() {
  ++TheEngine().pauseCalls;
  return PauseOutput(true);
}

BOOL BASS_Start() {
  ++TheEngine().startCalls;
  return PauseOutput(false);
}

namespace testing {

int PauseCalls() { return TheEngine().pauseCalls; }
int StartCalls() { return TheEngine().startCalls; }
void ResetCallCounts() { TheEngine().pauseCalls = TheEngine().startCalls = 0; }

void UseManualOutput(bool manual) { TheEngine().manualWanted = manual; }

std::vector<float> PullFrames(std::size_t frames) {
  Engine& e = TheEngine();
  if (e.output.load() != Output::kManual) return {};
  std::vector<float> out(frames * kOutputChannels);
  for (std::size_t done = 0; done < frames;) {
    const std::size_t n = std::min(kMixFrames, frames - done);
    e.mixer.ProcessCommands();
    // What the device's callback would find decoded ahead, decoded now: the same every run.
    e.decoder.RunPass();
    e.mixer.Mix(out.data() + done * kOutputChannels, n);
    done += n;
  }
  return out;
}

std::size_t MixBufferFrames() {
  const Engine& e = TheEngine();
  return e.output.load() == Output::kDevice ? e.deviceFrames : kMixFrames;
}

}  // namespace testing

}  // namespace platform::bass
