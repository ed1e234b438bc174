#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace plo {

// Raised when computes.yml cannot be changed without risk to what the user wrote; the text says
// why and what to do instead.
class ComputesEditRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A compute engine to add: its name, type and the config settings that are set.
struct NewCompute {
  std::string name;
  std::optional<std::string> type;
  std::optional<std::string> master;
  std::optional<std::string> host;
  std::optional<std::string> cluster_id;
  std::optional<std::string> runtime = {};  // a managed runtime of plo's table ("glue-5.0")
};

// computes.yml text with the compute engine appended at the end of the block-style `computes`
// mapping (created when missing), in the indentation the file already uses. Every other line stays
// byte for byte as it was. Throws ComputesEditRefused where that cannot be done safely.
std::string add_compute_text(std::string_view text, const NewCompute& compute);

// computes.yml text without the named compute engine's lines (its key line and everything
// indented under it); comments outside it stay. Throws ComputesEditRefused where that cannot be
// done safely.
std::string remove_compute_text(std::string_view text, std::string_view name);

// The value as a YAML scalar: plain when it reads back as the same text, else single-quoted.
// Throws ComputesEditRefused for control characters, which no setting holds.
std::string yaml_scalar(std::string_view value);

}  // namespace plo
