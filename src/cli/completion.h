#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plo {

// The completion script for a shell ("bash", "zsh" or "fish"); empty for any other name.
std::string completion_script(std::string_view shell);

// The words the scripts ask plo for at completion time (`plo __complete KIND`): "computes" (the
// names in computes.yml), "versions" (the catalogue's versions and lines), "java-majors" (the
// majors of the JDKs `plo java search` finds). Failures give no words: completion stays quiet.
std::vector<std::string> completion_words(std::string_view kind, const std::string& self);

}  // namespace plo
