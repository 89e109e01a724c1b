// The bounded argument vector the build tools build every command in, the
// expansion of library lists into it, and running or showing a command.
#include <cstring>

#include "base/errids.h"
#include "bin/internal.h"
#include "msbasic.h"
#include "mserror.h"
#include "msfio.h"
#include "msos.h"
#include "mssp.h"
#include "mstmp.h"

namespace {

namespace err = qrv::err;

bool is_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

namespace qrv::bin {

bool ArgVector::take_slot() noexcept {
    if (counted_ + 1 >= MSBIN_MAX_ARGS) {
        mserror_reset_seterr(err::kTooManyArguments, 0);
        return false;
    }
    ++counted_;
    slots_[used_++] = text_ + text_used_;
    slots_[used_] = nullptr;
    return true;
}

bool ArgVector::put(std::string_view piece) noexcept {
    if (text_count_ + piece.size() >= MSBIN_ARG_SPACE) {
        mserror_reset_seterr(err::kArgumentsTooLong, 0);
        return false;
    }
    std::memcpy(text_ + text_used_, piece.data(), piece.size());
    text_used_ += piece.size(), text_count_ += piece.size();
    return true;
}

bool ArgVector::end_arg() noexcept {
    text_[text_used_++] = '\0';
    return true;
}

bool ArgVector::reserve_slot() noexcept {
    if (counted_ + 1 >= MSBIN_MAX_ARGS) {
        mserror_reset_seterr(err::kTooManyArguments, 0);
        return false;
    }
    ++counted_;
    return true;
}

bool ArgVector::add(std::string_view text) noexcept { return take_slot() && put(text) && end_arg(); }

bool ArgVector::add_list(const char *list, bool marks, const LibDirs &dirs) noexcept {
    if (list == nullptr) return true;
    const Conventions &names = conventions();
    for (const char *p = list;;) {
        while (*p == '|') ++p;
        if (*p == '\0') return true;
        if (!take_slot()) return false;
        const char *directory = nullptr;
        if (marks && *p == '^') directory = dirs.engine;
        if (marks && (*p == '<' || *p == '#')) directory = dirs.common;
        if (directory != nullptr) {
            ++p;
            if (!put(directory) || !put("/")) return false;
        }
        const char *end = std::strchr(p, '|');
        if (end == nullptr) end = p + std::strlen(p);
        if (!put(std::string_view(p, static_cast<size_t>(end - p)))) return false;
        if (directory != nullptr && !put(names.library)) return false;
        end_arg();
        p = end;
    }
}

bool ArgVector::add_words(const char *text) noexcept {
    if (text == nullptr) return true;
    for (const char *p = text;;) {
        while (is_space(*p)) ++p;
        if (*p == '\0') return true;
        const char *end = p;
        while (*end != '\0' && !is_space(*end)) ++end;
        if (!add(std::string_view(p, static_cast<size_t>(end - p)))) return false;
        p = end;
    }
}

bool ArgVector::finish() noexcept {
    if (counted_ + 1 > MSBIN_MAX_ARGS) {
        mserror_reset_seterr(err::kTooManyArguments, 0);
        return false;
    }
    slots_[used_] = nullptr;
    return true;
}

bool is_regular_file(const char *path) noexcept {
    if (path == nullptr || msfio_exists(path) != 2) return false;
    int32_t top = 0, strings = 0;
    mserror_stack_save(&top, &strings);
    char type = 0;
    bool regular = msfio_stat(path, &type, nullptr, nullptr, nullptr, nullptr) && type == 'r';
    mserror_stack_restore(top, strings);
    return regular;
}

bool find_on_path(const char *program, char *buffer, int size) noexcept {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    int length = msos_getenvironmentvariable("PATH", nullptr, 0);  // with its NUL; 0 when unset
    if (length <= 0) return false;
    char *path_list = static_cast<char *>(mssp_get_ex(length, 0));
    if (path_list == nullptr) return false;
    bool found = msos_getenvironmentvariable("PATH", path_list, length) > 0 &&
                 msbin_util_get_program_from_path(path_list, program, buffer, size);
    mssp_free_rv(path_list);
    return found;
}

void prepend_path(const char *directory) noexcept {
    int old_size = msos_getenvironmentvariable("PATH", nullptr, 0);  // with its NUL; 0 when unset
    size_t size = std::strlen(directory) + 1 + static_cast<size_t>(old_size) + 1;
    char *text = static_cast<char *>(mssp_get_ex(static_cast<int>(size), 0));
    if (text == nullptr) return;
    std::strcpy(text, directory);
    if (old_size > 0) {
        size_t used = std::strlen(text);
        text[used] = ':';
        msos_getenvironmentvariable("PATH", text + used + 1, old_size);
    }
    msos_setenvironmentvariable("PATH", text);
    mssp_free_rv(text);
}

bool run_or_show(const char *program, char *const argv[], Show show, int *status) noexcept {
    if (show != Show::run) {
        msbin_echoline(argv, show == Show::per_line, status);
        return true;
    }
    int code = 0;
    int started = msbin_sys_spawn_io(program, argv, nullptr, nullptr, 1, &code);
    if (status != nullptr) *status = code;
    return msbin_error_child(started, code, static_cast<uint32_t>(err::kCommandFailed), argv[0]) != 0;
}

}  // namespace qrv::bin
