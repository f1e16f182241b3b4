// The device's test seam: captured frames, back-buffer reads, simulated device loss, the
// reference switch; and the one-line log of calls the device does not carry out.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "platform/d3d9/device_software.h"
#include "platform/d3d9/present_sdl.h"
#include "platform/win32/win32_log.h"

namespace platform::d3d9 {
namespace {

std::mutex g_capture_mutex;
bool g_capture = false;
std::vector<CapturedFrame> g_frames;

bool ReferenceFromEnvironment() {
  const char* v = std::getenv("QUORREL_D3D9_REFERENCE");
  return v && std::strcmp(v, "1") == 0;
}
std::atomic<bool> g_reference{ReferenceFromEnvironment()};

}  // namespace

void SetCaptureFrames(bool on) {
  std::lock_guard<std::mutex> lock(g_capture_mutex);
  g_capture = on;
}

std::vector<CapturedFrame> TakeCapturedFrames() {
  std::lock_guard<std::mutex> lock(g_capture_mutex);
  std::vector<CapturedFrame> out;
  out.swap(g_frames);
  return out;
}

void RecordCapturedFrame(const uint32_t* pixels, int width, int height) {
  std::lock_guard<std::mutex> lock(g_capture_mutex);
  if (!g_capture) return;
  CapturedFrame f;
  f.width = width;
  f.height = height;
  f.pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
  for (auto& p : f.pixels) p |= 0xFF000000u;
  g_frames.push_back(std::move(f));
}

CapturedFrame ReadBackBuffer(IDirect3DDevice9* device) {
  auto* d = dynamic_cast<SoftwareDevice*>(device);
  return d ? d->Snapshot() : CapturedFrame{};
}

void SimulateDeviceLoss(IDirect3DDevice9* device) {
  if (auto* d = dynamic_cast<SoftwareDevice*>(device)) d->SimulateLoss();
}

void SetForceReferencePath(bool on) {
  if (on != g_reference.load()) FlushAllDevices();  // finish what the other path recorded
  g_reference = on;
}

bool ForceReferencePath() { return g_reference.load(); }

void LogStubOnce(const std::string& what) {
  static std::mutex mutex;
  static std::set<std::string> seen;
  std::lock_guard<std::mutex> lock(mutex);
  if (seen.insert(what).second) platform::win32::Log(platform::win32::kLogWarning, "d3d9: " + what);
}

}  // namespace platform::d3d9
