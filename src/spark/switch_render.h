#pragma once

#include <nlohmann/json_fwd.hpp>

#include "console/console.h"
#include "spark/switch_events.h"

namespace plo {

// Prints one event of a switch as the lines users know (the only place that knows them).
void print_switch_event(Console& console, const SwitchEvent& event);

// Keeps a switch's events for its --json document.
class SwitchRecord {
 public:
  // Keeps what `event` adds: a step, or the end.
  void add(const SwitchEvent& event);

  // The document: schema, ok, outcome, from, to, distribution, installer, companions (moved),
  // companions_left (--keep-companions), project (what the project's own tool ran, and whether
  // its files stay changed), steps, note, error.
  // Without an end (the switch was refused before its plan) the outcome is "refused" with
  // `refusal` as its error.
  nlohmann::ordered_json document(const SwitchResult& fallback) const;

 private:
  std::vector<nlohmann::ordered_json> steps_;
  std::optional<SwitchResult> result_;
  std::string refusal_;
  std::vector<nlohmann::ordered_json> moves_;
  std::vector<nlohmann::ordered_json> left_;
  std::vector<nlohmann::ordered_json> project_;  // what the project's tool was to run, if any

  // project_, with `changed`: the tool ran and its files were not put back.
  nlohmann::ordered_json project_document() const;
};

}  // namespace plo
