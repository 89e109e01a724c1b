// The compiler driver on arbitrary argument vectors (the input split at NUL
// bytes). "-echoline" is always among the driver options, so the command is
// shown, never run: whatever the arguments name, nothing is started. The
// driver must succeed or leave an error, and never overrun its bounds.
// A scratch installation holds the options file and two targets. The
// options are read again only after an input switched to a target's file
// (the base file alone has the marker variable): reading them for every
// input took a fifth of the run.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "msbasic.h"
#include "msbin.h"
#include "mserror.h"

namespace {

std::string g_root;
constexpr const char *kMarker = "FUZZ_BASE_OPTIONS";
constexpr const char *kModeWords[] = {"-ODBC",  "-ODBCXX", "-ODBCBCS", "-ODBCBCSXX", "-PCC",
                                      "-PSMCC", "-ESQL",   "-PC++",    "-CXX"};

void write(const std::string &path, const std::string &text) { std::ofstream(path) << text; }

void remove_root() { std::filesystem::remove_all(g_root); }

bool is_mode_word(const std::string &arg) {
    for (const char *word : kModeWords) {
        if (arg == word) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz_driver.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    g_root = pattern;
    std::atexit(remove_root);
    std::string options =
        "MSSYS_CCOMPILER=cc\nMSSYS_CXXCOMPILER=c++\nMSSYS_CCOPTIONS=-I. -DX\n"
        "MSSYS_CCOMPILERSYSLIB=-lm\nMSFEATURE_SHLIB=linux\nMSSYS_LINKER=ld\nMSSYS_NETLIB=-lnet\n";
    for (const char *dir : {"config/xcfg", "shlib", "rdbms/lib", "xtarget/etkernel-arm/shlib",
                            "xtarget/linux-x/rdbms/lib", "xtarget/wm5_arm"}) {
        std::filesystem::create_directories(g_root + "/" + dir);
    }
    write(g_root + "/config/initfile.txt", "# fuzz\n");
    write(g_root + "/config/options", options + kMarker + "=1\n");
    for (const char *target : {"etkernel-arm", "linux-x", "wm5_arm"}) {
        write(g_root + "/config/xcfg/" + target, "MSFEATURE_SHLIB=etkernel\n" + options);
    }
    setenv("QUORVELPATH", g_root.c_str(), 1);
    if (!msbasic_init_main(msbin_init_cascade)) std::abort();
    int null_fd = open("/dev/null", O_WRONLY);  // the shown commands
    if (null_fd < 0 || dup2(null_fd, 1) < 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 64 * 1024) return 0;
    std::vector<std::string> args;
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    args.push_back(current);
    size_t at = !args.empty() && is_mode_word(args[0]) ? 1 : 0;
    args.insert(args.begin() + static_cast<long>(at), "-echoline");
    args.insert(args.begin(), "qrvcc");
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    msbin_xtarget[0] = '\0';
    if (msbin_optfile_getvar(kMarker) == nullptr && !msbin_optfile_switch_file((g_root + "/config/options").c_str())) {
        std::abort();
    }
    mserror_reset();
    int status = -1;
    int result = msbin_quorvel_comp(static_cast<int>(args.size()), argv.data(), &status);
    if (result != 0 && result != 1) std::abort();
    if (result == 1 && status != 0) std::abort();
    if (result == 0 && mserror_geterr_id() == 0) std::abort();
    return 0;
}
