#include "environment/distributions.h"
#include "spark/companion_offers.h"
#include "spark/spark_task.h"

namespace plo {

using Kind = SwitchEvent::Kind;

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
    offers = s_.companion_offers ? s_.companion_offers(wanted)
                                 : pip_offers(s_.runner, s_.interpreter(), wanted);
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
