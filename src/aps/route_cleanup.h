// Clean-up passes over a finished route. They remove points in place (no extra buffers) and
// keep the apex index (position of the arc's apex in the route) up to date, so the apex that
// gives the arc its shape is never removed.
#pragma once
#include "aps/aps.h"

namespace kvr::aps {

// APS string pulling: from each point, skip every following point up to the farthest one in
// a row with open line of sight, but never past the apex (a shortcut may end at it). Counts
// line tests and points removed by shortcuts.
void PullString(INav& nav, Route& route, int& apexIndex, ArcStats& stats);

// Removes inner points whose horizontal bend is flatter than collinearDot (dot of the unit
// directions above it), when checkOnNavmesh is false or the line from the point before to the
// point after is open. The apex is never thinned. Counts line tests and collinear removals.
void ThinCollinear(INav& nav, Route& route, int& apexIndex, float collinearDot, bool checkOnNavmesh,
                   ArcStats& stats);

// Weave routes only: removes every inner point that lies within 5 cm (horizontally) of both
// its predecessor and its successor. End points are never removed.
void DropNearDuplicates(Route& route);

}  // namespace kvr::aps
