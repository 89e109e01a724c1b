// The compiler driver's arguments: the mode word, the compiler selection of
// the mode's kind, and the driver options with their defaults.
#include <cstring>
#include <string_view>

#include "base/errids.h"
#include "bin/driver.h"
#include "msbasic.h"
#include "mserror.h"
#include "msfio.h"
#include "msvars.h"

namespace qrv::bin {
namespace {

namespace err = qrv::err;

struct ModeWord {
    const char *word;
    uint32_t mode;
    bool exports;     // appends MSSYS_CCEXPORTSYM_OPT with a shared link
    bool odbc_reset;  // no product library, static link, no driver
};

constexpr ModeWord kModeWords[] = {
    {"-ODBC", kModeOdbc, false, true},          {"-ODBCXX", kModeOdbcCxx, false, true},
    {"-ODBCBCS", kModeOdbcBcs, false, false},   {"-ODBCBCSXX", kModeOdbcBcsCxx, false, false},
    {"-PCC", kModePrecompiledC, true, false},   {"-PSMCC", kModePrecompiledC, true, false},
    {"-ESQL", kModePrecompiledC, false, false}, {"-PC++", kModePrecompiledCxx, true, false},
    {"-CXX", kModeCxx, false, false},
};

struct KindVars {
    const char *compiler, *path, *options, *syslib;
};
constexpr KindVars kCVars = {"MSSYS_CCOMPILER", "MSSYS_CCOMPILERPATH", "MSSYS_CCOMPILEROPTIONS",
                             "MSSYS_CCOMPILERSYSLIB"};
constexpr KindVars kCxxVars = {"MSSYS_CXXCOMPILER", "MSSYS_CXXCOMPILERPATH", "MSSYS_CXXCOMPILEROPTIONS",
                               "MSSYS_CXXCOMPILERSYSLIB"};

bool is_cxx() { return (g_driver.mode & kCxxBit) != 0; }
bool is_odbc() { return (g_driver.mode & kOdbcBit) != 0; }
bool c_mode() { return g_driver.mode == kModeC || g_driver.mode == kModePrecompiledC; }

// Appends "|" and a list variable of the options file.
void append_list_var(char *text, const char *name) {
    char value[kListSize];
    bool overflow = false;
    const char *list = list_var(name, value, sizeof value, &overflow);
    if (overflow) g_driver.overflow = true;
    append_list(text, "|");
    if (list != nullptr) append_list(text, list);
}

void append_include(char *text, const char *directory, const char *sub) {
    append_list(text, "|");
    append_list(text, conventions().include_opt);
    append_list(text, directory);
    append_list(text, sub);
}

void select_compiler() {
    const KindVars &vars = is_cxx() ? kCxxVars : kCVars;
    g_driver.compiler_var = vars.compiler;
    const char *compiler = msbin_optfile_getvar(vars.compiler);
    if (compiler == nullptr) return;
    const char *from_env = msvars_getenv("MS_C_COMPILER");
    g_driver.compiler = non_empty(from_env) ? from_env : compiler;
    g_driver.compiler_path = msbin_optfile_getvar(vars.path);

    char *options = g_driver.compiler_options;
    options[0] = '\0';
    char value[kListSize];
    bool overflow = false;
    const char *own =
        list_var(g_driver.flags.devwarn ? "MSSYS_DEVCCOMPILEROPTIONS" : vars.options, value, sizeof value, &overflow);
    if (own != nullptr) append_list(options, own);
    append_list_var(options, "MSSYS_CCOPTIONS");
    const char *installation = msbasic_get_quorvelpath();
    if (installation == nullptr) installation = "";
    bool cross = g_driver.target[0] != '\0';
    if (!is_odbc() || cross) {
        append_include(options, g_driver.root, "/include");
        if (is_odbc()) {
            append_include(options, installation, "/include");
            append_include(options, installation, "/include/odbc");
        } else if (std::strcmp(g_driver.root, installation) != 0) {
            append_include(options, installation, "/include");
        }
    }
    g_driver.syslibs[0] = '\0';
    if (const char *syslib = list_var(vars.syslib, value, sizeof value, &overflow))
        append_list(g_driver.syslibs, syslib);
    if (overflow) g_driver.overflow = true;
}

int read_mode_word(int argc, char *const argv[]) {
    g_driver.main_item[0] = '\0';
    const ModeWord *word = nullptr;
    if (argc > 1) {
        for (const ModeWord &row : kModeWords) {
            if (std::strcmp(argv[1], row.word) == 0) word = &row;
        }
    }
    g_driver.mode = word != nullptr ? word->mode : kModeC;
    bool exports = word == nullptr || word->exports;
    if (exports && g_driver.flags.shared_link && msbin_optfile_getvar("MSSYS_CCEXPORTSYM_OPT") != nullptr) {
        append_list_var(g_driver.export_options, "MSSYS_CCEXPORTSYM_OPT");
    }
    if (word != nullptr && word->odbc_reset) {
        g_driver.flags.no_product = true;
        g_driver.flags.shared_link = false;
        g_driver.flags.driver = false;
    }
    select_compiler();
    return word != nullptr ? 1 : 0;
}

int space_model_of(const char *name) {
    constexpr const char *kNames[] = {"spstd", "sprad", "spdebug", "spefence"};
    for (int i = 0; i < 4; ++i) {
        if (name != nullptr && std::strcmp(name, kNames[i]) == 0) return i;
    }
    return kSpStandard;
}

enum class Opt {
    basiclib,
    basicnetlib,
    cryptlib,
    basicshlib,
    c_compiler,
    cxx_compiler,
    deprecated,
    devcc,
    echoline,
    quorvelwarn,
    footprint_small,
    guiconsole,
    listlines,
    linker,
    noquorvellib,
    accepted,
    noshlib,
    globmain,
    readlinelib,
    traceable,
    usedriver,
    loadpsmapi,
    srclib,
    spdebug,
    spefence,
    sprad,
    spstd,
    static_link,
    srcinc,
    usenetstub,
    utilapi,
    xtarget,
};

struct OptionName {
    const char *name;
    Opt opt;
};

constexpr OptionName kOptions[] = {
    {"-basiclib", Opt::basiclib},
    {"-basicnetlib", Opt::basicnetlib},
    {"-cryptlib", Opt::cryptlib},
    {"-basicshlib", Opt::basicshlib},
    {"-c_compiler", Opt::c_compiler},
    {"-c++_compiler", Opt::cxx_compiler},
    {"-deprecated", Opt::deprecated},
    {"-devcc", Opt::devcc},
    {"-echoline", Opt::echoline},
    {"-quorvelwarn", Opt::quorvelwarn},
    {"-footprint=small", Opt::footprint_small},
    {"-guiconsole", Opt::guiconsole},
    {"-listline", Opt::listlines},
    {"-listlines", Opt::listlines},
    {"-linker", Opt::linker},
    {"-noquorvellib", Opt::noquorvellib},
    {"-noglobmain", Opt::accepted},
    {"-noshlib", Opt::noshlib},
    {"-globmain", Opt::globmain},
    {"-readlinelib", Opt::readlinelib},
    {"-traceable", Opt::traceable},
    {"-usedriver", Opt::usedriver},
    {"-useshlib", Opt::usedriver},
    {"-loadpsmapi", Opt::loadpsmapi},
    {"-mthread", Opt::accepted},
    {"-mthreads", Opt::accepted},
    {"-src_lib", Opt::srclib},
    {"-srclib", Opt::srclib},
    {"-sptrash", Opt::spdebug},
    {"-spdebug", Opt::spdebug},
    {"-spefence", Opt::spefence},
    {"-sprad", Opt::sprad},
    {"-usemalloc", Opt::spstd},
    {"-spmalloc", Opt::spstd},
    {"-spstd", Opt::spstd},
    {"-static", Opt::static_link},
    {"-srcinc", Opt::srcinc},
    {"-usenetstub", Opt::usenetstub},
    {"-utilapi", Opt::utilapi},
    {"-xtarget", Opt::xtarget},
};

const OptionName *find_option(const char *arg) {
    for (const OptionName &row : kOptions) {
        if (std::strcmp(arg, row.name) == 0) return &row;
    }
    return nullptr;
}

// A compiler-replacing option: its command, or null with 10660/10659.
const char *compiler_argument(int argc, char *const argv[], int i, bool allowed) {
    if (i + 1 >= argc) {
        mserror_reset_seterr_1arg_str(err::kOptionNeedsCompiler, argv[i]);
        return nullptr;
    }
    if (!allowed) {
        mserror_reset_seterr_1arg_str(err::kOptionNotInMode, argv[i]);
        return nullptr;
    }
    return argv[i + 1];
}

// One driver option at argv[i]: the arguments it takes (1 or 2), 0 when it
// is none (the options end), -1 on failure.
int apply_option(int argc, char *const argv[], int i) {
    const OptionName *row = find_option(argv[i]);
    if (row == nullptr) return 0;
    Flags &f = g_driver.flags;
    bool windows = in_windows_family(g_driver.target);
    bool has_next = i + 1 < argc;
    switch (row->opt) {
        case Opt::basiclib:
            f.basic_only = true;
            break;
        case Opt::basicnetlib:
            f.basic_net = true;
            break;
        case Opt::cryptlib:
            f.crypt = true;
            break;
        case Opt::basicshlib:
            f.basic_shared = true;
            break;
        case Opt::c_compiler:
        case Opt::cxx_compiler: {
            bool allowed = row->opt == Opt::c_compiler ? c_mode() : g_driver.mode == kModeCxx;
            const char *command = compiler_argument(argc, argv, i, allowed);
            if (command == nullptr) return -1;
            g_driver.compiler = command;
            return 2;
        }
        case Opt::deprecated:
            f.deprecated = true;
            break;
        case Opt::devcc:
            f.devcc = true;
            break;
        case Opt::echoline:
            f.echo = true;
            break;
        case Opt::quorvelwarn:
            f.devwarn = true;
            select_compiler();
            break;
        case Opt::footprint_small:
            f.small = true;
            break;
        case Opt::guiconsole:
            f.guiconsole = true;
            break;
        case Opt::listlines:
            f.list_lines = true;
            break;
        case Opt::linker:
            if (!has_next) return 1;
            if (c_mode()) {
                g_driver.compiler = argv[i + 1];
                g_driver.export_options[0] = '\0';
                g_driver.linker_in_c_mode = true;
            }
            return 2;
        case Opt::noquorvellib:
            f.no_product = true;
            break;
        case Opt::accepted:
            break;
        case Opt::noshlib:
            f.shared_link = windows;
            break;
        case Opt::globmain:
            std::strcpy(g_driver.main_item, g_driver.mode == kModeCxx ? "^cxxmain" : "^globmain");
            break;
        case Opt::readlinelib:
            f.readline = true;
            break;
        case Opt::traceable:
            f.traceable = true;
            break;
        case Opt::usedriver:
            f.no_product = f.driver = f.shared_link = true;
            break;
        case Opt::loadpsmapi:
            f.forced_api = !windows;
            break;
        case Opt::srclib:
            f.src_lib = true;
            break;
        case Opt::spdebug:
            g_driver.space_model = kSpDebug;
            break;
        case Opt::spefence:
            g_driver.space_model = kSpEfence;
            break;
        case Opt::sprad:
            g_driver.space_model = kSpRad;
            break;
        case Opt::spstd:
            g_driver.space_model = kSpStandard;
            break;
        case Opt::static_link:
            if (!windows) append_list_var(g_driver.compiler_options, "MSSYS_CCSTATICLINK_OPT");
            break;
        case Opt::srcinc:
            f.src_inc = true;
            break;
        case Opt::usenetstub:
            g_driver.net_override = "^mshost";
            break;
        case Opt::utilapi:
            f.utilapi = f.crypt = true;
            break;
        case Opt::xtarget:
            return has_next ? 2 : 1;
    }
    return 1;
}

void append_test_options() {
    const char *from_env = msvars_getenv("MSCC_USE_TESTOPTIONS");
    if (!g_driver.flags.devcc && !non_empty(from_env)) return;
    char value[kListSize];
    const char *list = nullptr;
    if (is_cxx()) {
        list = list_var("MSSYS_TESTCXXCOMPILEROPTIONS", value, sizeof value, &g_driver.overflow);
    } else {
        list = list_var("MSSYS_TESTCCOMPILEROPTIONS", value, sizeof value, &g_driver.overflow);
        if (!non_empty(list)) list = list_var("MSSYS_DEVCCOMPILEROPTIONS", value, sizeof value, &g_driver.overflow);
    }
    if (non_empty(list)) {
        append_list(g_driver.compiler_options, "|");
        append_list(g_driver.compiler_options, list);
    }
}

void append_source_includes() {
    if (!g_driver.flags.src_inc) return;
    const char *installation = msbasic_get_quorvelpath();
    for (const char *sub : {"/common/include", "/rdbms/src/include"}) {
        append_include(g_driver.compiler_options, installation != nullptr ? installation : "", sub);
    }
}

}  // namespace

int parse_driver_arguments(int argc, char *const argv[]) noexcept {
    g_driver.space_model = space_model_of(msbasic_initfile_getvar_env("MSSPMODEL"));
    int i = 1 + read_mode_word(argc, argv);
    while (i < argc && argv[i][0] == '-') {
        int taken = apply_option(argc, argv, i);
        if (taken < 0) return -1;
        if (taken == 0) break;
        i += taken;
    }
    append_test_options();
    append_source_includes();
    g_driver.flags.encryption = feature_on(msbin_optfile_getvar("MSFEATURE_ENCRYPTION"));
    if (std::strcmp(g_driver.target, "etkernel-arm") == 0 || std::strcmp(g_driver.target, "etcompact-arm") == 0) {
        g_driver.flags.shared_link = true;
    }
    compute_library_dirs();
    if (g_driver.flags.shared_link) g_driver.flags.forced_api = false;
    if (g_driver.linker_in_c_mode) g_driver.export_options[0] = '\0';
    if (g_driver.overflow) {
        mserror_reset_seterr(err::kArgumentsTooLong, 0);
        return -1;
    }
    if (i >= argc) {
        mserror_reset_seterr(err::kWrongArgumentCount, 0);
        return -1;
    }
    return i;
}

}  // namespace qrv::bin
