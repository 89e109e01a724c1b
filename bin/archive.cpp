// The archive tools: adding, replacing and extracting members of a static
// library with the archive tool of the options file, and indexing it. This
// host has no library manager, so every target uses the "ar" form.
#include <cstring>

#include "base/errids.h"
#include "bin/internal.h"
#include "mserror.h"
#include "msfio.h"
#include "mstmp.h"

namespace {

namespace err = qrv::err;
using qrv::bin::ArgVector;
using qrv::bin::non_empty;

constexpr int kPath = 1024;

const char *archive_key(int operation) {
    switch (operation) {
        case 'a':
            return "q";
        case 'r':
            return "r";
        case 'e':
            return "x";
        default:
            return nullptr;
    }
}

bool add_cmd_prefix(ArgVector &vector) {
    return !qrv::bin::through_cmd(msbin_xtarget) || (vector.add("cmd.exe") && vector.add("/c"));
}

// The index tool: in MSSYS_RANLIBPATH, else along PATH; false when absent.
bool find_index_tool(const char *tool, char *path) {
    if (std::strchr(tool, '/') != nullptr) {  // a path names the tool itself
        if (!qrv::bin::is_regular_file(tool) || std::strlen(tool) >= static_cast<size_t>(kPath)) return false;
        std::strcpy(path, tool);
        return true;
    }
    const char *directory = msbin_optfile_getvar("MSSYS_RANLIBPATH");
    if (non_empty(directory) && msbin_util_get_program_from_path(directory, tool, path, kPath)) return true;
    return qrv::bin::find_on_path(tool, path, kPath);
}

}  // namespace

extern "C" {

QRV_API int msbin_arlib(int operation, const char *archive, char *const members[], int echo, int *status) noexcept {
    if (status != nullptr) *status = 0;
    const char *key = archive_key(operation);
    if (key == nullptr) return 0;
    if (archive == nullptr || archive[0] == '\0') {
        mserror_reset_seterr(err::kWrongArgumentCount, 0);
        return 0;
    }
    const char *tool = msbin_optfile_getvar("MSSYS_ARLIB");
    const char *tool_path = msbin_optfile_getvar("MSSYS_ARLIBPATH");
    if (non_empty(tool) && non_empty(tool_path)) qrv::bin::prepend_path(tool_path);
    static ArgVector vector;  // one build command at a time per process
    vector.clear();
    bool built =
        add_cmd_prefix(vector) && vector.add(non_empty(tool) ? tool : "ar") && vector.add(key) && vector.add(archive);
    for (int i = 0; built && members != nullptr && members[i] != nullptr; ++i) built = vector.add(members[i]);
    if (!built || !vector.finish()) return 0;
    auto show = echo ? qrv::bin::Show::line : qrv::bin::Show::run;
    return qrv::bin::run_or_show(vector[0], vector.argv(), show, status) ? 1 : 0;
}

QRV_API int msbin_ranlib(const char *archive, int *status) noexcept {
    if (status != nullptr) *status = 0;
    if (!qrv::bin::is_regular_file(archive)) return 0;
    const char *tool = msbin_optfile_getvar("MSSYS_RANLIB");
    if (!non_empty(tool)) return 1;
    char path[kPath];
    if (!find_index_tool(tool, path)) return 1;
    static ArgVector vector;
    vector.clear();
    if (!add_cmd_prefix(vector) || !vector.add(path) || !vector.add(archive) || !vector.finish()) return 0;
    return qrv::bin::run_or_show(vector[0], vector.argv(), qrv::bin::Show::run, status) ? 1 : 0;
}

}  // extern "C"
