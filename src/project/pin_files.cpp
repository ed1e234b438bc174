#include "project/pin_files.h"

#include <algorithm>
#include <system_error>

#include "project/project_file.h"
#include "util/text_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// A lock of a large project runs to a few MiB; requirements files are small.
constexpr size_t kMaxLockBytes = 16 << 20;
constexpr size_t kMaxRequirementsBytes = 1 << 20;
// More requirements files than this in one folder are not a project's own.
constexpr size_t kMaxRequirementsFiles = 32;

std::optional<std::pair<std::string, std::string>> read_text(const fs::path& file,
                                                             size_t max_bytes) {
  FileContents contents = read_regular_file(file, max_bytes);
  if (contents.status != FileContents::Status::Ok) return std::nullopt;
  return std::make_pair(file.string(), std::move(contents.text));
}

bool is_requirements_name(const std::string& name) {
  return (name.starts_with("requirements") || name.starts_with("constraints")) &&
         name.ends_with(".txt");
}

// A uv workspace keeps one uv.lock at its root: the nearest one above a member's folder (within
// the repository), where it holds that member.
std::optional<std::pair<std::string, std::string>> workspace_lock(const fs::path& folder,
                                                                  const std::string& pyproject) {
  std::error_code error;
  for (fs::path at = folder; !fs::exists(at / ".git", error) && at.has_relative_path();) {
    at = at.parent_path();
    if (!fs::exists(at / "uv.lock", error)) continue;
    auto lock = read_text(at / "uv.lock", kMaxLockBytes);
    if (lock && lock_holds_project(lock->second, pyproject)) return lock;
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

PinTexts gather_pin_texts(const fs::path& start) {
  PinTexts texts;
  std::error_code error;
  fs::path folder = fs::absolute(start, error);
  if (error) return texts;
  if (const auto pyproject = find_project_file(folder, false)) {
    folder = pyproject->parent_path();
    texts.pyproject = read_text(*pyproject, kMaxProjectFileBytes);
  }
  texts.uv_lock = read_text(folder / "uv.lock", kMaxLockBytes);
  texts.poetry_lock = read_text(folder / "poetry.lock", kMaxLockBytes);
  if (texts.pyproject && !texts.uv_lock && !texts.poetry_lock) {
    texts.uv_lock = workspace_lock(folder, texts.pyproject->second);
  }
  std::vector<fs::path> names;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (is_requirements_name(it->path().filename().string())) names.push_back(it->path());
    if (names.size() > kMaxRequirementsFiles) break;
  }
  std::sort(names.begin(), names.end());
  for (const fs::path& name : names) {
    if (auto text = read_text(name, kMaxRequirementsBytes)) {
      texts.requirements.push_back(std::move(*text));
    }
  }
  return texts;
}

}  // namespace plo
