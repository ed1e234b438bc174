#include "java_commands.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <optional>

#include "compat/real_java_environment.h"
#include "download/folder_jdk_installer.h"
#include "environment/platform.h"
#include "help.h"
#include "hints.h"
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
  set_examples(*search, {"plo java search", "plo java search --json | jq -r '.jdks[].home'"});
  CLI::App* set = java->add_subcommand("set", "Pin a JDK for this environment's PySpark");
  set->add_option("VERSION_OR_PATH", request.choice, "A major version (17) or a Java home");
  set->add_flag("--yes,-y", request.yes,
                "Answer yes to 'Use it anyway?' (a Java the PySpark does not support)");
  set->callback([&request] { request.op = Op::Set; });
  set_examples(*set, {"plo java set                     # choose from a menu",
                      "plo java set 17                  # the newest Java 17 found",
                      "plo java set /opt/jdk-21         # that Java home",
                      "plo java set 25 --yes            # even where PySpark does not support it"});
  CLI::App* unset = java->add_subcommand("unset", "Remove plo's Java pin");
  unset->callback([&request] { request.op = Op::Unset; });
  set_examples(*unset, {"plo java unset"});
  CLI::App* env = java->add_subcommand("env", "Print shell code that sets JAVA_HOME and PATH");
  env->add_option("--shell", request.shell, "Shell syntax: sh (bash, zsh) or fish")
      ->check(CLI::IsMember({"sh", "bash", "zsh", "fish"}));
  env->callback([&request] { request.op = Op::Env; });
  set_examples(*env, {"eval \"$(plo java env)\"             # bash, zsh",
                      "plo java env --shell fish | source  # fish"});
  CLI::App* install =
      java->add_subcommand("install", "Download, verify and install an Eclipse Temurin JDK");
  install->add_option("VERSION", request.version, "Java major version (default: recommended)")
      ->check(CLI::Range(1, 999));
  install->add_flag("--set", request.set, "Pin the JDK for PySpark once installed");
  install->add_flag("--yes,-y", request.yes, "Pin it even where PySpark does not support it");
  install->add_flag("--json", request.json, "One JSON document on standard output");
  install->add_flag("--guide", request.guide, "Install nothing: show how to install a JDK here");
  install->callback([&request] { request.op = Op::Install; });
  set_examples(*install, {"plo java install                 # the Java your PySpark recommends",
                          "plo java install 21 --set        # and pin it for PySpark",
                          "plo java install --guide         # only show how to install one"});
  CLI::App* uninstall = java->add_subcommand("uninstall", "Remove a JDK that plo installed");
  uninstall->add_option("VERSION_OR_PATH", request.choice, "A major version (21) or a Java home")
      ->required();
  uninstall->add_flag("--yes,-y", request.yes, "Remove the pinned JDK too, and its pin");
  uninstall->callback([&request] { request.op = Op::Uninstall; });
  set_examples(*uninstall,
               {"plo java uninstall 21", "plo java uninstall 21 --yes   # even the pinned one"});
}

int run_java(const JavaRequest& request, const GlobalOptions& options) {
  using Op = JavaRequest::Op;
  if (request.op == Op::Set && request.yes && !request.choice) {
    // The menu asks for a number, which --yes cannot answer.
    std::fputs("Error: plo java set --yes needs a VERSION or PATH (the menu is a question)\n",
               stderr);
    return 2;
  }
  std::optional<FileLock> lock;
  // Whatever may write the pin holds the environment's lock.
  const bool pins = request.op == Op::Set || request.op == Op::Unset ||
                    (request.op == Op::Install && request.set && !request.guide) ||
                    (request.op == Op::Uninstall && request.yes);
  if (pins) {
    lock.emplace(guard_environment_for_change());
  } else {
    warn_if_stale_virtual_env();
  }
  RealServices services;
  RealJavaEnvironment java(services.runner, services.compat);
  FolderJdkInstaller installer(services.http, services.runner);
  // What `--json` and `env` print is their output, never dropped by -q.
  const bool json = (request.op == Op::Search || request.op == Op::Install) && request.json;
  UserConsole console(
      options,
      {.no_color = json, .document = json || request.op == Op::Env, .assume_yes = request.yes});
  JavaTask task({
      .console = console.get(),
      .compat = services.compat,
      .java = java,
      .platform = detect_platform,
      .installer = &installer,
  });
  bool ok = false;
  switch (request.op) {
    case Op::Search:
      ok = task.search(request.json);
      break;
    case Op::Set:
      ok = task.set(request.choice);
      if (!ok && request.choice) hint_installed_majors(java, *request.choice);
      break;
    case Op::Unset:
      ok = task.unset();
      break;
    case Op::Env:
      ok = task.env(request.shell == "fish" ? Shell::Fish : Shell::Posix);
      break;
    case Op::Install:
      ok = request.guide ? task.install_guide(request.version)
                         : task.install({.version = request.version,
                                         .set = request.set,
                                         .yes = request.yes,
                                         .json = request.json});
      break;
    case Op::Uninstall:
      ok = task.uninstall(request.choice.value_or(""), request.yes);
      break;
    case Op::None:
      return 2;
  }
  return ok ? 0 : 1;
}

}  // namespace plo::cli
