// The compiler driver: one compile request becomes one run of the
// configured compiler (which also links), or a compile run and a separate
// link run for the targets whose tools need that. The command is built in
// a bounded argument vector from the compiler options, the caller's
// arguments and the library lists, and is run, or shown instead.
#include <cstdio>
#include <cstring>

#include "base/errids.h"
#include "bin/driver.h"
#include "msbasic.h"
#include "msconn.h"
#include "mserror.h"
#include "msfio.h"
#include "mssio.h"
#include "mstmp.h"
#include "msvars.h"

namespace qrv::bin {

DriverState g_driver;

void append(char *text, int size, const char *piece) noexcept {
    size_t used = std::strlen(text), n = std::strlen(piece);
    if (used + n >= static_cast<size_t>(size)) {
        g_driver.overflow = true;
        return;
    }
    std::memcpy(text + used, piece, n + 1);
}

void compute_library_dirs() noexcept {
    DriverState &d = g_driver;
    const char *lib = d.flags.src_lib ? "src_lib" : "lib";
    bool fits = mspath_mkpath_multi(d.engine_dir, kDirSize, d.root, "rdbms", lib, nullptr) &&
                (!d.flags.small || mspath_mkpath(d.engine_dir, kDirSize, d.engine_dir, "small")) &&
                mspath_mkpath_multi(d.common_dir, kDirSize, d.root, "common", lib, nullptr) &&
                mspath_mkpath(d.shared_dir, kDirSize, d.root, "shlib");
    if (!fits) d.overflow = true;
}

}  // namespace qrv::bin

namespace {

namespace err = qrv::err;
using namespace qrv::bin;

bool is_dir(const char *path) { return msfio_exists(path) == 1; }

bool set_target(int argc, char *const argv[]) {
    DriverState &d = g_driver;
    if (msbin_xtarget[0] != '\0') {
        std::memcpy(d.target, msbin_xtarget, sizeof d.target);
    } else if (!msbin_setup_cross_development(argc, argv, d.target, sizeof d.target)) {
        return false;
    }
    if (!target_root(d.target, d.root, sizeof d.root)) return false;
    if (d.target[0] != '\0') msbin_set_xtarget(d.target);
    return true;
}

void shared_library_default() {
    DriverState &d = g_driver;
    d.shlib_style = msbin_optfile_getvar("MSFEATURE_SHLIB");
    d.flags.driver = d.flags.shared_link = d.flags.src_lib = d.flags.utilapi = false;
    compute_library_dirs();
    if (feature_on(d.shlib_style) && is_dir(d.shared_dir)) d.flags.shared_link = true;
    if (!is_dir(d.engine_dir)) {
        d.flags.src_lib = true;
        compute_library_dirs();
    }
}

// "-c", "-E" (not "-EH..."), "-P" and their "/" forms: compile only. A "/"
// argument with a further "/" is a path on this host, not an option.
bool compiles_only(const char *arg) {
    if (arg[0] != '-' && arg[0] != '/') return false;
    if (arg[0] == '/' && std::strchr(arg + 1, '/') != nullptr) return false;
    char c = arg[1];
    return c == 'c' || c == 'P' || (c == 'E' && arg[2] != 'H');
}

bool add_list_var(ArgVector &v, const char *name) {
    char value[kListSize];
    bool overflow = false;
    const char *list = list_var(name, value, sizeof value, &overflow);
    return !overflow && v.add_list(list, false);
}

bool add_libraries(ArgVector &v, const char *odbc, const char *product, const LibDirs &dirs) {
    const DriverState &d = g_driver;
    const char *network = d.net_override;
    char network_value[kListSize];
    bool overflow = false;
    if (network == nullptr) network = list_var("MSSYS_NETLIB", network_value, sizeof network_value, &overflow);
    if (overflow) return false;
    bool odbc_mode = d.mode == kModeOdbc || d.mode == kModeOdbcCxx;
    if (d.flags.no_product && odbc_mode) {
        return v.add_list(odbc, true, dirs) && v.add_list(network, true, dirs) && add_list_var(v, "MSSYS_TIMERLIB") &&
               add_list_var(v, "MSSYS_DLLIB");
    }
    return v.add_list(odbc, true, dirs) && v.add_list(product, true, dirs) &&
           (!d.flags.readline || add_list_var(v, "MSSYS_READLINELIB")) && add_list_var(v, "MSSYS_MATHLIB") &&
           v.add_list(network, true, dirs) && add_list_var(v, "MSSYS_TIMERLIB") && add_list_var(v, "MSSYS_DLLIB") &&
           (!d.flags.crypt || add_list_var(v, "MSSYS_CRYPTLIB"));
}

bool add_extra_system_libraries(ArgVector &v) {
    const char *extra = msvars_getenv("MSCC_EXTRASYSLIBS");
    if (!non_empty(extra)) return true;
    const char *warning = msvars_getenv("MSCC_EXTRASYSLIBS_WARNING");
    if (warning == nullptr || std::strcmp(warning, "off") != 0) {
        mssio_eprintf("Warning: MSCC_EXTRASYSLIBS is set to '%s'\n", extra);
    }
    return v.add_list(extra, false);
}

bool assemble(ArgVector &v, int argc, char *const argv[], int first) {
    const DriverState &d = g_driver;
    static char odbc[kGeneratedSize], gui[kGeneratedSize], product[kGeneratedSize];
    char encryption[kListSize + 1] = "";
    if (const char *list = list_var("MSSYS_ENCRYPTION_LIB", encryption, kListSize)) {
        if (list[0] != '\0') std::strcat(encryption, "|");
    }
    odbc_list(odbc);
    gui_console_list(gui);
    product_list(product, encryption);
    LibDirs dirs{d.engine_dir, d.common_dir};

    v.clear();
    if (through_cmd(d.target) && !(v.add("cmd.exe") && v.add("/c"))) return false;
    if (!v.add(d.compiler) || !v.add_list(d.compiler_options, false) || !add_list_var(v, "MSSYS_CCMTHREAD_OPT") ||
        !v.reserve_slot()) {
        return false;
    }
    bool compile_only = false;
    for (int i = first; i < argc; ++i) compile_only = compile_only || compiles_only(argv[i]);
    if (!compile_only && !v.add_list(g_driver.export_options, false)) return false;
    for (int i = first; i < argc; ++i) {
        if (!v.add(argv[i])) return false;
    }
    if (!compile_only) {
        bool no_libraries = d.flags.no_product && (d.mode & kOdbcBit) == 0;
        if (gui[0] != '\0' && !v.add_list(gui, true, dirs)) return false;
        if (!no_libraries && !(add_libraries(v, odbc, product, dirs) && v.add_list(d.syslibs, false) &&
                               add_list_var(v, "MSSYS_MTHREADLIB"))) {
            return false;
        }
    }
    return add_extra_system_libraries(v) && v.finish();
}

Show show_mode() {
    if (g_driver.flags.echo) return Show::line;
    return g_driver.flags.list_lines ? Show::per_line : Show::run;
}

// The compile-then-link form of the targets whose compiler does not link.
class TwoStepLink {
public:
    constexpr explicit TwoStepLink(bool response_file) : response_file_(response_file) {}

    bool run(const ArgVector &all, const char *program, int *status) {
        const char *linker = msbin_optfile_getvar("MSSYS_LINKER");
        if (!non_empty(linker)) {
            mssio_eprintf("MSSYS_LINKER not set\n");
            mserror_reset_seterr_1arg_str(err::kNoCompilerForMode, "MSSYS_LINKER");
            return false;
        }
        for (int i = 1; i < all.size(); ++i) {
            if (std::strcmp(all[i], "-c") == 0) return run_or_show(program, all.argv(), show_mode(), status);
        }
        compile_.clear(), link_.clear(), shared_.clear();
        if (!compile_.add(all[0]) || !compile_.add("-c") || !link_.add(linker)) return false;
        bool sources = false;
        for (int i = 1; i < all.size(); ++i) {
            if (!sort(all, i, sources)) return false;
        }
        Show show = show_mode();
        if (sources) {
            if (!compile_.finish() || !run_or_show(program, compile_.argv(), show, status)) return false;
            if (show != Show::run) mssio_printf("\n");
        }
        if (show != Show::run) {
            return append_shared() && link_.finish() && run_or_show(linker, link_.argv(), show, status);
        }
        return link(linker, status);
    }

private:
    static bool ends_with(const char *text, const char *suffix) {
        size_t n = std::strlen(text), m = std::strlen(suffix);
        return n >= m && std::strcmp(text + n - m, suffix) == 0;
    }
    static bool is_source(const char *arg) {
        for (const char *suffix : {".c", ".cpp", ".cxx", ".c++"}) {
            if (ends_with(arg, suffix)) return true;
        }
        return false;
    }

    bool sort(const ArgVector &all, int &i, bool &sources) {
        const char *arg = all[i];
        if (std::strcmp(arg, "-o") == 0) {
            if (!link_.add(arg)) return false;
            return i + 1 >= all.size() || link_.add(all[++i]);
        }
        if (!response_file_ && (starts_with(arg, "-l") || starts_with(arg, "-L") || starts_with(arg, "-Wl"))) {
            return link_.add(arg);
        }
        if (arg[0] == '-') return compile_.add(arg);
        if (is_source(arg)) {
            sources = true;
            const char *dot = std::strrchr(arg, '.');
            char object[MSBIN_ARG_SPACE];
            std::snprintf(object, sizeof object, "%.*s.o", static_cast<int>(dot - arg), arg);
            return compile_.add(arg) && link_.add(object);
        }
        if (ends_with(arg, ".so")) return response_file_ ? shared_.add(arg) : link_.add(arg);
        if (ends_with(arg, ".a") || ends_with(arg, ".o")) return link_.add(arg);
        return true;  // anything else has no place in either step
    }

    bool append_shared() {
        for (int i = 0; i < shared_.size(); ++i) {
            if (!link_.add(shared_[i])) return false;
        }
        return true;
    }

    bool link(const char *linker, int *status) {
        char file[1024] = "";
        if (response_file_ && link_.size() - 1 >= 20 && !write_response_file(file)) return false;  // linker not counted
        bool ok = append_shared() && link_.finish() && run_or_show(linker, link_.argv(), Show::run, status);
        if (file[0] != '\0') {
            int32_t top = 0, strings = 0;
            mserror_stack_save(&top, &strings);
            msfio_remove(file);
            mserror_stack_restore(top, strings);
        }
        return ok;
    }

    // Every link argument on its own line; the link runs as "linker --via
    // file".
    bool write_response_file(char *file) {
        if (!mstmp_newfile(file, 1024, msconn_get_task())) {
            file[0] = '\0';
            mssio_printf("Failed to create tmp file\n");
            return false;
        }
        msfio_fd fd = msfio_create(file, 1, 7, 1);
        if (fd == MSFIO_NONE) {
            mssio_printf("Failed to open tmp file '%s'\n", file);
            file[0] = '\0';
            return false;
        }
        bool ok = true;
        for (int i = 1; ok && i < link_.size(); ++i) {
            int n = static_cast<int>(std::strlen(link_[i]));
            ok = msfio_write(fd, link_[i], n) == n && msfio_write(fd, "\n", 1) == 1;
        }
        ok = msfio_close(fd) && ok;
        char linker[1024];
        std::snprintf(linker, sizeof linker, "%s", link_[0]);
        link_.clear();
        return ok && link_.add(linker) && link_.add("--via") && link_.add(file);
    }

    bool response_file_;
    ArgVector compile_, link_, shared_;
};

bool run_command(const ArgVector &vector, int *status) {
    const DriverState &d = g_driver;
    if (d.compiler_path != nullptr) prepend_path(d.compiler_path);
    const char *program = through_cmd(d.target) ? "cmd.exe" : d.compiler;
    if (std::strcmp(d.target, "etcompact-arm") == 0 || std::strcmp(d.target, "etkernel-arm") == 0) {
        static TwoStepLink with_response(true);
        return with_response.run(vector, program, status);
    }
    if (std::strcmp(d.target, "etkernel-sh") == 0) {
        static TwoStepLink without_response(false);
        return without_response.run(vector, program, status);
    }
    return run_or_show(program, vector.argv(), show_mode(), status);
}

bool sysbin_pic = false;

}  // namespace

extern "C" {

QRV_API int msbin_quorvel_comp(int argc, char *const argv[], int *status) noexcept {
    if (status != nullptr) *status = 0;
    if (argc < 1 || argv == nullptr) {
        mserror_reset_seterr(err::kWrongArgumentCount, 0);
        return 0;
    }
    for (int i = 0; i < argc; ++i) {
        if (argv[i] == nullptr) {
            mserror_reset_seterr(err::kWrongArgumentCount, 0);
            return 0;
        }
    }
    DriverState &d = g_driver;
    d = DriverState{};
    if (!set_target(argc, argv)) return 0;
    shared_library_default();
    int first = parse_driver_arguments(argc, argv);
    if (first < 0) return 0;
    if (d.compiler == nullptr) {
        mserror_reset_seterr_1arg_str(err::kNoCompilerForMode, d.compiler_var);
        return 0;
    }
    compute_library_dirs();
    static ArgVector vector;
    if (!assemble(vector, argc, argv, first)) return 0;
    return run_command(vector, status) ? 1 : 0;
}

QRV_API void msbin_sysbin_set_pic_options(int flag) noexcept { sysbin_pic = flag != 0; }

QRV_API int msbin_sysbin_comp(char *const argv[]) noexcept {
    if (argv == nullptr || argv[0] == nullptr) return 0;
    const char *variant = argv[0];
    bool plain = std::strcmp(variant, "cc") == 0;
    bool with_ccoptions = std::strcmp(variant, "cc_lib1") == 0;
    if (!plain && !with_ccoptions && std::strcmp(variant, "cc_lib") != 0) return 0;
    char target[MSBIN_XTARGET_SIZE];
    std::memcpy(target, msbin_xtarget, sizeof target);
    char root[kDirSize];
    if (!target_root(target, root, sizeof root)) return 0;

    const char *from_env = msvars_getenv("MS_C_COMPILER");
    const char *compiler = plain ? "MSSYS_CCOMPILER" : "MSSYS_DEVCCOMPILER";
    const char *compiler_text = non_empty(from_env) ? from_env : msbin_optfile_getvar(compiler);
    if (compiler_text == nullptr) {
        mserror_reset_seterr_1arg_str(err::kNoCompilerForMode, compiler);
        return 0;
    }
    const char *path = msbin_optfile_getvar(plain ? "MSSYS_CCOMPILERPATH" : "MSSYS_DEVCCOMPILERPATH");
    const char *options = msbin_optfile_getvar(plain ? "MSSYS_CCOMPILEROPTIONS" : "MSSYS_DEVCCOMPILEROPTIONS");
    const char *syslibs = msbin_optfile_getvar(plain ? "MSSYS_CCOMPILERSYSLIB" : "MSSYS_DEVCCOMPILERSYSLIB");
    const char *pic = msbin_optfile_getvar("MSSYS_CCOMPILER_PIC_OPTIONS");
    if (non_empty(path)) prepend_path(path);

    bool per_line = false, compile_only = false;
    for (int i = 1; argv[i] != nullptr; ++i) {
        per_line = per_line || std::strcmp(argv[i], "-listlines") == 0;
        compile_only = compile_only || std::strstr(argv[i], "-c") != nullptr;
    }
    char include[2 * kDirSize + 16] = "";
    if (!plain) {
        const char *installation = msbasic_get_quorvelpath();
        std::snprintf(include, sizeof include, "-I%s/rdbms/src -I%s/include",
                      installation != nullptr ? installation : "", root);
    }
    static ArgVector v;
    v.clear();
    bool ok = (!through_cmd(target) || (v.add("cmd.exe") && v.add("/c"))) && v.add_words(compiler_text) &&
              v.add_words(options) && (!sysbin_pic || v.add_words(pic)) && v.add_words(include) &&
              (!with_ccoptions || v.add_words(msbin_optfile_getvar("MSSYS_CCOPTIONS")));
    for (int i = 1; ok && argv[i] != nullptr; ++i) ok = v.add(argv[i]);
    ok = ok && (compile_only || v.add_words(syslibs)) && v.finish();
    if (!ok) return 0;
    int status = 0;
    return run_or_show(v[0], v.argv(), per_line ? Show::per_line : Show::run, &status) ? 1 : 0;
}

}  // extern "C"
