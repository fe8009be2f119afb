// The window options `boot` and `play` share, and the lines they print about the presenting.
#include <iostream>

#include "commands.h"
#include "sim/present_window.h"

namespace kvr::sim::cli {

void AddPresentOptions(CLI::App* command, PresentOptions& options) {
  command->add_flag("--window", options.window,
                    "Windows: present the game on a real window and Direct3D 11 swap chain");
  command->add_option("--width", options.width, "Window width (default 1280)");
  command->add_option("--height", options.height, "Window height (default 720)");
  command->add_option("--script", options.script,
                      "With --window: steps separated by ';': wait N, key NAME, move X Y, "
                      "click X Y, drag X Y X2 Y2, resize W H [held], buffers, shot PATH, faults N, "
                      "drawfaults N, uninstall, reload");
  command->add_flag("--foreign-window", options.foreignWindow,
                    "With --window: a second window on its own thread presents with Direct3D 11 "
                    "first, as a mod host's console does");
}

void PrintPresented(const PresentReport& p) {
  for (const std::string& step : p.steps) std::cout << "step: " << step << "\n";
  std::cout << "presented " << p.frames << " frames; the game saw " << p.keyMessagesSeen
            << " key and " << p.clickMessagesSeen << " click messages; " << p.faultsRaised
            << " injected faults fired; the host's render target was left unbound or held in "
            << p.targetsDisturbed << " frames\n";
}

}  // namespace kvr::sim::cli
