#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "compat/package_index.h"
#include "environment/pip_config.h"
#include "probes/http_client.h"

namespace plo {

// The index pip would use (PIP_INDEX_URL, pip's configuration files, else PyPI), asked for its
// PEP 691 JSON page of pyspark (never a package) and its answer kept a day in plo's cache folder.
// No index (pip's no-index: a note with -v), no answer in time, or an answer that is no such page:
// plo's table.
class RealPackageIndex : public PackageIndex {
 public:
  // What the listing depends on, replaceable for tests.
  struct Inputs {
    std::function<PipIndex()> pip_index;                           // pip's settings
    std::function<std::optional<std::filesystem::path>()> folder;  // the cache's; nothing: none
    std::function<int64_t()> now;                                  // seconds since the epoch
  };

  explicit RealPackageIndex(HttpClient& http);
  RealPackageIndex(HttpClient& http, Inputs inputs) : http_(http), in_(std::move(inputs)) {}

  const IndexListing& pyspark_listing() override;

  // The index's answer may take this long at most, over the whole wait.
  static constexpr std::chrono::milliseconds kTimeLimit{3000};

 private:
  IndexListing find();

  HttpClient& http_;
  Inputs in_;
  std::optional<IndexListing> listing_;
};

}  // namespace plo
