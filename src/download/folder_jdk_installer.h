#pragma once

#include "download/jdk_installer.h"
#include "probes/http_client.h"
#include "process/process_runner.h"

namespace plo {

// JDKs from the Adoptium API (or the mirror PLO_ADOPTIUM_URL names) in
// ${XDG_DATA_HOME:-~/.local/share}/plo/jdks, one folder per build, changed under a lock on the
// folder's `.lock` against a second plo. A JDK is moved into place only once its bin/java
// answers `-version` (run through `runner`).
class FolderJdkInstaller : public JdkInstaller {
 public:
  FolderJdkInstaller(HttpClient& http, ProcessRunner& runner) : http_(http), runner_(runner) {}

  std::string folder() override;
  JdkRelease latest(int major) override;
  std::optional<std::string> installed_home(const JdkRelease& release) override;
  std::string install(const JdkRelease& release, const OnProgress& progress) override;
  std::vector<std::string> installed() override;
  void remove(const std::string& home) override;

  // How long the API may take to answer, and a download in all (a 200 MB JDK at 1 Mbit/s).
  static constexpr std::chrono::seconds kApiTimeLimit{20};
  static constexpr std::chrono::seconds kDownloadTimeLimit{3600};
  // A download that receives nothing for this long has stalled.
  static constexpr std::chrono::seconds kStallLimit{30};

 private:
  HttpClient& http_;
  ProcessRunner& runner_;
};

}  // namespace plo
