#include "java/java_task.h"
#include "java/listing.h"
#include "util/escape.h"
#include "util/text.h"

namespace plo {
namespace {

// The Java to suggest when no PySpark says: the one every current PySpark line runs on.
constexpr int kDefaultJava = 17;

bool like(const Platform& p, std::string_view id) {
  if (p.id == id) return true;
  std::string_view rest = p.id_like;
  while (!rest.empty()) {
    const auto space = rest.find(' ');
    if (rest.substr(0, space) == id) return true;
    rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
  }
  return false;
}

}  // namespace

bool JavaTask::install_guide(std::optional<int> version) {
  Console& c = s_.console;
  heading("Java Installation Guide");
  const auto pyspark = s_.compat.get_pyspark_info();
  int java = kDefaultJava;
  if (version) {
    java = *version;
    c.echo("  Java " + std::to_string(java) + " (as asked)");
  } else if (pyspark && pyspark->java_recommended) {
    java = *pyspark->java_recommended;
    c.echo("  PySpark " + pyspark->version + " recommends Java " + std::to_string(java));
  } else if (pyspark) {
    c.echo("  No Java data for PySpark " + pyspark->version + "; Java " + std::to_string(java) +
           " runs most PySpark lines");
  } else {
    c.echo("  No PySpark installed; Java " + std::to_string(java) + " runs most PySpark lines");
  }
  if (pyspark && !pyspark->java_supported.empty()) {
    c.echo("  PySpark " + pyspark->version + " runs on Java " +
           java_list_text(pyspark->java_supported));
  }
  c.echo();

  const Platform platform = s_.platform();
  const std::string n = std::to_string(java);
  const std::string name =
      escape_controls(platform.pretty_name.empty() ? platform.kernel : platform.pretty_name);
  std::vector<std::string> commands;
  std::string tool;
  if (platform.kernel == "Darwin") {
    tool = "Homebrew";
    commands = {"brew install openjdk@" + n};
  } else if (like(platform, "debian") || like(platform, "ubuntu")) {
    tool = "apt";
    commands = {"sudo apt-get update", "sudo apt-get install openjdk-" + n + "-jdk-headless"};
  } else if (like(platform, "fedora") || like(platform, "rhel") || like(platform, "centos")) {
    tool = "dnf";
    commands = {"sudo dnf install java-" + n + "-openjdk-devel"};
  } else if (like(platform, "arch")) {
    tool = "pacman";
    commands = {"sudo pacman -S jdk" + n + "-openjdk"};
  }
  if (!commands.empty()) {
    c.echo("  On " + name + ", with " + tool + ":");
    for (const std::string& command : commands) c.echo("    " + command);
    if (tool == "apt") {
      c.echo("    (when your release has no openjdk-" + n + " package, use one of the ways below)");
    }
    c.echo();
  }
  c.echo(commands.empty() ? "  For your user:" : "  Or for your user, without root:");
  c.echo("    SDKMAN:  sdk install java <" + n + ".x.y>-tem   (names: sdk list java)");
  c.echo("    conda:   conda install -c conda-forge openjdk=" + n);
  c.echo();
  c.echo("  Then run 'plo java set " + n + "' to pin it for PySpark");
  c.echo();
  return true;
}

}  // namespace plo
