// Command batches and band workers of the fast paths. Bands are 16 rows high and handed out
// dynamically, so a band crowded with sprites does not hold up the others.
#include "platform/d3d9/render_queue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "platform/d3d9/simd.h"
#include "platform/win32/win32_log.h"

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
  try {
    workers_.reserve(static_cast<size_t>(std::max(0, workers)));
    for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
  } catch (const std::exception& e) {
    // Fewer threads draw the same frames; with none, the calling thread draws them all.
    platform::win32::Log(platform::win32::kLogWarning,
                         "Rasteriser: " + std::to_string(workers_.size() + 1) + " of " + std::to_string(workers + 1) +
                             " threads draw the frames; no more can be started (" + e.what() + ")");
  }
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

namespace {

// A wake-up through the kernel costs tens of microseconds on some machines (virtual ones above
// all), more than a band takes: between the batches of a frame the threads spin a little first.
constexpr auto kSpin = std::chrono::microseconds(200);

template <typename Ready>
bool SpinUntil(Ready ready) {
  const auto until = std::chrono::steady_clock::now() + kSpin;
  for (int i = 1;; ++i) {
    if (ready()) return true;
    // Pausing keeps the core; yielding lends it to a runnable thread such as the display
    // server's, which shows the frame before while this one is drawn.
    if (i < 64) {
      CpuRelax();
    } else {
      std::this_thread::yield();
      if ((i & 7) == 0 && std::chrono::steady_clock::now() >= until) return false;
    }
  }
}

}  // namespace

void BandThreadPool::Drain() {
  uint64_t t = ticket_.load();
  for (;;) {
    const int i = IndexOf(t), count = CountOf(t);
    if (i >= count) return;
    if (!ticket_.compare_exchange_weak(t, t + 1)) continue;
    task_(i);
    if (done_.fetch_add(1) + 1 == count && waiting_.load()) {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_.notify_all();
    }
    t = ticket_.load();
  }
}

void BandThreadPool::WorkerLoop() {
  uint32_t seen = 0;
  for (;;) {
    const auto fresh = [&] { return stop_.load() || GenerationOf(ticket_.load()) != seen; };
    if (!SpinUntil(fresh)) {
      std::unique_lock<std::mutex> lock(mutex_);
      ++sleeping_;
      wake_.wait(lock, fresh);
      --sleeping_;
    }
    if (stop_.load()) return;
    seen = GenerationOf(ticket_.load());
    Drain();
  }
}

void BandThreadPool::Start(int count, std::function<void(int)> task) {
  Wait();
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The task is published before the ticket opens the batch, so a worker that claims an index
    // sees the task it belongs to.
    task_ = std::move(task);
    done_ = 0;
    const uint64_t generation = GenerationOf(ticket_.load()) + 1;
    ticket_ = ((generation & 0xFFFFFF) << 40) | (static_cast<uint64_t>(count) << 20);
    wake = sleeping_ > 0;
  }
  if (wake) wake_.notify_all();
}

void BandThreadPool::Wait() {
  if (SpinUntil([&] { return Done(); })) return;
  std::unique_lock<std::mutex> lock(mutex_);
  waiting_ = true;
  finished_.wait(lock, [&] { return Done(); });
  waiting_ = false;
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
      const PixelRect r = Intersect(f.rect, band);
      if (!r.Empty()) FillRect(f.argb, target, r);
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

bool RenderQueue::Batch::CoversBand(size_t k, const std::vector<uint32_t>& bin,
                                    const PixelRect& band, size_t* from, int* left,
                                    int* right) const {
  const Command& c = commands[bin[k]];
  if (c.top > band.top || c.bottom < band.bottom) return false;
  if (c.kind == Kind::kFill) {
    const PixelRect r = Intersect(fills[c.index].rect, band);
    if (r.Empty()) return false;
    *from = k;
    *left = r.left;
    *right = r.right;
    return true;
  }
  if (c.kind != Kind::kTriangle) return false;
  const TriangleSetup& t = triangles[c.index];
  const DrawState& s = states[c.state];
  if (!WritesOpaque(t, s)) return false;
  // A quad is two triangles in a row with one state.
  const TriangleSetup* partner = nullptr;
  if (k > 0) {
    const Command& p = commands[bin[k - 1]];
    if (p.kind == Kind::kTriangle && p.state == c.state &&
        WritesOpaque(triangles[p.index], s))
      partner = &triangles[p.index];
  }
  if (partner && CoveredColumns(t, partner, s.clip, band, left, right)) {
    *from = k - 1;
    return true;
  }
  if (CoveredColumns(t, nullptr, s.clip, band, left, right)) {
    *from = k;
    return true;
  }
  return false;
}

void RenderQueue::Batch::RunBand(int band, const Target& target) const {
  const PixelRect rect{0, band * kBandRows, target.width,
                       std::min(target.height, (band + 1) * kBandRows)};
  const std::vector<uint32_t>& bin = bins[band];
  // What a later draw overwrites, without reading it, need not be drawn: the commands before the
  // last draw that covers most of the band run only on the columns it leaves.
  size_t from = 0;
  int left = 0, right = 0;
  for (size_t k = bin.size(); k-- > 0;) {
    const Command& c = commands[bin[k]];
    // Cheap rejection of the many draws that are far narrower than the band.
    if (c.kind == Kind::kTriangle) {
      const PixelRect& b = triangles[c.index].bounds;
      if (2 * (b.right - b.left) < rect.right - rect.left) continue;
    }
    if (CoversBand(k, bin, rect, &from, &left, &right) &&
        2 * (right - left) >= rect.right - rect.left)
      break;
    from = 0;
  }
  if (from > 0) {
    const PixelRect sides[2] = {{rect.left, rect.top, left, rect.bottom},
                                {right, rect.top, rect.right, rect.bottom}};
    for (const PixelRect& side : sides) {
      if (side.Empty()) continue;
      for (size_t k = 0; k < from; ++k) Execute(commands[bin[k]], target, side);
    }
  }
  for (size_t k = from; k < bin.size(); ++k) Execute(commands[bin[k]], target, rect);
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
  pool.Start(bands, [&b, target](int band) { b.RunBand(band, target); });
  running_ = true;
  current_ = 1 - current_;
}

void RenderQueue::Flush(const Target& target) {
  WaitRunning();
  Batch& b = Recording();
  if (b.commands.empty()) return;
  b.Bin(target.height);
  const int bands = (target.height + kBandRows - 1) / kBandRows;
  Pool().Run(bands, [&b, target](int band) { b.RunBand(band, target); });
  b.Clear();
}

void RenderQueue::Discard() {
  WaitRunning();
  Recording().Clear();
}

void RenderQueue::ForRowBands(int rows, const std::function<void(int, int)>& work) {
  WaitRunning();
  const int bands = (rows + kBandRows - 1) / kBandRows;
  Pool().Run(bands, [&work, rows](int band) { work(band * kBandRows, std::min(rows, (band + 1) * kBandRows)); });
}

}  // namespace platform::d3d9
