#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>

namespace plo {

// The version of every --json document's layout; raised by a change that breaks a field.
inline constexpr int kJsonSchema = 1;

// A --json document: "schema" first, then `members` (an object) in their order.
nlohmann::ordered_json json_document(const nlohmann::ordered_json& members);

// The document's text: indented by two, invalid UTF-8 (from disk or servers) replaced, secrets
// masked, no line end.
std::string json_text(const nlohmann::ordered_json& document);

}  // namespace plo
