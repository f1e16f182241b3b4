// The process's one message queue, Windows' default window procedure and the main-thread
// hand-over.
//
// Posted messages and input share one queue in arrival order. WM_QUIT is a flag, returned once
// nothing else matches, as on Windows. Hand-over calls wait in their own list; one marker message
// in the queue stands for all of them, so a marker that a nested PeekMessage removed without
// dispatching is simply queued again on the next look at the queue.

#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_system.h"

namespace platform::win32 {
namespace {

const std::thread::id mainThreadId = std::this_thread::get_id();

// A message number no window uses: registered messages start at 0xC000.
constexpr UINT kSyncMessage = 0xC0DE;

struct SyncCall {
  std::function<void()> call;
  std::exception_ptr error;
  bool done = false;
  bool heavy = false;
};

std::mutex queueMutex;
std::condition_variable queueChanged;
std::condition_variable syncDone;
std::deque<MSG> queue;
bool quitPosted = false;
int quitCode = 0;
std::vector<std::shared_ptr<SyncCall>> pendingCalls;
bool markerQueued = false;
// A heavy call has run since the loop last found its queue empty: the next waits for that.
bool heavyRanThisTurn = false;

// A pending call may run in this turn of the loop (queueMutex held). Calls run in the order they
// came, so a heavy one that must wait holds back those behind it.
bool RunnableCalls() { return !pendingCalls.empty() && (!pendingCalls.front()->heavy || !heavyRanThisTurn); }

// End signals taken; the main thread has acted on the first once closeRequested is false again.
std::atomic<int> endSignals{0};
std::atomic<bool> closeRequested{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

// Any thread may take the signal. The main thread never waits on the queue for more than a few
// ms (see GetMessageA), so a flag is all it needs to see it.
void OnEndSignal(int sig) {
  if (endSignals.fetch_add(1) > 0) {
    // A second Ctrl+C: the game did not end on the first (a script or a call that does not
    // return), so end now, as a player pressing it twice expects.
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  closeRequested.store(true);
}

// On the main thread: a pending end signal becomes a close of every window.
void ActOnEndSignal() {
  if (!closeRequested.load()) return;
  const std::vector<HWND> windows = detail::LiveWindowHandles();
  if (windows.empty()) return;  // not yet made: the first window gets it
  closeRequested.store(false);
  for (HWND h : windows) detail::QueueMessage(h, WM_CLOSE, 0, 0);
}

// Key state as of the messages retrieved so far, which is what TranslateMessage needs.
bool keyDown[256] = {};

MSG MakeMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MSG m{};
  m.hwnd = hwnd;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = GetTickCount();
  m.pt = detail::LastCursorScreenPos();
  return m;
}

bool Matches(const MSG& m, HWND hwnd, UINT lo, UINT hi) {
  if (hwnd == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) {
    if (m.hwnd) return false;
  } else if (hwnd && m.hwnd != hwnd) {
    return false;
  }
  if (lo == 0 && hi == 0) return true;
  return m.message >= lo && m.message <= hi;
}

void NoteRetrieved(const MSG& m) {
  const bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
  const bool up = m.message == WM_KEYUP || m.message == WM_SYSKEYUP;
  if (down || up) keyDown[m.wParam & 0xFF] = down;
}

void RunPendingCalls() {
  std::vector<std::shared_ptr<SyncCall>> calls;
  {
    // The calls in the order they came, up to a second heavy one: heavy ones that wait together
    // would otherwise add up into one long frame.
    std::lock_guard lock(queueMutex);
    std::size_t n = 0;
    for (; n < pendingCalls.size(); ++n) {
      if (pendingCalls[n]->heavy) {
        if (heavyRanThisTurn) break;
        heavyRanThisTurn = true;
      }
    }
    calls.assign(pendingCalls.begin(), pendingCalls.begin() + static_cast<std::ptrdiff_t>(n));
    pendingCalls.erase(pendingCalls.begin(), pendingCalls.begin() + static_cast<std::ptrdiff_t>(n));
  }
  for (auto& c : calls) {
    try {
      c->call();
    } catch (...) {
      c->error = std::current_exception();
    }
    std::lock_guard lock(queueMutex);
    c->done = true;
  }
  if (!calls.empty()) syncDone.notify_all();
}

}  // namespace

bool IsMainThread() { return std::this_thread::get_id() == mainThreadId; }

namespace detail {

void QueueMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MSG m = MakeMessage(hwnd, msg, wParam, lParam);
  {
    std::lock_guard lock(queueMutex);
    queue.push_back(m);
  }
  queueChanged.notify_all();
}

void QueueMessageFirst(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MSG m = MakeMessage(hwnd, msg, wParam, lParam);
  {
    std::lock_guard lock(queueMutex);
    queue.push_front(m);
  }
  queueChanged.notify_all();
}

void DropMessagesOf(HWND hwnd) {
  std::lock_guard lock(queueMutex);
  std::erase_if(queue, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
}

void DropQueued(HWND hwnd, UINT msg) {
  std::lock_guard lock(queueMutex);
  std::erase_if(queue, [hwnd, msg](const MSG& m) { return m.hwnd == hwnd && m.message == msg; });
}

LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = FindWindowRecord(hwnd);
  if (!w) return 0;
  WNDPROC proc = w->proc;  // the record may go away while the procedure runs
  if (!proc) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return proc(hwnd, msg, wParam, lParam);
}

}  // namespace detail

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg) return FALSE;
  if (IsMainThread()) {
    detail::PumpSdlEvents();
    ActOnEndSignal();
  }
  if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) &&
      !detail::IsLiveWindow(hwnd))
    hwnd = nullptr;
  const bool remove = (removeFlags & PM_REMOVE) != 0;
  bool found = false;
  {
    std::lock_guard lock(queueMutex);
    if (!markerQueued && RunnableCalls()) {
      queue.push_back(MakeMessage(nullptr, kSyncMessage, 0, 0));
      markerQueued = true;
    }
    for (auto it = queue.begin(); it != queue.end(); ++it) {
      if (!Matches(*it, hwnd, filterMin, filterMax)) continue;
      *msg = *it;
      if (remove) {
        if (it->message == kSyncMessage && !it->hwnd) markerQueued = false;
        queue.erase(it);
      }
      found = true;
      break;
    }
    // The loop found nothing to do: it runs a frame now, and the next heavy call may follow.
    if (!found && !hwnd && filterMin == 0 && filterMax == 0) heavyRanThisTurn = false;
    if (!found && quitPosted &&
        ((filterMin == 0 && filterMax == 0) || (WM_QUIT >= filterMin && WM_QUIT <= filterMax))) {
      *msg = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0);
      if (remove) quitPosted = false;
      found = true;
    }
  }
  if (!found) return FALSE;
  if (remove) {
    NoteRetrieved(*msg);
    // Windows asks the window for its cursor as it takes a mouse move from the input.
    if (msg->message == WM_MOUSEMOVE && msg->hwnd && IsMainThread())
      detail::CallWindowProcedure(msg->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(msg->hwnd),
                                  MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  }
  return TRUE;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg) return FALSE;
  for (;;) {
    if (PeekMessageA(msg, hwnd, filterMin, filterMax, PM_REMOVE))
      return msg->message == WM_QUIT ? FALSE : TRUE;
    // SDL's events and end signals cannot wake the condition, so look at the desktop again
    // every few ms; posted messages and hand-over calls wake the wait at once.
    std::unique_lock lock(queueMutex);
    queueChanged.wait_for(lock, std::chrono::milliseconds(5), [] {
      return !queue.empty() || quitPosted || (!markerQueued && RunnableCalls());
    });
  }
}

void CloseWindowsOnEndSignals() {
  SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted reads and writes resume: the files and sockets in use must not see EINTR.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  const WORD vk = static_cast<WORD>(msg->wParam & 0xFFFF);
  const bool ctrl = keyDown[VK_CONTROL] && !keyDown[VK_MENU];
  int ch = -1;
  switch (vk) {
    case VK_BACK: ch = ctrl ? 127 : 8; break;
    case VK_TAB: ch = ctrl ? -1 : 9; break;
    case VK_RETURN: ch = ctrl ? 10 : 13; break;
    case VK_ESCAPE: ch = 27; break;
    default:
      if (ctrl && vk >= 'A' && vk <= 'Z') ch = vk - 'A' + 1;
      break;
  }
  if (ch < 0) return FALSE;
  // Windows posts the character, so it is the next message the loop sees.
  detail::QueueMessageFirst(msg->hwnd, WM_CHAR, static_cast<WPARAM>(ch), msg->lParam);
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (!msg->hwnd) {
    if (msg->message == kSyncMessage) RunPendingCalls();
    return 0;
  }
  return detail::CallWindowProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE: SendMessageA(hwnd, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); break;
        case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); break;
        default: break;
      }
      return 0;
    case WM_SYSKEYDOWN:
      // Alt+F4 closes the window, as on Windows.
      if (wParam == VK_F4 && (lParam & (LPARAM(1) << 29)))
        SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(static_cast<uintptr_t>(lParam)) == HTCLIENT) {
        if (detail::Window* w = detail::FindWindowRecord(hwnd); w && w->cursor) SetCursor(w->cursor);
        return TRUE;
      }
      return FALSE;
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_SETTEXT:
      return SetWindowTextA(hwnd, reinterpret_cast<LPCSTR>(lParam));
    case WM_POWERBROADCAST:
      return TRUE;
    default:
      return 0;
  }
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd && !detail::IsLiveWindow(hwnd)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  detail::QueueMessage(hwnd, msg, wParam, lParam);
  return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (IsMainThread()) return detail::CallWindowProcedure(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  Synchronize([&] { result = detail::CallWindowProcedure(hwnd, msg, wParam, lParam); });
  return result;
}

void PostQuitMessage(int exitCode) {
  {
    std::lock_guard lock(queueMutex);
    quitPosted = true;
    quitCode = exitCode;
  }
  queueChanged.notify_all();
}

void Synchronize(std::function<void()> call, bool heavy) {
  if (!call) return;
  if (IsMainThread()) {
    call();
    return;
  }
  auto entry = std::make_shared<SyncCall>();
  entry->call = std::move(call);
  entry->heavy = heavy;
  std::unique_lock lock(queueMutex);
  pendingCalls.push_back(entry);
  queueChanged.notify_all();
  syncDone.wait(lock, [&] { return entry->done; });
  lock.unlock();
  if (entry->error) std::rethrow_exception(entry->error);
}

}  // namespace platform::win32
