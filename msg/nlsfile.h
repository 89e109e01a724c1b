// NLS message files: a 1024-byte header (magic, version, bucket size B,
// bucket count N, big-endian), N buckets of B bytes made of 6-byte entries
// (16-bit id, 32-bit absolute text offset), and NUL-terminated texts. Id m
// lives in bucket m mod N. Files are untrusted: every read stays inside the
// file and inside the caller's area.
#pragma once

#include <cstdint>
#include <string_view>

namespace qrv::nls {

inline constexpr uint32_t kMagic = 0x199D6699;
inline constexpr int kVersionKind = 12;  // the NLS-file kind of msversion_supported
inline constexpr int kHeaderSize = 1024;
inline constexpr int kPieceSize = 1024;
// A bucket, and a text with its NUL, are read into areas of this size.
inline constexpr int kAreaSize = 8192;
// Longest file name (prefix and suffix) without its NUL.
inline constexpr int kMaxNameLength = 1023;

// One open file, or a closed record (handle all ones).
struct File {
    int64_t handle = -1;  // the msfio descriptor; 0 for bytes in memory
    int32_t from_store = 0;
    uint32_t bucket_size = 0;   // B, at most kAreaSize
    uint32_t bucket_count = 0;  // N, at least 1
    // For a file of the built-in store (or bytes given directly): the bytes
    // and the read position.
    const unsigned char *data = nullptr;
    int64_t size = 0;
    int64_t position = 0;
};

inline bool is_open(const File &f) noexcept { return f.handle != -1; }

// Opens prefix + suffix, else "nls/nlsfile_" + suffix in the built-in store.
// False when neither opens (nothing reported), for a name longer than
// kMaxNameLength (refuse_long_prefix), or when the header is refused: 16201
// short header, 16202 wrong magic or unusable geometry, 16203 unsupported
// version, each pushed after a reset.
bool open(File &f, const char *prefix, const char *suffix) noexcept;
// A directory prefix too long to name a file: 16151 (ENAMETOOLONG), then
// 16473 with the prefix; false.
bool refuse_long_prefix(const char *prefix) noexcept;
// Opens bytes (which must outlive the record) as if the store held them.
bool open_bytes(File &f, std::string_view bytes) noexcept;
// The text of id, NUL-terminated in area (kAreaSize bytes): true; false when
// the file does not hold it (nothing reported) or cannot be read (16204,
// 16205, 16206, 16207, 16209 or 16210 pushed). Serialised by the
// message-file lock.
bool read(File &f, uint32_t id, char *area) noexcept;
void close(File &f) noexcept;
// The text of id in the built-in store's file "nls/nlsfile_" + suffix, as a
// pointer into the store's constant bytes, or null. Needs no lock and no
// message state and reports nothing: it serves lookups made before the NLS
// files are open.
const char *stored_text(const char *suffix, uint32_t id) noexcept;

// The message-file lock, made and destroyed with the process's messages.
bool lock_init() noexcept;
void lock_end() noexcept;

}  // namespace qrv::nls
