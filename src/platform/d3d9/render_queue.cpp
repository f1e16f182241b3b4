// Command batches and band workers of the fast paths. Bands are 16 rows high and handed out
// dynamically, so a band crowded with sprites does not hold up the others.
#include "platform/d3d9/render_queue.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::d3d9 {
namespace {

constexpr int kBandRows = 16;
// Commands worth handing to the workers while recording goes on.
constexpr size_t kBatchCommands = 512;
std::atomic<int> g_raster_threads{0};

}  // namespace

void SetRasterThreads(int count) { g_raster_threads = std::max(0, count); }

int RasterThreadCount() {
  const int n = g_raster_threads.load();
  if (n > 0) return n;
  return std::max(1u, std::thread::hardware_concurrency());
}

// ---- Pool ------------------------------------------------------------------------------------

BandThreadPool::BandThreadPool(int workers) {
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

BandThreadPool::~BandThreadPool() {
  Wait();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (auto& t : workers_) t.join();
}

void BandThreadPool::Drain() {
  for (;;) {
    const int i = next_.fetch_add(1);
    if (i >= count_.load()) return;
    task_(i);
    if (done_.fetch_add(1) + 1 == count_.load()) {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_.notify_all();
    }
  }
}

void BandThreadPool::WorkerLoop() {
  uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_;
    }
    Drain();
  }
}

void BandThreadPool::Start(int count, std::function<void(int)> task) {
  Wait();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The task and count are published before next_ reopens, so a worker that takes an index
    // sees the task it belongs to.
    task_ = std::move(task);
    done_ = 0;
    count_ = count;
    next_ = 0;
    ++generation_;
  }
  wake_.notify_all();
}

void BandThreadPool::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [&] { return Done(); });
}

void BandThreadPool::Run(int count, std::function<void(int)> task) {
  if (count <= 0) return;
  if (workers_.empty() || count == 1) {
    Wait();
    for (int i = 0; i < count; ++i) task(i);
    return;
  }
  Start(count, std::move(task));
  Drain();
  Wait();
}

// ---- Batches ---------------------------------------------------------------------------------

void RenderQueue::Batch::Clear() {
  states.clear();
  triangles.clear();
  lines.clear();
  fills.clear();
  coverages.clear();
  coverage_bytes.clear();
  commands.clear();
}

void RenderQueue::Batch::Bin(int height) {
  const int bands = (height + kBandRows - 1) / kBandRows;
  if (static_cast<int>(bins.size()) < bands) bins.resize(bands);
  for (int b = 0; b < bands; ++b) bins[b].clear();
  for (uint32_t i = 0; i < commands.size(); ++i) {
    const Command& c = commands[i];
    const int first = std::max(0, c.top / kBandRows);
    const int last = std::min(bands - 1, (c.bottom - 1) / kBandRows);
    for (int b = first; b <= last; ++b) bins[b].push_back(i);
  }
}

void RenderQueue::Batch::Execute(const Command& c, const Target& target,
                                 const PixelRect& band) const {
  switch (c.kind) {
    case Kind::kTriangle: {
      const DrawState& s = states[c.state];
      RasterTriangleFast(triangles[c.index], s, target, Intersect(s.clip, band));
      break;
    }
    case Kind::kLine: {
      const DrawState& s = states[c.state];
      RasterLine(lines[c.index], s, target, Intersect(s.clip, band));
      break;
    }
    case Kind::kFill: {
      const Fill& f = fills[c.index];
      FillRect(f.argb, target, Intersect(f.rect, band));
      break;
    }
    case Kind::kCoverage: {
      const Coverage& v = coverages[c.index];
      RasterCoverage(v.x, v.y, v.w, v.h, coverage_bytes.data() + v.offset, v.w, v.color, target,
                     Intersect(v.clip, band));
      break;
    }
  }
}

// ---- Queue -----------------------------------------------------------------------------------

RenderQueue::~RenderQueue() { WaitRunning(); }

uint32_t RenderQueue::AddState(DrawState state) {
  Batch& b = Recording();
  b.states.push_back(std::move(state));
  return static_cast<uint32_t>(b.states.size() - 1);
}

void RenderQueue::AddTriangle(const TriangleSetup& t, uint32_t state) {
  Batch& b = Recording();
  b.commands.push_back({Kind::kTriangle, state, static_cast<uint32_t>(b.triangles.size()),
                        t.bounds.top, t.bounds.bottom});
  b.triangles.push_back(t);
}

void RenderQueue::AddLine(const LineSetup& l, uint32_t state) {
  Batch& b = Recording();
  const PixelRect& clip = b.states[state].clip;
  const int top = static_cast<int>(
      std::max<double>(clip.top, std::floor(std::min(l.v0.y, l.v1.y)) - 1));
  const int bottom = static_cast<int>(
      std::min<double>(clip.bottom, std::ceil(std::max(l.v0.y, l.v1.y)) + 2));
  b.commands.push_back(
      {Kind::kLine, state, static_cast<uint32_t>(b.lines.size()), top, bottom});
  b.lines.push_back(l);
}

void RenderQueue::AddFill(const PixelRect& rect, uint32_t argb) {
  Batch& b = Recording();
  b.commands.push_back(
      {Kind::kFill, 0, static_cast<uint32_t>(b.fills.size()), rect.top, rect.bottom});
  b.fills.push_back({rect, argb});
}

void RenderQueue::AddCoverage(int x, int y, int w, int h, const uint8_t* coverage, int pitch,
                              D3DCOLOR color, const PixelRect& clip) {
  const PixelRect r = Intersect({x, y, x + w, y + h}, clip);
  if (r.Empty()) return;
  Batch& b = Recording();
  // Keep only the visible part: the caller's mask may be gone by the time the batch runs.
  Coverage c{r.left, r.top, r.right - r.left, r.bottom - r.top, b.coverage_bytes.size(), color,
             r};
  for (int py = r.top; py < r.bottom; ++py) {
    const uint8_t* row = coverage + static_cast<ptrdiff_t>(py - y) * pitch + (r.left - x);
    b.coverage_bytes.insert(b.coverage_bytes.end(), row, row + c.w);
  }
  b.commands.push_back(
      {Kind::kCoverage, 0, static_cast<uint32_t>(b.coverages.size()), r.top, r.bottom});
  b.coverages.push_back(c);
}

BandThreadPool& RenderQueue::Pool() {
  const int threads = RasterThreadCount();
  if (!pool_ || pool_threads_ != threads) {
    WaitRunning();
    pool_.reset();
    pool_ = std::make_unique<BandThreadPool>(threads - 1);
    pool_threads_ = threads;
  }
  return *pool_;
}

void RenderQueue::WaitRunning() {
  if (!running_) return;
  pool_->Join();  // the caller would only sleep: lend it to the remaining bands
  batches_[1 - current_].Clear();
  running_ = false;
}

void RenderQueue::Kick(const Target& target) {
  if (Recording().commands.size() < kBatchCommands) return;
  if (running_) {
    if (!pool_->Done()) return;  // keep recording; try again after the next draw
    WaitRunning();
  }
  BandThreadPool& pool = Pool();
  if (pool.Workers() == 0) return;  // one thread: everything runs at Flush
  Batch& b = Recording();
  b.Bin(target.height);
  const int bands = (target.height + kBandRows - 1) / kBandRows;
  pool.Start(bands, [&b, target](int band) {
    const PixelRect rect{0, band * kBandRows, target.width,
                         std::min(target.height, (band + 1) * kBandRows)};
    for (uint32_t i : b.bins[band]) b.Execute(b.commands[i], target, rect);
  });
  running_ = true;
  current_ = 1 - current_;
}

void RenderQueue::Flush(const Target& target) {
  WaitRunning();
  Batch& b = Recording();
  if (b.commands.empty()) return;
  b.Bin(target.height);
  const int bands = (target.height + kBandRows - 1) / kBandRows;
  Pool().Run(bands, [&b, target](int band) {
    const PixelRect rect{0, band * kBandRows, target.width,
                         std::min(target.height, (band + 1) * kBandRows)};
    for (uint32_t i : b.bins[band]) b.Execute(b.commands[i], target, rect);
  });
  b.Clear();
}

void RenderQueue::Discard() {
  WaitRunning();
  Recording().Clear();
}

}  // namespace platform::d3d9
