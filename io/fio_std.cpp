// The standard descriptors, their redirection by MSSTDIN, MSSTDOUT and
// MSSTDERR, and the process's text-mode switch. Changed only by the library
// layer's init and end, which run under the frame's init lock.
#include <cerrno>
#include <cstring>

#include "base/space.h"
#include "io/fio.h"
#include "mserror.h"
#include "msos.h"
#include "os/os_internal.h"

namespace qrv::fio {
namespace {

constexpr int kIn = 0, kOut = 1, kErr = 2;

msfio_fd g_initial[3] = {MSFIO_NONE, MSFIO_NONE, MSFIO_NONE};
msfio_fd g_current[3] = {MSFIO_NONE, MSFIO_NONE, MSFIO_NONE};

// Decided once per process, at its first process init.
bool g_text_mode = false;
bool g_text_mode_decided = false;

// The value of a variable, or null when it is unset or empty.
const char *value_of(VariableReader read, const char *name) {
    const char *value = read(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// "+name" appends to name (creating it when it cannot be opened), any
// other value creates or truncates.
msfio_fd open_output(const char *value) {
    if (value[0] != '+') return msfio_create(value, 0, 0, 0);
    int32_t floor = mserror_cleanup_save();  // the open's failure is no news
    msfio_fd fd = msfio_open(value + 1, 0, 'a');
    mserror_cleanup_restore(floor);
    return fd != MSFIO_NONE ? fd : msfio_create(value + 1, 0, 0, 1);
}

void reset(int i) {
    if (g_current[i] != g_initial[i]) close_internal(g_current[i]);
    g_current[i] = g_initial[i];
}

}  // namespace

bool text_mode_on() noexcept { return g_text_mode; }

void set_text_mode(bool on) noexcept {
    g_text_mode = on;
    g_text_mode_decided = true;
}

void forget_text_mode() noexcept {
    g_text_mode = false;
    g_text_mode_decided = false;
}

bool is_current_standard(msfio_fd fd) noexcept {
    return fd != MSFIO_NONE && (fd == g_current[kIn] || fd == g_current[kOut] || fd == g_current[kErr]);
}

bool is_initial_standard(msfio_fd fd) noexcept {
    return fd != MSFIO_NONE && (fd == g_initial[kIn] || fd == g_initial[kOut] || fd == g_initial[kErr]);
}

bool redirect(VariableReader read) noexcept {
    const char *in = value_of(read, "MSSTDIN");
    const char *out = value_of(read, "MSSTDOUT");
    const char *err = value_of(read, "MSSTDERR");
    if (in != nullptr) {
        reset(kIn);
        msfio_fd fd = msfio_open(in, 0, 'r');
        if (fd == MSFIO_NONE) return false;
        g_current[kIn] = fd;
    }
    if (out != nullptr) {
        if (g_current[kErr] == g_current[kOut]) g_current[kErr] = g_initial[kErr];
        reset(kOut);
        msfio_fd fd = open_output(out);
        if (fd == MSFIO_NONE) return false;
        g_current[kOut] = fd;
    }
    if (err != nullptr) {
        if (g_current[kErr] == g_current[kOut]) {
            g_current[kErr] = g_initial[kErr];  // shared: output owns it
        } else {
            reset(kErr);
        }
        if (out != nullptr && std::strcmp(out, err) == 0) {
            g_current[kErr] = g_current[kOut];
        } else {
            msfio_fd fd = open_output(err);
            if (fd == MSFIO_NONE) return false;
            g_current[kErr] = fd;
        }
    }
    return true;
}

bool init(int mode, VariableReader read) noexcept {
    if (mode != MSBASIC_MODE_PROCESS) return true;
    if (!g_text_mode_decided) {
        const char *value = os::getenv("MSTEXTMODE");
        set_text_mode(value != nullptr && (value[0] | 0x20) == 'c' && (value[1] | 0x20) == 'r' &&
                      (value[2] | 0x20) == 'l' && (value[3] | 0x20) == 'f' && value[4] == '\0');
    }
    const uint32_t which[3] = {MSOS_STD_INPUT_HANDLE, MSOS_STD_OUTPUT_HANDLE, MSOS_STD_ERROR_HANDLE};
    for (int i = 0; i < 3; ++i) {
        g_initial[i] = make(msos_getstdhandle(which[i]), false);
        if (g_initial[i] == MSFIO_NONE) return false;
        g_current[i] = g_initial[i];
    }
    return redirect(read);
}

void end(int mode, int /*orderly*/) noexcept {
    if (mode != MSBASIC_MODE_PROCESS) return;
    if (g_current[kErr] != g_current[kOut]) close_internal(g_current[kErr]);
    close_internal(g_current[kOut]);
    close_internal(g_current[kIn]);
    for (int i = 0; i < 3; ++i) {
        if (g_initial[i] != MSFIO_NONE) discard(g_initial[i]);  // the handles stay open: they are the process's own
        g_initial[i] = g_current[i] = MSFIO_NONE;
    }
}

}  // namespace qrv::fio

extern "C" {

QRV_API msfio_fd msfio_get_stdin(void) noexcept { return qrv::fio::g_current[qrv::fio::kIn]; }

QRV_API msfio_fd msfio_get_stdout(void) noexcept { return qrv::fio::g_current[qrv::fio::kOut]; }

QRV_API msfio_fd msfio_get_stderr(void) noexcept { return qrv::fio::g_current[qrv::fio::kErr]; }

QRV_API int msfio_stdio(msfio_fd in, msfio_fd out, msfio_fd err) noexcept {
    const msfio_fd given[3] = {in, out, err};
    const uint32_t which[3] = {MSOS_STD_INPUT_HANDLE, MSOS_STD_OUTPUT_HANDLE, MSOS_STD_ERROR_HANDLE};
    qrv_handle handles[3];
    for (int i = 0; i < 3; ++i) {
        qrv::fio::Descriptor *d = given[i] != MSFIO_NULL ? qrv::fio::lookup(given[i]) : nullptr;
        if (given[i] != MSFIO_NULL && d == nullptr) {
            mserror_seterr_os(EBADF);
            return 0;
        }
        handles[i] = d != nullptr ? d->handle : QRV_INVALID_HANDLE;
    }
    for (int i = 0; i < 3; ++i) {
        if (!mseos_setstdhandle(which[i], handles[i])) return 0;
    }
    return 1;
}

}  // extern "C"
