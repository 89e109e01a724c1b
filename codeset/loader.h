// Translator libraries: loaded from <installation>/nls/translate/ with the
// system loader, or, when the installation is the built-in store, taken
// from the ones built into the library.
#pragma once

namespace qrv::codeset::loader {

// The library file (a name such as "libmstoc.so") in the installation's
// translator directory: its handle, or null with *path the path tried (a
// buffer of path_size bytes) and *error the loader's message. Null with
// *error null when there is no installation directory.
void *open(const char *file, char *path, int path_size, const char **error) noexcept;

// The address of name in library, or null with *error the loader's message.
void *symbol(void *library, const char *name, const char **error) noexcept;

void close(void *library) noexcept;

}  // namespace qrv::codeset::loader
