#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/companions.h"
#include "spark/install_plan.h"

namespace plo {

// A package beside PySpark that a switch moves, in the installer run that installs PySpark.
struct CompanionMove {
  std::string name;
  std::string from;         // the installed version
  std::string to;           // the version it moves to; empty where the installer picks it
  std::string requirement;  // what the installer is given: "delta-spark==4.0.0", "numpy<2"
  std::string reason;       // why it moves: the verdict's reason against the target
  std::string location;     // the installed dist-info, whose files the kept copy holds
};

// What the package index offers for a companion that does not fit: the newest release within
// the requirement that would mend it, with its metadata; `known` is false where nobody could
// tell (no pip to ask, the index out of reach), and the installer then resolves the requirement.
struct CompanionOffer {
  bool known = false;
  std::optional<DistributionMetadata> newest = std::nullopt;
};

// How the companions go with one switch: the moves, those left that will not fit
// (--keep-companions), or why the switch may not happen.
struct CompanionPlan {
  std::vector<CompanionMove> moves = {};
  std::vector<CompanionVerdict> left = {};
  std::optional<InstallRefusal> refusal = std::nullopt;
};

// The requirement that would mend a verdict, PySpark's own pin left out ("delta-spark>=4.0,<4.1",
// "pandas<2", "mylib" for the newest release); empty where it fits.
std::string mending_requirement(const CompanionVerdict& verdict, const PySparkTarget& target);

// The companions that do not fit `target`, each with the requirement to look up on the index.
std::vector<std::pair<CompanionVerdict, std::string>> misfits(const InstalledBeside& installed,
                                                              const PySparkTarget& target);

// The plan for the companions of `installed` when PySpark becomes `target`, given what the index
// offers for each misfit (by name): a misfit moves to the offer that fits the target; one no
// release fits refuses the switch, naming its requirement, unless `keep` leaves it as it is.
// Pure: it reads only its arguments.
CompanionPlan plan_companions(const InstalledBeside& installed, const PySparkTarget& target,
                              const std::map<std::string, CompanionOffer>& offers, bool keep);

// The lines of `pip check`'s (or `uv pip check`'s) output that name one of `names` (normalised
// distribution names) as a whole word, as written, control characters and all left to the
// printer: the conflicts a switch of those packages is answerable for.
std::vector<std::string> conflicts_naming(std::string_view output,
                                          const std::vector<std::string>& names);

}  // namespace plo
