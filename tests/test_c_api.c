/* The library as a C99 program sees it: every public header included
 * together, and a pass through the frame, the error stack, tasks and threads. */
#include <stdio.h>
#include <string.h>

#include "msbasic.h"
#include "msbin.h"
#include "msconn.h"
#include "mscs.h"
#include "mscv.h"
#include "mserror.h"
#include "msfio.h"
#include "msfmt.h"
#include "msgust.h"
#include "msnethost.h"
#include "msnlsmsg.h"
#include "msos.h"
#include "mssio.h"
#include "mssp.h"
#include "msstr.h"
#include "mstables.h"
#include "mstask.h"
#include "msthread.h"
#include "mstime.h"
#include "mstmp.h"
#include "msvars.h"
#include "msversion.h"
#include "qrvdefs.h"

static int failures;
#define CHECK(cond)                                                    \
    do {                                                               \
        if (!(cond)) {                                                 \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                \
        }                                                              \
    } while (0)

static intptr_t worker(void *arg) {
    int *seen = (int *)arg;
    *seen = msbasic_get_thread_wss() != NULL;
    mserror_reset_seterr_1arg_str(16473, "x");
    *seen += mserror_geterr_id() == 16473;
    return 7;
}

int main(void) {
    CHECK(msbasic_get_thread_wss_only() == NULL);
    CHECK(msbasic_init_main(msbasic_init_cascade) == 1);
    CHECK(mstask_api_current_task_is_default() == 1);

    mserror_reset_seterr_2arg_str(16475, "old", "new");
    int64_t arg = 0;
    CHECK(mserror_geterr_arg(&arg, 1) == 1 && strcmp((const char *)(intptr_t)arg, "new") == 0);

    qrv_mutex mutex;
    int acquired = 0;
    CHECK(msthread_mutex_init(&mutex) == 1);
    CHECK(msthread_mutex_trylock(&mutex, &acquired) == 1 && acquired == 1);
    msthread_mutex_unlock(&mutex);
    msthread_mutex_destroy(&mutex);

    /* The formatting engine reads a C long for "%ld" and UTF-16 for "%ls". */
    char text[64];
    char *end = msfmt_buffer_lim(text, sizeof text, "%ld|%lld|%.2lf|%Q", -1L, (long long)INT64_MIN, 2.5, "q");
    CHECK(strcmp(text, "-1|-9223372036854775808|2.50|'q'") == 0 && end == text + strlen(text));
    double value = 0.0;
    CHECK(mscv_flt_af(&value, " 1.5e3 ") == 1 && value == 1500.0);
    CHECK(mscv_fpu_double->dec_digits == mscv_flt_get_dprec());

    int seen = 0;
    qrv_handle thread = 0;
    CHECK(msthread_thread_create(worker, &seen, 0, NULL, &thread) == 1);
    CHECK(msthread_thread_join(thread) == 1);
    CHECK(seen == 2);

    /* Text and number conversion through the C view of their headers. */
    int32_t number = 0;
    char digits[12];
    CHECK(mscv_al(&number, " -0x10 ") == 1 && number == -16);
    CHECK(mscv_ai(&number, "9x") == 0 && mserror_geterr_id() == 16051);
    CHECK(mscv_lx(digits, *mscv_lmin) == digits + 11 && strcmp(digits, "-2147483648") == 0);
    CHECK(msstr_length_disp("a\xC3\xA9") == 3 && (mstables_char_type[' '] & MSTABLES_WHITE) != 0);
    double one = 1.0;
    int sign = 0, exponent = 0;
    unsigned char mantissa[7];
    mscv_fpu_encode(&sign, &exponent, mantissa, 7, (const unsigned char *)&one, mscv_fpu_double);
    CHECK(sign == 0 && exponent == MSCV_FPU_EXP_BIAS);

    /* Configuration through the C view of its headers. */
    msvars_set *set = msvars_readbuf("A = 1\nB=\"x y\"");
    CHECK(set != NULL && strcmp(msvars_getvar(set, "B"), "x y") == 0);
    int length = 0;
    char *written = msvars_genbuf(set, NULL, NULL, &length);
    CHECK(written != NULL && strcmp(written, "A=1\nB=x y\n") == 0 && length == 11);
    mssp_free_rv(written);
    CHECK(msvars_freevars(set) == 1);
    CHECK(msversion_convert("10.20 r7") == msversion_dbms && msversion_check(5, msversion_dbms) == 1);
    char path[16];
    CHECK(mspath_mkpath(path, sizeof path, "dir", "f") == 1 && strcmp(mspath_tailname(path), "f") == 0);
    CHECK(msbasic_get_quorvelpath() != NULL && msbasic_get_codeset_id() == 3);
    /* The catalogue's tables as plain C arrays. */
    CHECK(msnlsmsgtables_tabmap[0].lang == MSNLSMSG_LANG_ENGLISH && msnlsmsgtables_tabmap[0].table[0].id == 16001);
    CHECK(msnlsmsgtables_tabmap[1].table[0].id == 0 && msnlsmsgtables_offlang[10].lang == MSNLSMSG_LANG_PRIMARY);

    char dotted[16];
    CHECK(msnethost_fmt_ipaddr(0x7F000001u, dotted, sizeof dotted) == 1 && strcmp(dotted, "127.0.0.1") == 0);
    CHECK(msos_inet_addr("1.2.3.4") == msos_htonl(0x01020304u) && msos_winsock_init() == 0);
    CHECK(msos_winsock_cleanup() == 0 && msos_get_winsock_init_errno() == 0);

    msfio_fd null_fd = MSFIO_NULL;
    CHECK(msfio_write(null_fd, "x", 1) == 1);
    CHECK(msfio_open("/no/such/file", 1, 'r') == MSFIO_NONE && mserror_geterr_id() == 16473);
    /* The stack rendered through an English client, whatever LANG says. */
    msnlsmsg_client *client = msnlsmsg_init_client("english", '|');
    char report[128];
    CHECK(client != NULL && msnlsmsg_error_msg_all(report, sizeof report, client) == 1);
    CHECK(strcmp(report, "cannot open file '/no/such/file'|O/S error 2: No such file or directory") == 0);
    CHECK(strcmp(msnlsmsg_str_real(16801, client), "January") == 0 && msnlsmsg_lang() != NULL);
    msnlsmsg_end_client(client);
    CHECK(msos_wsagetlasterror() == msos_geterror());
    CHECK(msfio_get_stdout() != MSFIO_NONE);
    uint32_t counters[5];
    CHECK(msosfileio_stat_get(counters) == 0 && counters[4] >= 1);
    CHECK(msos_rand_get_pos_int() >= 0); /* the library's init opened the source */
    mstime_timeval now, later = {1, 600000000};
    CHECK(mstime_get_timeval(&now) == 0 && now.sec >= mstime_gettime(NULL) - 1);
    CHECK(mstime_timeval_add(&later, &later, &later)->sec == 3 && later.nsec == 200000000);
    char when[MSOS_CTIME_SIZE];
    msos_tm tm;
    CHECK(msos_ctime_r(0, when) != NULL && msos_gmtime_r(86400, &tm) != NULL && tm.mday == 2);

    /* The build tools take a C program's own argument vectors. */
    char line[MSBIN_LINE_SIZE] = "cc";
    CHECK(msbin_cat_arg(line, "a\"b", 0) == 1 && strcmp(line, "cc \"a\\\"b\"") == 0);
    char name[] = "prog", *args[] = {name, NULL};
    char target[MSBIN_XTARGET_SIZE];
    CHECK(msbin_setup_cross_development(1, args, target, (int)sizeof target) == 1 && target[0] == '\0');
    CHECK(msbin_xtarget[0] == '\0');

    CHECK(msbasic_end_main(msbasic_init_cascade) == 1);
    CHECK(msbasic_get_init_pid() == 0);
    if (failures == 0) printf("C interface: all checks passed\n");
    return failures != 0;
}
