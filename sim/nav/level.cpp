#include "sim/nav/level.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/file.h"
#include "sim/json_syntax.h"

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

// A misspelt key would otherwise quietly drop what it holds (a level without its boxes), so
// every object accepts only the keys it knows.
bool OnlyKnownKeys(const json& j, std::initializer_list<const char*> known, const char* where,
                   std::string& error) {
  if (!j.is_object()) return true;  // the caller names the wrong type
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool ok = false;
    for (const char* k : known) ok = ok || it.key() == k;
    if (ok) continue;
    std::string list;
    for (const char* k : known) list += std::string(list.empty() ? "" : ", ") + "\"" + k + "\"";
    error = "unknown key \"" + it.key() + "\"" + where + " (known: " + list + ")";
    return false;
  }
  return true;
}

bool ParseFloor(const json& j, Level& level, std::string& error) {
  if (!OnlyKnownKeys(j, {"min", "max", "z"}, " in \"floor\"", error)) return false;
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
  if (!OnlyKnownKeys(j, {"min", "max"}, " in a box", error)) return false;
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
  if (!OnlyKnownKeys(j, {"from", "to", "thickness", "height"}, " in a wall", error)) return false;
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

// Any finite pair: where it lies is judged against the floor afterwards, so a start far off the
// floor is named as such. The cap only keeps the value a finite float.
bool ParsePoint(const json& j, aps::Vec3& point, std::string& error) {
  constexpr double kCap = 1e9;
  if (!j.is_array() || j.size() != 2 || !j[0].is_number() || !j[1].is_number() ||
      !std::isfinite(j[0].get<double>()) || !std::isfinite(j[1].get<double>())) {
    error = "a point must be [x, y]";
    return false;
  }
  point = {static_cast<float>(std::clamp(j[0].get<double>(), -kCap, kCap)),
           static_cast<float>(std::clamp(j[1].get<double>(), -kCap, kCap)), 0.0f};
  return true;
}

bool ParsePlayer(const json& root, Level& level, std::string& error) {
  const auto player = root.find("player");
  if (player == root.end()) return true;
  if (!OnlyKnownKeys(*player, {"start", "patrol"}, " in \"player\"", error)) return false;
  if (!player->is_object() || !player->contains("start")) {
    error = "\"player\" needs \"start\": [x, y] (and may list \"patrol\": [[x, y], ...])";
    return false;
  }
  if (!ParsePoint((*player)["start"], level.playerStart, error)) {
    error = "\"player\" \"start\" must be [x, y]";
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
  if (!OnlyKnownKeys(root, {"name", "floor", "boxes", "walls", "player", "spawns"}, "", error))
    return false;
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

// Why a point is no place to stand, or empty when it is one.
std::string NoStandingRoom(const Level& level, const aps::Vec3& p) {
  const float m = kLevelAgentMargin;
  char text[160];
  if (!(p.x >= level.floorMinX && p.x <= level.floorMaxX && p.y >= level.floorMinY &&
        p.y <= level.floorMaxY)) {
    std::snprintf(text, sizeof text, "is outside the floor (x %.0f .. %.0f, y %.0f .. %.0f)",
                  level.floorMinX, level.floorMaxX, level.floorMinY, level.floorMaxY);
    return text;
  }
  if (!(p.x >= level.floorMinX + m && p.x <= level.floorMaxX - m && p.y >= level.floorMinY + m &&
        p.y <= level.floorMaxY - m)) {
    std::snprintf(text, sizeof text, "is within %.0f cm of the floor's edge", m);
    return text;
  }
  if (InsideObstacle(level, p.x, p.y, m)) {
    std::snprintf(text, sizeof text, "is inside or within %.0f cm of an obstacle", m);
    return text;
  }
  return {};
}

// what names the points: "player start" (one point) or "patrol point", "spawn point" (numbered).
bool CheckPoints(const Level& level, const std::vector<aps::Vec3>& points, const char* what,
                 bool numbered, std::string& error) {
  if (points.size() > kMaxLevelPoints) {
    error = std::string("the level has too many ") + what + "s";
    return false;
  }
  for (size_t i = 0; i < points.size(); ++i) {
    const std::string why = NoStandingRoom(level, points[i]);
    if (why.empty()) continue;
    char at[80];
    std::snprintf(at, sizeof at, " (%.0f, %.0f) ", static_cast<double>(points[i].x),
                  static_cast<double>(points[i].y));
    const std::string name = what + (numbered ? " " + std::to_string(i + 1) : "") + at;
    error = name + why;
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
  if (level.hasPlayerStart &&
      !CheckPoints(level, {level.playerStart}, "player start", false, error))
    return false;
  return CheckPoints(level, level.patrol, "patrol point", true, error) &&
         CheckPoints(level, level.spawns, "spawn point", true, error);
}

bool ParseLevel(std::string_view text, Level& out, std::string& error) {
  std::string syntax;
  const json root = ParseJsonText(text, syntax);
  if (root.is_discarded()) {
    error = "the level is " + syntax;
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
