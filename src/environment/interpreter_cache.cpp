#include "environment/interpreter_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <set>

#include "util/text_file.h"
namespace plo {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMagic = "plo-interpreter-cache";
constexpr size_t kMaxFileBytes = 1 << 20;
constexpr size_t kMaxTrackedFiles = 4096;
constexpr size_t kMaxPthBytes = 64 << 10;

// The variables that shape sys.path; HOME places the user site folder.
constexpr const char* kPathVariables[] = {
    "PYTHONPATH",     "PYTHONHOME",       "PYTHONSAFEPATH", "PYTHONNOUSERSITE",
    "PYTHONUSERBASE", "PYTHONPLATLIBDIR", "HOME",
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Everything that decides an interpreter's answer, each as a text compared for equality.
struct Inputs {
  std::string interpreter;  // absolute, as invoked: a venv's python differs from its target
  std::string real_path;
  Pairs variables;  // name, "-" when unset or "=" and the value
  std::optional<std::string> cwd;
  Pairs files;  // path, its state
};

int64_t nanoseconds(const timespec& t) {
  return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// A file's identity, size and times, or why it cannot be seen. `newest` keeps the latest change.
std::string file_state(const std::string& path, int64_t* newest = nullptr) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return fmt::format("-{}", errno);
  if (newest) {
    *newest = std::max({*newest, nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)});
  }
  return fmt::format("{}:{}:{:o}:{}:{}:{}", info.st_dev, info.st_ino, info.st_mode, info.st_size,
                     nanoseconds(info.st_mtim), nanoseconds(info.st_ctim));
}

Pairs variable_states() {
  Pairs states;
  for (const char* name : kPathVariables) {
    const char* value = std::getenv(name);
    states.emplace_back(name, value ? "=" + std::string(value) : "-");
  }
  return states;
}

std::optional<std::string> current_folder() {
  char buffer[PATH_MAX];
  if (!::getcwd(buffer, sizeof buffer)) return std::nullopt;
  return std::string(buffer);
}

std::optional<std::string> real_path_of(const std::string& path) {
  char buffer[PATH_MAX];
  if (!::realpath(path.c_str(), buffer)) return std::nullopt;
  return std::string(buffer);
}

// A script's interpreter is whatever its text says: only a binary is keyed by its own file.
bool is_script(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return true;
  char head[2] = {};
  const ssize_t got = ::read(fd, head, sizeof head);
  ::close(fd);
  return got != 2 || (head[0] == '#' && head[1] == '!');
}

// Where the answer depends on the folder plo runs in: relative entries, or the folder itself on
// the path (a customize hook that adds it).
bool depends_on_cwd(const ImportPathAnswer& answer, const std::string& cwd) {
  for (const char* name : {"PYTHONPATH", "PYTHONHOME", "PYTHONUSERBASE"}) {
    const char* value = std::getenv(name);
    if (!value) continue;
    std::string_view rest(value);
    for (;;) {
      const auto colon = rest.find(':');
      if (!rest.substr(0, colon).starts_with('/')) return true;
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  for (const auto* list : {&answer.import_path, &answer.site_folders}) {
    for (const std::string& entry : *list) {
      if (!entry.empty() && (entry.front() != '/' || entry == cwd)) return true;
    }
  }
  return false;
}

// Adds a folder of the path and the files in it that site or import run at start-up.
bool track_folder(const std::string& folder, Pairs& files, std::set<std::string>& seen,
                  int64_t& newest) {
  if (!seen.insert(folder).second) return true;
  files.emplace_back(folder, file_state(folder, &newest));
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return true;
  bool fits = true;
  std::vector<std::string> pth_files;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (!name.ends_with(".pth") && !name.starts_with("sitecustomize") &&
        !name.starts_with("usercustomize")) {
      continue;
    }
    if (files.size() >= kMaxTrackedFiles) {
      fits = false;
      break;
    }
    std::string path = folder + "/" + std::string(name);
    files.emplace_back(path, file_state(path, &newest));
    if (name.ends_with(".pth")) pth_files.push_back(std::move(path));
  }
  ::closedir(dir);
  // The folders a .pth names, existing or not: site adds one to the path only once it exists,
  // so its appearing changes the answer while the .pth itself stays as it was.
  for (const std::string& pth : pth_files) {
    const auto text = read_file_prefix(pth, kMaxPthBytes);
    if (!text) continue;
    std::string_view rest(*text);
    while (!rest.empty() && fits) {
      const auto nl = rest.find('\n');
      std::string_view line = rest.substr(0, nl);
      rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
      }
      if (line.empty() || line.front() == '#' || line.starts_with("import ") ||
          line.starts_with("import\t")) {
        continue;
      }
      if (files.size() >= kMaxTrackedFiles) {
        fits = false;
        break;
      }
      const std::string named =
          line.front() == '/' ? std::string(line) : folder + "/" + std::string(line);
      files.emplace_back(named, file_state(named, &newest));
    }
  }
  return fits;
}

// The inputs as they are now, for an answer just given; nothing when the answer cannot be kept.
std::optional<Inputs> observe(const std::string& interpreter, const ImportPathAnswer& answer,
                              int64_t& newest) {
  Inputs inputs;
  inputs.interpreter = interpreter;
  inputs.variables = variable_states();
  auto real = real_path_of(interpreter);
  const auto cwd = current_folder();
  if (!real || !cwd || is_script(*real)) return std::nullopt;
  inputs.real_path = *real;
  if (depends_on_cwd(answer, *cwd)) inputs.cwd = *cwd;

  const fs::path bin = fs::path(interpreter).parent_path();
  for (const std::string& file :
       {*real, (bin / "pyvenv.cfg").string(), (bin.parent_path() / "pyvenv.cfg").string()}) {
    inputs.files.emplace_back(file, file_state(file, &newest));
  }
  std::set<std::string> seen;
  for (const auto* list : {&answer.import_path, &answer.site_folders}) {
    for (const std::string& entry : *list) {
      // The empty entry is the current folder, which detection reads afresh anyway.
      if (!entry.empty() && !track_folder(entry, inputs.files, seen, newest)) return std::nullopt;
    }
  }
  return inputs;
}

bool still_holds(const Inputs& recorded, const std::string& interpreter) {
  if (recorded.interpreter != interpreter || recorded.variables != variable_states()) return false;
  if (real_path_of(interpreter) != recorded.real_path) return false;
  if (recorded.cwd && current_folder() != recorded.cwd) return false;
  return std::all_of(recorded.files.begin(), recorded.files.end(),
                     [](const auto& file) { return file_state(file.first) == file.second; });
}

std::string serialize(const Inputs& inputs, const ImportPathAnswer& answer) {
  std::string out;
  const auto put = [&out](std::string_view token) {
    out += token;
    out += '\0';
  };
  put(kMagic);
  put(PLO_VERSION);
  put("interpreter");
  put(inputs.interpreter);
  put("real");
  put(inputs.real_path);
  for (const auto& [name, state] : inputs.variables) {
    put("env");
    put(name);
    put(state);
  }
  if (inputs.cwd) {
    put("cwd");
    put(*inputs.cwd);
  }
  for (const auto& [path, state] : inputs.files) {
    put("file");
    put(path);
    put(state);
  }
  // Always written, empty when unknown: a record without it is from a plo that did not ask.
  put("python");
  put(answer.python_version.value_or(""));
  for (const std::string& entry : answer.import_path) {
    put("path");
    put(entry);
  }
  put("end");
  return out;
}

struct Record {
  Inputs inputs;
  CachedAnswer answer;
};

// A cache file's record; nothing when it is cut short, malformed or from another plo version.
std::optional<Record> parse(std::string_view text) {
  if (text.empty() || text.back() != '\0') return std::nullopt;
  std::vector<std::string_view> tokens;
  while (!text.empty()) {
    const auto end = text.find('\0');
    tokens.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  if (tokens.size() < 3 || tokens[0] != kMagic || tokens[1] != PLO_VERSION ||
      tokens.back() != "end") {
    return std::nullopt;
  }
  Record record;
  bool has_interpreter = false;
  bool has_real = false;
  bool has_python = false;
  size_t i = 2;
  const size_t last = tokens.size() - 1;
  const auto take = [&](size_t count) { return i + count <= last; };
  while (i < last) {
    const std::string_view tag = tokens[i++];
    if (tag == "interpreter" && take(1)) {
      record.inputs.interpreter = tokens[i++];
      has_interpreter = true;
    } else if (tag == "real" && take(1)) {
      record.inputs.real_path = tokens[i++];
      has_real = true;
    } else if (tag == "env" && take(2)) {
      record.inputs.variables.emplace_back(tokens[i], tokens[i + 1]);
      i += 2;
    } else if (tag == "cwd" && take(1)) {
      record.inputs.cwd = std::string(tokens[i++]);
    } else if (tag == "file" && take(2)) {
      record.inputs.files.emplace_back(tokens[i], tokens[i + 1]);
      i += 2;
    } else if (tag == "python" && take(1)) {
      if (!tokens[i].empty()) record.answer.python_version = std::string(tokens[i]);
      ++i;
      has_python = true;
    } else if (tag == "path" && take(1)) {
      record.answer.import_path.emplace_back(tokens[i++]);
    } else {
      return std::nullopt;
    }
  }
  if (!has_interpreter || !has_real || !has_python || record.inputs.files.empty()) {
    return std::nullopt;
  }
  return record;
}

// The cache file's text when it is a regular file of this user's and of a sane size.
std::optional<std::string> read_own_file(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
      static_cast<size_t>(info.st_size) <= kMaxFileBytes) {
    std::string buffer(static_cast<size_t>(info.st_size) + 1, '\0');
    size_t used = 0;
    ssize_t got = 0;
    while (used < buffer.size() &&
           (got = ::read(fd, buffer.data() + used, buffer.size() - used)) > 0) {
      used += static_cast<size_t>(got);
    }
    // A file that grew while it was read is not the one that was checked.
    if (got >= 0 && used == static_cast<size_t>(info.st_size)) {
      buffer.resize(used);
      text = std::move(buffer);
    }
  }
  ::close(fd);
  return text;
}

bool write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written <= 0) return false;
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// Replaces the cache file whole: written to a temporary name in the same folder, then renamed.
void write_cache_file(const fs::path& folder, const fs::path& file, const std::string& text) {
  std::error_code error;
  fs::create_directories(folder.parent_path(), error);
  ::mkdir(folder.c_str(), 0700);
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    return;
  }
  const fs::path temporary = file.string() + fmt::format(".tmp{}", ::getpid());
  ::unlink(temporary.c_str());  // a leftover of a killed plo with the same process id
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const bool written = write_all(fd, text);
  if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), file.c_str()) != 0) {
    ::unlink(temporary.c_str());
  }
}

// One file per interpreter as invoked, named by a hash of its path (the path is inside, too).
fs::path cache_file(const fs::path& folder, const std::string& interpreter) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : interpreter) hash = (hash ^ c) * 1099511628211ull;
  return folder / fmt::format("python-{:016x}", hash);
}

int64_t realtime_now() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return nanoseconds(now);
}

}  // namespace

std::optional<fs::path> interpreter_cache_folder() {
  if (const char* off = std::getenv("PLO_NO_CACHE"); off && *off && std::string_view(off) != "0") {
    return std::nullopt;
  }
  // The XDG rule: a relative XDG_CACHE_HOME is ignored.
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/') {
    return fs::path(xdg) / "plo";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return fs::path(home) / ".cache" / "plo";
  }
  return std::nullopt;
}

CachedAnswer cached_interpreter_answer(const std::optional<fs::path>& folder,
                                       const std::string& interpreter,
                                       const std::function<ImportPathAnswer()>& ask,
                                       std::chrono::nanoseconds settle) {
  const auto fresh = [&ask] {
    ImportPathAnswer answer = ask();
    return CachedAnswer{std::move(answer.import_path), std::move(answer.python_version)};
  };
  if (!folder) return fresh();
  std::string absolute = interpreter;
  if (!absolute.starts_with('/')) {
    const auto cwd = current_folder();
    if (!cwd) return fresh();
    absolute = *cwd + "/" + interpreter;
  }
  const fs::path file = cache_file(*folder, absolute);
  if (const auto text = read_own_file(file)) {
    if (auto record = parse(*text); record && still_holds(record->inputs, absolute)) {
      return std::move(record->answer);
    }
  }

  const int64_t asked_at = realtime_now();
  ImportPathAnswer answer = ask();
  int64_t newest = 0;
  if (const auto inputs = observe(absolute, answer, newest);
      inputs && newest < asked_at - settle.count()) {
    write_cache_file(*folder, file, serialize(*inputs, answer));
  }
  return {std::move(answer.import_path), std::move(answer.python_version)};
}

std::vector<std::string> cached_import_path(const std::optional<fs::path>& folder,
                                            const std::string& interpreter,
                                            const std::function<ImportPathAnswer()>& ask,
                                            std::chrono::nanoseconds settle) {
  return cached_interpreter_answer(folder, interpreter, ask, settle).import_path;
}

}  // namespace plo
