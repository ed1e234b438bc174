#include "doctor/doctor_facts.h"
#include "environment/spark_jars.h"
#include "util/text_file.h"

namespace plo {
namespace {

constexpr size_t kMaxConfBytes = 1 << 20;

// A variable's value where it is set and not empty.
std::optional<std::string> non_empty(DoctorFacts& facts, const char* name) {
  auto value = facts.s.env(name);
  if (value && value->empty()) value.reset();
  return value;
}

// The Scala the pip PySpark is built for where its jars do not tell: 3.x 2.12, 4.x 2.13.
std::string scala_of_line(const std::string& version) {
  return version.starts_with("3.") || version.starts_with("2.") ? "2.12" : "2.13";
}

std::string with_text(std::string text, const std::string& from, const std::string& to) {
  if (from == to) return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

void check_jars(DoctorFacts& facts, DoctorCheck& check) {
  const auto& pyspark = facts.pyspark();
  if (!pyspark || facts.flavour() != Flavour::Classic) {
    check.summary = "not looked at: no local Spark to load jars into";
    return;
  }
  // The Spark PySpark launches, and the conf folder its spark-submit reads.
  const std::string home = non_empty(facts, "SPARK_HOME").value_or(pyspark->location);
  const std::string defaults_file =
      non_empty(facts, "SPARK_CONF_DIR").value_or(home + "/conf") + "/spark-defaults.conf";
  // What spark-submit uses: the command line's over spark-defaults.conf's.
  const auto submit_args = facts.s.env("PYSPARK_SUBMIT_ARGS");
  std::optional<std::string> list = submit_args ? submit_args_packages(*submit_args) : std::nullopt;
  std::string source = "PYSPARK_SUBMIT_ARGS";
  if (!list) {
    source = defaults_file;
    if (const auto conf = read_file_prefix(defaults_file, kMaxConfBytes)) {
      list = spark_defaults_value(*conf, "spark.jars.packages");
    }
  }
  if (!list || list->empty()) {
    check.summary = "not set";
    return;
  }
  const std::vector<MavenPackage> packages = parse_jar_packages(*list);
  const SparkJars jars = inspect_spark_jars(home + "/jars");
  const std::string scala = jars.scala.value_or(scala_of_line(pyspark->version));
  check.summary = *list + " (from " + source + "; Spark's Scala " + scala +
                  (jars.hadoop ? ", Hadoop " + *jars.hadoop : "") + ")";
  std::string fixed = *list;
  for (const MavenPackage& package : packages) {
    std::string artifact = package.artifact;
    std::string version = package.version;
    if (const auto suffix = scala_suffix(artifact); suffix && *suffix != scala) {
      check.raise(CheckStatus::Error, package.text + " is built for Scala " + *suffix +
                                          ", but PySpark " + pyspark->version + " runs Scala " +
                                          scala + ": it fails to load");
      artifact = artifact.substr(0, artifact.size() - suffix->size()) + scala;
    }
    if (package.artifact == "hadoop-aws" && jars.hadoop && version != *jars.hadoop) {
      check.raise(CheckStatus::Error,
                  package.text + " is not the bundled Hadoop " + *jars.hadoop +
                      " (hadoop-client-api-" + *jars.hadoop +
                      ".jar): hadoop-aws must match it, or S3A fails with NoSuchMethodError or "
                      "ClassNotFoundException");
      version = *jars.hadoop;
    }
    fixed = with_text(fixed, package.text, package.group + ":" + artifact + ":" + version);
  }
  if (check.status == CheckStatus::Ok) return;
  if (submit_args && source == "PYSPARK_SUBMIT_ARGS") {
    check.fix = "export PYSPARK_SUBMIT_ARGS=\"" + with_text(*submit_args, *list, fixed) + "\"";
  } else {
    check.fix = "set spark.jars.packages " + fixed + " in " + source;
  }
}

}  // namespace plo
