// kvr-sim route --level FILE|default --from x,y,z --to x,y,z --style N [--config INI] [--svg OUT]
//               [--json]
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "commands.h"
#include "platform/file.h"
#include "settings/config_ini.h"
#include "sim/nav/detour_nav.h"
#include "sim/nav/route_preview.h"

namespace kvr::sim::cli {
namespace {

struct RouteOptions {
  std::string level = "default";
  std::string from, to, svg, config;
  int style = 1;
  bool json = false;
};

[[noreturn]] void RouteFail(const std::string& message) {
  std::cerr << "kvr-sim route: " << message << "\n";
  throw CLI::RuntimeError(kExitBadInput);
}

// "x,y,z" in engine centimetres; every part must be a finite number.
bool ParsePoint(const std::string& text, aps::Vec3& out) {
  float v[3];
  const char* p = text.c_str();
  for (int i = 0; i < 3; ++i) {
    char* end = nullptr;
    v[i] = std::strtof(p, &end);
    if (end == p || !std::isfinite(v[i])) return false;
    p = end;
    while (*p == ' ') ++p;
    if (i < 2 && *p++ != ',') return false;
  }
  if (*p != '\0') return false;
  out = {v[0], v[1], v[2]};
  return true;
}

void Run(const RouteOptions& o) {
  aps::Vec3 from, to;
  if (!ParsePoint(o.from, from)) RouteFail("cannot read --from \"" + o.from + "\" (want x,y,z)");
  if (!ParsePoint(o.to, to)) RouteFail("cannot read --to \"" + o.to + "\" (want x,y,z)");
  if (o.style < 0 || o.style >= aps::kStyleCount) RouteFail("--style must be 0..6");
  Level level;
  NavMesh mesh;
  std::string error;
  if (!LoadLevelFile(ResolveLevelArgument(o.level), level, error)) RouteFail(error);
  if (!BuildNavMesh(level, {}, mesh, error)) RouteFail(error);
  DetourNav nav(mesh);
  RoutePreview preview;
  Settings settings;
  if (!o.config.empty()) {
    std::string status;
    if (ReadConfigIniFile(o.config, settings, status) != ConfigFileState::kRead)
      RouteFail(o.config + ": " + status);
    if (!PreviewRoute(nav, from, to, o.style, settings, preview, error)) RouteFail(error);
  } else if (!PreviewRoute(nav, from, to, o.style, preview, error)) {
    RouteFail(error);
  }
  if (!o.svg.empty() &&
      platform::WriteFileReplacing(o.svg, RoutePreviewSvg(preview, level, mesh)) !=
          platform::ReplaceStatus::kOk)
    RouteFail("cannot write " + o.svg + ": " + platform::LastErrorText());
  if (o.json) {
    std::cout << RoutePreviewJson(preview);
  } else {
    std::cout << "level: " << (level.name.empty() ? o.level : level.name) << "\n";
    if (!o.config.empty()) std::cout << "settings: " << o.config << "\n";
    std::cout << RoutePreviewText(preview);
    if (!o.svg.empty()) std::cout << "picture: " << o.svg << "\n";
  }
}

}  // namespace

void AddRouteCommand(CLI::App& app) {
  auto options = std::make_shared<RouteOptions>();
  CLI::App* cmd = app.add_subcommand(
      "route", "Engine route and a style's reshaped route between two points of a level");
  cmd->add_option(
         "--level", options->level,
         "Level JSON file, \"default\" for the arena, or a shipped level's name (\"large\")")
      ->capture_default_str();
  cmd->add_option("--from", options->from, "Start x,y,z in engine centimetres")->required();
  cmd->add_option("--to", options->to, "Goal x,y,z in engine centimetres")->required();
  cmd->add_option("--style", options->style,
                  "Approach style 0..6 (Direct, Arc Left, Arc Right, Wide Left, Wide Right, "
                  "Weave Left, Weave Right)")
      ->capture_default_str();
  cmd->add_option("--config", options->config,
                  "A config.ini whose settings shape the route as the mod would (default: the "
                  "style's own shape, always reshaped)");
  cmd->add_option("--svg", options->svg, "Also draw a top-down SVG picture to this file");
  cmd->add_flag("--json", options->json, "Print one JSON object instead of text");
  cmd->callback([options] { Run(*options); });
}

}  // namespace kvr::sim::cli
