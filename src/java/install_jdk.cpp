#include <nlohmann/json.hpp>

#include <algorithm>

#include "console/progress.h"
#include "java/install_report.h"
#include "java/java_task.h"
#include "java/listing.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {
namespace {

bool is_lts(int java) {
  return java == 8 || java == 11 || (java >= 17 && (java - 17) % 4 == 0);
}

// The newest LTS Java any PySpark line of the table runs on.
int newest_lts(const CompatTable& table) {
  int newest = 17;
  for (const auto& [line, record] : table) {
    for (const int java : record.supported) {
      if (is_lts(java)) newest = std::max(newest, java);
    }
  }
  return newest;
}

}  // namespace

bool JavaTask::install(const InstallOptions& options) {
  Console& c = s_.console;
  JdkInstaller& installer = *s_.installer;
  InstallReport report;
  const auto pyspark = s_.compat.get_pyspark_info();
  if (options.version) {
    report.major = *options.version;
    report.reason = "as asked";
  } else if (pyspark && pyspark->java_recommended) {
    report.major = *pyspark->java_recommended;
    report.reason = "recommended by PySpark " + pyspark->version;
  } else {
    report.major = newest_lts(s_.compat.pyspark_java_compatibility());
    report.reason = "the newest LTS PySpark runs on";
  }
  const std::string major = std::to_string(report.major);
  const auto fail = [&](const std::string& error) {
    report.error = error;
    if (options.json) {
      c.echo(install_report_json(report));
    } else {
      c.echo(c.style("  Error: " + escape_controls(error), Color::Red));
      c.echo();
    }
    return false;
  };
  if (!options.json) {
    heading("Install Java");
    c.echo("  Java " + major + " (" + escape_controls(report.reason) + ")");
  }

  JdkRelease release;
  try {
    release = installer.latest(report.major);
  } catch (const InstallError& e) {
    return fail(e.what());
  }
  report.release_name = release.release_name;
  report.full_version = release.full_version;
  report.vendor = release.vendor;
  report.checksum = release.checksum;
  if (!options.json) {
    c.echo("  Eclipse Temurin " + escape_controls(release.release_name) + " (" +
           byte_size_text(release.size) + ")");
  }

  if (const auto home = installer.installed_home(release)) {
    report.home = *home;
    report.already_installed = true;
    if (!options.json) {
      c.echo(c.style("  Already installed in " + escape_controls(*home), Color::Green));
      c.echo();
    }
  } else {
    if (!options.json) c.echo("  From " + escape_controls(release.link));
    ProgressLine progress(c);
    try {
      report.home = installer.install(release, [&](std::uint64_t received, std::uint64_t total) {
        if (!options.json) progress.update(received, total);
      });
    } catch (const InstallError& e) {
      return fail(e.what());
    }
    if (!options.json) {
      c.echo("  SHA-256 verified: " + release.checksum);
      c.echo(c.style("  Installed Java " + major + " in " + escape_controls(*report.home),
                     Color::Green));
      c.echo();
    }
  }

  if (!options.set) {
    if (options.json) {
      c.echo(install_report_json(report));
    } else {
      c.echo("  Run 'plo java set " + major + "' to pin it for PySpark");
      c.echo();
    }
    return true;
  }
  if (!pyspark) {
    return fail("PySpark is not installed: there is nothing to pin Java for");
  }
  const auto jdk = s_.java.inspect_home(*report.home);
  if (!jdk) return fail("the installed JDK has no executable bin/java");
  if (!options.json) return pin_jdk(*pyspark, *jdk, *report.home);
  if (fits_pyspark(*jdk, *pyspark) == false && !options.yes) {
    return fail("PySpark " + pyspark->major_minor + " requires Java " +
                java_list_text(pyspark->java_supported) + ": add --yes to pin Java " + major +
                " anyway");
  }
  s_.java.pin(*report.home);
  report.pinned = true;
  report.spark_env = s_.java.spark_env_file();
  c.echo(install_report_json(report));
  return true;
}

}  // namespace plo
