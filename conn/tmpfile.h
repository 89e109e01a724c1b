// A connection's series of temporary files. The connection layer owns the
// connection record (its leading fields are below); it
// makes the state with each connection and releases it (removing the
// series' files) when the connection goes.
#pragma once

#include <cstdint>

namespace qrv::tmp {

struct State {
    int32_t used;  // names were handed out
    int32_t next;  // next sequence number, 0x4000 to 0x4030
};

// The leading fields of a connection (MSCONN_MAGIC, 184 bytes).
struct ConnectionHead {
    uint32_t magic;
    uint64_t in_use;
    State *tmp;
};

// A fresh state (unused, next 0x4000), or null when no space is left.
State *create_state() noexcept;
// Removes the files of the connection's series when names were handed out,
// then releases its state and clears the connection's pointer to it.
void release_state(void *connection) noexcept;

}  // namespace qrv::tmp
