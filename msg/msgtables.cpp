// The exported language tables. The message tables they point to are
// generated from data/messages (see msg/msgcatalogue.h).
#include "msg/msgcatalogue.h"

extern "C" {

// clang-format off
QRV_API extern const msnlsmsgtables_offlang_row msnlsmsgtables_offlang[] = {
    {"english", MSNLSMSG_LANG_ENGLISH},
    {"en", MSNLSMSG_LANG_ENGLISH},
    {"french", MSNLSMSG_LANG_FRENCH},
    {"fr", MSNLSMSG_LANG_FRENCH},
    {"chinese", MSNLSMSG_LANG_CHINESE},
    {"zh_CN", MSNLSMSG_LANG_CHINESE},
    {"zh", MSNLSMSG_LANG_CHINESE},
    {"japanese", MSNLSMSG_LANG_JAPANESE},
    {"ja_JP", MSNLSMSG_LANG_JAPANESE},
    {"ja", MSNLSMSG_LANG_JAPANESE},
    {"primary", MSNLSMSG_LANG_PRIMARY},
    {nullptr, 0},
};
// clang-format on

// French has no built-in texts: its table is only the end entry, so lookups
// fall through to the primary table and the NLS file.
QRV_API extern const msnlsmsgtables_tabmap_row msnlsmsgtables_tabmap[] = {
    {MSNLSMSG_LANG_ENGLISH, "english", "utf8_en", qrv::msg::english_table},
    {MSNLSMSG_LANG_FRENCH, "french", "utf8_fr", qrv::msg::french_table},
    {MSNLSMSG_LANG_JAPANESE, "japanese", "utf8_jp", qrv::msg::japanese_table},
    {MSNLSMSG_LANG_CHINESE, "chinese", "utf8_cn", qrv::msg::chinese_table},
    {0, nullptr, nullptr, nullptr},
};

}  // extern "C"
