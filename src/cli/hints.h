#pragma once

#include <string>

#include "compat/java_environment.h"

namespace plo::cli {

// After a command failed on a compute name computes.yml does not define: "Did you mean 'prod'?"
// on standard error when one is close. Says nothing when the file cannot be read.
void hint_compute_name(const std::string& name);

// After `plo java set MAJOR` found no such Java: the majors that are installed, on standard error.
void hint_installed_majors(JavaEnvironment& java, const std::string& major);

}  // namespace plo::cli
