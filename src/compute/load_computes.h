#pragma once

#include <memory>
#include <string>

#include "registry/compute_registry.h"

namespace plo {

// The registry of the computes.yml at `path`; nothing when the file does not exist. Throws the
// registry's error for a file that cannot be read or parsed.
std::unique_ptr<YamlComputeRegistry> load_computes(const std::string& path);

}  // namespace plo
