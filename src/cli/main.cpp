// plo's command-line front end: parses `plo spark ...` and `plo java ...`, builds the task on the
// real machine and turns the operation's result into the exit status.

#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "cancel/interrupt.h"
#include "compat/databricks_api.h"
#include "compat/databricks_client.h"
#include "compat/databricks_connect_version.h"
#include "compat/http_client.h"
#include "compat/interpreter.h"
#include "compat/network_master_probe.h"
#include "compat/real_compat_service.h"
#include "compat/real_java_environment.h"
#include "compat/spark_connect_client.h"
#include "compute/compute_task.h"
#include "console/terminal_console.h"
#include "java/java_task.h"
#include "process/posix_runner.h"
#include "registry/compute_registry.h"
#include "spark/spark_task.h"
#include "util/environment.h"
#include "util/escape.h"
#include "util/text_file.h"

namespace {

enum class Command {
  None,
  Check,
  Versions,
  SetVersion,
  MatchCluster,
  ComputeList,
  ComputeTest,
  ComputeAdd,
  ComputeRemove
};

// What the compute commands were given on the command line.
struct ComputeOptions {
  bool json = false;
  plo::NewCompute compute;
};

// The Spark version of a Spark Connect server, as compute test and match-cluster ask it.
std::optional<std::string> spark_connect_version(plo::SparkConnectClient& client,
                                                 const std::string& master) {
  std::string error;
  const auto url = plo::parse_spark_connect_url(master, error);
  if (!url) return std::nullopt;
  return client.spark_version(*url, std::chrono::milliseconds(9000)).version;
}

int run(Command command, const std::string& compute_name, const ComputeOptions& options) {
  plo::PosixProcessRunner runner;
  plo::CurlHttpClient http;
  plo::RealCompatService compat(runner, http);
  plo::GrpcSparkConnectClient spark_connect(http);
  const auto console = plo::TerminalConsole::on_standard_streams();
  plo::SparkTask task({
      .console = *console,
      .compat = compat,
      .runner = runner,
      .interpreter = plo::find_interpreter,
      .compute_registry = [] { return plo::YamlComputeRegistry::from_plo_home(); },
      .databricks =
          [&runner] {
            return std::make_unique<plo::InterpreterDatabricksClient>(runner,
                                                                      plo::find_interpreter());
          },
      .spark_connect_version =
          [&spark_connect](const std::string& master) {
            return spark_connect_version(spark_connect, master);
          },
  });
  plo::NetworkMasterProbe masters(http);
  plo::HttpDatabricksApi databricks(http);
  plo::ComputeTask computes({
      .console = *console,
      .compat = compat,
      .computes_path = [] { return plo::YamlComputeRegistry::default_path(); },
      .masters = masters,
      .spark_connect = spark_connect,
      .databricks = databricks,
      .env = [](const char* name) { return plo::non_empty_env(name); },
      .read_file = [](const std::string& path) { return plo::read_file_prefix(path); },
      .databricks_connect_version =
          [&runner] {
            return plo::installed_databricks_connect_version(runner, plo::find_interpreter());
          },
      .cluster_report =
          [&task](const std::string& version) { return task.report_cluster_version(version); },
  });
  switch (command) {
    case Command::Check:
      return task.check() ? 0 : 1;
    case Command::Versions:
      task.show_versions();
      return 0;
    case Command::SetVersion:
      return task.set_version() ? 0 : 1;
    case Command::MatchCluster:
      return task.match_cluster(compute_name) ? 0 : 1;
    case Command::ComputeList:
      return computes.list(options.json) ? 0 : 1;
    case Command::ComputeTest:
      return computes.test(compute_name, options.json) ? 0 : 1;
    case Command::ComputeAdd:
      return computes.add(options.compute) ? 0 : 1;
    case Command::ComputeRemove:
      return computes.remove(compute_name) ? 0 : 1;
    case Command::None:
      break;
  }
  return 2;
}

// `plo java ...`: which subcommand, with its arguments.
struct JavaRequest {
  enum class Op { None, Search, Set, Unset, Env, Install } op = Op::None;
  bool json = false;
  std::optional<std::string> choice;
  std::string shell = "sh";
  std::optional<int> version;
};

void add_java_commands(CLI::App& app, JavaRequest& request) {
  using Op = JavaRequest::Op;
  CLI::App* java = app.add_subcommand("java", "Find the JDKs, choose one and pin it for PySpark");
  java->require_subcommand(1);
  CLI::App* search = java->add_subcommand("search", "List every JDK on this machine");
  search->alias("list");
  search->add_flag("--json", request.json, "One JSON document on standard output");
  search->callback([&request] { request.op = Op::Search; });
  CLI::App* set = java->add_subcommand("set", "Pin a JDK for this environment's PySpark");
  set->add_option("VERSION_OR_PATH", request.choice, "A major version (17) or a Java home");
  set->callback([&request] { request.op = Op::Set; });
  java->add_subcommand("unset", "Remove plo's Java pin")->callback([&request] {
    request.op = Op::Unset;
  });
  CLI::App* env = java->add_subcommand("env", "Print shell code that sets JAVA_HOME and PATH");
  env->add_option("--shell", request.shell, "Shell syntax: sh (bash, zsh) or fish")
      ->check(CLI::IsMember({"sh", "bash", "zsh", "fish"}));
  env->callback([&request] { request.op = Op::Env; });
  CLI::App* install = java->add_subcommand("install", "Show how to install a JDK here");
  install->add_option("VERSION", request.version, "Java major version (default: recommended)")
      ->check(CLI::Range(1, 999));
  install->callback([&request] { request.op = Op::Install; });
}

int run_java(const JavaRequest& request) {
  using Op = JavaRequest::Op;
  plo::PosixProcessRunner runner;
  plo::CurlHttpClient http;
  plo::RealCompatService compat(runner, http);
  plo::RealJavaEnvironment java(runner, compat);
  const auto console = plo::TerminalConsole::on_standard_streams();
  plo::JavaTask task({
      .console = *console,
      .compat = compat,
      .java = java,
      .platform = plo::detect_platform,
  });
  bool ok = false;
  switch (request.op) {
    case Op::Search:
      ok = task.search(request.json);
      break;
    case Op::Set:
      ok = task.set(request.choice);
      break;
    case Op::Unset:
      ok = task.unset();
      break;
    case Op::Env:
      ok = task.env(request.shell == "fish" ? plo::Shell::Fish : plo::Shell::Posix);
      break;
    case Op::Install:
      ok = task.install_guide(request.version);
      break;
    case Op::None:
      return 2;
  }
  return ok ? 0 : 1;
}

// Opens /dev/null on any of the standard descriptors that is closed, so that no pipe or file plo
// opens later can take its number and receive output meant for the user.
void ensure_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
      if (opened >= 0 && opened != fd) {
        ::dup2(opened, fd);
        ::close(opened);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  ensure_standard_descriptors();
  // A closed pipe shows up as a write error that ends plo quietly, never as a signal.
  std::signal(SIGPIPE, SIG_IGN);

  CLI::App app("plo: keep PySpark consistent with Java and your clusters", "plo");
  app.set_version_flag("--version", "plo " PLO_VERSION);
  app.require_subcommand(1);
  CLI::App* spark = app.add_subcommand("spark", "Manage the PySpark of your Python environment");
  spark->require_subcommand(1);

  Command command = Command::None;
  std::string compute_name;
  spark
      ->add_subcommand("check", "Show the installed PySpark, the current Java and whether they fit")
      ->callback([&] { command = Command::Check; });
  spark->add_subcommand("versions", "Show the PySpark/Java compatibility matrix")->callback([&] {
    command = Command::Versions;
  });
  spark->add_subcommand("set-version", "Choose, install and verify a PySpark version")
      ->callback([&] { command = Command::SetVersion; });
  CLI::App* match = spark->add_subcommand(
      "match-cluster", "Detect Spark version from a cluster and suggest compatible PySpark");
  match->add_option("COMPUTE_NAME", compute_name, "A compute engine of computes.yml")->required();
  match->callback([&] { command = Command::MatchCluster; });
  JavaRequest java_request;
  add_java_commands(app, java_request);

  ComputeOptions compute_options;
  CLI::App* compute =
      app.add_subcommand("compute", "List, test and edit the computes of computes.yml");
  compute->require_subcommand(1);
  CLI::App* list = compute->add_subcommand("list", "List the compute engines of computes.yml");
  list->add_flag("--json", compute_options.json, "One JSON document on standard output");
  list->callback([&] { command = Command::ComputeList; });
  CLI::App* test = compute->add_subcommand("test", "Check a compute live (at most 10 seconds)");
  test->add_option("NAME", compute_name, "A compute engine of computes.yml")->required();
  test->add_flag("--json", compute_options.json, "One JSON document on standard output");
  test->callback([&] { command = Command::ComputeTest; });
  CLI::App* add = compute->add_subcommand("add", "Add a compute engine to computes.yml");
  add->add_option("NAME", compute_options.compute.name, "The new compute's name")->required();
  CLI::Option* master = add->add_option_function<std::string>(
      "--master", [&](const std::string& v) { compute_options.compute.master = v; },
      "Master URL: spark://HOST:PORT[,HOST:PORT], sc://HOST[:PORT][/;params] or local[*]");
  CLI::Option* host = add->add_option_function<std::string>(
      "--host", [&](const std::string& v) { compute_options.compute.host = v; },
      "Workspace host (Databricks)");
  master->excludes(host);
  add->add_option_function<std::string>(
      "--type", [&](const std::string& v) { compute_options.compute.type = v; },
      "Compute type (spark, databricks, ...)");
  add->add_option_function<std::string>(
      "--cluster-id", [&](const std::string& v) { compute_options.compute.cluster_id = v; },
      "Databricks cluster id");
  add->callback([&] {
    if (!compute_options.compute.master && !compute_options.compute.host) {
      throw CLI::RequiredError("--master or --host");
    }
    command = Command::ComputeAdd;
  });
  CLI::App* remove = compute->add_subcommand("remove", "Remove a compute engine from computes.yml");
  remove->add_option("NAME", compute_name, "A compute engine of computes.yml")->required();
  remove->callback([&] { command = Command::ComputeRemove; });

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  try {
    plo::install_interrupt_handlers();
    if (java_request.op != JavaRequest::Op::None) return run_java(java_request);
    return run(command, compute_name, compute_options);
  } catch (const plo::OutputClosed&) {
    return 141;  // as a shell reports a command ended by a closed pipe
  } catch (const plo::Abort&) {
    std::fputs("Aborted!\n", stderr);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Error: %s\n", plo::escape_controls(e.what()).c_str());
    return 1;
  }
}
