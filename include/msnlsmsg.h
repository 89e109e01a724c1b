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

/* The language choice, message clients and the renderers of the error
 * stack (msnlsmsg_str_real, msnlsmsg_error_msg_all, msprtmsg_stderr and
 * their relatives) belong in this section. */

QRV_EXTERN_C_END

#endif /* MSNLSMSG_H */
