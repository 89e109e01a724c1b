// qrvcc: compiles and links a C or C++ program against the product with
// the compiler of the installation's options file (msbin_quorvel_comp).
//
//   qrvcc [MODE] [DRIVER OPTIONS] COMPILER ARGUMENTS...
//
// MODE "-c++" is this command's spelling of the C++ mode word "-CXX".
#include <cstring>

#include "base/errids.h"
#include "msbin.h"
#include "msnlsmsg.h"
#include "start.h"

int main(int argc, char **argv) {
    if (!qrv::tools::start(argc > 0 ? argv[0] : nullptr)) return 1;
    int status = 0;
    int code;
    if (msbin_option_noarg(argc, argv, qrv::err::kUsageQrvcc, &status)) {
        code = status;
    } else {
        static char cxx_mode[] = "-CXX";
        if (std::strcmp(argv[1], "-c++") == 0) argv[1] = cxx_mode;
        if (msbin_quorvel_comp(argc, argv, &status)) {
            code = status;
        } else {
            msprtmsg_stderr();
            code = status != 0 ? status : 1;
        }
    }
    qrv::tools::finish();
    return code;
}
