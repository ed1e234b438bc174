#include "interpreter_line.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

#include "environment/interpreter.h"
#include "util/escape.h"
#include "util/verbosity.h"

namespace plo::cli {
namespace {

const InterpreterChoice* choice_or_null() {
  try {
    return &chosen_interpreter();
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace

void tell_interpreter() {
  if (verbosity() == Verbosity::Quiet) return;
  const InterpreterChoice* choice = choice_or_null();
  // PLO_PYTHON is the user's own word for it: only a choice plo made is told.
  if (!choice || choice->source == "PLO_PYTHON") return;
  const std::string line = "Interpreter: " + escape_controls(choice->path) + ", from " +
                           escape_controls(choice->source) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void add_interpreter_fields(nlohmann::ordered_json& document) {
  const InterpreterChoice* choice = choice_or_null();
  document["interpreter"] =
      choice ? nlohmann::ordered_json(choice->path) : nlohmann::ordered_json();
  document["interpreter_source"] =
      choice ? nlohmann::ordered_json(choice->source) : nlohmann::ordered_json();
}

}  // namespace plo::cli
