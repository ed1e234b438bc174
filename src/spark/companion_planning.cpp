#include "environment/distributions.h"
#include "spark/companion_offers.h"
#include "spark/spark_task.h"

namespace plo {

using Kind = SwitchEvent::Kind;

namespace {
// How many releases of one companion are looked at, newest first, before none is said to fit.
constexpr int kOfferRounds = 5;
}  // namespace

bool SparkTask::plan_companions_for(SwitchAsked& asked, const std::optional<std::string>& from) {
  InstalledBeside installed;
  try {
    installed = s_.compat.companions();
  } catch (const std::exception&) {
    return true;  // an interpreter that does not answer: the install phase says so
  }
  const PySparkTarget target{.version = asked.version, .distribution = asked.package};
  const auto wrong = misfits(installed, target);
  if (wrong.empty()) return true;

  std::map<std::string, CompanionOffer> offers;
  if (!s_.keep_companions) {
    std::vector<std::pair<std::string, std::string>> wanted;
    for (const auto& [verdict, requirement] : wrong) {
      wanted.emplace_back(verdict.name, requirement.empty() ? verdict.name : requirement);
    }
    // The newest release within the requirement may still require another PySpark (a Delta
    // line plo's table does not know yet): the next older ones are asked for, a few at most.
    for (int round = 0; round < kOfferRounds && !wanted.empty(); ++round) {
      const auto found = s_.companion_offers ? s_.companion_offers(wanted)
                                             : pip_offers(s_.runner, s_.interpreter(), wanted);
      std::vector<std::pair<std::string, std::string>> older;
      for (const auto& [name, requirement] : wanted) {
        const auto offer = found.find(name);
        if (offer == found.end()) continue;
        offers[name] = offer->second;
        const auto& newest = offer->second.newest;
        if (newest && !companion_verdict(*newest, target, installed.markers).fits()) {
          older.emplace_back(name,
                             requirement + (requirement == name ? "<" : ",<") + newest->version);
        }
      }
      wanted = std::move(older);
    }
  }
  CompanionPlan plan = plan_companions(installed, target, offers, s_.keep_companions);
  if (plan.refusal) {
    emit({.kind = Kind::Refused, .text = plan.refusal->reason, .lines = plan.refusal->mend});
    finished_early(asked, from, false, "refused", plan.refusal->reason);
    return false;
  }
  if (!plan.left.empty()) {
    emit({.kind = Kind::CompanionsLeft, .version = asked.version, .left = plan.left});
  }
  if (!plan.moves.empty()) {
    emit({.kind = Kind::CompanionsPlanned, .version = asked.version, .moves = plan.moves});
  }
  asked.companions = std::move(plan.moves);
  return true;
}

}  // namespace plo
