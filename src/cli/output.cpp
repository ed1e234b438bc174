#include "output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "util/environment.h"
#include "util/text.h"

namespace plo::cli {

int set_output_aside() {
  const int document_fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (document_fd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot set up standard output");
  }
  return document_fd;
}

bool unicode_marks() {
  if (non_empty_env("NO_COLOR")) return false;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    if (const auto value = non_empty_env(name)) {
      return contains_ignoring_case(*value, "utf-8") || contains_ignoring_case(*value, "utf8");
    }
  }
  return false;
}

}  // namespace plo::cli
