// The stand-in host's picture: on Windows a real window with a Direct3D 11 swap chain that a
// render thread presents while the simulated game runs on the window's own thread (which pumps
// the window's messages between ticks, as the engine's game thread does). The mod finds that
// swap chain and window exactly as it finds the game's.
//
// A script drives what a player would do, one step after another (steps separated by ';'):
//   wait N        until N more frames were presented
//   key NAME      the key pressed and released (window messages; NAME as config.ini writes it)
//   move X Y      the mouse moved to client point X,Y
//   click X Y     the mouse moved to client point X,Y and the left button clicked there
//   drag X Y X2 Y2  the left button pressed at X,Y, the mouse moved to X2,Y2, the button released
//   resize W H    the window's client area resized; the host resizes its swap chain on WM_SIZE
//   resize W H held  the client area resized while the host keeps its swap chain's size (the
//                 picture is stretched onto the window) until the next `buffers` step
//   buffers       the host resizes its swap chain to the client area at last
//   shot PATH     the next presented picture (overlay included) saved as PNG; the game holds
//                 still from two frames before the picture until it is written, so what the
//                 picture shows is the game's state when the step ends
//   faults N      the next N back-buffer requests of anyone but the host fault (an access
//                 violation), and the swap chain is resized so the overlay must ask again
//   drawfaults N  the next N indexed draws on the device context fault (the host never draws
//                 indexed; an overlay does)
//   uninstall     the mod host uninstalls the mod (the game goes on without it)
//   reload        the mod host uninstalls the mod and starts it again, as its reload key does
//                 (the host's update, then on_unreal_init)
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kvr::mod {
class CppUserModBase;
}

namespace kvr::sim {

class World;

struct PresentOptions {
  bool window = false;  // present on a real window (Windows builds only)
  int width = 1280;
  int height = 720;
  std::string script;
  // Before the mod starts, a second window on a thread of its own presents with Direct3D 11,
  // as a mod host's console does, and the game's window presents only once that one has.
  bool foreignWindow = false;
  // The host's uninstall (false: the mod is gone) or reload (true: a new mod object, not yet
  // initialised); returns the running mod object. Needed by the uninstall and reload steps.
  std::function<mod::CppUserModBase*(bool startAgain)> restart;
  // Called on the game thread after each shot, while the game still holds still, with the
  // picture's path and size; what it returns is added to the step's line.
  std::function<std::string(const std::string& path, int width, int height)> afterShot;
};

struct PresentReport {
  uint64_t frames = 0;             // frames the render thread presented
  int keyMessagesSeen = 0;         // key messages that reached the host's own window procedure
  int clickMessagesSeen = 0;       // left-button messages that reached it
  int faultsRaised = 0;            // injected faults that fired
  int targetsDisturbed = 0;        // frames that left the host's render target unbound or held
  std::vector<std::string> steps;  // one line per script step, with its outcome
};

// Starts the mod (the host's update, then on_unreal_init, through the object's table) with the
// window presenting, runs the script while the game ticks (at least `ticks` ticks of
// `frameSeconds`, each followed by the host's update), and leaves the mod running for its
// uninstall. False (error set) when the window or swap chain cannot be made, or a step fails.
bool DrivePresented(mod::CppUserModBase* mod, World& world, const PresentOptions& options,
                    int ticks, double frameSeconds, PresentReport& report, std::string& error);

}  // namespace kvr::sim
