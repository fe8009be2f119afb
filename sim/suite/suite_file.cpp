#include "sim/suite/suite_file.h"

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "platform/file.h"
#include "platform/text.h"
#include "sim/arena/arena.h"
#include "sim/nav/level.h"

namespace kvr::sim::suite {

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string FormatNum(double v) {
  json j = v;
  if (v == std::floor(v)) j = static_cast<long long>(v);
  return j.dump();
}

bool OnlyKeys(const json& j, std::initializer_list<const char*> known, const std::string& where,
              std::string& error) {
  for (const auto& [key, value] : j.items()) {
    bool ok = false;
    for (const char* k : known) ok = ok || key == k;
    if (!ok) {
      error = "unknown key \"" + key + "\"" + where;
      return false;
    }
  }
  return true;
}

bool Number(const json& j, const char* key, double lo, double hi, double& out,
            const std::string& where, std::string& error) {
  if (!j.contains(key)) return true;
  const json& v = j[key];
  if (!v.is_number() || !std::isfinite(v.get<double>()) || v.get<double>() < lo ||
      v.get<double>() > hi) {
    error = "\"" + std::string(key) + "\"" + where + " must be a number from " + FormatNum(lo) +
            " to " + FormatNum(hi);
    return false;
  }
  out = v.get<double>();
  return true;
}

bool Whole(const json& j, const char* key, double lo, double hi, double& out,
           const std::string& where, std::string& error) {
  if (!Number(j, key, lo, hi, out, where, error)) return false;
  if (out == std::floor(out)) return true;
  error = "\"" + std::string(key) + "\"" + where + " must be a whole number";
  return false;
}

bool ParseJudge(const json& j, report::Judge& out, std::string& error) {
  if (!j.is_object()) {
    error = "\"judge\" must be an object of reward weights";
    return false;
  }
  if (!OnlyKeys(j,
                {"WeightProgress", "WeightDamageTaken", "WeightPlayerHit", "WeightSpacing",
                 "RewardSharpness"},
                " in \"judge\"", error))
    return false;
  // The documented ranges of the mod's own reward settings.
  const std::string in = " in \"judge\"";
  return Number(j, "WeightProgress", 0, 5, out.progress, in, error) &&
         Number(j, "WeightDamageTaken", 0, 10, out.damageTaken, in, error) &&
         Number(j, "WeightPlayerHit", 0, 10, out.playerHit, in, error) &&
         Number(j, "WeightSpacing", 0, 5, out.spacing, in, error) &&
         Number(j, "RewardSharpness", 0.1, 10, out.sharpness, in, error);
}

bool ParseSeeds(const json& j, std::vector<uint64_t>& out, std::string& error) {
  if (!j.is_array() || j.empty()) {
    error = "\"seeds\" must be a list of seeds (whole numbers from 0 up)";
    return false;
  }
  for (const json& s : j) {
    if (!s.is_number_unsigned()) {
      error = "seed " + s.dump() + " in \"seeds\" is not a whole number from 0 up";
      return false;
    }
    out.push_back(s.get<uint64_t>());
  }
  if (std::set<uint64_t>(out.begin(), out.end()).size() != out.size()) {
    error = "\"seeds\" lists a seed twice";
    return false;
  }
  return true;
}

bool ParsePolicies(const json& j, std::vector<report::Policy>& out, std::string& error) {
  if (!j.is_array() || j.empty()) {
    error = "\"policies\" must be a list of policy names";
    return false;
  }
  std::set<std::string> seen;
  for (const json& p : j) {
    report::Policy policy;
    if (!p.is_string() || !report::ParsePolicy(p.get<std::string>(), policy)) {
      error = "unknown policy " + p.dump() +
              " in \"policies\" (learned, random, rule or fixed:<style name>)";
      return false;
    }
    if (!seen.insert(p.get<std::string>()).second) {
      error = "policy " + p.dump() + " is listed twice";
      return false;
    }
    out.push_back(policy);
  }
  return true;
}

bool FileBeside(const std::string& baseDir, const std::string& name, std::string& out) {
  fs::path p(platform::Utf8ToWide(name));
  if (p.is_relative()) p = fs::path(platform::Utf8ToWide(baseDir)) / p;
  std::error_code ec;
  out = platform::WideToUtf8(p.lexically_normal().wstring());
  return fs::is_regular_file(p, ec);
}

bool ParseLevel(const json& v, const std::string& baseDir, Variant& out, const std::string& where,
                std::string& error) {
  if (!v.contains("level") || !v["level"].is_string() || v["level"].get<std::string>().empty()) {
    error = "\"level\"" + where + " must name a level file or a shipped level";
    return false;
  }
  const std::string level = v["level"].get<std::string>();
  std::string path;
  if (FileBeside(baseDir, level, path)) {
    out.level = path;
  } else {
    std::error_code ec;
    const std::string shipped = ResolveLevelArgument(level);
    if (!fs::is_regular_file(fs::path(platform::Utf8ToWide(shipped)), ec)) {
      error = "level \"" + level + "\"" + where + ": no such file (" + path +
              ") and no shipped level of that name";
      return false;
    }
    out.level = level;
  }
  if (!v.contains("rules")) return true;
  if (!v["rules"].is_string() || !FileBeside(baseDir, v["rules"].get<std::string>(), path)) {
    error = "rules " + v["rules"].dump() + where + ": no such file" +
            (v["rules"].is_string() ? " (" + path + ")" : std::string());
    return false;
  }
  out.rules = path;
  return true;
}

bool ParseVariant(const json& v, const std::string& baseDir, Variant& out, std::string& error) {
  if (!v.is_object() || !v.contains("name") || !v["name"].is_string() ||
      v["name"].get<std::string>().empty()) {
    error = "every variant needs a \"name\"";
    return false;
  }
  out.name = v["name"].get<std::string>();
  const std::string where = " in variant \"" + out.name + "\"";
  if (!OnlyKeys(v, {"name", "level", "rules", "thugs", "minutes"}, where, error) ||
      !ParseLevel(v, baseDir, out, where, error))
    return false;
  double thugs = out.thugs;
  if (!Whole(v, "thugs", 1, kMaxArenaThugs, thugs, where, error) ||
      !Number(v, "minutes", 0.01, 1440, out.minutes, where, error))
    return false;
  out.thugs = static_cast<int>(thugs);
  return true;
}

bool ParseVariants(const json& j, const std::string& baseDir, std::vector<Variant>& out,
                   std::string& error) {
  if (!j.is_array() || j.empty()) {
    error = "\"variants\" must be a list of arena variants";
    return false;
  }
  std::set<std::string> names;
  for (const json& v : j) {
    Variant variant;
    if (!ParseVariant(v, baseDir, variant, error)) return false;
    if (!names.insert(variant.name).second) {
      error = "variant \"" + variant.name + "\" is named twice";
      return false;
    }
    out.push_back(std::move(variant));
  }
  return true;
}

}  // namespace

bool ParseSuite(const std::string& text, const std::string& baseDir, Suite& out,
                std::string& error) {
  const json j = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (j.is_discarded() || !j.is_object()) {
    error = "not a JSON object";
    return false;
  }
  if (!OnlyKeys(j,
                {"name", "seeds", "lastEpisodes", "pretrainRuns", "judge", "policies", "variants"},
                "", error))
    return false;
  for (const char* key : {"seeds", "policies", "variants"})
    if (!j.contains(key)) {
      error = std::string("no \"") + key + "\"";
      return false;
    }
  Suite s;
  if (j.contains("name") && (!j["name"].is_string() || j["name"].get<std::string>().empty())) {
    error = "\"name\" must be a text";
    return false;
  }
  s.name = j.value("name", "suite");
  double last = static_cast<double>(s.lastEpisodes);
  double pretrain = 0;
  if (!Whole(j, "lastEpisodes", 1, 1e9, last, "", error) ||
      !Whole(j, "pretrainRuns", 0, kMaxPretrainRuns, pretrain, "", error))
    return false;
  s.lastEpisodes = static_cast<size_t>(last);
  s.pretrainRuns = static_cast<int>(pretrain);
  if ((j.contains("judge") && !ParseJudge(j["judge"], s.judge, error)) ||
      !ParseSeeds(j["seeds"], s.seeds, error) || !ParsePolicies(j["policies"], s.policies, error) ||
      !ParseVariants(j["variants"], baseDir, s.variants, error))
    return false;
  out = std::move(s);
  return true;
}

bool LoadSuite(const std::string& path, Suite& out, std::string& error) {
  std::string text;
  if (!platform::ReadWholeFile(path, text)) {
    error = "cannot read " + path;
    return false;
  }
  const fs::path dir = fs::path(platform::Utf8ToWide(path)).parent_path();
  std::string why;
  if (ParseSuite(text, platform::WideToUtf8(dir.wstring()), out, why)) return true;
  error = path + ": " + why;
  return false;
}

}  // namespace kvr::sim::suite
