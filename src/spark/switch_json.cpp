#include <nlohmann/json.hpp>

#include "spark/switch_render.h"
#include "util/json_document.h"

namespace plo {
namespace {

using Kind = SwitchEvent::Kind;
using nlohmann::ordered_json;

ordered_json step(const char* name, const SwitchEvent& e) {
  ordered_json s = {{"step", name}};
  if (!e.version.empty()) s["version"] = e.version;
  s["ok"] = e.ok;
  return s;
}

ordered_json optional_text(const std::string& text) {
  return text.empty() ? ordered_json(nullptr) : ordered_json(text);
}

}  // namespace

void SwitchRecord::add(const SwitchEvent& e) {
  switch (e.kind) {
    case Kind::Resuming:
      steps_.push_back({{"step", "finish_restore"}, {"version", e.version}, {"ok", false}});
      break;
    case Kind::KeptRestored:
    case Kind::KeptRestoreFailed:
      if (!steps_.empty() && steps_.back()["step"] == "finish_restore") {
        steps_.back()["ok"] = e.kind == Kind::KeptRestored;
      } else {
        steps_.push_back(
            step("restore_kept",
                 {.kind = e.kind, .version = e.version, .ok = e.kind == Kind::KeptRestored}));
      }
      break;
    case Kind::Kept:
    case Kind::KeepFailed:
      steps_.push_back(step("keep", {.kind = e.kind, .version = e.version, .ok = e.ok}));
      break;
    case Kind::Uninstalled:
      steps_.push_back(step("uninstall", e));
      break;
    case Kind::Installed:
      steps_.push_back(step("install", e));
      break;
    case Kind::Verified: {
      ordered_json s = step("verify", {.kind = e.kind, .version = e.version, .ok = true});
      s["by"] = e.client ? "import" : "session";
      s["java_error"] = false;
      steps_.push_back(std::move(s));
      break;
    }
    case Kind::JavaError:
    case Kind::ImportFailed:
    case Kind::ClientImportFailed: {
      ordered_json s = step("verify", {.kind = e.kind, .version = e.version, .ok = false});
      s["by"] = e.kind == Kind::ClientImportFailed ? "import" : "session";
      s["java_error"] = e.kind == Kind::JavaError;
      steps_.push_back(std::move(s));
      break;
    }
    case Kind::RolledBack:
      steps_.push_back(step("rollback", e));
      break;
    case Kind::CompanionsPlanned:
      for (const CompanionMove& move : e.moves) {
        moves_.push_back({{"name", move.name},
                          {"from", move.from},
                          {"to", optional_text(move.to)},
                          {"requirement", move.requirement},
                          {"reason", move.reason}});
      }
      break;
    case Kind::CompanionsLeft:
      for (const CompanionVerdict& verdict : e.left) {
        left_.push_back({{"name", verdict.name},
                         {"version", verdict.version},
                         {"requirement", verdict.requirement},
                         {"reason", verdict.reason}});
      }
      break;
    case Kind::CompanionsChecked: {
      ordered_json s = {{"step", "check_companions"}, {"ok", e.ok}};
      if (!e.ok) s["conflicts"] = e.lines;
      steps_.push_back(std::move(s));
      break;
    }
    case Kind::ProjectPlanned:
      project_ = {ordered_json{{"tool", e.project->tool},
                               {"commands", e.project->shown},
                               {"files", e.project->files},
                               {"changed", false}}};
      break;
    case Kind::ProjectChanged: {
      ordered_json s = {{"step", "change_project"}, {"command", e.text}, {"ok", e.ok}};
      if (!e.ok) s["error"] = e.detail;
      steps_.push_back(std::move(s));
      break;
    }
    case Kind::ProjectRestored:
      steps_.push_back({{"step", "restore_project"}, {"ok", e.ok}});
      break;
    case Kind::Refused:
      refusal_ = e.text;
      break;
    case Kind::Finished:
      result_ = e.result;
      break;
    default:
      break;
  }
}

ordered_json SwitchRecord::project_document() const {
  if (project_.empty()) return nullptr;
  ordered_json project = project_.front();
  for (const ordered_json& s : steps_) {
    if (s["step"] == "change_project") project["changed"] = s["ok"].get<bool>();
    if (s["step"] == "restore_project" && s["ok"].get<bool>()) project["changed"] = false;
  }
  return project;
}

ordered_json SwitchRecord::document(const SwitchResult& fallback) const {
  SwitchResult r = result_.value_or(fallback);
  if (!result_) {
    r.ok = false;
    r.outcome = "refused";
    if (!refusal_.empty()) r.error = refusal_;
  }
  return json_document({{"ok", r.ok},
                        {"outcome", r.outcome},
                        {"from", r.from ? ordered_json(*r.from) : ordered_json(nullptr)},
                        {"to", optional_text(r.to)},
                        {"distribution", r.package},
                        {"installer", optional_text(r.installer)},
                        {"companions", moves_},
                        {"companions_left", left_},
                        {"project", project_document()},
                        {"steps", steps_},
                        {"note", optional_text(r.note)},
                        {"error", optional_text(r.error)}});
}

}  // namespace plo
