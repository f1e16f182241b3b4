// The fast paths' command list: draws are set up at once on the calling thread and recorded;
// Flush rasterises them on worker threads, each owning horizontal bands of the target and
// running that band's commands in submission order, so the picture equals the one-by-one result.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/d3d9/pipeline.h"

namespace platform::d3d9 {

// Runs task(i) for i in [0, count) on the pool's threads and the caller; returns when all ran.
class BandThreadPool {
 public:
  explicit BandThreadPool(int threads);
  ~BandThreadPool();
  int Threads() const { return static_cast<int>(workers_.size()) + 1; }
  void Run(int count, const std::function<void(int)>& task);

 private:
  void WorkerLoop();
  void Drain();

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  const std::function<void(int)>* task_ = nullptr;
  std::atomic<int> count_{0};
  std::atomic<int> next_{0};
  int busy_ = 0;
  uint64_t generation_ = 0;
  bool stop_ = false;
};

class RenderQueue {
 public:
  uint32_t AddState(DrawState state);
  void AddTriangle(const TriangleSetup& t, uint32_t state);
  void AddLine(const LineSetup& l, uint32_t state);
  void AddFill(const PixelRect& rect, uint32_t argb);
  void AddCoverage(int x, int y, int w, int h, const uint8_t* coverage, int pitch,
                   D3DCOLOR color, const PixelRect& clip);
  size_t Pending() const { return commands_.size(); }
  // Executes and forgets every recorded command.
  void Flush(const Target& target);
  // Forgets every recorded command without drawing (device reset or release).
  void Discard();

 private:
  enum class Kind : uint8_t { kTriangle, kLine, kFill, kCoverage };
  struct Command {
    Kind kind;
    uint32_t state;  // DrawState index (triangles, lines)
    uint32_t index;  // into the vector of its kind
    int top, bottom;  // rows it may touch
  };
  struct Fill {
    PixelRect rect;
    uint32_t argb;
  };
  struct Coverage {
    int x, y, w, h;
    size_t offset;  // into coverage_bytes_
    D3DCOLOR color;
    PixelRect clip;
  };

  void Execute(const Command& c, const Target& target, const PixelRect& band) const;

  std::vector<DrawState> states_;
  std::vector<TriangleSetup> triangles_;
  std::vector<LineSetup> lines_;
  std::vector<Fill> fills_;
  std::vector<Coverage> coverages_;
  std::vector<uint8_t> coverage_bytes_;
  std::vector<Command> commands_;
  std::vector<std::vector<uint32_t>> bins_;
  std::unique_ptr<BandThreadPool> pool_;
  int pool_threads_ = -1;
};

// Thread count for new flushes (0: one per hardware thread).
int RasterThreadCount();

}  // namespace platform::d3d9
