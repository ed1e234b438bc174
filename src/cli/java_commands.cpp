#include "java_commands.h"

#include <optional>

#include "compat/platform.h"
#include "compat/real_java_environment.h"
#include "console/terminal_console.h"
#include "java/java_task.h"
#include "locks.h"
#include "services.h"

namespace plo::cli {

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
  std::optional<FileLock> lock;
  if (request.op == Op::Set || request.op == Op::Unset) {
    lock.emplace(guard_environment_for_change());
  } else {
    warn_if_stale_virtual_env();
  }
  RealServices services;
  RealJavaEnvironment java(services.runner, services.compat);
  const auto console = TerminalConsole::on_standard_streams();
  JavaTask task({
      .console = *console,
      .compat = services.compat,
      .java = java,
      .platform = detect_platform,
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
      ok = task.env(request.shell == "fish" ? Shell::Fish : Shell::Posix);
      break;
    case Op::Install:
      ok = task.install_guide(request.version);
      break;
    case Op::None:
      return 2;
  }
  return ok ? 0 : 1;
}

}  // namespace plo::cli
