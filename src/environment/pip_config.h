#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace plo {

// One pip setting that `uv pip` would not honour: where it is set and which setting it is.
struct PipSetting {
  std::string where;  // "PIP_INDEX_URL", or a configuration file's path
  std::string name;   // "index-url", "extra-index-url", "find-links", ...
};

// What decides pip's configuration, apart from the files' contents.
struct PipConfigInputs {
  std::function<std::optional<std::string>(const char*)> env;  // a variable's value, if set
  std::string sys_prefix;  // the environment's, for its site configuration file
  // A configuration file's text, or nothing when it does not exist or cannot be read.
  std::function<std::optional<std::string>(const std::string&)> read_file;
};

// The settings of pip's environment variables and configuration files (global, user, site and
// PIP_CONFIG_FILE, as pip loads them) that choose where packages come from or how they are fetched:
// an index, an extra index, find-links, no-index, a trusted host, a certificate. uv reads none of
// them, so a switch through uv would not install what pip would.
std::vector<PipSetting> pip_settings_uv_ignores(const PipConfigInputs& inputs);

// The same with the process's own environment and the files on disk.
std::vector<PipSetting> pip_settings_uv_ignores(const std::string& sys_prefix);

// The package index an install through pip asks, as pip's settings choose it.
struct PipIndex {
  std::optional<std::string> url = {};  // index-url; nothing: pip's default (PyPI)
  // Where no-index is set to a true value ("PIP_NO_INDEX", or a configuration file's path);
  // nothing when pip asks the index.
  std::optional<std::string> no_index = {};
};

// index-url and no-index as `pip install` reads them: the variables over the files' [install]
// section over their [global] one, and among the files the later kind (global, user, site,
// PIP_CONFIG_FILE) over the earlier.
PipIndex pip_index(const PipConfigInputs& inputs);

// The same with the process's own environment and the files on disk.
PipIndex pip_index(const std::string& sys_prefix);

}  // namespace plo
