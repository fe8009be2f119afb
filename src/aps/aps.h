// Approach styles and arc routes (the "APS" arc algorithm).
//
// Turns a plain route between a start and a goal into a curved approach lane: bent sideways
// through an apex once (Arc, Wide) or several times (Weave). The builder sees the world only
// through INav, so it runs unchanged against the engine's navigation, a Detour navmesh or a
// test double. Pure code: no engine types, no global state; failures are plain false.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvr::aps {

// Engine world centimetres, Z up, X forward, Y right. "Horizontal" means x and y only.
struct Vec3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

// One route point, byte for byte the engine's path point (routes are copied to and from
// engine memory). The builder reads only the location; points it creates have zero extras.
struct NavPoint {
  Vec3 location;
  uint32_t padding = 0;
  uint64_t nodeRef = 0;
  uint32_t flags = 0;
  uint32_t customLinkId = 0;
};
static_assert(sizeof(NavPoint) == 32);
static_assert(offsetof(NavPoint, location) == 0);
static_assert(offsetof(NavPoint, nodeRef) == 16);
static_assert(offsetof(NavPoint, flags) == 24);
static_assert(offsetof(NavPoint, customLinkId) == 28);

using Route = std::vector<NavPoint>;

// Style indices: the network's output order, the per-thug style and the overlay colour.
enum ApproachStyle : int32_t {
  kDirect = 0,
  kArcLeft = 1,
  kArcRight = 2,
  kWideLeft = 3,
  kWideRight = 4,
  kWeaveLeft = 5,
  kWeaveRight = 6,
};
inline constexpr int kStyleCount = 7;

struct StyleInfo {
  const char* name;
  float strength;   // signed: positive bends to the left of the direction of travel
  int32_t humps;    // bends the style asks for
  uint32_t colour;  // 0xAARRGGBB
};

// The style table; index clamped to 0..6.
const StyleInfo& Style(int index);

// The builder's parameters: sixteen 4-byte fields in this order.
struct ArcParams {
  float strength = 0.0f;
  int32_t humps = 1;
  float amplitudeFraction = 0.35f;
  float agentRadius = 34.0f;
  float clearanceRadiusScale = 1.5f;
  int32_t clearanceProbes = 8;
  float clearanceWeight = 2.0f;
  float apexBendWeight = 1.0f;
  float backwardsWeight = 3.0f;
  float wrongSidePenalty = 5.0f;
  float multiSegmentFalloff = 0.4f;
  float maxStretchFirst = 0.6f;
  float maxStretchExtra = 0.25f;
  uint32_t lineOfSightShortcuts = 1;
  float collinearDot = 0.99f;
  uint32_t checkRemovals = 1;
};
static_assert(sizeof(ArcParams) == 64);
static_assert(offsetof(ArcParams, humps) == 4 && offsetof(ArcParams, agentRadius) == 12);
static_assert(offsetof(ArcParams, clearanceProbes) == 20 &&
              offsetof(ArcParams, wrongSidePenalty) == 36);
static_assert(offsetof(ArcParams, maxStretchFirst) == 44 &&
              offsetof(ArcParams, checkRemovals) == 60);

// Counters of one build; the caller zeroes them first.
struct ArcStats {
  int32_t projections = 0;
  int32_t pathSearches = 0;
  int32_t lineTests = 0;
  int32_t candidatesTried = 0;
  int32_t candidatesScored = 0;
  float bestScore = 0.0f;
  int32_t humpsAccepted = 0;
  int32_t humpsRejectedStretch = 0;
  int32_t removedShortcuts = 0;
  int32_t removedCollinear = 0;
  int32_t Queries() const { return projections + pathSearches + lineTests; }
};
static_assert(offsetof(ArcStats, bestScore) == 20 && offsetof(ArcStats, removedCollinear) == 36);

// The outcome of one arc attempt between two points.
struct ArcChoice {
  Route leg1;  // first point to apex
  Route leg2;  // apex to second point
  float score = -1e9f;
};

// The navigation the builder needs. A false result never throws.
class INav {
 public:
  virtual ~INav() = default;
  // True when the point could be placed on the navmesh; projected then holds that location.
  virtual bool ProjectPoint(const Vec3& point, Vec3& projected) = 0;
  // True only for a complete, non-partial path with at least one point (points replaced).
  virtual bool FindPath(const Vec3& from, const Vec3& to, Route& points) = 0;
  // True when the straight line between the points is open on the navmesh.
  virtual bool HasLineOfSight(const Vec3& from, const Vec3& to) = 0;
};

// Bends the route from start to end; true when out holds 2+ points that replace the engine
// route, false when the engine route is to be kept (out is then empty). Scratch routes live in
// per-thread buffers that keep only their capacity between calls (see aps/arc_builder.h).
bool BuildArcRoute(INav& nav, const Vec3& start, const Vec3& end, const ArcParams& params,
                   Route& out, ArcStats& stats);

// Best of the nine apex candidates between a and b; false when none survived.
bool BuildBestArc(INav& nav, const Vec3& a, const Vec3& b, float strength, const ArcParams& params,
                  ArcChoice& choice, ArcStats& stats);

}  // namespace kvr::aps
