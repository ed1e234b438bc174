#include "download/folder_jdk_installer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "archive/safe_unpack.h"
#include "archive/sha256.h"
#include "environment/java_detect.h"
#include "environment/jdk_discovery.h"
#include "process/file_lock.h"
#include "util/environment.h"
#include "util/escape.h"
#include "util/text_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;
using Clock = HttpClient::Clock;

// A descriptor closed when it goes out of scope.
struct Descriptor {
  int fd = -1;
  explicit Descriptor(int f) : fd(f) {}
  Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// A file or folder of plo's that is removed when it goes out of scope unless kept: nothing half
// made is left behind, whatever ends the install (an error, an interrupt).
struct Scratch {
  fs::path path;
  explicit Scratch(fs::path p) : path(std::move(p)) {}
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(path, ignored);
  }
};

std::string system_error(const std::string& what, const fs::path& path, int error) {
  return what + " " + escape_controls(path.string()) + ": " + std::strerror(error);
}

// The folder, made when missing (0755).
fs::path ensure_folder() {
  const auto folder = plo_jdks_folder();
  if (!folder) throw InstallError("no folder for JDKs: neither HOME nor XDG_DATA_HOME is set");
  std::error_code error;
  fs::create_directories(*folder, error);
  if (error) {
    throw InstallError("cannot make " + escape_controls(*folder) + ": " + error.message());
  }
  return *folder;
}

// An exclusive lock on the folder's `.lock`, taken at once or not at all.
FileLock lock_folder(const fs::path& folder) {
  try {
    return FileLock::acquire((folder / ".lock").string(), std::chrono::milliseconds(0), nullptr);
  } catch (const LockError& e) {
    if (std::string_view(e.what()).starts_with("another plo")) {
      throw InstallError("another plo is changing " + escape_controls(folder.string()) +
                         "; try again when it is done");
    }
    throw InstallError(e.what());
  }
}

// Leftovers of a plo that was killed while it installed or removed a JDK.
void remove_leftovers(const fs::path& folder) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with(".download-") || name.starts_with(".unpack-") ||
        name.starts_with(".remove-")) {
      std::error_code ignored;
      fs::remove_all(it->path(), ignored);
    }
  }
}

// The Java home inside an unpacked JDK folder: the folder itself or, from macOS, Contents/Home.
std::optional<fs::path> home_in(const fs::path& top) {
  for (const fs::path& home : {top, top / "Contents" / "Home"}) {
    std::error_code error;
    if (fs::exists(home / "release", error) && fs::exists(home / "bin" / "java", error)) {
      return home;
    }
  }
  return std::nullopt;
}

void write_all(int fd, std::string_view data, const fs::path& path) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      throw InstallError(system_error("cannot write", path, errno));
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
}

// Downloads the package into `path` (an open, empty file), checking its size and SHA-256.
void download(HttpClient& http, const JdkRelease& release, int fd, const fs::path& path,
              const JdkInstaller::OnProgress& progress) {
  const std::string host = escape_controls(url_host(release.link));
  Sha256 sha;
  std::uint64_t received = 0;
  std::string refused;  // why the body was refused, when it was
  std::string why_not;
  HttpRequest request{
      .url = release.link,
      .time_limit = FolderJdkInstaller::kDownloadTimeLimit,
      .why_not = &why_not,
      .on_body =
          [&](std::string_view data) {
            if (data.size() > release.size - received) {
              refused = "the download from " + host + " is larger than the " +
                        std::to_string(release.size) + " bytes announced";
              return false;
            }
            try {
              write_all(fd, data, path);
            } catch (const InstallError& e) {
              refused = e.what();
              return false;
            }
            sha.update(data);
            received += data.size();
            if (progress) progress(received, release.size);
            return true;
          },
      .follow_redirects = true,
      .stall_limit = FolderJdkInstaller::kStallLimit,
  };
  std::optional<HttpResponse> answer;
  const auto start = Clock::now();
  http.perform({request}, start + FolderJdkInstaller::kDownloadTimeLimit,
               [&](size_t, const std::optional<HttpResponse>& a) {
                 answer = a;
                 return true;
               });
  if (!refused.empty()) throw InstallError(refused);
  if (!answer) {
    const bool in_time = Clock::now() - start < FolderJdkInstaller::kDownloadTimeLimit;
    if (why_not == "no answer in time" && in_time) {
      why_not = "nothing arrived for " + std::to_string(FolderJdkInstaller::kStallLimit.count()) +
                " seconds";
    }
    throw InstallError("cannot download from " + host + ": " +
                       (why_not.empty() ? "no answer in time" : escape_controls(why_not)));
  }
  if (answer->status != 200) {
    throw InstallError("cannot download from " + host + ": it answered HTTP " +
                       std::to_string(answer->status));
  }
  if (received != release.size) {
    throw InstallError("the download from " + host + " has " + std::to_string(received) +
                       " bytes, not the " + std::to_string(release.size) + " announced");
  }
  const std::string digest = sha.hex_digest();
  if (digest != release.checksum) {
    throw InstallError("the download's SHA-256 is " + digest + ", not the " + release.checksum +
                       " the API announced: deleted it");
  }
  if (::fsync(fd) != 0) throw InstallError(system_error("cannot write", path, errno));
}

// How long the new JDK's first `java -version` may take (a cold start on a busy machine).
constexpr auto kVersionTimeLimit = std::chrono::seconds(30);

// The JDK's bin/java must start and answer `-version` with `major`.
void check_version_answer(ProcessRunner& runner, const fs::path& home, int major) {
  const std::string java = (home / "bin" / "java").string();
  ProcessResult answer;
  try {
    answer = runner.run({.argv = {java, "-version"}, .time_limit = kVersionTimeLimit});
  } catch (const ProcessStartError& e) {
    throw InstallError(std::string("the unpacked JDK does not start: ") + e.what());
  }
  const auto reported = parse_java_version_output(answer.err).version;
  const int answered = reported ? java_major_version(*reported).value_or(0) : 0;  // 0: none
  if (answer.timed_out || answer.exit_code != 0 || answered != major) {
    const std::string how = answer.timed_out ? "did not answer in time"
                            : answer.exit_code != 0
                                ? "ended with status " + std::to_string(answer.exit_code)
                            : answered ? "answered Java " + std::to_string(answered)
                                       : "answered no Java version";
    throw InstallError("the unpacked JDK's 'bin/java -version' " + how + ", not Java " +
                       std::to_string(major) + ": not installed");
  }
}

// The unpacked JDK must be the Java asked for: its release file says so, and its bin/java starts
// and answers `-version` with that major (a JDK cut short by a full disk does not).
void check_jdk(ProcessRunner& runner, const fs::path& home, int major) {
  if (!is_executable_file((home / "bin" / "java").string())) {
    throw InstallError("the archive's bin/java is not executable");
  }
  const auto contents = read_file_prefix(home / "release", 64 << 10);
  if (!contents) throw InstallError("the archive's release file cannot be read");
  const ReleaseInfo info = parse_release_file(*contents);
  const auto found = info.java_version ? java_major_version(*info.java_version) : std::nullopt;
  if (found != major) {
    throw InstallError("the archive holds " +
                       (found ? "Java " + std::to_string(*found) : std::string("no known Java")) +
                       ", not Java " + std::to_string(major));
  }
  check_version_answer(runner, home, major);
}

}  // namespace

std::string FolderJdkInstaller::folder() {
  const auto folder = plo_jdks_folder();
  return folder.value_or("~/.local/share/plo/jdks");
}

JdkRelease FolderJdkInstaller::latest(int major) {
  const auto os = adoptium_os();
  const auto architecture = adoptium_architecture();
  if (!os || !architecture) throw InstallError("the Adoptium API has no JDKs for this platform");
  const std::string base = adoptium_base_url();
  const std::string host = escape_controls(url_host(base));
  if (!allowed_download_url(base)) {
    throw InstallError("PLO_ADOPTIUM_URL must be an https URL (or http to a loopback address)");
  }
  std::string why_not;
  std::optional<HttpResponse> answer;
  http_.perform({HttpRequest{.url = adoptium_latest_url(base, major, *os, *architecture),
                             .time_limit = kApiTimeLimit,
                             .why_not = &why_not,
                             .follow_redirects = true}},
                Clock::now() + kApiTimeLimit, [&](size_t, const std::optional<HttpResponse>& a) {
                  answer = a;
                  return true;
                });
  if (!answer) {
    throw InstallError("cannot reach " + host + ": " +
                       (why_not.empty() ? "no answer in time" : escape_controls(why_not)));
  }
  if (answer->status == 404) {
    throw InstallError("no Eclipse Temurin JDK " + std::to_string(major) + " for " + *os + " " +
                       *architecture + " (" + host + " answered 404)");
  }
  if (answer->status != 200) {
    throw InstallError(host + " answered HTTP " + std::to_string(answer->status));
  }
  if (answer->truncated) throw InstallError(host + "'s answer is too large");
  try {
    return parse_adoptium_answer(answer->body, major, *os, *architecture);
  } catch (const std::runtime_error& e) {
    throw InstallError(host + " did not answer as the Adoptium API does: " + e.what());
  }
}

std::optional<std::string> FolderJdkInstaller::installed_home(const JdkRelease& release) {
  const auto folder = plo_jdks_folder();
  if (!folder) return std::nullopt;
  const auto home = home_in(fs::path(*folder) / release.folder_name());
  if (!home) return std::nullopt;
  return home->string();
}

std::string FolderJdkInstaller::install(const JdkRelease& release, const OnProgress& progress) {
  const fs::path folder = ensure_folder();
  const FileLock lock = lock_folder(folder);
  remove_leftovers(folder);
  const fs::path target = folder / release.folder_name();
  if (const auto home = home_in(target)) return home->string();  // another plo was first

  std::string pattern = (folder / ".download-XXXXXX").string();
  const Descriptor file(::mkostemp(pattern.data(), O_CLOEXEC));
  if (file.fd < 0) throw InstallError(system_error("cannot make a file in", folder, errno));
  const Scratch downloaded(pattern);
  download(http_, release, file.fd, downloaded.path, progress);

  std::string unpack_pattern = (folder / ".unpack-XXXXXX").string();
  if (!::mkdtemp(unpack_pattern.data())) {
    throw InstallError(system_error("cannot make a folder in", folder, errno));
  }
  const Scratch unpacked(unpack_pattern);
  try {
    unpack_archive(downloaded.path.string(), unpacked.path.string());
  } catch (const UnsafeArchive& e) {
    throw InstallError(std::string("refused the archive: ") + e.what());
  } catch (const std::runtime_error& e) {
    // The disk's reason ("No space left on device") and where: what was unpacked is removed.
    throw InstallError("cannot unpack the JDK into " + escape_controls(folder.string()) + ": " +
                       e.what());
  }

  std::vector<fs::path> tops;
  std::error_code error;
  for (fs::directory_iterator it(unpacked.path, error), end; !error && it != end;
       it.increment(error)) {
    tops.push_back(it->path());
  }
  if (tops.size() != 1 || !fs::is_directory(fs::symlink_status(tops[0]))) {
    throw InstallError("the archive does not hold one top folder");
  }
  const auto home = home_in(tops[0]);
  if (!home) throw InstallError("the archive holds no Java home (bin/java and release)");
  check_jdk(runner_, *home, release.major);

  const fs::path relative_home = fs::relative(*home, tops[0]);
  if (::rename(tops[0].c_str(), target.c_str()) != 0) {
    throw InstallError(system_error("cannot move the JDK to", target, errno));
  }
  const Descriptor folder_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder_fd.fd >= 0) ::fsync(folder_fd.fd);
  return relative_home == "." ? target.string() : (target / relative_home).string();
}

std::vector<std::string> FolderJdkInstaller::installed() {
  std::vector<std::string> homes;
  const auto folder = plo_jdks_folder();
  if (!folder) return homes;
  std::error_code error;
  for (fs::directory_iterator it(*folder, error), end; !error && it != end; it.increment(error)) {
    if (it->path().filename().string().starts_with('.')) continue;
    if (const auto home = home_in(it->path())) homes.push_back(home->string());
  }
  std::sort(homes.begin(), homes.end());
  return homes;
}

void FolderJdkInstaller::remove(const std::string& home) {
  const fs::path folder = ensure_folder();
  const FileLock lock = lock_folder(folder);
  std::error_code error;
  const fs::path real_folder = fs::canonical(folder, error);
  fs::path jdk = fs::path(home).lexically_normal();
  if (jdk.filename() == "Home" && jdk.parent_path().filename() == "Contents") {
    jdk = jdk.parent_path().parent_path();
  }
  // Only a folder directly in plo's own: never a link to somewhere else.
  const fs::path parent = fs::canonical(jdk.parent_path(), error);
  if (error || parent != real_folder || fs::is_symlink(jdk) || !fs::is_directory(jdk)) {
    throw InstallError(escape_controls(home) + " is not a JDK plo installed");
  }
  // Renamed out of sight first, so that a JDK half removed is never taken for one.
  std::string pattern = (folder / ".remove-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    throw InstallError(system_error("cannot make a folder in", folder, errno));
  }
  const Scratch removed(pattern);
  if (::rename(jdk.c_str(), (removed.path / "jdk").c_str()) != 0) {
    throw InstallError(system_error("cannot remove", jdk, errno));
  }
}

}  // namespace plo
