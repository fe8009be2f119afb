#include "scene_gl.h"

#include <GL/gl.h>

#include "overlay/route_overlay.h"

namespace kvr::viewer {

namespace {

// Nearer than this the picture is cut off. The arena's camera keeps further than this from
// every wall, so no wall is ever cut open.
constexpr float kNearDepth = 10.0f;
constexpr float kFarDepth = 300000.0f;

float Dot(const aps::Vec3& a, const aps::Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

}  // namespace

std::array<float, 16> ClipMatrix(const game::CameraView& camera, float width, float height,
                                 float nearDepth, float farDepth) {
  const overlay::CameraProjection p = overlay::CameraProjection::Make(camera, width, height);
  const float sx = p.focal / p.halfWidth, sy = p.focal / p.halfHeight;
  // Clip w is the depth along the camera's forward axis, as the overlay divides by.
  const float a = (farDepth + nearDepth) / (farDepth - nearDepth);
  const float b = -2.0f * farDepth * nearDepth / (farDepth - nearDepth);
  const aps::Vec3 rows[3] = {p.right, p.up, p.forward};
  const float scale[3] = {sx, sy, a};
  std::array<float, 16> m{};
  for (int row = 0; row < 3; ++row) {
    m[0 * 4 + row] = scale[row] * rows[row].x;
    m[1 * 4 + row] = scale[row] * rows[row].y;
    m[2 * 4 + row] = scale[row] * rows[row].z;
    m[3 * 4 + row] = -scale[row] * Dot(rows[row], p.location) + (row == 2 ? b : 0.0f);
  }
  m[0 * 4 + 3] = p.forward.x;
  m[1 * 4 + 3] = p.forward.y;
  m[2 * 4 + 3] = p.forward.z;
  m[3 * 4 + 3] = -Dot(p.forward, p.location);
  return m;
}

namespace {

void DrawTriangles(const SceneMesh& mesh) {
  if (mesh.triangles.empty()) return;
  glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &mesh.triangles[0].x);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), &mesh.triangles[0].colour);
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(mesh.triangles.size()));
}

}  // namespace

void DrawMeshes(std::initializer_list<const SceneMesh*> meshes, const game::CameraView& camera,
                int width, int height, Rgb background) {
  glClearColor(background.r, background.g, background.b, 1.0f);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (!camera.valid || width <= 0 || height <= 0) return;
  const std::array<float, 16> clip = ClipMatrix(camera, static_cast<float>(width),
                                                static_cast<float>(height), kNearDepth, kFarDepth);
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(clip.data());
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glDisable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  for (const SceneMesh* mesh : meshes) DrawTriangles(*mesh);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisable(GL_DEPTH_TEST);
}

}  // namespace kvr::viewer
