// Draws a scene mesh with OpenGL's depth test, from a camera given the way the engine gives
// it: the projection matches the overlay's own (same axes, same focal length), so the route
// lines and labels the overlay draws afterwards land on the floor they belong to.
#pragma once
#include <array>
#include <initializer_list>

#include "game/menu_snapshot.h"
#include "scene_mesh.h"

namespace kvr::viewer {

// Column-major, as OpenGL loads it: the overlay's projection of `camera` onto a width x height
// picture, with depth running from `nearDepth` to `farDepth` cm in front of the camera.
std::array<float, 16> ClipMatrix(const game::CameraView& camera, float width, float height,
                                 float nearDepth, float farDepth);

struct Rgb {
  float r, g, b;
};

// Clears the picture to `background` and the depth buffer, then draws the meshes' triangles
// depth-tested. Leaves depth testing off again for the overlay, which draws over everything.
void DrawMeshes(std::initializer_list<const SceneMesh*> meshes, const game::CameraView& camera,
                int width, int height, Rgb background);

}  // namespace kvr::viewer
