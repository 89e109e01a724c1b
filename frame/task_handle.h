// The task handle (MSHANDLE_TASK_MAGIC, MSHANDLE_TASK_SIZE bytes, zero-filled
// when the library's init makes it in modes 1 and 2): the fields the
// library keeps per task.
#pragma once

#include <cstdint>

#include "msconn.h"

namespace qrv::frame {

struct TaskHandle {
    uint32_t magic;         // MSHANDLE_TASK_MAGIC
    void *connection_list;  // the task's connections
    void *stream_table;     // the task's streams
    const char *progname;   // the program name (msbasic_set_progname)
};
static_assert(sizeof(TaskHandle) <= MSHANDLE_TASK_SIZE, "task handle too small");

}  // namespace qrv::frame
