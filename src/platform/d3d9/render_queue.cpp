// Command list and band workers of the fast paths. Bands are 16 rows high and handed out
// dynamically, so a band crowded with sprites does not hold up the others.
#include "platform/d3d9/render_queue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace platform::d3d9 {
namespace {

constexpr int kBandRows = 16;
std::atomic<int> g_raster_threads{0};

}  // namespace

void SetRasterThreads(int count) { g_raster_threads = std::max(0, count); }

int RasterThreadCount() {
  const int n = g_raster_threads.load();
  if (n > 0) return n;
  return std::max(1u, std::thread::hardware_concurrency());
}

BandThreadPool::BandThreadPool(int threads) {
  for (int i = 1; i < threads; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

BandThreadPool::~BandThreadPool() {
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
    if (i >= count_) return;
    (*task_)(i);
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
      ++busy_;
    }
    Drain();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --busy_;
    }
    done_.notify_all();
  }
}

void BandThreadPool::Run(int count, const std::function<void(int)>& task) {
  if (count <= 0) return;
  if (workers_.empty() || count == 1) {
    for (int i = 0; i < count; ++i) task(i);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = &task;
    count_ = count;
    next_ = 0;
    ++generation_;
  }
  wake_.notify_all();
  Drain();
  std::unique_lock<std::mutex> lock(mutex_);
  // Every band has been taken once next_ passed count_; wait for the takers to finish.
  done_.wait(lock, [&] { return busy_ == 0; });
  task_ = nullptr;
}

uint32_t RenderQueue::AddState(DrawState state) {
  states_.push_back(std::move(state));
  return static_cast<uint32_t>(states_.size() - 1);
}

void RenderQueue::AddTriangle(const TriangleSetup& t, uint32_t state) {
  commands_.push_back({Kind::kTriangle, state, static_cast<uint32_t>(triangles_.size()),
                       t.bounds.top, t.bounds.bottom});
  triangles_.push_back(t);
}

void RenderQueue::AddLine(const LineSetup& l, uint32_t state) {
  const PixelRect& clip = states_[state].clip;
  const int top = std::max<double>(clip.top, std::floor(std::min(l.v0.y, l.v1.y)) - 1);
  const int bottom = std::min<double>(clip.bottom, std::ceil(std::max(l.v0.y, l.v1.y)) + 2);
  commands_.push_back(
      {Kind::kLine, state, static_cast<uint32_t>(lines_.size()), top, bottom});
  lines_.push_back(l);
}

void RenderQueue::AddFill(const PixelRect& rect, uint32_t argb) {
  commands_.push_back(
      {Kind::kFill, 0, static_cast<uint32_t>(fills_.size()), rect.top, rect.bottom});
  fills_.push_back({rect, argb});
}

void RenderQueue::AddCoverage(int x, int y, int w, int h, const uint8_t* coverage, int pitch,
                              D3DCOLOR color, const PixelRect& clip) {
  const PixelRect r = Intersect({x, y, x + w, y + h}, clip);
  if (r.Empty()) return;
  // Keep only the visible part: the caller's mask may be gone by the time the queue runs.
  Coverage c{r.left, r.top, r.right - r.left, r.bottom - r.top, coverage_bytes_.size(), color,
             r};
  for (int py = r.top; py < r.bottom; ++py) {
    const uint8_t* row = coverage + static_cast<ptrdiff_t>(py - y) * pitch + (r.left - x);
    coverage_bytes_.insert(coverage_bytes_.end(), row, row + c.w);
  }
  commands_.push_back(
      {Kind::kCoverage, 0, static_cast<uint32_t>(coverages_.size()), r.top, r.bottom});
  coverages_.push_back(c);
}

void RenderQueue::Execute(const Command& c, const Target& target, const PixelRect& band) const {
  switch (c.kind) {
    case Kind::kTriangle: {
      const DrawState& s = states_[c.state];
      RasterTriangleFast(triangles_[c.index], s, target, Intersect(s.clip, band));
      break;
    }
    case Kind::kLine: {
      const DrawState& s = states_[c.state];
      RasterLine(lines_[c.index], s, target, Intersect(s.clip, band));
      break;
    }
    case Kind::kFill: {
      const Fill& f = fills_[c.index];
      FillRect(f.argb, target, Intersect(f.rect, band));
      break;
    }
    case Kind::kCoverage: {
      const Coverage& v = coverages_[c.index];
      RasterCoverage(v.x, v.y, v.w, v.h, coverage_bytes_.data() + v.offset, v.w, v.color, target,
                     Intersect(v.clip, band));
      break;
    }
  }
}

void RenderQueue::Flush(const Target& target) {
  if (commands_.empty()) return;
  const int bands = (target.height + kBandRows - 1) / kBandRows;
  if (static_cast<int>(bins_.size()) < bands) bins_.resize(bands);
  for (int b = 0; b < bands; ++b) bins_[b].clear();
  for (uint32_t i = 0; i < commands_.size(); ++i) {
    const Command& c = commands_[i];
    const int first = std::max(0, c.top / kBandRows);
    const int last = std::min(bands - 1, (c.bottom - 1) / kBandRows);
    for (int b = first; b <= last; ++b) bins_[b].push_back(i);
  }
  const int threads = RasterThreadCount();
  if (!pool_ || pool_threads_ != threads) {
    pool_.reset();
    pool_ = std::make_unique<BandThreadPool>(threads);
    pool_threads_ = threads;
  }
  pool_->Run(bands, [&](int b) {
    const PixelRect band{0, b * kBandRows, target.width,
                         std::min(target.height, (b + 1) * kBandRows)};
    for (uint32_t i : bins_[b]) Execute(commands_[i], target, band);
  });
  Discard();
}

void RenderQueue::Discard() {
  states_.clear();
  triangles_.clear();
  lines_.clear();
  fills_.clear();
  coverages_.clear();
  coverage_bytes_.clear();
  commands_.clear();
}

}  // namespace platform::d3d9
