#include "download/adoptium.h"

#include <sys/utsname.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <system_error>

#include "archive/sha256.h"
#include "probes/spark_connect_url.h"
#include "util/environment.h"
#include "util/text.h"

namespace plo {
namespace {

using nlohmann::json;

const json* member(const json& object, const char* name, json::value_t type) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(name);
  if (it == object.end()) return nullptr;
  if (type == json::value_t::number_unsigned) {
    return it->is_number_unsigned() ? &*it : nullptr;
  }
  return it->type() == type ? &*it : nullptr;
}

std::optional<std::string> text_of(const json& object, const char* name) {
  const json* value = member(object, name, json::value_t::string);
  if (!value) return std::nullopt;
  return value->get<std::string>();
}

std::optional<std::uint64_t> number_of(const json& object, const char* name) {
  const json* value = member(object, name, json::value_t::number_unsigned);
  if (!value) return std::nullopt;
  return value->get<std::uint64_t>();
}

bool plain_name(std::string_view text) {
  return !text.empty() && text.size() <= 32 && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
  });
}

// "21.0.5+11" from the version's numbers; nothing when one is missing or absurd.
std::optional<std::string> full_version_of(const json& version) {
  std::string text;
  for (const char* part : {"major", "minor", "security"}) {
    const auto n = number_of(version, part);
    if (!n || *n > 100000) return std::nullopt;
    text += (text.empty() ? "" : ".") + std::to_string(*n);
  }
  if (const auto patch = number_of(version, "patch"); patch && *patch > 0 && *patch <= 100000) {
    text += "." + std::to_string(*patch);
  }
  const auto build = number_of(version, "build");
  if (build && *build <= 100000) text += "+" + std::to_string(*build);
  return text;
}

}  // namespace

std::optional<std::string> adoptium_os() {
  utsname name{};
  if (::uname(&name) != 0) return std::nullopt;
  const std::string_view kernel = name.sysname;
  if (kernel == "Darwin") return "mac";
  if (kernel != "Linux") return std::nullopt;
  std::error_code error;
  if (std::filesystem::exists("/etc/alpine-release", error)) return "alpine-linux";
  return "linux";
}

std::optional<std::string> adoptium_architecture() {
  utsname name{};
  if (::uname(&name) != 0) return std::nullopt;
  const std::string_view machine = name.machine;
  if (machine == "x86_64" || machine == "amd64") return "x64";
  if (machine == "aarch64" || machine == "arm64") return "aarch64";
  if (machine.starts_with("armv7") || machine.starts_with("armv6")) return "arm";
  for (const char* same : {"ppc64le", "ppc64", "s390x", "riscv64"}) {
    if (machine == same) return same;
  }
  return std::nullopt;
}

std::string adoptium_base_url() {
  std::string base = non_empty_env("PLO_ADOPTIUM_URL").value_or("https://api.adoptium.net");
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}

std::string adoptium_latest_url(std::string_view base, int major, std::string_view os,
                                std::string_view architecture) {
  return std::string(base) + "/v3/assets/latest/" + std::to_string(major) +
         "/hotspot?architecture=" + std::string(architecture) +
         "&image_type=jdk&os=" + std::string(os) + "&vendor=eclipse";
}

std::string url_host(std::string_view url) {
  const auto scheme = url.find("://");
  if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
  url = url.substr(0, url.find_first_of("/?#"));
  if (const auto at = url.rfind('@'); at != std::string_view::npos) url.remove_prefix(at + 1);
  if (url.starts_with('[')) return std::string(url.substr(0, url.find(']') + 1));
  return std::string(url.substr(0, url.find(':')));
}

bool allowed_download_url(std::string_view url) {
  const std::string lower = to_lower(url.substr(0, 8));
  if (lower.starts_with("https://")) return !url_host(url).empty();
  return lower.starts_with("http://") && is_loopback_host(url_host(url));
}

JdkRelease parse_adoptium_answer(std::string_view body, int major, std::string_view os,
                                 std::string_view architecture) {
  const json answer = json::parse(body, nullptr, false);
  if (answer.is_discarded()) throw std::runtime_error("the answer is not JSON");
  if (!answer.is_array()) throw std::runtime_error("the answer is not a list of builds");
  std::string why = "the answer lists no build";
  for (const json& asset : answer) {
    const json* binary = member(asset, "binary", json::value_t::object);
    const json* package = binary ? member(*binary, "package", json::value_t::object) : nullptr;
    const json* version = member(asset, "version", json::value_t::object);
    if (!package || !version) {
      why = "a build lacks its package or version";
      continue;
    }
    // A mirror that ignores the query could list other builds: take only what was asked.
    if (text_of(*binary, "os").value_or(std::string(os)) != os ||
        text_of(*binary, "architecture").value_or(std::string(architecture)) != architecture ||
        text_of(*binary, "image_type").value_or("jdk") != "jdk" ||
        number_of(*version, "major") != static_cast<std::uint64_t>(major)) {
      why = "the answer lists no JDK " + std::to_string(major) + " for " + std::string(os) + " " +
            std::string(architecture);
      continue;
    }
    JdkRelease release;
    release.major = major;
    release.vendor = text_of(asset, "vendor").value_or("eclipse");
    if (!plain_name(release.vendor)) throw std::runtime_error("the build's vendor is not a name");
    const auto full = full_version_of(*version);
    if (!full) throw std::runtime_error("the build's version lacks its numbers");
    release.full_version = *full;
    release.release_name = text_of(asset, "release_name").value_or("jdk-" + *full);
    const auto link = text_of(*package, "link");
    const auto checksum = text_of(*package, "checksum");
    const auto size = number_of(*package, "size");
    release.package_name = text_of(*package, "name").value_or("");
    if (!link || !allowed_download_url(*link)) {
      throw std::runtime_error("the package's link is not an https URL");
    }
    if (!checksum || !looks_like_sha256(*checksum)) {
      throw std::runtime_error("the package has no SHA-256 checksum");
    }
    if (!size || *size == 0 || *size > kMaxJdkPackageBytes) {
      throw std::runtime_error("the package's size is missing or above 1 GiB");
    }
    if (!release.package_name.ends_with(".tar.gz")) {
      throw std::runtime_error("the package is not a .tar.gz archive");
    }
    release.link = *link;
    release.checksum = to_lower(*checksum);
    release.size = *size;
    return release;
  }
  throw std::runtime_error(why);
}

}  // namespace plo
