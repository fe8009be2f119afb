#include "brain_views.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <map>

namespace kvr::brain_tool {

using persistence::BrainImage;
using tactics::Genome;
using tactics::kStyleCount;

const std::array<const char*, kStyleCount> kStyleNames = {
    "Direct", "Arc Left", "Arc Right", "Wide Left", "Wide Right", "Weave Left", "Weave Right"};

namespace {

std::string Format(const char* fmt, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, fmt, args...);
  return text;
}

const char* StyleName(int style) {
  return style >= 0 && style < kStyleCount ? kStyleNames[static_cast<size_t>(style)] : "-";
}

// Index of the genome with the highest fitness (the first of equals); -1 without genomes.
int Fittest(const BrainImage& image) {
  int best = -1;
  for (size_t i = 0; i < image.genomes.size(); ++i)
    if (best < 0 || image.genomes[i].fitness > image.genomes[static_cast<size_t>(best)].fitness)
      best = static_cast<int>(i);
  return best;
}

// "Arc Left 5, Direct 3": the styles all networks pick, most votes first.
std::string Votes(const BrainImage& image, const tactics::Observation& inputs) {
  std::array<int, kStyleCount> votes{};
  for (const Genome& g : image.genomes) {
    const int s = PreferredStyle(g.network, inputs);
    if (s >= 0) ++votes[static_cast<size_t>(s)];
  }
  std::vector<int> order(kStyleCount);
  for (int s = 0; s < kStyleCount; ++s) order[static_cast<size_t>(s)] = s;
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
    return votes[static_cast<size_t>(x)] > votes[static_cast<size_t>(y)];
  });
  std::string text;
  for (int s : order)
    if (votes[static_cast<size_t>(s)] > 0)
      text += (text.empty() ? "" : ", ") + std::string(StyleName(s)) + " " +
              std::to_string(votes[static_cast<size_t>(s)]);
  return text.empty() ? "-" : text;
}

int FittestChoice(const BrainImage& image, const tactics::Observation& inputs) {
  const int best = Fittest(image);
  return best < 0 ? -1 : PreferredStyle(image.genomes[static_cast<size_t>(best)].network, inputs);
}

std::string ShapeText(const BrainImage& image) {
  std::string text;
  for (size_t i = 0; i < image.layerSizes.size(); ++i)
    text += (i ? "-" : "") + std::to_string(image.layerSizes[i]);
  return text;
}

// Root mean square and largest absolute change between two networks' weights and biases;
// false when their shapes differ.
bool WeightChange(const tactics::Network& a, const tactics::Network& b, double& rms,
                  double& largest) {
  if (a.layerSizes != b.layerSizes || a.weights.size() != b.weights.size() ||
      a.biases.size() != b.biases.size())
    return false;
  double sum = 0.0;
  largest = 0.0;
  const auto add = [&](const std::vector<float>& x, const std::vector<float>& y) {
    for (size_t i = 0; i < x.size(); ++i) {
      const double d = std::fabs(static_cast<double>(x[i]) - static_cast<double>(y[i]));
      sum += d * d;
      largest = std::max(largest, d);
    }
  };
  add(a.weights, b.weights);
  add(a.biases, b.biases);
  const size_t n = a.weights.size() + a.biases.size();
  rms = n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
  return true;
}

std::string CountersText(const BrainImage& a, const BrainImage& b, const std::string& nameA,
                         const std::string& nameB) {
  std::string out = Format("%-16s %-24s %-24s\n", "", nameA.c_str(), nameB.c_str());
  const auto row = [&](const char* label, const std::string& x, const std::string& y) {
    out += Format("%-16s %-24s %-24s\n", label, x.c_str(), y.c_str());
  };
  row("shape", ShapeText(a), ShapeText(b));
  row("episodes", std::to_string(a.totalEpisodes), std::to_string(b.totalEpisodes));
  row("generation", std::to_string(a.generation), std::to_string(b.generation));
  row("next genome id", std::to_string(a.nextGenomeId), std::to_string(b.nextGenomeId));
  row("average loss", Format("%.5f", a.averageLoss), Format("%.5f", b.averageLoss));
  row("genomes", std::to_string(a.genomes.size()), std::to_string(b.genomes.size()));
  row("replay records", std::to_string(a.replay.size()), std::to_string(b.replay.size()));
  return out;
}

const Genome* FindGenome(const BrainImage& image, uint32_t id) {
  for (const Genome& g : image.genomes)
    if (g.id == id) return &g;
  return nullptr;
}

std::string GenomesText(const BrainImage& a, const BrainImage& b) {
  std::string out = "genomes (matched by id):\n" +
                    Format("  %8s %10s %10s %9s %9s  %s\n", "id", "fitness A", "fitness B",
                           "episodes", "episodes", "weights moved (rms / largest)");
  std::string onlyA, onlyB;
  for (const Genome& ga : a.genomes) {
    const Genome* gb = FindGenome(b, ga.id);
    if (!gb) {
      onlyA += " " + std::to_string(ga.id);
      continue;
    }
    double rms = 0.0, largest = 0.0;
    const std::string moved = WeightChange(ga.network, gb->network, rms, largest)
                                  ? Format("%.6f / %.6f", rms, largest)
                                  : std::string("shapes differ");
    out += Format("  %8u %10.6f %10.6f %9d %9d  %s\n", ga.id, ga.fitness, gb->fitness, ga.episodes,
                  gb->episodes, moved.c_str());
  }
  for (const Genome& gb : b.genomes)
    if (!FindGenome(a, gb.id)) onlyB += " " + std::to_string(gb.id);
  if (!onlyA.empty()) out += "  only in A:" + onlyA + "\n";
  if (!onlyB.empty()) out += "  only in B:" + onlyB + "\n";
  return out;
}

}  // namespace

std::vector<Situation> FixedSituations() {
  std::vector<Situation> out;
  for (const bool facing : {true, false})
    for (const bool longTrip : {false, true})
      for (const bool allies : {true, false}) {
        tactics::Observation o{};
        o[0] = longTrip ? 1.2f : 0.3f;  // 30 m or 7.5 m to go
        o[1] = 0.1f;                    // the engine's route nearly straight
        o[2] = 0.9f;                    // the player roughly ahead
        o[3] = 0.2f;                    // the goal close to the player
        o[4] = facing ? 0.9f : -0.9f;
        o[5] = allies ? 0.5f : 0.0f;  // three others within 8 m, or none
        o[6] = 0.0f;
        o[7] = 1.0f;  // full health
        o[8] = 1.0f / 3.0f;
        o[9] = 0.0f;
        o[10] = 0.3f;  // the player walking
        o[11] = 0.0f;
        out.push_back({std::string(facing ? "player facing" : "player not facing") +
                           (longTrip ? ", long trip" : ", short trip") +
                           (allies ? ", allies near" : ", no allies near"),
                       o});
      }
  return out;
}

int PreferredStyle(const tactics::Network& net, const tactics::Observation& inputs) {
  if (!net.Consistent() || net.InputCount() != tactics::kInputCount ||
      net.OutputCount() != kStyleCount)
    return -1;
  std::array<float, kStyleCount> outputs{};
  net.Forward(inputs, outputs);
  return static_cast<int>(std::max_element(outputs.begin(), outputs.end()) - outputs.begin());
}

std::string PreferenceSummary(const BrainImage& image) {
  std::string out = Format("preferred style (fittest genome; how all %zu networks vote):\n",
                           image.genomes.size());
  for (const Situation& s : FixedSituations())
    out += Format("  %-47s %-12s %s\n", (s.name + ":").c_str(),
                  StyleName(FittestChoice(image, s.inputs)), Votes(image, s.inputs).c_str());
  return out;
}

std::string CompareText(const BrainImage& a, const BrainImage& b, const std::string& nameA,
                        const std::string& nameB) {
  std::string out = "A: " + nameA + "\nB: " + nameB + "\n\n" + CountersText(a, b, "A", "B") + "\n" +
                    GenomesText(a, b) + "\npreferred style (fittest genome):\n" +
                    Format("  %-47s %-12s %-12s\n", "", "A", "B");
  for (const Situation& s : FixedSituations()) {
    const int x = FittestChoice(a, s.inputs), y = FittestChoice(b, s.inputs);
    out += Format("  %-47s %-12s %-12s%s\n", (s.name + ":").c_str(), StyleName(x), StyleName(y),
                  x == y ? "" : "  (differs)");
  }
  return out;
}

nlohmann::json ImageJson(const BrainImage& image) {
  nlohmann::json j;
  j["shape"] = image.layerSizes;
  j["activations"] = image.activations;
  j["episodes"] = image.totalEpisodes;
  j["generation"] = image.generation;
  j["nextGenomeId"] = image.nextGenomeId;
  j["averageLoss"] = image.averageLoss;
  j["rngState"] = image.rngState;
  j["replayRecords"] = image.replay.size();
  j["replayWritePosition"] = image.storedWritePos;
  j["genomes"] = nlohmann::json::array();
  for (const Genome& g : image.genomes)
    j["genomes"].push_back({{"id", g.id},
                            {"born", g.bornGeneration},
                            {"episodes", g.episodes},
                            {"fitness", g.fitness}});
  j["styles"] = nlohmann::json::array();
  for (int s = 0; s < kStyleCount; ++s) {
    const tactics::StyleStats& st = image.styleStats[static_cast<size_t>(s)];
    nlohmann::json style = {{"name", kStyleNames[static_cast<size_t>(s)]},
                            {"episodes", st.episodes}};
    style["averageReward"] =
        st.episodes ? nlohmann::json(st.rewardSum / static_cast<double>(st.episodes)) : nullptr;
    j["styles"].push_back(style);
  }
  j["preferences"] = nlohmann::json::array();
  for (const Situation& s : FixedSituations())
    j["preferences"].push_back(
        {{"situation", s.name}, {"style", StyleName(FittestChoice(image, s.inputs))}});
  return j;
}

}  // namespace kvr::brain_tool
