#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plo {

// A PEP 440 version read into its parts. Numbers are digit texts without leading zeros, of any
// length, so that no version overflows.
struct Pep440Version {
  std::string epoch = "0";
  std::vector<std::string> release;  // as written: "3.5.0" is 3, 5, 0
  std::string pre_kind;              // "a", "b", "rc", or empty
  std::string pre_number;
  std::optional<std::string> post;
  std::optional<std::string> dev;
  std::vector<std::string> local;  // lower case; numeric segments without leading zeros

  bool is_prerelease() const { return !pre_kind.empty() || dev.has_value(); }
  bool is_postrelease() const { return post.has_value(); }
  // The same version without its local part ("3.5.1+a" -> "3.5.1").
  Pep440Version public_part() const;
  // Its epoch and release alone ("3.5.1rc1.post2" -> "3.5.1").
  Pep440Version base_part() const;
};

// The parts of a plain version text: digits and dots with optional epoch, pre-, post-, dev- and
// local parts as pip reads them ("4.0.0RC1", "v3.5", "3.4.1-1"), nothing else (no blanks,
// markers, wildcards or operators). Linear in the text; at most 128 characters.
std::optional<Pep440Version> parse_pep440(std::string_view text);

// How two versions order as pip orders them: negative, zero or positive. 3.5 == 3.5.0; a dev
// release before its pre-releases, those before the release, then post-releases; a local label
// after the same public version.
int compare_pep440(const Pep440Version& a, const Pep440Version& b);

// The comparison form of a PEP 440 version ("3.5.09" and "3.5.9.0" both give "3.5.9"; "4.0.0RC1"
// gives "4rc1", "v3.5" gives "3.5"), or nothing when the text is not a plain version.
std::optional<std::string> pep440_key(std::string_view text);

// Whether two version texts name the same version as pip compares them ("3.5.1.0" and "03.05.01"
// are "3.5.1"); texts that are no plain version are equal only as typed.
bool same_version(std::string_view a, std::string_view b);

}  // namespace plo
