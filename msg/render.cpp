// Rendering the error stack as text: each entry's id looked up in the
// catalogue and formatted with the entry's own typed arguments (numbers as
// 64-bit words, strings from the stack's string buffer), the entries joined
// top first; and printing that on the task's standard error.
#include <cstring>

#include "base/errstack.h"
#include "base/registry.h"
#include "fmt/engine.h"
#include "msbasic.h"
#include "mserror.h"
#include "msg/messages.h"
#include "mssio.h"
#include "mstmp.h"

namespace qrv::msg {
namespace {

// What msprtmsg_ renders at most; a longer report is cut.
constexpr int kPrintSize = 8192;

// Words the visible entries take (read by popping, then restored: popping
// writes nothing).
int32_t visible_words() {
    int32_t top = 0, used = 0, bottom = 0, ignored = 0;
    mserror_stack_save(&top, &used);
    while (mserror_pop()) {
    }
    mserror_stack_save(&bottom, &ignored);
    mserror_stack_restore(top, used);
    return top - bottom;
}

// Renders the visible entry that lies depth words below the top into buffer
// (size bytes with the NUL) and stores the words it takes in *words; false
// when there is none. Entries are read in place, never popped: whatever the
// lookup pushes goes above the top, never into the words of an entry.
bool render_entry(char *buffer, int size, const msnlsmsg_client *client, int32_t depth, int32_t *words) {
    int64_t *entry = mserror_geterr_stack();
    if (entry == nullptr) return false;
    entry -= depth;
    auto id = static_cast<int32_t>(entry[-1]);
    // The lookup reports nothing here, and a file it reads may: keep that
    // away from the entries being rendered.
    const char *text = nullptr;
    {
        errstack::QuietScope quiet;
        text = lookup(id, client, false);
    }
    *words = 2;
    if (buffer == nullptr || size < 1) return true;

    // The lookup may have moved the words and the strings: read them now.
    entry = mserror_geterr_stack();
    if (entry == nullptr) {  // the stack could not grow for a file's report and was lost
        buffer[0] = '\0';
        return true;
    }
    entry -= depth;
    int64_t descriptor = entry[-2];
    const char *strings = mserror_geterr_argbuf();
    int32_t top = 0, used = 0;
    mserror_stack_save(&top, &used);
    int count = MSERROR_DESC_NARGS(descriptor);
    if (count > MSERROR_MAX_ARGS) count = MSERROR_MAX_ARGS;
    *words = count + 2;
    fmt::Arg args[MSERROR_MAX_ARGS];
    for (int i = 0; i < count; ++i) {
        int64_t word = entry[-3 - i];
        if (errstack::is_lost_string(descriptor, i)) {
            args[i] = fmt::Arg::of("");  // a string the stack could not keep
        } else if (!MSERROR_DESC_IS_STR(descriptor, i)) {
            args[i] = fmt::Arg::of(word);
        } else {
            bool held = strings != nullptr && word >= 0 && word < used;
            args[i] = fmt::Arg::of(held ? strings + word : "");
        }
    }
    fmt::BufferSink sink{buffer, buffer + size - 1};
    errstack::QuietScope quiet;  // a text from a file may hold a width the engine reports as too large
    if (text != nullptr) {
        fmt::format_args(fmt::buffer_sink, &sink, text, args, count);
    } else {
        fmt::Arg arg = fmt::Arg::of(static_cast<int64_t>(id));
        fmt::format_args(fmt::buffer_sink, &sink, "no message for error id %d", &arg, 1);
    }
    *sink.pos = '\0';
    return true;
}

// No client, or a live one: anything else is not read.
bool usable(const msnlsmsg_client *client) {
    return client == nullptr || space::is_live(space::Kind::nls_client, client);
}

}  // namespace
}  // namespace qrv::msg

extern "C" {

QRV_API int msnlsmsg_error_msg(char *buffer, int size, msnlsmsg_client *client) noexcept {
    if (!qrv::msg::usable(client)) return 0;
    int32_t words = 0;
    return qrv::msg::render_entry(buffer, size, client, 0, &words) ? 1 : 0;
}

QRV_API int msnlsmsg_error_msg_all(char *buffer, int size, msnlsmsg_client *client) noexcept {
    if (!qrv::msg::usable(client)) return 0;
    bool writable = buffer != nullptr && size > 0;
    if (writable) buffer[0] = '\0';
    char separator = client != nullptr ? client->separator : '\n';
    int32_t visible = qrv::msg::visible_words();
    int32_t depth = 0, words = 0;
    if (!qrv::msg::render_entry(buffer, size, client, depth, &words)) return 0;
    int length = writable ? static_cast<int>(std::strlen(buffer)) : size;
    for (depth += words; depth + 2 <= visible && size - length >= 2; depth += words) {
        buffer[length] = separator;
        buffer[length + 1] = '\0';
        if (!qrv::msg::render_entry(buffer + length + 1, size - length - 1, client, depth, &words)) {
            buffer[length] = '\0';
            break;
        }
        length += 1 + static_cast<int>(std::strlen(buffer + length + 1));
    }
    return 1;
}

QRV_API const char *msnlsmsg_str_real(int32_t id, msnlsmsg_client *client) noexcept {
    if (!qrv::msg::usable(client)) return "NLS internal error";
    if (const char *text = qrv::msg::lookup(id, client)) return text;
    char report[1024];
    if (msnlsmsg_error_msg_all(report, sizeof report, client) && report[0] != '\0') {
        if (const char *kept = qrv::msg::keep(report)) return kept;
    }
    return "NLS internal error";
}

QRV_API int msprtmsg_stderr_arg(const char *prefix) noexcept {
    char text[qrv::msg::kPrintSize];
    if (!msnlsmsg_error_msg_all(text, sizeof text, nullptr)) std::strcpy(text, "no error information");
    return prefix != nullptr ? mssio_eprintf("%s: %s\n", prefix, text) : mssio_eprintf("%s\n", text);
}

QRV_API int msprtmsg_stderr(void) noexcept {
    const char *name = msbasic_get_progname();
    return msprtmsg_stderr_arg(name != nullptr && *name != '\0' ? mspath_tailname(name) : nullptr);
}

}  // extern "C"
