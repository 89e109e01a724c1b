/* A program built against an installed qrvbasic: it prints the
 * installation directory it found, where its defaults came from, and
 * whether text translates between code sets there (Japanese through
 * Shift-JIS and back, and a wide string through the formatting engine). */
#include <msbasic.h>
#include <mscs.h>
#include <mserror.h>
#include <msfmt.h>
#include <msvars.h>
#include <stdio.h>
#include <string.h>

static int translates(void) {
    static const char text[] = "\xe6\x97\xa5\xe6\x9c\xac"; /* two kanji */
    static const qrv_wchar wide[] = {0x65E5, 0x672C, 0};
    char sjis[16], back[16], formatted[16];
    int n = 0, m = 0, status = 0;
    mscstrans_trans t;
    mscstrans_init_trans(&t);
    if (!mscstrans_open_trans(MSCS_UTF8, MSCS_SJIS, &t)) return 0;
    int ok = mscstrans_cs1_cs2(&t, 0, text, 6, sjis, sizeof sjis, &n, &status) &&
             mscstrans_cs1_cs2(&t, 1, sjis, n, back, sizeof back, &m, &status) && m == 6 && memcmp(back, text, 6) == 0;
    mscstrans_close_trans(&t);
    msfmt_buffer_lim(formatted, sizeof formatted, "%ls", wide);
    return ok && strcmp(formatted, text) == 0;
}

int main(void) {
    if (!msbasic_init_main(msbasic_init_cascade)) return 1;
    mserror_reset_seterr_1arg(16151, 2);
    int ok = mserror_geterr_id() == 16151;
    const char *origin = msbasic_initfile_getvar_env("QRV_CONFIG_ORIGIN");
    printf("installation: %s %s\n", msbasic_get_quorvelpath(), origin != NULL ? origin : "(none)");
    printf("translation: %s\n", translates() ? "ok" : "failed");
    msbasic_end_main(msbasic_init_cascade);
    return ok ? 0 : 2;
}
