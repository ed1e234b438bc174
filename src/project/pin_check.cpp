#include "project/pin_check.h"

#include "project/pin_files.h"

namespace plo {

MarkerEnvironment pin_markers(const std::optional<std::string>& python_version) {
  MarkerEnvironment markers;
#if defined(__APPLE__)
  markers["sys_platform"] = "darwin";
  markers["platform_system"] = "Darwin";
#else
  markers["sys_platform"] = "linux";
  markers["platform_system"] = "Linux";
#endif
  markers["os_name"] = "posix";
  markers["implementation_name"] = "cpython";
  markers["platform_python_implementation"] = "CPython";
  if (python_version) {
    markers["python_full_version"] = *python_version;
    const size_t first = python_version->find('.');
    const size_t second = python_version->find('.', first == std::string::npos ? 0 : first + 1);
    markers["python_version"] = python_version->substr(0, second);
  }
  return markers;
}

MarkerEnvironment interpreter_markers(JavaCompatService& compat) {
  try {
    return pin_markers(compat.python_version());
  } catch (const std::runtime_error&) {
    return pin_markers(std::nullopt);  // no interpreter: markers on the Python stay unknown
  }
}

bool take_sole_pin(ProjectSpec& spec, const std::vector<ProjectPin>& pins,
                   const MarkerEnvironment& markers) {
  if (spec.pyspark || spec.compute || spec.runtime) return false;
  spec.pyspark = sole_pinned_version(pins, markers);
  return spec.pyspark.has_value();
}

PinReport check_project_pins(JavaCompatService& compat, const std::optional<ProjectStatus>& status,
                             const std::filesystem::path& start) {
  PinReport report;
  report.pins = read_project_pins(gather_pin_texts(start));
  if (report.pins.empty()) return report;
  std::optional<PloWanted> plo;
  if (status) {
    plo = PloWanted{.as_written = status->spec.pyspark.value_or(status->target.pyspark),
                    .version = status->target.version,
                    .exact = status->target.exact};
  }
  std::optional<std::string> installed;
  std::optional<std::string> python;
  try {
    if (const auto pyspark = compat.get_pyspark_info()) installed = pyspark->version;
    python = compat.python_version();
  } catch (const std::runtime_error&) {
    // No interpreter to ask: the pins are judged against [tool.plo] alone.
  }
  report.conflicts = pin_conflicts(report.pins, plo, installed, pin_markers(python));
  return report;
}

}  // namespace plo
