/* Built by the tests with "qrvcc -static": the driver inside a statically
 * linked program (it needs the C++ runtime's members from the options
 * file's system libraries), showing the command for its arguments. */
#include "msbasic.h"
#include "msbin.h"

int main(int argc, char **argv) {
    int status = 1;
    if (!msbasic_init_main(msbin_init_cascade)) return 1;
    int ok = msbin_quorvel_comp(argc, argv, &status);
    msbasic_end_main(msbin_init_cascade);
    return ok ? status : 1;
}
