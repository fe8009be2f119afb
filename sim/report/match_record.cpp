#include "sim/report/match_record.h"

namespace kvr::sim::report {

namespace {

constexpr std::string_view kFixedPrefix = "fixed:";

}  // namespace

std::string PolicyName(const Policy& policy) {
  switch (policy.kind) {
    case PolicyKind::kRandom:
      return "random";
    case PolicyKind::kRule:
      return "rule";
    case PolicyKind::kFixed:
      return std::string(kFixedPrefix) + (policy.style >= 0 && policy.style < aps::kStyleCount
                                              ? aps::Style(policy.style).name
                                              : "?");
    case PolicyKind::kLearned:
      break;
  }
  return "learned";
}

bool ParsePolicy(const std::string& text, Policy& out) {
  for (Policy p : kPolicies)
    if (text == PolicyName(p)) {
      out = p;
      return true;
    }
  if (text.rfind(kFixedPrefix, 0) != 0) return false;
  const int style = StyleIndexByName(std::string_view(text).substr(kFixedPrefix.size()));
  if (style < 0) return false;
  out = Policy::Fixed(style);
  return true;
}

int PolicyOrder(const Policy& policy) {
  return policy.kind == PolicyKind::kFixed ? 3 + policy.style : static_cast<int>(policy.kind);
}

std::vector<PolicySetting> PolicySettings(const Policy& policy) {
  std::vector<PolicySetting> out = {
      {kSettingVerboseLog, 1.0},
      {kSettingNeuralTactics, policy.kind == PolicyKind::kRule ? 0.0 : 1.0}};
  if (policy.kind == PolicyKind::kRandom) {
    out.push_back({kSettingExploreStart, 1.0});
    out.push_back({kSettingExploreMin, 1.0});
  }
  if (policy.kind == PolicyKind::kFixed) {
    // The learning settings cannot be switched off outright (LearningRate and GradientClip
    // have minima above 0), so the brain's networks are built to need no change: their
    // answer rests on output biases that the smallest step moves by at most 1e-6 an episode.
    const PolicySetting still[] = {{kSettingExploreStart, 0.0},     {kSettingExploreMin, 0.0},
                                   {kSettingPopulation, 1.0},       {kSettingReplaySize, 0.0},
                                   {kSettingReplayPerEpisode, 0.0}, {kSettingLearningRate, 0.0},
                                   {kSettingMomentum, 0.0},         {kSettingL2, 0.0},
                                   {kSettingGradientClip, 0.0}};
    out.insert(out.end(), std::begin(still), std::end(still));
  }
  return out;
}

void ApplyPolicy(const Policy& policy, Settings& settings) {
  for (const PolicySetting& s : PolicySettings(policy)) SetSettingValue(settings, s.row, s.value);
}

}  // namespace kvr::sim::report
