#include "environment/environment_probe.h"
#include "spark/spark_task.h"

namespace plo {

InstallerChoice SparkTask::switch_installer() {
  const std::string interpreter = s_.interpreter();
  const EnvironmentProbe environment = probe_environment(s_.runner, interpreter, false);
  return choose_installer(installer_facts(s_.installer, interpreter, environment.has_pip));
}

}  // namespace plo
