/* msbin.h - the build tools' family: the functions behind the product's
 * compile, link, archive and database-creation tools: the options file and
 * the compiler driver, cross-development targets, program execution, the
 * archive tools, and the database description and variable files.
 *
 * Commands are always run from argument vectors (never through a shell), so
 * names with spaces, quotes or other shell characters pass as they are.
 * Driver and target state is process-wide: one driver run at a time per
 * process.
 *
 * Files are rewritten in place without ever being half written: the new
 * content goes to a file beside the old one, reaches the disk, and then
 * replaces the old file in one step. A failure at any point leaves the old
 * file as it was (and removes the partial new one where it can).
 *
 * Failures return 0 with the error of the file and stream layers (msfio.h,
 * mssio.h) on the calling thread's error stack.
 */
#ifndef MSBIN_H
#define MSBIN_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* ---- Options file and driver options ---------------------------------------
 * The build tools read their settings from the options file, one per task:
 * <installation>/config/options, else the built-in store's config/options.
 * msbin_init_cascade is the cascade that reads it (msbasic_init_main);
 * without it the options lookups find nothing. */
QRV_API void msbin_init_cascade(void) QRV_NOEXCEPT;
/* Replaces the task's options with the variable file path: 1, or 0 with
 * 10601 "cannot read the options file" and no options left. */
QRV_API int msbin_optfile_switch_file(const char *path) QRV_NOEXCEPT;
/* The value of name in the task's options file, or null. */
QRV_API const char *msbin_optfile_getvar(const char *name) QRV_NOEXCEPT;

/* argv[1] exactly "-help": prints the text of message_id on standard output
 * (*status 0; an unknown id prints the error stack on standard error,
 * *status 1) and returns 1; else 0. status may be null. */
QRV_API int msbin_option_help(int argc, char *const argv[], int32_t message_id, int *status) QRV_NOEXCEPT;
/* argc 1: pushes 10603, prints the error stack on standard error, *status 1,
 * returns 1; else msbin_option_help. */
QRV_API int msbin_option_noarg(int argc, char *const argv[], int32_t message_id, int *status) QRV_NOEXCEPT;
/* A new report of 10603 "wrong number of arguments". */
QRV_API void msbin_option_invnargs(void) QRV_NOEXCEPT;
/* A new report of 10602 "option '%s' is not recognized". */
QRV_API void msbin_option_invoption(const char *option) QRV_NOEXCEPT;

/* A shown command line holds at most MSBIN_LINE_SIZE bytes with its NUL. */
#define MSBIN_LINE_SIZE 10240
/* Appends to line (a buffer of MSBIN_LINE_SIZE bytes holding a string) a
 * line feed (newline nonzero) or a space, then arg in double quotes with a
 * backslash before each double quote of arg. 1, or 0 with line unchanged
 * when the result would not fit (nothing reported). */
QRV_API int msbin_cat_arg(char *line, const char *arg, int newline) QRV_NOEXCEPT;
/* Shows a null-terminated argument vector on standard output instead of
 * running it: one argument per line (per_line nonzero), else argv[0] and
 * each further argument quoted as msbin_cat_arg quotes it, on one line of
 * any length (it is written in pieces, never built whole). Sets *status
 * (may be null) to 0 and returns the characters printed (0 when nothing
 * could be written). */
QRV_API int msbin_echoline(char *const argv[], int per_line, int *status) QRV_NOEXCEPT;

/* ---- The compiler driver ----------------------------------------------------
 * msbin_quorvel_comp(argc, argv, status): argv[0] is the command's name,
 * argv[1] may be a mode word ("-CXX", "-ODBC", "-PCC", ...), driver options
 * follow ("-basiclib", "-echoline", "-listlines", "-noshlib", "-xtarget
 * NAME", ...), and everything after them goes to the compiler, followed by
 * the product's libraries and the system libraries of the options file.
 * Returns 1 when the command ran (or was shown) and succeeded, with *status
 * its exit status; 0 on failure with the error on the stack: 10601, 10603,
 * 10604, 10612, 10659, 10660, 10661, 10678, 10679, or 10680 when the options
 * file names no compiler for the mode. At most MSBIN_MAX_ARGS arguments of
 * MSBIN_ARG_SPACE bytes in all. */
#define MSBIN_MAX_ARGS 2048
#define MSBIN_ARG_SPACE 10240
QRV_API int msbin_quorvel_comp(int argc, char *const argv[], int *status) QRV_NOEXCEPT;
/* The build system's compile command; argv[0] names the variant: "cc",
 * "cc_lib" or "cc_lib1". 1, or 0 on failure or for another name. */
QRV_API int msbin_sysbin_comp(char *const argv[]) QRV_NOEXCEPT;
/* Nonzero: msbin_sysbin_comp adds MSSYS_CCOMPILER_PIC_OPTIONS. */
QRV_API void msbin_sysbin_set_pic_options(int flag) QRV_NOEXCEPT;

/* ---- Cross-development targets ---------------------------------------------
 * The current target ("" for the host), at most 32 characters. */
#define MSBIN_XTARGET_SIZE 33
QRV_API extern char msbin_xtarget[MSBIN_XTARGET_SIZE];
/* Finds the target ("-xtarget NAME" among argv[1..], else MS_XTARGET) into
 * target (size bytes, "" for none) and, the first time in the process,
 * switches the options file to <installation>/config/xcfg/<target>. 1, or 0
 * with 10603 ("-xtarget" last) or 10601. */
QRV_API int msbin_setup_cross_development(int argc, char *const argv[], char *target, int size) QRV_NOEXCEPT;
/* Records the target in msbin_xtarget (cut to 32 characters) and switches
 * the file-name conventions for "nto-ppc" and targets beginning with
 * "etkernel", "etcompact", "linux" or "vx". */
QRV_API void msbin_set_xtarget(const char *name) QRV_NOEXCEPT;
/* The options-file path of target (null or "": the host's) into buffer: 1,
 * or 0 with "" when it does not fit. */
QRV_API int msbin_get_effective_options_filename(const char *target, char *buffer, int size) QRV_NOEXCEPT;
/* Searches each ':'-separated entry of path_list (";" also separates) for
 * program as a regular file: 1 with the full path in buffer, else 0 and "". */
QRV_API int msbin_util_get_program_from_path(const char *path_list, const char *program, char *buffer,
                                             int size) QRV_NOEXCEPT;
/* The full path of java or javac found on PATH: 1, or 0 with 10829 (java)
 * or 10811 (javac). */
QRV_API int msbin_get_java_program(char *buffer, int size) QRV_NOEXCEPT;
QRV_API int msbin_get_javac_program(char *buffer, int size) QRV_NOEXCEPT;
/* Kind 0 or 1: java, kind 2: javac, found on PATH (there is no registry):
 * 1, or 0 with "" (nothing pushed). */
QRV_API int msbin_win32_get_java_program(char *buffer, int size, int kind) QRV_NOEXCEPT;
/* The native compiler's environment needs nothing on this host: no effect. */
QRV_API void msbin_win32_set_dev_env(void) QRV_NOEXCEPT;
/* Writes the error stack's text to standard error (there is no message box):
 * 1, or 0 when the stack is empty. */
QRV_API int msbin_win32_show_msgbox_stderr(void) QRV_NOEXCEPT;
/* No window system: succeed without effect (1). */
QRV_API int msbin_win32_minimize_window(const char *title) QRV_NOEXCEPT;
QRV_API int msbin_win32_restore_window(const char *title) QRV_NOEXCEPT;

/* ---- Program execution -------------------------------------------------------
 * Runs program with argv (argv[0] is the name the child sees), standard
 * input from input_file and standard output to output_file (created) when
 * given. With wait, *status (may be null) gets the exit code; without, 0.
 * 1 started, or 0 with 10607 (no program), 10604 "cannot start program
 * '%s'", or the file layer's error for the files. */
QRV_API int msbin_sys_spawn_io(const char *program, char *const argv[], const char *input_file, const char *output_file,
                               int wait, int *status) QRV_NOEXCEPT;
/* 1 when started is nonzero and status is 0; else 0, after pushing error_id
 * with name (a new report) unless error_id is MSBIN_NO_ERROR or the start
 * failed. */
#define MSBIN_NO_ERROR 0xFFFFFFFFu
QRV_API int msbin_error_child(int started, int status, uint32_t error_id, const char *name) QRV_NOEXCEPT;
/* Runs the product program <installation>/rdbms/exec/<name> with
 * "-MSPROGNAME <this program's name>" and argv[1..]: waiting or not. */
QRV_API int msbin_quorvel_spawn(const char *name, char *const argv[], int *status) QRV_NOEXCEPT;
QRV_API int msbin_quorvel_spawn_nowait(const char *name, char *const argv[], int *status) QRV_NOEXCEPT;
/* Runs program, waits, ends the library (msbin_init_cascade) and exits with
 * the child's status; returns only on failure, with what printing the error
 * stack on standard error returned. */
QRV_API int msbin_sys_exec(const char *program, char *const argv[]) QRV_NOEXCEPT;
/* msbin_sys_exec of the product program name with "-MSPROGNAME", the
 * redirections of this process's standard streams ("-MSSTDIN", "+MSSTDOUT",
 * "+MSSTDERR"), extra (when not null) and argv[1..]. Vectors of more than
 * 2000 elements are refused with 10678. */
QRV_API int msbin_quorvel_exec(const char *name, const char *extra, char *const argv[]) QRV_NOEXCEPT;

/* ---- Archive tools -----------------------------------------------------------
 * operation 'a' adds, 'r' replaces, 'e' extracts the members (a null-
 * terminated list, may be null) of archive with the options file's
 * MSSYS_ARLIB ("ar" when unset); echo shows the command instead. Returns
 * the result of the command (1 or 0), 0 for another operation. */
QRV_API int msbin_arlib(int operation, const char *archive, char *const members[], int echo, int *status) QRV_NOEXCEPT;
/* Runs MSSYS_RANLIB on archive: 0 when archive is not a regular file, 1 when
 * there is no tool to run, else the result of running it. */
QRV_API int msbin_ranlib(const char *archive, int *status) QRV_NOEXCEPT;

/* ---- Database description and variable files -------------------------------
 * The size of each buffer handed to msbin_upd_tabzero: a value of the
 * longest line the file may hold, with its terminator. */
#define MSBIN_TABZERO_VALUE_SIZE 1024

/* The database description file format that msbin_upd_tabzero writes. */
#define MSBIN_TABZERO_MAJOR 10
#define MSBIN_TABZERO_MINOR 20

/* Brings the description file of database directory ("tabzero.txt", else
 * "tabzero") up to the current format and rewrites it in place. Each buffer
 * must hold MSBIN_TABZERO_VALUE_SIZE bytes; they start as "" and receive the
 * file's data-file code, its block size, and "MSVALIDATESIZE=<value>" when
 * the file has a validate-size line. Returns the upgrade class of the
 * version the file held: 3 (current), 2 (8.61 to 8.99), 1 (other 8.x, 9.x,
 * 6.01 and later 6.x, other 10.x, 11 and later), 0 (older: the file is
 * rewritten as well). 0 on failure, the file untouched: 10665 "neither
 * tabzero.txt nor tabzero found in directory '%s'", a version that is not
 * a number (the number reader's error), or the file layers' errors; a
 * success pushes nothing, which tells class 0 from a failure. A line longer
 * than the buffers is copied whole; only its first 1023 bytes are read. */
QRV_API int msbin_upd_tabzero(const char *directory, char *dfc, char *block_size, char *validate_size) QRV_NOEXCEPT;

/* Sets name=value in the variable file path: the first line beginning with
 * "name=" is replaced, else the line is appended. With keep_backup, the old
 * file is first copied to the first free "path.000" to "path.999" (none
 * free: 0). The new content is written to "path.tmp". 1, or 0 (file
 * untouched; also when "name=" needs more than 63 bytes). */
QRV_API int msbin_update_varfile(const char *path, const char *name, const char *value, int keep_backup) QRV_NOEXCEPT;

/* Copies source over destination (created or truncated), or appends it to
 * destination (created when it cannot be opened). 1 when the whole source
 * was copied, else 0. Source and destination naming one file (also through
 * a link) is refused: 0 with the OS error EINVAL and 16473 (the
 * destination), the file untouched. */
QRV_API int msbin_copy_file(const char *destination, const char *source) QRV_NOEXCEPT;
QRV_API int msbin_concat_file(const char *destination, const char *source) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSBIN_H */
