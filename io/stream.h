// The stream layer's part of the library layer's init and end.
#pragma once

#include "mssio.h"

namespace qrv::sio {

// mssio_open(path, "r") for files read as data: refuses anything but a
// regular file or the null device (see fio::open_regular).
mssio_stream *open_regular_input(const char *path) noexcept;

// Modes 1 and 2: the task's stream table with its three standard streams.
bool init(int mode) noexcept;
// Points the standard streams at the current standard descriptors again
// (after the process's redirection is complete).
void attach_standard() noexcept;
// Modes 1 and 2: closes every stream of the task's table (flushing when
// orderly) and releases the table.
void end(int mode, int orderly) noexcept;

}  // namespace qrv::sio
