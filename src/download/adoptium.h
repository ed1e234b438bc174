#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plo {

// One JDK build the Adoptium API offers: its package and the release it belongs to.
struct JdkRelease {
  int major = 0;
  std::string vendor;        // "eclipse"
  std::string full_version;  // "21.0.5+11", from the version's numbers
  std::string release_name;  // "jdk-21.0.5+11", as the API names it (shown, never a path)
  std::string link;          // the package's download URL (https, or http to loopback)
  std::string checksum;      // its SHA-256, lower-case hex
  std::uint64_t size = 0;    // its announced size in bytes
  std::string package_name;  // "OpenJDK21U-jdk_x64_linux_hotspot_21.0.5_11.tar.gz"

  // The folder plo installs it in, under its JDK folder: "eclipse-21.0.5+11".
  std::string folder_name() const { return vendor + "-" + full_version; }
};

// The largest package plo downloads.
inline constexpr std::uint64_t kMaxJdkPackageBytes = std::uint64_t{1} << 30;

// The API's name for this machine's OS ("linux", "mac", "alpine-linux") and architecture ("x64",
// "aarch64", ...), or nothing where it has none.
std::optional<std::string> adoptium_os();
std::optional<std::string> adoptium_architecture();

// The base URL of the API: PLO_ADOPTIUM_URL (a mirror) or https://api.adoptium.net, without a
// trailing slash.
std::string adoptium_base_url();

// The URL asking for the latest GA JDK of `major` for that OS and architecture.
std::string adoptium_latest_url(std::string_view base, int major, std::string_view os,
                                std::string_view architecture);

// Whether plo may fetch from the URL: https, or http to a loopback address.
bool allowed_download_url(std::string_view url);

// The URL's host, as shown in errors ("api.adoptium.net", "127.0.0.1").
std::string url_host(std::string_view url);

// The build of `major` for that OS and architecture in the API's answer (a JSON list of assets).
// Throws std::runtime_error saying what is wrong with the answer.
JdkRelease parse_adoptium_answer(std::string_view body, int major, std::string_view os,
                                 std::string_view architecture);

}  // namespace plo
