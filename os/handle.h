// Handles of the operating-system layer. A handle is either a file descriptor
// (0 <= h < 2^31) or the address of one of the layer's records with bit 62
// set, so the two can never be confused and a stray integer is never
// dereferenced as a record unless it carries the tag.
#pragma once

#include <cstdint>

#include "qrvdefs.h"

namespace qrv::os {

enum class HandleKind : uint32_t {
    thread = 0x51F0A001u,
    event = 0x51F0A002u,
    mapping = 0x51F0A003u,
    search = 0x51F0A004u,
};

// Every record starts with its kind.
struct HandleRecord {
    HandleKind kind;
};

inline constexpr intptr_t kRecordTag = intptr_t{1} << 62;

inline qrv_handle to_handle(HandleRecord *record) noexcept { return reinterpret_cast<intptr_t>(record) | kRecordTag; }

inline bool is_fd(qrv_handle h) noexcept { return h >= 0 && h <= INT32_MAX; }

// The record behind h if h is a tagged record of the given kind, else null.
template <typename Record>
Record *record_of(qrv_handle h, HandleKind kind) noexcept {
    if ((h & kRecordTag) == 0 || h < 0) return nullptr;
    auto *rec = reinterpret_cast<HandleRecord *>(h & ~kRecordTag);
    if (rec == nullptr || rec->kind != kind) return nullptr;
    return static_cast<Record *>(rec);
}

}  // namespace qrv::os
