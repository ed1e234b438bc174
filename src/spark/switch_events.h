#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "project/project_edit.h"
#include "spark/companion_moves.h"

namespace plo {

// How a switch ended, for its report.
struct SwitchResult {
  bool ok = false;
  // "installed", "already_installed", "rolled_back", "failed" or "refused".
  std::string outcome = {};
  std::optional<std::string> from = {};  // the version installed before
  std::string to = {};                   // the version asked for
  std::string package = "pyspark";       // the distribution installed
  std::string installer = {};            // "pip" or "uv"; empty where none was chosen
  std::string note = {};                 // a smoke-test failure that is no Java error
  std::string error = {};                // the installer's last error lines, or plo's reason
  std::vector<std::string> moved = {};   // companions moved with PySpark: "delta-spark 4.0.0"
};

// One thing a switch of PySpark did or found, in the order it happened. The executor emits
// them; the text renderer prints each as its lines, the JSON recorder keeps them as steps.
struct SwitchEvent {
  enum class Kind {
    Started,       // the install phase begins
    Resuming,      // a copy a plo run left is put back first (`unfinished`: its restore failed)
    KeptRestored,  // the kept files are back (`version`)
    KeptRestoreFailed,   // they could not be put back: `text` why, `folder` where they stay
    StaleCopyCleared,    // a left copy of `version` was of no more use
    AlreadyInstalled,    // `version` is installed: nothing to do
    Refused,             // nothing changes: `text` the reason, `lines` what mends it
    KeepFailed,          // the copy of `version` could not be made (`text` why): nothing changed
    Uninstalling,        // `version` is being removed
    Uninstalled,         // `ok`: removed; else `text` is the installer's reason or plo's error
    UninstallStopped,    // a failed uninstall ends the switch before any install
    Installing,          // `version` is being installed
    Installed,           // `ok`: the installer succeeded and import finds `version`; else `text`
    WrongPlace,          // import loads PySpark from `folder`, not from where it was installed
    RollingBack,         // back to `version`; `automatic` after a failed install
    RolledBack,          // `ok`: `version` is back (installed again); else the rollback failed
    Verified,            // the new `version` works: `ok`; else `text` is a note (no Java error)
    JavaError,           // the new `version` fails on this Java: `text`, `detail` (first line)
    ImportFailed,        // the new `version` cannot be imported: `text` the error line
    ClientImportFailed,  // the Spark Connect client cannot be imported: `text`
    Interrupted,  // stopped midway: `ok` when known, `version` installed now, `text` the mend
    Kept,         // the copy of the installed `version` is made
    Stopped,      // the switch ends here without a change (a question declined, a copy left)
    AdviseJavaSetFirst,   // the old version is back: switch Java before trying the new one
    AdviseJavaSetToFix,   // the new version stays: switch Java to use it
    AdviseChooseAnother,  // the new version cannot be imported and stays
    RollbackEnded,        // after a rollback that followed a failed check
    CompanionsPlanned,    // `moves`: the packages that move with PySpark to `version`, and why
    CompanionsLeft,       // `left`: what --keep-companions leaves that will not fit `version`
    CompanionsChecked,    // `ok`: `pip check` holds after the install; else `lines` what fails
    ProjectPlanned,       // `project`: what the project's own tool runs with the switch
    ProjectLeft,      // --no-project: `lines` the files that stay, `text` what will undo the switch
    ProjectChanged,   // `text` the command; `ok`, `lines` its output, `detail` why it failed
    ProjectRestored,  // `lines` the project's files put back byte for byte; else `text` why not
    Finished,         // `result` says how the switch ended
  };
  Kind kind;
  std::string version = {};
  std::string text = {};
  std::string detail = {};
  std::string folder = {};
  std::vector<std::string> lines = {};
  bool ok = false;
  bool unfinished = false;
  bool automatic = false;
  bool client = false;           // the Spark Connect client, checked by import instead of a session
  std::string major_minor = {};  // JavaError: the line, and its Java list as text
  std::string java_list = {};
  std::optional<SwitchResult> result = std::nullopt;  // Finished
  std::vector<CompanionMove> moves = {};              // CompanionsPlanned
  std::vector<CompanionVerdict> left = {};            // CompanionsLeft
  std::optional<ProjectEdit> project = std::nullopt;  // ProjectPlanned
};

// Where the executor's events go.
using SwitchSink = std::function<void(const SwitchEvent&)>;

}  // namespace plo
