#include "util/json_document.h"

#include "util/secrets.h"

namespace plo {

nlohmann::ordered_json json_document(const nlohmann::ordered_json& members) {
  nlohmann::ordered_json document = {{"schema", kJsonSchema}};
  for (const auto& [key, value] : members.items()) document[key] = value;
  return document;
}

std::string json_text(const nlohmann::ordered_json& document) {
  // Tokens in any field (a master URL, an error quoting one) never leave plo.
  return without_tokens(
      document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

}  // namespace plo
