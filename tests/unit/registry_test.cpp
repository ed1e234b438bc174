#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "registry/compute_registry.h"

namespace plo {
namespace {

using ::testing::HasSubstr;

std::string write_file(const std::string& name, const std::string& contents) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << contents;
  return path;
}

TEST(YamlComputeRegistry, ReadsRecords) {
  const std::string path = write_file("computes-good.yml", R"(
computes:
  prod-spark:
    type: spark
    config:
      master: spark://spark-master.internal:7077
      cores: 8
      enabled: true
      nothing: ~
  bare: {}
)");
  YamlComputeRegistry registry(path);
  const auto prod = registry.get("prod-spark");
  ASSERT_TRUE(prod);
  EXPECT_EQ(prod->type, "spark");
  ASSERT_TRUE(prod->config);
  EXPECT_EQ(prod->config->at("master"), "spark://spark-master.internal:7077");
  EXPECT_EQ(prod->config->at("cores"), "8");
  EXPECT_EQ(prod->config->at("enabled"), "true");
  EXPECT_EQ(prod->config->count("nothing"), 0u);
  const auto bare = registry.get("bare");
  ASSERT_TRUE(bare);
  EXPECT_FALSE(bare->type);
  EXPECT_FALSE(bare->config);
  EXPECT_FALSE(registry.get("missing"));
}

TEST(YamlComputeRegistry, EmptyFileDefinesNothing) {
  YamlComputeRegistry registry(write_file("computes-empty.yml", ""));
  EXPECT_FALSE(registry.get("x"));
}

TEST(YamlComputeRegistry, BadFilesAreErrorsNamingTheFile) {
  struct Case {
    std::string name, contents, message;
  } cases[] = {
      {"bad-yaml.yml", "computes:\n  a: [1, 2\n", "not valid YAML"},
      {"bad-top.yml", "- a\n- b\n", "the top level is not a mapping"},
      {"bad-computes.yml", "computes: [a]\n", "'computes' is not a mapping"},
      {"bad-record.yml", "computes:\n  a: text\n", "compute 'a' is not a mapping"},
      {"bad-config.yml", "computes:\n  a:\n    config: [1]\n",
       "the config of 'a' is not a mapping"},
      {"bad-value.yml", "computes:\n  a:\n    config:\n      master: [1]\n",
       "the setting 'master' of 'a' is not a single value"},
  };
  for (const auto& c : cases) {
    const std::string path = write_file(c.name, c.contents);
    try {
      YamlComputeRegistry registry(path);
      ADD_FAILURE() << c.name << " was accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_THAT(e.what(), HasSubstr(path)) << c.name;
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.name;
    }
  }
  EXPECT_THROW(YamlComputeRegistry("/no/such/computes.yml"), std::runtime_error);
}

TEST(YamlComputeRegistry, YamlErrorsSayWhere) {
  const std::string path = write_file("computes-where.yml", "computes:\n  a: [1, 2\n");
  try {
    YamlComputeRegistry registry(path);
  } catch (const std::runtime_error& e) {
    EXPECT_THAT(e.what(), HasSubstr("line "));
    EXPECT_THAT(e.what(), HasSubstr("column "));
  }
}

}  // namespace
}  // namespace plo
