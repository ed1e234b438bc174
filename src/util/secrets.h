#pragma once

#include <string>
#include <string_view>

namespace plo {

// The text with the value of every Spark Connect `;token=` parameter and every "Bearer" credential
// replaced by "***", so that no report, document or error shows a secret.
std::string without_tokens(std::string_view text);

}  // namespace plo
