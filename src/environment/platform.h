#pragma once

#include <string>
#include <string_view>

namespace plo {

// The operating system, as the Java install guide needs it.
struct Platform {
  std::string kernel;   // uname's sysname: "Linux", "Darwin"
  std::string id;       // /etc/os-release ID: "debian", "ubuntu", "fedora", "arch"
  std::string id_like;  // its ID_LIKE: "debian", "rhel fedora"
  std::string pretty_name;
};

// ID, ID_LIKE and PRETTY_NAME of an os-release file (quoted or not).
Platform parse_os_release(std::string_view contents);

// This machine: uname and /etc/os-release (else /usr/lib/os-release).
Platform detect_platform();

}  // namespace plo
