/* msnlsmsg.h - the message catalogue: languages, built-in message tables
 * and (below) the rendering of the error stack as text.
 *
 * A message id is turned into text from the built-in table of the current
 * language, then from the primary (English) table, then from the language's
 * NLS message file. The tables here are constant and may be read from any
 * thread.
 */
#ifndef MSNLSMSG_H
#define MSNLSMSG_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

/* ---- Languages and built-in tables ---------------------------------- */

/* Language ids. English is the primary language. */
#define MSNLSMSG_LANG_ENGLISH 0
#define MSNLSMSG_LANG_FRENCH 1
#define MSNLSMSG_LANG_CHINESE 2
#define MSNLSMSG_LANG_JAPANESE 4
#define MSNLSMSG_LANG_PRIMARY MSNLSMSG_LANG_ENGLISH

/* One message of a built-in table: the id and its text, a UTF-8 format for
 * the formatting engine (msfmt_). A table is sorted by id and ends with an
 * entry whose id is 0 and whose text is null. */
typedef struct msnlsmsg_entry {
    int32_t id;
    const char *text;
} msnlsmsg_entry;

/* Language names and the language each one means: "english", "en",
 * "french", "fr", "chinese", "zh_CN", "zh", "japanese", "ja_JP", "ja" and
 * "primary", in that order, ended by a row with a null name. Names are
 * matched without regard to case. */
typedef struct msnlsmsgtables_offlang_row {
    const char *name;
    int32_t lang;
} msnlsmsgtables_offlang_row;
QRV_API extern const msnlsmsgtables_offlang_row msnlsmsgtables_offlang[];

/* One row per language, ended by a row with a null name: the language id,
 * its name, the suffix of its NLS file name ("utf8_en", "utf8_fr",
 * "utf8_jp", "utf8_cn") and its built-in table. The English table holds
 * every message of the library (ids 16001 to 16831); the Japanese table
 * lacks 16490 and 16517; the Chinese table lacks 16135-16137, 16152-16157,
 * 16490, 16517 and 16537-16544; the French table is empty (only its end
 * entry), so French texts come from the NLS file. */
typedef struct msnlsmsgtables_tabmap_row {
    int32_t lang;
    const char *name;
    const char *suffix;
    const msnlsmsg_entry *table;
} msnlsmsgtables_tabmap_row;
QRV_API extern const msnlsmsgtables_tabmap_row msnlsmsgtables_tabmap[];

/* ---- Rendering ------------------------------------------------------- */

/* The language is chosen at the library's process init from MSLANG, else
 * LANG ("japanese", "ja_JP.UTF-8", "zh_CN.UTF-8", "fr_FR.UTF-8", "C"; the
 * part before "." or "_" names it, anything unknown is English). The text
 * of an id comes from the current language's built-in table, then the
 * primary (English) table, then the language's NLS file, then the English
 * NLS file. NLS files are read from $MSNLSFILE followed by "utf8_en",
 * "utf8_fr", "utf8_jp" or "utf8_cn", else from the library's built-in copy.
 * With MSDEBUG containing "nlsmessage" every text reads "NLS Message <id>".
 * All functions may be called from any thread. */

/* A caller's choice of another language and separator for rendering. */
typedef struct msnlsmsg_client msnlsmsg_client;

/* The current language's name: "english", "french", "japanese" or
 * "chinese" (null for a language the map lacks). */
QRV_API const char *msnlsmsg_lang(void) QRV_NOEXCEPT;

/* A client for a language name of msnlsmsgtables_offlang (compared without
 * regard to case, not trimmed) whose rendered entries are joined by
 * separator. Null for an unknown name, before the library is initialised,
 * or when the language's NLS file cannot be opened (16201-16203 pushed). */
QRV_API msnlsmsg_client *msnlsmsg_init_client(const char *language, char separator) QRV_NOEXCEPT;
/* Closes the client's own NLS file and frees it; null and values that are
 * not an open client are ignored. Given such a value, the renderers below
 * return 0 and change neither the buffer nor the stack, and
 * msnlsmsg_str_real returns "NLS internal error". */
QRV_API void msnlsmsg_end_client(msnlsmsg_client *client) QRV_NOEXCEPT;

/* The text of id in the client's language (null: the current one), a
 * format not yet formatted; never null. A text read from an NLS file lies
 * in one of three per-thread buffers used in turn: it stays valid until
 * three more such texts have been returned on the thread. An unknown id
 * gives the rendered report of 16208 "message id %ld not found in NLS
 * file", which is left on the error stack. */
QRV_API const char *msnlsmsg_str_real(int32_t id, msnlsmsg_client *client) QRV_NOEXCEPT;

/* Renders the top entry of the calling thread's error stack, formatted with
 * its arguments, into buffer (at most size - 1 bytes and a NUL; an id
 * without text gives "no message for error id <id>"): 1, or 0 when the
 * stack is empty. The stack is left as it was. */
QRV_API int msnlsmsg_error_msg(char *buffer, int size, msnlsmsg_client *client) QRV_NOEXCEPT;
/* Renders every visible entry, top first, joined by the client's separator
 * (a line feed without client), stopping when fewer than 2 bytes of room
 * remain: 1, or 0 with "" when the stack is empty. The stack is left
 * exactly as it was. A null buffer or size < 1 writes nothing. */
QRV_API int msnlsmsg_error_msg_all(char *buffer, int size, msnlsmsg_client *client) QRV_NOEXCEPT;

/* Writes the rendered stack (up to 8191 bytes) on the task's standard-error
 * stream as "prefix: text" and a line feed, or the text alone for a null
 * prefix; "no error information" for an empty stack. The stream's result:
 * 1 when written whole, else 0. The stack is left as it was. */
QRV_API int msprtmsg_stderr_arg(const char *prefix) QRV_NOEXCEPT;
/* msprtmsg_stderr_arg with the last component of the program name
 * (msbasic_get_progname) as prefix, none when there is no name. */
QRV_API int msprtmsg_stderr(void) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSNLSMSG_H */
