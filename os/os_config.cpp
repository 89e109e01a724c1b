// Platform calls behind os/os_config.h.
#include <dlfcn.h>
#include <limits.h>

#include <cstdlib>
#include <cstring>

#include "os/os_config.h"

extern char **environ;

namespace qrv::os {

char *const *environment() noexcept { return environ; }

bool own_file_path(char *buffer, size_t size) noexcept {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&own_file_path), &info) == 0) return false;
    const char *name = info.dli_fname;
    // The main program's map has no name of its own in some loaders.
    if (name == nullptr || name[0] == '\0') name = "/proc/self/exe";
    char resolved[PATH_MAX];
    if (realpath(name, resolved) == nullptr) return false;
    size_t length = std::strlen(resolved);
    if (length + 1 > size) return false;
    std::memcpy(buffer, resolved, length + 1);
    return true;
}

}  // namespace qrv::os
