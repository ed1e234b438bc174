#include "environment/databricks_client.h"

#include <fmt/format.h>
#include <stdexcept>

#include "util/text.h"

namespace plo {
namespace {

constexpr auto kLoadTimeLimit = std::chrono::seconds(60);
constexpr int kNotInstalledStatus = 3;

constexpr std::string_view kLoadScript =
    "try:\n"
    "    from databricks.connect import DatabricksSession\n"
    "except ModuleNotFoundError:\n"
    "    raise SystemExit(3)\n";

// The last non-blank line of a traceback: the error itself.
std::string last_line(std::string_view text) {
  text = trim_blanks(text);
  const auto newline = text.rfind('\n');
  return std::string(
      trim_blanks(newline == std::string_view::npos ? text : text.substr(newline + 1)));
}

}  // namespace

bool InterpreterDatabricksClient::available() {
  const ProcessResult result = runner_.run(
      {.argv = {interpreter_, "-c", std::string(kLoadScript)}, .time_limit = kLoadTimeLimit});
  if (result.timed_out) {
    throw std::runtime_error(fmt::format("loading databricks-connect took longer than {} seconds",
                                         kLoadTimeLimit.count()));
  }
  if (result.exit_code == 0) return true;
  if (result.exit_code == kNotInstalledStatus) return false;
  std::string reason = last_line(result.err);
  if (reason.empty()) reason = fmt::format("exit status {}", result.exit_code);
  if (result.err_cut) reason += " (its error output was cut at 1 MiB)";
  throw std::runtime_error("cannot load databricks-connect: " + reason);
}

}  // namespace plo
