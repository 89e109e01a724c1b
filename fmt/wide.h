// The engine's side of the wide translator: opened on first use under its
// mutex, then used without it.
#pragma once

namespace qrv::fmt::wide {

// UTF-8 text of the NUL-terminated src in *buffer (a space grown as
// needed, *capacity its size; the caller releases it): its byte length, or
// -1 when no translator is open or the conversion fails.
int translate(const char16_t *src, char **buffer, int *capacity) noexcept;

// UTF-8 text of src into dst (size bytes, terminated): its byte length, or
// -1 when it does not fit, the translator is not open yet or converts into
// no fixed buffer, or the conversion fails (translate then decides).
int translate_into(const char16_t *src, char *dst, int size) noexcept;

}  // namespace qrv::fmt::wide
