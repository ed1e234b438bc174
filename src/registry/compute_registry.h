#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// One compute engine of computes.yml.
struct ComputeRecord {
  std::optional<std::string> type;
  // Scalar settings as their YAML text; a key whose value is null is left out.
  std::optional<std::map<std::string, std::string, std::less<>>> config;

  // The config value under `key`, or nothing when it is absent or empty.
  std::optional<std::string> setting(std::string_view key) const {
    if (!config) return std::nullopt;
    const auto found = config->find(key);
    if (found == config->end() || found->second.empty()) return std::nullopt;
    return found->second;
  }
};

// The user's configured compute engines; the seam that tests replace.
class ComputeRegistry {
 public:
  virtual ~ComputeRegistry() = default;

  // The compute engine of that name, or nothing when none is defined.
  virtual std::optional<ComputeRecord> get(std::string_view name) = 0;

  // The names of all compute engines, in the order the file defines them.
  virtual std::vector<std::string> names() = 0;
};

// Makes the registry when match_cluster runs, so that no other command reads computes.yml.
using ComputeRegistryFactory = std::function<std::unique_ptr<ComputeRegistry>()>;

// The registry read from a computes.yml; throws, naming the file, when it cannot be read or does
// not have the expected shape.
class YamlComputeRegistry : public ComputeRegistry {
 public:
  explicit YamlComputeRegistry(const std::string& file);

  // The registry of a computes.yml text; `file` names it in error messages.
  static std::unique_ptr<YamlComputeRegistry> from_text(std::string_view text,
                                                        const std::string& file);

  // The registry of default_path().
  static std::unique_ptr<YamlComputeRegistry> from_plo_home();

  std::optional<ComputeRecord> get(std::string_view name) override;
  std::vector<std::string> names() override { return order_; }

  // The computes.yml plo uses: $PLO_HOME/computes.yml when PLO_HOME is set, else
  // ~/.plo/computes.yml when it exists, else ${XDG_CONFIG_HOME:-~/.config}/plo/computes.yml;
  // throws when no variable names a folder.
  static std::string default_path();

  // Larger files are refused rather than parsed.
  static constexpr size_t kMaxFileBytes = 4 << 20;

  // The names of every compute engine, sorted.
  std::vector<std::string> names() const;

 private:
  YamlComputeRegistry() = default;
  void load(std::string_view text, const std::string& file);

  std::map<std::string, ComputeRecord, std::less<>> computes_;
  std::vector<std::string> order_;
};

}  // namespace plo
