#pragma once

#include <archive.h>
#include <archive_entry.h>
#include <openssl/evp.h>

namespace plo {

// The libarchive functions plo calls.
#define PLO_LIBARCHIVE_FUNCTIONS(X)   \
  X(archive_read_new)                 \
  X(archive_read_free)                \
  X(archive_read_support_format_tar)  \
  X(archive_read_support_filter_gzip) \
  X(archive_read_open_filename)       \
  X(archive_read_next_header)         \
  X(archive_read_data_block)          \
  X(archive_write_disk_new)           \
  X(archive_write_disk_set_options)   \
  X(archive_write_header)             \
  X(archive_write_data_block)         \
  X(archive_write_finish_entry)       \
  X(archive_write_close)              \
  X(archive_write_free)               \
  X(archive_error_string)             \
  X(archive_errno)                    \
  X(archive_entry_pathname)           \
  X(archive_entry_hardlink)           \
  X(archive_entry_symlink)            \
  X(archive_entry_filetype)           \
  X(archive_entry_perm)               \
  X(archive_entry_size)               \
  X(archive_entry_set_perm)           \
  X(archive_entry_set_pathname)       \
  X(archive_entry_set_hardlink)

// The libcrypto (OpenSSL) functions plo calls.
#define PLO_LIBCRYPTO_FUNCTIONS(X) \
  X(EVP_MD_CTX_new)                \
  X(EVP_MD_CTX_free)               \
  X(EVP_sha256)                    \
  X(EVP_DigestInit_ex)             \
  X(EVP_DigestUpdate)              \
  X(EVP_DigestFinal_ex)

#define PLO_DECLARE_FUNCTION(name) decltype(&::name) name = nullptr;

// libarchive, loaded on first use: only `plo java install` needs it, and loading it (with the
// compression and XML libraries behind it) at every start would slow every command down.
struct LibArchive {
  PLO_LIBARCHIVE_FUNCTIONS(PLO_DECLARE_FUNCTION)
};
const LibArchive& libarchive();

// libcrypto, loaded on first use for the same reason.
struct LibCrypto {
  PLO_LIBCRYPTO_FUNCTIONS(PLO_DECLARE_FUNCTION)
};
const LibCrypto& libcrypto();

#undef PLO_DECLARE_FUNCTION

}  // namespace plo
