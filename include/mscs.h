/* Code sets: the registry of the code sets the product knows (mscs_) and
 * translation between them (mscstrans_).
 *
 * Ids: 0 Unknown, 1 Locale (filled by mscs_init_locale), 2 Wchar (UTF-16LE,
 * code page 1200), 3 UTF8 (65001), 4 ASCII, 5 LATIN1 (1252), 6 EUC_CN (936),
 * 7 EUC_JP (51932), 8 EUC_KR (51949), 9 SJIS (932). */
#ifndef MSCS_H
#define MSCS_H

#include "qrvdefs.h"

QRV_EXTERN_C_BEGIN

#define MSCS_UNKNOWN 0
#define MSCS_LOCALE 1
#define MSCS_WCHAR 2
#define MSCS_UTF8 3
#define MSCS_ASCII 4
#define MSCS_LATIN1 5
#define MSCS_EUC_CN 6
#define MSCS_EUC_JP 7
#define MSCS_EUC_KR 8
#define MSCS_SJIS 9

/* ---- Registry ----------------------------------------------------------------
 * Lookups read constant data (the Locale entry aside) and are safe on any
 * thread; none records an error. */

/* The id of the first alias equal to alias, case ignored ("UTF-8", "SJIS",
 * "Shift_JIS", "EUC_JP_LINUX", "ISO-8859-1", ...), or 0. "ASCII", "Wchar"
 * and "Locale" are not aliases. */
QRV_API int mscs_get_id_from_alias(const char *alias) QRV_NOEXCEPT;
/* The id of a canonical name among ids 3 to 9, case ignored, or 0. */
QRV_API int mscs_get_id_from_name(const char *name) QRV_NOEXCEPT;
/* The same over ids 1 to 9 ("Locale" and "Wchar" too). */
QRV_API int mscs_get_id_from_name_ex(const char *name) QRV_NOEXCEPT;
/* The canonical name of ids 3 to 9; null for every other id. */
QRV_API const char *mscs_get_name_from_id(int id) QRV_NOEXCEPT;
/* Stores the names of ids 3 to 9 in id order, at most max of them, and a
 * null entry after them (list needs max + 1 places); returns list. A null
 * list or a negative max stores nothing. */
QRV_API const char **mscs_get_codeset_namelist(const char **list, int max) QRV_NOEXCEPT;
/* Fills the Locale entry from the user's locale encoding (LC_ALL, LC_CTYPE,
 * LANG): an encoding of ids 3 to 9 (by alias, else by code page) copies that
 * entry and returns its id; another encoding the converter knows makes the
 * entry (its code page, 1, its largest character) and returns 1; -1 when
 * the encoding is none of those (entry unchanged, nothing recorded). Call it
 * once at start-up, before other threads translate. */
QRV_API int mscs_init_locale(void) QRV_NOEXCEPT;
/* When standard input is a terminal and the locale's code page is not
 * 65001, writes "*** Warning *** Incorrect code page %d, please use UTF-8
 * codepage %d" to standard error. */
QRV_API void mscs_win32_codepage_chk(void) QRV_NOEXCEPT;

/* ---- Translation ----------------------------------------------------------------
 * A translator converts between two code sets in both directions. Between
 * the Locale and any other code set, and first between Wchar and ids 5 to
 * 9, the library's code-page service converts (a platform translator);
 * otherwise a plug-in translator found through the table of contents
 * "libmstoc.so" in <installation>/nls/translate/. With the built-in store
 * as the installation ("<INMEM>") the table of contents and translators for
 * every pair of ids 2 to 9 are built into the library. */

/* A conversion function of a translator: converts src_len bytes at src into
 * dst (dst_size bytes), stores the bytes written in *out_len and a status in
 * *status (0, or 256 when the input was not converted whole: invalid, cut
 * or too long for dst) and returns nonzero on success. The fifth argument
 * is the call site's: a pointer to the caller's destination argument
 * (mscstrans_cs1_cs2) or to the source length (mscstrans_cs1_cs2_str_ex);
 * the translators of this product ignore it. */
typedef int (*mscstrans_fn)(const void *src, int src_len, void *dst, int dst_size, void *call_site, int *out_len,
                            int *status);

#define MSCSTRANS_MAGIC 0x0AEF5679u
#define MSCSTRANS_PLATFORM 1 /* kind: the code-page service converts */
#define MSCSTRANS_PLUGIN 0   /* kind: a plug-in translator, or identity */
/* The function slots of a platform translator. */
#define MSCSTRANS_PLATFORM_FN ((mscstrans_fn)(intptr_t)-1)

#define MSCSTRANS_STATUS_OK 0
#define MSCSTRANS_STATUS_PARTIAL 256 /* input not fully converted */
#define MSCSTRANS_STATUS_SAME 4096   /* source and destination are one buffer */

/* A translator record, the caller's. */
typedef struct mscstrans_trans {
    uint32_t magic;
    int kind;
    int codeset1, codeset2;   /* forward: 1 -> 2 */
    int codepage1, codepage2; /* platform translator */
    void *library;            /* plug-in translator, loaded while open */
    mscstrans_fn forward, backward;
    double forward_ratio, backward_ratio; /* most output bytes per input byte */
    int unit_bytes1, unit_bytes2;         /* 2 for Wchar, else 1 */
    int max_bytes1, max_bytes2;           /* largest character in bytes */
} mscstrans_trans;

/* A growable conversion buffer, the caller's; its storage is a space of
 * the accounted allocator. text points at the converted text inside it. */
typedef struct mscstrans_strbuf {
    char *text;
    char *storage;
    int size;   /* bytes of storage */
    int length; /* bytes of text */
} mscstrans_strbuf;

/* An entry of the table of contents (80 bytes): what a translator library
 * and the table-of-contents functions exchange. */
typedef struct mscstrans_entry {
    int32_t codeset1, codeset2;
    const char *forward_name;  /* null: no forward function */
    const char *backward_name; /* null: no backward function */
    const char *library;       /* file name in the same directory */
    double forward_ratio, backward_ratio;
    int32_t unit_bytes1, unit_bytes2;
    int32_t max_bytes1, max_bytes2;
    mscstrans_fn forward, backward; /* filled by the library after loading */
} mscstrans_entry;

/* Entry points of the table of contents "libmstoc.so". */
typedef int (*mstrans_find_cvset_fn)(int codeset1, int codeset2, mscstrans_entry *out);
typedef mscstrans_entry *(*mstrans_get_trlist_fn)(int *count);

/* Zeroes t and sets the magic: 1, or 0 for null. */
QRV_API int mscstrans_init_trans(mscstrans_trans *t) QRV_NOEXCEPT;
/* Prepares t for cs1 <-> cs2: 1, or 0 with an error record: 16525 "unknown
 * codeset id '%d'", 16528 "Cannot convert from codepage '%d' to codepage
 * '%d'", 16529 "Cannot get codepage information of codepage '%d'", 16530
 * "cannot open shared library '%s': %s", 16531 "cannot find shared symbol
 * '%s': %s", 16532 "cannot open translator". Without the magic, without an
 * installation directory, or for a Locale entry with no code page: 0 and
 * nothing recorded. Equal ids give an identity record (no functions;
 * callers copy). */
QRV_API int mscstrans_open_trans(int cs1, int cs2, mscstrans_trans *t) QRV_NOEXCEPT;
/* Unloads a plug-in translator's library and re-initialises t: 1 (0 for
 * null). */
QRV_API int mscstrans_close_trans(mscstrans_trans *t) QRV_NOEXCEPT;
/* The default record: magic, kind 0, ids and code pages 0, no functions,
 * ratios 1.0, widths 1. 1, or 0 for null. */
QRV_API int mscstrans_set_default_trans(mscstrans_trans *t) QRV_NOEXCEPT;
/* Converts src_len bytes at src into dst (dst_size bytes); direction 0 is
 * code set 1 -> 2, 1 is 2 -> 1. 1 with *out_len and *status 0; 0 with
 * *status 4096 when src is dst, 256 when the input was not converted whole.
 * An open record may serve several threads at once. */
QRV_API int mscstrans_cs1_cs2(mscstrans_trans *t, int direction, const void *src, int src_len, void *dst, int dst_size,
                              int *out_len, int *status) QRV_NOEXCEPT;
/* Converts the terminated string src (its terminator included; a src_len
 * other than -1 caps the bytes read) into b, whose storage grows or
 * shrinks to what the conversion may need. b->text is the text (a leading
 * byte-order mark from the code-page service skipped), b->length its bytes
 * with the converted terminator; a terminator follows. Nonzero on success. */
QRV_API int mscstrans_cs1_cs2_str_ex(mscstrans_trans *t, int direction, const void *src, int src_len,
                                     mscstrans_strbuf *b, int *status) QRV_NOEXCEPT;
/* Zeroes b: 1, or 0 for null. */
QRV_API int mscstrans_strbuf_init(mscstrans_strbuf *b) QRV_NOEXCEPT;
/* Frees b's storage and zeroes b: 1, or 0 for null. */
QRV_API int mscstrans_strbuf_destroy(mscstrans_strbuf *b) QRV_NOEXCEPT;
/* The ids (at most max, stored in partners when not null) that have a
 * plug-in translator with cs; 0 when the table of contents is missing. */
QRV_API int mscstrans_get_translist(int cs, int *partners, int max) QRV_NOEXCEPT;

QRV_EXTERN_C_END

#endif /* MSCS_H */
