// routes.svg: the arena from above at the end of a match, with each thug's last route in its
// style's colour (the reshaped route thick, the engine's own route thin), the thugs where they
// stand and the player with its fire cone.
#pragma once
#include <string>

#include "sim/nav/detour_nav.h"
#include "sim/nav/level.h"
#include "sim/report/match_record.h"

namespace kvr::sim::report {

std::string RoutesSvg(const MatchRecord& record, const Level& level, const NavMesh& mesh,
                      const std::string& title);

}  // namespace kvr::sim::report
