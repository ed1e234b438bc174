#include "catalogue/requirements.h"

#include <algorithm>
#include <cctype>

#include "catalogue/pep440.h"
#include "util/text.h"

namespace plo {
namespace {

// A requirement or marker longer than this is no Requires-Dist line anyone writes.
constexpr size_t kMaxRequirementChars = 4096;
// Parentheses nested deeper than this in a marker are refused rather than followed.
constexpr int kMaxMarkerDepth = 32;

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool is_alnum(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// One specifier of a set: its operator and the version text after it.
struct Specifier {
  std::string op;  // "===", "==", "!=", "~=", "<=", ">=", "<", ">"
  std::string text;
  bool wildcard = false;                 // "==3.5.*": text is "3.5"
  std::optional<Pep440Version> version;  // nothing only for "==="
};

// The specifier, or nothing where the text is not one that packaging accepts.
std::optional<Specifier> read_specifier(std::string_view item) {
  item = trim_blanks(item);
  Specifier spec;
  for (const std::string_view op : {"===", "==", "!=", "~=", "<=", ">=", "<", ">"}) {
    if (item.starts_with(op)) {
      spec.op = std::string(op);
      break;
    }
  }
  if (spec.op.empty()) return std::nullopt;
  std::string_view text = trim_blanks(item.substr(spec.op.size()));
  if (text.empty() || std::any_of(text.begin(), text.end(), is_blank)) return std::nullopt;
  if (spec.op == "===") {
    spec.text = std::string(text);
    return spec;
  }
  if ((spec.op == "==" || spec.op == "!=") && text.ends_with(".*")) {
    spec.wildcard = true;
    text.remove_suffix(2);
  }
  spec.text = std::string(text);
  spec.version = parse_pep440(text);
  if (!spec.version) return std::nullopt;
  const Pep440Version& v = *spec.version;
  const bool suffixed = v.is_prerelease() || v.is_postrelease();
  // Only == and != take a local label or a wildcard (the latter right after the release);
  // ~= needs two release numbers.
  if (spec.wildcard && (suffixed || !v.local.empty())) return std::nullopt;
  if (!v.local.empty() && spec.op != "==" && spec.op != "!=") return std::nullopt;
  if (spec.op == "~=" && v.release.size() < 2) return std::nullopt;
  return spec;
}

// The specifiers of a comma-separated set; empty items are skipped, as packaging skips them.
std::optional<std::vector<Specifier>> read_specifiers(std::string_view text) {
  std::vector<Specifier> specs;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view item = trim_blanks(text.substr(0, comma));
    if (!item.empty()) {
      auto spec = read_specifier(item);
      if (!spec) return std::nullopt;
      specs.push_back(std::move(*spec));
    }
    if (comma == std::string_view::npos) return specs;
    text.remove_prefix(comma + 1);
  }
}

// Whether the release of `v`, padded with zeros, starts with `prefix` (and the epochs agree).
bool release_starts_with(const Pep440Version& v, const Pep440Version& epoch_of,
                         const std::vector<std::string>& prefix) {
  if (v.epoch != epoch_of.epoch) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if ((i < v.release.size() ? v.release[i] : "0") != prefix[i]) return false;
  }
  return true;
}

bool equal_to(const Specifier& spec, const Pep440Version& v) {
  if (spec.wildcard) return release_starts_with(v, *spec.version, spec.version->release);
  // A specifier without a local label ignores the candidate's.
  const Pep440Version candidate = spec.version->local.empty() ? v.public_part() : v;
  return compare_pep440(candidate, *spec.version) == 0;
}

// One specifier's operator applied to a version, as packaging's Specifier does.
bool holds(const Specifier& spec, const Pep440Version& v) {
  const Pep440Version& s = *spec.version;
  if (spec.op == "==") return equal_to(spec, v);
  if (spec.op == "!=") return !equal_to(spec, v);
  if (spec.op == "<=") return compare_pep440(v.public_part(), s) <= 0;
  if (spec.op == ">=") return compare_pep440(v.public_part(), s) >= 0;
  if (spec.op == "<") {
    // "<3.6" admits no pre-release of 3.6 itself unless it names one.
    if (compare_pep440(v, s) >= 0) return false;
    return s.is_prerelease() || !v.is_prerelease() ||
           compare_pep440(v.base_part(), s.base_part()) != 0;
  }
  if (spec.op == ">") {
    // ">3.5" admits neither a post-release nor a local build of 3.5 itself.
    if (compare_pep440(v, s) <= 0) return false;
    const bool same_base = compare_pep440(v.base_part(), s.base_part()) == 0;
    if (!s.is_postrelease() && v.is_postrelease() && same_base) return false;
    return v.local.empty() || !same_base;
  }
  // "~=3.5.1" is ">=3.5.1" and "==3.5.*".
  const std::vector<std::string> prefix(s.release.begin(), s.release.end() - 1);
  return compare_pep440(v.public_part(), s) >= 0 && release_starts_with(v, s, prefix);
}

// Whether the specifier names a pre-release, which lets its set admit pre-releases.
bool names_prerelease(const Specifier& spec) {
  if (spec.op == "===") {
    const auto version = parse_pep440(spec.text);
    return version && version->is_prerelease();
  }
  const bool inclusive = spec.op == "==" || spec.op == ">=" || spec.op == "<=" || spec.op == "~=";
  return inclusive && spec.version->is_prerelease();
}

bool admits(const std::vector<Specifier>& specs, std::string_view text,
            std::optional<bool> prereleases) {
  const auto version = parse_pep440(text);
  if (!version) {
    // Only the identity operator speaks of texts that are no version.
    return !specs.empty() && std::all_of(specs.begin(), specs.end(), [&](const Specifier& s) {
      return s.op == "===" && to_lower(s.text) == to_lower(text);
    });
  }
  const bool allow_pre =
      prereleases.value_or(std::any_of(specs.begin(), specs.end(), names_prerelease));
  if (version->is_prerelease() && !allow_pre) return false;
  return std::all_of(specs.begin(), specs.end(), [&](const Specifier& s) {
    return s.op == "===" ? to_lower(s.text) == to_lower(text) : holds(s, *version);
  });
}

// PEP 508's marker grammar, read and evaluated in one pass:
//   or := and ("or" and)*;  and := atom ("and" atom)*;  atom := "(" or ")" | value op value
class MarkerReader {
 public:
  MarkerReader(std::string_view text, const MarkerEnvironment& environment)
      : text_(text), environment_(environment) {}

  std::optional<bool> evaluate() {
    const bool result = any_of();
    skip_blanks();
    if (failed_ || pos_ != text_.size()) return std::nullopt;
    return result;
  }

 private:
  void skip_blanks() {
    while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
  }

  // Whether the word comes next, whole (not the start of a longer name); advances past it.
  bool word(std::string_view w) {
    skip_blanks();
    if (text_.substr(pos_, w.size()) != w) return false;
    const size_t end = pos_ + w.size();
    if (end < text_.size() && (is_alnum(text_[end]) || text_[end] == '_' || text_[end] == '.')) {
      return false;
    }
    pos_ = end;
    return true;
  }

  bool any_of() {
    bool result = all_of();
    while (!failed_ && word("or")) result = all_of() || result;
    return result;
  }

  bool all_of() {
    bool result = atom();
    while (!failed_ && word("and")) result = atom() && result;
    return result;
  }

  bool fail() {
    failed_ = true;
    return false;
  }

  bool atom() {
    skip_blanks();
    if (pos_ < text_.size() && text_[pos_] == '(') {
      if (++depth_ > kMaxMarkerDepth) return fail();
      ++pos_;
      const bool result = any_of();
      skip_blanks();
      if (pos_ >= text_.size() || text_[pos_] != ')') return fail();
      ++pos_;
      --depth_;
      return result;
    }
    bool left_is_extra = false, right_is_extra = false;
    const auto left = value(left_is_extra);
    const auto op = comparison();
    const auto right = value(right_is_extra);
    if (!left || !op || !right) return fail();
    if (left_is_extra || right_is_extra)
      return compare(normalized_name(*left), *op, normalized_name(*right));
    return compare(*left, *op, *right);
  }

  // A quoted text or a variable's value.
  std::optional<std::string> value(bool& is_extra) {
    skip_blanks();
    if (pos_ >= text_.size()) return std::nullopt;
    const char quote = text_[pos_];
    if (quote == '"' || quote == '\'') {
      const size_t end = text_.find(quote, pos_ + 1);
      if (end == std::string_view::npos) return std::nullopt;
      std::string literal(text_.substr(pos_ + 1, end - pos_ - 1));
      pos_ = end + 1;
      return literal;
    }
    const size_t start = pos_;
    while (pos_ < text_.size() &&
           (is_alnum(text_[pos_]) || text_[pos_] == '_' || text_[pos_] == '.')) {
      ++pos_;
    }
    std::string name(text_.substr(start, pos_ - start));
    // The names of PEP 345, which PEP 508 still reads.
    if (name == "os.name") name = "os_name";
    if (name == "sys.platform") name = "sys_platform";
    if (name == "platform.version") name = "platform_version";
    if (name == "platform.machine") name = "platform_machine";
    if (name == "platform.python_implementation" || name == "python_implementation") {
      name = "platform_python_implementation";
    }
    const auto found = environment_.find(name);
    if (found == environment_.end()) return std::nullopt;
    is_extra = name == "extra";
    return found->second;
  }

  std::optional<std::string> comparison() {
    skip_blanks();
    for (const std::string_view op : {"===", "==", "!=", "~=", "<=", ">=", "<", ">"}) {
      if (text_.substr(pos_, op.size()) == op) {
        pos_ += op.size();
        return std::string(op);
      }
    }
    if (word("in")) return "in";
    if (word("not")) {
      if (word("in")) return "not in";
    }
    return std::nullopt;
  }

  bool compare(const std::string& left, const std::string& op, const std::string& right) {
    if (op == "in") return right.find(left) != std::string::npos;
    if (op == "not in") return right.find(left) == std::string::npos;
    // As packaging does: a PEP 440 comparison where the right side makes a specifier and the
    // left a version, else the texts compared.
    if (const auto spec = read_specifier(op + right);
        spec && (spec->op == "===" || parse_pep440(left))) {
      return admits({*spec}, left, true);
    }
    if (op == "==") return left == right;
    if (op == "!=") return left != right;
    if (op == "<") return left < right;
    if (op == "<=") return left <= right;
    if (op == ">") return left > right;
    if (op == ">=") return left >= right;
    return fail();  // ~= and === between texts that are no versions
  }

  std::string_view text_;
  const MarkerEnvironment& environment_;
  size_t pos_ = 0;
  int depth_ = 0;
  bool failed_ = false;
};

bool is_name_char(char c) {
  return is_alnum(c) || c == '-' || c == '_' || c == '.';
}

}  // namespace

std::string normalized_name(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '-' || c == '_' || c == '.') {
      if (out.empty() || out.back() != '-') out += '-';
    } else {
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

std::optional<bool> specifier_admits(std::string_view specifiers, std::string_view version,
                                     std::optional<bool> prereleases) {
  if (specifiers.size() > kMaxRequirementChars) return std::nullopt;
  const auto specs = read_specifiers(specifiers);
  if (!specs) return std::nullopt;
  return admits(*specs, version, prereleases);
}

std::optional<Requirement> parse_requirement(std::string_view text) {
  if (text.size() > kMaxRequirementChars) return std::nullopt;
  Requirement requirement;
  size_t pos = 0;
  const auto skip_blanks = [&] {
    while (pos < text.size() && is_blank(text[pos])) ++pos;
  };
  skip_blanks();
  const size_t start = pos;
  while (pos < text.size() && is_name_char(text[pos])) ++pos;
  const std::string_view name = text.substr(start, pos - start);
  if (name.empty() || !is_alnum(name.front()) || !is_alnum(name.back())) return std::nullopt;
  requirement.name = normalized_name(name);
  skip_blanks();
  if (pos < text.size() && text[pos] == '[') {
    const size_t close = text.find(']', pos);
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view extras = text.substr(pos + 1, close - pos - 1);
    while (!trim_blanks(extras).empty()) {
      const size_t comma = extras.find(',');
      const std::string_view extra = trim_blanks(extras.substr(0, comma));
      if (extra.empty() || !std::all_of(extra.begin(), extra.end(), is_name_char)) {
        return std::nullopt;
      }
      requirement.extras.push_back(normalized_name(extra));
      extras = comma == std::string_view::npos ? std::string_view() : extras.substr(comma + 1);
    }
    pos = close + 1;
    skip_blanks();
  }
  const size_t semicolon = text.find(';', pos);
  std::string_view middle = text.substr(
      pos, semicolon == std::string_view::npos ? std::string_view::npos : semicolon - pos);
  if (semicolon != std::string_view::npos) {
    requirement.marker = std::string(trim_blanks(text.substr(semicolon + 1)));
    if (requirement.marker.empty()) return std::nullopt;
  }
  middle = trim_blanks(middle);
  if (middle.starts_with('@')) {
    requirement.url = std::string(trim_blanks(middle.substr(1)));
    if (requirement.url.empty() ||
        std::any_of(requirement.url.begin(), requirement.url.end(), is_blank)) {
      return std::nullopt;
    }
    return requirement;
  }
  if (middle.starts_with('(')) {
    if (!middle.ends_with(')')) return std::nullopt;
    middle = middle.substr(1, middle.size() - 2);
  }
  for (const char c : middle) {
    if (!is_blank(c)) requirement.specifiers += c;
  }
  if (!read_specifiers(requirement.specifiers)) return std::nullopt;
  return requirement;
}

std::optional<bool> evaluate_marker(std::string_view marker, const MarkerEnvironment& environment) {
  if (marker.size() > kMaxRequirementChars) return std::nullopt;
  if (trim_blanks(marker).empty()) return true;
  return MarkerReader(marker, environment).evaluate();
}

}  // namespace plo
