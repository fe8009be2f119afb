#include "sim/nav/level.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/file.h"

namespace kvr::sim {
namespace {

using nlohmann::json;

bool ReadNumbers(const json& j, float* out, size_t count) {
  if (!j.is_array() || j.size() != count) return false;
  for (size_t i = 0; i < count; ++i) {
    if (!j[i].is_number()) return false;
    const double v = j[i].get<double>();
    if (!std::isfinite(v) || std::fabs(v) > kMaxLevelExtent) return false;
    out[i] = static_cast<float>(v);
  }
  return true;
}

bool ReadNumber(const json& j, const char* key, float& out) {
  const auto it = j.find(key);
  if (it == j.end() || !it->is_number()) return false;
  const double v = it->get<double>();
  if (!std::isfinite(v) || std::fabs(v) > kMaxLevelExtent) return false;
  out = static_cast<float>(v);
  return true;
}

bool ParseFloor(const json& j, Level& level, std::string& error) {
  float lo[2], hi[2];
  if (!j.is_object() || !ReadNumbers(j.value("min", json()), lo, 2) ||
      !ReadNumbers(j.value("max", json()), hi, 2) || !ReadNumber(j, "z", level.floorZ)) {
    error = "\"floor\" needs \"min\": [x, y], \"max\": [x, y] and \"z\"";
    return false;
  }
  if (!(lo[0] < hi[0] && lo[1] < hi[1])) {
    error = "\"floor\" min must be below max on x and y";
    return false;
  }
  level.floorMinX = lo[0], level.floorMinY = lo[1];
  level.floorMaxX = hi[0], level.floorMaxY = hi[1];
  return true;
}

bool ParseBox(const json& j, LevelBox& box, std::string& error) {
  float lo[3], hi[3];
  if (!j.is_object() || !ReadNumbers(j.value("min", json()), lo, 3) ||
      !ReadNumbers(j.value("max", json()), hi, 3)) {
    error = "a box needs \"min\": [x, y, z] and \"max\": [x, y, z]";
    return false;
  }
  box.min = {lo[0], lo[1], lo[2]};
  box.max = {hi[0], hi[1], hi[2]};
  if (!(box.min.x < box.max.x && box.min.y < box.max.y && box.min.z < box.max.z)) {
    error = "a box's min must be below its max on every axis";
    return false;
  }
  return true;
}

bool ParseWall(const json& j, LevelWall& wall, std::string& error) {
  float from[2], to[2];
  if (!j.is_object() || !ReadNumbers(j.value("from", json()), from, 2) ||
      !ReadNumbers(j.value("to", json()), to, 2) || !ReadNumber(j, "thickness", wall.thickness) ||
      !ReadNumber(j, "height", wall.height)) {
    error = "a wall needs \"from\": [x, y], \"to\": [x, y], \"thickness\" and \"height\"";
    return false;
  }
  wall.fromX = from[0], wall.fromY = from[1], wall.toX = to[0], wall.toY = to[1];
  if (!(wall.thickness > 0.0f && wall.height > 0.0f) ||
      std::hypot(to[0] - from[0], to[1] - from[1]) < 1.0f) {
    error = "a wall needs a positive thickness and height and two distinct ends";
    return false;
  }
  return true;
}

template <typename T, typename Fn>
bool ParseList(const json& root, const char* key, std::vector<T>& out, Fn parse,
               std::string& error) {
  const auto it = root.find(key);
  if (it == root.end()) return true;
  if (!it->is_array()) {
    error = std::string("\"") + key + "\" must be a list";
    return false;
  }
  for (const json& item : *it) {
    T value;
    if (!parse(item, value, error)) return false;
    out.push_back(value);
  }
  return true;
}

bool ParsePoint(const json& j, aps::Vec3& point, std::string& error) {
  float xy[2];
  if (!ReadNumbers(j, xy, 2)) {
    error = "a point must be [x, y]";
    return false;
  }
  point = {xy[0], xy[1], 0.0f};
  return true;
}

bool ParsePlayer(const json& root, Level& level, std::string& error) {
  const auto player = root.find("player");
  if (player == root.end()) return true;
  if (!player->is_object() || !player->contains("start") ||
      !ParsePoint((*player)["start"], level.playerStart, error)) {
    error = "\"player\" needs \"start\": [x, y] (and may list \"patrol\": [[x, y], ...])";
    return false;
  }
  level.hasPlayerStart = true;
  if (!ParseList(*player, "patrol", level.patrol, ParsePoint, error)) {
    error = "\"player\" \"patrol\": " + error;
    return false;
  }
  return true;
}

// Points are read as [x, y]; they stand on the floor.
void PutPointsOnFloor(Level& level) {
  level.playerStart.z = level.floorZ;
  for (aps::Vec3& p : level.patrol) p.z = level.floorZ;
  for (aps::Vec3& p : level.spawns) p.z = level.floorZ;
}

bool ParseRoot(const json& root, Level& level, std::string& error) {
  if (!root.is_object()) {
    error = "a level must be a JSON object";
    return false;
  }
  const auto name = root.find("name");
  if (name != root.end() && name->is_string()) level.name = name->get<std::string>();
  const auto floor = root.find("floor");
  if (floor == root.end()) {
    error = "the level has no \"floor\"";
    return false;
  }
  if (!ParseFloor(*floor, level, error) ||
      !ParseList(root, "boxes", level.boxes, ParseBox, error) ||
      !ParseList(root, "walls", level.walls, ParseWall, error) || !ParsePlayer(root, level, error))
    return false;
  if (!ParseList(root, "spawns", level.spawns, ParsePoint, error)) {
    error = "\"spawns\": " + error;
    return false;
  }
  PutPointsOnFloor(level);
  if (level.boxes.size() + level.walls.size() > kMaxLevelObstacles) {
    error = "the level has too many boxes and walls";
    return false;
  }
  return true;
}

// Footprint of a wall: its centre line grown by half the thickness on both sides, with the
// corners ordered counter-clockwise whichever way the wall runs.
Obstacle WallObstacle(const LevelWall& w, float floorZ) {
  const float dx = w.toX - w.fromX, dy = w.toY - w.fromY;
  const float len = std::sqrt(dx * dx + dy * dy);
  const float nx = -dy / len * w.thickness * 0.5f, ny = dx / len * w.thickness * 0.5f;
  Obstacle o;
  o.footprint = {w.fromX - nx, w.fromY - ny, w.toX - nx,   w.toY - ny,
                 w.toX + nx,   w.toY + ny,   w.fromX + nx, w.fromY + ny};
  o.minZ = floorZ;
  o.maxZ = floorZ + w.height;
  return o;
}

bool InsideConvex(const std::array<float, 8>& p, float x, float y) {
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    const float ex = p[j * 2] - p[i * 2], ey = p[j * 2 + 1] - p[i * 2 + 1];
    if (ex * (y - p[i * 2 + 1]) - ey * (x - p[i * 2]) < 0.0f) return false;
  }
  return true;
}

bool Fail(std::string& error, const char* message) {
  error = message;
  return false;
}

bool Finite(float v) {
  return std::isfinite(v) && std::fabs(v) <= kMaxLevelExtent;
}

bool BoxOk(const LevelBox& b) {
  const float v[6] = {b.min.x, b.min.y, b.min.z, b.max.x, b.max.y, b.max.z};
  for (float f : v)
    if (!Finite(f)) return false;
  return b.min.x < b.max.x && b.min.y < b.max.y && b.min.z < b.max.z;
}

bool WallOk(const LevelWall& w) {
  const float v[6] = {w.fromX, w.fromY, w.toX, w.toY, w.thickness, w.height};
  for (float f : v)
    if (!Finite(f)) return false;
  return w.thickness > 0.0f && w.height > 0.0f &&
         std::hypot(w.toX - w.fromX, w.toY - w.fromY) >= 1.0f;
}

bool StandingRoom(const Level& level, const aps::Vec3& p) {
  const float m = kLevelAgentMargin;
  return Finite(p.x) && Finite(p.y) && p.x >= level.floorMinX + m && p.x <= level.floorMaxX - m &&
         p.y >= level.floorMinY + m && p.y <= level.floorMaxY - m &&
         !InsideObstacle(level, p.x, p.y, m);
}

bool CheckPoints(const Level& level, const std::vector<aps::Vec3>& points, const char* what,
                 std::string& error) {
  if (points.size() > kMaxLevelPoints) {
    error = std::string("the level has too many ") + what;
    return false;
  }
  for (size_t i = 0; i < points.size(); ++i) {
    if (StandingRoom(level, points[i])) continue;
    char text[200];
    std::snprintf(text, sizeof text,
                  "%s point %zu (%.0f, %.0f) is off the floor or within %.0f cm of an obstacle",
                  what, i + 1, points[i].x, points[i].y, kLevelAgentMargin);
    error = text;
    return false;
  }
  return true;
}

}  // namespace

bool CheckLevel(const Level& level, std::string& error) {
  const float floor[5] = {level.floorMinX, level.floorMinY, level.floorMaxX, level.floorMaxY,
                          level.floorZ};
  for (float f : floor)
    if (!Finite(f)) return Fail(error, "the floor has a value out of range");
  if (!(level.floorMinX < level.floorMaxX && level.floorMinY < level.floorMaxY))
    return Fail(error, "\"floor\" min must be below max on x and y");
  if (level.boxes.size() + level.walls.size() > kMaxLevelObstacles)
    return Fail(error, "the level has too many boxes and walls");
  for (const LevelBox& b : level.boxes)
    if (!BoxOk(b)) return Fail(error, "a box has a value out of range or min not below max");
  for (const LevelWall& w : level.walls)
    if (!WallOk(w)) return Fail(error, "a wall has a value out of range or no length");
  if (!level.hasPlayerStart && !level.patrol.empty())
    return Fail(error, "a player patrol needs a player start");
  if (level.hasPlayerStart && !CheckPoints(level, {level.playerStart}, "player start", error))
    return false;
  return CheckPoints(level, level.patrol, "patrol", error) &&
         CheckPoints(level, level.spawns, "spawn", error);
}

bool ParseLevel(std::string_view text, Level& out, std::string& error) {
  const json root = json::parse(text.begin(), text.end(), nullptr, false);
  if (root.is_discarded()) {
    error = "the level is not valid JSON";
    return false;
  }
  Level level;
  try {
    if (!ParseRoot(root, level, error) || !CheckLevel(level, error)) return false;
  } catch (const std::exception& e) {  // a wrongly typed value deep inside
    error = std::string("bad level: ") + e.what();
    return false;
  }
  out = std::move(level);
  return true;
}

std::string LevelToJson(const Level& level) {
  json root;
  root["name"] = level.name;
  root["floor"] = {{"min", {level.floorMinX, level.floorMinY}},
                   {"max", {level.floorMaxX, level.floorMaxY}},
                   {"z", level.floorZ}};
  json boxes = json::array();
  for (const LevelBox& b : level.boxes)
    boxes.push_back({{"min", {b.min.x, b.min.y, b.min.z}}, {"max", {b.max.x, b.max.y, b.max.z}}});
  json walls = json::array();
  for (const LevelWall& w : level.walls)
    walls.push_back({{"from", {w.fromX, w.fromY}},
                     {"to", {w.toX, w.toY}},
                     {"thickness", w.thickness},
                     {"height", w.height}});
  root["boxes"] = std::move(boxes);
  root["walls"] = std::move(walls);
  const auto points = [](const std::vector<aps::Vec3>& list) {
    json out = json::array();
    for (const aps::Vec3& p : list) out.push_back({p.x, p.y});
    return out;
  };
  if (level.hasPlayerStart) {
    root["player"] = {{"start", {level.playerStart.x, level.playerStart.y}},
                      {"patrol", points(level.patrol)}};
  }
  if (!level.spawns.empty()) root["spawns"] = points(level.spawns);
  return root.dump(1) + "\n";
}

bool LoadLevelFile(const std::string& path, Level& out, std::string& error) {
  std::string text;
  if (!platform::ReadWholeFile(path, text)) {
    error = "cannot read level file " + path;
    return false;
  }
  if (!ParseLevel(text, out, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

bool SaveLevelFile(const std::string& path, const Level& level, std::string& error) {
  if (platform::WriteFileReplacing(path, LevelToJson(level)) != platform::ReplaceStatus::kOk) {
    error = "cannot write level file " + path;
    return false;
  }
  return true;
}

std::string LevelPath(const std::string& name) {
  return std::string(KVR_DATA_DIR) + "/levels/" + name + ".json";
}

std::string ResolveLevelArgument(const std::string& level) {
  if (level == "default") return LevelPath("arena");
  std::string bytes;
  if (level.find_first_of("/\\.") == std::string::npos && !platform::ReadWholeFile(level, bytes))
    return LevelPath(level);
  return level;
}

std::vector<Obstacle> LevelObstacles(const Level& level) {
  std::vector<Obstacle> out;
  out.reserve(level.boxes.size() + level.walls.size());
  for (const LevelBox& b : level.boxes) {
    Obstacle o;
    o.footprint = {b.min.x, b.min.y, b.max.x, b.min.y, b.max.x, b.max.y, b.min.x, b.max.y};
    o.minZ = b.min.z;
    o.maxZ = b.max.z;
    out.push_back(o);
  }
  for (const LevelWall& w : level.walls) out.push_back(WallObstacle(w, level.floorZ));
  return out;
}

bool InsideObstacle(const Level& level, float x, float y, float margin) {
  for (const LevelBox& b : level.boxes)
    if (x >= b.min.x - margin && x <= b.max.x + margin && y >= b.min.y - margin &&
        y <= b.max.y + margin)
      return true;
  for (const LevelWall& w : level.walls) {
    LevelWall grown = w;
    grown.thickness += 2.0f * margin;
    const float dx = w.toX - w.fromX, dy = w.toY - w.fromY;
    const float len = std::sqrt(dx * dx + dy * dy);
    grown.fromX -= dx / len * margin, grown.fromY -= dy / len * margin;
    grown.toX += dx / len * margin, grown.toY += dy / len * margin;
    if (InsideConvex(WallObstacle(grown, level.floorZ).footprint, x, y)) return true;
  }
  return false;
}

}  // namespace kvr::sim
