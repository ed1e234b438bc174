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

// The byte offset of a toml++ position: lines from 1, columns from 1 counting code points.
size_t offset_of(std::string_view text, const toml::source_position& where) {
  size_t at = 0;
  for (uint32_t line = 1; line < where.line && at < text.size(); ++line) {
    const size_t end = text.find('\n', at);
    at = end == std::string_view::npos ? text.size() : end + 1;
  }
  for (uint32_t column = 1; column < where.column && at < text.size(); ++column) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}

// The offset just after the line holding `at` (its line end included).
size_t after_line(std::string_view text, size_t at) {
  const size_t end = text.find('\n', at);
  return end == std::string_view::npos ? text.size() : end + 1;
}

// Whether the table's own header `[tool.plo]` stands at `at` (blanks inside the brackets allowed).
bool is_plo_header_at(std::string_view text, size_t at) {
  if (at >= text.size() || text[at] != '[' || text.substr(at).starts_with("[[")) return false;
  const size_t close = text.find_first_of("]\n", at);
  if (close == std::string_view::npos || text[close] != ']') return false;
  std::string name;
  for (char ch : text.substr(at + 1, close - at - 1)) {
    if (ch != ' ' && ch != '\t') name += ch;
  }
  return name == "tool.plo";
}

toml::table parsed_or_throw(const std::string& text, const std::string& file) {
  try {
    return toml::parse(text, file);
  } catch (const toml::parse_error& e) {
    fail_at(file, e.source(), std::string(e.description()));
  }
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
  const toml::table document = parsed_or_throw(text, file);
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
    } else if (key == "installer") {
      const auto name = value.value<std::string>();
      if (!value.is_string() || (*name != "pip" && *name != "uv")) {
        fail_at(file, value.source(), "installer must be \"pip\" or \"uv\"");
      }
      spec.installer = *name;
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

PloTablePlace locate_plo_table(const std::string& text, const std::string& file) {
  const toml::table document = parsed_or_throw(text, file);
  PloTablePlace place;
  const toml::node* plo = document.at_path("tool.plo").node();
  if (!plo || !plo->is_table()) return place;
  const toml::table& table = *plo->as_table();
  const size_t begin = offset_of(text, table.source().begin);
  const bool any_header = begin < text.size() && text[begin] == '[';
  if (table.is_inline() || !any_header) {
    throw ProjectFileError(file +
                           ": its [tool.plo] is written in a way plo cannot edit safely (inline "
                           "or with dotted keys); change it by hand");
  }
  // Only subtables made it: a [tool.plo] header of its own can still be added.
  if (!is_plo_header_at(text, begin)) return place;
  place.has_header = true;
  place.insert_at = after_line(text, begin);
  for (const auto& [key, value] : table) {
    // A subtable's region is its own header, beyond this table's lines.
    if (value.is_table() || value.is_array_of_tables()) continue;
    const size_t value_begin = offset_of(text, value.source().begin);
    const size_t value_end = offset_of(text, value.source().end);
    place.values[std::string(key.str())] = {value_begin, value_end};
    place.insert_at =
        std::max(place.insert_at, after_line(text, value_end == 0 ? 0 : value_end - 1));
  }
  return place;
}

bool reads_as_original_plus(const std::string& original, const std::string& edited,
                            const std::vector<std::pair<std::string, std::string>>& changes) {
  try {
    toml::table expected = toml::parse(original);
    if (!expected.contains("tool")) expected.insert("tool", toml::table{});
    toml::table* tool = expected["tool"].as_table();
    if (!tool) return false;
    if (!tool->contains("plo")) tool->insert("plo", toml::table{});
    toml::table* plo = (*tool)["plo"].as_table();
    if (!plo) return false;
    for (const auto& change : changes) {
      // A named key, not a structured binding: clang 14 cannot capture one in the lambda.
      const std::string& key = change.first;
      const toml::table holder = toml::parse("v = " + change.second);
      holder["v"].node()->visit([&](const auto& node) { plo->insert_or_assign(key, node); });
    }
    return toml::parse(edited) == expected;
  } catch (const toml::parse_error&) {
    return false;
  }
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
