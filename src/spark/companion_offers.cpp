#include "spark/companion_offers.h"

#include <nlohmann/json.hpp>

#include "catalogue/versions.h"
#include "util/environment.h"

namespace plo {
namespace {

using nlohmann::json;

// Long enough for a slow index, short enough that a dead one does not hold the switch.
constexpr std::chrono::seconds kDryRunLimit{120};

std::vector<std::string> strings_in(const json& value) {
  std::vector<std::string> found;
  if (!value.is_array()) return found;
  for (const json& item : value) {
    if (item.is_string()) found.push_back(item.get<std::string>());
  }
  return found;
}

// pip's words when no release satisfies a requirement (as opposed to an index out of reach).
bool no_matching_release(const ProcessResult& result) {
  return result.err.find("No matching distribution found") != std::string::npos ||
         result.err.find("Could not find a version that satisfies") != std::string::npos;
}

ProcessResult dry_run(ProcessRunner& runner, const std::string& interpreter,
                      const std::vector<std::string>& requirements) {
  std::vector<std::string> argv = {interpreter,
                                   "-m",
                                   "pip",
                                   "install",
                                   "--dry-run",
                                   "--no-deps",
                                   "--ignore-installed",
                                   "--quiet",
                                   "--disable-pip-version-check",
                                   "--report",
                                   "-"};
  argv.insert(argv.end(), requirements.begin(), requirements.end());
  std::vector<std::string> environment = current_environment();
  environment.emplace_back("PIP_NO_INPUT=1");  // a question would wait for ever
  return runner.run({.argv = std::move(argv),
                     .environment = std::move(environment),
                     .capture = true,
                     .time_limit = kDryRunLimit});
}

}  // namespace

std::map<std::string, DistributionMetadata> releases_in_report(const std::string& report) {
  std::map<std::string, DistributionMetadata> releases;
  const json document = json::parse(report, nullptr, false);
  if (!document.is_object() || !document.contains("install") || !document["install"].is_array()) {
    return releases;
  }
  for (const json& item : document["install"]) {
    if (!item.is_object() || !item.contains("metadata") || !item["metadata"].is_object()) continue;
    const json& metadata = item["metadata"];
    if (!metadata.contains("name") || !metadata["name"].is_string() ||
        !metadata.contains("version") || !metadata["version"].is_string()) {
      continue;
    }
    DistributionMetadata release{normalized_name(metadata["name"].get<std::string>()),
                                 metadata["version"].get<std::string>()};
    if (!looks_like_version(release.version)) continue;
    if (metadata.contains("requires_dist"))
      release.requires_dist = strings_in(metadata["requires_dist"]);
    if (metadata.contains("provides_extra")) {
      for (const std::string& extra : strings_in(metadata["provides_extra"])) {
        release.provides_extra.push_back(normalized_name(extra));
      }
    }
    releases.emplace(release.name, std::move(release));
  }
  return releases;
}

std::map<std::string, CompanionOffer> pip_offers(
    ProcessRunner& runner, const std::string& interpreter,
    const std::vector<std::pair<std::string, std::string>>& wanted) {
  std::map<std::string, CompanionOffer> offers;
  if (wanted.empty()) return offers;
  const auto ask = [&](const std::vector<std::pair<std::string, std::string>>& some) {
    std::vector<std::string> requirements;
    for (const auto& item : some) requirements.push_back(item.second);
    ProcessResult result;
    try {
      result = dry_run(runner, interpreter, requirements);
    } catch (const ProcessStartError&) {
      return false;
    }
    if (result.exit_code != 0 || result.out_cut) {
      if (some.size() == 1 && no_matching_release(result)) offers[some[0].first].known = true;
      return false;
    }
    const auto releases = releases_in_report(result.out);
    for (const auto& item : some) {
      const auto release = releases.find(item.first);
      if (release == releases.end()) continue;  // pip named another package: not an answer
      offers[item.first] = {true, release->second};
    }
    return true;
  };
  // One run for all; where it fails, one each, so that the one no release satisfies is known.
  if (ask(wanted) || wanted.size() == 1) return offers;
  for (const auto& item : wanted) ask({item});
  return offers;
}

}  // namespace plo
