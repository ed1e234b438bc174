#include "registry/compute_registry.h"

#include <yaml-cpp/yaml.h>

#include <fmt/format.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "util/environment.h"
#include "util/text_file.h"

namespace plo {
namespace {

constexpr const char* kTooLarge = "larger than 4 MiB; a compute config is a few lines";

[[noreturn]] void fail(const std::string& file, const std::string& what) {
  throw std::runtime_error(fmt::format("{}: {}", file, what));
}

std::string where(const YAML::Node& node) {
  const YAML::Mark mark = node.Mark();
  if (mark.line < 0) return "";
  return fmt::format(" (line {}, column {})", mark.line + 1, mark.column + 1);
}

ComputeRecord read_record(const std::string& file, const std::string& name,
                          const YAML::Node& node) {
  if (!node.IsMap()) fail(file, fmt::format("compute '{}' is not a mapping{}", name, where(node)));
  ComputeRecord record;
  if (const YAML::Node type = node["type"]; type && !type.IsNull()) {
    if (!type.IsScalar())
      fail(file, fmt::format("the type of '{}' is not a text{}", name, where(type)));
    record.type = type.Scalar();
  }
  if (const YAML::Node config = node["config"]; config && !config.IsNull()) {
    if (!config.IsMap()) {
      fail(file, fmt::format("the config of '{}' is not a mapping{}", name, where(config)));
    }
    auto& settings = record.config.emplace();
    for (const auto& item : config) {
      const std::string key = item.first.Scalar();
      if (item.second.IsNull()) continue;
      if (!item.second.IsScalar()) {
        fail(file, fmt::format("the setting '{}' of '{}' is not a single value{}", key, name,
                               where(item.second)));
      }
      settings[key] = item.second.Scalar();
    }
  }
  return record;
}

}  // namespace

YamlComputeRegistry::YamlComputeRegistry(const std::string& file) {
  const FileContents contents = read_regular_file(file, kMaxFileBytes);
  switch (contents.status) {
    case FileContents::Status::Ok:
      break;
    case FileContents::Status::NotRegular:
      fail(file, "not a regular file");
    case FileContents::Status::TooLarge:
      fail(file, kTooLarge);
    case FileContents::Status::Unreadable:
      fail(file, contents.error == ENOENT || contents.error == EACCES
                     ? "cannot be read (missing or not readable)"
                     : fmt::format("cannot be read ({})", std::strerror(contents.error)));
  }
  load(contents.text, file);
}

std::unique_ptr<YamlComputeRegistry> YamlComputeRegistry::from_text(std::string_view text,
                                                                    const std::string& file) {
  std::unique_ptr<YamlComputeRegistry> registry(new YamlComputeRegistry());
  registry->load(text, file);
  return registry;
}

void YamlComputeRegistry::load(std::string_view text, const std::string& file) {
  // yaml-cpp needs tens of bytes of memory per byte of text.
  if (text.size() > kMaxFileBytes) fail(file, kTooLarge);
  // YAML allows no NUL, and yaml-cpp would quietly stop reading at some of them.
  if (text.find('\0') != std::string_view::npos) fail(file, "not valid YAML: it holds a NUL byte");
  YAML::Node root;
  try {
    root = YAML::Load(std::string(text));
  } catch (const YAML::Exception& e) {
    fail(file, fmt::format("not valid YAML: {} (line {}, column {})", e.msg, e.mark.line + 1,
                           e.mark.column + 1));
  }
  if (root.IsNull()) return;  // an empty file defines nothing
  if (!root.IsMap()) fail(file, "the top level is not a mapping");
  const YAML::Node computes = root["computes"];
  if (!computes || computes.IsNull()) return;
  if (!computes.IsMap()) fail(file, "'computes' is not a mapping" + where(computes));
  for (const auto& item : computes) {
    if (!item.first.IsScalar()) fail(file, "a compute name is not a text" + where(item.first));
    const std::string name = item.first.Scalar();
    if (computes_.count(name) == 0) order_.push_back(name);
    computes_[name] = read_record(file, name, item.second);
  }
}

std::string YamlComputeRegistry::default_path() {
  if (auto plo_home = non_empty_env("PLO_HOME")) return *plo_home + "/computes.yml";
  const auto user_home = non_empty_env("HOME");
  // The folder of earlier versions stays in use while it holds a computes.yml.
  if (user_home) {
    std::string legacy = *user_home + "/.plo/computes.yml";
    std::error_code error;
    if (std::filesystem::symlink_status(legacy, error).type() !=
        std::filesystem::file_type::not_found) {
      return legacy;
    }
  }
  // XDG: a relative XDG_CONFIG_HOME is to be ignored.
  if (auto config = non_empty_env("XDG_CONFIG_HOME"); config && config->front() == '/') {
    return *config + "/plo/computes.yml";
  }
  if (user_home) return *user_home + "/.config/plo/computes.yml";
  throw std::runtime_error(
      "cannot find computes.yml: none of PLO_HOME, XDG_CONFIG_HOME and HOME "
      "is set");
}

std::unique_ptr<YamlComputeRegistry> YamlComputeRegistry::from_plo_home() {
  return std::make_unique<YamlComputeRegistry>(default_path());
}

std::optional<ComputeRecord> YamlComputeRegistry::get(std::string_view name) {
  const auto found = computes_.find(name);
  if (found == computes_.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> YamlComputeRegistry::names() const {
  std::vector<std::string> all;
  for (const auto& [name, record] : computes_) all.push_back(name);
  return all;
}

}  // namespace plo
