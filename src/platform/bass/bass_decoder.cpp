// Decoding: sound files through libsndfile, converted to the output format (44100 Hz, stereo,
// float) by SDL's audio stream, and the decoder thread that keeps long streams' rings filled.
//
// The converter holds back the last frames of its input until it sees what follows, so the end
// of a file is followed by a stretch of silence before the flush; the output is then cut to the
// file's length at the output rate. That keeps a stream's length the file's own, whatever its
// rate. The file stays open for as long as its stream lives (it is never opened again by name).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/bass/bass_internal.h"

namespace platform::bass::detail {
namespace {

constexpr std::size_t kReadFrames = 1024;
constexpr int kMaxRate = 1'000'000;
// The converter takes at most this many channels; of a file with more, the first two are kept.
constexpr int kMaxConvertChannels = 8;

}  // namespace

Source::~Source() {
  if (convert_ != nullptr) SDL_FreeAudioStream(convert_);
  if (file_ != nullptr) sf_close(file_);
  if (fd_ >= 0) close(fd_);
}

bool Source::Open(const std::string& path, int& errorCode, std::string& reason) {
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd_ < 0 || fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    errorCode = BASS_ERROR_FILEOPEN;
    reason = "cannot open " + path + ": " + (fd_ < 0 ? std::strerror(errno) : "not a file");
    return false;
  }
  errorCode = BASS_ERROR_FILEFORM;
  file_ = sf_open_fd(fd_, SFM_READ, &info_, SF_FALSE);
  if (file_ == nullptr) {
    reason = path + ": " + sf_strerror(nullptr);
    return false;
  }
  if (info_.channels <= 0 || info_.samplerate <= 0 || info_.samplerate > kMaxRate) {
    reason = path + ": unsupported channels or sample rate";
    return false;
  }
  readBuffer_.resize(kReadFrames * static_cast<std::size_t>(info_.channels));
  if (!CountFrames(reason)) {
    reason = path + ": " + reason;
    return false;
  }
  if (info_.frames <= 0) {
    reason = path + ": the file holds no sound";
    return false;
  }
  convertChannels_ = std::min(info_.channels, kMaxConvertChannels);
  convert_ = SDL_NewAudioStream(AUDIO_F32SYS, static_cast<Uint8>(convertChannels_),
                                info_.samplerate, AUDIO_F32SYS, kOutputChannels, kOutputRate);
  if (convert_ == nullptr && convertChannels_ > 2) {
    convertChannels_ = 2;
    convert_ = SDL_NewAudioStream(AUDIO_F32SYS, 2, info_.samplerate, AUDIO_F32SYS, kOutputChannels,
                                  kOutputRate);
  }
  if (convert_ == nullptr) {
    reason = path + ": cannot convert its sound: " + SDL_GetError();
    return false;
  }
  if (convertChannels_ != info_.channels) pickBuffer_.resize(kReadFrames * convertChannels_);
  return true;
}

bool Source::CountFrames(std::string& reason) {
  // A header's count is believed when the frames it names as the last are there; a file cut
  // short (FLAC, MP3) cannot give them, and an Ogg file cut short says "unknown" (the largest
  // count). The last block of frames is read rather than the last frame alone: libFLAC finds a
  // frame inside the file's short last block only after a long search (80 ms for 3 minutes).
  const sf_count_t said = info_.frames;
  const sf_count_t tail = std::min<sf_count_t>(said, static_cast<sf_count_t>(kReadFrames));
  bool believed = said > 0 && said < SF_COUNT_MAX && info_.seekable != 0 &&
                  sf_seek(file_, said - tail, SEEK_SET) == said - tail;
  for (sf_count_t got = 0; believed && got < tail;) {
    const sf_count_t n = sf_readf_float(file_, readBuffer_.data(), tail - got);
    believed = n > 0;
    got += n;
  }
  if (!believed) {
    // Counted once, by decoding it all: what plays is what the file really decodes to.
    if (!Reopen(reason)) return false;
    sf_count_t counted = 0;
    for (sf_count_t n; (n = sf_readf_float(file_, readBuffer_.data(), kReadFrames)) > 0;) counted += n;
    info_.frames = counted;
  }
  if (sf_seek(file_, 0, SEEK_SET) == 0) return true;
  return Reopen(reason);
}

uint64_t ToOutputFrames(uint64_t fileFrames, int fileRate) {
  const long double frames = std::nearbyint(static_cast<long double>(fileFrames) * kOutputRate / fileRate);
  constexpr long double kMax = static_cast<long double>(std::numeric_limits<uint64_t>::max() / 16);
  return frames >= kMax ? static_cast<uint64_t>(kMax) : static_cast<uint64_t>(frames);
}

void Source::Fail(const std::string& reason) {
  failure_ = reason;
  failureNew_ = true;
}

std::size_t Source::Produce(float* out, std::size_t maxFrames) {
  std::size_t got = 0;
  while (got < maxFrames && !ended_) {
    uint64_t allowed = std::numeric_limits<uint64_t>::max();
    if (fileDone_) {
      const uint64_t total = ToOutputFrames(startFrame_ + framesRead_);
      allowed = total > startOutput_ ? total - startOutput_ : 0;
    }
    if (produced_ >= allowed) {
      ended_ = true;
      break;
    }
    const int available = SDL_AudioStreamAvailable(convert_);
    if (available >= static_cast<int>(kBytesPerFrame)) {
      const uint64_t want =
          std::min<uint64_t>({maxFrames - got, static_cast<uint64_t>(available) / kBytesPerFrame,
                              allowed - produced_});
      const int bytes = SDL_AudioStreamGet(convert_, out + got * kOutputChannels,
                                           static_cast<int>(want * kBytesPerFrame));
      if (bytes <= 0) {
        if (bytes < 0) Fail(std::string("conversion failed: ") + SDL_GetError());
        ended_ = true;
        break;
      }
      got += static_cast<std::size_t>(bytes) / kBytesPerFrame;
      produced_ += static_cast<std::size_t>(bytes) / kBytesPerFrame;
      continue;
    }
    if (fileDone_) {
      ended_ = true;
      break;
    }
    const sf_count_t n = sf_readf_float(file_, readBuffer_.data(), kReadFrames);
    if (n > 0) {
      framesRead_ += static_cast<uint64_t>(n);
      const float* data = readBuffer_.data();
      if (!pickBuffer_.empty()) {
        for (sf_count_t f = 0; f < n; ++f) {
          for (int c = 0; c < convertChannels_; ++c) {
            pickBuffer_[f * convertChannels_ + c] = readBuffer_[f * info_.channels + c];
          }
        }
        data = pickBuffer_.data();
      }
      if (SDL_AudioStreamPut(convert_, data, static_cast<int>(n * convertChannels_ * 4)) != 0) {
        Fail(std::string("conversion failed: ") + SDL_GetError());
        ended_ = true;
      }
      continue;
    }
    if (sf_error(file_) != SF_ERR_NO_ERROR) Fail(sf_strerror(file_));
    // Silence after the end lets the converter give out the file's last frames.
    std::fill(readBuffer_.begin(), readBuffer_.end(), 0.0f);
    const int padFrames = info_.samplerate / 16 + 4 * static_cast<int>(kReadFrames);
    for (int padded = 0; padded < padFrames; padded += static_cast<int>(kReadFrames)) {
      SDL_AudioStreamPut(convert_, readBuffer_.data(),
                         static_cast<int>(kReadFrames * convertChannels_ * 4));
    }
    SDL_AudioStreamFlush(convert_);
    fileDone_ = true;
  }
  return got;
}

bool Source::Reopen(std::string& reason) {
  if (file_ != nullptr) sf_close(file_);
  file_ = nullptr;
  SF_INFO info{};
  if (lseek(fd_, 0, SEEK_SET) != 0 ||
      (file_ = sf_open_fd(fd_, SFM_READ, &info, SF_FALSE)) == nullptr) {
    reason = "cannot read the file again from its start";
    return false;
  }
  if (info.channels != info_.channels || info.samplerate != info_.samplerate) {
    reason = "the file changed while it was open";
    return false;
  }
  return true;
}

bool Source::SeekTo(uint64_t outputFrame) {
  SDL_AudioStreamClear(convert_);
  startOutput_ = outputFrame;
  startFrame_ = std::min<uint64_t>(
      static_cast<uint64_t>(
          std::nearbyint(static_cast<long double>(outputFrame) * info_.samplerate / kOutputRate)),
      FileFrames());
  framesRead_ = produced_ = 0;
  fileDone_ = ended_ = false;
  if (file_ != nullptr && sf_seek(file_, static_cast<sf_count_t>(startFrame_), SEEK_SET) >= 0) {
    return true;
  }
  // A file that cannot seek is read again from its start, up to the frame wanted.
  std::string reason;
  bool ok = Reopen(reason);
  for (uint64_t skipped = 0; ok && skipped < startFrame_;) {
    const sf_count_t n = sf_readf_float(
        file_, readBuffer_.data(),
        static_cast<sf_count_t>(std::min<uint64_t>(kReadFrames, startFrame_ - skipped)));
    if (n <= 0) break;  // shorter than it said: the stream ends at once
    skipped += static_cast<uint64_t>(n);
  }
  if (ok) return true;
  Fail(reason);
  ended_ = true;
  return false;
}

Decoder::~Decoder() { StopThread(); }

void Decoder::Register(Stream* s) {
  std::lock_guard lock(mutex_);
  if (!thread_.joinable()) {
    stop_ = false;
    thread_ = std::thread(&Decoder::Loop, this);
  }
  streams_.push_back(s);
}

void Decoder::Unregister(Stream* s) {
  std::lock_guard lock(mutex_);
  std::erase(streams_, s);
}

void Decoder::Wake() {
  if (!pending_.exchange(true, std::memory_order_acq_rel)) wake_.release();
}

void Decoder::RunPass() {
  std::lock_guard lock(mutex_);
  PassLocked();
}

void Decoder::StopThread() {
  if (!thread_.joinable()) return;
  stop_ = true;
  wake_.release();
  thread_.join();
}

void Decoder::Loop() {
  for (;;) {
    wake_.acquire();
    pending_.store(false, std::memory_order_release);
    if (stop_) return;
    std::lock_guard lock(mutex_);
    PassLocked();
  }
}

void Decoder::PassLocked() {
  for (Stream* s : streams_) Fill(s);
}

void Decoder::Fill(Stream* s) {
  LongPart& part = *s->longPart;
  Source& source = *part.source;
  for (;;) {
    // Asked again before each chunk: a seek that arrives meanwhile leaves at most one stale
    // chunk behind, never a ring full of them.
    const uint32_t wanted = part.requestedGeneration.load(std::memory_order_acquire);
    if (wanted != part.decodedGeneration) {
      source.SeekTo(part.requestedFrame.load(std::memory_order_relaxed));
      part.decodedGeneration = wanted;
      part.lastSent = false;
    }
    if (part.lastSent) break;
    Chunk* chunk = part.ring.FreeSlot();
    if (chunk == nullptr) break;
    chunk->frames =
        static_cast<uint32_t>(source.ended() ? 0 : source.Produce(chunk->samples, kChunkFrames));
    chunk->generation = part.decodedGeneration;
    chunk->last = source.ended();
    part.ring.Publish();
    part.lastSent = chunk->last;
  }
  if (source.TakeNewFailure()) {
    std::lock_guard lock(messagesMutex_);
    messages_.emplace_back(NextMessageNumber(), "BASS: stream " + std::to_string(s->handle) + " (" +
                                                    s->path + ") ends early: " + source.failure());
  }
}

std::vector<std::pair<uint64_t, std::string>> Decoder::TakeMessages() {
  std::lock_guard lock(messagesMutex_);
  return std::exchange(messages_, {});
}

}  // namespace platform::bass::detail
