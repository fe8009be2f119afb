#include "sim/arena/rules.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "sim/json_syntax.h"

#include "platform/file.h"
#include "platform/text.h"
#include "sim/nav/level.h"

namespace kvr::sim {
namespace {

using nlohmann::json;

struct Rule {
  const char* name;
  float ArenaRules::*field;
  float min, max;
  bool whole;
  // Rules added after the first files were written may be left out; such a file keeps the
  // arena as it played before them.
  bool optional = false;
  float fallback = 0;
};

struct ClassRule {
  const char* name;
  float ThugClassRules::*field;
  float min, max;
  bool whole;
};

constexpr const char* kKindNames[kThugKindCount] = {"base", "armed", "boss"};

constexpr ClassRule kClassRules[] = {
    {"share", &ThugClassRules::share, 0, 100, false},
    {"speed", &ThugClassRules::speed, 0, 2000, false},
    {"health", &ThugClassRules::health, 1, 100000, false},
    {"weightClass", &ThugClassRules::weightClass, 0, 3, true},
    {"fearThreshold", &ThugClassRules::fearThreshold, 1, 100000, false},
};

constexpr Rule kRules[] = {
    {"frameSeconds", &ArenaRules::frameSeconds, 0.001f, 0.25f, false},
    {"planning.replanSeconds", &ArenaRules::replanSeconds, 0.1f, 60, false},
    {"planning.replanMinSeconds", &ArenaRules::replanMinSeconds, 0, 60, false},
    {"planning.goalMoveDistance", &ArenaRules::goalMoveDistance, 1, 10000, false},
    {"planning.attackGoalMoveDistance", &ArenaRules::attackGoalMoveDistance, 1, 10000, false},
    {"planning.goalMoveFraction", &ArenaRules::goalMoveFraction, 0, 1, false, true, 0},
    {"planning.closeInDistance", &ArenaRules::closeInDistance, 0, 10000, false, true, 0},
    {"planning.arriveDistance", &ArenaRules::arriveDistance, 1, 1000, false},
    {"slots.attackRadius", &ArenaRules::attackRadius, 0, 5000, false},
    {"slots.waitRadius", &ArenaRules::waitRadius, 0, 10000, false},
    {"crowd.radius", &ArenaRules::crowdRadius, 0, 1000, false},
    {"crowd.slowdownPerNeighbour", &ArenaRules::crowdSlowdown, 0, 1, false},
    {"crowd.minSpeedFactor", &ArenaRules::crowdMinFactor, 0, 1, false},
    {"avoidance.engineDefaultOn", &ArenaRules::avoidanceOn, 0, 1, true},
    {"avoidance.considerationRadius", &ArenaRules::avoidanceRadius, 0, 5000, false},
    {"avoidance.weight", &ArenaRules::avoidanceWeight, 0, 1, false},
    {"avoidance.steering", &ArenaRules::avoidanceSteering, 0, 10, false},
    {"tokens.count", &ArenaRules::tokenCount, 0, 64, true},
    {"tokens.reassignSeconds", &ArenaRules::tokenSeconds, 0.05f, 60, false},
    {"fear.perHit", &ArenaRules::fearPerHit, 0, 1000, false},
    {"fear.decayPerSecond", &ArenaRules::fearDecay, 0, 1000, false},
    {"melee.range", &ArenaRules::meleeRange, 0, 2000, false},
    {"melee.seconds", &ArenaRules::meleeSeconds, 0.05f, 60, false},
    {"melee.chunks", &ArenaRules::meleeChunks, 0, 100, true},
    {"player.chunks", &ArenaRules::playerChunks, 1, 100, true},
    {"player.patrolSpeed", &ArenaRules::patrolSpeed, 0, 2000, false},
    {"player.patrolPauseSeconds", &ArenaRules::patrolPauseSeconds, 0, 3600, false},
    {"player.kiteSpeed", &ArenaRules::kiteSpeed, 0, 2000, false},
    {"player.kiteRadius", &ArenaRules::kiteRadius, 0, 10000, false},
    {"player.turnDegreesPerSecond", &ArenaRules::turnRate, 0, 3600, false},
    {"player.awarenessRadius", &ArenaRules::awarenessRadius, 0, 100000, false},
    {"player.viewHalfAngleDegrees", &ArenaRules::viewHalfAngle, 0, 180, false, true, 180},
    {"player.hearingRadius", &ArenaRules::hearingRadius, 0, 100000, false, true, 0},
    {"player.approachThreat", &ArenaRules::approachThreat, 0, 100, false, true, 0},
    {"player.recoverSeconds", &ArenaRules::recoverSeconds, 0.1f, 3600, false},
    {"player.respawnSeconds", &ArenaRules::respawnSeconds, 0, 3600, false},
    {"shooting.coneHalfAngleDegrees", &ArenaRules::coneHalfAngle, 0, 180, false},
    {"shooting.range", &ArenaRules::shotRange, 0, 100000, false},
    {"shooting.fireSeconds", &ArenaRules::fireSeconds, 0.05f, 60, false},
    {"shooting.hitChance", &ArenaRules::hitChance, 0, 1, false},
    {"shooting.dodgeSpeed", &ArenaRules::dodgeSpeed, 0, 100000, false, true, 0},
    {"shooting.damage", &ArenaRules::shotDamage, 0, 100000, false},
    {"shooting.splashRadius", &ArenaRules::splashRadius, 0, 5000, false},
    {"shooting.splashDamage", &ArenaRules::splashDamage, 0, 100000, false},
    {"camera.distance", &ArenaRules::cameraDistance, 0, 10000, false},
    {"camera.height", &ArenaRules::cameraHeight, -10000, 10000, false},
    {"camera.pitchDegrees", &ArenaRules::cameraPitch, -89, 89, false},
    {"camera.fovDegrees", &ArenaRules::cameraFov, 1, 179, false},
    {"camera.aspectRatioAxisConstraint", &ArenaRules::aspectRatioAxisConstraint, 0, 255, true},
    {"lifecycle.thugRespawnSeconds", &ArenaRules::thugRespawnSeconds, 0, 3600, false},
    {"lifecycle.garbageSeconds", &ArenaRules::garbageSeconds, 0, 3600, false},
    {"lifecycle.controllerChurnPerMinute", &ArenaRules::controllerChurnPerMinute, 0, 600, false},
    {"lifecycle.pawnSwapsPerMinute", &ArenaRules::pawnSwapsPerMinute, 0, 600, false},
    {"lifecycle.newControllerSeconds", &ArenaRules::newControllerSeconds, 0, 3600, false},
};

struct Binding {
  std::string name;
  float* value;
  float min, max;
  bool whole;
  bool optional = false;
  float fallback = 0;
};

std::vector<Binding> Bind(ArenaRules& rules) {
  std::vector<Binding> out;
  for (int k = 0; k < kThugKindCount; ++k)
    for (const ClassRule& r : kClassRules)
      out.push_back({std::string("thugs.") + kKindNames[k] + "." + r.name,
                     &(rules.thugs[k].*r.field), r.min, r.max, r.whole});
  for (const Rule& r : kRules)
    out.push_back({r.name, &(rules.*r.field), r.min, r.max, r.whole, r.optional, r.fallback});
  return out;
}

// Every value that is not an object, by its dotted path.
void Flatten(const json& j, const std::string& prefix, std::map<std::string, const json*>& out) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string path = prefix.empty() ? it.key() : prefix + "." + it.key();
    if (it->is_object())
      Flatten(*it, path, out);
    else
      out[path] = &*it;
  }
}

std::string Number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

bool Assign(const Binding& b, const json& value, std::string& error) {
  const std::string range = Number(b.min) + ".." + Number(b.max);
  if (!value.is_number()) {
    error = "rule \"" + b.name + "\" must be a number in " + range + " (the file has " +
            value.dump() + ")";
    return false;
  }
  const double v = value.get<double>();
  if (!std::isfinite(v) || v < b.min || v > b.max) {
    error = "rule \"" + b.name + "\" = " + Number(v) + " is outside its range " + range;
    return false;
  }
  if (b.whole && v != std::floor(v)) {
    error = "rule \"" + b.name + "\" = " + Number(v) + " must be a whole number";
    return false;
  }
  *b.value = static_cast<float>(v);
  return true;
}

bool CheckTogether(const ArenaRules& r, std::string& error) {
  float shares = 0;
  for (const ThugClassRules& c : r.thugs) shares += c.share;
  if (!(shares > 0)) {
    error = "rules \"thugs.*.share\" are all 0: no kind of thug can appear";
    return false;
  }
  if (r.replanMinSeconds > r.replanSeconds) {
    error = "rule \"planning.replanMinSeconds\" must not exceed \"planning.replanSeconds\"";
    return false;
  }
  if (r.attackRadius >= r.meleeRange && r.meleeChunks > 0) {
    error =
        "rule \"slots.attackRadius\" must be below \"melee.range\": a token holder at its "
        "slot could never hit the player";
    return false;
  }
  return true;
}

bool ParseRoot(const json& root, ArenaRules& rules, std::string& error) {
  if (!root.is_object()) {
    error = "the rules must be a JSON object";
    return false;
  }
  std::map<std::string, const json*> values;
  Flatten(root, "", values);
  const std::vector<Binding> bindings = Bind(rules);
  for (const auto& [name, value] : values) {
    bool known = false, section = false;
    for (const Binding& b : bindings) {
      known = known || b.name == name;
      section = section || b.name.rfind(name + ".", 0) == 0;
    }
    if (section) {
      error = "\"" + name + "\" must be a section of rules, {\"name\": number, ...}";
      return false;
    }
    if (!known) {
      error = "unknown rule \"" + name + "\"";
      return false;
    }
  }
  for (const Binding& b : bindings) {
    const auto it = values.find(b.name);
    if (it == values.end() && b.optional) {
      *b.value = b.fallback;
      continue;
    }
    if (it == values.end()) {
      error = "missing rule \"" + b.name + "\"";
      return false;
    }
    if (!Assign(b, *it->second, error)) return false;
  }
  return CheckTogether(rules, error);
}

}  // namespace

bool ParseArenaRules(std::string_view text, ArenaRules& out, std::string& error) {
  std::string syntax;
  const json root = ParseJsonText(text, syntax);
  if (root.is_discarded()) {
    error = "the rules are " + syntax;
    return false;
  }
  ArenaRules rules;
  try {
    if (!ParseRoot(root, rules, error)) return false;
  } catch (const std::exception& e) {
    error = std::string("bad rules: ") + e.what();
    return false;
  }
  out = rules;
  return true;
}

bool LoadArenaRules(const std::string& path, ArenaRules& out, std::string& error) {
  std::string text;
  if (!platform::ReadWholeFile(path, text)) {
    error = "cannot read rules file " + path;
    return false;
  }
  if (!ParseArenaRules(text, out, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

std::vector<std::string> RuleNames() {
  ArenaRules scratch;
  std::vector<std::string> names;
  for (const Binding& b : Bind(scratch)) names.push_back(b.name);
  return names;
}

std::string RulesPathForLevel(const std::string& levelPath) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path beside(platform::Utf8ToWide(levelPath));
  beside.replace_extension(L".rules.json");
  if (fs::is_regular_file(beside, ec)) return platform::WideToUtf8(beside.wstring());
  return std::string(KVR_DATA_DIR) + "/levels/arena.rules.json";
}

}  // namespace kvr::sim
