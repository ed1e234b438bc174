#include "registry/computes_editor.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "registry/compute_registry.h"
#include "util/text.h"

namespace plo {
namespace {

[[noreturn]] void refuse(const std::string& why) {
  throw ComputesEditRefused(why);
}

// One line of the file, without its line end, and the line end it had ("" on a last line
// without one).
struct Line {
  std::string_view text;
  std::string_view end;
};

std::vector<Line> lines_with_ends(std::string_view text) {
  std::vector<Line> lines;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    if (nl == std::string_view::npos) {
      lines.push_back({text, {}});
      break;
    }
    std::string_view body = text.substr(0, nl);
    size_t end_size = 1;
    if (body.ends_with('\r')) {
      body.remove_suffix(1);
      end_size = 2;
    }
    lines.push_back({body, text.substr(body.size(), end_size)});
    text.remove_prefix(nl + 1);
  }
  return lines;
}

size_t indent_of(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  return i;
}

// Blank, or holding only a comment.
bool is_filler(std::string_view line) {
  const std::string_view rest = trim_blanks(line);
  return rest.empty() || rest.front() == '#';
}

// A mapping key at the start of `line` (after its indent): the key text and what follows the ':'.
struct KeyLine {
  std::string key;
  std::string_view rest;
};

std::optional<KeyLine> parse_key_line(std::string_view line) {
  line.remove_prefix(indent_of(line));
  std::string key;
  size_t after = 0;
  if (!line.empty() && (line.front() == '\'' || line.front() == '"')) {
    const char quote = line.front();
    size_t i = 1;
    for (;;) {
      const auto close = line.find(quote, i);
      if (close == std::string_view::npos) return std::nullopt;
      if (quote == '"' && line.substr(i, close - i).find('\\') != std::string_view::npos) {
        return std::nullopt;  // escapes: not worth decoding here
      }
      key.append(line.substr(i, close - i));
      i = close + 1;
      if (quote == '\'' && i < line.size() && line[i] == '\'') {  // '' is one quote
        key.push_back('\'');
        ++i;
        continue;
      }
      break;
    }
    while (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size() || line[i] != ':') return std::nullopt;
    after = i + 1;
  } else {
    size_t i = 0;
    for (; i < line.size(); ++i) {
      if (line[i] == ':' && (i + 1 == line.size() || line[i + 1] == ' ')) break;
      if (line[i] == '#' && i > 0 && line[i - 1] == ' ') return std::nullopt;
    }
    if (i >= line.size()) return std::nullopt;
    key = std::string(trim_blanks(line.substr(0, i)));
    after = i + 1;
  }
  return KeyLine{std::move(key), line.substr(after)};
}

// What follows a key's ':' besides a comment.
std::string_view inline_value(std::string_view rest) {
  rest = trim_blanks(rest);
  if (rest.starts_with('#')) return {};
  return rest;
}

// Where the `computes` mapping sits in the file.
struct Layout {
  std::optional<size_t> computes_line;  // the "computes:" line
  size_t region_end = 0;                // one past the block's last line
  size_t child_indent = 2;              // indent of the compute names
  size_t step = 2;                      // indent of settings under a name, relative to it
  struct Entry {
    std::string name;
    size_t first = 0;  // the key line
    size_t last = 0;   // the last line indented under it (or the key line)
    bool inline_flow = false;
  };
  std::vector<Entry> entries;
};

Layout find_layout(const std::vector<Line>& lines) {
  Layout layout;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view text = lines[i].text;
    const auto content = text.find_first_not_of(" \t");
    if (content != std::string_view::npos &&
        text.substr(0, content).find('\t') != std::string_view::npos) {
      refuse("computes.yml is indented with tabs; edit it by hand");
    }
    if (text == "---" || text.starts_with("--- ") || text == "...") {
      refuse("computes.yml holds document markers (---); edit it by hand");
    }
    if (indent_of(text) != 0 || is_filler(text)) continue;
    const auto key = parse_key_line(text);
    if (!key || key->key != "computes") continue;
    if (!inline_value(key->rest).empty()) {
      refuse(
          "'computes' is written in flow style on one line; edit it by hand or rewrite it as "
          "an indented block");
    }
    layout.computes_line = i;
    break;
  }
  if (!layout.computes_line) return layout;

  size_t end = *layout.computes_line + 1;
  while (end < lines.size() && (is_filler(lines[end].text) || indent_of(lines[end].text) > 0)) {
    ++end;
  }
  layout.region_end = end;

  std::optional<size_t> child_indent;
  for (size_t i = *layout.computes_line + 1; i < end; ++i) {
    const std::string_view text = lines[i].text;
    if (is_filler(text)) {
      // A comment indented under an entry goes with it; blank lines stay where they are.
      if (!trim_blanks(text).empty() && child_indent && !layout.entries.empty() &&
          indent_of(text) > *child_indent) {
        layout.entries.back().last = i;
      }
      continue;
    }
    const size_t indent = indent_of(text);
    if (!child_indent) {
      child_indent = indent;
      if (text.substr(indent).starts_with('-') || text.substr(indent).starts_with('{') ||
          text.substr(indent).starts_with('[')) {
        refuse("'computes' is not an indented block of names; edit it by hand");
      }
    }
    if (indent < *child_indent) refuse("computes.yml has uneven indentation; edit it by hand");
    if (indent > *child_indent) {
      if (layout.entries.empty()) refuse("computes.yml has uneven indentation; edit it by hand");
      layout.entries.back().last = i;
      continue;
    }
    const auto key = parse_key_line(text);
    if (!key)
      refuse(fmt::format("line {} of computes.yml is not a compute name; edit it by hand", i + 1));
    const std::string_view value = inline_value(key->rest);
    layout.entries.push_back({key->key, i, i, value.starts_with('{') || value.starts_with('[')});
  }
  if (child_indent) layout.child_indent = *child_indent;
  // New settings are indented like the first setting the file has.
  // An entry may hold only indented comments: those say nothing about the settings' indent.
  for (const auto& entry : layout.entries) {
    size_t i = entry.first + 1;
    while (i <= entry.last && is_filler(lines[i].text)) ++i;
    if (i <= entry.last) {
      layout.step = indent_of(lines[i].text) - layout.child_indent;
      break;
    }
  }
  return layout;
}

bool same_record(const ComputeRecord& a, const ComputeRecord& b) {
  return a.type == b.type && a.config == b.config;
}

std::unique_ptr<YamlComputeRegistry> parse(std::string_view text) {
  try {
    return YamlComputeRegistry::from_text(text, "computes.yml");
  } catch (const std::exception& e) {
    refuse(e.what());
  }
}

constexpr std::string_view kCannotEdit =
    "computes.yml is written in a way plo cannot edit safely (flow style, anchors or the like); "
    "edit it by hand";

// The layout of the file, refused unless the lines it found are exactly the computes it defines.
Layout checked_layout(const std::vector<Line>& lines, YamlComputeRegistry& registry) {
  Layout layout = find_layout(lines);
  std::vector<std::string> found;
  for (const auto& entry : layout.entries) found.push_back(entry.name);
  if (found != registry.names()) refuse(std::string(kCannotEdit));
  return layout;
}

// Checks that the edited text defines exactly the computes it should, the others unchanged.
void verify(YamlComputeRegistry& before, std::string_view after, std::string_view changed,
            bool added) {
  std::unique_ptr<YamlComputeRegistry> edited;
  try {
    edited = YamlComputeRegistry::from_text(after, "computes.yml");
  } catch (const std::exception&) {
    refuse(std::string(kCannotEdit));
  }
  std::vector<std::string> expected = before.names();
  if (added) {
    expected.emplace_back(changed);
  } else {
    expected.erase(std::remove(expected.begin(), expected.end(), changed), expected.end());
  }
  if (edited->names() != expected) refuse(std::string(kCannotEdit));
  for (const std::string& name : expected) {
    if (name != changed && !same_record(*before.get(name), *edited->get(name))) {
      refuse(std::string(kCannotEdit));
    }
  }
}

std::string join(const std::vector<Line>& lines, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to; ++i) {
    out.append(lines[i].text);
    out.append(lines[i].end);
  }
  return out;
}

bool is_plain_safe(std::string_view value) {
  if (value.empty() || value != trim_blanks(value)) return false;
  if (std::string_view("-?:,[]{}#&*!|>'\"%@`").find(value.front()) != std::string_view::npos) {
    return false;
  }
  if (value.find(": ") != std::string_view::npos || value.find(" #") != std::string_view::npos ||
      value.ends_with(':')) {
    return false;
  }
  for (const char c : value) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  // Words and numbers another YAML reader would not take as text.
  static constexpr std::string_view kSpecial[] = {"true", "false", "yes", "no", "on",
                                                  "off",  "null",  "y",   "n",  "~"};
  const std::string lower = to_lower(value);
  for (const auto word : kSpecial) {
    if (lower == word) return false;
  }
  if (std::all_of(value.begin(), value.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E' ||
               c == '_';
      })) {
    return false;
  }
  return true;
}

}  // namespace

std::string yaml_scalar(std::string_view value) {
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) refuse("a value holds a control character");
  }
  if (is_plain_safe(value)) return std::string(value);
  std::string quoted = "'";
  for (const char c : value) {
    if (c == '\'') quoted.push_back('\'');
    quoted.push_back(c);
  }
  quoted.push_back('\'');
  return quoted;
}

std::string add_compute_text(std::string_view text, const NewCompute& compute) {
  const auto before = parse(text);
  const std::vector<Line> lines = lines_with_ends(text);
  const Layout layout = checked_layout(lines, *before);
  for (const auto& entry : layout.entries) {
    if (entry.name == compute.name) {
      refuse(fmt::format("a compute named '{}' is already in computes.yml", compute.name));
    }
  }
  const bool crlf = !lines.empty() && lines.front().end == "\r\n";
  const std::string nl = crlf ? "\r\n" : "\n";
  const std::string name_pad(layout.child_indent, ' ');
  const std::string pad1 = name_pad + std::string(layout.step, ' ');
  const std::string pad2 = pad1 + std::string(layout.step, ' ');
  std::string entry = name_pad + yaml_scalar(compute.name) + ":" + nl;
  if (compute.type) entry += pad1 + "type: " + yaml_scalar(*compute.type) + nl;
  entry += pad1 + "config:" + nl;
  if (compute.master) entry += pad2 + "master: " + yaml_scalar(*compute.master) + nl;
  if (compute.host) entry += pad2 + "host: " + yaml_scalar(*compute.host) + nl;
  if (compute.cluster_id) entry += pad2 + "cluster_id: " + yaml_scalar(*compute.cluster_id) + nl;
  if (compute.runtime) entry += pad2 + "runtime: " + yaml_scalar(*compute.runtime) + nl;

  std::string out;
  if (!layout.computes_line) {
    out = std::string(text);
    if (!out.empty() && !out.ends_with('\n')) out += nl;
    out += "computes:" + nl + entry;
  } else {
    const size_t after =
        layout.entries.empty() ? *layout.computes_line + 1 : layout.entries.back().last + 1;
    out = join(lines, 0, after);
    if (!out.ends_with('\n')) out += nl;
    out += entry + join(lines, after, lines.size());
  }
  verify(*before, out, compute.name, true);
  const auto added = YamlComputeRegistry::from_text(out, "computes.yml")->get(compute.name);
  const auto reads_back = [&](std::string_view key, const std::optional<std::string>& value) {
    if (!value) return true;
    const auto found = added->config->find(key);
    return found != added->config->end() && found->second == *value;
  };
  if (!added || added->type != compute.type || !added->config ||
      !reads_back("master", compute.master) || !reads_back("host", compute.host) ||
      !reads_back("cluster_id", compute.cluster_id) || !reads_back("runtime", compute.runtime)) {
    refuse(std::string(kCannotEdit));
  }
  return out;
}

std::string remove_compute_text(std::string_view text, std::string_view name) {
  const auto before = parse(text);
  const std::vector<Line> lines = lines_with_ends(text);
  const Layout layout = checked_layout(lines, *before);
  const auto entry = std::find_if(layout.entries.begin(), layout.entries.end(),
                                  [&](const auto& e) { return e.name == name; });
  if (entry == layout.entries.end()) {
    refuse(fmt::format("no compute named '{}' in computes.yml", name));
  }
  if (entry->inline_flow) {
    refuse(fmt::format("compute '{}' is written in flow style ({{...}}); edit it by hand", name));
  }
  std::string out = join(lines, 0, entry->first) + join(lines, entry->last + 1, lines.size());
  verify(*before, out, name, false);
  return out;
}

}  // namespace plo
