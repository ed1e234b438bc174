#include "probes/cluster_responses.h"

#include <nlohmann/json.hpp>

#include "catalogue/versions.h"
#include "util/text.h"

namespace plo {
namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (lower(text[i]) != prefix[i]) return false;
  }
  return true;
}

// Whether a class attribute value holds `token` as one of its blank-separated words.
bool has_class_token(std::string_view classes, std::string_view token) {
  while (!classes.empty()) {
    while (!classes.empty() && is_space(classes.front())) classes.remove_prefix(1);
    size_t end = 0;
    while (end < classes.size() && !is_space(classes[end])) ++end;
    if (classes.substr(0, end) == token) return true;
    classes.remove_prefix(end);
  }
  return false;
}

// The value of the class attribute inside one tag's attribute text, or nothing.
std::optional<std::string_view> class_attribute(std::string_view attributes) {
  size_t i = 0;
  while (i < attributes.size()) {
    while (i < attributes.size() && (is_space(attributes[i]) || attributes[i] == '/')) ++i;
    const size_t name_start = i;
    while (i < attributes.size() && !is_space(attributes[i]) && attributes[i] != '=') ++i;
    const std::string_view name = attributes.substr(name_start, i - name_start);
    while (i < attributes.size() && is_space(attributes[i])) ++i;
    if (i >= attributes.size() || attributes[i] != '=') {
      if (i == name_start) ++i;  // never stall on a stray character
      continue;
    }
    ++i;
    while (i < attributes.size() && is_space(attributes[i])) ++i;
    std::string_view value;
    if (i < attributes.size() && (attributes[i] == '"' || attributes[i] == '\'')) {
      const char quote = attributes[i++];
      const size_t close = attributes.find(quote, i);
      if (close == std::string_view::npos) return std::nullopt;
      value = attributes.substr(i, close - i);
      i = close + 1;
    } else {
      const size_t start = i;
      while (i < attributes.size() && !is_space(attributes[i])) ++i;
      value = attributes.substr(start, i - start);
    }
    if (name.size() == 5 && starts_with_nocase(name, "class")) return value;
  }
  return std::nullopt;
}

std::optional<std::string> plain_version(std::string_view text) {
  text = trim_blanks(text);
  if (!looks_like_version(text)) return std::nullopt;
  return std::string(text);
}

}  // namespace

std::optional<std::string> parse_rest_version(std::string_view body) {
  const auto json = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) return std::nullopt;
  const auto field = json.find("serverSparkVersion");
  if (field == json.end() || !field->is_string()) return std::nullopt;
  return plain_version(field->get_ref<const std::string&>());
}

std::optional<std::string> parse_web_ui_version(std::string_view html) {
  size_t pos = 0;
  while ((pos = html.find('<', pos)) != std::string_view::npos) {
    std::string_view rest = html.substr(pos + 1);
    ++pos;
    if (!starts_with_nocase(rest, "span") || rest.size() < 5 ||
        !(is_space(rest[4]) || rest[4] == '>')) {
      continue;
    }
    const size_t tag_end = rest.find('>');
    if (tag_end == std::string_view::npos) return std::nullopt;
    // A "<" inside this tag starts no tag of its own: go on after it, so each byte is looked at
    // a bounded number of times.
    pos += tag_end + 1;
    const auto classes = class_attribute(rest.substr(4, tag_end - 4));
    if (!classes || !has_class_token(*classes, "version")) continue;
    const std::string_view content = rest.substr(tag_end + 1);
    const size_t close = content.find('<');
    if (close == std::string_view::npos) return std::nullopt;
    return plain_version(content.substr(0, close));
  }
  return std::nullopt;
}

}  // namespace plo
