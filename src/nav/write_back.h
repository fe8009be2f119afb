// Writing a route back into the engine's own path object.
#pragma once
#include "aps/aps.h"

namespace kvr::game {

// Writes `route` into the engine path object: in place when its point array has the capacity,
// otherwise into a new array from the engine allocator (the old array is freed with it). False,
// with the path untouched, when the path's array is missing or inconsistent, the route is empty
// or too long, or the route does not fit and there is no engine allocator.
bool WriteBackRoute(void* path, const aps::Route& route);

}  // namespace kvr::game
