// Variable objects: views on one block of a set, from a start-name entry up
// to the next end-name entry.
#include <cstring>

#include "base/registry.h"
#include "base/space.h"
#include "config/varset.h"
#include "msvars.h"

struct msvars_obj {
    uint32_t tag;  // MSVARS_OBJ_TAG
    msvars_set *set;
    const int32_t *first;  // the start-name entry
    const int32_t *end;    // the end-name entry, not part of the block
    const char *start_name;
    const char *end_name;
    // The two names follow the record when the object owns them.
};

namespace {

using qrv::vars::find_entry;
using qrv::vars::is_set;

bool is_obj(const void *p) { return qrv::space::is_live(qrv::space::Kind::variable_object, p); }

msvars_obj *new_record(int size) {
    return static_cast<msvars_obj *>(qrv::space::get_handle(qrv::space::Kind::variable_object, size));
}

// A new object on set with copies of both names; null when no space is left.
msvars_obj *new_object(msvars_set *set, const char *start, const char *end) {
    size_t start_length = std::strlen(start) + 1, end_length = std::strlen(end) + 1;
    auto *obj = new_record(static_cast<int>(sizeof(msvars_obj) + start_length + end_length));
    if (obj == nullptr) return nullptr;
    char *names = reinterpret_cast<char *>(obj + 1);
    std::memcpy(names, start, start_length);
    std::memcpy(names + start_length, end, end_length);
    *obj = msvars_obj{MSVARS_OBJ_TAG, set, nullptr, nullptr, names, names + start_length};
    return obj;
}

void release(msvars_obj *obj) {
    if (!qrv::space::retire(qrv::space::Kind::variable_object, obj)) return;
    obj->tag = 0;
    qrv::space::release(obj);
}

// Finds the block whose start entry lies in [from, to): true and the
// object's entries set, or false. The end name is searched after the start
// entry, so that equal start and end names make blocks that follow one
// another and the next search always moves forward.
bool find_block(msvars_obj *obj, const int32_t *from, const int32_t *to) {
    const int32_t *first = find_entry(obj->set, obj->start_name, from, to);
    if (first == nullptr) return false;
    const int32_t *end = find_entry(obj->set, obj->end_name, first + 2, to);
    if (end == nullptr) return false;
    obj->first = first;
    obj->end = end;
    return true;
}

const int32_t *index_end(const msvars_set *set) { return set->index + set->index_used; }

}  // namespace

extern "C" {

QRV_API msvars_obj *msvars_getobj_init(msvars_set *set, const char *start, const char *end) noexcept {
    if (!is_set(set) || start == nullptr || end == nullptr) return nullptr;
    msvars_obj *obj = new_object(set, start, end);
    if (obj == nullptr) return MSVARS_OBJ_NOSPACE;
    if (find_block(obj, set->index, index_end(set))) return obj;
    release(obj);
    return nullptr;
}

QRV_API msvars_obj *msvars_getobj_next(msvars_obj *obj) noexcept {
    if (!is_obj(obj)) return nullptr;
    const int32_t *from = obj->end != nullptr ? obj->end : obj->set->index;
    if (find_block(obj, from, index_end(obj->set))) return obj;
    release(obj);
    return nullptr;
}

QRV_API msvars_obj *msvars_getobj_obj(void *set_or_obj, const char *start, const char *end) noexcept {
    if (is_set(set_or_obj)) return msvars_getobj_init(static_cast<msvars_set *>(set_or_obj), start, end);
    auto *outer = static_cast<msvars_obj *>(set_or_obj);
    if (!is_obj(outer) || start == nullptr || end == nullptr) return nullptr;
    msvars_obj *obj = new_object(outer->set, start, end);
    if (obj == nullptr) return MSVARS_OBJ_NOSPACE;
    if (find_block(obj, outer->first, outer->end)) return obj;
    release(obj);
    return nullptr;
}

QRV_API int msvars_getobj_end(msvars_obj *obj) noexcept {
    if (!is_obj(obj)) return 0;
    release(obj);
    return 1;
}

QRV_API const char *msvars_getvar_obj(void *set_or_obj, const char *name) noexcept {
    return msvars_getvar_obj_limits(set_or_obj, name, nullptr, nullptr, nullptr);
}

QRV_API const char *msvars_getvar_obj_limits(void *set_or_obj, const char *name, const msvars_entry **found,
                                             const msvars_entry *first, const msvars_entry *end) noexcept {
    if (is_obj(set_or_obj)) {
        auto *obj = static_cast<msvars_obj *>(set_or_obj);
        return msvars_getvar_limits(obj->set, name, found, first != nullptr ? first : obj->first,
                                    end != nullptr ? end : obj->end);
    }
    if (found != nullptr) *found = nullptr;
    if (!is_set(set_or_obj)) return nullptr;
    return msvars_getvar_limits(static_cast<msvars_set *>(set_or_obj), name, found, first, end);
}

QRV_API msvars_set *msvars_getvars_from_obj(void *set_or_obj) noexcept {
    if (is_obj(set_or_obj)) return static_cast<msvars_obj *>(set_or_obj)->set;
    return is_set(set_or_obj) ? static_cast<msvars_set *>(set_or_obj) : nullptr;
}

QRV_API void *msvars_reopen_obj(void *set_or_obj) noexcept {
    if (is_set(set_or_obj)) return msvars_reopen(static_cast<msvars_set *>(set_or_obj));
    if (!is_obj(set_or_obj)) return nullptr;
    auto *copy = new_record(static_cast<int>(sizeof(msvars_obj)));
    if (copy == nullptr) return MSVARS_OBJ_NOSPACE;
    *copy = *static_cast<msvars_obj *>(set_or_obj);
    return copy;
}

QRV_API int msvars_free_obj(void *set_or_obj) noexcept {
    if (set_or_obj == nullptr) return 1;
    if (is_set(set_or_obj)) return msvars_freevars(static_cast<msvars_set *>(set_or_obj));
    return msvars_getobj_end(static_cast<msvars_obj *>(set_or_obj));
}

QRV_API char *msvars_genbuf_obj(void *set_or_obj, int *length) noexcept {
    if (is_obj(set_or_obj)) {
        auto *obj = static_cast<msvars_obj *>(set_or_obj);
        return msvars_genbuf(obj->set, obj->first, obj->end, length);
    }
    if (is_set(set_or_obj)) return msvars_genbuf(static_cast<msvars_set *>(set_or_obj), nullptr, nullptr, length);
    if (length != nullptr) *length = 0;
    return nullptr;
}

}  // extern "C"
