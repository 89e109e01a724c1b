// Temporary-file names per connection: a series of names in the temporary
// directory, removed with the connection.
#include "conn/tmpfile.h"

#include <atomic>
#include <cstring>
#include <new>

#include "base/errids.h"
#include "base/registry.h"
#include "base/space.h"
#include "msbasic.h"
#include "msconn.h"
#include "mserror.h"
#include "msfio.h"
#include "msfmt.h"
#include "mstmp.h"

namespace qrv::tmp {
namespace {

constexpr int32_t kFirst = 0x4000;
constexpr int32_t kLast = 0x4030;
constexpr int kTurn = 48;  // candidates one call tries
constexpr int kTmpDirSize = 993;

std::atomic<uint16_t> g_postfix{0};

State *state_of(void *connection) {
    // A freed or foreign connection is refused before its memory is read.
    if (!space::is_live(space::Kind::connection, connection)) return nullptr;
    auto *c = static_cast<msconn_connection *>(connection);
    return c->magic == MSCONN_MAGIC ? static_cast<State *>(c->tmpfile_state) : nullptr;
}

// "QRV_<pid>_<postfix>_<connection>_" with the sequence number after it
// when sequence >= 0: its length, or -1 when it does not fit in size bytes.
int format_name(char *buffer, size_t size, void *connection, int sequence) {
    int pid = msbasic_get_init_pid();
    unsigned postfix = g_postfix.load(std::memory_order_relaxed);
    auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(connection));
    char *end = sequence < 0
                    ? msfmt_buffer_lim(buffer, static_cast<int>(size), "QRV_%d_%04x_%llx_", pid, postfix, address)
                    : msfmt_buffer_lim(buffer, static_cast<int>(size), "QRV_%d_%04x_%llx_%04x", pid, postfix, address,
                                       static_cast<unsigned>(sequence % 65536));
    int n = static_cast<int>(end - buffer);
    return static_cast<size_t>(n) + 1 < size ? n : -1;  // a full buffer may have been cut
}

// Removes every entry of directory whose name begins with prefix, a
// directory with everything below it; failures are ignored and leave the
// error stack as it was.
void remove_series(const char *directory, const char *prefix) {
    int32_t floor = mserror_cleanup_save();
    if (msfio_dir *listing = msfio_opendir(directory, prefix)) {
        char name[1024];
        char path[2048];
        while (msfio_readdir(listing, name, sizeof name) && name[0] != '\0') {
            if (mspath_mkpath(path, sizeof path, directory, name)) msfio_dir_rm_all(path);
        }
        msfio_closedir(listing);
    }
    mserror_cleanup_restore(floor);
}

}  // namespace

State *create_state() noexcept {
    auto *state = static_cast<State *>(space::get(sizeof(State)));
    if (state != nullptr) ::new (state) State{{0}, {kFirst}};
    return state;
}

bool reset_state(msconn_connection *connection) noexcept {
    auto *state = static_cast<State *>(connection->tmpfile_state);
    if (state == nullptr) return false;
    if (state->used.load(std::memory_order_relaxed) != 0) {
        char directory[kTmpDirSize];
        int size = sizeof directory;
        char prefix[64];
        if (msbasic_get_tmpdir(directory, &size) != nullptr && format_name(prefix, sizeof prefix, connection, -1) > 0) {
            remove_series(directory, prefix);
        }
    }
    state->used.store(0, std::memory_order_relaxed);
    state->next.store(kFirst, std::memory_order_relaxed);
    return true;
}

void release_state(msconn_connection *connection) noexcept {
    if (!reset_state(connection)) return;
    space::release(connection->tmpfile_state);
    connection->tmpfile_state = nullptr;
}

}  // namespace qrv::tmp

using namespace qrv::tmp;

extern "C" {

QRV_API char *mstmp_get_tmpdir(char *buffer, int *size) noexcept { return msbasic_get_tmpdir(buffer, size); }

QRV_API uint16_t mstmp_set_tmpfile_postfix_value(uint16_t value) noexcept {
    g_postfix.store(value, std::memory_order_relaxed);
    return value;
}

QRV_API int mstmp_file(char *buffer, int size, int sequence, void *connection) noexcept {
    State *state = state_of(connection);
    if (state == nullptr) {
        mserror_reset_seterr(qrv::err::kInvalidConnection, 0);
        return 0;
    }
    if (buffer == nullptr || size < 1) return 0;
    if (sequence < 0) {
        char prefix[64];
        int n = format_name(prefix, sizeof prefix, connection, -1);
        if (n < 0 || n >= size) return 0;
        std::memcpy(buffer, prefix, static_cast<size_t>(n) + 1);
        return 1;
    }
    char directory[kTmpDirSize];
    int directory_size = sizeof directory;
    if (mstmp_get_tmpdir(directory, &directory_size) == nullptr) return 0;
    char name[64];
    if (format_name(name, sizeof name, connection, sequence) < 0) return 0;
    if (!mspath_mkpath(buffer, size, directory, name)) return 0;
    state->used.store(1, std::memory_order_relaxed);
    return 1;
}

QRV_API int mstmp_newfile(char *buffer, int size, void *connection) noexcept {
    State *state = state_of(connection);
    if (state == nullptr) {
        mserror_reset_seterr(qrv::err::kInvalidConnection, 0);
        return 0;
    }
    // Each candidate is claimed by one call, so threads sharing the
    // connection never get one name twice within a turn.
    for (int tried = 0;; ++tried) {
        if (tried == kTurn) {
            mserror_reset_seterr(qrv::err::kNoFreeTmpFile, 0);
            return 0;
        }
        int32_t candidate = state->next.load(std::memory_order_relaxed);
        while (!state->next.compare_exchange_weak(candidate, candidate + 1 > kLast ? kFirst : candidate + 1,
                                                  std::memory_order_relaxed)) {
        }
        if (!mstmp_file(buffer, size, candidate, connection)) return 0;
        if (msfio_exists(buffer) == 0) return 1;
    }
}

}  // extern "C"
