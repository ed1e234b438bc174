#include "spark/driver_tuning.h"

#include <filesystem>
#include <string_view>

#include "util/text.h"
#include "util/text_file.h"

namespace plo {
namespace {

constexpr std::string_view kDefaultOptionsKey = "spark.driver.defaultJavaOptions";
constexpr size_t kMaxConfBytes = 1 << 20;

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Whether the text selects a garbage collector (-XX:+UseG1GC, -XX:+UseZGC, ...): a second choice
// would stop the JVM with "Conflicting collector combinations".
bool chooses_collector(std::string_view text) {
  constexpr std::string_view kUse = "-XX:+Use";
  for (size_t at = text.find(kUse); at != std::string_view::npos; at = text.find(kUse, at + 1)) {
    size_t end = at + kUse.size();
    while (end < text.size() && is_name_char(text[end])) ++end;
    if (std::string_view(text.data() + at, end - at).ends_with("GC")) return true;
  }
  return false;
}

// Whether a line of spark-defaults.conf (a Java properties file) sets the key.
bool sets_default_options(std::string_view conf) {
  while (!conf.empty()) {
    const size_t nl = conf.find('\n');
    const std::string_view line = trim_blanks(conf.substr(0, nl));
    conf = nl == std::string_view::npos ? std::string_view() : conf.substr(nl + 1);
    if (!line.starts_with(kDefaultOptionsKey)) continue;
    const std::string_view rest = line.substr(kDefaultOptionsKey.size());
    if (rest.empty() || rest[0] == ' ' || rest[0] == '\t' || rest[0] == '=' || rest[0] == ':') {
      return true;
    }
  }
  return false;
}

std::optional<std::string> value_of(const std::vector<std::string>& environment,
                                    std::string_view name) {
  std::optional<std::string> found;
  for (const std::string& entry : environment) {
    if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
      found = entry.substr(name.size() + 1);
    }
  }
  return found;
}

std::string read_or_empty(const std::filesystem::path& path) {
  return read_file_prefix(path, kMaxConfBytes).value_or("");
}

}  // namespace

std::string driver_start_options(const DriverOptionSources& sources) {
  std::string options = "-XX:TieredStopAtLevel=1";
  const bool user_collector = chooses_collector(sources.submit_args.value_or("")) ||
                              chooses_collector(sources.spark_defaults) ||
                              chooses_collector(sources.other_options);
  if (!user_collector) options += " -XX:+UseSerialGC";
  return options;
}

std::optional<std::string> tuned_submit_args(const DriverOptionSources& sources) {
  const std::string user = sources.submit_args ? std::string(trim_blanks(*sources.submit_args))
                                               : std::string("pyspark-shell");
  if (!user.ends_with("pyspark-shell")) return std::nullopt;
  if (user.find(kDefaultOptionsKey) != std::string::npos) return std::nullopt;
  if (sets_default_options(sources.spark_defaults)) return std::nullopt;
  // PySpark splits the variable as a POSIX shell would: the quotes keep the options one word.
  return "--conf \"" + std::string(kDefaultOptionsKey) + "=" + driver_start_options(sources) +
         "\" " + user;
}

DriverOptionSources driver_option_sources(const std::vector<std::string>& environment,
                                          const std::optional<std::string>& pyspark_home) {
  DriverOptionSources sources;
  sources.submit_args = value_of(environment, "PYSPARK_SUBMIT_ARGS");
  std::optional<std::string> conf = value_of(environment, "SPARK_CONF_DIR");
  if (!conf || conf->empty()) {
    std::optional<std::string> home = value_of(environment, "SPARK_HOME");
    if (!home || home->empty()) home = pyspark_home;
    if (home) conf = *home + "/conf";
  }
  if (conf && !conf->empty()) {
    sources.spark_defaults = read_or_empty(std::filesystem::path(*conf) / "spark-defaults.conf");
    sources.other_options = read_or_empty(std::filesystem::path(*conf) / "spark-env.sh");
  }
  for (const char* name :
       {"SPARK_SUBMIT_OPTS", "JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "_JAVA_OPTIONS"}) {
    if (auto value = value_of(environment, name)) sources.other_options += "\n" + *value;
  }
  return sources;
}

}  // namespace plo
