// The code-page side of the operating-system layer: numeric code pages
// (the identifiers the code-set layer passes around) mapped to iconv's
// encoding names, and the user's locale encoding. The conversions
// themselves are the exported msos_ConvertINet* functions.
#pragma once

#include <cstddef>

namespace qrv::os {

inline constexpr int kCodePageUtf8 = 65001;
inline constexpr int kCodePageUtf16 = 1200;

// The code page of an encoding name as the locale or iconv spells it
// ("UTF-8", "SHIFT_JIS", "ISO-8859-5", "CP1251"; case ignored), or -1.
int codepage_of_name(const char *name) noexcept;

// The largest character of the code page in bytes (1200: 2), or -1 when the
// code page is not one the converter knows.
int codepage_max_bytes(int code_page) noexcept;

// The user's locale encoding name into buffer, or null (see Syscalls).
const char *locale_codeset(char *buffer, size_t size) noexcept;

// Closes the converters kept for reuse (process end; no conversion may run).
void codepage_release() noexcept;

}  // namespace qrv::os
