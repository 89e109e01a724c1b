// The variable set record and what the files of vars/ share about it.
#pragma once

#include <cstdint>

#include "base/registry.h"
#include "msvars.h"
#include "qrvdefs.h"

struct msvars_set {
    uint32_t tag;        // MSVARS_SET_TAG
    int32_t references;  // guarded by lock
    int32_t *index;      // two integers per entry: name offset, value offset or 0
    int32_t index_used;  // integers in use
    int32_t index_capacity;
    char *text;  // names and values, each NUL-terminated; offset 0 unused
    int32_t text_used;
    int32_t text_capacity;
    qrv_mutex lock;
    int32_t keep_comments;  // read in comment-keeping mode (the writer needs to know)
};

namespace qrv::vars {

// True when p is a live set; the tag alone would be read from memory that
// may have been released.
inline bool is_set(const void *p) noexcept { return space::is_live(space::Kind::variable_set, p); }

inline const char *entry_name(const msvars_set *set, const int32_t *entry) noexcept { return set->text + entry[0]; }
inline const char *entry_value(const msvars_set *set, const int32_t *entry) noexcept {
    return entry[1] != 0 ? set->text + entry[1] : nullptr;
}

// [first, end) clamped to the set's index: null first is its start, null
// end its end. False when either lies outside the index, is not on an
// entry boundary, or end comes before first.
bool entry_range(const msvars_set *set, const int32_t *first, const int32_t *end, const int32_t **from,
                 const int32_t **to) noexcept;

// The first entry named name in [from, to), or null.
const int32_t *find_entry(const msvars_set *set, const char *name, const int32_t *from, const int32_t *to) noexcept;

}  // namespace qrv::vars
