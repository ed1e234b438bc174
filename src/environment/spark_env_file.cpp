#include "environment/spark_env_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "util/atomic_write.h"
#include "util/posix_file.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxSparkEnvBytes = 1 << 20;

}  // namespace

std::optional<std::string> read_spark_env(const fs::path& file) {
  // O_NONBLOCK: a FIFO put in its place must not stall plo; it is refused below.
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw_file_error(file, "read", errno);
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw_file_error(file, "read", errno);
  if (!S_ISREG(info.st_mode)) {
    throw std::runtime_error(fmt::format("cannot read {}: not a regular file", file.string()));
  }
  std::string contents;
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw_file_error(file, "read", errno);
    }
    if (got == 0) break;
    contents.append(buffer, static_cast<size_t>(got));
    if (contents.size() > kMaxSparkEnvBytes) {
      throw std::runtime_error(
          fmt::format("cannot read {}: larger than {} bytes", file.string(), kMaxSparkEnvBytes));
    }
  }
  return contents;
}

void write_spark_env(const fs::path& file, std::string_view contents) {
  write_file_atomically(file, contents, 0644);
}

}  // namespace plo
