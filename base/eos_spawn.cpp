// The reporting forms of spawning: on failure the operating-system error,
// then 16463 with the program's name.
#include <errno.h>

#include "base/eos.h"
#include "base/errids.h"
#include "msos.h"

namespace {

uint32_t reported(uint32_t result, const char *program) {
    if (result == MSOS_SPAWN_FAILED) {
        qrv::eos::push_os_error(errno, qrv::err::kCannotExecvProgram, program != nullptr ? program : "");
    }
    return result;
}

}  // namespace

extern "C" {

QRV_API uint32_t mseos_spawnvp_ex(const char *program, char *const argv[], int wait, const qrv_handle *handles,
                                  int show_window, int quote) noexcept {
    return reported(msos_spawnvp_ex(program, argv, wait, handles, show_window, quote), program);
}

QRV_API uint32_t mseos_spawnvp_wait(const char *program, char *const argv[]) noexcept {
    return reported(msos_spawnvp_wait(program, argv), program);
}

QRV_API uint32_t mseos_spawnvp_nowait(const char *program, char *const argv[]) noexcept {
    return reported(msos_spawnvp_nowait(program, argv), program);
}

QRV_API uint32_t mseos_spawnvp_io(const char *program, char *const argv[], int wait,
                                  const qrv_handle *handles) noexcept {
    return reported(msos_spawnvp_io(program, argv, wait, handles), program);
}

}  // extern "C"
