#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "registry/compute_registry.h"
#include "registry/computes_editor.h"

namespace plo {
namespace {

using ::testing::HasSubstr;

const NewCompute kProd{"prod", std::nullopt, "spark://m1:7077", std::nullopt, std::nullopt};

TEST(ComputesEditor, AddKeepsEveryOtherLineAndAppendsAtTheEndOfTheBlock) {
  const std::string before =
      "# my clusters\n"
      "computes:\n"
      "  dev:   # laptop\n"
      "    config:\n"
      "      master: local[*]\n"
      "      # cores: 4\n"
      "\n"
      "# other settings\n"
      "theme: dark\n";
  EXPECT_EQ(add_compute_text(before, kProd),
            "# my clusters\n"
            "computes:\n"
            "  dev:   # laptop\n"
            "    config:\n"
            "      master: local[*]\n"
            "      # cores: 4\n"
            "  prod:\n"
            "    config:\n"
            "      master: spark://m1:7077\n"
            "\n"
            "# other settings\n"
            "theme: dark\n");
}

TEST(ComputesEditor, AddCreatesTheBlockAndFollowsTheFilesIndentAndLineEnds) {
  struct Case {
    std::string before;
    std::string after;
  };
  const NewCompute full{"db", "databricks", std::nullopt, "adb-1.azuredatabricks.net", "0123-a"};
  const std::vector<Case> cases = {
      {"",
       "computes:\n  db:\n    type: databricks\n    config:\n      host: "
       "adb-1.azuredatabricks.net\n      cluster_id: 0123-a\n"},
      {"theme: dark",
       "theme: dark\ncomputes:\n  db:\n    type: databricks\n    config:\n      "
       "host: adb-1.azuredatabricks.net\n      cluster_id: 0123-a\n"},
      {"computes:\n",
       "computes:\n  db:\n    type: databricks\n    config:\n      host: "
       "adb-1.azuredatabricks.net\n      cluster_id: 0123-a\n"},
      {"computes:\n    a:\n        type: spark\n",
       "computes:\n    a:\n        type: spark\n    db:\n        type: databricks\n        "
       "config:\n            host: adb-1.azuredatabricks.net\n            cluster_id: 0123-a\n"},
      {"computes:\r\n  a:\r\n    type: spark",
       "computes:\r\n  a:\r\n    type: spark\r\n  db:\r\n  "
       "  type: databricks\r\n    config:\r\n      host: "
       "adb-1.azuredatabricks.net\r\n      cluster_id: "
       "0123-a\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(add_compute_text(c.before, full), c.after) << c.before;
}

TEST(ComputesEditor, RemoveTakesOnlyTheEntrysLines) {
  const std::string before =
      "computes:\n"
      "  # the big one\n"
      "  prod:\n"
      "    config:\n"
      "      master: spark://m1:7077  # HA soon\n"
      "      # old: spark://m0:7077\n"
      "  dev:\n"
      "    config:\n"
      "      master: local\n";
  EXPECT_EQ(remove_compute_text(before, "prod"),
            "computes:\n"
            "  # the big one\n"
            "  dev:\n"
            "    config:\n"
            "      master: local\n");
  EXPECT_EQ(remove_compute_text("computes:\n  'odd name':\n    type: x\n", "odd name"),
            "computes:\n");
}

TEST(ComputesEditor, RefusesWhatItCannotEditSafely) {
  struct Case {
    std::string text;
    bool add;  // else remove "prod"
    std::string message;
  };
  const std::vector<Case> cases = {
      {"computes: {prod: {type: spark}}\n", true, "flow style"},
      {"{computes: {prod: {type: spark}}}\n", false, "cannot edit safely"},
      {"computes:\n  prod: {type: spark}\n", false, "flow style"},
      {"computes:\n  prod:\n    type: spark\n", true, "already in computes.yml"},
      {"computes:\n  dev:\n    type: spark\n", false, "no compute named 'prod'"},
      {"computes:\n\tprod:\n\t\ttype: spark\n", false, "not valid YAML"},
      {"computes:\n  - prod\n", true, "'computes' is not a mapping"},
      {"computes:\n  prod: [unclosed\n", true, "not valid YAML"},
      {"computes:\n  prod: &p\n    type: spark\n  dev: *p\n", false, "cannot edit safely"},
      {"---\ncomputes:\n  prod:\n    type: spark\n", false, "document markers"},
      {std::string("#\0\ncomputes:\n  dev:\n    # x\n    # y", 35), true, "NUL byte"},
  };
  for (const auto& c : cases) {
    try {
      if (c.add) {
        add_compute_text(c.text, kProd);
      } else {
        remove_compute_text(c.text, "prod");
      }
      ADD_FAILURE() << "not refused: " << c.text;
    } catch (const ComputesEditRefused& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.text;
    }
  }
}

TEST(ComputesEditor, AddingBesideAFlowStyleEntryLeavesItAlone) {
  const std::string after = add_compute_text("computes:\n  dev: {type: spark}\n", kProd);
  EXPECT_EQ(after,
            "computes:\n  dev: {type: spark}\n  prod:\n    config:\n      master: "
            "spark://m1:7077\n");
}

TEST(ComputesEditor, ValuesAreQuotedWhereYamlWouldReadThemOtherwise) {
  struct Case {
    std::string value;
    std::string scalar;
  };
  const std::vector<Case> cases = {
      {"spark://h1:7077,h2:7077", "spark://h1:7077,h2:7077"},
      {"local[*]", "local[*]"},
      {"sc://h/;token=a;use_ssl=true", "sc://h/;token=a;use_ssl=true"},
      {"true", "'true'"},
      {"No", "'No'"},
      {"0123", "'0123'"},
      {"1e3", "'1e3'"},
      {"a: b", "'a: b'"},
      {"x #y", "'x #y'"},
      {"*alias", "'*alias'"},
      {"it's", "it's"},
      {"'q'", "'''q'''"},
      {" padded", "' padded'"},
      {"", "''"},
      {"caf\xc3\xa9", "'caf\xc3\xa9'"},
  };
  for (const auto& c : cases) EXPECT_EQ(yaml_scalar(c.value), c.scalar) << c.value;
  EXPECT_THROW(yaml_scalar("a\x1b]0;x"), ComputesEditRefused);
  EXPECT_THROW(yaml_scalar("a\nb"), ComputesEditRefused);

  // What was written reads back as the same texts.
  const NewCompute odd{"yes", "true", "local[4]", std::nullopt, "0017"};
  const auto registry = YamlComputeRegistry::from_text(add_compute_text("", odd), "c.yml");
  const auto record = registry->get("yes");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->type, "true");
  EXPECT_EQ(record->config->at("master"), "local[4]");
  EXPECT_EQ(record->config->at("cluster_id"), "0017");
}

TEST(YamlComputeRegistry, NamesKeepFileOrder) {
  const auto registry =
      YamlComputeRegistry::from_text("computes:\n  zeta: {}\n  alpha: {}\n  mid: {}\n", "c.yml");
  EXPECT_EQ(registry->names(), (std::vector<std::string>{"zeta", "alpha", "mid"}));
}

}  // namespace
}  // namespace plo
