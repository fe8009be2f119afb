#include "top_down.h"

#include <algorithm>

#include "overlay/route_overlay.h"

namespace kvr::viewer {

namespace {

constexpr float kBorder = 1.04f;  // floor to picture: a little room around the floor's edge

}  // namespace

game::CameraView TopDownCamera(const sim::Level& level, float width, float height) {
  game::CameraView view;
  if (!(width >= 1.0f && height >= 1.0f)) return view;
  view.rotation = {-90.0f, 0.0f, 0.0f};
  view.fov = kTopDownFov;
  view.aspectRatioAxisConstraint = 0;  // the field of view spans the picture's height
  view.location = {0.0f, 0.0f, 0.0f};
  view.valid = true;
  // The focal length in pixels for this picture, from the overlay's own projection.
  const float focal = overlay::CameraProjection::Make(view, width, height).focal;
  const float spanX = level.floorMaxX - level.floorMinX;  // up the picture
  const float spanY = level.floorMaxY - level.floorMinY;  // across it
  const float above = kBorder * std::max(0.5f * spanX * focal / (0.5f * height),
                                         0.5f * spanY * focal / (0.5f * width));
  view.location = {0.5f * (level.floorMinX + level.floorMaxX),
                   0.5f * (level.floorMinY + level.floorMaxY), level.floorZ + above};
  return view;
}

}  // namespace kvr::viewer
