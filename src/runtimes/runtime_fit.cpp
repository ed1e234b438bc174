#include "runtimes/runtime_fit.h"

#include <algorithm>

#include "catalogue/python_support.h"
#include "catalogue/versions.h"

namespace plo {

bool version_fits(std::string_view local, std::string_view wanted) {
  if (is_full_patch(wanted)) return local == wanted;
  return major_minor_of(local) == wanted;
}

namespace {

FitRow pyspark_row(const ManagedRuntime& r, const LocalEnvironment& local) {
  FitRow row{"PySpark", std::nullopt, r.spark};
  if (local.pyspark) row.local = local.pyspark->version;
  row.ok = row.local && version_fits(*row.local, r.spark);
  if (!row.ok) row.fix = "plo spark set-version " + r.spark;
  return row;
}

FitRow python_row(const ManagedRuntime& r, const LocalEnvironment& local) {
  std::string wanted;
  for (const std::string& python : r.pythons) wanted += (wanted.empty() ? "" : ", ") + python;
  FitRow row{"Python", std::nullopt, wanted};
  if (local.python) row.local = python_major_minor(*local.python);
  row.ok =
      row.local && std::find(r.pythons.begin(), r.pythons.end(), *row.local) != r.pythons.end();
  // A new environment of the runtime's newest Python: the interpreter cannot be changed in place.
  if (!row.ok) row.fix = "uv venv --python " + r.pythons.back();
  return row;
}

FitRow java_row(const ManagedRuntime& r, const LocalEnvironment& local) {
  const std::string major = std::to_string(*r.java);
  FitRow row{"Java", std::nullopt, major};
  if (local.java) row.local = std::to_string(local.java->version);
  row.ok = local.java && local.java->version == *r.java;
  if (!row.ok) {
    const bool found = std::find(local.jdk_majors.begin(), local.jdk_majors.end(), *r.java) !=
                       local.jdk_majors.end();
    row.fix = (found ? "plo java set " : "plo java install ") + major;
  }
  return row;
}

FitRow delta_row(const ManagedRuntime& r, const LocalEnvironment& local) {
  FitRow row{"Delta", local.delta, r.delta};
  row.ok = version_fits(*local.delta, r.delta);
  if (!row.ok) {
    row.fix = is_full_patch(r.delta) ? "pip install delta-spark==" + r.delta
                                     : "pip install \"delta-spark==" + r.delta + ".*\"";
  }
  return row;
}

}  // namespace

RuntimeFit fit_runtime(const ManagedRuntime& runtime, const LocalEnvironment& local) {
  RuntimeFit fit{&runtime, {}, std::nullopt};
  if (!runtime.spark.empty()) fit.rows.push_back(pyspark_row(runtime, local));
  if (!runtime.pythons.empty()) fit.rows.push_back(python_row(runtime, local));
  if (runtime.java) fit.rows.push_back(java_row(runtime, local));
  if (!runtime.delta.empty() && local.delta) fit.rows.push_back(delta_row(runtime, local));
  if (!runtime.spark.empty() && !runtime.pythons.empty()) {
    const std::string line = major_minor_of(runtime.spark);
    if (const auto range = python_range(line)) {
      const std::string& newest = runtime.pythons.back();
      if (!python_fits(newest, *range)) {
        fit.python_note = "PySpark " + line + " declares Python " + range->min + " to " +
                          range->max + "; " + runtime.title + " runs " + newest;
      }
    }
  }
  return fit;
}

}  // namespace plo
