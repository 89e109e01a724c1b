// A table of contents without "mstrans_find_cvset": the plug-in tests put it
// in an installation to see a missing entry point reported. Its list is
// empty.
#include "mscs.h"

extern "C" __attribute__((visibility("default"))) mscstrans_entry *mstrans_get_trlist(int *count) {
    if (count != nullptr) *count = 0;
    return nullptr;
}
