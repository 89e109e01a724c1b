/* A program built against an installed qrvbasic: it prints the
 * installation directory it found and where its defaults came from. */
#include <msbasic.h>
#include <mserror.h>
#include <msvars.h>
#include <stdio.h>

int main(void) {
    if (!msbasic_init_main(msbasic_init_cascade)) return 1;
    mserror_reset_seterr_1arg(16151, 2);
    int ok = mserror_geterr_id() == 16151;
    const char *origin = msbasic_initfile_getvar_env("QRV_CONFIG_ORIGIN");
    printf("installation: %s %s\n", msbasic_get_quorvelpath(), origin != NULL ? origin : "(none)");
    msbasic_end_main(msbasic_init_cascade);
    return ok ? 0 : 2;
}
