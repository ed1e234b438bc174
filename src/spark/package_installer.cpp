#include "spark/package_installer.h"

#include <unistd.h>

#include "util/environment.h"
#include "util/text.h"

namespace plo {

std::vector<std::string> PackageInstaller::argv(const std::string& action,
                                                const std::vector<std::string>& arguments) const {
  std::vector<std::string> list =
      uv_ ? std::vector<std::string>{*uv_, "pip", action, "--python", interpreter_}
          : std::vector<std::string>{interpreter_, "-m", "pip", action};
  list.insert(list.end(), arguments.begin(), arguments.end());
  if (!uv_ && action == "uninstall") list.emplace_back("-y");
  return list;
}

InstallerRun PackageInstaller::uninstall() const {
  try {
    const ProcessResult result = runner_.run({.argv = argv("uninstall", {package_})});
    return {result.exit_code == 0, installer_error_tail(result)};
  } catch (const std::exception& e) {
    return {false, e.what(), false};
  }
}

InstallerRun PackageInstaller::install(const std::string& version,
                                       const std::vector<std::string>& beside) const {
  try {
    // Without a terminal a question (a private index's user name) would wait for ever: pip is
    // told to fail instead.
    std::optional<std::vector<std::string>> environment;
    if (capture_install_ || !::isatty(STDIN_FILENO)) {
      environment = current_environment();
      environment->emplace_back("PIP_NO_INPUT=1");
    }
    std::vector<std::string> requirements = {package_ + "==" + version};
    requirements.insert(requirements.end(), beside.begin(), beside.end());
    const ProcessResult result = runner_.run({.argv = argv("install", requirements),
                                              .environment = environment,
                                              .capture = capture_install_});
    return {result.exit_code == 0, installer_error_tail(result)};
  } catch (const std::exception& e) {
    return {false, e.what(), false};
  }
}

InstallerRun PackageInstaller::check() const {
  try {
    const ProcessResult result = runner_.run({.argv = argv("check", {})});
    return {result.exit_code == 0, installer_error_tail(result), true, result.out + result.err};
  } catch (const std::exception& e) {
    return {false, e.what(), false};
  }
}

std::string PackageInstaller::install_command(const std::string& version,
                                              const std::vector<std::string>& beside) const {
  std::string command =
      uv_ ? shell_quoted(*uv_) + " pip install --python " + shell_quoted(interpreter_)
          : shell_quoted(interpreter_) + " -m pip install";
  command += " " + package_ + "==" + shell_quoted(version);
  for (const std::string& requirement : beside) command += " " + shell_quoted(requirement);
  return command;
}

std::string installer_error_tail(const ProcessResult& result, size_t max_lines) {
  const std::string& text =
      result.err.find_first_not_of(" \t\r\n") == std::string::npos ? result.out : result.err;
  std::vector<std::string_view> lines;
  std::string_view rest = text;
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string_view line = trim_blanks(rest.substr(0, end));
    if (!line.empty()) lines.push_back(line);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  std::string tail;
  const size_t first = lines.size() > max_lines ? lines.size() - max_lines : 0;
  for (size_t i = first; i < lines.size(); ++i) {
    if (!tail.empty()) tail += '\n';
    tail += lines[i];
  }
  return tail;
}

}  // namespace plo
