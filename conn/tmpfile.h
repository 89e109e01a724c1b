// A connection's series of temporary files. The connection layer owns the
// connection record (its leading fields are below); it
// makes the state with each connection and releases it (removing the
// series' files) when the connection goes.
#pragma once

#include <atomic>
#include <cstdint>

#include "msconn.h"

namespace qrv::tmp {

// Atomic, as threads sharing a connection draw names from one series.
struct State {
    std::atomic<int32_t> used;  // names were handed out
    std::atomic<int32_t> next;  // next sequence number, 0x4000 to 0x4030
};
static_assert(sizeof(State) == 8, "two 32-bit words");

// A fresh state (unused, next 0x4000), or null when no space is left.
State *create_state() noexcept;
// Removes the files of the connection's series when names were handed out
// and starts the series afresh: false when the connection has no state.
bool reset_state(msconn_connection *connection) noexcept;
// Removes the files of the connection's series when names were handed out,
// then releases its state and clears the connection's pointer to it. For
// the connection layer, which has retired the connection already.
void release_state(msconn_connection *connection) noexcept;

}  // namespace qrv::tmp
