#include "start.h"

#include <cstring>

#include "msbasic.h"
#include "msbin.h"
#include "msnlsmsg.h"
#include "msos.h"

namespace qrv::tools {
namespace {

constexpr int kPath = 1024;  // the longest preset the library takes, with its NUL

// The folder above the one holding this program, when it holds
// config/options: the commands run from any installed (or the build's)
// tree without being told where it is.
void preset_installation() noexcept {
    char value[2];
    if (msos_getenvironmentvariable("QUORVELPATH", value, sizeof value) != 0) return;
    char program[kPath];
    char *file = nullptr;
    int n = msos_getmodulefilename(program, sizeof program, &file);
    if (n <= 0 || n >= kPath || file == nullptr) return;
    static constexpr char kUp[] = "../";
    if (static_cast<size_t>(file - program) + sizeof kUp > sizeof program) return;
    std::memcpy(file, kUp, sizeof kUp);  // <bin folder>/../
    static char root[kPath];
    n = msos_getfullpathname(program, sizeof root, root, nullptr);
    if (n <= 0 || n >= kPath) return;
    char options[kPath];
    if (n + sizeof "config/options" > sizeof options) return;
    std::memcpy(options, root, static_cast<size_t>(n));
    std::memcpy(options + n, "config/options", sizeof "config/options");
    if (msos_getfileattributes(options) == MSOS_INVALID_FILE_ATTRIBUTES) return;
    if (n > 1) root[n - 1] = '\0';  // no trailing '/' (except for "/" itself)
    msapi_setquorvelpath_qrvcs(root);
}

}  // namespace

bool start(const char *program_name) noexcept {
    preset_installation();
    if (!msbasic_init_main(msbin_init_cascade)) {
        msprtmsg_stderr();
        return false;
    }
    if (program_name != nullptr) msbasic_set_progname(program_name);
    return true;
}

void finish() noexcept { msbasic_end_main(msbin_init_cascade); }

}  // namespace qrv::tools
