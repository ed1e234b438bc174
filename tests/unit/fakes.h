#pragma once

// Test doubles for the seams the task reaches the world through.

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cancel/cancel.h"
#include "compat/databricks_client.h"
#include "compat/java_compat_service.h"
#include "console/answers.h"
#include "console/console.h"
#include "process/process_runner.h"
#include "registry/compute_registry.h"
#include "spark/spark_task.h"

namespace plo::testing {

// Records every line; styled pieces show as <colour>text</colour> (bold adds a "!").
class FakeConsole : public Console {
 public:
  struct Cancel {};
  using Answer = std::variant<std::string, Cancel>;

  std::vector<std::string> lines;
  std::vector<std::string> questions;
  std::deque<Answer> answers;

  void echo(std::string_view text = {}) override {
    // A "\n" inside one echo is a line break on screen too.
    std::string t(text);
    size_t start = 0;
    for (;;) {
      const auto nl = t.find('\n', start);
      lines.push_back(t.substr(start, nl == std::string::npos ? nl : nl - start));
      if (nl == std::string::npos) break;
      start = nl + 1;
    }
  }
  std::string style(std::string_view text, Color fg, bool bold = false) const override {
    static const char* names[] = {"red", "green", "yellow", "blue", "cyan"};
    const std::string name = std::string(names[static_cast<int>(fg)]) + (bold ? "!" : "");
    return "<" + name + ">" + std::string(text) + "</" + name + ">";
  }
  long long prompt_int(std::string_view question) override {
    for (;;) {
      const std::string entry = next(question);
      if (auto value = parse_integer_answer(entry)) return *value;
    }
  }
  std::string prompt_text(std::string_view question) override { return next(question); }
  bool confirm(std::string_view question, bool default_value) override {
    const std::string entry = next(question);
    if (entry.empty()) return default_value;
    return parse_yes_no_answer(entry).value_or(false);
  }

  std::string text() const {
    std::string all;
    for (const auto& line : lines) all += line + "\n";
    return all;
  }

 private:
  std::string next(std::string_view question) {
    questions.emplace_back(question);
    if (answers.empty()) throw Abort();
    Answer answer = answers.front();
    answers.pop_front();
    if (std::holds_alternative<Cancel>(answer)) throw Abort();
    return std::get<std::string>(answer);
  }
};

// Answers from fields the test sets; logs each call by name.
class FakeCompat : public JavaCompatService {
 public:
  std::optional<PySparkInfo> pyspark;
  std::optional<JavaInfo> java;
  std::vector<VersionEntry> versions = PYSPARK_VERSIONS;
  CompatTable table = PYSPARK_JAVA_COMPATIBILITY;
  std::optional<std::string> cluster_version;
  std::vector<std::string> calls;

  const std::vector<VersionEntry>& pyspark_versions() const override { return versions; }
  const CompatTable& pyspark_java_compatibility() const override { return table; }
  std::optional<PySparkInfo> get_pyspark_info() override {
    calls.push_back("get_pyspark_info");
    return pyspark;
  }
  std::optional<JavaInfo> get_current_java() override {
    calls.push_back("get_current_java");
    return java;
  }
  std::pair<bool, std::string> check_java_pyspark_compatibility(
      int java_version, std::string_view major_minor) override {
    calls.push_back("check_java_pyspark_compatibility");
    return plo::check_java_pyspark_compatibility(java_version, major_minor, table);
  }
  std::optional<std::string> detect_spark_cluster_version(std::string_view master_url) override {
    calls.push_back("detect:" + std::string(master_url));
    return cluster_version;
  }

  // Installs a PySpark the way detection would report it.
  void install(const std::string& version) {
    PySparkInfo info{version, major_minor_of(version), {}, std::nullopt, "/venv/site/pyspark"};
    if (auto record = table.find(info.major_minor); record != table.end()) {
      info.java_supported = record->second.supported;
      info.java_recommended = record->second.recommended;
    }
    pyspark = info;
  }
};

// Plays a pip that changes FakeCompat's PySpark, and a smoke test with a scripted outcome.
class FakeRunner : public ProcessRunner {
 public:
  struct Outcome {
    int exit_code = 0;
    std::string out;
    std::string err;
    bool timed_out = false;
    bool cannot_start = false;
  };

  explicit FakeRunner(FakeCompat& compat) : compat_(compat) {}

  std::vector<ProcessSpec> runs;
  std::map<std::string, Outcome> install_outcomes;  // by version; others succeed
  Outcome uninstall_outcome;
  Outcome smoke_outcome{0, "OK\n", "", false, false};

  ProcessResult run(const ProcessSpec& spec) override {
    runs.push_back(spec);
    const auto& argv = spec.argv;
    Outcome outcome;
    if (argv.size() == 6 && argv[3] == "uninstall") {
      outcome = uninstall_outcome;
      if (!outcome.cannot_start && outcome.exit_code == 0) compat_.pyspark.reset();
    } else if (argv.size() == 5 && argv[3] == "install") {
      const std::string version = argv[4].substr(9);  // after "pyspark=="
      if (auto it = install_outcomes.find(version); it != install_outcomes.end()) {
        outcome = it->second;
      }
      if (!outcome.cannot_start && outcome.exit_code == 0) compat_.install(version);
    } else {
      outcome = smoke_outcome;
    }
    if (outcome.cannot_start) throw ProcessStartError("cannot run " + argv[0] + ": No such file");
    return {outcome.exit_code, outcome.out, outcome.err, outcome.timed_out};
  }

  // The runs as short names: uninstall, install:<version>, smoke.
  std::vector<std::string> steps() const {
    std::vector<std::string> names;
    for (const auto& spec : runs) {
      if (spec.argv.size() == 6)
        names.push_back("uninstall");
      else if (spec.argv.size() == 5)
        names.push_back("install:" + spec.argv[4].substr(9));
      else
        names.push_back("smoke");
    }
    return names;
  }

 private:
  FakeCompat& compat_;
};

class FakeRegistry : public ComputeRegistry {
 public:
  std::map<std::string, ComputeRecord, std::less<>> computes;
  std::optional<ComputeRecord> get(std::string_view name) override {
    const auto it = computes.find(name);
    if (it == computes.end()) return std::nullopt;
    return it->second;
  }
};

class FakeDatabricks : public DatabricksClient {
 public:
  explicit FakeDatabricks(bool installed) : installed_(installed) {}
  bool available() override { return installed_; }

 private:
  bool installed_;
};

// A task wired to fakes.
struct TaskFixture {
  FakeConsole console;
  FakeCompat compat;
  FakeRunner runner{compat};
  std::map<std::string, ComputeRecord, std::less<>> computes;
  std::optional<std::string> registry_error;
  bool databricks_installed = false;
  int registry_loads = 0;
  int databricks_loads = 0;

  SparkTask task() {
    return SparkTask({
        .console = console,
        .compat = compat,
        .runner = runner,
        .interpreter = [] { return std::string("/venv/bin/python"); },
        .compute_registry = [this]() -> std::unique_ptr<ComputeRegistry> {
          ++registry_loads;
          if (registry_error) throw std::runtime_error(*registry_error);
          auto registry = std::make_unique<FakeRegistry>();
          registry->computes = computes;
          return registry;
        },
        .databricks =
            [this] {
              ++databricks_loads;
              return std::make_unique<FakeDatabricks>(databricks_installed);
            },
    });
  }
};

}  // namespace plo::testing
