#include <filesystem>
#include <system_error>

#include "environment/project_venv.h"
#include "project/pin_check.h"
#include "project/pin_files.h"
#include "project/project_edit.h"
#include "spark/spark_task.h"
#include "util/environment.h"

namespace plo {

namespace fs = std::filesystem;
using Kind = SwitchEvent::Kind;

namespace {

fs::path canonical_or_same(const fs::path& path) {
  std::error_code error;
  fs::path found = fs::weakly_canonical(path, error);
  return error ? path : found;
}

// Whether the environment at `prefix` is the one the project's tool syncs: uv's project
// environment (`.venv` or UV_PROJECT_ENVIRONMENT), or for Poetry an in-project `.venv` or one of
// the environments Poetry keeps for the project in its own folder.
bool is_project_environment(const fs::path& prefix, const fs::path& folder, bool poetry) {
  const fs::path here = canonical_or_same(prefix);
  if (const auto venv = project_venv(folder, non_empty_env("UV_PROJECT_ENVIRONMENT"))) {
    if (here == canonical_or_same(venv->folder)) return true;
  }
  if (!poetry) return false;
  if (here == canonical_or_same(folder / ".venv")) return true;
  std::optional<std::string> root = non_empty_env("POETRY_VIRTUALENVS_PATH");
  if (!root) {
    const auto cache = non_empty_env("XDG_CACHE_HOME");
    const auto home = non_empty_env("HOME");
    if (cache)
      root = *cache + "/pypoetry/virtualenvs";
    else if (home)
      root = *home + "/.cache/pypoetry/virtualenvs";
  }
  return root && here.parent_path() == canonical_or_same(*root);
}

}  // namespace

bool SparkTask::plan_project_for(SwitchAsked& asked, const std::optional<std::string>& from) {
  if (!s_.project_folder) return true;
  const PinTexts texts = gather_pin_texts(s_.project_folder());
  if (!texts.pyproject) return true;
  const fs::path folder = fs::path(texts.pyproject->first).parent_path();
  ProjectEditFacts facts{.pins = read_project_pins(texts),
                         .folder = folder.string(),
                         .uv = find_on_path("uv"),
                         .poetry = find_on_path("poetry")};
  const auto& lock = texts.uv_lock ? texts.uv_lock : texts.poetry_lock;
  if (lock) {
    facts.lock = lock->first;
    // Read again only where companions move: the lock may run to MiBs.
    if (!asked.companions.empty()) facts.locked_names = locked_package_names(lock->second);
  }
  // The interpreter's environment: <prefix>/bin/python.
  const fs::path prefix = fs::path(s_.interpreter()).parent_path().parent_path();
  facts.owns_environment = is_project_environment(prefix, folder, texts.poetry_lock.has_value());
  if (!facts.owns_environment) return true;
  try {
    facts.markers = interpreter_markers(s_.compat);
  } catch (const std::exception&) {
    // Without the interpreter's markers every pin counts.
  }
  std::vector<std::pair<std::string, std::string>> companions;
  for (const CompanionMove& move : asked.companions) {
    if (!move.to.empty()) companions.emplace_back(move.name, move.to);
  }
  ProjectEditPlan plan = plan_project_edit(facts, asked.version, companions);
  if (!plan.edit) return true;
  if (s_.no_project) {
    emit({.kind = Kind::ProjectLeft, .text = plan.edit->undone_by, .lines = plan.edit->files});
    return true;
  }
  if (plan.refusal) {
    emit({.kind = Kind::Refused, .text = *plan.refusal, .lines = plan.mend});
    finished_early(asked, from, false, "refused", *plan.refusal);
    return false;
  }
  emit({.kind = Kind::ProjectPlanned, .version = asked.version, .project = plan.edit});
  asked.project = std::move(plan.edit);
  return true;
}

}  // namespace plo
