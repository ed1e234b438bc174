#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// One master of a standalone master URL.
struct MasterAddress {
  std::string host;  // IPv6 hosts keep their brackets
  int port = 7077;
};

// The masters of "spark://H1[:P1],H2[:P2]...", in order, ports defaulting to 7077; nothing when the
// URL is not of that form.
std::optional<std::vector<MasterAddress>> parse_master_addresses(std::string_view master_url);

// What one master answered.
struct MasterProbeResult {
  MasterAddress address = {};
  bool connected = false;  // the master port accepted a TCP connection
  long connect_ms = 0;
  std::string connect_error = {};          // why not, when not connected
  std::optional<std::string> status = {};  // the web UI's /json/ status: ALIVE, STANDBY...
  std::optional<long> alive_workers = {};
  std::optional<long> cores = {};
  long ui_ms = 0;                           // how long /json/ took, when it answered
  std::optional<std::string> version = {};  // the Spark version, when found
  std::string version_source = {};          // "REST 6066" or "web UI 8080"
};

// Probes the masters of a cluster side by side; the seam that tests replace.
class MasterProbe {
 public:
  virtual ~MasterProbe() = default;

  // One result per master, in the given order, all within `budget`.
  virtual std::vector<MasterProbeResult> probe(const std::vector<MasterAddress>& masters,
                                               std::chrono::milliseconds budget) = 0;
};

// What a master's /json/ status page says: status, alive workers, cores. Nothing for an answer
// that is not such a page.
struct MasterStatus {
  std::string status;
  std::optional<long> alive_workers;
  std::optional<long> cores;
};
std::optional<MasterStatus> parse_master_status(std::string_view body);

}  // namespace plo
