/* errors: what a program of the product does when a call fails. It opens a
 * file that does not exist through the library, which reports the system's
 * error and its own on the thread's error stack, and prints that stack on
 * standard error in the user's language (MSLANG, else LANG). */
#include <stdio.h>

#include "msbasic.h"
#include "msfio.h"
#include "msnlsmsg.h"

int main(int argc, char **argv) {
    (void)argc;
    if (!msbasic_init_main(msbasic_init_cascade)) {
        msprtmsg_stderr_arg("errors"); /* why the library could not start */
        return 1;
    }
    msbasic_set_progname(argv[0]);
    const char *path = "/no/such/dir/data.qrv";
    msfio_fd fd = msfio_open(path, 1, 'r');
    int printed = 0;
    if (fd == MSFIO_NONE) {
        printed = msprtmsg_stderr(); /* "errors: <top entry>\n<the system's entry>\n" */
    } else {
        msfio_close(fd);
    }
    msbasic_end_main(msbasic_init_cascade);
    return printed ? 0 : 1;
}
