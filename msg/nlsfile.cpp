// The reader of NLS message files. Files come from outside the library:
// every length and offset in them is checked against the file and against
// the 8192-byte areas before it is used.
#include "msg/nlsfile.h"

#include <cerrno>
#include <cstring>

#include "base/errids.h"
#include "base/errstack.h"
#include "base/guard.h"
#include "config/store.h"
#include "io/fio.h"
#include "mscv.h"
#include "mserror.h"
#include "msfio.h"
#include "msthread.h"
#include "msversion.h"

namespace qrv::nls {
namespace {

// Seek and read share the position of the file, so every read of every NLS
// file goes through this one lock. Zero bytes are a free lock, so a file
// read outside the library's life is still serialised.
qrv_mutex g_lock;

uint32_t be32(const unsigned char *p) {
    unsigned value = 0;
    mscv_4bytes_to_uint(&value, p);
    return value;
}

// Reads up to count bytes at the position: fewer only at the end of the
// file; -1 when the file cannot be read.
int read_bytes(File &f, void *out, int count) {
    if (f.from_store) {
        int64_t left = f.size - f.position;
        int n = left <= 0 ? 0 : (left < count ? static_cast<int>(left) : count);
        if (n > 0) std::memcpy(out, f.data + f.position, static_cast<size_t>(n));
        f.position += n;
        return n;
    }
    int total = 0;
    while (total < count) {
        int n = msfio_read(f.handle, static_cast<char *>(out) + total, count - total);
        if (n < 0) return -1;
        if (n == 0) break;
        total += n;
    }
    return total;
}

bool seek(File &f, int64_t position) {
    if (!f.from_store) return msfio_seek(f.handle, position) == position;
    f.position = position;  // past the end reads nothing, as a file does
    return true;
}

bool refuse(File &f, int32_t id) {
    close(f);
    mserror_reset_seterr(id, 0);
    return false;
}

bool read_header(File &f) {
    unsigned char header[kHeaderSize];
    int got = 0;
    {
        errstack::QuietScope quiet;  // a read error is not reported
        got = read_bytes(f, header, kHeaderSize);
    }
    if (got < 0) {
        close(f);
        return false;
    }
    if (got < kHeaderSize) return refuse(f, err::kNlsHeader);
    if (be32(header) != kMagic) return refuse(f, err::kNlsFormat);
    if (msversion_supported(kVersionKind, static_cast<int32_t>(be32(header + 4))) < 1) {
        return refuse(f, err::kNlsVersion);
    }
    // No bucket to hash into, or a bucket larger than the area it is read
    // into: not a file this reader can use.
    uint32_t bucket_size = be32(header + 8), bucket_count = be32(header + 12);
    if (bucket_count == 0 || bucket_size > static_cast<uint32_t>(kAreaSize)) return refuse(f, err::kNlsFormat);
    f.bucket_size = bucket_size;
    f.bucket_count = bucket_count;
    return true;
}

// The text offset of id from its bucket (read into area); false when the
// bucket does not hold it.
bool find_offset(File &f, uint32_t id, unsigned char *area, uint32_t *offset) {
    if (!seek(f, kHeaderSize + static_cast<int64_t>(id % f.bucket_count) * f.bucket_size)) {
        mserror_seterr(err::kNlsSeekHash, 0);
        return false;
    }
    int size = static_cast<int>(f.bucket_size);
    int got = read_bytes(f, area, size);
    if (got < 0) {
        mserror_seterr(err::kNlsReadHash, 0);
        return false;
    }
    if (got < size) {
        mserror_reset_seterr(err::kNlsShortHash, 0);
        return false;
    }
    for (int at = 0; at + 6 <= size; at += 6) {
        unsigned entry_id = 0;
        mscv_2bytes_to_uint(&entry_id, area + at);
        if (entry_id == 0) break;
        if (entry_id == id) {
            *offset = be32(area + at + 2);
            return true;
        }
    }
    return false;
}

// Reads the text at offset in pieces that end on 1024-byte boundaries of
// the file, until a piece holds its NUL. A text that runs to the end of the
// file or past the area without one is refused.
bool read_text(File &f, uint32_t offset, char *area) {
    if (!seek(f, offset)) {
        mserror_seterr(err::kNlsSeekMessage, 0);
        return false;
    }
    int filled = 0;
    int piece = kPieceSize - static_cast<int>(offset % kPieceSize);
    for (;;) {
        if (piece > kAreaSize - filled) piece = kAreaSize - filled;
        int got = piece > 0 ? read_bytes(f, area + filled, piece) : 0;
        if (got <= 0) break;
        if (std::memchr(area + filled, '\0', static_cast<size_t>(got)) != nullptr) return true;
        filled += got;
        if (got < piece) break;
        piece = kPieceSize;
    }
    mserror_seterr(err::kNlsReadMessage, 0);
    return false;
}

}  // namespace

bool open(File &f, const char *prefix, const char *suffix) noexcept {
    f = File{};
    static constexpr char kStorePrefix[] = "nls/nlsfile_";
    size_t prefix_length = std::strlen(prefix), suffix_length = std::strlen(suffix);
    if (prefix_length + suffix_length > static_cast<size_t>(kMaxNameLength)) return refuse_long_prefix(prefix);
    char name[kMaxNameLength + sizeof kStorePrefix];
    std::memcpy(name, prefix, prefix_length);
    std::memcpy(name + prefix_length, suffix, suffix_length + 1);
    msfio_fd fd = MSFIO_NONE;
    char type = 'r';
    {
        errstack::QuietScope quiet;  // a missing file is not an error: the store may hold it
        if (msfio_stat(name, &type, nullptr, nullptr, nullptr, nullptr)) fd = fio::open_regular(name, 1);
    }
    // Something else under the name (a FIFO would block the reader) is
    // refused with the open's report rather than passed over.
    if (fd == MSFIO_NONE && type != 'r') {
        fd = fio::open_regular(name, 1);
        if (fd == MSFIO_NONE) return false;
    }
    if (fd != MSFIO_NONE) {
        f.handle = fd;
        return read_header(f);
    }
    std::memcpy(name, kStorePrefix, sizeof kStorePrefix - 1);
    std::memcpy(name + sizeof kStorePrefix - 1, suffix, suffix_length + 1);
    auto stored = store::find(name);
    return stored && open_bytes(f, *stored);
}

bool refuse_long_prefix(const char *prefix) noexcept {
    mserror_seterr_os(ENAMETOOLONG);
    mserror_seterr_1arg_str(err::kCannotOpenFile, prefix);
    return false;
}

bool open_bytes(File &f, std::string_view bytes) noexcept {
    f = File{};
    f.handle = 0;
    f.from_store = 1;
    f.data = reinterpret_cast<const unsigned char *>(bytes.data());
    f.size = static_cast<int64_t>(bytes.size());
    return read_header(f);
}

bool read(File &f, uint32_t id, char *area) noexcept {
    if (!is_open(f)) {
        mserror_reset_seterr(err::kNoNlsFile, 0);
        return false;
    }
    if (id == 0 || id > 0xFFFF) return false;  // a file holds 16-bit ids only
    MutexGuard lock(&g_lock);
    uint32_t offset = 0;
    return find_offset(f, id, reinterpret_cast<unsigned char *>(area), &offset) && read_text(f, offset, area);
}

void close(File &f) noexcept {
    if (is_open(f) && !f.from_store) {
        errstack::QuietScope quiet;
        msfio_close(f.handle);
    }
    f = File{};
}

const char *stored_text(const char *suffix, uint32_t id) noexcept {
    static constexpr char kStorePrefix[] = "nls/nlsfile_";
    char name[64];
    size_t suffix_length = std::strlen(suffix);
    if (id == 0 || id > 0xFFFF || sizeof kStorePrefix + suffix_length > sizeof name) return nullptr;
    std::memcpy(name, kStorePrefix, sizeof kStorePrefix - 1);
    std::memcpy(name + sizeof kStorePrefix - 1, suffix, suffix_length + 1);
    auto stored = store::find(name);
    if (!stored) return nullptr;
    // A private record over constant bytes: nothing shares its position.
    errstack::QuietScope quiet;
    File f;
    char area[kAreaSize];
    uint32_t offset = 0;
    if (!open_bytes(f, *stored) || !find_offset(f, id, reinterpret_cast<unsigned char *>(area), &offset) ||
        offset >= f.size) {
        return nullptr;
    }
    size_t room = static_cast<size_t>(f.size - offset);
    if (room > static_cast<size_t>(kAreaSize)) room = kAreaSize;
    return std::memchr(f.data + offset, '\0', room) != nullptr ? reinterpret_cast<const char *>(f.data + offset)
                                                               : nullptr;
}

bool lock_init() noexcept { return msthread_mutex_init(&g_lock) != 0; }

void lock_end() noexcept { msthread_mutex_destroy(&g_lock); }

}  // namespace qrv::nls
