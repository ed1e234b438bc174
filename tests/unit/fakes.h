#pragma once

// Test doubles for the seams the task reaches the world through.

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cancel/cancel.h"
#include "compat/java_compat_service.h"
#include "compat/java_environment.h"
#include "compat/package_index.h"
#include "compute/compute_task.h"
#include "console/answers.h"
#include "console/console.h"
#include "download/jdk_installer.h"
#include "environment/databricks_client.h"
#include "environment/environment_probe.h"
#include "probes/http_client.h"
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
  std::vector<std::string> err_lines;  // what went to standard error
  void echo_err(std::string_view text) override { err_lines.emplace_back(text); }
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
  std::function<void()> on_detect;  // runs when the cluster is asked, before it answers
  std::optional<std::string> detect_spark_cluster_version(std::string_view master_url) override {
    calls.push_back("detect:" + std::string(master_url));
    if (on_detect) on_detect();
    return cluster_version;
  }
  int pin_restores = 0;
  void restore_java_pin() override { ++pin_restores; }
  std::optional<std::string> python;  // the interpreter's version; nothing: unknown
  std::optional<std::string> python_version() override { return python; }
  std::vector<PySparkDistribution> distributions;  // beside "/venv/site/pyspark" to count
  std::vector<PySparkDistribution> pyspark_distributions() override { return distributions; }
  std::map<std::string, std::string, std::less<>> other_distributions;  // "delta-spark" -> version
  std::optional<std::string> distribution_version(std::string_view name) override {
    const auto found = other_distributions.find(name);
    if (found == other_distributions.end()) return std::nullopt;
    return found->second;
  }
  std::optional<SparkHomeFinding> spark_home_found;
  std::optional<SparkHomeFinding> spark_home() override { return spark_home_found; }
  std::optional<std::string> stash;  // a stash an interrupted run left
  std::optional<std::string> leftover_stash() override { return stash; }
  std::optional<std::string> java_home_problem;  // spark-env.sh's JAVA_HOME names no Java
  std::optional<std::string> spark_env_java_home_problem() override { return java_home_problem; }
  InstalledBeside beside;  // the companions' metadata
  InstalledBeside companions() override { return beside; }

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

  std::vector<ProcessSpec> runs;         // all but environment probes
  std::vector<ProcessSpec> probe_runs;   // environment probes
  std::vector<ProcessSpec> uv_runs;      // the runs that went to uv
  bool install_changes_nothing = false;  // pip exits 0 having installed nothing
  // What the environment probe answers besides the installed PySpark (taken from FakeCompat).
  EnvironmentProbe environment{.has_pip = true, .in_virtual_env = true};
  bool without_dist_info = false;  // the installed pyspark has no dist-info beside it
  std::map<std::string, Outcome> install_outcomes;  // by version; others succeed
  Outcome uninstall_outcome;
  Outcome smoke_outcome{0, "OK\n", "", false, false};
  Outcome check_outcome;             // pip check
  Outcome project_outcome;           // uv add, uv lock, poetry add
  std::function<void()> on_project;  // what the project's tool does to its files

  // pip: python -m pip ACTION ...; uv: uv pip ACTION --python python ...
  static std::string action_of(const std::vector<std::string>& argv) {
    if (argv.size() >= 3 && argv[1] == "pip") return argv[2];
    if (argv.size() >= 4 && argv[1] == "-m" && argv[2] == "pip") return argv[3];
    return "";
  }

  static bool is_project_tool(const std::vector<std::string>& argv) {
    return argv.size() >= 2 && (argv[1] == "add" || argv[1] == "lock");
  }

  // The version of the first pinned requirement (PySpark's own).
  static std::string pinned_version(const std::vector<std::string>& argv) {
    for (const std::string& a : argv) {
      if (const auto at = a.find("=="); at != a.npos) return a.substr(at + 2);
    }
    return "";
  }

  ProcessResult run(const ProcessSpec& spec) override {
    const auto& argv = spec.argv;
    if (argv.size() >= 3 && argv[2] == kEnvironmentProbeScript) {
      probe_runs.push_back(spec);
      return {0, probe_output(), "", false};
    }
    runs.push_back(spec);
    Outcome outcome;
    if (argv.size() >= 2 && argv[1] == "pip") uv_runs.push_back(spec);
    const std::string action = action_of(argv);
    if (action == "uninstall") {
      outcome = uninstall_outcome;
      if (!outcome.cannot_start && outcome.exit_code == 0) compat_.pyspark.reset();
    } else if (action == "install") {
      const std::string version = pinned_version(argv);
      if (auto it = install_outcomes.find(version); it != install_outcomes.end()) {
        outcome = it->second;
      }
      if (!outcome.cannot_start && outcome.exit_code == 0 && !install_changes_nothing) {
        compat_.install(version);
      }
    } else if (action == "check") {
      outcome = check_outcome;
    } else if (is_project_tool(argv)) {
      outcome = project_outcome;
      if (on_project && outcome.exit_code == 0) on_project();
    } else {
      outcome = smoke_outcome;
    }
    if (outcome.cannot_start) throw ProcessStartError("cannot run " + argv[0] + ": No such file");
    return {outcome.exit_code, outcome.out, outcome.err, outcome.timed_out};
  }

  // The runs as short names: uninstall, install:<version>, check, smoke.
  std::vector<std::string> steps() const {
    std::vector<std::string> names;
    for (const auto& spec : runs) {
      const std::string action = action_of(spec.argv);
      if (action == "uninstall")
        names.push_back("uninstall");
      else if (action == "install")
        names.push_back("install:" + pinned_version(spec.argv));
      else if (action == "check")
        names.push_back("check");
      else if (is_project_tool(spec.argv))
        names.push_back("project");
      else
        names.push_back("smoke");
    }
    return names;
  }

  // The requirements an install run was given after PySpark's own pin.
  static std::vector<std::string> beside(const ProcessSpec& spec) {
    const auto& argv = spec.argv;
    const auto pin = std::find_if(argv.begin(), argv.end(),
                                  [](const std::string& a) { return a.find("==") != a.npos; });
    return pin == argv.end() ? std::vector<std::string>{}
                             : std::vector<std::string>(pin + 1, argv.end());
  }

 private:
  std::string probe_output() const {
    std::string out("plo-env-probe\0", 14);
    const auto field = [&](const std::string& key, const std::string& value) {
      out += key + '\0' + value + '\0';
    };
    field("pip", environment.has_pip ? "1" : "");
    field("venv", environment.in_virtual_env ? "1" : "");
    field("managed", environment.externally_managed ? "1" : "");
    if (environment.stash) field("stash", *environment.stash);
    if (environment.install_to) field("install_to", *environment.install_to);
    for (const auto& folder : environment.shadowing_folders) field("pyspark_ahead", folder);
    if (environment.editable) field("editable", *environment.editable);
    if (compat_.pyspark) {
      field("package", environment.package.value_or("/venv/site-packages/pyspark"));
      using Origin = EnvironmentProbe::Origin;
      field("origin", environment.origin == Origin::PythonPath      ? "pythonpath"
                      : environment.origin == Origin::CurrentFolder ? "cwd"
                                                                    : "site");
      if (!without_dist_info) {
        field("dist_info", environment.dist_info.value_or("/venv/site-packages/pyspark.dist-info"));
        field("dist_version", environment.dist_version.value_or(compat_.pyspark->version));
      }
      for (const auto& file : environment.files) field("file", file);
    }
    return out;
  }

  FakeCompat& compat_;
};

// JDKs and a pin held in fields; pin and unpin change them.
class FakeJavaEnvironment : public JavaEnvironment {
 public:
  std::vector<Jdk> jdks;
  std::map<std::string, Jdk> homes;  // what inspect_home knows, by the path asked
  std::optional<std::string> file = "/venv/pyspark/conf/spark-env.sh";
  std::optional<std::string> pinned;

  std::vector<Jdk> find_jdks() override { return jdks; }
  std::optional<Jdk> inspect_home(const std::string& home) override {
    const auto it = homes.find(home);
    if (it == homes.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> spark_env_file() override { return file; }
  std::optional<std::string> pinned_home() override { return pinned; }
  void pin(const std::string& home) override { pinned = home; }
  bool unpin() override {
    const bool had = pinned.has_value();
    pinned.reset();
    return had;
  }
};

// plo's JDK folder held in fields: the API's builds by major (a missing one answers 404) and the
// homes installed, by folder name.
class FakeJdkInstaller : public JdkInstaller {
 public:
  std::map<int, JdkRelease> releases;
  std::map<std::string, std::string> homes;
  std::optional<std::string> install_error;
  std::vector<std::string> calls;

  std::string folder() override { return "/data/plo/jdks"; }
  JdkRelease latest(int major) override {
    calls.push_back("latest:" + std::to_string(major));
    const auto it = releases.find(major);
    if (it == releases.end()) throw InstallError("no Eclipse Temurin JDK (404)");
    return it->second;
  }
  std::optional<std::string> installed_home(const JdkRelease& release) override {
    const auto it = homes.find(release.folder_name());
    if (it == homes.end()) return std::nullopt;
    return it->second;
  }
  std::string install(const JdkRelease& release, const OnProgress& progress) override {
    calls.push_back("install:" + release.folder_name());
    if (install_error) throw InstallError(*install_error);
    progress(release.size / 2, release.size);
    progress(release.size, release.size);
    return homes[release.folder_name()] = folder() + "/" + release.folder_name();
  }
  std::vector<std::string> installed() override {
    std::vector<std::string> all;
    for (const auto& [name, home] : homes) all.push_back(home);
    return all;
  }
  void remove(const std::string& home) override {
    calls.push_back("remove:" + home);
    std::erase_if(homes, [&](const auto& entry) { return entry.second == home; });
  }
};

class FakeRegistry : public ComputeRegistry {
 public:
  std::map<std::string, ComputeRecord, std::less<>> computes;
  std::optional<ComputeRecord> get(std::string_view name) override {
    const auto it = computes.find(name);
    if (it == computes.end()) return std::nullopt;
    return it->second;
  }
  std::vector<std::string> names() override {
    std::vector<std::string> all;
    for (const auto& [name, record] : computes) all.push_back(name);
    return all;
  }
};

class FakeDatabricks : public DatabricksClient {
 public:
  explicit FakeDatabricks(bool installed) : installed_(installed) {}
  bool available() override { return installed_; }

 private:
  bool installed_;
};

// Answers requests by URL: a listed URL answers (nothing standing for a refused connection), any
// other hangs until the deadline. Answers come in request order, except that the URLs in `first`
// come before all others.
class FakeHttp : public HttpClient {
 public:
  std::map<std::string, std::optional<HttpResponse>> answers;
  std::vector<std::string> first;
  std::vector<std::vector<HttpRequest>> batches;
  size_t delivered = 0;  // answers handed over before the batch ended

  void perform(const std::vector<HttpRequest>& requests, Clock::time_point,
               const OnAnswer& on_answer) override {
    batches.push_back(requests);
    std::vector<size_t> order;
    for (const auto& url : first) {
      for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].url == url) order.push_back(i);
      }
    }
    for (size_t i = 0; i < requests.size(); ++i) {
      if (std::find(first.begin(), first.end(), requests[i].url) == first.end()) {
        order.push_back(i);
      }
    }
    for (size_t i : order) {
      const auto answer = answers.find(requests[i].url);
      if (answer == answers.end()) continue;
      ++delivered;
      if (on_answer(i, answer->second)) return;
    }
  }
};

// Lists what the test sets; counts the times it is asked.
class FakePackageIndex : public PackageIndex {
 public:
  IndexListing listing{.source = IndexListing::Source::Index, .url = "https://pypi.org/simple/"};
  int asked = 0;
  const IndexListing& pyspark_listing() override {
    ++asked;
    return listing;
  }
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
  std::optional<std::string> databricks_runtime;  // what a Databricks cluster answers
  InstallerRequest installer;                     // --installer, PLO_INSTALLER or [tool.plo]
  bool system = false;                            // --system
  PackageIndex* package_index = nullptr;          // nothing: plo's table alone

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
        .databricks_runtime = [this](const ComputeRecord&) { return databricks_runtime; },
        .installer = installer,
        .system = system,
        .package_index = package_index,
    });
  }
};

}  // namespace plo::testing

namespace plo::testing {

// Answers each master from a table by host; records the batches.
class FakeMasterProbe : public MasterProbe {
 public:
  std::map<std::string, MasterProbeResult> by_host;
  std::vector<std::vector<MasterAddress>> calls;
  std::vector<MasterProbeResult> probe(const std::vector<MasterAddress>& masters,
                                       std::chrono::milliseconds) override {
    calls.push_back(masters);
    std::vector<MasterProbeResult> results;
    for (const auto& master : masters) {
      MasterProbeResult result{.address = master, .connect_error = "connection refused"};
      if (auto it = by_host.find(master.host); it != by_host.end()) {
        result = it->second;
        result.address = master;
      }
      results.push_back(result);
    }
    return results;
  }
};

class FakeSparkConnect : public SparkConnectClient {
 public:
  SparkConnectResult answer;
  std::vector<SparkConnectUrl> calls;
  SparkConnectResult spark_version(const SparkConnectUrl& url, std::chrono::milliseconds) override {
    calls.push_back(url);
    return answer;
  }
};

// Answers by path; logs "base path token" per call.
class FakeDatabricksApi : public DatabricksApi {
 public:
  std::map<std::string, DatabricksAnswer> by_path;
  std::vector<std::string> calls;
  DatabricksAnswer get(const std::string& base_url, const std::string& path,
                       const std::string& token, std::chrono::milliseconds) override {
    calls.push_back(base_url + " " + path + " " + token);
    if (auto it = by_path.find(path); it != by_path.end()) return it->second;
    return {.reachable = false, .error = "connection refused"};
  }
};

// A ComputeTask wired to fakes, its computes.yml in a temporary folder.
struct ComputeFixture {
  FakeConsole console;
  FakeCompat compat;
  FakeMasterProbe masters;
  FakeSparkConnect spark_connect;
  FakeDatabricksApi databricks;
  std::map<std::string, std::string> env;
  std::map<std::string, std::string> files;
  std::optional<std::string> databricks_connect;
  std::vector<std::string> reports;
  std::string path;

  ComputeTask task() {
    return ComputeTask({
        .console = console,
        .compat = compat,
        .computes_path = [this] { return path; },
        .masters = masters,
        .spark_connect = spark_connect,
        .databricks = databricks,
        .env = [this](const char* name) -> std::optional<std::string> {
          const auto it = env.find(name);
          if (it == env.end()) return std::nullopt;
          return it->second;
        },
        .read_file = [this](const std::string& file) -> std::optional<std::string> {
          const auto it = files.find(file);
          if (it == files.end()) return std::nullopt;
          return it->second;
        },
        .databricks_connect_version = [this] { return databricks_connect; },
        .cluster_report =
            [this](const std::string& version) {
              reports.push_back(version);
              console.echo("<report " + version + ">");
              return true;
            },
    });
  }
};

}  // namespace plo::testing
