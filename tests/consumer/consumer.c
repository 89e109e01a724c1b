/* A program built against an installed qrvbasic. */
#include <msbasic.h>
#include <mserror.h>

int main(void) {
    if (!msbasic_init_main(msbasic_init_cascade)) return 1;
    mserror_reset_seterr_1arg(16151, 2);
    int ok = mserror_geterr_id() == 16151;
    msbasic_end_main(msbasic_init_cascade);
    return ok ? 0 : 2;
}
