// Start-up helpers: the redirection options every program of the product
// accepts, the user's name, and month abbreviations.
#include <cstdlib>
#include <cstring>

#include "msgust.h"
#include "msnlsmsg.h"
#include "msos.h"
#include "mssio.h"

namespace {

enum Stream { kIn, kOut, kErr, kStreams };

struct Option {
    const char *text;
    int stream;  // -1: the program name
    const char *mode;
};

constexpr Option kOptions[] = {
    {"-MSPROGNAME", -1, nullptr}, {"-MSSTDIN", kIn, "r"},   {"-MSSTDOUT", kOut, "w"},
    {"+MSSTDOUT", kOut, "a"},     {"-MSSTDERR", kErr, "w"}, {"+MSSTDERR", kErr, "a"},
};

char upper(uint32_t c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); }

// The option that arg spells (case ignored), or null.
template <typename Char>
const Option *option_of(const Char *arg) {
    for (const Option &o : kOptions) {
        size_t i = 0;
        while (o.text[i] != '\0' && arg[i] != 0 && upper(static_cast<uint32_t>(arg[i])) == o.text[i]) ++i;
        if (o.text[i] == '\0' && arg[i] == 0) return &o;
    }
    return nullptr;
}

template <typename Char>
struct Redirections {
    const Char *program = nullptr;
    const Char *file[kStreams] = {};
    const char *mode[kStreams] = {};
};

// Takes the options off the front of argv and compacts it.
template <typename Char>
Redirections<Char> take_options(int *argc, Char **argv) {
    Redirections<Char> r;
    int kept = 1, i = 1;
    for (; i < *argc && argv[i] != nullptr && (argv[i][0] == '-' || argv[i][0] == '+'); ++i) {
        const Option *o = option_of(argv[i]);
        if (o == nullptr) {
            argv[kept++] = argv[i];
            continue;
        }
        if (i + 1 >= *argc || argv[i + 1] == nullptr) {  // no value: dropped
            ++i;
            break;
        }
        const Char *value = argv[++i];
        if (o->stream < 0) {
            r.program = value;
        } else {
            r.file[o->stream] = value;
            r.mode[o->stream] = o->mode;
        }
    }
    for (; i < *argc && argv[i] != nullptr; ++i) argv[kept++] = argv[i];
    argv[kept] = nullptr;
    *argc = kept;
    return r;
}

using Install = int (*)(mssio_stream *, const char *);

bool reopen(const char *file, const char *mode, mssio_stream *current, Install install) {
    mssio_stream *s = mssio_open(file, mode);
    if (s == nullptr) return false;
    if (current != nullptr) mssio_close(current);
    install(s, file);
    return true;
}

// Input, output, then error; error shares output's stream when both name
// the same file.
bool redirect(const char *const file[kStreams], const char *const mode[kStreams]) {
    if (file[kIn] != nullptr && !reopen(file[kIn], mode[kIn], mssio_get_stdin(), mssio_set_stdin_ex)) return false;
    if (file[kOut] != nullptr && !reopen(file[kOut], mode[kOut], mssio_get_stdout(), mssio_set_stdout_ex)) {
        return false;
    }
    if (file[kErr] == nullptr) return true;
    if (file[kOut] != nullptr && std::strcmp(file[kOut], file[kErr]) == 0) {
        mssio_stream *old = mssio_get_stderr();
        if (old != nullptr && old != mssio_get_stdout()) mssio_close(old);
        mssio_set_stderr_ex(mssio_get_stdout(), mssio_get_stdout_name());
        return true;
    }
    return reopen(file[kErr], mode[kErr], mssio_get_stderr(), mssio_set_stderr_ex);
}

}  // namespace

extern "C" {

QRV_API int msgust_stdio(int *argc, char ***argv) noexcept {
    if (argc == nullptr || argv == nullptr || *argv == nullptr || *argc < 1) return 1;
    Redirections<char> r = take_options(argc, *argv);
    if (r.program != nullptr) (*argv)[0] = const_cast<char *>(r.program);
    return redirect(r.file, r.mode) ? 1 : 0;
}

QRV_API int msgust_stdio_wchar(int *argc, qrv_wchar ***argv) noexcept {
    if (argc == nullptr || argv == nullptr || *argv == nullptr || *argc < 1) return 1;
    Redirections<qrv_wchar> r = take_options(argc, *argv);
    if (r.program != nullptr) (*argv)[0] = const_cast<qrv_wchar *>(r.program);
    char *file[kStreams] = {};
    bool converted = true;
    for (int s = kIn; s < kStreams; ++s) {
        if (r.file[s] == nullptr) continue;
        file[s] = win32_WideCharToMultiByte(r.file[s]);
        converted = converted && file[s] != nullptr;
    }
    bool ok = converted && redirect(file, r.mode);
    for (char *f : file) std::free(f);
    return ok ? 1 : 0;
}

QRV_API char *msgust_user_name_get(char *dst, int len) noexcept {
    if (dst == nullptr || len < 2) return nullptr;
    char name[256];
    int size = sizeof name;
    const char *text = msos_getusername(name, &size) == 1 ? name : "Unknown";
    size_t n = strnlen(text, static_cast<size_t>(len) - 1);
    std::memcpy(dst, text, n);
    dst[n] = '\0';
    return dst;
}

QRV_API const char *msgustdate_month_abbrev(int month) noexcept {
    constexpr int32_t kJanuary = 16813;
    return month >= 1 && month <= 12 ? msnlsmsg_str_real(kJanuary + month - 1, nullptr) : nullptr;
}

}  // extern "C"
