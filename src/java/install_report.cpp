#include "java/install_report.h"

#include <nlohmann/json.hpp>

namespace plo {

std::string install_report_json(const InstallReport& report) {
  using json = nlohmann::ordered_json;
  const auto text = [](const std::optional<std::string>& value) {
    return value ? json(*value) : json(nullptr);
  };
  json document = json::object();
  document["schema"] = 1;
  document["ok"] = !report.error;
  document["version"] = report.major;
  document["release_name"] = text(report.release_name);
  document["full_version"] = text(report.full_version);
  document["vendor"] = text(report.vendor);
  document["sha256"] = text(report.checksum);
  document["home"] = text(report.home);
  document["already_installed"] = report.already_installed;
  document["pinned"] = report.pinned;
  document["spark_env"] = text(report.spark_env);
  document["error"] = text(report.error);
  // Texts come from a server and the disk: invalid UTF-8 is replaced rather than refused.
  return document.dump(2, ' ', false, json::error_handler_t::replace);
}

}  // namespace plo
