#include "java_commands.h"

#include "compat/platform.h"
#include "compat/real_java_environment.h"
#include "console/assume_yes_console.h"
#include "console/terminal_console.h"
#include "download/folder_jdk_installer.h"
#include "java/java_task.h"
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
  CLI::App* install =
      java->add_subcommand("install", "Download, verify and install an Eclipse Temurin JDK");
  install->add_option("VERSION", request.version, "Java major version (default: recommended)")
      ->check(CLI::Range(1, 999));
  install->add_flag("--set", request.set, "Pin the JDK for PySpark once installed");
  install->add_flag("--yes,-y", request.yes, "Pin it even where PySpark does not support it");
  install->add_flag("--json", request.json, "One JSON document on standard output");
  install->add_flag("--guide", request.guide, "Install nothing: show how to install a JDK here");
  install->callback([&request] { request.op = Op::Install; });
  CLI::App* uninstall = java->add_subcommand("uninstall", "Remove a JDK that plo installed");
  uninstall->add_option("VERSION_OR_PATH", request.choice, "A major version (21) or a Java home")
      ->required();
  uninstall->add_flag("--yes,-y", request.yes, "Remove the pinned JDK too, and its pin");
  uninstall->callback([&request] { request.op = Op::Uninstall; });
}

int run_java(const JavaRequest& request) {
  using Op = JavaRequest::Op;
  RealServices services;
  RealJavaEnvironment java(services.runner, services.compat);
  FolderJdkInstaller installer(services.http);
  const auto terminal = TerminalConsole::on_standard_streams();
  AssumeYesConsole assume_yes(*terminal);
  Console& console = request.yes ? static_cast<Console&>(assume_yes) : *terminal;
  JavaTask task({
      .console = console,
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
