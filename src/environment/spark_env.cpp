#include "environment/spark_env.h"

#include <cstdio>
#include <vector>

#include "util/environment.h"
#include "util/text.h"

namespace plo {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// A marker line as written, or with trailing blanks or a CR that an editor added.
bool is_marker(std::string_view line, std::string_view marker) {
  while (!line.empty() && (is_blank(line.back()) || line.back() == '\r')) line.remove_suffix(1);
  return line == marker;
}

// One shell word starting at text[i]; `i` moves past it. Its literal value, or nothing when it
// expands anything ($, `, a leading ~) or cannot be read on one line. `stop` is set at characters
// that end a simple command's word list (";", "#" at a word's start, or the end).
struct Word {
  std::optional<std::string> value;
  std::string_view raw;
  bool control = false;  // holds an unquoted &, |, (, ), < or >: not a plain command
};

Word read_word(std::string_view text, size_t& i) {
  Word word;
  const size_t start = i;
  std::string value;
  bool literal = true;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\'') {
      const auto close = text.find('\'', i + 1);
      if (close == std::string_view::npos) {
        literal = false;
        i = text.size();
        break;
      }
      value.append(text.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (c == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) {
          literal = false;
          break;
        }
        const char d = text[i];
        if (d == '"') {
          ++i;
          break;
        }
        if (d == '$' || d == '`') literal = false;
        if (d == '\\' && i + 1 < text.size() &&
            std::string_view("$`\"\\").find(text[i + 1]) != std::string_view::npos) {
          value += text[i + 1];
          i += 2;
          continue;
        }
        value += d;
        ++i;
      }
    } else if (c == '\\') {
      if (i + 1 >= text.size()) {  // continues on the next line
        literal = false;
        ++i;
        break;
      }
      value += text[i + 1];
      i += 2;
    } else if (is_blank(c) || c == ';') {
      break;
    } else {
      if (c == '$' || c == '`') literal = false;
      if (std::string_view("()<>&|").find(c) != std::string_view::npos) word.control = true;
      value += c;
      ++i;
    }
  }
  word.raw = text.substr(start, i - start);
  if (literal) word.value = std::move(value);
  return word;
}

bool is_name(std::string_view text) {
  if (text.empty() || (text[0] >= '0' && text[0] <= '9')) return false;
  for (const char c : text) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
      return false;
  }
  return true;
}

// The value the line leaves in JAVA_HOME, as bash runs it: every simple command (split at ";")
// that is only assignments, or `export` with assignments, sets it; `JAVA_HOME=x cmd` sets it for
// cmd alone. Nothing when the line does not set it, or sets it to something computed.
std::optional<std::string> java_home_assignment(std::string_view line) {
  std::optional<std::string> found;
  size_t i = 0;
  while (i < line.size()) {
    std::vector<Word> words;
    for (;;) {
      while (i < line.size() && is_blank(line[i])) ++i;
      if (i >= line.size() || line[i] == ';' || line[i] == '#') break;
      words.push_back(read_word(line, i));
    }
    const bool comment = i < line.size() && line[i] == '#';
    ++i;  // past the ";"
    bool exported = !words.empty() && words.front().raw == "export";
    std::optional<std::string> here;
    bool sets = false;
    bool plain = true;
    for (size_t w = exported ? 1 : 0; w < words.size(); ++w) {
      const Word& word = words[w];
      if (word.control) return std::nullopt;  // pipelines, subshells: not understood
      const auto eq = word.raw.find('=');
      if (eq == std::string_view::npos || !is_name(word.raw.substr(0, eq))) {
        if (!exported) plain = false;  // a command: its assignments are its own
        continue;
      }
      if (word.raw.substr(0, eq) != "JAVA_HOME") continue;
      sets = true;
      here.reset();
      if (word.value && !word.raw.substr(eq + 1).starts_with('~')) {
        here = word.value->substr(eq);
        here->erase(0, 1);
      }
    }
    if (sets && plain) found = here;  // a computed value forgets an earlier literal one
    if (comment) break;
  }
  return found;
}

}  // namespace

std::optional<SparkEnvJava> spark_env_java_home(std::string_view contents) {
  std::optional<SparkEnvJava> found;
  bool in_pin = false;
  for (const std::string_view line : split_lines(contents)) {
    if (is_marker(line, kPinBegin)) {
      in_pin = true;
    } else if (is_marker(line, kPinEnd)) {
      in_pin = false;
    } else if (auto value = java_home_assignment(line)) {
      found = SparkEnvJava{std::move(*value), in_pin};
    }
  }
  return found;
}

std::optional<std::string> pinned_java_home(std::string_view contents) {
  std::optional<std::string> found;
  bool in_pin = false;
  for (const std::string_view line : split_lines(contents)) {
    if (is_marker(line, kPinBegin)) {
      in_pin = true;
    } else if (is_marker(line, kPinEnd)) {
      in_pin = false;
    } else if (in_pin) {
      if (auto value = java_home_assignment(line)) found = std::move(value);
    }
  }
  return found;
}

std::string without_java_pin(std::string_view contents) {
  std::string out;
  std::string held;  // the user's lines after a begin marker, kept when no end marker follows
  std::string dropped_if_unended;  // plo's own lines right after a begin marker
  bool in_pin = false;
  bool plo_lines = false;
  while (!contents.empty()) {
    const auto end = contents.find('\n');
    // Keep each kept line with its own line end, so CRLF files stay as they were.
    const std::string_view raw =
        end == std::string_view::npos ? contents : contents.substr(0, end + 1);
    contents.remove_prefix(raw.size());
    std::string_view line = raw;
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (is_marker(line, kPinBegin)) {
      out.append(held);  // a second begin: the first one had no end
      held.clear();
      in_pin = true;
      plo_lines = true;
    } else if (is_marker(line, kPinEnd)) {
      held.clear();
      in_pin = false;
    } else if (in_pin) {
      // Without an end marker the block is what plo writes right after the begin: its comment
      // and its assignment; the lines after those are the user's and stay.
      plo_lines = plo_lines && (line.starts_with("# Written by 'plo java set'") ||
                                line.starts_with("export JAVA_HOME="));
      (plo_lines ? dropped_if_unended : held).append(raw);
    } else {
      out.append(raw);
    }
  }
  out.append(held);
  return out;
}

std::string with_java_pin(std::string_view contents, std::string_view home) {
  std::string out = without_java_pin(contents);
  if (!out.empty() && out.back() != '\n') out += '\n';
  out.append(kPinBegin);
  out += "\n# Written by 'plo java set'; 'plo java unset' removes it.\nexport JAVA_HOME=";
  out += shell_quote(home);
  out += '\n';
  out.append(kPinEnd);
  out += '\n';
  return out;
}

bool warn_if_spark_env_skipped() {
  if (!non_empty_env("SPARK_ENV_LOADED")) return false;
  std::fputs(
      "Warning: SPARK_ENV_LOADED is set here, so Spark skips spark-env.sh and the Java pinned in "
      "it; unset SPARK_ENV_LOADED for the pin to take effect\n",
      stderr);
  std::fflush(stderr);
  return true;
}

}  // namespace plo
