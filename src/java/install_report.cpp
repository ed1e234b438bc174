#include "java/install_report.h"

#include <nlohmann/json.hpp>

#include "util/json_document.h"

namespace plo {

std::string install_report_json(const InstallReport& report) {
  using json = nlohmann::ordered_json;
  const auto text = [](const std::optional<std::string>& value) {
    return value ? json(*value) : json(nullptr);
  };
  json document = json::object();
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
  return json_text(json_document(document));
}

}  // namespace plo
