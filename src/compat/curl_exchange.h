#pragma once

#include "compat/http_exchange.h"

namespace plo {

// HttpExchange on libcurl's multi interface: every request in flight at once, one deadline, the
// wait in ppoll with interrupts let through, bodies and headers capped. libcurl is loaded on the
// first batch.
class CurlHttpExchange : public HttpExchange {
 public:
  std::vector<HttpResult> perform(const std::vector<HttpRequest>& requests,
                                  std::chrono::milliseconds time_limit) override;

  static constexpr size_t kMaxBodyBytes = 1 << 20;
  static constexpr size_t kMaxHeaderBytes = 64 << 10;
};

}  // namespace plo
