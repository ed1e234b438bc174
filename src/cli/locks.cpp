#include "locks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "environment/interpreter.h"
#include "environment/interpreter_cache.h"
#include "util/escape.h"

namespace plo::cli {
namespace {

namespace fs = std::filesystem;

// Long enough for a second command typed right after the first, short enough not to look hung.
constexpr auto kPatience = std::chrono::seconds(5);

FileLock lock_for(const std::string& lock_path, const std::string& what) {
  try {
    return FileLock::acquire(lock_path, kPatience, [&] {
      const std::string line =
          "Waiting for another plo working on " + escape_controls(what) + "...\n";
      std::fputs(line.c_str(), stderr);
      std::fflush(stderr);
    });
  } catch (const LockError& e) {
    if (std::string_view(e.what()).starts_with("another plo")) {
      throw LockError(
          fmt::format("another plo is still working on {}; try again once it has finished", what));
    }
    throw;
  }
}

// /tmp/plo-<uid>, the user's own (made 0700; refused when someone else made it first).
fs::path private_temporary_folder() {
  const fs::path folder = fmt::format("/tmp/plo-{}", ::geteuid());
  ::mkdir(folder.c_str(), 0700);
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    throw LockError("cannot make a private folder for plo's lock at " + folder.string());
  }
  return folder;
}

// A lock file in plo's cache folder (else the private temporary one), named after a hash of `key`
// (FNV-1a of a path): "<kind>-<hash>.lock".
std::string lock_file_in_cache(std::string_view kind, std::string_view key) {
  fs::path locks;
  if (const auto cache = interpreter_cache_folder()) {
    locks = *cache / "locks";
    std::error_code error;
    fs::create_directories(locks, error);
  } else {
    locks = private_temporary_folder();
  }
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : key) hash = (hash ^ c) * 1099511628211ull;
  return (locks / fmt::format("{}-{:016x}.lock", kind, hash)).string();
}

// The root of the virtual or conda environment whose bin/ holds `executable`, if any.
std::optional<fs::path> environment_root(const fs::path& executable) {
  const fs::path folder = executable.parent_path();
  if (folder.filename() != "bin" || !folder.has_parent_path()) return std::nullopt;
  std::error_code ignored;
  if (fs::exists(folder.parent_path() / "pyvenv.cfg", ignored) ||
      fs::exists(folder.parent_path() / "conda-meta", ignored)) {
    return folder.parent_path();
  }
  return std::nullopt;
}

// What the interpreter a name leads to is, for its lock: the first environment along its chain of
// links (a venv's python links to the base interpreter, which is not the venv), else the real
// executable, whose folder Python derives sys.prefix from. Either way every name of one
// interpreter comes to one key.
struct LockTarget {
  std::optional<fs::path> root;  // a virtual or conda environment, as the name reaches it
  fs::path executable;           // the real executable otherwise
};

LockTarget lock_target(const std::string& interpreter) {
  std::error_code error;
  fs::path path = fs::absolute(interpreter, error).lexically_normal();
  for (int hops = 0; hops < 40; ++hops) {
    if (const auto root = environment_root(path)) return {root, path};
    if (!fs::is_symlink(path, error)) break;
    const fs::path target = fs::read_symlink(path, error);
    if (error) break;
    path = (target.is_absolute() ? target : path.parent_path() / target).lexically_normal();
  }
  const fs::path real = fs::weakly_canonical(path, error);
  return {std::nullopt, error || real.empty() ? fs::path(interpreter) : real};
}

}  // namespace

FileLock lock_environment(const std::string& interpreter) {
  const LockTarget target = lock_target(interpreter);
  // Only a virtual or conda environment gets the file at its root: /usr/.plo.lock would litter
  // the system's folders.
  if (target.root) {
    const std::string env = target.root->string();
    try {
      return lock_for((*target.root / ".plo.lock").string(), env);
    } catch (const LockError&) {
      // An environment the user cannot write to: use the cache folder.
      // A lock file that is there (a link to nowhere too) is refused, never worked around.
      std::error_code error;
      if (fs::symlink_status(*target.root / ".plo.lock", error).type() !=
          fs::file_type::not_found) {
        throw;
      }
    }
    std::error_code error;
    const fs::path real = fs::weakly_canonical(*target.root, error);
    return lock_for(lock_file_in_cache("python", real.empty() ? env : real.string()), env);
  }
  return lock_for(lock_file_in_cache("python", target.executable.string()), interpreter);
}

FileLock guard_environment_for_change() {
  if (const auto venv = stale_virtual_env()) {
    throw std::runtime_error("VIRTUAL_ENV names " + *venv +
                             ", which has no bin/python: activate an existing environment (or run "
                             "'deactivate'), or set PLO_PYTHON to the interpreter to change");
  }
  return lock_environment(find_interpreter());
}

void warn_if_stale_virtual_env() {
  const auto venv = stale_virtual_env();
  if (!venv) return;
  std::string line =
      "Warning: VIRTUAL_ENV names " + escape_controls(*venv) + ", which has no bin/python";
  try {
    line += "; using " + escape_controls(find_interpreter()) + " instead";
  } catch (const std::exception&) {
    // The command itself reports that no interpreter is found.
  }
  line += "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

FileLock lock_project_file(const std::string& pyproject_path) {
  return lock_for(lock_file_in_cache("pyproject", resolved_file_path(pyproject_path).string()),
                  pyproject_path);
}

FileLock lock_computes(const std::string& computes_path) {
  std::error_code error;
  fs::create_directories(fs::path(computes_path).parent_path(), error);
  // Beside the file the edit replaces, wherever a link at computes_path leads.
  const fs::path file = resolved_file_path(computes_path);
  fs::create_directories(file.parent_path(), error);
  return lock_for(file.string() + ".lock", computes_path);
}

}  // namespace plo::cli
