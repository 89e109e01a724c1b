/* hello: the smallest program of the product. It initialises the library,
 * says where its configuration came from, reports a failure on its error
 * stack the way every layer does, reads the report back and ends the
 * library again. */
#include <stdio.h>

#include "msbasic.h"
#include "mserror.h"
#include "msvars.h"

static void print_top_entry(void) {
    int64_t *entry = mserror_geterr_stack();
    if (entry == NULL) {
        printf("error stack is empty\n");
        return;
    }
    int64_t descriptor = entry[-2];
    printf("error %d with %d argument(s):", mserror_geterr_id(), MSERROR_DESC_NARGS(descriptor));
    for (int i = 0; i < MSERROR_DESC_NARGS(descriptor); ++i) {
        int64_t value = 0;
        mserror_geterr_arg(&value, i);
        if (MSERROR_DESC_IS_STR(descriptor, i)) {
            printf(" '%s'", (const char *)(intptr_t)value);
        } else {
            printf(" %lld", (long long)value);
        }
    }
    printf("\n");
}

int main(void) {
    if (!msbasic_init_main(msbasic_init_cascade)) {
        fprintf(stderr, "hello: cannot initialise the library\n");
        return 1;
    }
    printf("qrvbasic initialised (process counted once: %d)\n", msbasic_is_inited_once());

    /* With no installation the defaults come from the library itself. */
    const char *origin = msbasic_initfile_getvar_env("QRV_CONFIG_ORIGIN");
    printf("installation directory: %s (configuration: %s)\n", msbasic_get_quorvelpath(),
           origin != NULL ? origin : "none");

    /* What a file layer does when an open fails: the system's error first,
     * then its own entry with the path on top. */
    mserror_seterr_os(2);
    mserror_seterr_1arg_str(16473, "/no/such/file");
    print_top_entry();
    mserror_pop();
    print_top_entry();
    mserror_reset();
    print_top_entry();

    msbasic_end_main(msbasic_init_cascade);
    printf("qrvbasic ended (process counted once: %d)\n", msbasic_is_inited_once());
    return 0;
}
