#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace plo {

// What an archive may unpack to at most.
struct UnpackLimits {
  std::uint64_t max_bytes = std::uint64_t{2} << 30;  // the files' sizes together
  std::size_t max_entries = 100000;
};

// An archive refused as unsafe or damaged; what() names the entry and why.
class UnsafeArchive : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Unpacks a .tar.gz into the folder `into` (which must exist and be empty) with libarchive,
// refusing entries with absolute paths or `..`, links or hard links that lead outside the folder,
// device files, FIFOs and sockets, and more than `limits`. Set-id bits are dropped; folders stay
// writable by their owner, so that they can be removed. Throws UnsafeArchive for an archive
// refused, std::runtime_error when the disk refuses (full, read-only), Interrupted between blocks;
// `into` then holds what was unpacked so far, for the caller to remove.
void unpack_archive(const std::string& archive, const std::string& into,
                    const UnpackLimits& limits = {});

}  // namespace plo
