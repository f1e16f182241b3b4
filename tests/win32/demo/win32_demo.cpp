// A small program over the win32 stand-in, written the way the game's frame uses it: a window
// class with a window procedure, a PeekMessage loop that draws on idle turns, Alt+Enter between
// a captioned window and a full-screen popup, and the close button ending the loop. It draws
// through an SDL renderer made at its first frame, as the device presents; on X11 that renderer
// may rebuild the native window, which the window's placement has to survive.
//
// Each message it reacts to is printed as one line, so a test can follow it, and so is the
// first frame drawn after each change of mode. The window shows a background that changes
// colour with each key, a white square at the mouse, red while the left button is held, and
// the last event in its title.
//
//   win32_demo                runs until the window is closed
//   win32_demo --full-screen  starts in full screen, as the game does without "-w"
//   win32_demo --self-test    feeds itself keys, text, mouse, wheel, Alt+Enter and a close
//                             from the desktop, with a hand-over call from a worker thread

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/win32/win32.h"
#include "platform/win32/win32_sdl.h"

using namespace platform::win32;

namespace {

constexpr DWORD kWindowedStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

HWND window = nullptr;
SDL_Renderer* renderer = nullptr;
bool fullScreen = false;
int drawnMode = -1;  // the mode of the last frame drawn
Uint32 background = 0x203040;
int mouseX = -100, mouseY = -100;
bool leftDown = false;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void SetTitle(const std::string& event) {
  const std::u16string title = Utf8ToUtf16("Quorrel win32 demo \xE2\x80\x94 " + event);
  SetWindowTextW(window, title.c_str());
}

void ToggleFullScreen() {
  fullScreen = !fullScreen;
  if (fullScreen) {
    SetWindowLong(window, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_VISIBLE));
    SetWindowPos(window, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                 GetSystemMetrics(SM_CYSCREEN), SWP_FRAMECHANGED);
  } else {
    SetWindowLong(window, GWL_STYLE, static_cast<LONG>(kWindowedStyle));
    SetWindowPos(window, HWND_NOTOPMOST, 100, 100, 640 + 6, 480 + 32, SWP_FRAMECHANGED);
  }
  RECT r;
  GetClientRect(window, &r);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  char line[128];
  std::snprintf(line, sizeof line, "fullscreen %d style %08X client %dx%d at %d,%d",
                fullScreen ? 1 : 0, static_cast<unsigned>(GetWindowLong(window, GWL_STYLE)),
                static_cast<int>(r.right), static_cast<int>(r.bottom), static_cast<int>(origin.x),
                static_cast<int>(origin.y));
  Say(line);
}

LRESULT Procedure(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  char line[128];
  const int x = static_cast<int16_t>(LOWORD(static_cast<uintptr_t>(lParam)));
  const int y = static_cast<int16_t>(HIWORD(static_cast<uintptr_t>(lParam)));
  switch (msg) {
    case WM_ACTIVATEAPP:
      Say("WM_ACTIVATEAPP " + std::to_string(wParam));
      break;
    case WM_ACTIVATE:
      Say("WM_ACTIVATE " + std::to_string(LOWORD(wParam)) + " " + std::to_string(HIWORD(wParam)));
      break;
    case WM_SIZE:
      Say("WM_SIZE " + std::to_string(wParam) + " " + std::to_string(LOWORD(static_cast<uintptr_t>(lParam))) +
          " " + std::to_string(HIWORD(static_cast<uintptr_t>(lParam))));
      break;
    case WM_KEYDOWN:
      background = static_cast<Uint32>(wParam * 0x9E3779B1u) & 0x7F7F7F;
      Say("WM_KEYDOWN " + std::to_string(wParam));
      SetTitle("key " + std::to_string(wParam));
      break;
    case WM_CHAR:
      Say("WM_CHAR " + std::to_string(wParam));
      break;
    case WM_SYSKEYDOWN:
      Say("WM_SYSKEYDOWN " + std::to_string(wParam));
      if (wParam == VK_RETURN) ToggleFullScreen();
      break;
    case WM_MOUSEMOVE:
      mouseX = x;
      mouseY = y;
      std::snprintf(line, sizeof line, "WM_MOUSEMOVE %d %d", x, y);
      Say(line);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      leftDown = msg == WM_LBUTTONDOWN;
      std::snprintf(line, sizeof line, "%s %d %d", leftDown ? "WM_LBUTTONDOWN" : "WM_LBUTTONUP", x, y);
      Say(line);
      SetTitle(line);
      break;
    case WM_MOUSEWHEEL:
      Say("WM_MOUSEWHEEL " + std::to_string(static_cast<int32_t>(wParam)));
      break;
    case WM_CLOSE:
      Say("WM_CLOSE");
      if (renderer) SDL_DestroyRenderer(renderer);  // SDL keeps it past the window otherwise
      renderer = nullptr;
      DestroyWindow(h);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProc(h, msg, wParam, lParam);
}

void Draw() {
  SDL_Window* sdl = SdlWindowOf(window);
  if (!sdl) return;
  if (!renderer && !(renderer = SDL_CreateRenderer(sdl, -1, 0))) return;
  SDL_SetRenderDrawColor(renderer, (background >> 16) & 0xFF, (background >> 8) & 0xFF,
                         background & 0xFF, 255);
  SDL_RenderClear(renderer);
  const SDL_Rect square{mouseX - 8, mouseY - 8, 16, 16};
  if (leftDown) SDL_SetRenderDrawColor(renderer, 255, 0, 0, 255);
  else SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
  SDL_RenderFillRect(renderer, &square);
  SDL_RenderPresent(renderer);
  if (drawnMode != (fullScreen ? 1 : 0)) {
    drawnMode = fullScreen ? 1 : 0;
    Say("drawn fullscreen " + std::to_string(drawnMode));
  }
}

// The self-test's events, one per idle turn, as the desktop would deliver them.
bool FeedSelfTest(int step) {
  SDL_Event e{};
  const Uint32 id = SDL_GetWindowID(SdlWindowOf(window));
  auto key = [&](Uint32 type, SDL_Scancode sc, SDL_Keycode sym, Uint16 mod) {
    e.type = type;
    e.key.windowID = id;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = sc;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
  };
  switch (step) {
    case 0: key(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a, 0); break;
    case 1:
      e.type = SDL_TEXTINPUT;
      e.text.windowID = id;
      std::strcpy(e.text.text, "a");
      break;
    case 2: key(SDL_KEYUP, SDL_SCANCODE_A, SDLK_a, 0); break;
    case 3:
      e.type = SDL_MOUSEMOTION;
      e.motion.windowID = id;
      e.motion.x = 10;
      e.motion.y = 20;
      break;
    case 4:
    case 5:
      e.type = step == 4 ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
      e.button.windowID = id;
      e.button.button = SDL_BUTTON_LEFT;
      e.button.x = 10;
      e.button.y = 20;
      break;
    case 6:
      e.type = SDL_MOUSEWHEEL;
      e.wheel.windowID = id;
      e.wheel.y = 1;
      break;
    case 7: key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT); break;
    case 8: key(SDL_KEYUP, SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT); break;
    case 9: key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT); break;
    case 10:
      e.type = SDL_WINDOWEVENT;
      e.window.windowID = SDL_GetWindowID(SdlWindowOf(window));
      e.window.event = SDL_WINDOWEVENT_CLOSE;
      break;
    default: return false;
  }
  SDL_PushEvent(&e);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  bool selfTest = false, startFullScreen = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--self-test") == 0) selfTest = true;
    if (std::strcmp(argv[i], "--full-screen") == 0) startFullScreen = true;
  }

  WNDCLASSA wc{};
  wc.lpfnWndProc = Procedure;
  wc.hIcon = LoadIconA(nullptr, "MAINICON");
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = "Quorrel Demo";
  RegisterClassA(&wc);
  RECT r{0, 0, 640, 480};
  AdjustWindowRect(&r, kWindowedStyle, TRUE);
  window = CreateWindowA("Quorrel Demo", "", kWindowedStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                         r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
  if (!window) {
    Say("no window");
    return 1;
  }
  SetTitle("move the mouse, type, Alt+Enter, close");
  if (startFullScreen) ToggleFullScreen();

  std::thread worker([] {
    Synchronize([] { Say(std::string("hand-over on the main thread: ") + (IsMainThread() ? "yes" : "no")); });
  });

  int step = 0;
  MSG msg{};
  PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
  msg.message = WM_NULL;
  while (msg.message != WM_QUIT) {
    if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessage(&msg);
      continue;
    }
    if (IsWindow(window)) Draw();
    if (selfTest && FeedSelfTest(step)) ++step;
    SDL_Delay(selfTest ? 1 : 5);
  }
  worker.join();
  Say("quit " + std::to_string(msg.wParam));
  SDL_Quit();
  return static_cast<int>(msg.wParam);
}
