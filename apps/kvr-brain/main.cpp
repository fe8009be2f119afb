// kvr-brain: inspect, create and compare brain.kvrb files without starting the game.
//
//   info FILE [--config INI] [--json]   verdict of the mod's loader, shape, counters, genomes
//                                   and the style it prefers in eight typical situations
//   new --seed N [--config INI] --out FILE [--force]   a fresh brain exactly as Brain::Reset
//                                   makes it; an existing FILE is kept without --force
//   dump FILE                       every weight and bias, one per line, for diff
//   compare A B                     two brains side by side
//
// Exit status: 0 on success (info: the mod would load the file), 2 on rejection or bad
// arguments.
#include <CLI/CLI.hpp>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "apps/common/unknown_command.h"
#include "brain_views.h"
#include "persistence/brain_file.h"
#include "platform/file.h"
#include "settings/config_ini.h"
#include "version/version.h"

namespace {

using kvr::brain_tool::kStyleNames;
using kvr::persistence::BrainImage;
using kvr::tactics::Brain;
using kvr::tactics::BrainConfig;

constexpr int kExitRejected = 2;

int Fail(const std::string& message) {
  std::fprintf(stderr, "kvr-brain: %s\n", message.c_str());
  return kExitRejected;
}

// Settings from the given config.ini (defaults without one); false when it cannot be read.
bool LoadConfig(const std::string& path, BrainConfig& config, std::string& error) {
  kvr::Settings settings;
  if (!path.empty()) {
    std::string status;
    if (!kvr::ReadConfigIni(path, settings, status)) {
      error = "cannot read " + path;
      return false;
    }
  }
  config = kvr::tactics::MakeBrainConfig(settings);
  return true;
}

// Decimal, or hexadecimal with a 0x prefix.
bool ParseSeed(const std::string& text, uint64_t& seed) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* first = text.data() + (hex ? 2 : 0);
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, seed, hex ? 16 : 10);
  return ec == std::errc() && end == last && first != last;
}

std::string ShapeText(const std::vector<int32_t>& sizes, const std::vector<uint8_t>& codes) {
  static const char* const kNames[] = {"Sigmoid", "ReLU", "Tanh"};
  std::string text;
  for (size_t i = 0; i < sizes.size(); ++i) text += (i ? "-" : "") + std::to_string(sizes[i]);
  text += " (activations";
  for (uint8_t c : codes) text += std::string(" ") + (c < 3 ? kNames[c] : "identity");
  return text + ")";
}

void PrintContents(const BrainImage& img) {
  std::printf("counters: %" PRIu64 " episodes, generation %u, next genome id %u\n",
              img.totalEpisodes, img.generation, img.nextGenomeId);
  std::printf("average loss: %.5f   rng state: 0x%016" PRIX64 "\n", img.averageLoss, img.rngState);
  std::printf("replay memory: %zu records, write position %u\n", img.replay.size(),
              img.storedWritePos);
  std::printf("genomes: %zu\n  %5s %10s %6s %9s %10s\n", img.genomes.size(), "index", "id", "born",
              "episodes", "fitness");
  for (size_t i = 0; i < img.genomes.size(); ++i) {
    const kvr::tactics::Genome& g = img.genomes[i];
    std::printf("  %5zu %10u %6d %9d %10.6f\n", i, g.id, g.bornGeneration, g.episodes, g.fitness);
  }
  std::printf("styles:\n");
  for (int s = 0; s < kvr::tactics::kStyleCount; ++s) {
    const kvr::tactics::StyleStats& st = img.styleStats[static_cast<size_t>(s)];
    if (st.episodes == 0) {
      std::printf("  %-12s %8" PRIu64 " episodes\n", kStyleNames[static_cast<size_t>(s)],
                  st.episodes);
    } else {
      std::printf("  %-12s %8" PRIu64 " episodes, average reward %.4f\n",
                  kStyleNames[static_cast<size_t>(s)], st.episodes,
                  st.rewardSum / static_cast<double>(st.episodes));
    }
  }
}

// The file's content when it is a well-formed brain of any shape.
bool DecodeAnyShape(const std::string& file, BrainImage& img, std::string& error) {
  std::string bytes;
  if (!kvr::platform::ReadWholeFile(file, bytes)) {
    error = kvr::persistence::kNoSavedBrain;
    return false;
  }
  return kvr::persistence::DecodeBrainImage(bytes, nullptr, img, error);
}

int RunInfo(const std::string& file, const std::string& configPath, bool json) {
  BrainConfig config;
  std::string error;
  if (!LoadConfig(configPath, config, error)) return Fail(error);
  const kvr::tactics::NetworkShape shape = kvr::tactics::ShapeOf(config);
  // Exactly the mod's start-up: a configured brain, then the loader over it.
  Brain brain;
  brain.Configure(config, 1);
  const bool loadable = kvr::persistence::ReadBrainFile(brain, file, error);
  std::string ignored;
  BrainImage img;
  const bool decoded = DecodeAnyShape(file, img, ignored);
  if (json) {
    nlohmann::json j = decoded ? kvr::brain_tool::ImageJson(img) : nlohmann::json::object();
    j["file"] = file;
    j["loadable"] = loadable;
    j["verdict"] = loadable ? "loadable" : "rejected: " + error;
    j["configShape"] = shape.layerSizes;
    std::printf("%s\n", j.dump(1).c_str());
    return loadable ? 0 : kExitRejected;
  }
  std::printf("file: %s\n", file.c_str());
  std::printf("verdict: %s\n", loadable ? "loadable" : ("rejected: " + error).c_str());
  std::printf("config shape: %s\n", ShapeText(shape.layerSizes, shape.activations).c_str());
  if (decoded) {
    std::printf("file shape: %s\n", ShapeText(img.layerSizes, img.activations).c_str());
    PrintContents(img);
    std::printf("%s", kvr::brain_tool::PreferenceSummary(img).c_str());
  }
  if (loadable)
    std::printf("after loading with this config: %zu genomes, %zu replay records\n",
                brain.genomes.size(), brain.replay.size());
  return loadable ? 0 : kExitRejected;
}

int RunCompare(const std::string& fileA, const std::string& fileB) {
  BrainImage a, b;
  std::string error;
  if (!DecodeAnyShape(fileA, a, error)) return Fail(fileA + ": " + error);
  if (!DecodeAnyShape(fileB, b, error)) return Fail(fileB + ": " + error);
  std::printf("%s", kvr::brain_tool::CompareText(a, b, fileA, fileB).c_str());
  return 0;
}

int RunNew(const std::string& seedText, const std::string& configPath, const std::string& out,
           bool force) {
  // A brain may hold hours of learning: replacing one takes the user's word.
  if (!force && kvr::platform::PathExists(out))
    return Fail(out + " already exists; add --force to replace it");
  uint64_t seed = 0;
  if (!ParseSeed(seedText, seed))
    return Fail("--seed needs an unsigned 64-bit number: " + seedText);
  BrainConfig config;
  std::string error;
  if (!LoadConfig(configPath, config, error)) return Fail(error);
  Brain brain;
  brain.Configure(config, seed);  // an empty brain resets with this seed
  if (!kvr::persistence::WriteBrainFile(brain, out, error))
    return Fail(error + ": " + kvr::platform::LastErrorText());
  return 0;
}

int RunDump(const std::string& file) {
  std::string bytes, error;
  if (!kvr::platform::ReadWholeFile(file, bytes))
    return Fail(file + ": " + kvr::persistence::kNoSavedBrain);
  BrainImage img;
  if (!kvr::persistence::DecodeBrainImage(bytes, nullptr, img, error))
    return Fail(file + ": " + error);
  for (size_t g = 0; g < img.genomes.size(); ++g) {
    const kvr::tactics::Network& net = img.genomes[g].network;
    for (size_t i = 0; i < net.weights.size(); ++i)
      std::printf("%zu w%zu %.9g\n", g, i, static_cast<double>(net.weights[i]));
    for (size_t i = 0; i < net.biases.size(); ++i)
      std::printf("%zu b%zu %.9g\n", g, i, static_cast<double>(net.biases[i]));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"kvr-brain: inspect, create and compare brain.kvrb files"};
  app.require_subcommand(1);
  // On Windows the parser would take "/tmp/b.kvrb" or "/home/..." (what Wine passes for a Unix
  // path) for a "/option"; the tools have no such options, so paths starting with "/" stay
  // paths. Set before the commands are added: they inherit it.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", kvr::ToolVersionLine("kvr-brain"));
  std::string infoFile, infoConfig, seed, newConfig, out, dumpFile, compareA, compareB;
  bool infoJson = false;
  auto* info = app.add_subcommand("info", "Check a brain file as the mod would and describe it");
  info->add_option("FILE", infoFile, "The brain file")->required();
  info->add_option("--config", infoConfig, "config.ini whose network shape applies");
  info->add_flag("--json", infoJson, "Print one JSON object instead of text");
  auto* compare = app.add_subcommand(
      "compare", "Two brains side by side: counters, genomes, weight changes, preferred styles");
  compare->add_option("A", compareA, "The first brain file")->required();
  compare->add_option("B", compareB, "The second brain file")->required();
  auto* make = app.add_subcommand("new", "Write a fresh brain made from a seed");
  make->add_option("--seed", seed, "Random seed (decimal or 0x hex)")->required();
  make->add_option("--config", newConfig, "config.ini with the network and population");
  make->add_option("--out", out, "Where to write the brain")->required();
  bool force = false;
  make->add_flag("--force", force, "Replace the file if it exists");
  auto* dump = app.add_subcommand("dump", "Print every weight and bias, one per line");
  dump->add_option("FILE", dumpFile, "The brain file")->required();
  if (const std::string unknown = kvr::cli::UnknownCommand(app, argc, argv); !unknown.empty())
    return Fail(unknown);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::printf("%s", app.help().c_str());
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::printf("%s\n", e.what());
    return 0;
  } catch (const CLI::ParseError& e) {
    return Fail(e.what());
  }
  if (*info) return RunInfo(infoFile, infoConfig, infoJson);
  if (*compare) return RunCompare(compareA, compareB);
  if (*make) return RunNew(seed, newConfig, out, force);
  if (*dump) return RunDump(dumpFile);
  return Fail("no command");
}
