// Program execution for the build tools and the product's programs: a
// command with optional input and output files, the product programs under
// <installation>/rdbms/exec with the arguments that pass on the caller's
// name and stream redirections, and the form that ends the caller with the
// child's status.
#include <cstring>

#include "base/errids.h"
#include "bin/internal.h"
#include "msbasic.h"
#include "mserror.h"
#include "msfio.h"
#include "msnlsmsg.h"
#include "msos.h"
#include "mssio.h"
#include "mstmp.h"

namespace {

namespace err = qrv::err;

constexpr int kPath = 1024;
// The elements of a caller's vector (its own name included) that are
// passed on at most, and the slots for the name, the passed-on pairs, the
// extra argument and the end.
constexpr int kMaxCallerElements = 2000;
constexpr int kVectorSlots = kMaxCallerElements + 10;

class OpenFile {
public:
    ~OpenFile() {
        if (fd_ != MSFIO_NONE) msfio_close(fd_);
    }
    bool open(const char *path, bool create) {
        fd_ = create ? msfio_create(path, 1, 7, 0) : msfio_open(path, 1, 'r');
        // The spawn copies the file onto the child's descriptor itself; left
        // close-on-exec, the child holds no second copy. Only a file that
        // already has a standard descriptor's number must survive the exec.
        return fd_ != MSFIO_NONE && (handle() > 2 || msfio_inherit_set(fd_, 1));
    }
    qrv_handle handle() const { return msfio_win_osfd_get(fd_); }

private:
    msfio_fd fd_ = MSFIO_NONE;
};

bool product_program(const char *name, char *path) {
    if (name == nullptr || name[0] == '\0') {
        mserror_reset_seterr(err::kNoProgramName, 0);
        return false;
    }
    const char *installation = msbasic_get_quorvelpath();
    if (!mspath_mkpath_multi(path, kPath, installation != nullptr ? installation : "", "rdbms", "exec", name,
                             nullptr)) {
        mserror_reset_seterr_1arg_str(err::kCannotStartProgram, name);
        return false;
    }
    return true;
}

// The passed-on vector: the name, "-MSPROGNAME" and this program's name,
// with `replacing` the redirections of the standard streams and extra,
// then the caller's arguments from its element 1.
class PassedOn {
public:
    bool build(const char *name, const char *extra, char *const argv[], bool replacing) {
        used_ = 0;
        add(name);
        add("-MSPROGNAME");
        const char *progname = msbasic_get_progname();
        add(progname != nullptr ? progname : "");
        if (replacing) {
            pair("-MSSTDIN", mssio_get_stdin_name());
            pair("+MSSTDOUT", mssio_get_stdout_name());
            pair("+MSSTDERR", mssio_get_stderr_name());
            if (extra != nullptr) add(extra);
        }
        for (int i = 1; argv != nullptr && argv[0] != nullptr && argv[i] != nullptr; ++i) {
            if (i >= kMaxCallerElements) {
                mserror_reset_seterr(err::kTooManyArguments, 0);
                return false;
            }
            add(argv[i]);
        }
        slots_[used_] = nullptr;
        return true;
    }
    char *const *argv() const { return slots_; }

private:
    void add(const char *text) { slots_[used_++] = const_cast<char *>(text); }
    void pair(const char *key, const char *file) {
        if (file == nullptr) return;
        add(key);
        add(file);
    }
    char *slots_[kVectorSlots] = {};
    int used_ = 0;
};

int spawn_product(const char *name, char *const argv[], int wait, int *status) {
    if (status != nullptr) *status = 0;
    char path[kPath];
    if (!product_program(name, path)) return 0;
    PassedOn vector;
    if (!vector.build(name, nullptr, argv, false)) return 0;
    return msbin_sys_spawn_io(path, vector.argv(), nullptr, nullptr, wait, status);
}

}  // namespace

extern "C" {

QRV_API int msbin_sys_spawn_io(const char *program, char *const argv[], const char *input_file, const char *output_file,
                               int wait, int *status) noexcept {
    if (program == nullptr || program[0] == '\0') {
        mserror_reset_seterr(err::kNoProgramName, 0);
        return 0;
    }
    qrv_handle handles[3] = {QRV_INVALID_HANDLE, QRV_INVALID_HANDLE, QRV_INVALID_HANDLE};
    OpenFile input, output;
    if (input_file != nullptr) {
        if (!input.open(input_file, false)) return 0;
        handles[0] = input.handle();
    }
    if (output_file != nullptr) {
        if (!output.open(output_file, true)) return 0;
        handles[1] = output.handle();
    }
    uint32_t code = msos_spawnvp_io(program, argv, wait, handles);
    if (code == MSOS_SPAWN_FAILED) {
        mserror_reset_seterr_1arg_str(err::kCannotStartProgram, program);
        return 0;
    }
    if (status != nullptr) *status = wait ? static_cast<int>(code) : 0;
    return 1;
}

QRV_API int msbin_error_child(int started, int status, uint32_t error_id, const char *name) noexcept {
    if (!started) return 0;
    if (status == 0) return 1;
    if (error_id == MSBIN_NO_ERROR) return 0;
    mserror_reset_seterr_1arg_str(static_cast<int32_t>(error_id), name);
    return 0;
}

QRV_API int msbin_quorvel_spawn(const char *name, char *const argv[], int *status) noexcept {
    return spawn_product(name, argv, 1, status);
}

QRV_API int msbin_quorvel_spawn_nowait(const char *name, char *const argv[], int *status) noexcept {
    return spawn_product(name, argv, 0, status);
}

QRV_API int msbin_sys_exec(const char *program, char *const argv[]) noexcept {
    if (program == nullptr || program[0] == '\0') {
        mserror_reset_seterr(err::kNoProgramName, 0);
        return msprtmsg_stderr();
    }
    // What this process wrote so far comes before the child's output.
    mssio_flush(mssio_get_stdout());
    mssio_flush(mssio_get_stderr());
    uint32_t code = mseos_spawnvp_wait(program, argv);
    if (code == MSOS_SPAWN_FAILED) {
        mserror_reset_seterr_1arg_str(err::kCannotStartProgram, program);
        return msprtmsg_stderr();
    }
    msbasic_end_main(msbin_init_cascade);
    msos_exit(static_cast<int>(code));
}

QRV_API int msbin_quorvel_exec(const char *name, const char *extra, char *const argv[]) noexcept {
    char path[kPath];
    if (!product_program(name, path)) return msprtmsg_stderr();
    static PassedOn vector;  // large; the process ends with this call
    if (!vector.build(name, extra, argv, true)) return msprtmsg_stderr();
    return msbin_sys_exec(path, vector.argv());
}

}  // extern "C"
