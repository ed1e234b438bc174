#include "util/verbosity.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "util/escape.h"
#include "util/secrets.h"

namespace plo {
namespace {

Verbosity g_verbosity = Verbosity::Normal;

}  // namespace

void set_verbosity(Verbosity level) {
  g_verbosity = level;
}

Verbosity verbosity() {
  return g_verbosity;
}

void verbose_note(std::string_view note) {
  if (g_verbosity != Verbosity::Verbose) return;
  const std::string line = "plo: " + escape_controls(without_secrets(note)) + "\n";
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace plo
