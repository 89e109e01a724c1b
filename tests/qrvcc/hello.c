/* Built by the tests with qrvcc: greets through the library's standard
 * output and names the installation it found. */
#include "msbasic.h"
#include "mssio.h"

int main(void) {
    if (!msbasic_init_main(msbasic_init_cascade)) return 1;
    mssio_printf("hello from %s\n", msbasic_get_quorvelpath());
    msbasic_end_main(msbasic_init_cascade);
    return 0;
}
