// Shared pieces of the build tools: the task's options file, list
// variables, the target's file-name conventions and the bounded argument
// vector every command is built in.
#ifndef QRV_BIN_INTERNAL_H
#define QRV_BIN_INTERNAL_H

#include <cstddef>
#include <string_view>

#include "msbin.h"

namespace qrv::bin {

// A list variable of the options file as a library list: every whitespace
// character of its value becomes '|'. Null when unset (an empty list for
// every consumer), or when the value does not fit in size bytes: then
// *overflow (when given) is set and 10679 pushed.
const char *list_var(const char *name, char *buffer, size_t size, bool *overflow = nullptr) noexcept;

// The value of an options-file or environment variable that counts only
// when set, not empty and not exactly "no".
bool feature_on(const char *value) noexcept;
// Set and not empty.
inline bool non_empty(const char *value) noexcept { return value != nullptr && value[0] != '\0'; }
inline bool starts_with(const char *text, std::string_view prefix) noexcept {
    return text != nullptr && std::string_view(text).starts_with(prefix);
}

// program found as a regular file in a directory of PATH (read whole; it
// has no length limit): true with its path in buffer, else false and "".
bool find_on_path(const char *program, char *buffer, int size) noexcept;

// A regular file at path (nothing reported either way).
bool is_regular_file(const char *path) noexcept;

// The file-name conventions of the current target.
struct Conventions {
    const char *executable;   // executable suffix
    const char *library;      // library suffix
    const char *object;       // object suffix
    const char *c_source;     // C source suffix
    const char *include_opt;  // include-directory option
    const char *output_opt;   // output-file option
};
const Conventions &conventions() noexcept;

// The host, or one of the Windows CE targets: the family whose native
// tools the driver's Windows rules are written for.
bool in_windows_family(const char *target) noexcept;
// Commands for targets beginning with "vx55-" run through "cmd.exe /c".
inline bool through_cmd(const char *target) noexcept { return starts_with(target, "vx55-"); }

// The target root: the installation directory, or its xtarget/<target>.
// False with 10661 when the target's directory does not exist (or the path
// does not fit).
bool target_root(const char *target, char *buffer, int size) noexcept;

// Puts directory in front of PATH (':' separated) for the rest of the
// process.
void prepend_path(const char *directory) noexcept;

// An argument vector of at most MSBIN_MAX_ARGS slots whose texts live in
// one MSBIN_ARG_SPACE-byte area; both bounds are checked on every add
// (10678 and 10679). Items of a library list are separated by '|'; with
// marks, "^" items expand into the engine directory and "<" and "#" items
// into the common directory, with the library suffix.
struct LibDirs {
    const char *engine = "";
    const char *common = "";
};

class ArgVector {
public:
    bool add(std::string_view text) noexcept;
    bool add_list(const char *list, bool marks, const LibDirs &dirs = LibDirs()) noexcept;
    // Splits on whitespace rather than '|'.
    bool add_words(const char *text) noexcept;
    bool reserve_slot() noexcept;  // counted, never filled
    // Ends the vector with its null pointer (10678 when no slot is left).
    bool finish() noexcept;
    char *const *argv() const noexcept { return slots_; }
    int size() const noexcept { return used_; }
    const char *operator[](int i) const noexcept { return slots_[i]; }
    void clear() noexcept { used_ = counted_ = 0, text_used_ = text_count_ = 0; }

private:
    bool take_slot() noexcept;
    bool put(std::string_view piece) noexcept;  // into the current argument
    bool end_arg() noexcept;

    char *slots_[MSBIN_MAX_ARGS + 1] = {};
    // The bound counts text bytes, not the terminating NULs.
    char text_[MSBIN_ARG_SPACE + MSBIN_MAX_ARGS + 1] = {};
    int used_ = 0;           // slots pointing at arguments
    int counted_ = 0;        // slots counted against the bound
    size_t text_used_ = 0;   // bytes of the area in use, NULs included
    size_t text_count_ = 0;  // text bytes counted against the bound
};

// Shows a vector (one line, or one argument per line) or runs it and
// reports a nonzero exit as 10612 with its first argument.
enum class Show { run, line, per_line };
bool run_or_show(const char *program, char *const argv[], Show show, int *status) noexcept;

}  // namespace qrv::bin

#endif
