/* msvars.h - MS variables: variable files, variable sets, lookup with the
 * environment and the initialisation file, variable objects, and the
 * read-only-memory files of the built-in store.
 *
 * A variable file holds one entry per line: "NAME=value", "NAME" or
 * "NAME=" (no value); "#" or ":" starts a comment line. A value in double
 * or single quotes is expanded ("\x" literal, "$NAME" and "${NAME}" from the
 * environment of MS variables); "[WORD]value" keeps a value for the
 * platforms named by WORD ("SYS_OS_LINUX_X64", "SYS_OS_LINUX", "ALL"), and
 * "NAME=\" followed by "[WORD]value" lines picks the first that applies.
 * Lines may hold at most 1023 bytes before their line end and must be UTF-8
 * without NUL bytes; a file breaking either rule is refused.
 *
 * A set is immutable once read and may be looked up from any thread; its
 * reference count is guarded by the set's own lock. Values handed out point
 * into the set (or the environment snapshot) and live as long as it does.
 * A set or object that was released (or a value that never was one) is
 * refused as "not a set"/"not an object" without being read.
 */
#ifndef MSVARS_H
#define MSVARS_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

#define MSVARS_SET_TAG 0x199E1199u
#define MSVARS_OBJ_TAG 0x199E2299u

/* A variable set (tag MSVARS_SET_TAG) and a variable object (tag
 * MSVARS_OBJ_TAG, a view on one block of a set). Functions taking
 * "set or object" accept either as a void pointer. */
typedef struct msvars_set msvars_set;
typedef struct msvars_obj msvars_obj;

/* An index entry: a pointer to the pair of integers that records one entry
 * of a set (name offset, value offset or 0). The entry after e is e + 2. */
typedef int32_t msvars_entry;

/* The object functions' "no space left" result. */
#define MSVARS_OBJ_NOSPACE ((msvars_obj *)-1)

/* Source kinds of msvars_read. */
#define MSVARS_SOURCE_STREAM 0  /* an open buffered stream (mssio_stream *) */
#define MSVARS_SOURCE_ROMFILE 1 /* a file of msromf_open */
#define MSVARS_SOURCE_BUFFER 2  /* a const char ** cursor on NUL-terminated text */

/* ---------------------------------------------------------------------- */
/* Reading and writing sets                                                */
/* ---------------------------------------------------------------------- */

/* msvars_readfile_ex(path, 0). */
QRV_API msvars_set *msvars_readfile(const char *path) QRV_NOEXCEPT;
/* Reads the variable file at path (through a buffered stream, mssio_open
 * with "r") into a new set (reference count 1).
 * With keep_comments nonzero, comment and blank lines are kept as entries
 * with an empty name and the line as value, so msvars_genbuf can rewrite
 * the file faithfully. Null on failure: the cause (16151 and 16473 "cannot
 * open file '%s'" also for a directory, 16116 "file read interrupted"
 * for a failed read; 16546 line too long;
 * 16547 NUL byte; 16548 not UTF-8; 16549 value too long; allocation errors)
 * with 16545 "error in variable file '%s' at line %ld" on top. Thread-safe. */
QRV_API msvars_set *msvars_readfile_ex(const char *path, int keep_comments) QRV_NOEXCEPT;
/* Reads only the entries from the line named start through the line named
 * end (names compared exactly); failures as msvars_readfile; null start or
 * end gives null with nothing reported. Thread-safe. */
QRV_API msvars_set *msvars_readfile_include(const char *path, const char *start, const char *end) QRV_NOEXCEPT;
/* Reads every entry except those from the line named start through the
 * line named end; otherwise as msvars_readfile_include. Thread-safe. */
QRV_API msvars_set *msvars_readfile_exclude(const char *path, const char *start, const char *end) QRV_NOEXCEPT;
/* Reads from a source of the given kind (MSVARS_SOURCE_...): a stream, a
 * read-only-memory file, or a const char ** cursor on text, which is
 * advanced past what was read. Null for a null source or unknown kind
 * (nothing reported) and on the failures of msvars_readfile. */
QRV_API msvars_set *msvars_read(void *source, int kind) QRV_NOEXCEPT;
/* Reads NUL-terminated text (lines end with line feeds, which are dropped,
 * so "NAME=\" is an ordinary value here). Null text gives null with nothing
 * reported; other failures as msvars_readfile with "<buffer>" as the file. */
QRV_API msvars_set *msvars_readbuf(const char *text) QRV_NOEXCEPT;
/* Reads the named file of the built-in store (e.g. "config/initfile.txt");
 * null when the store has no such file (nothing reported) or on the
 * failures of msvars_readfile. */
QRV_API msvars_set *msvars_readromfile(const char *name) QRV_NOEXCEPT;

/* Writes the entries in [first, end) (null first: the start of the index,
 * null end: its end) as text, one line each, that msvars_readbuf or
 * msvars_readfile_ex read back into the same entries; *length gets the bytes
 * written including the final NUL. Release the text with mssp_free_rv. Null
 * and *length 0 for an empty or invalid range, a null set, or when no space
 * is left (16002/16007 pushed). Thread-safe. */
QRV_API char *msvars_genbuf(msvars_set *set, const msvars_entry *first, const msvars_entry *end,
                            int *length) QRV_NOEXCEPT;

/* Drops one reference; the last one releases the set. 1 (also for null),
 * 0 when set is not a set. Thread-safe. */
QRV_API int msvars_freevars(msvars_set *set) QRV_NOEXCEPT;
/* Adds one reference and returns set; null for null. Thread-safe. */
QRV_API msvars_set *msvars_reopen(msvars_set *set) QRV_NOEXCEPT;

/* ---------------------------------------------------------------------- */
/* Lookup                                                                   */
/* ---------------------------------------------------------------------- */

/* Takes a UTF-8 snapshot of the process environment (replacing an older
 * one): 1, or 0 when the process has no environment or no memory is left
 * (nothing reported). Called at process init; not to be called while other
 * threads look variables up. msvars_envend releases it (1). */
QRV_API int msvars_envinit(void) QRV_NOEXCEPT;
QRV_API int msvars_envend(void) QRV_NOEXCEPT;
/* The environment of MS variables: the environment file's set when one is
 * loaded (names exact, an entry without value gives ""), else the snapshot
 * (names compared without regard to ASCII case; the first of equal names
 * wins). Null when absent. No lock; any thread. */
QRV_API const char *msvars_getenv(const char *name) QRV_NOEXCEPT;
/* msvars_getenv(name) when found (null when its value is empty), else the
 * first entry of set (null set: null). Any thread. */
QRV_API const char *msvars_getvar_env(msvars_set *set, const char *name) QRV_NOEXCEPT;
/* The environment first, then the initialisation file. Any thread. */
QRV_API const char *msbasic_initfile_getvar_env(const char *name) QRV_NOEXCEPT;
/* The initialisation-file and environment-file sets (null when none). */
QRV_API msvars_set *msbasic_initfile_get_vars(void) QRV_NOEXCEPT;
QRV_API msvars_set *msvars_envfile_get_vars(void) QRV_NOEXCEPT;

/* The value of the first entry named name (exact, case-sensitive), "" for
 * an entry without value, null when absent or set is null. Any thread. */
QRV_API const char *msvars_getvar(msvars_set *set, const char *name) QRV_NOEXCEPT;
/* As msvars_getvar within [first, end) of the index (null first: its
 * start; null end: its end); *found (when given) gets the matching entry or
 * null. Entries outside the set's index give null. Any thread. */
QRV_API const char *msvars_getvar_limits(msvars_set *set, const char *name, const msvars_entry **found,
                                         const msvars_entry *first, const msvars_entry *end) QRV_NOEXCEPT;
/* msstr_parse_str_boolean of msvars_getvar: 0 or 1. */
QRV_API int msvars_getvar_boolean(msvars_set *set, const char *name) QRV_NOEXCEPT;
/* Calls fn(context, name, value) for every entry in file order; value is ""
 * for an entry without one. */
typedef void (*msvars_entry_fn)(void *context, const char *name, const char *value);
QRV_API void msvars_getvar_all(msvars_set *set, msvars_entry_fn fn, void *context) QRV_NOEXCEPT;

/* ---------------------------------------------------------------------- */
/* Variable objects: one block of a set, from a start-name entry up to     */
/* (not including) the next end-name entry. The set must outlive them.     */
/* ---------------------------------------------------------------------- */

/* The first block of set; null when there is none, MSVARS_OBJ_NOSPACE when
 * no space is left (16002/16007 pushed). */
QRV_API msvars_obj *msvars_getobj_init(msvars_set *set, const char *start, const char *end) QRV_NOEXCEPT;
/* Moves obj to the next block; with none, releases obj and returns null. */
QRV_API msvars_obj *msvars_getobj_next(msvars_obj *obj) QRV_NOEXCEPT;
/* On a set: msvars_getobj_init. On an object: a new object for the first
 * block found inside its block (null when none). */
QRV_API msvars_obj *msvars_getobj_obj(void *set_or_obj, const char *start, const char *end) QRV_NOEXCEPT;
/* Releases obj: 1, or 0 when it is not an object. */
QRV_API int msvars_getobj_end(msvars_obj *obj) QRV_NOEXCEPT;
/* Lookups within the block (a set: the whole set). */
QRV_API const char *msvars_getvar_obj(void *set_or_obj, const char *name) QRV_NOEXCEPT;
QRV_API const char *msvars_getvar_obj_limits(void *set_or_obj, const char *name, const msvars_entry **found,
                                             const msvars_entry *first, const msvars_entry *end) QRV_NOEXCEPT;
/* The set under an object; a set is returned as it is; null for null. */
QRV_API msvars_set *msvars_getvars_from_obj(void *set_or_obj) QRV_NOEXCEPT;
/* On a set: msvars_reopen. On an object: a copy sharing its names (the
 * source must outlive it), or MSVARS_OBJ_NOSPACE. Null for null. */
QRV_API void *msvars_reopen_obj(void *set_or_obj) QRV_NOEXCEPT;
/* On a set: msvars_freevars. On an object: releases the object only. 1. */
QRV_API int msvars_free_obj(void *set_or_obj) QRV_NOEXCEPT;
/* msvars_genbuf over the whole set or over the object's block. */
QRV_API char *msvars_genbuf_obj(void *set_or_obj, int *length) QRV_NOEXCEPT;

/* ---------------------------------------------------------------------- */
/* Read-only-memory files: the files of the built-in store                 */
/* ---------------------------------------------------------------------- */

/* Bytes msromf_read may write, line end included; one more is needed for
 * the terminator. */
#define MSROMF_LINE_SIZE 1024
typedef struct msromf_file msromf_file;

/* Opens the stored file of that relative path ("config/initfile.txt");
 * null when the store has none or no space is left. Thread-safe. */
QRV_API msromf_file *msromf_open(const char *name) QRV_NOEXCEPT;
/* Copies the next line, line feed kept, and a terminator into line
 * (MSROMF_LINE_SIZE + 1 bytes): the bytes copied before the terminator (a
 * longer line comes in pieces of MSROMF_LINE_SIZE bytes), or -1 at the end.
 * One thread at a time per file. */
QRV_API int msromf_read(msromf_file *file, char *line) QRV_NOEXCEPT;
/* Releases the file; 1 (also for null), 0 for a value that is not an open
 * file (msromf_read gives -1 for it and writes nothing). */
QRV_API int msromf_close(msromf_file *file) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSVARS_H */
