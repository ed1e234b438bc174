#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/requirements.h"

namespace plo {

// A distribution as its core metadata (METADATA, PKG-INFO) describes it.
struct DistributionMetadata {
  std::string name;  // normalised: "delta-spark"
  std::string version;
  std::vector<std::string> requires_dist = {};   // each Requires-Dist as written
  std::vector<std::string> provides_extra = {};  // normalised
  std::string location = {};                     // its dist-info folder where installed; else empty
};

// What an environment holds beside PySpark, read from its metadata.
struct InstalledBeside {
  // The distribution that provides `pyspark` (pyspark, else pyspark-client), where pip manages
  // one: its own requirements name the versions of pandas, numpy, pyarrow and grpcio its extras
  // need.
  std::optional<DistributionMetadata> pyspark;
  std::optional<std::string> py4j;  // the installed py4j's version
  // Every other distribution whose Requires-Dist names pyspark, pyspark-connect, pyspark-client
  // or py4j, and pandas, numpy, pyarrow and grpcio where installed; by name.
  std::vector<DistributionMetadata> candidates;
  MarkerEnvironment markers;  // this interpreter's marker values, `extra` left out
};

// The PySpark that companions are held against: the installed one, or one a switch plans.
struct PySparkTarget {
  std::string version;
  // Its own Requires-Dist and Provides-Extra where known (the installed one's metadata); a
  // planned version's may be left empty, and only the companions' own requirements and the
  // known limits are then held against it.
  std::vector<std::string> requires_dist = {};
  std::vector<std::string> provides_extra = {};
  // The py4j it comes with, where known: a companion's py4j requirement is held against it.
  std::optional<std::string> py4j = std::nullopt;
  // The distribution a fix pins to keep PySpark where it is ("pyspark", "pyspark-client"); empty
  // where none can be pinned (databricks-connect's own copy).
  std::string distribution = "pyspark";
};

// The installed PySpark as a target: its metadata's requirements and the installed py4j.
// `version` is the version import finds (nothing known: the metadata's).
PySparkTarget installed_target(const InstalledBeside& installed,
                               const std::optional<std::string>& version);

// A fit no metadata states, from plo's table (catalogue/data/companion_limits.cpp): a companion
// in `companion` does not work with a PySpark in `pyspark`.
struct KnownLimit {
  std::string package;      // normalised name: "pandas"
  std::string companion;    // its versions that break (a specifier set): ">=2"
  std::string pyspark;      // the PySpark versions they break: "<3.4"
  std::string requirement;  // what those PySpark versions need instead: "pandas<2"
  std::string reason;       // what breaks, for the user
  std::string source;       // where it is documented
};
extern const std::vector<KnownLimit> COMPANION_LIMITS;

// Delta Lake's own table: which delta-spark line runs on which Spark line.
struct DeltaLine {
  std::string delta;  // the delta-spark versions, a specifier set: ">=3.0,<3.4"
  std::string spark;  // the Spark line, major.minor: "3.5"
};
extern const std::vector<DeltaLine> DELTA_SPARK_LINES;
extern const std::string_view kDeltaLinesSource;

// The delta-spark versions Delta's table gives for a Spark line ("3.5" -> ">=3.0,<3.4"), or
// nothing for a line the table does not have.
std::optional<std::string> delta_versions_for(std::string_view spark_major_minor);

// How a companion stands against a PySpark.
enum class CompanionFit {
  Fits,
  DoesNotFit,  // a requirement in the metadata (the companion's, or PySpark's extras) fails
  KnownLimit,  // no metadata says so, but a row of COMPANION_LIMITS does
};

struct CompanionVerdict {
  std::string name;
  std::string version;
  CompanionFit fit = CompanionFit::Fits;
  // The requirement between the two: the failing one where it does not fit ("pyspark<3.6.0,
  // >=3.5.3", "numpy<2,>=1.15"), a known limit's ("pandas<2"), else the first that holds; empty
  // where nothing is required.
  std::string requirement = {};
  // Why it does not fit, starting with the companion: "delta-spark 3.3.0 requires
  // pyspark<3.6.0,>=3.5.3, not pyspark 4.0.1"; empty when it fits.
  std::string reason = {};
  std::string source = {};  // a known limit's source; else empty
  // What to install to make it fit, as requirements for one installer run, PySpark pinned where
  // the companion depends on it: {"delta-spark>=4.0,<4.1", "pyspark==4.0.1"}; empty when it fits.
  std::vector<std::string> fix = {};

  bool fits() const { return fit == CompanionFit::Fits; }
};

// One companion against a PySpark (installed or planned): its own requirements on pyspark,
// pyspark-connect, pyspark-client and py4j (markers evaluated in `markers` without an extra),
// then PySpark's requirements on it (under any of PySpark's extras), then the known limits.
// Versions are tested as `pip check` tests them (pre-releases admitted). Pure.
CompanionVerdict companion_verdict(const DistributionMetadata& companion,
                                   const PySparkTarget& target, const MarkerEnvironment& markers);

// The verdict of every companion in `installed` against `target`, by name: the candidates whose
// requirements name the PySpark family or py4j (where their markers hold), and pandas, numpy,
// pyarrow and grpcio where the target's requirements or the known limits name them. Pure: a
// switch calls it with the version it plans, before it changes anything.
std::vector<CompanionVerdict> companion_verdicts(const InstalledBeside& installed,
                                                 const PySparkTarget& target);

// The command that applies a verdict's fix with `python`'s pip, requirements quoted for a shell:
// `/venv/bin/python -m pip install 'pandas<2'`; empty when it fits.
std::string companion_fix_command(const std::string& python, const std::vector<std::string>& fix);

// Every failing verdict's fix as one installer run (each requirement once), or empty.
std::vector<std::string> combined_fix(const std::vector<CompanionVerdict>& verdicts);

}  // namespace plo
