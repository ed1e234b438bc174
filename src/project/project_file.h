#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace plo {

// Raised when pyproject.toml cannot be read or its [tool.plo] table is invalid; the text names the
// file, and the line and column where TOML says where.
class ProjectFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a project's [tool.plo] table asks for, as written.
struct ProjectSpec {
  std::string file;                    // the pyproject.toml it came from
  std::optional<std::string> pyspark;  // a line "3.5" or an exact version "3.5.3"
  std::optional<int> java;             // a Java major
  std::optional<std::string> compute;  // a compute engine of computes.yml whose cluster leads
  std::optional<std::string> installer = {};  // "pip" or "uv": what changes PySpark here
  // A managed runtime of plo's table ("glue-5.0") that names the PySpark and the Java.
  std::optional<std::string> runtime = {};
  std::vector<std::string> unknown_keys = {};  // keys plo does not know, for a warning
};

// pyproject.toml is read whole; a larger one is refused rather than read in part.
inline constexpr size_t kMaxProjectFileBytes = 1 << 20;

// The nearest pyproject.toml from `start` upward, stopping after the filesystem's root or a folder
// holding .git (the repository's root). With `with_table`, only a file holding a [tool.plo] table
// counts and the search goes on past the others. Nothing when none is found.
std::optional<std::filesystem::path> find_project_file(const std::filesystem::path& start,
                                                       bool with_table);

// The [tool.plo] table of a pyproject.toml text (nothing when the text has none); `file` names it
// in errors. Throws ProjectFileError for invalid TOML or invalid values.
std::optional<ProjectSpec> parse_project(const std::string& text, const std::string& file);

// Where a text's [tool.plo] table stands, in byte offsets, as TOML reads it (so that a look-alike
// inside a multi-line string is not taken for it): what `plo pin` edits by.
struct PloTablePlace {
  bool has_header = false;  // written as a `[tool.plo]` header of its own
  size_t insert_at = 0;     // where a new key's line goes: after the table's last key line
  std::map<std::string, std::pair<size_t, size_t>> values = {};  // a key's value bytes [begin, end)
};

// The place of [tool.plo] in `text`; has_header is false when the text has no such table (or only
// its subtables). Throws ProjectFileError for invalid TOML, and for a tool.plo written inline or
// with dotted keys.
PloTablePlace locate_plo_table(const std::string& text, const std::string& file);

// Whether `edited` reads as the document of `original` with each of `changes` (a key of
// [tool.plo] and its value as TOML text) set in [tool.plo], and nothing else changed.
bool reads_as_original_plus(const std::string& original, const std::string& edited,
                            const std::vector<std::pair<std::string, std::string>>& changes);

// parse_project over the file, read with a bound. Throws ProjectFileError when it cannot be read.
std::optional<ProjectSpec> read_project(const std::filesystem::path& file);

}  // namespace plo
