#include "environment/environment_probe.h"
#include "spark/package_installer.h"
#include "spark/spark_task.h"
#include "spark/switch_render.h"

namespace plo {

using Kind = SwitchEvent::Kind;

std::pair<bool, std::optional<std::string>> SparkTask::_uninstall_pyspark() {
  const auto info = s_.compat.get_pyspark_info();
  if (!info) return {true, std::nullopt};
  print_switch_event(s_.console, {.kind = Kind::Uninstalling, .version = info->version});
  const InstallerRun run = PackageInstaller(s_.runner, s_.interpreter(), "pyspark").uninstall();
  print_switch_event(s_.console, {.kind = Kind::Uninstalled,
                                  .version = info->version,
                                  .text = run.started ? "" : run.error,
                                  .ok = run.ok});
  // Installing over a PySpark that is still there would mix the two.
  return {run.ok, info->version};
}

bool SparkTask::_install_pyspark(const std::string& version) {
  print_switch_event(s_.console, {.kind = Kind::Installing, .version = version});
  if (!PackageInstaller(s_.runner, s_.interpreter(), "pyspark").install(version).ok) return false;
  try {
    return !import_mismatch(probe_environment(s_.runner, s_.interpreter(), false), version);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace plo
