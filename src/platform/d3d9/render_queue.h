// The fast paths' command list: draws are set up at once on the calling thread and recorded;
// the recorded commands are rasterised on worker threads, each owning horizontal bands of the
// target and running that band's commands in submission order, so the picture equals the
// one-by-one result. A band leaves out what a later draw of its batch overwrites without reading
// it (a clear under an opaque background), which changes no pixel.
//
// Recording and rasterising overlap: once a batch is large enough it is handed to the workers
// while the caller records the next one; batches run strictly one after the other. Flush
// finishes everything (Present, reads of the target, texture changes, the reference switch).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/d3d9/pipeline.h"

namespace platform::d3d9 {

// Runs task(i) for i in [0, count) on its worker threads; Run lets the caller help and waits,
// Start returns at once (one batch at a time: Wait before the next Start).
class BandThreadPool {
 public:
  explicit BandThreadPool(int workers);
  ~BandThreadPool();
  int Workers() const { return static_cast<int>(workers_.size()); }
  void Run(int count, std::function<void(int)> task);
  void Start(int count, std::function<void(int)> task);
  bool Done() const { return done_.load() >= CountOf(ticket_.load()); }
  void Wait();
  // Takes part in the batch started last, then waits for it.
  void Join() {
    Drain();
    Wait();
  }

 private:
  void WorkerLoop();
  void Drain();
  // The batch's generation, task count and next unclaimed index in one word, so that a worker
  // late from one batch can never claim an index of the next.
  static uint32_t GenerationOf(uint64_t t) { return static_cast<uint32_t>(t >> 40); }
  static int CountOf(uint64_t t) { return static_cast<int>((t >> 20) & 0xFFFFF); }
  static int IndexOf(uint64_t t) { return static_cast<int>(t & 0xFFFFF); }

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  std::function<void(int)> task_;
  std::atomic<uint64_t> ticket_{0};
  std::atomic<int> done_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> waiting_{false};  // the caller sleeps in Wait
  int sleeping_ = 0;                  // workers asleep (under mutex_)
};

class RenderQueue {
 public:
  ~RenderQueue();
  uint32_t AddState(DrawState state);
  // The state recorded last in the batch being recorded, if any, and its index.
  const DrawState* LastState() const {
    const Batch& b = batches_[current_];
    return b.states.empty() ? nullptr : &b.states.back();
  }
  uint32_t LastStateIndex() const {
    return static_cast<uint32_t>(batches_[current_].states.size() - 1);
  }
  void AddTriangle(const TriangleSetup& t, uint32_t state);
  void AddLine(const LineSetup& l, uint32_t state);
  void AddFill(const PixelRect& rect, uint32_t argb);
  void AddCoverage(int x, int y, int w, int h, const uint8_t* coverage, int pitch,
                   D3DCOLOR color, const PixelRect& clip);
  size_t Pending() const { return batches_[current_].commands.size(); }
  // Hands the recorded batch to the workers when it is large and they are free.
  void Kick(const Target& target);
  // Executes and forgets every recorded command.
  void Flush(const Target& target);
  // Forgets every recorded command without drawing (device reset or release).
  void Discard();
  // Runs work(first, last) over the rows [0, rows) in bands on the workers and waits for all
  // of them; for whole-frame passes such as the present's copy. Call after Flush.
  void ForRowBands(int rows, const std::function<void(int, int)>& work);

 private:
  enum class Kind : uint8_t { kTriangle, kLine, kFill, kCoverage };
  struct Command {
    Kind kind;
    uint32_t state;   // DrawState index (triangles, lines)
    uint32_t index;   // into the vector of its kind
    int top, bottom;  // rows it may touch
  };
  struct Fill {
    PixelRect rect;
    uint32_t argb;
  };
  struct Coverage {
    int x, y, w, h;
    size_t offset;  // into coverage_bytes
    D3DCOLOR color;
    PixelRect clip;
  };
  struct Batch {
    std::vector<DrawState> states;
    std::vector<TriangleSetup> triangles;
    std::vector<LineSetup> lines;
    std::vector<Fill> fills;
    std::vector<Coverage> coverages;
    std::vector<uint8_t> coverage_bytes;
    std::vector<Command> commands;
    std::vector<std::vector<uint32_t>> bins;
    void Clear();
    void Bin(int height);
    void Execute(const Command& c, const Target& target, const PixelRect& band) const;
    // Runs a band's commands, from the last one that overwrites the whole band unread.
    void RunBand(int band, const Target& target) const;
    // Whether command k of a band (with the one before it, for a quad) overwrites columns
    // [left, right) of every row of the band unread, and the first of them.
    bool CoversBand(size_t k, const std::vector<uint32_t>& bin, const PixelRect& band,
                    size_t* from, int* left, int* right) const;
  };

  Batch& Recording() { return batches_[current_]; }
  BandThreadPool& Pool();
  void WaitRunning();

  Batch batches_[2];
  int current_ = 0;
  bool running_ = false;  // the other batch is with the workers
  std::unique_ptr<BandThreadPool> pool_;
  int pool_threads_ = -1;
};

// Thread count for rasterisation (0 set: one per hardware thread).
int RasterThreadCount();

}  // namespace platform::d3d9
