#include "sim/match/mod_folder.h"

#include <algorithm>
#include <filesystem>

#include "persistence/brain_file.h"
#include "platform/file.h"
#include "platform/text.h"
#include "settings/config_ini.h"
#include "sim/arena/play.h"

namespace kvr::sim {

namespace {

namespace fs = std::filesystem;

fs::path Wide(const std::string& utf8) {
  return fs::path(platform::Utf8ToWide(utf8));
}

std::string InDir(const std::string& dir, const char* name) {
  return platform::WideToUtf8((Wide(dir) / name).wstring());
}

bool Write(const std::string& path, std::string_view bytes, std::string& error) {
  if (platform::WriteFileReplacing(path, bytes) == platform::ReplaceStatus::kOk) return true;
  error = "cannot write " + path;
  return false;
}

bool WriteConfig(const std::string& path, const report::Policy& policy, std::string& error) {
  std::string text;
  if (!platform::ReadWholeFile(path, text)) {
    Settings settings;  // no file: the mod's own writer, defaults plus the policy
    report::ApplyPolicy(policy, settings);
    if (WriteConfigIni(path, settings)) return true;
    error = "cannot write " + path;
    return false;
  }
  const std::string edited = WithPolicyLines(text, policy);
  return edited == text || Write(path, edited, error);
}

bool WriteFixedBrain(const std::string& modDir, int style, uint64_t seed, std::string& error) {
  Settings settings;
  std::string status;
  ReadConfigIni(InDir(modDir, "config.ini"), settings, status);
  const tactics::Brain brain = FixedStyleBrain(settings, style, seed);
  std::string why;
  if (persistence::WriteBrainFile(brain, InDir(modDir, "brain.kvrb"), why)) return true;
  error = "cannot write the fixed-style brain: " + why;
  return false;
}

}  // namespace

std::string MatchBackupPath(const std::string& path) {
  return path + ".match-backup";
}

std::string WithPolicyLines(const std::string& text, const report::Policy& policy) {
  Settings read;
  ApplyConfigIniText(text, read, nullptr);
  Settings wanted = read;
  report::ApplyPolicy(policy, wanted);
  std::string out = text;
  for (const report::PolicySetting& s : report::PolicySettings(policy)) {
    const double value = GetSettingValue(wanted, s.row);
    if (GetSettingValue(read, s.row) == value) continue;
    const SettingDef& def = SettingsTable()[s.row];
    out = WithSetting(out, def.section, def.key, FormatSettingValue(def, value));
  }
  return out;
}

tactics::Brain FixedStyleBrain(const Settings& settings, int style, uint64_t seed) {
  tactics::Brain brain;
  brain.Configure(tactics::MakeBrainConfig(settings), seed);
  for (tactics::Genome& genome : brain.genomes) {
    tactics::Network& net = genome.network;
    std::fill(net.weights.begin(), net.weights.end(), 0.0f);
    std::fill(net.biases.begin(), net.biases.end(), 0.0f);
    const size_t outputs = static_cast<size_t>(net.layerSizes.back());
    for (size_t j = 0; j < outputs; ++j)
      net.biases[net.biases.size() - outputs + j] = static_cast<int>(j) == style ? 8.0f : -8.0f;
  }
  return brain;
}

bool ModFolderEdit::Take(Saved& saved, const std::string& path, std::string& error) {
  saved = {};
  saved.path = path;
  saved.existed = platform::ReadWholeFile(path, saved.bytes);
  if (saved.existed && !Write(MatchBackupPath(path), saved.bytes, error)) return false;
  saved.taken = true;
  return true;
}

bool ModFolderEdit::PutBack(Saved& saved, std::string* error) {
  if (!saved.taken) return true;
  std::error_code ec;
  std::string why;
  if (saved.existed ? !Write(saved.path, saved.bytes, why)
                    : (fs::remove(Wide(saved.path), ec), ec.value() != 0)) {
    if (error) *error = why.empty() ? "cannot remove " + saved.path : why;
    return false;
  }
  fs::remove(Wide(MatchBackupPath(saved.path)), ec);
  saved.taken = false;
  return true;
}

bool ModFolderEdit::Apply(const std::string& modDir, const report::Policy& policy, uint64_t seed,
                          std::string& error) {
  std::error_code ec;
  fs::create_directories(Wide(modDir), ec);
  const std::string config = InDir(modDir, "config.ini");
  const std::string brain = InDir(modDir, "brain.kvrb");
  for (const std::string& path : {config, brain})
    if (fs::exists(Wide(MatchBackupPath(path)), ec)) {
      error = MatchBackupPath(path) + " is left from an interrupted match: put it back as " + path +
              " (or remove it) first";
      return false;
    }
  if (!Take(config_, config, error) || !WriteConfig(config, policy, error)) return false;
  if (policy.kind != report::PolicyKind::kFixed) return true;
  return Take(brain_, brain, error) && WriteFixedBrain(modDir, policy.style, seed, error);
}

bool ModFolderEdit::Restore(std::string* error) {
  const bool brain = PutBack(brain_, error);
  return PutBack(config_, error) && brain;
}

}  // namespace kvr::sim
