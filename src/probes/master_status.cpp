#include <nlohmann/json.hpp>

#include "probes/master_probe.h"

namespace plo {

std::optional<MasterStatus> parse_master_status(std::string_view body) {
  const auto json = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) return std::nullopt;
  const auto status = json.find("status");
  if (status == json.end() || !status->is_string()) return std::nullopt;
  MasterStatus found{status->get<std::string>(), std::nullopt, std::nullopt};
  const auto number = [&](const char* key) -> std::optional<long> {
    const auto it = json.find(key);
    if (it == json.end() || !it->is_number_integer()) return std::nullopt;
    return it->get<long>();
  };
  found.alive_workers = number("aliveworkers");
  found.cores = number("cores");
  return found;
}

}  // namespace plo
