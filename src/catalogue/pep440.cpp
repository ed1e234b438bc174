#include "catalogue/pep440.h"

#include <algorithm>
#include <cctype>
#include <tuple>
#include <utility>
#include <vector>

namespace plo {
namespace {

constexpr size_t kMaxVersionChars = 128;

// Reads the text left to right once; each part is optional where PEP 440 allows it.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool done() const { return pos_ == text_.size(); }
  char peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? lower(text_[pos_ + ahead]) : '\0';
  }
  static char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  static bool separator(char c) { return c == '.' || c == '-' || c == '_'; }

  // Digits as a number text without leading zeros ("09" is "9").
  std::optional<std::string> number() {
    const size_t start = pos_;
    while (!done() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (pos_ == start) return std::nullopt;
    std::string_view digits = text_.substr(start, pos_ - start);
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    return std::string(digits);
  }

  // One of `words` (lower case) at the current place, longest first; advances past it.
  std::optional<std::string_view> word(std::initializer_list<std::string_view> words) {
    for (std::string_view w : words) {
      if (text_.size() - pos_ < w.size()) continue;
      bool match = true;
      for (size_t i = 0; i < w.size() && match; ++i) match = lower(text_[pos_ + i]) == w[i];
      if (match) {
        pos_ += w.size();
        return w;
      }
    }
    return std::nullopt;
  }

  size_t pos_ = 0;
  std::string_view text_;
};

// A letter part with its optional number: "rc1", ".post", "-dev2"; the canonical word and the
// number ("0" where none is written).
std::optional<std::pair<std::string, std::string>> lettered(
    Reader& r, std::initializer_list<std::string_view> words,
    std::string_view (*canonical)(std::string_view)) {
  const size_t start = r.pos_;
  if (Reader::separator(r.peek())) ++r.pos_;
  const auto w = r.word(words);
  if (!w) {
    r.pos_ = start;
    return std::nullopt;
  }
  const size_t after_word = r.pos_;
  if (Reader::separator(r.peek())) ++r.pos_;
  auto n = r.number();
  if (!n) {
    r.pos_ = after_word;
    n = "0";
  }
  return std::pair(std::string(canonical(*w)), *n);
}

std::string_view pre_name(std::string_view w) {
  if (w == "alpha" || w == "a") return "a";
  if (w == "beta" || w == "b") return "b";
  return "rc";  // c, pre, preview, rc
}
std::string_view as_is(std::string_view w) {
  return w;
}

bool is_digits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
}

// The local part after '+', one entry per segment; a numeric segment compares as a number
// ("05" is "5"), as pip compares them. Nothing when a segment is empty or a character is foreign.
std::optional<std::vector<std::string>> local_part(Reader& r) {
  std::vector<std::string> local;
  std::string segment;
  const auto close_segment = [&] {
    if (is_digits(segment)) {
      while (segment.size() > 1 && segment.front() == '0') segment.erase(0, 1);
    }
    local.push_back(std::move(segment));
    segment.clear();
  };
  for (; !r.done(); ++r.pos_) {
    const char c = r.peek();
    if (std::isalnum(static_cast<unsigned char>(c))) {
      segment += c;
    } else if (Reader::separator(c) && !segment.empty()) {
      close_segment();
    } else {
      return std::nullopt;
    }
  }
  if (segment.empty()) return std::nullopt;  // empty or ends with a separator
  close_segment();
  return local;
}

// Numbers without leading zeros, compared by length, then digit by digit.
int compare_numbers(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
}

// The release without its trailing zeros (3.5.0 is 3.5), at least one number.
std::vector<std::string> significant(const std::vector<std::string>& release) {
  std::vector<std::string> kept = release;
  while (kept.size() > 1 && kept.back() == "0") kept.pop_back();
  return kept;
}

// Packaging's order of the parts after the release: where a part is missing it sorts below or
// above every present one. Kind 0: below, 1: present (then the value counts), 2: above.
struct Slot {
  int kind;
  int rank = 0;  // the pre-release letter: a < b < rc
  std::string number = {};
};

int compare_slots(const Slot& a, const Slot& b) {
  if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
  if (a.kind != 1) return 0;
  if (a.rank != b.rank) return a.rank < b.rank ? -1 : 1;
  return compare_numbers(a.number, b.number);
}

Slot pre_slot(const Pep440Version& v) {
  // A dev release of the release itself (1.0.dev1) comes before its pre-releases.
  if (v.pre_kind.empty()) return {!v.post && v.dev ? 0 : 2};
  return {1, v.pre_kind == "a" ? 0 : v.pre_kind == "b" ? 1 : 2, v.pre_number};
}

// Local segments: a numeric one above any lettered one; a shorter list first where one is the
// other's start.
int compare_local(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const bool a_number = is_digits(a[i]);
    const bool b_number = is_digits(b[i]);
    if (a_number != b_number) return a_number ? 1 : -1;
    const int order = a_number ? compare_numbers(a[i], b[i])
                               : (a[i] < b[i]    ? -1
                                  : a[i] == b[i] ? 0
                                                 : 1);
    if (order != 0) return order;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

Pep440Version Pep440Version::public_part() const {
  Pep440Version version = *this;
  version.local.clear();
  return version;
}

Pep440Version Pep440Version::base_part() const {
  Pep440Version version;
  version.epoch = epoch;
  version.release = release;
  return version;
}

std::optional<Pep440Version> parse_pep440(std::string_view text) {
  if (text.empty() || text.size() > kMaxVersionChars) return std::nullopt;
  Reader r(text);
  Pep440Version version;
  if (r.peek() == 'v') ++r.pos_;  // "v3.5.1", as pip reads it

  auto first = r.number();
  if (!first) return std::nullopt;
  if (r.peek() == '!') {
    ++r.pos_;
    version.epoch = *first;
    first = r.number();
    if (!first) return std::nullopt;
  }
  version.release.push_back(*first);
  while (r.peek() == '.' && std::isdigit(static_cast<unsigned char>(r.peek(1)))) {
    ++r.pos_;
    version.release.push_back(*r.number());
  }
  if (auto pre = lettered(r, {"preview", "alpha", "beta", "pre", "rc", "a", "b", "c"}, pre_name)) {
    std::tie(version.pre_kind, version.pre_number) = *pre;
  }
  if (r.peek() == '-' && std::isdigit(static_cast<unsigned char>(r.peek(1)))) {
    ++r.pos_;
    version.post = *r.number();
  } else if (auto post = lettered(r, {"post", "rev", "r"}, as_is)) {
    version.post = post->second;
  }
  if (auto dev = lettered(r, {"dev"}, as_is)) version.dev = dev->second;

  if (r.peek() == '+') {
    ++r.pos_;
    auto local = local_part(r);
    if (!local) return std::nullopt;
    version.local = std::move(*local);
  }
  if (!r.done()) return std::nullopt;
  return version;
}

int compare_pep440(const Pep440Version& a, const Pep440Version& b) {
  if (const int order = compare_numbers(a.epoch, b.epoch)) return order;
  const auto release_a = significant(a.release);
  const auto release_b = significant(b.release);
  for (size_t i = 0; i < release_a.size() && i < release_b.size(); ++i) {
    if (const int order = compare_numbers(release_a[i], release_b[i])) return order;
  }
  if (release_a.size() != release_b.size()) return release_a.size() < release_b.size() ? -1 : 1;
  if (const int order = compare_slots(pre_slot(a), pre_slot(b))) return order;
  const Slot post_a = a.post ? Slot{1, 0, *a.post} : Slot{0};
  const Slot post_b = b.post ? Slot{1, 0, *b.post} : Slot{0};
  if (const int order = compare_slots(post_a, post_b)) return order;
  const Slot dev_a = a.dev ? Slot{1, 0, *a.dev} : Slot{2};
  const Slot dev_b = b.dev ? Slot{1, 0, *b.dev} : Slot{2};
  if (const int order = compare_slots(dev_a, dev_b)) return order;
  if (a.local.empty() != b.local.empty()) return a.local.empty() ? -1 : 1;
  return compare_local(a.local, b.local);
}

std::optional<std::string> pep440_key(std::string_view text) {
  const auto version = parse_pep440(text);
  if (!version) return std::nullopt;
  std::string key = version->epoch == "0" ? "" : version->epoch + "!";
  const auto release = significant(version->release);
  for (size_t i = 0; i < release.size(); ++i) key += (i ? "." : "") + release[i];
  key += version->pre_kind + version->pre_number;
  if (version->post) key += ".post" + *version->post;
  if (version->dev) key += ".dev" + *version->dev;
  for (size_t i = 0; i < version->local.size(); ++i) {
    key += (i ? "." : "+") + version->local[i];
  }
  return key;
}

bool same_version(std::string_view a, std::string_view b) {
  const auto key_a = pep440_key(a);
  const auto key_b = pep440_key(b);
  return key_a && key_b ? *key_a == *key_b : a == b;
}

}  // namespace plo
