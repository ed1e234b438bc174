#include "archive/sha256.h"

#include <algorithm>
#include <stdexcept>

#include "archive/loaded_libraries.h"

namespace plo {

struct Sha256::State {
  EVP_MD_CTX* ctx = nullptr;
  ~State() {
    if (ctx) libcrypto().EVP_MD_CTX_free(ctx);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  const LibCrypto& lib = libcrypto();
  state_->ctx = lib.EVP_MD_CTX_new();
  if (!state_->ctx || lib.EVP_DigestInit_ex(state_->ctx, lib.EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("cannot start a SHA-256");
  }
}

Sha256::~Sha256() = default;

void Sha256::update(std::string_view data) {
  if (libcrypto().EVP_DigestUpdate(state_->ctx, data.data(), data.size()) != 1) {
    throw std::runtime_error("cannot compute a SHA-256");
  }
}

std::string Sha256::hex_digest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (libcrypto().EVP_DigestFinal_ex(state_->ctx, digest, &length) != 1) {
    throw std::runtime_error("cannot compute a SHA-256");
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xf];
  }
  return hex;
}

bool looks_like_sha256(std::string_view text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

}  // namespace plo
