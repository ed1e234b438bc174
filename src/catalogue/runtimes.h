#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// One managed runtime (a Glue version, an EMR release, a Dataproc Serverless runtime, a
// Databricks runtime, a Fabric or Synapse runtime) as its vendor publishes it. A field the
// vendor's page does not give is empty.
struct ManagedRuntime {
  std::string platform;  // "glue", "emr", "dataproc", "databricks", "fabric", "synapse"
  std::string name;      // "glue-5.0", what users type
  std::string title;     // "AWS Glue 5.0", what plo shows
  // The Apache Spark it runs: a full patch ("3.5.4"), or a line ("2.4") where the vendor names
  // only that; empty where the page names none.
  std::string spark;
  std::string spark_build;           // the vendor's own label where it differs ("3.5.5-amzn-1")
  std::string scala;                 // "2.12.18"
  std::vector<std::string> pythons;  // the Python the jobs run, "major.minor", oldest first
  std::optional<int> java;           // the Java feature release
  std::string delta;                 // the bundled Delta Lake ("3.3.0", or a line "3.2")
  std::string released;              // "2025-05-09"
  std::string end_of_support;        // "2028-05-09"
  std::vector<std::string> sources;  // the vendor pages the row was read from, first the main one
  std::string checked;               // when the row was last compared with those pages
};

// Every managed runtime plo knows, grouped by platform (in runtime_platforms' order), newest
// first within each platform.
const std::vector<ManagedRuntime>& managed_runtimes();

// The platforms, in the order plo lists them.
const std::vector<std::string>& runtime_platforms();

// How a platform is shown: "AWS Glue" for "glue"; the name itself for one plo does not know.
std::string platform_title(std::string_view platform);

// The runtime a name stands for: a row's name (any letter case), or for Databricks a cluster's
// runtime key ("16.4.x-scala2.12") or line ("16.4"). Nothing for a name no row has.
const ManagedRuntime* find_runtime(std::string_view name);

// Whether a version text is a full patch "X.Y.Z" rather than a line.
bool is_full_patch(std::string_view version);

// The Spark of a Databricks runtime major whose every release ships the same Spark line, where no
// row names the runtime itself ("19.1" -> "4.2.0"); nothing for other majors.
std::optional<std::string> databricks_major_spark(int major);

}  // namespace plo
