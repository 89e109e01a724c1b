// Handles: zero-filled blocks that carry a magic in their first field.
#include <cstring>

#include "base/space.h"
#include "msconn.h"

extern "C" QRV_API void *mshandle_alloc(uint32_t magic, int size) noexcept {
    if (size < static_cast<int>(sizeof magic)) return nullptr;
    void *block = qrv::space::get(size);
    if (block == nullptr) return nullptr;
    std::memset(block, 0, static_cast<size_t>(size));
    std::memcpy(block, &magic, sizeof magic);
    return block;
}
