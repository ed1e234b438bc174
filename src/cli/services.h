#pragma once

#include <memory>

#include "compat/real_compat_service.h"
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

  // What SparkTask needs, talking to the user through `console`; a switch uses `installer`.
  TaskServices spark(Console& console, InstallerRequest installer = {});
};

}  // namespace plo::cli
