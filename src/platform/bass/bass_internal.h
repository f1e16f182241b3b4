// The sound stand-in's inner parts, shared by its files and by nothing else.
//
// Three parties touch a stream:
//   - the main thread (every public call) owns the handle table and a stream's life;
//   - the mixer (SDL's audio thread, or whoever stands for it: the pull seam, or the main thread
//     itself while there is no output) owns what playback changes: position, volume, playing;
//   - the decoder (its own thread, or the pull seam) fills a long stream's chunk ring.
// They meet only through single-producer single-consumer queues and atomics, except that the
// main thread and the decoder share one mutex over the decoder's list of long streams, which the
// mixer never takes. A stream is deleted by the main thread after the mixer has handed it back
// (the dropped queue) and after it has left the decoder's list, so nobody follows a freed one.
#pragma once

#include <SDL.h>
#include <sndfile.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/bass/bass.h"

namespace platform::bass::detail {

constexpr int kOutputRate = 44100;
constexpr int kOutputChannels = 2;
constexpr QWORD kBytesPerFrame = 8;  // one stereo frame of 32-bit floats
constexpr std::size_t kMixFrames = 1024;
// Files that decode to no more than this are decoded whole when their stream is made.
constexpr double kWholeDecodeSeconds = 5.0;

// Frames at a file's rate in output frames, rounded (and kept far from overflow).
uint64_t ToOutputFrames(uint64_t fileFrames, int fileRate);
// A long stream's ring: this many chunks of this many output frames (about 0.75 s ahead).
constexpr std::size_t kChunkFrames = 4096;
constexpr std::size_t kRingChunks = 8;

// Every queued message takes a number from here, so the messages of the mixer and of the
// decoder come out in the order they were made.
uint64_t NextMessageNumber();

// A fixed-size lock-free queue for one producer thread and one consumer thread. Elements are
// copied in and out; nothing allocates after construction.
template <typename T, std::size_t N>
class SpscQueue {
  static_assert((N & (N - 1)) == 0, "capacity must be a power of two");

public:
  bool Push(const T& value) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == N) return false;
    items_[tail & (N - 1)] = value;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }
  // The oldest element, left in place; nullptr when empty. Consumer only.
  const T* Front() const {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return nullptr;
    return &items_[head & (N - 1)];
  }
  void PopFront() {
    head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }
  bool Pop(T& value) {
    const T* front = Front();
    if (front == nullptr) return false;
    value = *front;
    PopFront();
    return true;
  }

private:
  std::array<T, N> items_{};
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

// Decoded output frames of a long stream, tagged with the generation of the seek they follow:
// the mixer skips chunks of an older generation, so what was decoded before a restart is never
// heard after it.
struct Chunk {
  uint32_t generation = 0;
  uint32_t frames = 0;
  bool last = false;  // the file ends after these frames
  float samples[kChunkFrames * kOutputChannels];
};

// The ring of chunks between the decoder (producer) and the mixer (consumer).
class ChunkRing {
public:
  Chunk* FreeSlot() {  // producer: the chunk to fill next, nullptr when the ring is full
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == kRingChunks) return nullptr;
    return &chunks_[tail % kRingChunks];
  }
  void Publish() {
    tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }
  const Chunk* Front() const {  // consumer
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return nullptr;
    return &chunks_[head % kRingChunks];
  }
  void PopFront() {
    head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }
  // Consumer: gives up every chunk published so far (all of them are stale after a seek).
  void DropAll() { head_.store(tail_.load(std::memory_order_acquire), std::memory_order_release); }

private:
  std::array<Chunk, kRingChunks> chunks_;
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

// An open sound file and its conversion to the output format. Owned by whoever decodes: the
// main thread while the stream is being made, the decoder afterwards.
class Source {
public:
  ~Source();
  // Opens and keeps the file; false with a reason (and an error code) when it cannot be decoded.
  bool Open(const std::string& path, int& errorCode, std::string& reason);
  // Decodes up to maxFrames output frames into out; fewer only at the end of the data (ended()
  // is then true). A read error ends the data too and is kept in failure().
  std::size_t Produce(float* out, std::size_t maxFrames);
  // Goes on from this output frame; false (ended, with a failure) when the file cannot seek.
  bool SeekTo(uint64_t outputFrame);

  // The frames the file holds: its header's count where the last frame it names can be read,
  // else (a file cut short, an Ogg file that does not say) what it decodes to, counted at Open.
  uint64_t FileFrames() const { return static_cast<uint64_t>(info_.frames); }
  int FileRate() const { return info_.samplerate; }
  // The file's frames in output frames, rounded.
  uint64_t ToOutputFrames(uint64_t fileFrames) const { return detail::ToOutputFrames(fileFrames, info_.samplerate); }
  bool ended() const { return ended_; }
  const std::string& failure() const { return failure_; }
  bool TakeNewFailure() {  // true once for each failure, for the message queue
    const bool fresh = failureNew_;
    failureNew_ = false;
    return fresh;
  }

private:
  bool Reopen(std::string& reason);
  void Fail(const std::string& reason);
  // Sets info_.frames to what the file holds and goes back to its start; false when it cannot.
  bool CountFrames(std::string& reason);

  int fd_ = -1;
  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  SDL_AudioStream* convert_ = nullptr;
  int convertChannels_ = 0;  // channels handed to the converter: the file's, or its first two
  std::vector<float> readBuffer_;
  std::vector<float> pickBuffer_;
  uint64_t startFrame_ = 0;   // file frame of the last seek
  uint64_t startOutput_ = 0;  // output frame of the last seek
  uint64_t framesRead_ = 0;   // file frames read since then
  uint64_t produced_ = 0;     // output frames handed out since then
  bool fileDone_ = false;     // no more file frames: the converter is being drained
  bool ended_ = false;
  std::string failure_;
  bool failureNew_ = false;
};

// What belongs to a long stream's decoding.
struct LongPart {
  std::unique_ptr<Source> source;  // decoder side
  ChunkRing ring;                  // decoder fills, mixer empties
  uint32_t decodedGeneration = 0;  // decoder side: the generation the ring is being filled for
  bool lastSent = false;           // decoder side: the chunk that ends the file is in the ring
  // Written by the mixer, read by the decoder: where to go on from, for which generation.
  std::atomic<uint64_t> requestedFrame{0};
  std::atomic<uint32_t> requestedGeneration{0};
};

struct Stream {
  Stream();
  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  HSTREAM handle = 0;
  std::string path;                    // for messages only; the file itself stays open in longPart
  // Lengths and byte positions count frames of stereo floats at the file's own rate, as BASS
  // counts them in a stream's own format; the mixer counts output frames.
  int rate = kOutputRate;              // the file's rate
  uint64_t fileFrames = 0;             // the length that BASS_ChannelGetLength gives, in frames
  uint64_t lengthFrames = 0;           // the same length in output frames
  std::vector<float> pcm;              // a short stream: all of it, interleaved stereo
  std::unique_ptr<LongPart> longPart;  // a long stream

  // Mixer side only.
  uint64_t position = 0;  // output frame to play next
  float volume = 1.0f;
  bool playing = false;
  int activeIndex = -1;      // index in the mixer's playing list, -1 when not there
  uint32_t generation = 0;   // long streams: chunks of other generations are stale
  uint32_t chunkOffset = 0;  // long streams: frames already mixed from the front chunk
  bool atEnd = false;        // long streams: the chunk that ends the file has been mixed
};

// Streams that exist in memory (for testing::LiveStreams).
int StreamObjects();

enum class CommandKind : uint8_t { kPlay, kStop, kVolume, kPosition, kPause, kRelease };

struct Command {
  CommandKind kind = CommandKind::kStop;
  Stream* stream = nullptr;
  uint64_t frame = 0;   // kPosition
  float volume = 0.0f;  // kVolume
  bool flag = false;    // kPlay: restart; kPause: paused
};

// What the mixer has to tell the main thread (it formats the text there: the mixer never
// allocates).
struct MixerEvent {
  uint64_t number = 0;
  HSTREAM handle = 0;
};

class Decoder;

class Mixer {
public:
  explicit Mixer(Decoder& decoder) : decoder_(decoder) {}

  // Main thread: hands a command over; never blocks (a full queue spills into a list that the
  // next call flushes).
  void Send(const Command& command);
  void FlushOverflow();
  bool Pending() const;  // commands not yet taken (meaningful while nobody else mixes)
  bool TakeDropped(Stream*& stream) { return dropped_.Pop(stream); }
  bool TakeEvent(MixerEvent& event) { return events_.Pop(event); }

  // The mixing side: takes the commands sent so far, then mixes frames of interleaved stereo.
  void ProcessCommands();
  void Mix(float* out, std::size_t frames);
  // Main thread, while nobody mixes: forgets the playing list and the pause.
  void Reset();

private:
  void Apply(const Command& command);
  void Play(Stream* s, bool restart);
  void Stop(Stream* s);
  void Seek(Stream* s, uint64_t frame);
  // Adds one stream into out; false when it has reached its end.
  bool MixStream(Stream* s, float* out, std::size_t frames, bool& wakeDecoder);

  Decoder& decoder_;
  SpscQueue<Command, 8192> commands_;
  std::deque<Command> overflow_;  // main thread only
  SpscQueue<Stream*, 8192> dropped_;
  SpscQueue<MixerEvent, 256> events_;
  std::array<Stream*, kMaxPlaying> playing_{};
  int playingCount_ = 0;
  bool paused_ = false;
};

// Keeps the rings of long streams filled, on a thread of its own that the mixer wakes.
class Decoder {
public:
  ~Decoder();
  void Register(Stream* s);    // main thread; starts the thread on first use
  void Unregister(Stream* s);  // main thread; waits for a pass that is running
  void Wake();                 // any thread; never blocks
  void RunPass();              // one pass on the calling thread (the pull seam)
  void StopThread();
  // Fills one stream's ring as far as it has room; the caller holds the list (or owns the
  // stream alone, while it is being made).
  void Fill(Stream* s);
  std::vector<std::pair<uint64_t, std::string>> TakeMessages();

private:
  void Loop();
  void PassLocked();

  std::mutex mutex_;  // the list, and the decoding of the streams in it
  std::vector<Stream*> streams_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> pending_{false};
  std::counting_semaphore<> wake_{0};
  std::mutex messagesMutex_;
  std::vector<std::pair<uint64_t, std::string>> messages_;
};

enum class Output { kNone, kDevice, kManual };

// Everything the stand-in keeps, in one object that lives until the process ends.
struct Engine {
  Engine() : mixer(decoder) {}
  ~Engine();

  Decoder decoder;
  Mixer mixer;

  // Main thread only, except output (read by the pull seam).
  std::unordered_map<HSTREAM, Stream*> streams;
  HSTREAM lastHandle = 0;
  std::atomic<Output> output{Output::kNone};
  bool manualWanted = false;
  SDL_AudioDeviceID device = 0;
  bool audio_up = false;  // SDL's audio subsystem is initialised for this engine
  std::size_t deviceFrames = kMixFrames;
  std::vector<std::pair<uint64_t, std::string>> messages;  // made on the main thread
  int pauseCalls = 0;
  int startCalls = 0;
};

Engine& TheEngine();

// Main thread: hands a command to the mixer (running it at once while nobody mixes) and
// releases what the mixer has dropped.
void Submit(Engine& e, const Command& command);
void Collect(Engine& e);
// Main thread, with no output running: frees every stream.
void FreeAllStreams(Engine& e);

// The error of the calling thread's last failed call.
BOOL Fail(int code, const std::string& reason);
void SetError(int code, const std::string& reason);

}  // namespace platform::bass::detail
