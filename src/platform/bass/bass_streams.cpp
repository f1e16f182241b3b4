// Streams: the handle table, the stream calls of the main thread, errors and queued messages.
//
// Handles count up from 1 and are never given twice; a handle that is not in the table (never
// made, or freed) fails with BASS_ERROR_HANDLE and is never followed. Every call first releases
// what the mixer has handed back, so freed streams do not pile up.
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <system_error>

#include "platform/bass/bass_internal.h"
#include "platform/win32/win32_files.h"

namespace platform::bass {
namespace detail {
namespace {

thread_local int t_errorCode = BASS_OK;
thread_local std::string t_errorText;

std::atomic<uint64_t> g_messageNumber{0};
std::atomic<int> g_streamObjects{0};

Stream* Find(Engine& e, DWORD handle) {
  Collect(e);
  const auto it = e.streams.find(handle);
  if (it == e.streams.end()) {
    SetError(BASS_ERROR_HANDLE, "no stream " + std::to_string(handle));
    return nullptr;
  }
  return it->second;
}

void Release(Engine& e, Stream* s) {
  if (s->longPart) e.decoder.Unregister(s);
  delete s;
}

void Note(Engine& e, std::string text) {
  e.messages.emplace_back(NextMessageNumber(), std::move(text));
}

// A short file, decoded whole. Its length is what it holds, cut at a little more than it says
// it holds so that a lying header cannot make it grow without end.
bool DecodeWhole(Stream& s, Source& source, std::string& reason) {
  const uint64_t expected = source.ToOutputFrames(source.FileFrames());
  const uint64_t cap = expected + kOutputRate;
  s.pcm.reserve(expected * kOutputChannels);
  std::vector<float> chunk(kChunkFrames * kOutputChannels);
  while (!source.ended() && s.pcm.size() / kOutputChannels < cap) {
    const std::size_t n = source.Produce(chunk.data(), kChunkFrames);
    s.pcm.insert(s.pcm.end(), chunk.begin(), chunk.begin() + n * kOutputChannels);
  }
  s.pcm.shrink_to_fit();
  s.lengthFrames = s.pcm.size() / kOutputChannels;
  if (s.lengthFrames == 0) {
    reason =
        s.path + ": " + (source.failure().empty() ? "the file holds no sound" : source.failure());
    return false;
  }
  return true;
}

HSTREAM CreateFromFile(Engine& e, const std::string& path) {
  auto source = std::make_unique<Source>();
  int code = BASS_ERROR_UNKNOWN;
  std::string reason;
  if (!source->Open(path, code, reason)) return Fail(code, reason);
  if (e.lastHandle == std::numeric_limits<HSTREAM>::max()) {
    return Fail(BASS_ERROR_UNKNOWN, "no stream handles left");
  }
  auto s = std::make_unique<Stream>();
  s->handle = ++e.lastHandle;
  s->path = path;
  s->rate = source->FileRate();
  s->fileFrames = source->FileFrames();
  const bool whole = static_cast<double>(source->FileFrames()) <=
                     kWholeDecodeSeconds * static_cast<double>(source->FileRate());
  if (whole) {
    if (!DecodeWhole(*s, *source, reason)) return Fail(BASS_ERROR_FILEFORM, reason);
    if (!source->failure().empty()) {
      Note(e, "BASS: stream " + std::to_string(s->handle) + " (" + path +
                  ") ends early: " + source->failure());
    }
  } else {
    s->longPart = std::make_unique<LongPart>();
    s->longPart->source = std::move(source);
    s->lengthFrames = s->longPart->source->ToOutputFrames(s->longPart->source->FileFrames());
    // Decoded ahead now, so the first play is heard at once.
    e.decoder.Fill(s.get());
    const Chunk* first = s->longPart->ring.Front();
    if (first == nullptr || (first->frames == 0 && first->last)) {
      const std::string& failure = s->longPart->source->failure();
      return Fail(BASS_ERROR_FILEFORM,
                  path + ": " + (failure.empty() ? "the file holds no sound" : failure));
    }
    try {
      e.decoder.Register(s.get());
    } catch (const std::exception& ex) {
      return Fail(BASS_ERROR_UNKNOWN, path + ": no thread can decode it (" + ex.what() + ")");
    }
  }
  e.streams.emplace(s->handle, s.get());
  return s.release()->handle;
}

}  // namespace

uint64_t NextMessageNumber() { return g_messageNumber.fetch_add(1, std::memory_order_relaxed); }

Stream::Stream() { g_streamObjects.fetch_add(1, std::memory_order_relaxed); }
Stream::~Stream() { g_streamObjects.fetch_sub(1, std::memory_order_relaxed); }
int StreamObjects() { return g_streamObjects.load(std::memory_order_relaxed); }

void SetError(int code, const std::string& reason) {
  t_errorCode = code;
  t_errorText = reason;
}

BOOL Fail(int code, const std::string& reason) {
  SetError(code, reason);
  return win32::FALSE;
}

void Collect(Engine& e) {
  e.mixer.FlushOverflow();
  Stream* s = nullptr;
  while (e.mixer.TakeDropped(s)) Release(e, s);
}

void Submit(Engine& e, const Command& command) {
  e.mixer.Send(command);
  if (e.output.load() == Output::kNone) e.mixer.ProcessCommands();
  Collect(e);
}

void FreeAllStreams(Engine& e) {
  for (const auto& [handle, s] : e.streams) e.mixer.Send(Command{CommandKind::kRelease, s});
  e.streams.clear();
  do {
    e.mixer.FlushOverflow();
    e.mixer.ProcessCommands();
    Collect(e);
  } while (e.mixer.Pending());
  e.mixer.Reset();
}

}  // namespace detail

using namespace detail;

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                              DWORD /*flags*/) {
  Engine& e = TheEngine();
  Collect(e);
  if (mem != win32::FALSE)
    return Fail(BASS_ERROR_ILLPARAM,
                "BASS_StreamCreateFile: streams from memory are not supported");
  if (file == nullptr) return Fail(BASS_ERROR_FILEOPEN, "BASS_StreamCreateFile: no file name");
  if (offset != 0 || length != 0) {
    return Fail(BASS_ERROR_ILLPARAM, "BASS_StreamCreateFile: only whole files are supported");
  }
  try {
    return CreateFromFile(e, win32::MapPath(static_cast<const char*>(file)));
  } catch (const std::bad_alloc&) {
    return Fail(BASS_ERROR_UNKNOWN, "BASS_StreamCreateFile: out of memory");
  } catch (const std::system_error& error) {
    return Fail(BASS_ERROR_UNKNOWN, std::string("BASS_StreamCreateFile: ") + error.what());
  }
}

BOOL BASS_StreamFree(HSTREAM handle) {
  Engine& e = TheEngine();
  Stream* s = Find(e, handle);
  if (s == nullptr) return win32::FALSE;
  e.streams.erase(handle);
  Submit(e, Command{CommandKind::kRelease, s});
  return win32::TRUE;
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
  constexpr QWORD kNone = static_cast<QWORD>(-1);
  Engine& e = TheEngine();
  const Stream* s = Find(e, handle);
  if (s == nullptr) return kNone;
  if (mode != BASS_POS_BYTE) {
    SetError(BASS_ERROR_ILLPARAM, "BASS_ChannelGetLength: lengths are in bytes only");
    return kNone;
  }
  return s->fileFrames * kBytesPerFrame;
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD position) {
  const Stream* s = Find(TheEngine(), handle);
  if (s == nullptr) return -1.0;
  return static_cast<double>(position) / (static_cast<double>(kBytesPerFrame) * s->rate);
}

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attribute, float value) {
  Engine& e = TheEngine();
  Stream* s = Find(e, handle);
  if (s == nullptr) return win32::FALSE;
  if (attribute != BASS_ATTRIB_VOL) {
    return Fail(BASS_ERROR_ILLPARAM, "BASS_ChannelSetAttribute: only the volume is supported");
  }
  const float volume = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
  Submit(e, Command{CommandKind::kVolume, s, 0, volume});
  return win32::TRUE;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
  Engine& e = TheEngine();
  Stream* s = Find(e, handle);
  if (s == nullptr) return win32::FALSE;
  if (e.output.load() == Output::kNone)
    return Fail(BASS_ERROR_INIT, "BASS_ChannelPlay: no output (BASS_Init)");
  Submit(e, Command{CommandKind::kPlay, s, 0, 0.0f, restart != win32::FALSE});
  return win32::TRUE;
}

BOOL BASS_ChannelStop(DWORD handle) {
  Engine& e = TheEngine();
  Stream* s = Find(e, handle);
  if (s == nullptr) return win32::FALSE;
  Submit(e, Command{CommandKind::kStop, s});
  return win32::TRUE;
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD position, DWORD mode) {
  Engine& e = TheEngine();
  Stream* s = Find(e, handle);
  if (s == nullptr) return win32::FALSE;
  if (mode != BASS_POS_BYTE) {
    return Fail(BASS_ERROR_ILLPARAM, "BASS_ChannelSetPosition: positions are in bytes only");
  }
  const uint64_t frame = position / kBytesPerFrame;
  if (frame > s->fileFrames) {
    return Fail(BASS_ERROR_ILLPARAM,
                "BASS_ChannelSetPosition: beyond the end of stream " + std::to_string(handle));
  }
  Submit(e, Command{CommandKind::kPosition, s, std::min(ToOutputFrames(frame, s->rate), s->lengthFrames)});
  return win32::TRUE;
}

int BASS_ErrorGetCode() { return t_errorCode; }

std::string ErrorText() { return t_errorText; }

std::vector<std::string> TakeMessages() {
  Engine& e = TheEngine();
  Collect(e);
  std::vector<std::pair<uint64_t, std::string>> all = e.decoder.TakeMessages();
  all.insert(all.end(), std::make_move_iterator(e.messages.begin()),
             std::make_move_iterator(e.messages.end()));
  e.messages.clear();
  MixerEvent event;
  while (e.mixer.TakeEvent(event)) {
    all.emplace_back(event.number, "BASS_ChannelPlay: stream " + std::to_string(event.handle) +
                                       " not started: " + std::to_string(kMaxPlaying) +
                                       " sounds are playing already");
  }
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> texts;
  texts.reserve(all.size());
  for (auto& [number, text] : all) texts.push_back(std::move(text));
  return texts;
}

namespace testing {

int LiveStreams() {
  Collect(TheEngine());
  return StreamObjects();
}

bool DecodedWhole(DWORD handle) {
  const Stream* s = Find(TheEngine(), handle);
  return s != nullptr && !s->longPart;
}

}  // namespace testing

}  // namespace platform::bass
