// Cross-development targets: choosing and recording the target, its options
// file and file-name conventions, the search for programs along a path
// list, and the Windows-host helpers, which have nothing to prepare here.
#include <cstring>

#include "base/errids.h"
#include "bin/internal.h"
#include "msbasic.h"
#include "mserror.h"
#include "msfio.h"
#include "msnlsmsg.h"
#include "mssio.h"
#include "mstmp.h"
#include "msvars.h"

namespace {

namespace err = qrv::err;

constexpr int kPath = 1024;

// This host builds with Unix conventions from the start, so no target
// switches them.
constexpr qrv::bin::Conventions kUnix = {"", ".a", ".o", ".c", "-I", "-o"};

constexpr const char *kWindowsCeTargets[] = {"wince_arm",  "wince_emu",  "wm5_arm",   "wm6-arm",
                                             "wince5-arm", "wince6-arm", "wince6-sh4"};

// The options file is switched to a target's file once per process.
bool g_first_switch = true;

void copy_bounded(char *buffer, int size, const char *text) {
    if (buffer == nullptr || size <= 0) return;
    size_t n = std::strlen(text);
    if (n > static_cast<size_t>(size) - 1) n = static_cast<size_t>(size) - 1;
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

}  // namespace

namespace qrv::bin {

const Conventions &conventions() noexcept { return kUnix; }

bool in_windows_family(const char *target) noexcept {
    for (const char *name : kWindowsCeTargets) {
        if (target != nullptr && std::strcmp(target, name) == 0) return true;
    }
    return false;
}

bool target_root(const char *target, char *buffer, int size) noexcept {
    const char *installation = msbasic_get_quorvelpath();
    if (installation == nullptr) installation = "";
    if (!non_empty(target)) {
        copy_bounded(buffer, size, installation);
        return true;
    }
    if (!mspath_mkpath_multi(buffer, size, installation, "xtarget", target, nullptr) || msfio_exists(buffer) != 1) {
        mserror_reset_seterr_1arg_str(err::kTargetDirectoryMissing, buffer[0] != '\0' ? buffer : target);
        return false;
    }
    return true;
}

}  // namespace qrv::bin

extern "C" {

QRV_API char msbin_xtarget[MSBIN_XTARGET_SIZE] = "";

QRV_API void msbin_set_xtarget(const char *name) noexcept {
    copy_bounded(msbin_xtarget, MSBIN_XTARGET_SIZE, name != nullptr ? name : "");
}

QRV_API int msbin_get_effective_options_filename(const char *target, char *buffer, int size) noexcept {
    const char *installation = msbasic_get_quorvelpath();
    if (installation == nullptr) installation = "";
    if (target == nullptr || target[0] == '\0') {
        return mspath_mkpath_multi(buffer, size, installation, "config", "options", nullptr);
    }
    return mspath_mkpath_multi(buffer, size, installation, "config", "xcfg", target, nullptr);
}

QRV_API int msbin_setup_cross_development(int argc, char *const argv[], char *target, int size) noexcept {
    char found[kPath] = "";
    for (int i = 1; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
        if (std::strcmp(argv[i], "-xtarget") != 0) continue;
        if (i + 1 >= argc || argv[i + 1] == nullptr) {
            copy_bounded(target, size, "");
            mserror_reset_seterr(err::kWrongArgumentCount, 0);
            return 0;
        }
        copy_bounded(found, sizeof found, argv[i + 1]);
        break;
    }
    if (found[0] == '\0') {
        const char *from_env = msvars_getenv("MS_XTARGET");
        if (from_env != nullptr) copy_bounded(found, sizeof found, from_env);
    }
    copy_bounded(target, size, found);
    if (found[0] == '\0' || !g_first_switch) return 1;
    g_first_switch = false;
    char path[kPath];
    if (!msbin_get_effective_options_filename(found, path, sizeof path)) {
        mserror_reset_seterr(err::kOptionsFileUnreadable, 0);
        return 0;
    }
    return msbin_optfile_switch_file(path);
}

QRV_API int msbin_util_get_program_from_path(const char *path_list, const char *program, char *buffer,
                                             int size) noexcept {
    copy_bounded(buffer, size, "");
    if (path_list == nullptr || program == nullptr || program[0] == '\0' || buffer == nullptr || size <= 0) {
        return 0;
    }
    char directory[kPath];
    for (const char *p = path_list;;) {
        size_t n = std::strcspn(p, ":;");
        if (n > 0 && n < sizeof directory) {
            std::memcpy(directory, p, n);
            directory[n] = '\0';
            if (mspath_mkpath(buffer, size, directory, program) && qrv::bin::is_regular_file(buffer)) return 1;
            buffer[0] = '\0';
        }
        if (p[n] == '\0') return 0;
        p += n + 1;
    }
}

QRV_API int msbin_win32_get_java_program(char *buffer, int size, int kind) noexcept {
    copy_bounded(buffer, size, "");
    if (kind < 0 || kind > 2) return 0;
    return qrv::bin::find_on_path(kind == 2 ? "javac" : "java", buffer, size) ? 1 : 0;
}

QRV_API int msbin_get_java_program(char *buffer, int size) noexcept {
    if (msbin_win32_get_java_program(buffer, size, 1)) return 1;
    mserror_reset_seterr(err::kNoJavaRuntime, 0);
    return 0;
}

QRV_API int msbin_get_javac_program(char *buffer, int size) noexcept {
    if (msbin_win32_get_java_program(buffer, size, 2)) return 1;
    mserror_reset_seterr(err::kNoJavaCompiler, 0);
    return 0;
}

QRV_API void msbin_win32_set_dev_env(void) noexcept {}

QRV_API int msbin_win32_show_msgbox_stderr(void) noexcept {
    char text[1024];
    if (!msnlsmsg_error_msg_all(text, sizeof text, nullptr)) return 0;
    mssio_eprintf("%s", text);
    return 1;
}

QRV_API int msbin_win32_minimize_window(const char *) noexcept { return 1; }
QRV_API int msbin_win32_restore_window(const char *) noexcept { return 1; }

}  // extern "C"
