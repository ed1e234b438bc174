#pragma once

#include <string_view>

namespace plo {

// How much plo tells beyond its reports, chosen once by the front end (-q, -v).
enum class Verbosity { Quiet, Normal, Verbose };

// Sets the run's verbosity; called once, before any command runs.
void set_verbosity(Verbosity level);

// The run's verbosity (Normal unless set).
Verbosity verbosity();

// With -v: writes "plo: <note>" and a line end to standard error, control characters escaped;
// otherwise nothing. Write errors are ignored: a note never ends a command.
void verbose_note(std::string_view note);

}  // namespace plo
