#include "aps/route_cleanup.h"

#include <algorithm>

#include "aps/horizontal.h"

namespace kvr::aps {

void PullString(INav& nav, Route& route, int& apexIndex, ArcStats& stats) {
  for (int i = 0; i < static_cast<int>(route.size()) - 2; ++i) {
    const int n = static_cast<int>(route.size());
    int reach = i + 1;
    for (int j = i + 2; j < n; ++j) {
      if (i < apexIndex && apexIndex < j) break;  // a shortcut never jumps the apex
      ++stats.lineTests;
      if (!nav.HasLineOfSight(route[i].location, route[j].location)) break;
      reach = j;
    }
    const int removed = reach - (i + 1);
    if (removed <= 0) continue;
    route.erase(route.begin() + (i + 1), route.begin() + reach);
    stats.removedShortcuts += removed;
    if (i < apexIndex) apexIndex -= std::min(removed, apexIndex - (i + 1));
  }
}

void ThinCollinear(INav& nav, Route& route, int& apexIndex, float collinearDot, bool checkOnNavmesh,
                   ArcStats& stats) {
  int k = 1;
  for (;;) {
    const int n = static_cast<int>(route.size());
    if (k >= n - 1) return;
    if (k == apexIndex) {
      k = apexIndex + 1;
      if (k == n - 1) return;
    }
    const Vec3 d1 = HorizontalUnit(Sub(route[k].location, route[k - 1].location));
    const Vec3 d2 = HorizontalUnit(Sub(route[k + 1].location, route[k].location));
    if (!(HorizontalDot(d1, d2) > collinearDot)) {
      ++k;
      continue;
    }
    if (checkOnNavmesh) {
      ++stats.lineTests;
      if (!nav.HasLineOfSight(route[k - 1].location, route[k + 1].location)) {
        ++k;
        continue;
      }
    }
    route.erase(route.begin() + k);
    ++stats.removedCollinear;
    if (k < apexIndex) --apexIndex;
  }
}

void DropNearDuplicates(Route& route) {
  if (route.size() <= 2) return;
  // One compacting pass: a point is compared with the last point kept and with its original
  // successor, which is exactly what removing points one at a time would compare.
  size_t kept = 1;
  for (size_t i = 1; i + 1 < route.size(); ++i) {
    const bool nearPrev = HorizontalDistance(route[kept - 1].location, route[i].location) < 5.0f;
    const bool nearNext = HorizontalDistance(route[i].location, route[i + 1].location) < 5.0f;
    if (nearPrev && nearNext) continue;
    route[kept++] = route[i];
  }
  route[kept++] = route.back();
  route.resize(kept);
}

}  // namespace kvr::aps
