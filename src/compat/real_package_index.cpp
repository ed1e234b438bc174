#include "compat/real_package_index.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "catalogue/index_lines.h"
#include "compat/index_cache.h"
#include "environment/interpreter.h"
#include "environment/interpreter_cache.h"
#include "probes/simple_index.h"
#include "util/escape.h"
#include "util/secrets.h"
#include "util/verbosity.h"

namespace plo {
namespace {

constexpr std::string_view kDefaultIndex = "https://pypi.org/simple/";

// The root of the virtual or conda environment of the interpreter plo manages, whose pip.conf
// pip reads too; "" for an interpreter outside one (or none).
std::string environment_prefix() {
  try {
    const std::filesystem::path folder = std::filesystem::path(find_interpreter()).parent_path();
    std::error_code ignored;
    if (folder.filename() == "bin" &&
        (std::filesystem::exists(folder / "../pyvenv.cfg", ignored) ||
         std::filesystem::exists(folder / "../conda-meta", ignored))) {
      return folder.parent_path().string();
    }
  } catch (const std::exception&) {
    // No interpreter: only the user's and the system's files count.
  }
  return {};
}

// The final patches among the listed versions, each once.
std::vector<std::string> final_patches(const std::vector<std::string>& listed) {
  std::vector<std::string> patches;
  for (const std::string& text : listed) {
    if (auto patch = final_patch(text)) patches.push_back(std::move(*patch));
  }
  std::sort(patches.begin(), patches.end());
  patches.erase(std::unique(patches.begin(), patches.end()), patches.end());
  return patches;
}

// Whether the answer says it is PEP 691 JSON (an index may answer HTML instead). The last
// Content-Type counts: the headers of redirects come before the final answer's.
bool content_type_is_json(const HttpResponse& answer) {
  std::string_view type;
  for (const auto& [name, value] : answer.headers) {
    if (name == "content-type") type = value;
  }
  type = type.substr(0, type.find(';'));
  while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
  return type == kSimpleJsonType;
}

}  // namespace

RealPackageIndex::RealPackageIndex(HttpClient& http)
    : RealPackageIndex(http, {.pip_index = [] { return pip_index(environment_prefix()); },
                              .folder = interpreter_cache_folder,
                              .now = [] { return static_cast<int64_t>(std::time(nullptr)); }}) {}

const IndexListing& RealPackageIndex::pyspark_listing() {
  if (!listing_) listing_ = find();
  return *listing_;
}

IndexListing RealPackageIndex::find() {
  const PipIndex pip = in_.pip_index();
  const std::string url = pip.url.value_or(std::string(kDefaultIndex));
  IndexListing listing{.url = escape_controls(without_url_passwords(url))};
  const auto fall_back = [&](std::string why) {
    listing.source = IndexListing::Source::Catalogue;
    listing.why_not = std::move(why);
    return listing;
  };
  if (pip.no_index) {
    // The user's own setting, as for pip: no line unless -v asks for notes.
    listing.url.clear();
    listing.no_index = true;
    listing.why_not = "pip's no-index is set (" + escape_controls(*pip.no_index) + ")";
    verbose_note(catalogue_used_text(listing));
    return listing;
  }

  const auto folder = in_.folder();
  const auto file = folder ? std::optional(index_cache_file(*folder, url)) : std::nullopt;
  const int64_t now = in_.now();
  if (file) {
    if (auto kept = read_index_cache(*file, now)) {
      listing.source = IndexListing::Source::Cache;
      listing.versions = final_patches(*kept);
      return listing;
    }
  }

  std::string why_not;
  std::optional<HttpResponse> answer;
  try {
    http_.perform({HttpRequest{.url = project_page_url(url, "pyspark"),
                               .time_limit = kTimeLimit,
                               .headers = {"Accept: " + std::string(kSimpleJsonType)},
                               .want_headers = true,
                               .why_not = &why_not,
                               .follow_redirects = true}},
                  HttpClient::Clock::now() + kTimeLimit,
                  [&](size_t, const std::optional<HttpResponse>& a) {
                    answer = a;
                    return true;
                  });
  } catch (const std::exception& e) {
    // libcurl that cannot be loaded or started: as no answer.
    why_not = e.what();
  }
  if (!answer) {
    return fall_back(listing.url + " did not answer" +
                     (why_not.empty() ? std::string(" in time")
                                      : " (" + escape_controls(without_secrets(why_not)) + ")"));
  }
  if (answer->status != 200) {
    return fall_back(listing.url + " answered HTTP " + std::to_string(answer->status));
  }
  if (answer->truncated) return fall_back(listing.url + "'s answer is larger than 1 MiB");
  const auto listed =
      content_type_is_json(*answer) ? listed_versions(answer->body, "pyspark") : std::nullopt;
  if (!listed) return fall_back(listing.url + " answered no PEP 691 JSON page for pyspark");
  listing.source = IndexListing::Source::Index;
  listing.versions = final_patches(*listed);
  if (file) write_index_cache(*file, listing.versions, now);
  return listing;
}

}  // namespace plo
