#include "project/pin_editor.h"

#include <array>
#include <vector>

#include "project/project_file.h"

namespace plo {
namespace {

std::string_view trim_left(std::string_view text) {
  const auto start = text.find_first_not_of(" \t");
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

// A header line naming exactly [tool.plo], with nothing but a comment after it.
bool is_plo_header(std::string_view line) {
  line = trim_left(line);
  if (!line.starts_with("[tool.plo]")) return false;
  const std::string_view rest = trim_left(line.substr(10));
  return rest.empty() || rest.front() == '#' || rest == "\r" || rest == "\n" || rest == "\r\n";
}

bool is_header(std::string_view line) {
  return trim_left(line).starts_with('[');
}

// The key a `key = value` line sets, or an empty view.
std::string_view key_of(std::string_view line) {
  line = trim_left(line);
  const auto end = line.find_first_of(" \t=");
  if (end == std::string_view::npos || end == 0) return {};
  if (trim_left(line.substr(end)).starts_with('=')) return line.substr(0, end);
  return {};
}

// The value's end in a key line: after a quoted string, else before blanks or a comment.
size_t value_end(std::string_view line, size_t start) {
  if (start < line.size() && (line[start] == '"' || line[start] == '\'')) {
    const char quote = line[start];
    for (size_t i = start + 1; i < line.size(); ++i) {
      if (quote == '"' && line[i] == '\\') {
        ++i;
      } else if (line[i] == quote) {
        return i + 1;
      }
    }
    return line.size();
  }
  const auto end = line.find_first_of(" \t#\r\n", start);
  return end == std::string_view::npos ? line.size() : end;
}

std::string toml_string(std::string_view text) {
  std::string quoted = "\"";
  for (char ch : text) {
    if (ch == '"' || ch == '\\') quoted += '\\';
    quoted += ch;
  }
  return quoted + "\"";
}

}  // namespace

std::string pin_text(std::string_view text, const PinValues& values, const std::string& file) {
  const std::string original(text);
  parse_project(original, file);  // an invalid file is not edited: it throws here

  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    const auto end = text.find('\n', start);
    const size_t stop = end == std::string_view::npos ? text.size() : end + 1;
    lines.emplace_back(text.substr(start, stop - start));
    start = stop;
  }
  const std::string newline =
      !lines.empty() && lines.front().ends_with("\r\n") ? std::string("\r\n") : std::string("\n");

  std::array<std::pair<std::string_view, std::optional<std::string>>, 4> wanted = {{
      {"pyspark", values.pyspark ? std::optional(toml_string(*values.pyspark)) : std::nullopt},
      {"java", values.java ? std::optional(std::to_string(*values.java)) : std::nullopt},
      {"compute", values.compute ? std::optional(toml_string(*values.compute)) : std::nullopt},
      {"runtime", values.runtime ? std::optional(toml_string(*values.runtime)) : std::nullopt},
  }};

  size_t header = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (is_plo_header(lines[i])) {
      header = i;
      break;
    }
  }
  std::string edited;
  if (header == lines.size()) {
    for (const auto& line : lines) edited += line;
    if (!edited.empty() && !edited.ends_with('\n')) edited += newline;
    if (!edited.empty()) edited += newline;
    edited += "[tool.plo]" + newline;
    for (const auto& [key, value] : wanted) {
      if (value) edited += std::string(key) + " = " + *value + newline;
    }
  } else {
    size_t end = header + 1;
    while (end < lines.size() && !is_header(lines[end])) ++end;
    size_t last_key = header;
    for (size_t i = header + 1; i < end; ++i) {
      const std::string key(key_of(lines[i]));  // a copy: the line is rewritten below
      if (key.empty()) continue;
      last_key = i;
      for (auto& [name, value] : wanted) {
        if (key != name || !value) continue;
        std::string& line = lines[i];
        size_t start = line.find('=') + 1;
        while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
        line = line.substr(0, start) + *value + line.substr(value_end(line, start));
        value.reset();
      }
    }
    std::string added;
    for (const auto& [key, value] : wanted) {
      if (value) added += std::string(key) + " = " + *value + newline;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
      edited += lines[i];
      if (i == last_key && !added.empty()) {
        if (!edited.ends_with('\n')) edited += newline;
        edited += added;
      }
    }
  }

  // The edit is kept only where the file now reads back as asked.
  std::optional<ProjectSpec> check;
  try {
    check = parse_project(edited, file);
  } catch (const ProjectFileError&) {
  }
  if (!check || (values.pyspark && check->pyspark != values.pyspark) ||
      (values.java && check->java != values.java) ||
      (values.compute && check->compute != values.compute) ||
      (values.runtime && check->runtime != values.runtime)) {
    throw ProjectFileError(file +
                           ": its [tool.plo] is written in a way plo cannot edit safely (inline "
                           "or with dotted keys); change it by hand");
  }
  return edited;
}

}  // namespace plo
