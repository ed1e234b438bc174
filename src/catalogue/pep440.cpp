#include "catalogue/pep440.h"

#include <algorithm>
#include <cctype>
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

// A letter part with its optional number: "rc1", ".post", "-dev2".
std::optional<std::string> lettered(Reader& r, std::initializer_list<std::string_view> words,
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
  return std::string(canonical(*w)) + *n;
}

std::string_view pre_name(std::string_view w) {
  if (w == "alpha" || w == "a") return "a";
  if (w == "beta" || w == "b") return "b";
  return "rc";  // c, pre, preview, rc
}
std::string_view post_name(std::string_view) {
  return ".post";
}
std::string_view dev_name(std::string_view) {
  return ".dev";
}

// The local part after '+', its segments joined by dots; a numeric segment compares as a number
// ("05" is "5"), as pip compares them. Nothing when a segment is empty or a character is foreign.
std::optional<std::string> local_part(Reader& r) {
  std::string local;
  std::string segment;
  const auto close_segment = [&] {
    if (std::all_of(segment.begin(), segment.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
      while (segment.size() > 1 && segment.front() == '0') segment.erase(0, 1);
    }
    local += segment;
    segment.clear();
  };
  for (; !r.done(); ++r.pos_) {
    const char c = r.peek();
    if (std::isalnum(static_cast<unsigned char>(c))) {
      segment += c;
    } else if (Reader::separator(c) && !segment.empty()) {
      close_segment();
      local += '.';
    } else {
      return std::nullopt;
    }
  }
  if (segment.empty()) return std::nullopt;  // empty or ends with a separator
  close_segment();
  return local;
}

}  // namespace

std::optional<std::string> pep440_key(std::string_view text) {
  if (text.empty() || text.size() > kMaxVersionChars) return std::nullopt;
  Reader r(text);
  std::string key;
  if (r.peek() == 'v') ++r.pos_;  // "v3.5.1", as pip reads it

  auto first = r.number();
  if (!first) return std::nullopt;
  if (r.peek() == '!') {
    ++r.pos_;
    if (*first != "0") key = *first + "!";
    first = r.number();
    if (!first) return std::nullopt;
  }
  std::vector<std::string> release{*first};
  while (r.peek() == '.' && std::isdigit(static_cast<unsigned char>(r.peek(1)))) {
    ++r.pos_;
    release.push_back(*r.number());
  }
  // Trailing zeros do not count: 3.5 == 3.5.0.
  while (release.size() > 1 && release.back() == "0") release.pop_back();
  for (size_t i = 0; i < release.size(); ++i) key += (i ? "." : "") + release[i];

  if (auto pre = lettered(r, {"preview", "alpha", "beta", "pre", "rc", "a", "b", "c"}, pre_name)) {
    key += *pre;
  }
  if (r.peek() == '-' && std::isdigit(static_cast<unsigned char>(r.peek(1)))) {
    ++r.pos_;
    key += ".post" + *r.number();
  } else if (auto post = lettered(r, {"post", "rev", "r"}, post_name)) {
    key += *post;
  }
  if (auto dev = lettered(r, {"dev"}, dev_name)) key += *dev;

  if (r.peek() == '+') {
    ++r.pos_;
    const auto local = local_part(r);
    if (!local) return std::nullopt;
    key += '+' + *local;
  }
  if (!r.done()) return std::nullopt;
  return key;
}

bool same_version(std::string_view a, std::string_view b) {
  const auto key_a = pep440_key(a);
  const auto key_b = pep440_key(b);
  return key_a && key_b ? *key_a == *key_b : a == b;
}

}  // namespace plo
