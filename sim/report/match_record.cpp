#include "sim/report/match_record.h"

namespace kvr::sim::report {

const char* PolicyName(Policy policy) {
  switch (policy) {
    case Policy::kRandom:
      return "random";
    case Policy::kRule:
      return "rule";
    case Policy::kLearned:
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
  return false;
}

void ApplyPolicy(Policy policy, Settings& settings) {
  SetSettingValue(settings, kSettingVerboseLog, 1.0);
  SetSettingValue(settings, kSettingNeuralTactics, policy == Policy::kRule ? 0.0 : 1.0);
  if (policy == Policy::kRandom) {
    SetSettingValue(settings, kSettingExploreStart, 1.0);
    SetSettingValue(settings, kSettingExploreMin, 1.0);
  }
}

}  // namespace kvr::sim::report
