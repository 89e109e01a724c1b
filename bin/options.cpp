// The build tools' options file (one parsed variable set per task, in the
// task's application workspace), the shared option errors and the printing
// of commands that are shown instead of run.
#include <cstring>

#include "base/errids.h"
#include "bin/internal.h"
#include "msbasic.h"
#include "mserror.h"
#include "msnlsmsg.h"
#include "mssio.h"
#include "mssp.h"
#include "mstask.h"
#include "mstmp.h"
#include "msvars.h"

namespace {

namespace err = qrv::err;

constexpr int kThreadStage = 3;
constexpr int kPath = 4096;

// What the task's application workspace points at.
struct OptionsHolder {
    msvars_set *vars;
};

OptionsHolder *holder() noexcept { return static_cast<OptionsHolder *>(mstask_api_get_task_application_ws()); }

msvars_set *read_installed_options() noexcept {
    char path[kPath];
    if (msbasic_quorvelpath_is_real() &&
        mspath_mkpath_multi(path, sizeof path, msbasic_get_quorvelpath(), "config", "options", nullptr)) {
        if (msvars_set *vars = msvars_readfile(path)) return vars;
    }
    char rom_name[64];
    mspath_mkpath(rom_name, sizeof rom_name, "config", "options");
    msvars_set *vars = msvars_readromfile(rom_name);
    if (vars != nullptr) mserror_reset();
    return vars;
}

int options_init(int mode) noexcept {
    if (mode == kThreadStage) return 1;
    OptionsHolder *slot = holder();
    if (slot == nullptr) {
        slot = static_cast<OptionsHolder *>(mssp_get_ex(sizeof(OptionsHolder), 0));
        if (slot == nullptr) return 0;
        slot->vars = nullptr;
        if (!mstask_api_set_task_application_ws(slot)) {
            mssp_free_rv(slot);
            return 0;
        }
    }
    if (slot->vars != nullptr) return 1;  // the task's stage after the process's
    slot->vars = read_installed_options();
    if (slot->vars == nullptr) {
        mserror_seterr(err::kOptionsFileUnreadable, 0);
        return 0;
    }
    return 1;
}

void options_end(int mode, int) noexcept {
    if (mode == kThreadStage) return;
    OptionsHolder *slot = holder();
    if (slot == nullptr) return;
    msvars_freevars(slot->vars);
    mssp_free_rv(slot);
    mstask_api_set_task_application_ws(nullptr);
}

// Writes to standard output in pieces, counting what was written.
class Printer {
public:
    void put(const char *text, size_t n) noexcept {
        while (n > 0) {
            if (used_ == sizeof buffer_) flush();
            size_t take = n < sizeof buffer_ - used_ ? n : sizeof buffer_ - used_;
            std::memcpy(buffer_ + used_, text, take);
            used_ += take, text += take, n -= take;
        }
    }
    void put(const char *text) noexcept { put(text, std::strlen(text)); }
    void put(char c) noexcept { put(&c, 1); }
    int finish() noexcept {
        flush();
        return ok_ ? written_ : 0;
    }

private:
    // Bytes, not a format: a precision would count display columns and
    // read the unterminated buffer to its end.
    void flush() noexcept {
        if (used_ == 0) return;
        int n = mssio_write(mssio_get_stdout(), buffer_, static_cast<int>(used_));
        if (n != static_cast<int>(used_)) ok_ = false;
        written_ += n < 0 ? 0 : n;
        used_ = 0;
    }
    char buffer_[4096];
    size_t used_ = 0;
    int written_ = 0;
    bool ok_ = true;
};

void put_quoted(Printer &out, const char *arg) noexcept {
    out.put('"');
    for (const char *p = arg; *p != '\0'; ++p) {
        if (*p == '"') out.put('\\');
        out.put(*p);
    }
    out.put('"');
}

}  // namespace

namespace qrv::bin {

bool feature_on(const char *value) noexcept { return non_empty(value) && std::strcmp(value, "no") != 0; }

const char *list_var(const char *name, char *buffer, size_t size, bool *overflow) noexcept {
    const char *value = msbin_optfile_getvar(name);
    if (value == nullptr) return nullptr;
    size_t n = std::strlen(value);
    if (n >= size) {
        if (overflow != nullptr) *overflow = true;
        mserror_reset_seterr(err::kArgumentsTooLong, 0);
        return nullptr;
    }
    for (size_t i = 0; i < n; ++i) {
        char c = value[i];
        bool space = c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
        buffer[i] = space ? '|' : c;
    }
    buffer[n] = '\0';
    return buffer;
}

}  // namespace qrv::bin

extern "C" {

QRV_API void msbin_init_cascade(void) noexcept {
    msbasic_init_cascade();
    msbasic_init_end_register(options_init, options_end);
}

QRV_API int msbin_optfile_switch_file(const char *path) noexcept {
    OptionsHolder *slot = holder();
    if (slot == nullptr) {
        mserror_reset_seterr(err::kOptionsFileUnreadable, 0);
        return 0;
    }
    msvars_freevars(slot->vars);
    slot->vars = path != nullptr ? msvars_readfile(path) : nullptr;
    if (slot->vars == nullptr) {
        mserror_seterr(err::kOptionsFileUnreadable, 0);
        return 0;
    }
    return 1;
}

QRV_API const char *msbin_optfile_getvar(const char *name) noexcept {
    OptionsHolder *slot = holder();
    if (slot == nullptr || slot->vars == nullptr || name == nullptr) return nullptr;
    return msvars_getvar(slot->vars, name);
}

QRV_API int msbin_option_help(int argc, char *const argv[], int32_t message_id, int *status) noexcept {
    if (argc < 2 || argv == nullptr || argv[1] == nullptr || std::strcmp(argv[1], "-help") != 0) return 0;
    // An unknown id leaves its report on the stack (and renders it as the text).
    int32_t top = 0, strings = 0, top_after = 0;
    mserror_stack_save(&top, &strings);
    const char *text = msnlsmsg_str_real(message_id, nullptr);
    mserror_stack_save(&top_after, &strings);
    int result = 0;
    if (top_after == top) {
        mssio_printf("%s\n", text);
    } else {
        msprtmsg_stderr();
        result = 1;
    }
    if (status != nullptr) *status = result;
    return 1;
}

QRV_API int msbin_option_noarg(int argc, char *const argv[], int32_t message_id, int *status) noexcept {
    if (argc != 1) return msbin_option_help(argc, argv, message_id, status);
    mserror_seterr(err::kWrongArgumentCount, 0);
    msprtmsg_stderr();
    if (status != nullptr) *status = 1;
    return 1;
}

QRV_API void msbin_option_invnargs(void) noexcept { mserror_reset_seterr(err::kWrongArgumentCount, 0); }

QRV_API void msbin_option_invoption(const char *option) noexcept {
    mserror_reset_seterr_1arg_str(err::kOptionNotRecognized, option);
}

QRV_API int msbin_cat_arg(char *line, const char *arg, int newline) noexcept {
    if (line == nullptr || arg == nullptr) return 0;
    size_t used = strnlen(line, MSBIN_LINE_SIZE);
    size_t need = 3;  // separator and the two quotes
    for (const char *p = arg; *p != '\0'; ++p) need += *p == '"' ? 2 : 1;
    if (used + need >= MSBIN_LINE_SIZE) return 0;
    char *out = line + used;
    *out++ = newline ? '\n' : ' ';
    *out++ = '"';
    for (const char *p = arg; *p != '\0'; ++p) {
        if (*p == '"') *out++ = '\\';
        *out++ = *p;
    }
    *out++ = '"';
    *out = '\0';
    return 1;
}

QRV_API int msbin_echoline(char *const argv[], int per_line, int *status) noexcept {
    if (status != nullptr) *status = 0;
    if (argv == nullptr || argv[0] == nullptr) return 0;
    Printer out;
    out.put(argv[0]);
    for (int i = 1; argv[i] != nullptr; ++i) {
        if (per_line) {
            out.put('\n');
            out.put(argv[i]);
        } else {
            out.put(' ');
            put_quoted(out, argv[i]);
        }
    }
    out.put('\n');
    return out.finish();
}

}  // extern "C"
