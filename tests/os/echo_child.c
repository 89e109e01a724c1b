/* The child of the spawning tests: echo_child MODE [ARGS...]. It writes a
 * report of what it received: "pid N", "std D:I D:I D:I" (device and inode
 * of descriptors 0-2, "-" when closed), "fds a,b,..." (its open
 * descriptors), "in LEN:BYTES" (mode 'i': all of standard input), "argc N",
 * then each argument as "LEN:BYTES" on a line of its own. MODE letters:
 * 'i' read standard input, 'e' also write "err PID" to standard error,
 * 'x' N exit with N, 'k' N end by signal N, 'f' PATH (the rest of MODE)
 * write the report to PATH instead of standard output. */
#include <dirent.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static void put_counted(FILE *out, const char *bytes, size_t length) {
    fprintf(out, "%zu:", length);
    fwrite(bytes, 1, length, out);
    fputc('\n', out);
}

int main(int argc, char **argv) {
    const char *mode = argc > 1 ? argv[1] : "";
    int exit_code = 0, signal_number = 0, read_input = 0, to_stderr = 0;
    const char *path = NULL;
    for (const char *m = mode; *m != '\0' && path == NULL; ++m) {
        if (*m == 'i') read_input = 1;
        if (*m == 'e') to_stderr = 1;
        if (*m == 'x') exit_code = (int)strtol(m + 1, NULL, 10);
        if (*m == 'k') signal_number = (int)strtol(m + 1, NULL, 10);
        if (*m == 'f') path = m + 1;
    }
    FILE *out = path != NULL ? fopen(path, "w") : stdout;
    if (out == NULL) return 120;
    fprintf(out, "pid %ld\nstd", (long)getpid());
    for (int fd = 0; fd < 3; ++fd) {
        struct stat s;
        if (fstat(fd, &s) == 0)
            fprintf(out, " %lu:%lu", (unsigned long)s.st_dev, (unsigned long)s.st_ino);
        else
            fputs(" -", out);
    }
    fputs("\nfds ", out);
    DIR *dir = opendir("/proc/self/fd");
    int first = 1;
    for (struct dirent *e; dir != NULL && (e = readdir(dir)) != NULL;) {
        if (e->d_name[0] == '.' || atoi(e->d_name) == dirfd(dir)) continue;
        if (out != stdout && atoi(e->d_name) == fileno(out)) continue;
        fprintf(out, "%s%s", first ? "" : ",", e->d_name);
        first = 0;
    }
    if (dir != NULL) closedir(dir);
    fputc('\n', out);
    if (read_input) {
        char buffer[4096];
        size_t length = fread(buffer, 1, sizeof buffer, stdin);
        fputs("in ", out);
        put_counted(out, buffer, length);
    }
    fprintf(out, "argc %d\n", argc);
    for (int i = 0; i < argc; ++i) put_counted(out, argv[i], strlen(argv[i]));
    fclose(out);
    if (to_stderr) fprintf(stderr, "err %ld\n", (long)getpid());
    if (signal_number != 0) {
        signal(signal_number, SIG_DFL);
        kill(getpid(), signal_number);
    }
    return exit_code;
}
