#include "spark/companion_moves.h"

#include <cctype>

#include "util/text.h"

namespace plo {

std::string mending_requirement(const CompanionVerdict& verdict, const PySparkTarget& target) {
  const std::string pin = target.distribution + "==";
  for (const std::string& requirement : verdict.fix) {
    if (target.distribution.empty() || !requirement.starts_with(pin)) return requirement;
  }
  return {};
}

std::vector<std::pair<CompanionVerdict, std::string>> misfits(const InstalledBeside& installed,
                                                              const PySparkTarget& target) {
  std::vector<std::pair<CompanionVerdict, std::string>> found;
  for (CompanionVerdict& verdict : companion_verdicts(installed, target)) {
    if (verdict.fits()) continue;
    std::string requirement = mending_requirement(verdict, target);
    found.emplace_back(std::move(verdict), std::move(requirement));
  }
  return found;
}

CompanionPlan plan_companions(const InstalledBeside& installed, const PySparkTarget& target,
                              const std::map<std::string, CompanionOffer>& offers, bool keep) {
  CompanionPlan plan;
  for (auto& [verdict, requirement] : misfits(installed, target)) {
    if (keep) {
      plan.left.push_back(std::move(verdict));
      continue;
    }
    std::string location;
    for (const DistributionMetadata& candidate : installed.candidates) {
      if (candidate.name == verdict.name) location = candidate.location;
    }
    const auto offer = offers.find(verdict.name);
    if (offer == offers.end() || !offer->second.known) {
      // Nobody could tell what the index has: the installer resolves the requirement itself,
      // and the check after the install holds the result against PySpark.
      if (requirement.empty()) requirement = verdict.name;
      plan.moves.push_back(
          {verdict.name, verdict.version, "", requirement, verdict.reason, location});
      continue;
    }
    const auto& newest = offer->second.newest;
    const bool fits = newest && companion_verdict(*newest, target, installed.markers).fits();
    if (!fits) {
      plan.refusal = InstallRefusal{
          verdict.reason + ", and no release of " + verdict.name + " fits PySpark " +
              target.version,
          {"Remove it, or move it by hand to a release that fits, then switch again;",
           "or add --keep-companions to switch PySpark alone (" + verdict.name +
               " then will not work)"}};
      return plan;
    }
    plan.moves.push_back({verdict.name, verdict.version, newest->version,
                          verdict.name + "==" + newest->version, verdict.reason, location});
  }
  return plan;
}

namespace {

bool name_character(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

// Whether `line` (normalised) holds `name` with no name character on either side.
bool names(const std::string& line, const std::string& name) {
  for (size_t at = line.find(name); at != std::string::npos; at = line.find(name, at + 1)) {
    const size_t end = at + name.size();
    if ((at == 0 || !name_character(line[at - 1])) &&
        (end == line.size() || !name_character(line[end]))) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::string> conflicts_naming(std::string_view output,
                                          const std::vector<std::string>& names_wanted) {
  std::vector<std::string> found;
  for (std::string_view rest = output; !rest.empty();) {
    const auto end = rest.find('\n');
    const std::string line(trim_blanks(rest.substr(0, end)));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    std::string normal = to_lower(line);
    for (char& c : normal) c = c == '_' ? '-' : c;
    for (const std::string& name : names_wanted) {
      if (!line.empty() && names(normal, name)) {
        found.push_back(line);
        break;
      }
    }
  }
  return found;
}

}  // namespace plo
