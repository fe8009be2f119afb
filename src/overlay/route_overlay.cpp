#include "overlay/route_overlay.h"

#include <cmath>

namespace kvr::overlay {

namespace {

constexpr float kDegToRad = 0.017453292f;

float Dot(const aps::Vec3& a, const aps::Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The screen extent that spans the field of view, by the engine's aspect-ratio rule.
float FovExtent(int32_t constraint, float width, float height) {
  switch (constraint) {
    case 0:  // keep the vertical field of view
      return height;
    case 2:  // the field of view spans the longer side
      return width > height ? width : height;
    default:  // keep the horizontal field of view
      return width;
  }
}

}  // namespace

CameraProjection CameraProjection::Make(const game::CameraView& camera, float width, float height) {
  const float pitch = camera.rotation.x * kDegToRad;
  const float yaw = camera.rotation.y * kDegToRad;
  const float roll = camera.rotation.z * kDegToRad;
  const float cp = std::cos(pitch), sp = std::sin(pitch);
  const float cy = std::cos(yaw), sy = std::sin(yaw);
  const float cr = std::cos(roll), sr = std::sin(roll);
  CameraProjection p;
  p.location = camera.location;
  p.forward = {cp * cy, cp * sy, sp};
  p.right = {sr * sp * cy - cr * sy, sr * sp * sy + cr * cy, -sr * cp};
  p.up = {-(cr * sp * cy + sr * sy), cy * sr - cr * sp * sy, cr * cp};
  p.focal = FovExtent(camera.aspectRatioAxisConstraint, width, height) * 0.5f /
            std::tan(camera.fov * 0.5f * kDegToRad);
  p.halfWidth = width * 0.5f;
  p.halfHeight = height * 0.5f;
  return p;
}

bool CameraProjection::Project(const aps::Vec3& point, ImVec2& screen) const {
  const aps::Vec3 d{point.x - location.x, point.y - location.y, point.z + kRouteRaise - location.z};
  const float depth = Dot(d, forward);
  if (!(depth >= kNearestDepth)) return false;
  const float x = halfWidth + focal * Dot(d, right) / depth;
  const float y = halfHeight - focal * Dot(d, up) / depth;
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  screen = ImVec2(x, y);
  return true;
}

bool ProjectToScreen(const aps::Vec3& point, const game::CameraView& camera, float width,
                     float height, ImVec2& screen) {
  return CameraProjection::Make(camera, width, height).Project(point, screen);
}

ImU32 RouteColour(uint32_t rgb) {
  return IM_COL32((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, kRouteAlpha);
}

void DrawRoutes(ImDrawList* list, ImVec2 display, const game::CameraView& camera,
                const std::vector<game::RouteLine>& routes) {
  const CameraProjection projection = CameraProjection::Make(camera, display.x, display.y);
  for (const game::RouteLine& route : routes) {
    const ImU32 colour = RouteColour(route.colour);
    const float thickness = route.reshaped ? kReshapedThickness : kEngineThickness;
    const size_t n = route.points.size();
    bool previousVisible = false;
    bool labelDrawn = false;
    ImVec2 previous;
    for (size_t k = 0; k < n; ++k) {
      ImVec2 screen;
      if (!projection.Project(route.points[k], screen)) {
        previousVisible = false;
        continue;
      }
      if (previousVisible) list->AddLine(previous, screen, colour, thickness);
      const bool end = k == 0 || k + 1 == n;
      list->AddCircleFilled(screen, end ? kEndDotRadius : kDotRadius, colour, 0);
      if (!labelDrawn) {
        list->AddText(ImVec2(screen.x + 6.0f, screen.y - 16.0f), colour, route.label.c_str());
        labelDrawn = true;
      }
      previous = screen;
      previousVisible = true;
    }
  }
}

}  // namespace kvr::overlay
