// The database description file ("tabzero.txt") upgrade, variable-file
// updates and whole-file copies.
//
// Every rewrite goes the same way: the new content is written to a file in
// the same directory, synced, and renamed over the old file in one step, so
// a crash leaves the old file or the new one, whole. Files are read in
// pieces of at most a line's length; a longer line is copied through whole
// and only its first piece is looked at.
#include <errno.h>

#include <cstdio>
#include <cstring>

#include "base/errids.h"
#include "bin/internal.h"
#include "msbin.h"
#include "msconn.h"
#include "mscv.h"
#include "mserror.h"
#include "msfio.h"
#include "mssio.h"
#include "mstmp.h"
#include "os/os_internal.h"

namespace {

namespace err = qrv::err;

constexpr int kPath = 4096;
constexpr int kLine = MSBIN_TABZERO_VALUE_SIZE;  // a tabzero line, line feed included
constexpr int kVarLine = 256;                    // a variable-file line
constexpr int kKey = 64;                         // "name=" of a variable file
constexpr int kCopyBlock = 4096;

void report_invalid() {
    mserror_reset();
    mserror_seterr_os(EINVAL);
}

// Buffered output to a descriptor; remembers whether the last byte ended a
// line, so that an added line never runs on from a last line without one.
class Writer {
public:
    explicit Writer(msfio_fd fd) : fd_(fd) {}
    bool put(const char *data, size_t n) {
        if (n == 0) return ok_;
        last_ = data[n - 1];
        while (ok_ && n > 0) {
            if (used_ == sizeof buffer_) flush();
            size_t take = n < sizeof buffer_ - used_ ? n : sizeof buffer_ - used_;
            std::memcpy(buffer_ + used_, data, take);
            used_ += take, data += take, n -= take;
        }
        return ok_;
    }
    bool text(const char *s) { return put(s, std::strlen(s)); }
    // Starts an added line: a line feed first when the last line is open.
    bool open_line() { return last_ == '\n' || put("\n", 1); }
    bool flush() {
        if (ok_ && used_ > 0) ok_ = msfio_write(fd_, buffer_, static_cast<int>(used_)) == static_cast<int>(used_);
        used_ = 0;
        return ok_;
    }

private:
    msfio_fd fd_;
    char buffer_[kCopyBlock];
    size_t used_ = 0;
    char last_ = '\n';
    bool ok_ = true;
};

// Reads a file in pieces of at most size - 1 bytes, each ending at a line
// feed or where the room ended. With continuations, a line after one that
// ends in a backslash belongs to that line's value and is no key line.
class LineReader {
public:
    LineReader(mssio_stream *stream, int size, bool continuations)
        : stream_(stream), size_(size), continuations_(continuations) {}
    // 1 with a piece, 0 at the end, -1 on a read error.
    int next() {
        starts_line_ = at_start_;
        key_line_ = at_start_ && !continued_;
        int n = mssio_readline(stream_, buffer_, size_ - 1);
        if (n <= 0) return n < 0 ? -1 : 0;
        buffer_[n] = '\0';
        length_ = n;
        ends_line_ = buffer_[n - 1] == '\n';
        content_ = n - (ends_line_ ? 1 : 0);
        if (ends_line_ && content_ > 0 && buffer_[content_ - 1] == '\r') --content_;
        if (starts_line_) last_ = '\0';
        if (content_ > 0) last_ = buffer_[content_ - 1];
        at_start_ = ends_line_;
        if (ends_line_) continued_ = continuations_ && last_ == '\\';
        return 1;
    }
    const char *data() const { return buffer_; }
    int length() const { return length_; }    // with the line end
    int content() const { return content_; }  // without it (CR LF or LF)
    bool key_line() const { return key_line_; }
    bool starts_line() const { return starts_line_; }
    bool ends_line() const { return ends_line_; }

private:
    mssio_stream *stream_;
    int size_;
    bool continuations_;
    char buffer_[kLine + 1];
    int length_ = 0, content_ = 0;
    bool at_start_ = true, continued_ = false, starts_line_ = true, key_line_ = true, ends_line_ = true;
    char last_ = '\0';
};

bool has_key(const char *p, int n, const char *key) {
    size_t k = std::strlen(key);
    return static_cast<size_t>(n) >= k && std::memcmp(p, key, k) == 0;
}

// Copies n bytes (cut to the room) as a string.
void copy_value(char *out, const char *p, int n, int room = kLine) {
    if (n > room - 1) n = room - 1;
    if (n < 0) n = 0;
    std::memcpy(out, p, static_cast<size_t>(n));
    out[n] = '\0';
}

int copy_fd(msfio_fd out, msfio_fd in) {
    char block[kCopyBlock];
    for (;;) {
        int n = msfio_read(in, block, sizeof block);
        if (n == 0) return 1;
        if (n < 0 || msfio_write(out, block, n) != n) return 0;
    }
}

// Clean-up after a failure: the failure's report stays on top.
void remove_quietly(const char *path) {
    int32_t top = 0, used = 0;
    mserror_stack_save(&top, &used);
    msfio_remove(path);
    mserror_stack_restore(top, used);
}

// Syncs and closes the new file and renames it over target; on any failure
// the new file goes and target stays as it was.
int commit(msfio_fd fd, const char *temp, const char *target) {
    int ok = msfio_sync(fd);
    ok = msfio_close(fd) && ok;
    if (ok && qrv::os::rename_replace(temp, target) != 0) {
        int saved = errno;
        mserror_seterr_os(saved);
        mserror_seterr_2arg_str(err::kCannotRenameFile, temp, target);
        ok = 0;
    }
    if (!ok) remove_quietly(temp);
    return ok;
}

void discard(msfio_fd fd, const char *temp) {
    int32_t top = 0, used = 0;
    mserror_stack_save(&top, &used);
    msfio_close(fd);
    mserror_stack_restore(top, used);
    remove_quietly(temp);
}

// What the first pass learns of the file.
struct Facts {
    int major = 0, minor = 0;
    bool validate = false, public_rights = false, cipher = false, truncation = false, id = false;
    bool split_dfc = false;
};

// The upgrade class and the validate-size value to add (null: none).
int upgrade_class(const Facts &f, const char **validate_value) {
    const char *add = nullptr;
    int cls;
    if (f.major == MSBIN_TABZERO_MAJOR && f.minor == MSBIN_TABZERO_MINOR) {
        cls = 3;
    } else if (f.major == 8 && f.minor >= 61 && f.minor <= 99) {
        cls = 2, add = "440";
    } else if (f.major == 8 || f.major == 9) {
        cls = 1, add = "440";
    } else if (f.major >= 10) {
        cls = 1;
    } else if (f.major == 6 && f.minor >= 1 && f.minor <= 7) {
        cls = 1, add = "000";
    } else if (f.major == 6 && f.minor >= 8) {
        cls = 1, add = "440";
    } else {
        cls = 0, add = "000";
    }
    *validate_value = f.validate ? nullptr : add;
    return cls;
}

// First pass: the values handed back and the facts for the second.
bool read_facts(mssio_stream *in, Facts &f, char *dfc, char *block_size, char *validate_size) {
    LineReader lines(in, kLine, true);
    bool seen_block_size = false;
    for (int got; (got = lines.next()) != 0;) {
        if (got < 0) return false;
        if (!lines.key_line()) continue;
        const char *p = lines.data();
        int n = lines.content();
        while (n > 0 && (*p == ' ' || *p == '\t')) ++p, --n;
        if (has_key(p, n, "MSDBVERSION=")) {
            char value[kLine];
            copy_value(value, p + 12, n - 12);
            char *dot = std::strchr(value, '.');
            if (dot != nullptr) {
                *dot = '\0';
                if (!mscv_ai(&f.minor, dot + 1)) return false;
            }
            if (!mscv_ai(&f.major, value)) return false;
        } else if (has_key(p, n, "MSDBVALIDATESIZE=")) {
            f.validate = true;
            std::memcpy(validate_size, "MSVALIDATESIZE=", 15);
            copy_value(validate_size + 15, p + 17, n - 17, kLine - 15);
        } else if (has_key(p, n, "MSDBDFC=")) {
            copy_value(dfc, p + 8, n - 8);
        } else if (has_key(p, n, "MSDBBLOCKSIZE=")) {
            copy_value(block_size, p + 14, n - 14);
            seen_block_size = true;
        } else if (has_key(p, n, "MSDBPUBLICPRIVILEGES=") || has_key(p, n, "MSDBPUBLICDBA=")) {
            f.public_rights = true;
        } else if (has_key(p, n, "MSDBCIPHERNAME=")) {
            f.cipher = true;
        } else if (has_key(p, n, "MSDBFILETRUNCATION=")) {
            f.truncation = true;
        } else if (has_key(p, n, "MSDBID=")) {
            f.id = true;
        }
    }
    if (!seen_block_size) {
        f.split_dfc = true;
        size_t len = std::strlen(dfc);
        copy_value(block_size, dfc + (len > 3 ? 3 : len), static_cast<int>(len > 3 ? len - 3 : 0));
        if (len > 3) dfc[3] = '\0';
    }
    return true;
}

// Second pass: the file in the current format.
bool write_upgraded(mssio_stream *in, Writer &out, const Facts &f, const char *dfc, const char *block_size,
                    const char *validate_value) {
    LineReader lines(in, kLine, true);
    bool watch_granularity = false, skip_rest = false, pending_codeset = false, pending_validate = false;
    int others = 0;
    auto flush_pending = [&]() {
        if (pending_codeset) {
            if (!f.cipher) out.text("\nMSDBCIPHERNAME=\nMSDBCIPHERKEYVERIFY=\n");
            if (!f.truncation) out.text("\nMSDBFILETRUNCATION=auto\n");
            if (!f.id) out.text("\nMSDBID=\n");
        }
        if (pending_validate) {
            char line[64];
            std::snprintf(line, sizeof line, "MSDBVALIDATESIZE=%s\n", validate_value);
            out.open_line();
            out.text(line);
        }
        pending_codeset = pending_validate = false;
    };
    for (int got; (got = lines.next()) != 0;) {
        if (got < 0) return false;
        const char *p = lines.data();
        int n = lines.content();
        if (!lines.key_line()) {
            if (lines.starts_line()) watch_granularity = false;  // a continuation: the value goes on
            if (!skip_rest) out.put(p, static_cast<size_t>(lines.length()));
        } else {
            skip_rest = false;
            bool copy = true;
            if (watch_granularity) {
                watch_granularity = false;
                if (!has_key(p, n, "MSDBLOCKGRANULARITY=")) {
                    out.text("MSDBLOCKGRANULARITY=1\n");
                } else {
                    out.put(p, static_cast<size_t>(lines.length()));
                    copy = false;
                }
            }
            if (!copy) {
            } else if (has_key(p, n, "MSDBLOCKLEVEL=")) {
                out.put(p, static_cast<size_t>(lines.length()));
                watch_granularity = true;
            } else if (has_key(p, n, "MSDBLOCKGRANULARITY=") || has_key(p, n, "MSDBVERSION_FEATURES=") ||
                       has_key(p, n, "MSDBDICTINDEX=") || has_key(p, n, "MSDBDICTTABLENUMBER=")) {
                skip_rest = true;
            } else if (has_key(p, n, "MSDBVERSION=")) {
                char line[64];
                std::snprintf(line, sizeof line, "MSDBVERSION=%d.%02d\n", MSBIN_TABZERO_MAJOR, MSBIN_TABZERO_MINOR);
                out.text(line);
                skip_rest = true;
            } else if (has_key(p, n, "MSDBPUBLICPRIVILEGES=")) {
                out.text("MSDBPUBLICDBA=");
                out.put(p + 21, static_cast<size_t>(lines.length() - 21));
            } else if (f.split_dfc && has_key(p, n, "MSDBDFC=")) {
                if (!f.public_rights) out.text("MSDBPUBLICDBA=\\\n  [SYS_OS_WIN32]\n  [ALL]\n\n");
                out.text("MSDBDFC=");
                out.text(dfc);
                out.text("\nMSDBBLOCKSIZE=");
                out.text(block_size);
                out.text("\n");
                skip_rest = true;
            } else if (has_key(p, n, "MSDBCODESET=")) {
                out.put(p, static_cast<size_t>(lines.length()));
                pending_codeset = true;
            } else {
                out.put(p, static_cast<size_t>(lines.length()));
                if (validate_value != nullptr && ++others == 11) pending_validate = true;
            }
        }
        if (lines.ends_line()) {
            skip_rest = false;
            flush_pending();
        }
    }
    flush_pending();
    return out.flush();
}

// The name of the new file: the connection's next temporary name, in dir.
bool temp_beside(char *out, const char *directory) {
    char tmp[kPath];
    if (!mstmp_newfile(tmp, sizeof tmp, msconn_get_task())) return false;
    return mspath_mkpath(out, kPath, directory, mspath_tailname(tmp)) != 0;
}

}  // namespace

QRV_API int msbin_upd_tabzero(const char *directory, char *dfc, char *block_size, char *validate_size) noexcept {
    if (directory == nullptr || dfc == nullptr || block_size == nullptr || validate_size == nullptr) {
        report_invalid();
        return 0;
    }
    dfc[0] = block_size[0] = validate_size[0] = '\0';
    char path[kPath];
    if (!(mspath_mkpath(path, sizeof path, directory, "tabzero.txt") && qrv::bin::is_regular_file(path)) &&
        !(mspath_mkpath(path, sizeof path, directory, "tabzero") && qrv::bin::is_regular_file(path))) {
        mserror_reset_seterr_1arg_str(err::kTabzeroMissing, directory);
        return 0;
    }
    mssio_stream *in = mssio_open_ex(path, 1, "r");
    if (in == nullptr) return 0;
    Facts facts;
    if (!read_facts(in, facts, dfc, block_size, validate_size)) {
        mssio_close(in);
        return 0;
    }
    const char *validate_value = nullptr;
    int cls = upgrade_class(facts, &validate_value);

    char temp[kPath];
    msfio_fd fd = MSFIO_NONE;
    if (!temp_beside(temp, directory) || (fd = msfio_create(temp, 1, 0, 1)) == MSFIO_NONE) {
        mssio_close(in);
        return 0;
    }
    Writer out(fd);
    bool written = mssio_seek(in, 0) == 0 && write_upgraded(in, out, facts, dfc, block_size, validate_value);
    mssio_close(in);
    if (!written) {
        discard(fd, temp);
        return 0;
    }
    return commit(fd, temp, path) ? cls : 0;
}

QRV_API int msbin_update_varfile(const char *path, const char *name, const char *value, int keep_backup) noexcept {
    if (path == nullptr || name == nullptr || value == nullptr) {
        report_invalid();
        return 0;
    }
    msfio_fd probe = msfio_open(path, 1, 'a');
    if (probe == MSFIO_NONE) return 0;
    msfio_close(probe);
    char key[kKey], temp[kPath];
    if (std::snprintf(key, sizeof key, "%s=", name) >= static_cast<int>(sizeof key) ||
        std::snprintf(temp, sizeof temp, "%s.tmp", path) >= static_cast<int>(sizeof temp)) {
        report_invalid();
        return 0;
    }
    mssio_stream *in = mssio_open_ex(path, 1, "r");
    if (in == nullptr) return 0;
    msfio_fd fd = msfio_create(temp, 1, 0, 0);
    if (fd == MSFIO_NONE) {
        mssio_close(in);
        return 0;
    }
    Writer out(fd);
    LineReader lines(in, kVarLine, false);
    bool replaced = false, skip_rest = false, ok = true;
    for (int got; (got = lines.next()) != 0;) {
        if (got < 0) {
            ok = false;
            break;
        }
        if (lines.starts_line()) skip_rest = false;
        if (!replaced && lines.starts_line() && has_key(lines.data(), lines.content(), key)) {
            out.text(key), out.text(value), out.text("\n");
            replaced = skip_rest = true;
        } else if (!skip_rest) {
            out.put(lines.data(), static_cast<size_t>(lines.length()));
        }
    }
    mssio_close(in);
    if (ok && !replaced) out.open_line(), out.text(key), out.text(value), out.text("\n");
    if (!ok || !out.flush()) {
        discard(fd, temp);
        return 0;
    }
    char backup[kPath + 8] = "";
    if (keep_backup) {
        int number = 0;
        for (; number < 1000; ++number) {
            std::snprintf(backup, sizeof backup, "%s.%03d", path, number);
            if (msfio_exists(backup) == 0) break;
        }
        if (number == 1000) {
            discard(fd, temp);
            return 0;
        }
        // A copy, not a rename: the file's name holds the old content until
        // the new one replaces it.
        msfio_fd src = msfio_open(path, 1, 'r');
        msfio_fd dst = src == MSFIO_NONE ? MSFIO_NONE : msfio_create(backup, 1, 0, 1);
        int copied = dst != MSFIO_NONE && copy_fd(dst, src) && msfio_sync(dst);
        if (dst != MSFIO_NONE) copied = msfio_close(dst) && copied;
        if (src != MSFIO_NONE) msfio_close(src);
        if (!copied) {
            if (dst != MSFIO_NONE) remove_quietly(backup);
            discard(fd, temp);
            return 0;
        }
    }
    if (commit(fd, temp, path)) return 1;
    if (*backup) remove_quietly(backup);  // the update did not happen: nor did its backup
    return 0;
}

namespace {

// Copies in to out and closes both: 1 when all was copied and written.
int copy_into(msfio_fd out, msfio_fd in) {
    int ok = copy_fd(out, in);
    ok = msfio_close(out) && ok;
    msfio_close(in);
    return ok;
}

// A file copied over or appended to itself would be emptied or grow without
// end: refused with EINVAL and 16473 naming the destination.
bool refuse_same_file(const char *destination, const char *source) {
    if (!qrv::os::same_file(destination, source)) return false;
    mserror_seterr_os(EINVAL);
    mserror_seterr_1arg_str(err::kCannotOpenFile, destination);
    return true;
}

}  // namespace

QRV_API int msbin_copy_file(const char *destination, const char *source) noexcept {
    if (refuse_same_file(destination, source)) return 0;
    msfio_fd in = msfio_open(source, 1, 'r');
    if (in == MSFIO_NONE) return 0;
    msfio_fd out = msfio_create(destination, 1, 0, 0);
    if (out == MSFIO_NONE) {
        msfio_close(in);
        return 0;
    }
    return copy_into(out, in);
}

QRV_API int msbin_concat_file(const char *destination, const char *source) noexcept {
    if (refuse_same_file(destination, source)) return 0;
    msfio_fd in = msfio_open(source, 1, 'r');
    if (in == MSFIO_NONE) return 0;
    int32_t top = 0, used = 0;
    mserror_stack_save(&top, &used);
    msfio_fd out = msfio_open(destination, 1, 'a');
    if (out == MSFIO_NONE) {
        mserror_stack_restore(top, used);
        out = msfio_create(destination, 1, 0, 0);
    }
    if (out == MSFIO_NONE) {
        msfio_close(in);
        return 0;
    }
    return copy_into(out, in);
}
