// The route overlay: the worked projections, and routes drawn into a real ImGui draw list,
// compared primitive for primitive with the drawing they must produce.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "overlay/route_overlay.h"
#include "overlay_support.h"

namespace kvr::test {
namespace {

using overlay::ProjectToScreen;

game::CameraView StraightAhead(int32_t constraint) {
  game::CameraView camera;
  camera.valid = true;
  camera.fov = 90.0f;
  camera.aspectRatioAxisConstraint = constraint;
  return camera;
}

TEST(RouteProjection, WorkedExamples) {
  ImVec2 s;
  // 1000 cm ahead, 100 cm above the camera (120 cm once raised), 1920 x 1080, 90 degrees.
  ASSERT_TRUE(ProjectToScreen({1000, 0, 100}, StraightAhead(0), 1920, 1080, s));
  EXPECT_NEAR(s.x, 960.0f, 1e-3f);
  EXPECT_NEAR(s.y, 475.2f, 1e-3f);
  ASSERT_TRUE(ProjectToScreen({1000, 0, 100}, StraightAhead(1), 1920, 1080, s));
  EXPECT_NEAR(s.x, 960.0f, 1e-3f);
  EXPECT_NEAR(s.y, 424.8f, 1e-3f);
  // The major axis of a landscape display is its width; an unknown rule keeps the width too.
  ASSERT_TRUE(ProjectToScreen({1000, 0, 100}, StraightAhead(2), 1920, 1080, s));
  EXPECT_NEAR(s.y, 424.8f, 1e-3f);
  ASSERT_TRUE(ProjectToScreen({1000, 0, 100}, StraightAhead(2), 1080, 1920, s));
  EXPECT_NEAR(s.y, 960.0f - 960.0f * 0.12f, 1e-3f);
  ASSERT_TRUE(ProjectToScreen({1000, 0, 100}, StraightAhead(7), 1920, 1080, s));
  EXPECT_NEAR(s.y, 424.8f, 1e-3f);
  // Y is right in the engine: a point to the right lands right of the centre.
  ASSERT_TRUE(ProjectToScreen({1000, 500, -20}, StraightAhead(1), 1920, 1080, s));
  EXPECT_NEAR(s.x, 960.0f + 960.0f * 0.5f, 1e-2f);
  EXPECT_NEAR(s.y, 540.0f, 1e-3f);
}

TEST(RouteProjection, CameraTurnedAndBehind) {
  game::CameraView camera = StraightAhead(1);
  camera.location = {100, 200, 300};
  camera.rotation = {0, 90, 0};  // looking along +Y
  ImVec2 s;
  ASSERT_TRUE(ProjectToScreen({100, 1200, 280}, camera, 1920, 1080, s));
  EXPECT_NEAR(s.x, 960.0f, 1e-2f);
  EXPECT_NEAR(s.y, 540.0f, 1e-2f);
  EXPECT_FALSE(ProjectToScreen({100, -800, 280}, camera, 1920, 1080, s));  // behind
  EXPECT_FALSE(ProjectToScreen({100, 204, 280}, camera, 1920, 1080, s));   // 4 cm ahead
  EXPECT_TRUE(ProjectToScreen({100, 205, 280}, camera, 1920, 1080, s));    // 5 cm ahead
  camera.rotation = {-90, 0, 0};                                           // looking straight down
  ASSERT_TRUE(ProjectToScreen({100, 200, -700}, camera, 1920, 1080, s));
  EXPECT_NEAR(s.x, 960.0f, 1e-2f);
  EXPECT_FALSE(ProjectToScreen({NAN, 0, 0}, camera, 1920, 1080, s));
  camera.fov = 0.0f;  // a degenerate lens projects nothing finite
  EXPECT_FALSE(ProjectToScreen({100, 200, -700}, camera, 1920, 1080, s));
}

TEST(RouteProjection, ColourKeepsRgbAndSetsAlpha230) {
  EXPECT_EQ(overlay::RouteColour(0xFF40C0FFu), IM_COL32(64, 192, 255, 230));
  EXPECT_EQ(overlay::RouteColour(0x00FFFF40u), IM_COL32(255, 255, 64, 230));
}

// The vertices and indices one drawing leaves in the background draw list.
struct Drawing {
  std::vector<ImDrawVert> vertices;
  std::vector<ImDrawIdx> indices;
};

class RouteDrawingTest : public OverlayFixture {
 protected:
  RouteDrawingTest() : OverlayFixture(ImVec2(1920, 1080)) {}

  Drawing Draw(const std::function<void(ImDrawList*)>& body) {
    ImGui::NewFrame();
    ImDrawList* list = ImGui::GetBackgroundDrawList();
    const int v0 = list->VtxBuffer.Size, i0 = list->IdxBuffer.Size;
    body(list);
    Drawing d{{list->VtxBuffer.begin() + v0, list->VtxBuffer.end()},
              {list->IdxBuffer.begin() + i0, list->IdxBuffer.end()}};
    texts_.clear();
    reader_->Read(list, texts_);
    ImGui::EndFrame();
    return d;
  }
  Drawing Routes(const std::vector<game::RouteLine>& routes) {
    return Draw(
        [&](ImDrawList* list) { overlay::DrawRoutes(list, ImVec2(1920, 1080), camera_, routes); });
  }
  ImVec2 Screen(const aps::Vec3& p) {
    ImVec2 s;
    EXPECT_TRUE(ProjectToScreen(p, camera_, 1920, 1080, s));
    return s;
  }
  // Same primitives: equal indices, vertex positions and colours.
  static bool Same(const Drawing& a, const Drawing& b) {
    if (a.vertices.size() != b.vertices.size() || a.indices != b.indices) return false;
    for (size_t i = 0; i < a.vertices.size(); ++i) {
      const ImDrawVert &x = a.vertices[i], &y = b.vertices[i];
      if (x.pos.x != y.pos.x || x.pos.y != y.pos.y || x.col != y.col) return false;
    }
    return true;
  }
  static game::RouteLine Line(std::vector<aps::Vec3> points, int style, bool reshaped) {
    game::RouteLine r;
    r.points = std::move(points);
    r.style = style;
    r.colour = aps::Style(style).colour;
    r.label = std::string(aps::Style(style).name) + (reshaped ? "" : " (engine)");
    r.reshaped = reshaped;
    return r;
  }

  game::CameraView camera_ = StraightAhead(0);
  std::vector<DrawnText> texts_;
};

TEST_F(RouteDrawingTest, AReshapedRouteIsAThickPolylineWithDotsAndItsLabel) {
  const game::RouteLine route = Line({{1000, -200, 0}, {1200, 0, 0}, {1400, 300, 0}}, 1, true);
  const ImU32 c = IM_COL32(64, 192, 255, 230);
  const ImVec2 p0 = Screen(route.points[0]), p1 = Screen(route.points[1]),
               p2 = Screen(route.points[2]);
  const Drawing expected = Draw([&](ImDrawList* l) {
    l->AddCircleFilled(p0, 5.0f, c, 0);
    l->AddText(ImVec2(p0.x + 6, p0.y - 16), c, "Arc Left");
    l->AddLine(p0, p1, c, 3.0f);
    l->AddCircleFilled(p1, 3.0f, c, 0);
    l->AddLine(p1, p2, c, 3.0f);
    l->AddCircleFilled(p2, 5.0f, c, 0);
  });
  const Drawing drawn = Routes({route});
  EXPECT_TRUE(Same(drawn, expected));
  ASSERT_EQ(texts_.size(), 1u);
  EXPECT_EQ(texts_[0].text, "ArcLeft");
  EXPECT_EQ(texts_[0].colour, c);
  // Every vertex carries the style's colour at alpha 230, or alpha 0 on anti-aliased fringes.
  int opaque = 0;
  for (const ImDrawVert& v : drawn.vertices) {
    EXPECT_EQ(v.col & 0x00FFFFFFu, c & 0x00FFFFFFu);
    const ImU32 alpha = v.col >> IM_COL32_A_SHIFT;
    EXPECT_TRUE(alpha == 230u || alpha == 0u) << alpha;
    opaque += alpha == 230u;
  }
  EXPECT_GT(opaque, 0);
}

TEST_F(RouteDrawingTest, TheEnginesRouteIsThin) {
  const game::RouteLine route = Line({{1000, -200, 0}, {1400, 300, 0}}, 6, false);
  const ImU32 c = IM_COL32(255, 255, 64, 230);
  const ImVec2 p0 = Screen(route.points[0]), p1 = Screen(route.points[1]);
  auto expect = [&](float thickness) {
    return Draw([&](ImDrawList* l) {
      l->AddCircleFilled(p0, 5.0f, c, 0);
      l->AddText(ImVec2(p0.x + 6, p0.y - 16), c, "Weave Right (engine)");
      l->AddLine(p0, p1, c, thickness);
      l->AddCircleFilled(p1, 5.0f, c, 0);
    });
  };
  const Drawing drawn = Routes({route});
  EXPECT_TRUE(Same(drawn, expect(1.5f)));
  EXPECT_FALSE(Same(drawn, expect(3.0f)));
  EXPECT_EQ(texts_[0].text, "WeaveRight(engine)");
}

TEST_F(RouteDrawingTest, PointsBehindTheCameraBreakTheLineAndMoveTheLabel) {
  // Behind, ahead, behind, ahead, ahead: one segment only, label at the first visible point.
  const game::RouteLine route =
      Line({{-500, 0, 0}, {1000, 0, 0}, {-10, 0, 0}, {1500, 100, 0}, {2000, 200, 0}}, 3, true);
  const ImU32 c = IM_COL32(255, 128, 64, 230);
  const ImVec2 p1 = Screen(route.points[1]), p3 = Screen(route.points[3]),
               p4 = Screen(route.points[4]);
  const Drawing expected = Draw([&](ImDrawList* l) {
    l->AddCircleFilled(p1, 3.0f, c, 0);
    l->AddText(ImVec2(p1.x + 6, p1.y - 16), c, "Wide Left");
    l->AddCircleFilled(p3, 3.0f, c, 0);
    l->AddLine(p3, p4, c, 3.0f);
    l->AddCircleFilled(p4, 5.0f, c, 0);
  });
  EXPECT_TRUE(Same(Routes({route}), expected));
  ASSERT_EQ(texts_.size(), 1u);
  EXPECT_NEAR(texts_[0].at.x, p1.x + 6, 2.0f);  // first glyph, inside its cell
}

TEST_F(RouteDrawingTest, OneVisiblePointIsADotAndALabel) {
  const game::RouteLine route = Line({{1000, 0, 0}, {-1000, 0, 0}}, 0, true);
  const ImU32 c = IM_COL32(224, 224, 224, 230);
  const ImVec2 p0 = Screen(route.points[0]);
  const Drawing expected = Draw([&](ImDrawList* l) {
    l->AddCircleFilled(p0, 5.0f, c, 0);
    l->AddText(ImVec2(p0.x + 6, p0.y - 16), c, "Direct");
  });
  EXPECT_TRUE(Same(Routes({route}), expected));
  // Nothing visible, nothing drawn; an empty route draws nothing either.
  EXPECT_TRUE(Routes({Line({{-1000, 0, 0}}, 0, true), Line({}, 2, true)}).vertices.empty());
}

}  // namespace
}  // namespace kvr::test
