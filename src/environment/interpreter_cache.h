#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "environment/pyspark_detect.h"

namespace plo {

// The folder of plo's interpreter cache files: ${XDG_CACHE_HOME:-~/.cache}/plo, or nothing when
// PLO_NO_CACHE=1 or neither variable names a folder.
std::optional<std::filesystem::path> interpreter_cache_folder();

// What the cache keeps of an interpreter's answer.
struct CachedAnswer {
  std::vector<std::string> import_path;
  std::optional<std::string> python_version;
};

// The interpreter's import path and version ("3.10.13"). They come from the interpreter's cache
// file in `folder` while nothing that decides them has changed (the executable, pyvenv.cfg, the
// variables that shape sys.path, the current folder where the path depends on it, the path's
// folders and the .pth and customize files in them); otherwise from `ask`, which starts the
// interpreter, and the answer is kept there for the next time, unless an input changed less than
// `settle` before it was asked (file times are coarse, and the interpreter reads its files while
// it starts). No folder: always `ask`.
CachedAnswer cached_interpreter_answer(const std::optional<std::filesystem::path>& folder,
                                       const std::string& interpreter,
                                       const std::function<ImportPathAnswer()>& ask,
                                       std::chrono::nanoseconds settle = std::chrono::seconds(1));

// The import path alone, as cached_interpreter_answer finds it.
std::vector<std::string> cached_import_path(
    const std::optional<std::filesystem::path>& folder, const std::string& interpreter,
    const std::function<ImportPathAnswer()>& ask,
    std::chrono::nanoseconds settle = std::chrono::seconds(1));

}  // namespace plo
