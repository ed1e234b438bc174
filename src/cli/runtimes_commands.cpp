// `plo runtimes`: the managed runtimes (Glue, EMR, Dataproc Serverless, Databricks, Fabric,
// Synapse) against this environment. `use` installs through set-version's one install door,
// handed to the runtimes group as a function since one command group never includes another.

#include "runtimes_commands.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "catalogue/runtimes.h"
#include "compat/real_java_environment.h"
#include "help.h"
#include "installer_request.h"
#include "interpreter_line.h"
#include "locks.h"
#include "output.h"
#include "runtimes/runtimes_task.h"
#include "services.h"
#include "spark/spark_task.h"

namespace plo::cli {

void add_runtimes_commands(CLI::App& app, RuntimesRequest& request) {
  using Op = RuntimesRequest::Op;
  CLI::App* runtimes = app.add_subcommand(
      "runtimes", "The managed runtimes (Glue, EMR, Dataproc, Databricks, Fabric, Synapse)");
  runtimes->add_option("--platform", request.platform, "Only that platform's runtimes")
      ->check(CLI::IsMember(runtime_platforms()));
  runtimes->add_flag("--json", request.json, "One JSON document on standard output");
  runtimes->callback([&request, runtimes] {
    if (request.op == Op::None && runtimes->get_subcommands().empty()) request.op = Op::List;
  });
  set_examples(*runtimes, {"plo runtimes                       # every runtime, newest first",
                           "plo runtimes --platform glue",
                           "plo runtimes show glue-5.0         # what differs from AWS Glue 5.0",
                           "plo runtimes use glue-5.0 --yes    # make this environment match it"});

  CLI::App* show =
      runtimes->add_subcommand("show", "Compare this environment with a runtime, row by row");
  show->add_option("NAME", request.name, "A runtime's name (glue-5.0, databricks-16.4-lts)")
      ->required();
  show->add_flag("--json", request.json, "One JSON document on standard output");
  show->callback([&request] { request.op = Op::Show; });
  set_examples(*show, {"plo runtimes show glue-5.0", "plo runtimes show emr-7.10.0 --json"});

  CLI::App* use = runtimes->add_subcommand(
      "use", "Install the runtime's PySpark and pin its Java for this environment");
  use->add_option("NAME", request.name, "A runtime's name (glue-5.0, databricks-16.4-lts)")
      ->required();
  use->add_flag("--yes,-y", request.yes, "Answer yes to the install's questions");
  use->add_flag("--system", request.system,
                "Allow the PySpark change in a Python that is no virtual or conda environment");
  use->add_option("--installer", request.installer,
                  "pip (the default) or uv for the PySpark switch; also PLO_INSTALLER, "
                  "[tool.plo] installer")
      ->check(CLI::IsMember({"pip", "uv"}));
  use->callback([&request] { request.op = Op::Use; });
  set_examples(*use, {"plo runtimes use glue-5.0", "plo runtimes use emr-7.10.0 --yes"});
}

int run_runtimes(const RuntimesRequest& request, const GlobalOptions& options) {
  using Op = RuntimesRequest::Op;
  std::optional<FileLock> lock;
  std::optional<InstallerRequest> installer_asked = InstallerRequest{};
  if (request.op == Op::Use) installer_asked = installer_request_or_usage_error(request.installer);
  if (!installer_asked) return 2;
  if (request.op == Op::Use) {
    lock.emplace(guard_environment_for_change());
    tell_interpreter();
  } else {
    warn_if_stale_virtual_env();
  }
  const bool json = request.json && request.op != Op::Use;
  RealServices services;
  UserConsole console(options, {.no_color = json, .document = json, .assume_yes = request.yes});
  RealJavaEnvironment java(services.runner, services.compat);
  RuntimesTask task({
      .console = console.get(),
      .compat = services.compat,
      .java = java,
      .install_pyspark =
          [&](const std::string& version, const std::string& java_home) {
            return install_pyspark_for_step(console.get(), *installer_asked, version, java_home,
                                            request.system);
          },
      .unicode_marks = unicode_marks(),
  });
  bool ok = false;
  switch (request.op) {
    case Op::List:
      ok = task.list(request.platform, json);
      break;
    case Op::Show:
      ok = task.show(request.name, json);
      break;
    case Op::Use:
      ok = task.use(request.name);
      break;
    case Op::None:
      return 2;
  }
  return ok ? 0 : 1;
}

}  // namespace plo::cli
