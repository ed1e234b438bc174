#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace plo {

// A SHA-256 computed piece by piece as a download arrives (OpenSSL's EVP).
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(std::string_view data);
  // The digest as 64 lower-case hex digits; the object takes no more data after it.
  std::string hex_digest();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Whether `text` is a SHA-256 as hex (64 hex digits, either case).
bool looks_like_sha256(std::string_view text);

}  // namespace plo
