// Names and directories: removal, renaming, creation, existence checks,
// absolute directory names and listings.
#include <cerrno>
#include <cstring>

#include "base/errids.h"
#include "base/registry.h"
#include "base/space.h"
#include "io/fio.h"
#include "mserror.h"
#include "msos.h"
#include "os/os_internal.h"

struct msfio_dir {
    qrv_handle search;
    int state;  // one of the State values
    msos_find_data entry;
};

namespace qrv::fio {
namespace {

enum State { kEntryReady, kNeedNext, kEnded };

constexpr size_t kPatternSize = 1024;
constexpr size_t kNameSize = 256;
constexpr size_t kJoinSize = 1025;

void report_path(int os_error, int32_t id, const char *path) {
    mserror_seterr_os(os_error);
    mserror_seterr_1arg_str(id, path);
    errno = os_error;
}

// directory '/' text into out (size bytes): false when it does not fit.
bool join(char *out, size_t size, const char *directory, const char *text) {
    size_t a = std::strlen(directory);
    size_t b = std::strlen(text);
    if (a + 1 + b + 1 > size) return false;
    std::memcpy(out, directory, a);
    out[a] = '/';
    std::memcpy(out + a + 1, text, b + 1);
    return true;
}

// The listing pattern: the prefix taken literally, then every name.
bool make_pattern(char *out, const char *directory, const char *prefix) {
    char name[kPatternSize];
    size_t n = 0;
    for (const char *p = prefix != nullptr ? prefix : ""; *p != '\0'; ++p) {
        if (n + 2 >= sizeof name) return false;
        if (std::strchr("*?[]\\", *p) != nullptr) name[n++] = '\\';
        name[n++] = *p;
    }
    if (n + 4 > sizeof name) return false;
    std::memcpy(name + n, "*.*", 4);
    return join(out, kPatternSize, directory, name);
}

// Copies name cut to size - 1 bytes, never leaving half a UTF-8 sequence.
void copy_name(char *buffer, int size, const char *name) {
    size_t length = std::strlen(name);
    auto room = static_cast<size_t>(size - 1);
    if (length > room) {
        length = room;
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(buffer, name, length);
    buffer[length] = '\0';
}

bool is_dot_entry(const char *name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// Removes the entries of directory that begin with prefix; directories
// recursively when recurse, else they stop the removal.
bool remove_entries(const char *directory, const char *prefix, bool recurse) {
    msfio_dir *listing = msfio_opendir(directory, prefix);
    if (listing == nullptr) return false;
    char name[kNameSize];
    char path[kJoinSize];
    bool ok = true;
    while (ok) {
        if (!msfio_readdir(listing, name, sizeof name)) {
            ok = false;
            break;
        }
        if (name[0] == '\0') break;
        if (is_dot_entry(name)) continue;
        if (!join(path, sizeof path, directory, name)) {
            mserror_seterr_os(ENAMETOOLONG);
            mserror_seterr_1arg_str(err::kCannotRemoveFile, name);
            ok = false;
        } else if (os::is_real_directory(path)) {
            ok = recurse && msfio_dir_rm_all(path);
            if (!recurse) report_path(EISDIR, err::kCannotRemoveFile, path);  // files only: it stops here
        } else {
            ok = msfio_remove(path) != 0;
        }
    }
    msfio_closedir(listing);
    return ok;
}

}  // namespace
}  // namespace qrv::fio

using qrv::fio::report_path;
namespace err = qrv::err;

extern "C" {

QRV_API int msfio_remove(const char *path) noexcept {
    if (qrv::os::is_nul_name(path)) {
        mserror_reset_seterr_1arg_str(err::kCannotRemoveFile, path);
        return 0;
    }
    if (msos_unlink(path) == 0 || errno == ENOENT) return 1;
    report_path(errno, err::kCannotRemoveFile, path);
    return 0;
}

QRV_API int msfio_rename(const char *from, const char *to) noexcept {
    if (qrv::os::is_nul_name(from) || qrv::os::is_nul_name(to)) {
        mserror_reset_seterr_2arg_str(err::kCannotRenameFile, from, to);
        return 0;
    }
    if (msos_rename(from, to) == 0) return 1;
    int saved = errno;
    mserror_seterr_os(saved);
    if (saved == EXDEV) {
        mserror_seterr(err::kCannotRenameAcrossDevices, 0);
    } else {
        mserror_seterr_2arg_str(err::kCannotRenameFile, from, to);
    }
    errno = saved;
    return 0;
}

QRV_API int msfio_move_file(const char *from, const char *to) noexcept { return msfio_rename(from, to); }

QRV_API int msfio_mkdir(const char *path) noexcept { return mseos_mkdir(path) == 0 ? 1 : 0; }

QRV_API int msfio_rmdir(const char *path) noexcept { return mseos_rmdir(path) == 0 ? 1 : 0; }

QRV_API int msfio_dir_exists(const char *path, const char *name) noexcept {
    switch (msfio_exists(path)) {
        case 1:
            return 1;
        case 0:
            mserror_reset_seterr_1arg_str(err::kDirectoryMissing, name);
            return 0;
        default:
            mserror_reset_seterr_1arg_str(err::kNotADirectory, name);
            return 0;
    }
}

QRV_API int msfio_dir_exists_not(const char *path, const char *name) noexcept {
    switch (msfio_exists(path)) {
        case 0:
            return 1;
        case 1:
            mserror_reset_seterr_1arg_str(err::kDirectoryExists, name);
            return 0;
        default:
            mserror_reset_seterr_1arg_str(err::kNotADirectory, name);
            return 0;
    }
}

QRV_API int msfio_abs_dir(const char *path, char *buffer, int size) noexcept {
    char full[4096];
    int length = buffer != nullptr ? msos_getfullpathname(path, sizeof full, full, nullptr) : 0;
    int problem = 0;
    if (buffer == nullptr) {
        problem = EINVAL;
    } else if (length == 0) {
        problem = errno;
    } else if (length >= static_cast<int>(sizeof full)) {
        problem = ENAMETOOLONG;
    } else if (uint32_t a = msos_getfileattributes(full); a == MSOS_INVALID_FILE_ATTRIBUTES) {
        problem = errno;
    } else if ((a & MSOS_FILE_ATTRIBUTE_DIRECTORY) == 0) {
        problem = ENOTDIR;
    } else if (length + 1 > size) {
        problem = ERANGE;
    }
    if (problem != 0) {
        report_path(problem, err::kCannotAccessDirectory, path);
        return 0;
    }
    std::memcpy(buffer, full, static_cast<size_t>(length) + 1);
    return 1;
}

QRV_API msfio_dir *msfio_opendir(const char *directory, const char *prefix) noexcept {
    char pattern[qrv::fio::kPatternSize];
    if (directory == nullptr || !qrv::fio::make_pattern(pattern, directory, prefix)) {
        report_path(directory == nullptr ? EINVAL : ENAMETOOLONG, err::kCannotOpenDirectory, directory);
        return nullptr;
    }
    auto *listing = qrv::space::get_handle_zeroed<msfio_dir>(qrv::space::Kind::listing);
    if (listing == nullptr) return nullptr;
    listing->search = msos_findfirstfile(pattern, &listing->entry);
    listing->state = qrv::fio::kEntryReady;
    if (listing->search == QRV_INVALID_HANDLE) {
        int saved = errno;
        if (msfio_exists(directory) == 1) {  // nothing matched: an empty listing
            listing->state = qrv::fio::kEnded;
            return listing;
        }
        qrv::space::release_handle(qrv::space::Kind::listing, listing);
        report_path(saved, err::kCannotOpenDirectory, directory);
        return nullptr;
    }
    return listing;
}

QRV_API int msfio_readdir(msfio_dir *listing, char *buffer, int size) noexcept {
    bool listed = qrv::space::is_live(qrv::space::Kind::listing, listing);
    if (!listed || buffer == nullptr || size < 1) {
        mserror_seterr_os(listing != nullptr && !listed ? EBADF : EINVAL);
        mserror_seterr(err::kCannotReadDirectory, 0);
        return 0;
    }
    if (listing->state == qrv::fio::kNeedNext) {
        if (msos_findnextfile(listing->search, &listing->entry)) {
            listing->state = qrv::fio::kEntryReady;
        } else if (errno == MSOS_NO_MORE_FILES) {
            listing->state = qrv::fio::kEnded;
        } else {
            int saved = errno;
            mserror_seterr_os(saved);
            mserror_seterr(err::kCannotReadDirectory, 0);
            return 0;
        }
    }
    if (listing->state == qrv::fio::kEnded) {
        buffer[0] = '\0';
        return 1;
    }
    qrv::fio::copy_name(buffer, size, listing->entry.name);
    listing->state = qrv::fio::kNeedNext;
    return 1;
}

QRV_API int msfio_closedir(msfio_dir *listing) noexcept {
    if (listing == nullptr) return 0;
    if (!qrv::space::retire(qrv::space::Kind::listing, listing)) {
        mserror_seterr_os(EBADF);
        return 0;
    }
    if (listing->search != QRV_INVALID_HANDLE) msos_findclose(listing->search);
    qrv::space::release(listing);
    return 1;
}

QRV_API int msfio_dir_rm_all(const char *path) noexcept {
    if (!qrv::os::is_real_directory(path)) return msfio_remove(path);
    if (!qrv::fio::remove_entries(path, nullptr, true)) return 0;
    return msfio_rmdir(path);
}

QRV_API int msfio_dir_rm_files(const char *directory, const char *prefix) noexcept {
    return qrv::fio::remove_entries(directory, prefix, false) ? 1 : 0;
}

}  // extern "C"
