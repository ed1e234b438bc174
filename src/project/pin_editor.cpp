#include "project/pin_editor.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "project/project_file.h"

namespace plo {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string toml_string(std::string_view text) {
  std::string quoted = "\"";
  for (char ch : text) {
    if (ch == '"' || ch == '\\') quoted += '\\';
    quoted += ch;
  }
  return quoted + "\"";
}

// The keys to write, in the order a new table gets them, each with its value as TOML text.
std::vector<std::pair<std::string, std::string>> wanted_keys(const PinValues& values) {
  std::vector<std::pair<std::string, std::string>> keys;
  if (values.pyspark) keys.emplace_back("pyspark", toml_string(*values.pyspark));
  if (values.java) keys.emplace_back("java", std::to_string(*values.java));
  if (values.compute) keys.emplace_back("compute", toml_string(*values.compute));
  if (values.runtime) keys.emplace_back("runtime", toml_string(*values.runtime));
  return keys;
}

// One change of the text: `length` bytes at `at` become `text`.
struct Splice {
  size_t at;
  size_t length;
  std::string text;
};

std::string applied(const std::string& original, std::vector<Splice> splices) {
  std::sort(splices.begin(), splices.end(),
            [](const Splice& a, const Splice& b) { return a.at > b.at; });
  std::string edited = original;
  for (const Splice& splice : splices) edited.replace(splice.at, splice.length, splice.text);
  return edited;
}

// Whether `edited` holds every byte of `original` outside the spliced ranges, in order.
bool unchanged_outside(const std::string& original, const std::string& edited,
                       std::vector<Splice> splices) {
  std::sort(splices.begin(), splices.end(),
            [](const Splice& a, const Splice& b) { return a.at < b.at; });
  size_t from = 0, to = 0;
  for (const Splice& splice : splices) {
    const size_t kept = splice.at - from;
    if (edited.compare(to, kept, original, from, kept) != 0) return false;
    to += kept + splice.text.size();
    from = splice.at + splice.length;
  }
  return edited.size() - to == original.size() - from &&
         edited.compare(to, std::string::npos, original, from) == 0;
}

}  // namespace

std::string pin_text(std::string_view text, const PinValues& values, const std::string& file) {
  // A UTF-8 byte-order mark stays where it is; the text after it is edited.
  const std::string_view mark = text.starts_with(kByteOrderMark) ? kByteOrderMark : "";
  const std::string original(text.substr(mark.size()));
  parse_project(original, file);  // an invalid file is not edited: it throws here
  const PloTablePlace place = locate_plo_table(original, file);
  const auto wanted = wanted_keys(values);
  const size_t first_end = original.find('\n');
  const std::string newline =
      first_end != std::string::npos && first_end > 0 && original[first_end - 1] == '\r' ? "\r\n"
                                                                                         : "\n";

  std::vector<Splice> splices;
  std::string added;
  for (const auto& [key, value] : wanted) {
    const auto found = place.values.find(key);
    if (place.has_header && found != place.values.end()) {
      splices.push_back({found->second.first, found->second.second - found->second.first, value});
    } else {
      added += key + " = " + value + newline;
    }
  }
  if (!place.has_header) {
    // No table: appended at the end, after a blank line.
    std::string tail;
    if (!original.empty() && !original.ends_with('\n')) tail += newline;
    if (!original.empty()) tail += newline;
    splices.push_back({original.size(), 0, tail + "[tool.plo]" + newline + added});
  } else if (!added.empty()) {
    const bool line_open = place.insert_at > 0 && original[place.insert_at - 1] != '\n';
    splices.push_back({place.insert_at, 0, (line_open ? newline : "") + added});
  }
  const std::string edited = applied(original, splices);
  if (!unchanged_outside(original, edited, splices) ||
      !reads_as_original_plus(original, edited, wanted)) {
    throw ProjectFileError(file +
                           ": plo's edit of [tool.plo] would change more than the values asked, so "
                           "the file is left as it was; change it by hand");
  }
  return std::string(mark) + edited;
}

}  // namespace plo
