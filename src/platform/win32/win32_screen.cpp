// The screen: SDL's video start, the desktop's size, usable bounds, display modes and DPI, or
// the virtual screen a test set in their place.

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_log.h"
#include "platform/win32/win32_sdl.h"

namespace platform::win32 {
namespace {

std::optional<testing::VirtualScreen> virtualScreen;
int videoState = 0;  // 0 not tried, 1 running, -1 unavailable
std::string videoFailure;  // why there is no video: the driver and SDL's reason

SDL_DisplayMode DesktopMode() {
  SDL_DisplayMode m{};
  if (!EnsureSdlVideo() || SDL_GetDesktopDisplayMode(0, &m) != 0) {
    m.w = 1024;
    m.h = 768;
    m.refresh_rate = 0;
  }
  return m;
}

}  // namespace

namespace {

bool IsHeadlessDriver(const std::string& name) {
  return name == "dummy" || name == "offscreen" || name == "evdev";
}

std::string EnvText(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(name) + "=" + v : std::string(name) + " unset";
}

bool InitVideo() { return SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0; }

// SDL's video with the driver the environment chose, or else the first of SDL's drivers that
// opens a display. SDL itself would end such a search on its offscreen driver: a game played
// where nobody sees it, so the headless drivers are taken only when asked for by name.
bool StartVideo() {
  const char* chosen = std::getenv("SDL_VIDEODRIVER");
  if (chosen && *chosen) {
    if (InitVideo()) return true;
    const std::string name = chosen;
    const std::string where = name == "x11"       ? " (" + EnvText("DISPLAY") + ")"
                              : name == "wayland" ? " (" + EnvText("WAYLAND_DISPLAY") + ")"
                                                  : "";
    videoFailure = "SDL video driver \"" + name + "\"" + where + ": " + SDL_GetError();
    return false;
  }
  std::string tried;
  for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
    const std::string name = SDL_GetVideoDriver(i) ? SDL_GetVideoDriver(i) : "";
    if (name.empty() || IsHeadlessDriver(name)) continue;
    std::string why;
    // Without its folder the Wayland library cannot connect, and says so on standard error.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (name == "wayland" && !std::getenv("XDG_RUNTIME_DIR") && !(wayland && *wayland == '/')) {
      why = "XDG_RUNTIME_DIR unset";
    } else {
      SDL_SetHint(SDL_HINT_VIDEODRIVER, name.c_str());
      if (InitVideo()) return true;
      why = SDL_GetError();
    }
    tried += (tried.empty() ? "" : "; ") + name + ": " + why;
  }
  SDL_SetHint(SDL_HINT_VIDEODRIVER, nullptr);
  videoFailure = "no SDL video driver opens a display (" + tried + "; " + EnvText("DISPLAY") + ", " +
                 EnvText("WAYLAND_DISPLAY") + "); SDL_VIDEODRIVER=dummy plays without a window";
  return false;
}

}  // namespace

bool EnsureSdlVideo() {
  if (videoState != 0) return videoState > 0;
  if (!IsMainThread()) return SDL_WasInit(SDL_INIT_VIDEO) != 0;
  // Only WM_CLOSE ends the program: closing the last window must not also queue SDL's quit.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  // A click that activates the window is still a click, as on Windows.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if (!StartVideo()) {
    Log(kLogWarning, "SDL video: " + videoFailure);
    videoState = -1;
    return false;
  }
  videoState = 1;
  detail::ApplyCursorState();
  return true;
}

namespace detail {

std::string VideoFailure() { return videoFailure; }

int ScreenWidth() { return virtualScreen ? virtualScreen->width : DesktopMode().w; }
int ScreenHeight() { return virtualScreen ? virtualScreen->height : DesktopMode().h; }
int ScreenDpi() { return virtualScreen ? virtualScreen->dpi : 96; }

RECT UsableBounds() {
  if (virtualScreen) return virtualScreen->usable;
  SDL_Rect u{};
  if (EnsureSdlVideo() && SDL_GetDisplayUsableBounds(0, &u) == 0 && u.w > 0 && u.h > 0)
    return RECT{u.x, u.y, u.x + u.w, u.y + u.h};
  return RECT{0, 0, ScreenWidth(), ScreenHeight()};
}

}  // namespace detail

int GetSystemMetrics(int index) {
  if (index == SM_CXSCREEN) return detail::ScreenWidth();
  if (index == SM_CYSCREEN) return detail::ScreenHeight();
  return 0;
}

std::vector<DisplayModeInfo> EnumDesktopDisplayModes() {
  std::vector<DisplayModeInfo> out;
  auto add = [&out](int w, int h, int r) {
    for (const auto& m : out)
      if (m.width == w && m.height == h && m.refresh == r) return;
    out.push_back({w, h, r});
  };
  if (virtualScreen) {
    for (const auto& m : virtualScreen->modes) add(m.width, m.height, m.refresh);
    if (out.empty()) add(virtualScreen->width, virtualScreen->height, 60);
    return out;
  }
  const SDL_DisplayMode desktop = DesktopMode();
  if (EnsureSdlVideo()) {
    const int n = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < n; ++i) {
      SDL_DisplayMode m{};
      if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
      if (SDL_BITSPERPIXEL(m.format) != SDL_BITSPERPIXEL(desktop.format)) continue;
      add(m.w, m.h, m.refresh_rate);
    }
  }
  if (out.empty()) add(desktop.w, desktop.h, desktop.refresh_rate);
  return out;
}

DisplayModeInfo DesktopDisplayMode() {
  if (virtualScreen) {
    int refresh = 60;
    for (const auto& m : virtualScreen->modes)
      if (m.width == virtualScreen->width && m.height == virtualScreen->height) refresh = m.refresh;
    return {virtualScreen->width, virtualScreen->height, refresh};
  }
  const SDL_DisplayMode m = DesktopMode();
  return {m.w, m.h, m.refresh_rate};
}

namespace testing {

void SetVirtualScreen(std::optional<VirtualScreen> screen) { virtualScreen = std::move(screen); }

}  // namespace testing

}  // namespace platform::win32
