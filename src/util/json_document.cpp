#include "util/json_document.h"

#include <nlohmann/json.hpp>

#include "util/secrets.h"

namespace plo {
namespace {

// Every string of the document passed through without_secrets: masked value by value, since a
// mask applied to the dumped text could eat a string's escaped quote.
void mask_secrets(nlohmann::ordered_json& node) {
  if (node.is_string()) {
    node = without_secrets(node.get_ref<const std::string&>());
  } else if (node.is_structured()) {
    for (auto& child : node) mask_secrets(child);
  }
}

}  // namespace

nlohmann::ordered_json json_document(const nlohmann::ordered_json& members) {
  nlohmann::ordered_json document = {{"schema", kJsonSchema}};
  for (const auto& [key, value] : members.items()) document[key] = value;
  return document;
}

std::string json_text(const nlohmann::ordered_json& document) {
  // Secrets in any field (a master URL, an error quoting one, a setting) never leave plo.
  nlohmann::ordered_json masked = document;
  mask_secrets(masked);
  return masked.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace plo
