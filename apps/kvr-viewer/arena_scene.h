// The arena as the viewer shows it: a level with its navmesh, a player and thugs whose routes
// the mod's arc builder reshaped, seen from behind the player; and the menu snapshot the mod
// would publish for it, so the mod's own menu and route overlay draw it.
#pragma once
#include <string>
#include <vector>

#include "game/menu_snapshot.h"
#include "imgui.h"
#include "sim/nav/level.h"

namespace kvr::viewer {

struct Thug {
  aps::Vec3 position;
  int style = 0;
};

struct ArenaScene {
  sim::Level level;
  std::vector<sim::Obstacle> obstacles;
  aps::Vec3 player;
  std::vector<Thug> thugs;
  game::MenuSnapshot snapshot;  // camera, routes, thug rows, brain and status figures
};

// Loads the level, builds its navmesh and plans every thug's route to the player; false with a
// one-line reason when the level cannot be loaded or built.
bool BuildArenaScene(const std::string& levelFile, ArenaScene& scene, std::string& error);

// Floor, obstacles, player and thugs into `list`, with the overlay's projection for `display`.
void DrawArena(ImDrawList* list, ImVec2 display, const ArenaScene& scene);

}  // namespace kvr::viewer
