#include "environment/databricks_connect_version.h"

#include "catalogue/versions.h"
#include "util/text.h"

namespace plo {
namespace {

constexpr std::string_view kScript =
    "import importlib.metadata as m\n"
    "try:\n"
    "    print(m.version('databricks-connect'))\n"
    "except m.PackageNotFoundError:\n"
    "    pass\n";

}  // namespace

std::optional<std::string> installed_databricks_connect_version(ProcessRunner& runner,
                                                                const std::string& interpreter) {
  ProcessResult result;
  try {
    result = runner.run(
        {.argv = {interpreter, "-c", std::string(kScript)}, .time_limit = std::chrono::seconds(2)});
  } catch (const ProcessStartError&) {
    return std::nullopt;
  }
  if (result.timed_out || result.exit_code != 0) return std::nullopt;
  const std::string_view version = trim_blanks(result.out);
  if (version.empty() || !looks_like_version(version)) return std::nullopt;
  return std::string(version);
}

}  // namespace plo
