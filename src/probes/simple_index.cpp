#include "probes/simple_index.h"

#include <nlohmann/json.hpp>

#include <map>

namespace plo {
namespace {

using json = nlohmann::json;

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// PEP 503's normal form: lower case, every run of '-', '_' and '.' one '-'.
std::string normalized_name(std::string_view name) {
  std::string out;
  for (const char c : name) {
    if (c == '-' || c == '_' || c == '.') {
      if (out.empty() || out.back() != '-') out += '-';
    } else {
      out += lower(c);
    }
  }
  return out;
}

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The version in a distribution file's name of `project`: a wheel's second part, an sdist's name
// less the project and the extension; nothing for other files or another project's.
std::optional<std::string> file_version(std::string_view filename, std::string_view project) {
  std::string_view stem;
  if (ends_with(filename, ".whl")) {
    const size_t first = filename.find('-');
    if (first == std::string_view::npos) return std::nullopt;
    const size_t second = filename.find('-', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    if (normalized_name(filename.substr(0, first)) != project) return std::nullopt;
    return std::string(filename.substr(first + 1, second - first - 1));
  }
  for (const std::string_view extension : {".tar.gz", ".zip"}) {
    if (ends_with(filename, extension))
      stem = filename.substr(0, filename.size() - extension.size());
  }
  // The name of an sdist may itself hold dashes: the version follows the last one.
  const size_t dash = stem.rfind('-');
  if (stem.empty() || dash == std::string_view::npos) return std::nullopt;
  if (normalized_name(stem.substr(0, dash)) != project) return std::nullopt;
  return std::string(stem.substr(dash + 1));
}

}  // namespace

std::string project_page_url(std::string_view index_url, std::string_view project) {
  while (!index_url.empty() && index_url.back() == '/') index_url.remove_suffix(1);
  return std::string(index_url) + "/" + std::string(project) + "/";
}

std::optional<std::vector<std::string>> listed_versions(std::string_view body,
                                                        std::string_view project) {
  // The page is an object: anything else is refused before the parser walks it.
  const size_t first = body.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos || body[first] != '{') return std::nullopt;
  const json page = json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (!page.is_object()) return std::nullopt;
  const auto meta = page.find("meta");
  if (meta == page.end() || !meta->is_object()) return std::nullopt;
  const auto api = meta->find("api-version");
  if (api == meta->end() || !api->is_string() ||
      !api->get_ref<const std::string&>().starts_with("1."))
    return std::nullopt;
  const auto name = page.find("name");
  if (name == page.end() || !name->is_string() ||
      normalized_name(name->get_ref<const std::string&>()) != project) {
    return std::nullopt;
  }
  const auto files = page.find("files");
  if (files == page.end() || !files->is_array()) return std::nullopt;

  // Per version named by a file: whether one of its files is not yanked.
  std::map<std::string, bool, std::less<>> installable;
  for (const json& file : *files) {
    if (!file.is_object()) return std::nullopt;
    const auto filename = file.find("filename");
    if (filename == file.end() || !filename->is_string()) return std::nullopt;
    const auto version = file_version(filename->get_ref<const std::string&>(), project);
    if (!version) continue;
    // "yanked" is false, true, or the reason (a text): yanked.
    const auto yanked = file.find("yanked");
    const bool is_yanked = yanked != file.end() &&
                           ((yanked->is_boolean() && yanked->get<bool>()) || yanked->is_string());
    installable[*version] = installable[*version] || !is_yanked;
  }

  std::vector<std::string> versions;
  const auto listed = page.find("versions");
  if (listed != page.end()) {
    if (!listed->is_array()) return std::nullopt;
    for (const json& version : *listed) {
      if (!version.is_string()) return std::nullopt;
      const std::string& text = version.get_ref<const std::string&>();
      const auto found = installable.find(text);
      if (found == installable.end() || found->second) versions.push_back(text);
    }
    return versions;
  }
  for (const auto& [version, usable] : installable) {
    if (usable) versions.push_back(version);
  }
  return versions;
}

}  // namespace plo
