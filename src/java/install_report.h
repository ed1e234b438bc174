#pragma once

#include <optional>
#include <string>

namespace plo {

// What `plo java install` did, as far as it got.
struct InstallReport {
  int major = 0;
  std::string reason;  // why that major: "as asked", "recommended by PySpark 4.1.3", ...
  std::optional<std::string> release_name;
  std::optional<std::string> full_version;
  std::optional<std::string> vendor;
  std::optional<std::string> checksum;
  std::optional<std::string> home;
  bool already_installed = false;
  bool pinned = false;
  std::optional<std::string> spark_env;  // where the pin went
  std::optional<std::string> error;
};

// The report as the `--json` document.
std::string install_report_json(const InstallReport& report);

}  // namespace plo
