// The options every arena command shares: level, rules, thugs, minutes, seed, mod binary,
// navmesh cache, the engine threads beside the game thread and the engine allocator.
#include "commands.h"
#include "sim/arena/play.h"

namespace kvr::sim::cli {

void AddArenaOptions(CLI::App* command, PlayOptions& options) {
  command
      ->add_option("--level", options.level,
                   "Level JSON file with a player start and spawn points, \"default\" for the "
                   "arena, or a shipped level's name (\"large\")")
      ->capture_default_str();
  command->add_option("--rules", options.rules,
                      "Rules JSON file (default: <level>.rules.json beside the level, else the "
                      "arena's rules)");
  command->add_option("--thugs", options.thugs, "Thugs in the arena")
      ->check(CLI::Range(0, kMaxArenaThugs))
      ->capture_default_str();
  command->add_option("--minutes", options.minutes, "Simulated minutes to play")
      ->check(CLI::Range(0.001, 1440.0))
      ->capture_default_str();
  // A negative seed would silently wrap around to a huge one.
  command->add_option("--seed", options.seed, "Seed of the arena's random events")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  // The rules' frameSeconds range (0.001 .. 0.25 s) in frames per second.
  command
      ->add_option("--fps", options.fps,
                   "Simulated frames per second, overriding the rules file's frameSeconds")
      ->check(CLI::Range(4.0, 1000.0));
  command->add_option("--mod-binary", options.modBinary,
                      "The mod module to install (default: the one next to kvr-sim)");
  command->add_option("--nav-cache", options.navCacheDir,
                      "Folder for cached navmesh builds (default: the system's temp folder; "
                      "\"none\" builds every time)");
  command
      ->add_option("--workers", options.pathWorkers,
                   "Engine threads that plan paths through the navmesh slot beside the game "
                   "thread (15 queries per simulated second between them; 0 = none)")
      ->check(CLI::Range(0, 16))
      ->capture_default_str();
  command->add_flag_callback(
      "--no-engine-allocator", [&options] { options.engineAllocator = false; },
      "The engine offers the mod no allocator (routes are only reshaped where they fit the "
      "engine's point array)");
}

}  // namespace kvr::sim::cli
