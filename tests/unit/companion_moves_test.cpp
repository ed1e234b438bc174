// The packages that move with a switch: which move where, which refuse it, which pip check
// lines a switch answers for, and what pip's dry-run report says.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "spark/companion_moves.h"
#include "spark/companion_offers.h"

namespace plo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

DistributionMetadata release(const std::string& name, const std::string& version,
                             std::vector<std::string> requires_dist = {}) {
  return {
      name, version, std::move(requires_dist), {}, "/site/" + name + "-" + version + ".dist-info"};
}

TEST(CompanionPlan, MovesWhatTheIndexOffersRefusesWhatNothingFitsKeepsOnRequest) {
  const DistributionMetadata delta = release("delta-spark", "3.3.0", {"pyspark<3.6.0,>=3.5.3"});
  const DistributionMetadata own = release("mylib", "1.0", {"pyspark<3.6"});
  const DistributionMetadata numpy = release("numpy", "2.1.3");
  struct Case {
    const char* name;
    std::vector<DistributionMetadata> beside;
    std::string target;
    std::map<std::string, CompanionOffer> offers;
    bool keep;
    std::vector<std::string> moves;  // "name from -> requirement"
    std::vector<std::string> left;
    std::string refusal;  // a part of its reason
  } cases[] = {
      {"delta to the release the index offers",
       {delta},
       "4.0.0",
       {{"delta-spark", {true, release("delta-spark", "4.0.0", {"pyspark<4.1.0,>=4.0.0"})}}},
       false,
       {"delta-spark 3.3.0 -> delta-spark==4.0.0"},
       {},
       ""},
      {"an offer that does not fit either refuses",
       {delta},
       "4.0.0",
       {{"delta-spark", {true, release("delta-spark", "3.3.0", {"pyspark<3.6.0,>=3.5.3"})}}},
       false,
       {},
       {},
       "no release of delta-spark fits PySpark 4.0.0"},
      {"a user's package no release of which fits",
       {own},
       "4.0.0",
       {{"mylib", {true, std::nullopt}}},
       false,
       {},
       {},
       "mylib 1.0 requires pyspark<3.6"},
      {"--keep-companions leaves it and says so",
       {own, delta},
       "4.0.0",
       {},
       true,
       {},
       {"delta-spark", "mylib"},
       ""},
      {"the index out of reach: the installer resolves the requirement",
       {numpy},
       "3.5.1",
       {},
       false,
       {"numpy 2.1.3 -> numpy<2"},
       {},
       ""},
      {"what fits stays", {delta}, "3.5.5", {}, false, {}, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InstalledBeside installed;
    installed.candidates = c.beside;
    const CompanionPlan plan = plan_companions(
        installed, {.version = c.target, .distribution = "pyspark"}, c.offers, c.keep);
    std::vector<std::string> moves, left;
    for (const auto& m : plan.moves)
      moves.push_back(m.name + " " + m.from + " -> " + m.requirement);
    for (const auto& v : plan.left) left.push_back(v.name);
    EXPECT_EQ(moves, c.moves);
    EXPECT_EQ(left, c.left);
    if (c.refusal.empty()) {
      EXPECT_FALSE(plan.refusal);
    } else {
      ASSERT_TRUE(plan.refusal);
      EXPECT_THAT(plan.refusal->reason, HasSubstr(c.refusal));
    }
    for (const auto& m : plan.moves)
      EXPECT_EQ(m.location, "/site/" + m.name + "-" + m.from + ".dist-info");
  }
}

TEST(CompanionPlan, ASwitchAnswersOnlyForTheConflictsThatNameWhatItMoved) {
  const std::string pip =
      "delta-spark 4.0.0 has requirement pyspark<4.1.0,>=4.0.0, but you have pyspark 3.5.9.\n"
      "oldtool 0.1 requires requests, which is not installed.\n"
      "pyspark-client 4.0.0 has requirement grpcio>=1.67.0, but you have grpcio 1.60.0.\n";
  EXPECT_THAT(conflicts_naming(pip, {"pyspark"}),
              ElementsAre(HasSubstr("delta-spark 4.0.0 has requirement")));
  EXPECT_THAT(conflicts_naming(pip, {"pyspark-client", "oldtool"}),
              ElementsAre(HasSubstr("oldtool"), HasSubstr("pyspark-client")));
  EXPECT_THAT(conflicts_naming("The package `delta_spark` requires `pyspark>=4.0.0,<4.1.0`, but "
                               "`3.5.9` is installed\n",
                               {"delta-spark"}),
              ElementsAre(HasSubstr("delta_spark")));
  EXPECT_THAT(conflicts_naming("No broken requirements found.\n", {"pyspark"}), IsEmpty());
}

TEST(CompanionOffers, ReadsPipsDryRunReportAndNothingOfAnotherShape) {
  const auto releases = releases_in_report(R"({"version": "1", "install": [
      {"metadata": {"name": "Delta_Spark", "version": "4.0.0",
                    "requires_dist": ["pyspark<4.1.0,>=4.0.0", 7]}},
      {"metadata": {"name": "evil", "version": "\u001b[2J"}},
      {"metadata": "not an object"}]})");
  ASSERT_EQ(releases.size(), 1u);
  const DistributionMetadata& delta = releases.at("delta-spark");
  EXPECT_EQ(delta.version, "4.0.0");
  EXPECT_THAT(delta.requires_dist, ElementsAre("pyspark<4.1.0,>=4.0.0"));
  for (const char* hostile : {"", "[]", "{\"install\": 3}", "{\"install\": [1, null]}", "{"}) {
    EXPECT_THAT(releases_in_report(hostile), IsEmpty()) << hostile;
  }
}

}  // namespace
}  // namespace plo
