#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "download/adoptium.h"

namespace plo {

// Why a JDK could not be found, downloaded or installed; what() says it for the user.
class InstallError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// plo's own JDK folder and the API that fills it: what `plo java install` and `uninstall` reach
// the world through.
class JdkInstaller {
 public:
  // Told of the bytes received so far of `total`.
  using OnProgress = std::function<void(std::uint64_t received, std::uint64_t total)>;

  virtual ~JdkInstaller() = default;

  // The folder plo installs JDKs in.
  virtual std::string folder() = 0;

  // The latest GA build of `major` for this machine. Throws InstallError.
  virtual JdkRelease latest(int major) = 0;

  // The Java home of that release when plo installed it already.
  virtual std::optional<std::string> installed_home(const JdkRelease& release) = 0;

  // Downloads the release, checks its size and SHA-256, unpacks it beside its place, checks the
  // JDK and moves it into place; returns its Java home. Leaves nothing behind when it fails
  // (InstallError) or is interrupted.
  virtual std::string install(const JdkRelease& release, const OnProgress& progress) = 0;

  // The Java homes of the JDKs plo installed.
  virtual std::vector<std::string> installed() = 0;

  // Removes the JDK whose Java home is `home`, one of installed(). Throws InstallError.
  virtual void remove(const std::string& home) = 0;
};

}  // namespace plo
