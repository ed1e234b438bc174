#include "spark/switch_render.h"

#include "util/escape.h"
#include "util/text.h"

namespace plo {
namespace {

using Kind = SwitchEvent::Kind;

void print_java_error(Console& c, const SwitchEvent& e) {
  c.echo();
  c.echo(c.style("Java compatibility error: " + escape_controls(e.text), Color::Red));
  if (!e.detail.empty()) c.echo_err("  " + escape_controls(first_chars(e.detail, 400)));
  c.echo();
  c.echo("   This PySpark version doesn't work with your current Java.");
  c.echo("   PySpark " + e.major_minor + " requires Java " + e.java_list);
  c.echo();
}

void print_verified(Console& c, const SwitchEvent& e) {
  c.echo();
  c.echo(c.style("PySpark " + e.version + " installed successfully", Color::Green));
  if (e.client) {
    c.echo(c.style("  Import verified (Spark Connect client: no local Java needed)", Color::Green));
  } else {
    // The note is the output's own line: its line end is the output's, other controls are shown.
    c.echo(e.ok ? c.style("  Java compatibility verified", Color::Green)
                : c.style("  Note: " + escape_controls(trim_line_ends(e.text)), Color::Yellow));
  }
  c.echo();
}

// The packages beside PySpark go to standard error: the switch's own lines stay as they are.
void print_companions(Console& c, const SwitchEvent& e) {
  if (e.kind == Kind::CompanionsPlanned) {
    c.echo_err("Moving with PySpark " + e.version + " (they would not work with it):");
    for (const CompanionMove& move : e.moves) {
      c.echo_err("  " + escape_controls(move.name + " " + move.from + " -> " +
                                        (move.to.empty() ? move.requirement : move.to)));
      c.echo_err("    " + escape_controls(move.reason));
    }
  } else if (e.kind == Kind::CompanionsLeft) {
    c.echo_err(c.style(
        "Left as they are (--keep-companions), and will not work with PySpark " + e.version + ":",
        Color::Yellow));
    for (const CompanionVerdict& verdict : e.left)
      c.echo_err("  " + escape_controls(verdict.reason));
  } else if (e.ok) {
    c.echo_err(c.style("The packages beside PySpark fit it (pip check)", Color::Green));
  } else {
    c.echo_err(c.style("pip check fails after the install:", Color::Red));
    for (const std::string& line : e.lines) c.echo_err("  " + escape_controls(line));
  }
}

// The project's own tool and its files, on standard error like the companions.
void print_project(Console& c, const SwitchEvent& e) {
  switch (e.kind) {
    case Kind::ProjectPlanned:
      c.echo_err("The project keeps PySpark " + e.version + " too, through " + e.project->tool +
                 " (" + file_names(e.project->files) + "):");
      for (const std::string& line : e.project->shown) c.echo_err("  " + line);
      break;
    case Kind::ProjectLeft:
      c.echo_err(c.style("Warning: --no-project leaves " + file_names(e.lines) +
                             (e.lines.size() == 1 ? " as it is" : " as they are") + ": the next " +
                             e.text + " puts the old PySpark back",
                         Color::Yellow));
      break;
    case Kind::ProjectChanged:
      for (const std::string& line : e.lines) c.echo_err("  " + escape_controls(line));
      if (!e.ok) {
        c.echo_err(c.style("Could not change the project" +
                               (e.text.empty() ? std::string() : " (" + e.text + ")") + ": " +
                               escape_controls(e.detail),
                           Color::Red));
      }
      break;
    case Kind::ProjectRestored:
      if (e.ok) {
        c.echo_err(file_names(e.lines) +
                   (e.lines.size() == 1 ? " is back as it was" : " are back as they were"));
      } else {
        c.echo_err(
            c.style("Could not put back " + file_names(e.lines) + ": " + escape_controls(e.text),
                    Color::Red));
      }
      break;
    default:
      break;
  }
}

void print_interrupted(Console& c, const SwitchEvent& e) {
  if (!e.ok) {
    c.echo(c.style("  Could not tell which PySpark is installed now", Color::Yellow));
    return;
  }
  c.echo();
  c.echo(c.style(e.version.empty() ? std::string("  No PySpark is installed now")
                                   : "  PySpark " + e.version + " is installed now",
                 Color::Yellow));
  if (!e.text.empty()) {
    c.echo(c.style("  To restore PySpark " + e.detail + ", run: " + e.text, Color::Yellow));
  }
}

void print_kept_copy_events(Console& c, const SwitchEvent& e) {
  switch (e.kind) {
    case Kind::Resuming:
      c.echo(c.style(e.unfinished ? "  A plo run could not put PySpark " + e.version +
                                        " back: putting back its kept files now"
                                  : "  An interrupted plo run left PySpark " + e.version +
                                        " half removed: putting back its kept files",
                     Color::Yellow));
      break;
    case Kind::KeptRestored:
      c.echo(c.style("Restored PySpark " + e.version + " from the files kept before uninstalling",
                     Color::Green));
      break;
    case Kind::KeptRestoreFailed:
      c.echo(c.style("Could not restore PySpark from the kept files: " + escape_controls(e.text),
                     Color::Red));
      c.echo(c.style("  PySpark " + e.version + "'s files stay kept in " +
                         escape_controls(e.folder) +
                         ": the next 'plo spark set-version' puts them back first",
                     Color::Red));
      break;
    case Kind::StaleCopyCleared:
      c.echo(c.style("  Cleared the copy of PySpark " + e.version +
                         " that an interrupted plo run kept (PySpark was changed since)",
                     Color::Yellow));
      break;
    case Kind::KeepFailed:
      c.echo(c.style("  Could not keep a copy of PySpark " + e.version +
                         "'s files before uninstalling it: " + escape_controls(e.text),
                     Color::Red));
      c.echo("   Nothing was changed. Free some space (or make the environment writable), then");
      c.echo("   run 'plo spark set-version' again.");
      c.echo();
      break;
    default:
      break;
  }
}

void print_rollback_events(Console& c, const SwitchEvent& e) {
  switch (e.kind) {
    case Kind::CompanionsPlanned:
    case Kind::CompanionsLeft:
    case Kind::CompanionsChecked:
      print_companions(c, e);
      break;
    case Kind::ProjectPlanned:
    case Kind::ProjectLeft:
    case Kind::ProjectChanged:
    case Kind::ProjectRestored:
      print_project(c, e);
      break;
    case Kind::RollingBack:
      c.echo();
      c.echo(c.style(e.automatic ? "Rolling back to PySpark " + e.version + "..."
                                 : std::string("Rolling back..."),
                     Color::Yellow));
      break;
    case Kind::RolledBack:
      if (e.ok) {
        c.echo(c.style("Restored PySpark " + e.version, Color::Green));
      } else {
        c.echo(c.style(
            e.automatic ? "Rollback failed! Run 'plo spark set-version' again" : "Rollback failed!",
            Color::Red));
      }
      break;
    case Kind::AdviseJavaSetFirst:
      c.echo();
      c.echo("   To use the new version, first run:");
      c.echo("     plo java set");
      c.echo();
      break;
    case Kind::AdviseJavaSetToFix:
      c.echo();
      c.echo("   To fix this, run:");
      c.echo("     plo java set");
      c.echo();
      break;
    case Kind::AdviseChooseAnother:
      c.echo();
      c.echo("   Run 'plo spark set-version' to choose a version that works here");
      c.echo();
      break;
    case Kind::RollbackEnded:
      c.echo();
      break;
    default:
      break;
  }
}

void print_step_events(Console& c, const SwitchEvent& e) {
  switch (e.kind) {
    case Kind::Uninstalling:
      c.echo("  Uninstalling PySpark " + e.version + "...");
      break;
    case Kind::Uninstalled:
      if (e.ok) {
        c.echo(c.style("  Removed PySpark " + e.version, Color::Yellow));
      } else if (!e.text.empty()) {
        c.echo(c.style("  Error uninstalling: " + escape_controls(e.text), Color::Red));
      } else {
        c.echo(c.style("  Warning: Could not uninstall PySpark", Color::Yellow));
      }
      break;
    case Kind::UninstallStopped:
      c.echo(c.style("Failed to uninstall current PySpark", Color::Red));
      break;
    case Kind::Installing:
      c.echo("  Installing PySpark " + e.version + "...");
      break;
    case Kind::WrongPlace:
      c.echo(c.style("  import pyspark loads it from " + escape_controls(e.folder) + ", not from " +
                         escape_controls(e.text),
                     Color::Red));
      break;
    case Kind::Installed:
      c.echo();
      if (!e.ok) c.echo(c.style("Failed to install PySpark " + e.version, Color::Red));
      break;
    default:
      break;
  }
}

}  // namespace

void print_switch_event(Console& c, const SwitchEvent& e) {
  switch (e.kind) {
    case Kind::Started:
      c.echo();
      c.echo(c.style("Installing PySpark...", Color::Cyan, true));
      c.echo();
      break;
    case Kind::AlreadyInstalled:
      c.echo();
      c.echo(c.style("PySpark " + e.version + " is already installed", Color::Green));
      c.echo();
      break;
    case Kind::Refused:
      c.echo(c.style("  " + escape_controls(e.text), Color::Red));
      for (const std::string& line : e.lines) c.echo("   " + escape_controls(line));
      c.echo();
      break;
    case Kind::Stopped:
      c.echo();
      break;
    case Kind::Verified:
      print_verified(c, e);
      break;
    case Kind::JavaError:
      print_java_error(c, e);
      break;
    case Kind::ImportFailed:
      c.echo();
      c.echo(c.style("PySpark " + e.version +
                         " cannot be imported: " + escape_controls(first_chars(e.text, 400)),
                     Color::Red));
      c.echo();
      for (const std::string& line : e.lines) {
        c.echo("   " + line);
        c.echo();
      }
      break;
    case Kind::ClientImportFailed:
      c.echo();
      c.echo(c.style("PySpark " + e.version + " cannot be imported: " + escape_controls(e.text),
                     Color::Red));
      c.echo();
      break;
    case Kind::Interrupted:
      print_interrupted(c, e);
      break;
    case Kind::Kept:
    case Kind::Finished:
      break;
    default:
      print_kept_copy_events(c, e);
      print_rollback_events(c, e);
      print_step_events(c, e);
      break;
  }
}

}  // namespace plo
