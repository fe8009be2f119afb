// The stand-in host with a picture: the mod starts while a render thread presents, then the
// script plays what a player does while the game ticks on the window's thread.
#include <sstream>

#include "mod/mod_base.h"
#include "settings/settings.h"
#include "sim/present_window.h"
#include "sim/win32/foreign_window.h"
#include "sim/win32/swap_chain_window.h"
#include "sim/world.h"

namespace kvr::sim {

namespace {

// Long enough for a slow software device; a step that takes longer has failed.
constexpr DWORD kStepTimeoutMs = 30000;

struct Player {
  win32::SwapChainWindow& window;
  World& world;
  mod::CppUserModBase* mod;
  double frameSeconds;
  const PresentOptions& options;
  int ticks = 0;

  // One turn of the game thread: the window's messages, then one engine tick.
  void Turn() {
    win32::SwapChainWindow::PumpMessages();
    world.Tick(frameSeconds);
    if (mod) mod::HostCallOnUpdate(mod);
    ++ticks;
    Sleep(4);
  }
  template <typename Done>
  bool TurnUntil(Done&& done) {
    const DWORD start = GetTickCount();
    while (!done()) {
      if (GetTickCount() - start > kStepTimeoutMs) return false;
      Turn();
    }
    return true;
  }
  bool WaitFrames(uint64_t n) {
    const uint64_t target = window.Frames() + n;
    return TurnUntil([&] { return window.Frames() >= target; });
  }
  // The game holds still: only the window's messages are processed until `done`.
  template <typename Done>
  bool HoldUntil(Done&& done) {
    const DWORD start = GetTickCount();
    while (!done()) {
      if (GetTickCount() - start > kStepTimeoutMs) return false;
      win32::SwapChainWindow::PumpMessages();
      Sleep(2);
    }
    return true;
  }
  void Post(UINT message, WPARAM wparam, LPARAM lparam) {
    PostMessageW(window.Window(), message, wparam, lparam);
  }
  // The mod host's order for a mod object: its own update, then on_unreal_init.
  void Start() {
    mod::HostCallOnUpdate(mod);
    mod::HostCallOnUnrealInit(mod);
  }
};

bool Resize(Player& p, std::istringstream& in, std::string& note) {
  int w = 0, h = 0;
  std::string held;
  in >> w >> h >> held;
  if (held == "held") {
    const int before = p.window.SizeMessages();
    p.window.HoldSize(true);
    p.window.ResizeClient(w, h);
    note = "resize " + std::to_string(w) + "x" + std::to_string(h) + " held";
    return p.TurnUntil([&] { return p.window.SizeMessages() > before; }) && p.WaitFrames(3);
  }
  const int before = p.window.Resizes();
  p.window.ResizeClient(w, h);
  const bool done = p.TurnUntil([&] { return p.window.Resizes() > before; });
  char hr[16];
  snprintf(hr, sizeof(hr), "0x%lX", static_cast<unsigned long>(p.window.LastResizeResult()));
  note = "resize " + std::to_string(w) + "x" + std::to_string(h) + ": " + hr;
  return done;
}

bool Restart(Player& p, bool again, std::string& note) {
  note = again ? "reload" : "uninstall";
  if (!p.options.restart || (!p.mod && !again)) return false;
  p.mod = p.options.restart(again);
  if (!again) return p.mod == nullptr && p.WaitFrames(3);
  if (!p.mod) return false;
  p.Start();
  return p.WaitFrames(3);
}

bool RunStep(Player& p, const std::string& step, std::string& note) {
  std::istringstream in(step);
  std::string verb;
  in >> verb;
  if (verb == "wait") {
    int n = 0;
    in >> n;
    note = "wait " + std::to_string(n);
    return n >= 0 && p.WaitFrames(n);
  }
  if (verb == "key") {
    std::string name;
    in >> name;
    const int code = ParseKeyName(name);
    note = "key " + name;
    if (code <= 0) return false;
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(code, MAPVK_VK_TO_VSC)) << 16;
    p.Post(WM_KEYDOWN, code, 1 | scan);
    p.Post(WM_KEYUP, code, 1 | scan | (LPARAM{1} << 30) | (LPARAM{1} << 31));
    return p.WaitFrames(3);
  }
  if (verb == "click") {
    int x = -1, y = -1;
    in >> x >> y;
    note = "click " + std::to_string(x) + " " + std::to_string(y);
    const LPARAM at = MAKELPARAM(x, y);
    p.Post(WM_MOUSEMOVE, 0, at);
    if (!p.WaitFrames(3)) return false;
    p.Post(WM_LBUTTONDOWN, MK_LBUTTON, at);
    if (!p.WaitFrames(3)) return false;
    p.Post(WM_LBUTTONUP, 0, at);
    return p.WaitFrames(3);
  }
  if (verb == "move") {
    int x = -1, y = -1;
    in >> x >> y;
    note = "move " + std::to_string(x) + " " + std::to_string(y);
    p.Post(WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    return p.WaitFrames(3);
  }
  if (verb == "drag") {
    int x = -1, y = -1, x2 = -1, y2 = -1;
    in >> x >> y >> x2 >> y2;
    note = "drag " + std::to_string(x) + " " + std::to_string(y) + " to " + std::to_string(x2) +
           " " + std::to_string(y2);
    p.Post(WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    if (!p.WaitFrames(3)) return false;
    p.Post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    if (!p.WaitFrames(3)) return false;
    constexpr int kSteps = 8;  // a hand moves the mouse over several frames
    for (int i = 1; i <= kSteps; ++i) {
      p.Post(WM_MOUSEMOVE, MK_LBUTTON,
             MAKELPARAM(x + (x2 - x) * i / kSteps, y + (y2 - y) * i / kSteps));
      if (!p.WaitFrames(2)) return false;
    }
    p.Post(WM_LBUTTONUP, 0, MAKELPARAM(x2, y2));
    return p.WaitFrames(3);
  }
  if (verb == "resize") return Resize(p, in, note);
  if (verb == "buffers") {
    note = "buffers";
    const int before = p.window.Resizes();
    p.window.HoldSize(false);
    return p.TurnUntil([&] { return p.window.Resizes() > before; }) && p.WaitFrames(3);
  }
  if (verb == "uninstall" || verb == "reload") return Restart(p, verb == "reload", note);
  if (verb == "shot") {
    std::string path;
    std::getline(in >> std::ws, path);
    note = "shot " + path;
    // Two frames first, so the picture is drawn wholly from the state the game holds.
    const uint64_t settled = p.window.Frames() + 2;
    if (!p.HoldUntil([&] { return p.window.Frames() >= settled; })) return false;
    p.window.RequestShot(path);
    bool ok = false;
    if (!p.HoldUntil([&] { return p.window.ShotDone(ok); }) || !ok) return false;
    if (p.options.afterShot)
      note += ": " + p.options.afterShot(path, p.window.ShotWidth(), p.window.ShotHeight());
    return true;
  }
  if (verb == "faults") {
    int n = 0;
    in >> n;
    note = "faults " + std::to_string(n);
    const int before = p.window.Resizes();
    p.window.ArmFaults(n);
    p.window.ResizeSwapChainAgain();
    return p.TurnUntil([&] { return p.window.Resizes() > before; }) && p.WaitFrames(10);
  }
  if (verb == "drawfaults") {
    int n = 0;
    in >> n;
    note = "drawfaults " + std::to_string(n);
    p.window.ArmDrawFaults(n);
    return p.WaitFrames(10);
  }
  note = "unknown step: " + step;
  return false;
}

// The console window opens while the game's window holds its presents back.
bool OpenForeignFirst(Player& p, win32::ForeignWindow& foreign, std::string& error) {
  p.window.PausePresents(true);
  if (!p.HoldUntil([&] { return p.window.PresentsPaused(); })) {
    error = "the game's window did not stop presenting";
    return false;
  }
  return foreign.Open(320, 240, error);
}

// With the mod started, the console presents a few frames (the game ticking meanwhile) before
// the game's window presents again.
bool PresentForeignFirst(Player& p, win32::ForeignWindow& foreign, std::string& error) {
  const uint64_t target = foreign.Frames() + 5;
  const bool ok = p.TurnUntil([&] { return foreign.Frames() >= target; });
  p.window.PausePresents(false);
  if (!ok) error = "the console window did not present";
  return ok;
}

}  // namespace

bool DrivePresented(mod::CppUserModBase* mod, World& world, const PresentOptions& options,
                    int ticks, double frameSeconds, PresentReport& report, std::string& error) {
  win32::SwapChainWindow window;
  if (!window.Open(options.width, options.height, error)) return false;
  Player player{window, world, mod, frameSeconds, options};
  win32::ForeignWindow foreign;
  bool ok = !options.foreignWindow || OpenForeignFirst(player, foreign, error);
  if (!ok) return false;
  player.Start();
  if (options.foreignWindow) ok = PresentForeignFirst(player, foreign, error);
  ok = ok && player.WaitFrames(2);
  std::istringstream script(options.script);
  for (std::string step; ok && std::getline(script, step, ';');) {
    if (step.find_first_not_of(" \t") == std::string::npos) continue;
    std::string note;
    ok = RunStep(player, step, note);
    report.steps.push_back(note + (ok ? "" : " FAILED"));
    if (!ok) error = "script step failed: " + note;
  }
  while (ok && player.ticks < ticks) player.Turn();
  report.frames = window.Frames();
  report.keyMessagesSeen = window.keyMessages;
  report.clickMessagesSeen = window.clickMessages;
  report.faultsRaised = window.FaultsRaised();
  report.targetsDisturbed = window.TargetsDisturbed();
  return ok;
}

}  // namespace kvr::sim
