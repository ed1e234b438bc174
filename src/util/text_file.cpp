#include "util/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace plo {
namespace {

// Reads at most `limit` bytes of a regular file; the open never waits (O_NONBLOCK), so a FIFO
// without a writer cannot hold plo.
FileContents read_upto(const std::filesystem::path& path, size_t limit) {
  FileContents result;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    result.status = FileContents::Status::NotRegular;
    ::close(fd);
    return result;
  }
  result.text.resize(std::min<size_t>(limit, static_cast<size_t>(info.st_size) + 1));
  size_t filled = 0;
  for (;;) {
    if (filled == result.text.size()) {
      if (filled >= limit) break;
      result.text.resize(std::min(limit, filled * 2 + 4096));  // the file grew meanwhile
    }
    const ssize_t n = ::read(fd, result.text.data() + filled, result.text.size() - filled);
    if (n > 0) {
      filled += static_cast<size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      result.error = errno;
      ::close(fd);
      result.text.clear();
      return result;
    }
  }
  ::close(fd);
  result.text.resize(filled);
  result.status = FileContents::Status::Ok;
  return result;
}

}  // namespace

FileContents read_regular_file(const std::filesystem::path& path, size_t max_bytes) {
  FileContents result = read_upto(path, max_bytes + 1);
  if (result.status == FileContents::Status::Ok && result.text.size() > max_bytes) {
    result.status = FileContents::Status::TooLarge;
    result.text.clear();
  }
  return result;
}

std::optional<std::string> read_file_prefix(const std::filesystem::path& path, size_t max_bytes) {
  FileContents result = read_upto(path, max_bytes);
  if (result.status != FileContents::Status::Ok) return std::nullopt;
  return std::move(result.text);
}

}  // namespace plo
