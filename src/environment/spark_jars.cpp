#include "environment/spark_jars.h"

#include <algorithm>
#include <filesystem>

#include "util/text.h"

namespace plo {
namespace {

constexpr std::string_view kPackagesKey = "spark.jars.packages";

bool is_version_char(char c) {
  return (c >= '0' && c <= '9') || c == '.';
}

// The "major.minor" of a version text made of digits and dots ("2.12.18" -> "2.12").
std::optional<std::string> major_minor(std::string_view version) {
  const size_t first = version.find('.');
  if (first == std::string_view::npos || first == 0) return std::nullopt;
  const size_t second = version.find('.', first + 1);
  const std::string_view head = version.substr(0, second);
  if (head.size() == first + 1 || !std::all_of(head.begin(), head.end(), is_version_char)) {
    return std::nullopt;
  }
  return std::string(head);
}

// The words of a text as a POSIX shell splits them (quotes and backslashes), as Python's
// shlex.split does for PySpark; an unclosed quote ends the text.
std::vector<std::string> shell_words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
      continue;
    }
    in_word = true;
    if (c == '\\' && i + 1 < text.size()) {
      word += text[++i];
    } else if (c == '\'') {
      const size_t end = text.find('\'', i + 1);
      word += text.substr(i + 1, end == std::string_view::npos ? end : end - i - 1);
      i = end == std::string_view::npos ? text.size() : end;
    } else if (c == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size() &&
            std::string_view("\\\"$`").find(text[i + 1]) != std::string_view::npos) {
          ++i;
        }
        word += text[i];
      }
    } else {
      word += c;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

}  // namespace

SparkJars inspect_spark_jars(const std::string& jars_folder) {
  SparkJars jars;
  std::optional<std::string> core_scala;
  std::error_code error;
  std::filesystem::directory_iterator it(jars_folder, error);
  if (error) return jars;
  for (const auto& child : it) {
    const std::string name = child.path().filename().string();
    if (!name.ends_with(".jar")) continue;
    const std::string_view stem = std::string_view(name).substr(0, name.size() - 4);
    if (stem.starts_with("scala-library-")) {
      jars.scala = major_minor(stem.substr(14));
    } else if (stem.starts_with("spark-core_")) {
      core_scala = major_minor(stem.substr(11, stem.find('-', 11) - 11));
    } else if (stem.starts_with("hadoop-client-api-")) {
      const std::string_view version = stem.substr(18);
      if (!version.empty() && std::all_of(version.begin(), version.end(), is_version_char)) {
        jars.hadoop = std::string(version);
      }
    }
  }
  if (!jars.scala) jars.scala = core_scala;
  return jars;
}

std::vector<MavenPackage> parse_jar_packages(std::string_view list) {
  std::vector<MavenPackage> packages;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string_view entry = trim_blanks(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    const size_t first = entry.find(':');
    const size_t second = first == std::string_view::npos ? first : entry.find(':', first + 1);
    if (second == std::string_view::npos || entry.find(':', second + 1) != std::string_view::npos) {
      continue;
    }
    MavenPackage package{std::string(entry.substr(0, first)),
                         std::string(entry.substr(first + 1, second - first - 1)),
                         std::string(entry.substr(second + 1)), std::string(entry)};
    if (package.group.empty() || package.artifact.empty() || package.version.empty()) continue;
    packages.push_back(std::move(package));
  }
  return packages;
}

std::optional<std::string> scala_suffix(std::string_view artifact) {
  const size_t underscore = artifact.rfind('_');
  if (underscore == std::string_view::npos) return std::nullopt;
  const std::string_view suffix = artifact.substr(underscore + 1);
  if (!suffix.starts_with("2.") || suffix.size() < 3 ||
      !std::all_of(suffix.begin(), suffix.end(), is_version_char)) {
    return std::nullopt;
  }
  return std::string(suffix);
}

std::optional<std::string> spark_defaults_value(std::string_view conf, std::string_view key) {
  std::optional<std::string> value;
  while (!conf.empty()) {
    const size_t nl = conf.find('\n');
    const std::string_view line = trim_blanks(conf.substr(0, nl));
    conf = nl == std::string_view::npos ? std::string_view() : conf.substr(nl + 1);
    if (!line.starts_with(key)) continue;
    std::string_view rest = line.substr(key.size());
    if (rest.empty() || (rest[0] != ' ' && rest[0] != '\t' && rest[0] != '=' && rest[0] != ':')) {
      continue;
    }
    rest = trim_blanks(rest);
    if (!rest.empty() && (rest[0] == '=' || rest[0] == ':')) rest = trim_blanks(rest.substr(1));
    value = std::string(rest);
  }
  return value;
}

std::optional<std::string> submit_args_packages(std::string_view submit_args) {
  const std::vector<std::string> words = shell_words(submit_args);
  const std::string conf_prefix = std::string(kPackagesKey) + "=";
  // spark-submit takes --packages over a --conf of the same setting.
  std::optional<std::string> option, conf;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--packages" && i + 1 < words.size()) {
      option = words[++i];
    } else if (word.starts_with("--packages=")) {
      option = word.substr(11);
    } else if (word == "--conf" && i + 1 < words.size()) {
      if (words[i + 1].starts_with(conf_prefix)) conf = words[i + 1].substr(conf_prefix.size());
      ++i;
    } else if (word.starts_with("--conf=" + conf_prefix)) {
      conf = word.substr(7 + conf_prefix.size());
    }
  }
  return option ? option : conf;
}

}  // namespace plo
