// qrvar: adds, replaces or extracts the members of a static archive with
// the options file's archive tool, and indexes it (msbin_arlib,
// msbin_ranlib).
//
//   qrvar [-echo] a|r|e ARCHIVE [MEMBER...]
//   qrvar -ranlib ARCHIVE
//
// Usage errors exit with 2, failed commands with their status (else 1).
#include <cstring>

#include "base/errids.h"
#include "msbin.h"
#include "mserror.h"
#include "msnlsmsg.h"
#include "start.h"

namespace {

// A usage error: the report msbin_option_* made, printed; exit code 2.
int usage_error() {
    msprtmsg_stderr();
    return 2;
}

// The result of a command: its exit status, or the stack printed and a
// nonzero code when it failed.
int outcome(int ok, int status) {
    if (ok) return status;
    msprtmsg_stderr();
    return status != 0 ? status : 1;
}

int run(int argc, char **argv) {
    int status = 0;
    if (msbin_option_help(argc, argv, qrv::err::kUsageQrvar, &status)) return status;
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "-ranlib") == 0) {
        if (argc != 3) return msbin_option_invnargs(), usage_error();
        int ok = msbin_ranlib(argv[2], &status);
        // The one failure that reports nothing: no archive of that name.
        if (!ok && mserror_geterr_id() == 0) mserror_reset_seterr_1arg_str(qrv::err::kPathMissing, argv[2]);
        return outcome(ok, status);
    }
    bool echo = i < argc && std::strcmp(argv[i], "-echo") == 0;
    if (echo) ++i;
    if (i >= argc) return msbin_option_invnargs(), usage_error();
    const char *op = argv[i];
    if (std::strlen(op) != 1 || std::strchr("are", op[0]) == nullptr) {
        return msbin_option_invoption(op), usage_error();
    }
    if (i + 1 >= argc) return msbin_option_invnargs(), usage_error();
    const char *archive = argv[i + 1];
    char *const *members = argv + i + 2;  // argv ends with its null pointer
    int ok = msbin_arlib(op[0], archive, members, echo, &status);
    if (ok && status == 0 && !echo && op[0] != 'e') ok = msbin_ranlib(archive, &status);
    return outcome(ok, status);
}

}  // namespace

int main(int argc, char **argv) {
    if (!qrv::tools::start(argc > 0 ? argv[0] : nullptr)) return 1;
    int code = run(argc, argv);
    qrv::tools::finish();
    return code;
}
