// toml++ is compiled here, header-only: the one file that parses TOML.
#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include <fmt/format.h>

#include <algorithm>
#include <system_error>

#include "catalogue/pep440.h"
#include "catalogue/runtimes.h"
#include "project/project_file.h"
#include "util/escape.h"
#include "util/text_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail_at(const std::string& file, const toml::source_region& where,
                          const std::string& message) {
  throw ProjectFileError(
      fmt::format("{}:{}:{}: {}", file, where.begin.line, where.begin.column, message));
}

bool has_tool_plo(const fs::path& file) {
  try {
    return read_project(file).has_value();
  } catch (const ProjectFileError&) {
    return true;  // broken, but it is the nearest: reading it later tells the user why
  }
}

}  // namespace

std::optional<fs::path> find_project_file(const fs::path& start, bool with_table) {
  std::error_code error;
  fs::path folder = fs::absolute(start, error).lexically_normal();
  if (error) return std::nullopt;
  for (;;) {
    const fs::path candidate = folder / "pyproject.toml";
    if (fs::is_regular_file(candidate, error) && (!with_table || has_tool_plo(candidate))) {
      return candidate;
    }
    if (fs::exists(folder / ".git", error)) return std::nullopt;
    const fs::path parent = folder.parent_path();
    if (parent == folder || parent.empty()) return std::nullopt;
    folder = parent;
  }
}

std::optional<ProjectSpec> parse_project(const std::string& text, const std::string& file) {
  toml::table document;
  try {
    document = toml::parse(text, file);
  } catch (const toml::parse_error& e) {
    fail_at(file, e.source(), std::string(e.description()));
  }
  const toml::node* tool = document.get("tool");
  if (!tool || !tool->is_table()) return std::nullopt;
  const toml::node* plo = tool->as_table()->get("plo");
  if (!plo) return std::nullopt;
  if (!plo->is_table()) fail_at(file, plo->source(), "tool.plo must be a table");

  ProjectSpec spec;
  spec.file = file;
  for (const auto& [key, value] : *plo->as_table()) {
    if (key == "pyspark") {
      const auto text_value = value.value<std::string>();
      if (!value.is_string() || !pep440_key(*text_value)) {
        fail_at(file, value.source(),
                "pyspark must be a PySpark line or version in quotes, such as \"3.5\" or "
                "\"3.5.3\"");
      }
      spec.pyspark = *text_value;
    } else if (key == "java") {
      std::optional<int64_t> major;
      if (value.is_integer()) {
        major = value.value<int64_t>();
      } else if (const auto digits = value.value<std::string>();
                 value.is_string() && !digits->empty() && digits->size() <= 3 &&
                 std::all_of(digits->begin(), digits->end(),
                             [](char ch) { return ch >= '0' && ch <= '9'; })) {
        major = std::stoi(*digits);
      }
      if (!major || *major < 1 || *major > 999) {
        fail_at(file, value.source(), "java must be a Java major version, such as 17");
      }
      spec.java = static_cast<int>(*major);
    } else if (key == "compute") {
      const auto name = value.value<std::string>();
      if (!value.is_string() || name->empty() || escape_controls(*name) != *name) {
        fail_at(file, value.source(), "compute must be the name of a compute engine in quotes");
      }
      spec.compute = *name;
    } else if (key == "runtime") {
      const auto name = value.value<std::string>();
      if (!value.is_string() || !find_runtime(*name)) {
        fail_at(file, value.source(),
                "runtime must be a managed runtime in quotes, such as \"glue-5.0\" (plo runtimes "
                "lists them)");
      }
      spec.runtime = find_runtime(*name)->name;
    } else {
      spec.unknown_keys.emplace_back(key.str());
    }
  }
  return spec;
}

std::optional<ProjectSpec> read_project(const fs::path& file) {
  const FileContents contents = read_regular_file(file, kMaxProjectFileBytes);
  switch (contents.status) {
    case FileContents::Status::Ok:
      break;
    case FileContents::Status::TooLarge:
      throw ProjectFileError(file.string() + ": larger than 1 MiB, not read");
    case FileContents::Status::NotRegular:
      throw ProjectFileError(file.string() + ": not a regular file");
    case FileContents::Status::Unreadable:
      throw ProjectFileError(file.string() + ": " +
                             std::generic_category().message(contents.error));
  }
  return parse_project(contents.text, file.string());
}

}  // namespace plo
