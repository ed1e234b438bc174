#pragma once

#include <memory>

#include "compat/real_compat_service.h"
#include "compat/real_package_index.h"
#include "console/console.h"
#include "probes/http_client.h"
#include "probes/spark_connect_client.h"
#include "process/posix_runner.h"
#include "spark/spark_task.h"

namespace plo::cli {

// The real machine as every command group reaches it: one process runner, one HTTP client and
// the detection built on them, made once per run.
struct RealServices {
  PosixProcessRunner runner;
  CurlHttpClient http;
  RealCompatService compat{runner, http};
  GrpcSparkConnectClient spark_connect{http};
  RealPackageIndex package_index{http};

  // What SparkTask needs, talking to the user through `console`; a switch uses `installer`.
  TaskServices spark(Console& console, InstallerRequest installer = {});
};

// set-version's install of exactly `version` for sync and `runtimes use`: the smoke test starts
// `java_home` where it is given (the Java about to be pinned, which no pin decides yet), and the
// install gets services of its own, which see the pin as it is now and keep it.
bool install_pyspark_for_step(Console& console, const InstallerRequest& installer,
                              const std::string& version, const std::string& java_home, bool system,
                              bool keep_companions = false, bool no_project = false);

}  // namespace plo::cli
