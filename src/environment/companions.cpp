#include "environment/companions.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "catalogue/versions.h"
#include "environment/distributions.h"
#include "util/text.h"

namespace plo {
namespace {

// The headers come first in a metadata file; its long description after them is not read.
constexpr size_t kMaxHeaderBytes = 64 * 1024;

// Whether a distribution names PySpark or py4j among its requirements (markers aside: the
// verdict weighs them).
bool requires_pyspark_or_py4j(const MetadataHeaders& headers) {
  return std::any_of(headers.requires_dist.begin(), headers.requires_dist.end(),
                     [](const std::string& line) {
                       const auto requirement = parse_requirement(line);
                       if (!requirement) return false;
                       const std::string& name = requirement->name;
                       return name == "pyspark" || name == "pyspark-connect" ||
                              name == "pyspark-client" || name == "py4j";
                     });
}

// A name as packaging allows it: letters, digits, ".", "-", "_" (nothing a terminal would act on).
bool is_plain_name(std::string_view name) {
  return !name.empty() && name.size() <= 128 && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
  });
}

bool is_extra_package(std::string_view name) {
  return name == "pandas" || name == "numpy" || name == "pyarrow" || name == "grpcio";
}

}  // namespace

InstalledBeside find_companions(const std::vector<std::string>& import_path,
                                MarkerEnvironment markers) {
  InstalledBeside found;
  found.markers = std::move(markers);
  std::optional<DistributionMetadata> client;
  std::set<std::string> seen;
  for_each_distribution_entry(import_path, [&](const std::filesystem::path& entry,
                                               const std::string&, const std::string&) {
    const auto headers = read_metadata_headers(entry, kMaxHeaderBytes);
    if (!headers || !is_plain_name(headers->name)) return;
    DistributionMetadata metadata{normalized_name(headers->name),
                                  looks_like_version(headers->version) ? headers->version : "",
                                  headers->requires_dist, headers->provides_extra, entry.string()};
    if (!seen.insert(metadata.name).second) return;  // import takes the first
    if (metadata.name == "py4j") {
      found.py4j = metadata.version;
    } else if (metadata.name == "pyspark") {
      found.pyspark = std::move(metadata);
    } else if (metadata.name == "pyspark-client") {
      client = std::move(metadata);
    } else if (std::find(kPySparkDistributionNames.begin(), kPySparkDistributionNames.end(),
                         metadata.name) == kPySparkDistributionNames.end() &&
               (is_extra_package(metadata.name) || requires_pyspark_or_py4j(*headers))) {
      found.candidates.push_back(std::move(metadata));
    }
  });
  if (!found.pyspark) found.pyspark = std::move(client);
  std::sort(found.candidates.begin(), found.candidates.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  return found;
}

MarkerEnvironment marker_environment(const std::optional<std::string>& python_version) {
  MarkerEnvironment markers = {{"os_name", "posix"},
                               {"platform_python_implementation", "CPython"},
                               {"implementation_name", "cpython"}};
  struct utsname name {};
  if (::uname(&name) == 0) {
    markers["platform_system"] = name.sysname;
    markers["sys_platform"] = to_lower(name.sysname);  // "linux", "darwin"
    markers["platform_release"] = name.release;
    markers["platform_version"] = name.version;
    markers["platform_machine"] = name.machine;
  }
  if (python_version) {
    markers["python_full_version"] = *python_version;
    markers["implementation_version"] = *python_version;
    markers["python_version"] = major_minor_of(*python_version);
  }
  return markers;
}

}  // namespace plo
