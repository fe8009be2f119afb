// The route overlay: every route line of the snapshot projected from the world onto the screen
// with the published camera view, drawn as a polyline in its style's colour (thick when the mod
// reshaped it, thin for the engine's own route), a dot on every point and the label at the first
// visible point. The render thread never asks the engine anything: the camera comes with the
// snapshot.
#pragma once
#include <vector>

#include "game/menu_snapshot.h"
#include "imgui.h"

namespace kvr::overlay {

inline constexpr float kRouteRaise = 20.0f;   // cm above the route point, off the floor
inline constexpr float kNearestDepth = 5.0f;  // cm; closer points are not drawn
inline constexpr float kReshapedThickness = 3.0f;
inline constexpr float kEngineThickness = 1.5f;
inline constexpr float kEndDotRadius = 5.0f;
inline constexpr float kDotRadius = 3.0f;
inline constexpr ImU32 kRouteAlpha = 230;

// The camera's axes and focal length for one display size, worked out once per frame.
struct CameraProjection {
  aps::Vec3 location;
  aps::Vec3 forward;
  aps::Vec3 right;
  aps::Vec3 up;
  float focal = 0.0f;
  float halfWidth = 0.0f;
  float halfHeight = 0.0f;

  static CameraProjection Make(const game::CameraView& camera, float width, float height);
  // False when the point (raised by kRouteRaise) is behind, too close or not finite on screen.
  bool Project(const aps::Vec3& point, ImVec2& screen) const;
};

// The screen point of a world point, false when it is not visible.
bool ProjectToScreen(const aps::Vec3& point, const game::CameraView& camera, float width,
                     float height, ImVec2& screen);

// ImGui colour of a 0x??RRGGBB route colour, alpha 230 (the top byte is ignored).
ImU32 RouteColour(uint32_t rgb);

// Draws the routes into `list` (the background draw list, behind the menu).
void DrawRoutes(ImDrawList* list, ImVec2 display, const game::CameraView& camera,
                const std::vector<game::RouteLine>& routes);

}  // namespace kvr::overlay
