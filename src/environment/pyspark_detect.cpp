#include "environment/pyspark_detect.h"

#include <fmt/format.h>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>

#include "environment/distributions.h"
#include "util/text.h"
#include "util/text_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kProbeMarker{"plo-path-probe\0", 15};
constexpr auto kProbeTimeLimit = std::chrono::seconds(20);

// Compares distribution names the way packaging normalises them: case, "-", "_" and "." alike.
std::string normalized_name(std::string_view name) {
  std::string out;
  for (char c : name) {
    out += (c == '-' || c == '_' || c == '.')
               ? '-'
               : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

bool is_file(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// A version found on disk is shown to the user: refuse anything that is not a version text.
std::optional<std::string> plausible(std::optional<std::string> version) {
  if (version && looks_like_version(*version)) return version;
  return std::nullopt;
}

std::optional<std::string> version_from_distribution_info(const fs::path& folder) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) return std::nullopt;
  for (const auto& entry : it) {
    const std::string name = entry.path().filename().string();
    // "pyspark-3.5.1.dist-info", "pyspark.egg-info", "pyspark-3.3.4-py3.11.egg-info"
    const std::string stem = name.substr(0, name.rfind('.'));
    if (normalized_name(stem.substr(0, stem.find('-'))) != "pyspark") continue;
    fs::path metadata;
    if (name.ends_with(".dist-info")) {
      metadata = entry.path() / "METADATA";
    } else if (name.ends_with(".egg-info")) {
      metadata = is_file(entry.path()) ? entry.path() : entry.path() / "PKG-INFO";
    } else {
      continue;
    }
    if (auto contents = read_file_prefix(metadata)) {
      if (auto version = plausible(parse_pyspark_metadata(*contents))) return version;
    }
  }
  return std::nullopt;
}

}  // namespace

const std::string_view kPathProbeScript =
    "import os,sys;sys.stdout.buffer.write(b'plo-path-probe\\0'+b'\\0'.join("
    "os.fsencode(p) for p in sys.path if isinstance(p,str)))";

std::optional<std::vector<std::string>> parse_path_listing(std::string_view output) {
  // Site hooks may print before the probe does; its marker tells where its part starts.
  const auto marker = output.find(kProbeMarker);
  if (marker == std::string_view::npos) return std::nullopt;
  output.remove_prefix(marker + kProbeMarker.size());
  std::vector<std::string> entries;
  if (output.empty()) return entries;
  for (;;) {
    const auto end = output.find('\0');
    entries.emplace_back(output.substr(0, end));
    if (end == std::string_view::npos) break;
    output.remove_prefix(end + 1);
  }
  return entries;
}

std::optional<std::string> parse_pyspark_metadata(std::string_view metadata) {
  const auto headers = parse_metadata_headers(metadata);
  if (!headers || normalized_name(headers->name) != "pyspark" || headers->version.empty()) {
    return std::nullopt;
  }
  return headers->version;
}

std::optional<std::string> parse_version_module(std::string_view source) {
  while (!source.empty()) {
    const auto end = source.find('\n');
    std::string_view line = trim_blanks(source.substr(0, end));
    source = end == std::string_view::npos ? std::string_view() : source.substr(end + 1);
    if (!line.starts_with("__version__")) continue;
    line.remove_prefix(11);
    // An annotation may stand between the name and the "=": __version__: str = "3.5.1"
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view between = trim_blanks(line.substr(0, equals));
    if (!between.empty() && !between.starts_with(':')) continue;
    const std::string_view value = trim_blanks(line.substr(equals + 1));
    if (value.size() < 2 || (value.front() != '"' && value.front() != '\'')) continue;
    const auto close = value.find(value.front(), 1);
    if (close == std::string_view::npos) continue;
    return std::string(value.substr(1, close - 1));
  }
  return std::nullopt;
}

std::optional<FoundPySpark> find_pyspark(const std::vector<std::string>& import_path) {
  for (const std::string& entry : import_path) {
    const fs::path folder = entry.empty() ? fs::path(".") : fs::path(entry);
    if (!is_file(folder / "pyspark" / "__init__.py")) continue;
    std::error_code error;
    fs::path package = fs::absolute(folder / "pyspark", error).lexically_normal();
    if (error) package = folder / "pyspark";
    // This is the package that import would load; its version module is what __version__ reads.
    if (auto source = read_file_prefix(folder / "pyspark" / "version.py")) {
      if (auto version = plausible(parse_version_module(*source))) {
        return FoundPySpark{*version, package.string()};
      }
    }
    if (auto version = version_from_distribution_info(folder)) {
      return FoundPySpark{*version, package.string()};
    }
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::string> find_pyspark_version(const std::vector<std::string>& import_path) {
  if (auto found = find_pyspark(import_path)) return found->version;
  return std::nullopt;
}

std::string import_path_query_script() {
  // The version as Python writes its own ("3.13.0rc1"): a pre-release stays recognisable.
  // Site folders that do not exist yet are listed too: one that appears changes the import path.
  return "import os,site,sys;v=sys.version_info;"
         "sys.stdout.buffer.write(b'plo-python-version\\0'+('%d.%d.%d'%tuple(v[:3])+"
         "({'alpha':'a','beta':'b','candidate':'rc'}.get(v[3],'')+str(v[4]) "
         "if v[3]!='final' else '')).encode()+b'\\0');"
         "sys.stdout.buffer.write(b'plo-site-folders\\0'+b''.join(os.fsencode(p)"
         "+b'\\0' for p in [*site.getsitepackages(),*([site.getusersitepackages()] if "
         "site.ENABLE_USER_SITE else [])] if isinstance(p,str)));" +
         std::string(kPathProbeScript);
}

std::optional<std::string> parse_python_version(std::string_view output) {
  constexpr std::string_view kVersionMarker{"plo-python-version\0", 19};
  const auto start = output.find(kVersionMarker);
  if (start == std::string_view::npos) return std::nullopt;
  output.remove_prefix(start + kVersionMarker.size());
  const auto end = output.find('\0');
  if (end == std::string_view::npos || end == 0 || end > 32) return std::nullopt;
  const std::string_view version = output.substr(0, end);
  const bool plain = std::all_of(version.begin(), version.end(), [](char c) {
    return (c >= '0' && c <= '9') || c == '.' || (c >= 'a' && c <= 'z');
  });
  if (!plain || version.front() < '0' || version.front() > '9') return std::nullopt;
  return std::string(version);
}

std::vector<std::string> parse_site_folders(std::string_view output) {
  constexpr std::string_view kSiteMarker{"plo-site-folders\0", 17};
  const auto start = output.find(kSiteMarker);
  if (start == std::string_view::npos) return {};
  output.remove_prefix(start + kSiteMarker.size());
  output = output.substr(0, output.find(kProbeMarker));
  std::vector<std::string> folders;
  while (!output.empty()) {
    const auto end = output.find('\0');
    if (end == std::string_view::npos) break;  // cut short: not an entry
    folders.emplace_back(output.substr(0, end));
    output.remove_prefix(end + 1);
  }
  return folders;
}

ImportPathAnswer query_import_path(ProcessRunner& runner, const std::string& interpreter) {
  const ProcessResult result = runner.run(
      {.argv = {interpreter, "-c", import_path_query_script()}, .time_limit = kProbeTimeLimit});
  if (result.timed_out) {
    throw std::runtime_error(
        fmt::format("the Python interpreter {} did not answer within {} seconds", interpreter,
                    kProbeTimeLimit.count()));
  }
  if (result.out_cut) {
    // No honest import path fills a mebibyte; a listing cut short would name a wrong folder.
    throw std::runtime_error(fmt::format(
        "{} printed more than {} MiB when asked for its import path (cut there); set PLO_PYTHON "
        "to the Python whose PySpark plo should manage",
        interpreter, ProcessResult::kMaxCapturedBytes >> 20));
  }
  auto import_path = parse_path_listing(result.out);
  if (result.exit_code != 0 || !import_path) {
    throw std::runtime_error(fmt::format(
        "{} does not behave like a Python interpreter (exit status {}); set PLO_PYTHON to the "
        "Python whose PySpark plo should manage",
        interpreter, result.exit_code));
  }
  return {std::move(*import_path), parse_site_folders(result.out),
          parse_python_version(result.out)};
}

std::optional<PySparkInfo> pyspark_on_path(const std::vector<std::string>& import_path,
                                           const CompatTable& table) {
  auto found = find_pyspark(import_path);
  if (!found) return std::nullopt;

  PySparkInfo info{
      found->version, major_minor_of(found->version), {}, std::nullopt, found->location};
  if (const auto record = table.find(info.major_minor); record != table.end()) {
    info.java_supported = record->second.supported;
    info.java_recommended = record->second.recommended;
  }
  return info;
}

std::optional<PySparkInfo> detect_pyspark(ProcessRunner& runner, const std::string& interpreter,
                                          const CompatTable& table) {
  return pyspark_on_path(query_import_path(runner, interpreter).import_path, table);
}

}  // namespace plo
