#include "compat/spark_env.h"

#include <cstdio>
#include <vector>

#include "util/environment.h"
#include "util/text.h"

namespace plo {
namespace {

// Splits into lines without their line ends ("\n" or "\r\n").
std::vector<std::string_view> split_lines(std::string_view contents) {
  std::vector<std::string_view> lines;
  while (!contents.empty()) {
    const auto end = contents.find('\n');
    std::string_view line = contents.substr(0, end);
    contents = end == std::string_view::npos ? std::string_view() : contents.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
  }
  return lines;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// The literal value of a shell word that starts `text`, when what follows it ends the command
// (blanks, a comment, ";"). Nothing when the word expands anything or a command follows.
std::optional<std::string> literal_word(std::string_view text) {
  std::string value;
  size_t i = 0;
  if (!text.empty() && text[0] == '~') return std::nullopt;  // tilde expansion
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\'') {
      const auto close = text.find('\'', i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      value.append(text.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (c == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) return std::nullopt;
        const char d = text[i];
        if (d == '"') break;
        if (d == '$' || d == '`') return std::nullopt;
        if (d == '\\' && i + 1 < text.size() &&
            std::string_view("$`\"\\").find(text[i + 1]) != std::string_view::npos) {
          value += text[i + 1];
          i += 2;
          continue;
        }
        value += d;
        ++i;
      }
      ++i;
    } else if (c == '\\') {
      if (i + 1 >= text.size()) return std::nullopt;  // continues on the next line
      value += text[i + 1];
      i += 2;
    } else if (is_blank(c) || c == ';') {
      break;
    } else if (std::string_view("$`()<>&|").find(c) != std::string_view::npos) {
      return std::nullopt;
    } else {
      value += c;
      ++i;
    }
  }
  while (i < text.size() && is_blank(text[i])) ++i;
  // "JAVA_HOME=/x cmd" sets it for cmd only.
  if (i < text.size() && text[i] != '#' && text[i] != ';') return std::nullopt;
  return value;
}

std::optional<std::string> java_home_assignment(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && is_blank(line[i])) ++i;
  line.remove_prefix(i);
  if (line.starts_with("export") && line.size() > 6 && is_blank(line[6])) {
    line.remove_prefix(6);
    while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
  }
  constexpr std::string_view name = "JAVA_HOME=";
  if (!line.starts_with(name)) return std::nullopt;
  return literal_word(line.substr(name.size()));
}

}  // namespace

std::optional<SparkEnvJava> spark_env_java_home(std::string_view contents) {
  std::optional<SparkEnvJava> found;
  bool in_pin = false;
  for (const std::string_view line : split_lines(contents)) {
    if (line == kPinBegin) {
      in_pin = true;
    } else if (line == kPinEnd) {
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
    if (line == kPinBegin) {
      in_pin = true;
    } else if (line == kPinEnd) {
      in_pin = false;
    } else if (in_pin) {
      if (auto value = java_home_assignment(line)) found = std::move(value);
    }
  }
  return found;
}

std::string without_java_pin(std::string_view contents) {
  std::string out;
  std::string held;  // lines after a begin marker, kept when no end marker follows
  bool in_pin = false;
  while (!contents.empty()) {
    const auto end = contents.find('\n');
    // Keep each kept line with its own line end, so CRLF files stay as they were.
    const std::string_view raw =
        end == std::string_view::npos ? contents : contents.substr(0, end + 1);
    contents.remove_prefix(raw.size());
    std::string_view line = raw;
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line == kPinBegin) {
      out.append(held);
      held.clear();
      in_pin = true;
    } else if (line == kPinEnd) {
      held.clear();
      in_pin = false;
    } else {
      (in_pin ? held : out).append(raw);
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
