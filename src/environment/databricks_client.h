#pragma once

#include <functional>
#include <memory>
#include <string>

#include "process/process_runner.h"

namespace plo {

// Whether the Databricks Connect client can be loaded; the seam that tests replace.
class DatabricksClient {
 public:
  virtual ~DatabricksClient() = default;

  // True when it loads, false when it (or a module it needs) is not installed; throws on any
  // other failure to load it.
  virtual bool available() = 0;
};

using DatabricksClientFactory = std::function<std::unique_ptr<DatabricksClient>()>;

// Asks the interpreter whether `from databricks.connect import DatabricksSession` succeeds.
class InterpreterDatabricksClient : public DatabricksClient {
 public:
  InterpreterDatabricksClient(ProcessRunner& runner, std::string interpreter)
      : runner_(runner), interpreter_(std::move(interpreter)) {}

  bool available() override;

 private:
  ProcessRunner& runner_;
  std::string interpreter_;
};

}  // namespace plo
