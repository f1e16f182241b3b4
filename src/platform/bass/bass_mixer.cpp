// The mixer: applies the main thread's commands and adds every playing stream, times its
// volume, into the output, clamped to -1..1.
//
// It runs where the output asks for frames (SDL's audio thread), so it never waits, never
// allocates and never writes the log: a long stream whose ring is empty is silent for that
// call, a refused play becomes an event for the main thread, and a freed stream goes back to
// the main thread through the dropped queue instead of being deleted here.
#include <algorithm>

#include "platform/bass/bass_internal.h"

namespace platform::bass::detail {

void Mixer::Send(const Command& command) {
  FlushOverflow();
  if (!overflow_.empty() || !commands_.Push(command)) overflow_.push_back(command);
}

void Mixer::FlushOverflow() {
  while (!overflow_.empty() && commands_.Push(overflow_.front())) overflow_.pop_front();
}

bool Mixer::Pending() const { return !overflow_.empty() || commands_.Front() != nullptr; }

void Mixer::ProcessCommands() {
  while (const Command* command = commands_.Front()) {
    if (command->kind == CommandKind::kRelease) {
      Stop(command->stream);
      // Once handed back the stream may be gone: it is not touched again. With the way back
      // full, the command waits for the next call.
      if (!dropped_.Push(command->stream)) return;
    } else {
      Apply(*command);
    }
    commands_.PopFront();
  }
}

void Mixer::Apply(const Command& command) {
  Stream* s = command.stream;
  switch (command.kind) {
    case CommandKind::kPlay: Play(s, command.flag); break;
    case CommandKind::kStop: Stop(s); break;
    case CommandKind::kVolume: s->volume = command.volume; break;
    case CommandKind::kPosition: Seek(s, command.frame); break;
    case CommandKind::kPause: paused_ = command.flag; break;
    case CommandKind::kRelease: break;
  }
}

void Mixer::Play(Stream* s, bool restart) {
  if (restart) Seek(s, 0);
  if (s->activeIndex >= 0 || s->atEnd) return;
  if (playingCount_ == kMaxPlaying) {
    events_.Push(MixerEvent{NextMessageNumber(), s->handle});
    return;
  }
  s->activeIndex = playingCount_;
  playing_[playingCount_++] = s;
  s->playing = true;
}

void Mixer::Stop(Stream* s) {
  s->playing = false;
  if (s->activeIndex < 0) return;
  Stream* last = playing_[--playingCount_];
  playing_[s->activeIndex] = last;
  last->activeIndex = s->activeIndex;
  s->activeIndex = -1;
}

void Mixer::Seek(Stream* s, uint64_t frame) {
  if (!s->longPart) {
    s->position = std::min<uint64_t>(frame, s->pcm.size() / kOutputChannels);
    return;
  }
  // The ring already starts where the stream stands; anything else must be decoded anew.
  if (frame == s->position) return;
  LongPart& part = *s->longPart;
  s->position = frame;
  s->atEnd = false;
  ++s->generation;
  part.requestedFrame.store(frame, std::memory_order_relaxed);
  part.requestedGeneration.store(s->generation, std::memory_order_release);
  part.ring.DropAll();
  s->chunkOffset = 0;
  decoder_.Wake();
}

bool Mixer::MixStream(Stream* s, float* out, std::size_t frames, bool& wakeDecoder) {
  const float volume = s->volume;
  if (!s->longPart) {
    const uint64_t total = s->pcm.size() / kOutputChannels;
    if (s->position >= total) return false;
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(frames, total - s->position));
    const float* in = s->pcm.data() + s->position * kOutputChannels;
    for (std::size_t i = 0; i < n * kOutputChannels; ++i) out[i] += in[i] * volume;
    s->position += n;
    return s->position < total;
  }
  ChunkRing& ring = s->longPart->ring;
  std::size_t done = 0;
  while (done < frames) {
    const Chunk* chunk = ring.Front();
    if (chunk == nullptr) break;  // the decoder is behind: silence now, the rest later
    if (chunk->generation != s->generation) {
      ring.PopFront();
      s->chunkOffset = 0;
      wakeDecoder = true;
      continue;
    }
    const std::size_t n = std::min<std::size_t>(chunk->frames - s->chunkOffset, frames - done);
    const float* in = chunk->samples + static_cast<std::size_t>(s->chunkOffset) * kOutputChannels;
    float* to = out + done * kOutputChannels;
    for (std::size_t i = 0; i < n * kOutputChannels; ++i) to[i] += in[i] * volume;
    s->chunkOffset += static_cast<uint32_t>(n);
    s->position += n;
    done += n;
    if (s->chunkOffset == chunk->frames) {
      const bool last = chunk->last;
      ring.PopFront();
      s->chunkOffset = 0;
      wakeDecoder = true;
      if (last) {
        s->atEnd = true;
        return false;
      }
    }
  }
  return true;
}

void Mixer::Mix(float* out, std::size_t frames) {
  std::fill(out, out + frames * kOutputChannels, 0.0f);
  if (paused_) return;
  bool wakeDecoder = false;
  for (int i = 0; i < playingCount_;) {
    Stream* s = playing_[i];
    if (MixStream(s, out, frames, wakeDecoder)) {
      ++i;
    } else {
      Stop(s);  // the last playing stream moves into slot i
    }
  }
  for (std::size_t i = 0; i < frames * kOutputChannels; ++i) {
    float& x = out[i];
    if (x > 1.0f) {
      x = 1.0f;
    } else if (x < -1.0f) {
      x = -1.0f;
    } else if (x != x) {
      x = 0.0f;  // a float file may hold NaN
    }
  }
  if (wakeDecoder) decoder_.Wake();
}

void Mixer::Reset() {
  for (int i = 0; i < playingCount_; ++i) {
    playing_[i]->activeIndex = -1;
    playing_[i]->playing = false;
  }
  playingCount_ = 0;
  paused_ = false;
}

}  // namespace platform::bass::detail
