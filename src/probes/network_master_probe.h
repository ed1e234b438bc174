#pragma once

#include "probes/http_client.h"
#include "probes/master_probe.h"

namespace plo {

// MasterProbe over the network: for every master at once, a TCP connection to the master port,
// the web UI's /json/, the REST server's status answer (6066) and the web UI's page (8080).
class NetworkMasterProbe : public MasterProbe {
 public:
  explicit NetworkMasterProbe(HttpClient& http) : http_(http) {}

  std::vector<MasterProbeResult> probe(const std::vector<MasterAddress>& masters,
                                       std::chrono::milliseconds budget) override;

 private:
  HttpClient& http_;
};

}  // namespace plo
