#include "compute/load_computes.h"

#include "registry/computes_file.h"

namespace plo {

std::unique_ptr<YamlComputeRegistry> load_computes(const std::string& path) {
  const auto text = read_computes_for_edit(path);
  if (!text) return nullptr;
  return YamlComputeRegistry::from_text(*text, path);
}

}  // namespace plo
