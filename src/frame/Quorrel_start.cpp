// The program block's steps: command line, start, message loop, shut-down.
#include "frame/Quorrel.h"

#include <charconv>

#include "frame/App.h"
#include "game/main.h"
#include "platform/win32/win32_system.h"
#include "runtime/Files.h"
#include "runtime/Units.h"

namespace {

// A positive decimal int32 filling the whole text.
bool PositiveInteger(std::string_view text, int32_t& value) {
  if (text.empty() || text.front() < '0' || text.front() > '9') return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value > 0;
}

}  // namespace

// Y ends at the first "]" after the comma, as the command line has always been read; a
// malformed size is ignored instead of ending the program.
bool ParsePositionParam(const std::string& text, int32_t& x, int32_t& y) {
  if (text.empty() || text.front() != '[') return false;
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  const size_t close = text.find(']', comma + 1);
  if (close == std::string::npos) return false;
  const std::string_view view(text);
  int32_t px = 0, py = 0;
  if (!PositiveInteger(view.substr(1, comma - 1), px) ||
      !PositiveInteger(view.substr(comma + 1, close - comma - 1), py))
    return false;
  x = px;
  y = py;
  return true;
}

TStartParams ReadCommandLine(CD3DGame& game, const std::vector<std::string>& params) {
  TStartParams start;
  TMainForm& form = *game.m_MainForm;
  for (const std::string& p : params) {
    if (p == "-w") game.m_bWindowed = true;
    // A malformed size is ignored rather than ending the start with a conversion error.
    if (!p.empty() && p.front() == '[') ParsePositionParam(p, start.StartX, start.StartY);
  }
  if (!params.empty() && params[0] == "-e") {
    form.LaunchList.clear();
    for (const std::string& p : params) {
      if (p == "-e" || p == "-w" || p.find('[') != std::string::npos) continue;
      form.LaunchList += p + ";";
    }
  }
  if (!params.empty() && params[0] == "-s") {
    form.LaunchList.clear();
    if (params.size() < 2) {
      start.HaltAtOnce = true;
      return start;
    }
    form.LaunchName += params[1];
    const size_t dot = form.LaunchName.find('.');
    if (dot != std::string::npos) form.LaunchName.resize(dot);
  }
  return start;
}

void ShutDownAfterLoop(CD3DGame& game) {
  TMainForm& form = *game.m_MainForm;
  game.Calls->SaveGameBeforeGame();
  if (rtl::FileExists("Link.url")) game.Calls->OpenUrlByString("Link.url");
  if (!form.SurveyOpened && rtl::FileExists("survey.url")) {
    game.Calls->OpenUrlByString("survey.url");
    form.SurveyOpened = true;
  }
}

void RunQuorrel(const std::vector<std::string>& params, platform::win32::HINSTANCE hInstance) {
  CD3DGame* game = new CD3DGame();
  game->m_MainForm->ProgramFolder =
      rtl::ExcludeTrailingBackslash(rtl::ExtractFilePath(platform::win32::ExecutablePath()));
  // The application constructor sets it; nothing has read it yet.
  game->m_MainForm->PauseShiftsClock = false;

  const TStartParams start = ReadCommandLine(*game, params);
  if (start.HaltAtOnce) rtl::Halt(0);

  if (platform::win32::SUCCEEDED(game->Create_(hInstance, start.StartX, start.StartY))) {
    game->Run();
  } else if (!game->m_hWnd) {
    rtl::Halt(1);  // no window could open: nothing of the game ran, and the start failed
  }

  ShutDownAfterLoop(*game);
  delete game;  // the game object stays: it lives until the process ends
}
