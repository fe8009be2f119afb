// What a brain has learnt, in forms a person can read: the style each network picks in a fixed
// set of situations, a side-by-side comparison of two brains, and info as JSON.
#pragma once
#include <array>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "persistence/brain_file.h"

namespace kvr::brain_tool {

// A made-up decision: the network inputs of one kind of moment in a fight.
struct Situation {
  std::string name;
  tactics::Observation inputs;
};

// Player facing the thug or not, short or long trip, allies near or not: eight situations, the
// other inputs at ordinary values (healthy, no attack token, player walking, no fear).
std::vector<Situation> FixedSituations();

// The style the network picks when it does not explore (the highest output, the lowest style
// on a tie); -1 for a network that does not have the system's shape.
int PreferredStyle(const tactics::Network& net, const tactics::Observation& inputs);

// One line per situation: the fittest genome's style and how all networks vote.
std::string PreferenceSummary(const persistence::BrainImage& image);

// Shapes, counters and generation side by side; per genome (matched by id) fitness and how far
// the weights moved; and per situation the style each brain's fittest genome prefers.
std::string CompareText(const persistence::BrainImage& a, const persistence::BrainImage& b,
                        const std::string& nameA, const std::string& nameB);

// Everything `info` prints, as one JSON object (verdict and error given by the caller).
nlohmann::json ImageJson(const persistence::BrainImage& image);

extern const std::array<const char*, tactics::kStyleCount> kStyleNames;

}  // namespace kvr::brain_tool
