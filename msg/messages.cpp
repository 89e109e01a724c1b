// The process's message state, the language choice, the lookup of an id
// (current built-in table, primary table, NLS files), message clients and
// the per-thread message buffers.
#include "msg/messages.h"

#include <atomic>
#include <climits>
#include <cstring>

#include "base/context.h"
#include "base/errids.h"
#include "base/registry.h"
#include "base/space.h"
#include "mserror.h"
#include "msfmt.h"
#include "msg/nlsfile.h"
#include "msos.h"
#include "msvars.h"

namespace qrv::msg {
namespace {

// Written only by the mode-1 init and end, under the frame's init lock.
struct State {
    int32_t current = MSNLSMSG_LANG_ENGLISH;
    int32_t primary = MSNLSMSG_LANG_PRIMARY;
    const msnlsmsg_entry *current_table = nullptr;  // null: not initialised
    const msnlsmsg_entry *primary_table = nullptr;
    nls::File current_file;
    nls::File primary_file;
    char prefix[nls::kMaxNameLength + 1] = "";
    bool id_only = false;
};
State g;

// Set at every mode-1 init; kept afterwards, since the frame's function
// stays valid for the life of the process.
std::atomic<void **(*)()> g_join_thread{nullptr};

// The thread's rotating buffers: a returned text stays valid until three
// more have been returned on the thread.
struct Buffers {
    char *text[3];
    int32_t size[3];
    int32_t next;
};

bool same_name(const char *a, std::string_view b) {
    size_t i = 0;
    for (; i < b.size() && a[i] != '\0'; ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return i == b.size() && a[i] == '\0';
}

const msnlsmsgtables_offlang_row *find_name(std::string_view name) {
    for (const msnlsmsgtables_offlang_row *row = msnlsmsgtables_offlang; row->name != nullptr; ++row) {
        if (same_name(row->name, name)) return row;
    }
    return nullptr;
}

const msnlsmsgtables_tabmap_row *language_row(int32_t lang) {
    for (const msnlsmsgtables_tabmap_row *row = msnlsmsgtables_tabmap; row->name != nullptr; ++row) {
        if (row->lang == lang) return row;
    }
    return nullptr;
}

const char *scan(const msnlsmsg_entry *table, int32_t id) {
    if (table == nullptr) return nullptr;
    for (; table->id != 0; ++table) {
        if (table->id == id) return table->text;
    }
    return nullptr;
}

Buffers *thread_buffers() {
    ctx::Anchor *anchor = ctx::current_anchor();
    if (anchor == nullptr) {
        if (auto join = g_join_thread.load(std::memory_order_acquire)) join();
        anchor = ctx::current_anchor();
    }
    return anchor != nullptr ? static_cast<Buffers *>(anchor->messages) : nullptr;
}

// The text of id in the built-in store's NLS file of lang, else of the
// primary language: ids that no built-in table holds (the variable reader's
// refusals among them) are pushed before the NLS files are open, and must
// render then too.
const char *stored_text(int32_t lang, int32_t id) {
    for (int32_t each : {lang, static_cast<int32_t>(MSNLSMSG_LANG_PRIMARY)}) {
        const msnlsmsgtables_tabmap_row *row = language_row(each);
        const char *text = row != nullptr ? nls::stored_text(row->suffix, static_cast<uint32_t>(id)) : nullptr;
        if (text != nullptr) return text;
    }
    return nullptr;
}

// Before init (or after the end) the built-in tables answer, in the
// language the environment names, then the store's files.
const char *lookup_uninitialised(int32_t id) {
    const char *name = msvars_getenv("MSLANG");
    if (name == nullptr || *name == '\0') name = msvars_getenv("LANG");
    int32_t lang = MSNLSMSG_LANG_ENGLISH;
    if (name != nullptr && *name != '\0') lang = language_id(std::string_view(name, strnlen(name, 127)));
    const msnlsmsgtables_tabmap_row *row = language_row(lang);
    if (const char *text = scan(row != nullptr ? row->table : nullptr, id)) return text;
    if (const char *text = scan(language_row(MSNLSMSG_LANG_PRIMARY)->table, id)) return text;
    return stored_text(lang, id);
}

}  // namespace

int32_t language_id(std::string_view name) noexcept {
    if (name.empty()) return MSNLSMSG_LANG_ENGLISH;
    size_t dot = name.find('.');
    if (dot != std::string_view::npos) {
        if (const auto *row = find_name(name.substr(0, dot))) return row->lang;
    }
    size_t underscore = name.find('_');
    if (dot != std::string_view::npos && (underscore == std::string_view::npos || dot < underscore)) {
        return MSNLSMSG_LANG_ENGLISH;
    }
    const auto *row = find_name(name.substr(0, underscore));
    return row != nullptr ? row->lang : MSNLSMSG_LANG_ENGLISH;
}

const char *keep(std::string_view text) noexcept {
    Buffers *b = thread_buffers();
    if (b == nullptr) return nullptr;
    int i = b->next;
    b->next = (i + 1) % 3;
    int64_t needed = static_cast<int64_t>(text.size()) + 1;
    if (needed > b->size[i]) {
        // Grown to the next multiple of 1024 beyond its size that holds the
        // text; the old contents are not kept, so no reallocation.
        int64_t grown = b->size[i] + (needed - b->size[i] - 1) / 1024 * 1024 + 1024;
        space::release(b->text[i]);
        b->text[i] = nullptr;
        b->size[i] = 0;
        if (grown > INT_MAX) return nullptr;
        b->text[i] = static_cast<char *>(space::get(static_cast<int>(grown)));
        if (b->text[i] == nullptr) return nullptr;
        b->size[i] = static_cast<int32_t>(grown);
    }
    std::memcpy(b->text[i], text.data(), text.size());
    b->text[i][text.size()] = '\0';
    return b->text[i];
}

const char *lookup(int32_t id, const msnlsmsg_client *client, bool report) noexcept {
    if (g.id_only) {
        char text[32];
        msfmt_buffer_lim(text, sizeof text, "NLS Message %d", id);
        return keep(text);
    }
    const msnlsmsg_entry *first_table = g.current_table, *second_table = nullptr;
    nls::File *first_file = &g.current_file, *second_file = nullptr;
    bool current_is_primary = g.current == g.primary;
    if (client != nullptr) {
        first_table = client->table;
        first_file = client->file;
        second_table = g.primary_table;
        second_file = current_is_primary ? &g.current_file : &g.primary_file;
    } else if (!current_is_primary) {
        second_table = g.primary_table;
        second_file = &g.primary_file;
    }
    if (first_table == nullptr && second_table == nullptr) return lookup_uninitialised(id);
    if (const char *text = scan(first_table, id)) return text;
    if (second_table != first_table) {
        if (const char *text = scan(second_table, id)) return text;
    }
    // The files did not open (the init failed there): the store's copies.
    if (client == nullptr && !nls::is_open(g.current_file)) {
        if (const char *text = stored_text(g.current, id)) return text;
    }
    char area[nls::kAreaSize];
    auto file_id = static_cast<uint32_t>(id);
    if (nls::read(*first_file, file_id, area) ||
        (second_file != nullptr && second_file != first_file && nls::read(*second_file, file_id, area))) {
        return keep(area);
    }
    if (report) mserror_reset_seterr_1arg(err::kNlsIdNotFound, id);
    return nullptr;
}

bool process_init(void **(*join_thread)()) noexcept {
    g_join_thread.store(join_thread, std::memory_order_release);
    const char *lang = msbasic_initfile_getvar_env("MSLANG");
    if (lang == nullptr || *lang == '\0') lang = msbasic_initfile_getvar_env("LANG");
    const char *prefix = msbasic_initfile_getvar_env("MSNLSFILE");
    if (prefix == nullptr) prefix = "";
    if (!nls::lock_init()) return false;
    // A directory prefix that does not fit is refused rather than cut: a cut
    // name would open some other file.
    size_t length = std::strlen(prefix);
    if (length > sizeof g.prefix - 1) return nls::refuse_long_prefix(prefix);
    std::memcpy(g.prefix, prefix, length + 1);
    g.current = language_id(lang != nullptr ? lang : "");
    g.primary = language_id("primary");
    const msnlsmsgtables_tabmap_row *current = language_row(g.current), *primary = language_row(g.primary);
    if (current == nullptr || primary == nullptr) return false;
    g.current_table = current->table;
    g.primary_table = primary->table;
    if (!nls::open(g.current_file, g.prefix, current->suffix)) return false;
    if (g.primary != g.current && !nls::open(g.primary_file, g.prefix, primary->suffix)) return false;
    // Only the explicit name asks for the system's texts in Japanese too.
    if (lang != nullptr && std::strcmp(lang, "japanese") == 0) {
        msos_seterrormsg_lang_to_japanese();
    } else {
        msos_seterrormsg_lang_to_english();
    }
    return true;
}

void set_id_only(bool on) noexcept { g.id_only = on; }

bool thread_init() noexcept {
    ctx::Anchor *anchor = ctx::current_anchor();
    if (anchor == nullptr || anchor->messages != nullptr) return false;
    anchor->messages = space::get_zeroed<Buffers>();
    return anchor->messages != nullptr;
}

void end(int mode) noexcept {
    if (ctx::Anchor *anchor = ctx::current_anchor(); anchor != nullptr && anchor->messages != nullptr) {
        auto *b = static_cast<Buffers *>(anchor->messages);
        for (char *text : b->text) space::release(text);
        space::release(b);
        anchor->messages = nullptr;
    }
    if (mode != MSBASIC_MODE_PROCESS) return;
    nls::close(g.current_file);
    nls::close(g.primary_file);
    g = State{};
    nls::lock_end();
}

int32_t buffer_size(int i) noexcept {
    Buffers *b = thread_buffers();
    return b != nullptr && i >= 0 && i < 3 ? b->size[i] : -1;
}

}  // namespace qrv::msg

using qrv::msg::g;

extern "C" {

QRV_API const char *msnlsmsg_lang(void) noexcept {
    const msnlsmsgtables_tabmap_row *row = qrv::msg::language_row(g.current);
    return row != nullptr ? row->name : nullptr;
}

QRV_API msnlsmsg_client *msnlsmsg_init_client(const char *language, char separator) noexcept {
    if (language == nullptr) return nullptr;
    const msnlsmsgtables_offlang_row *name = qrv::msg::find_name(language);
    // A client reads through the process's files and their lock: none
    // before the messages are initialised.
    if (name == nullptr || g.current_table == nullptr) return nullptr;
    const msnlsmsgtables_tabmap_row *row = qrv::msg::language_row(name->lang);
    if (row == nullptr) return nullptr;
    auto *client = qrv::space::get_handle_zeroed<msnlsmsg_client>(qrv::space::Kind::nls_client);
    if (client == nullptr) return nullptr;
    client->separator = separator;
    client->own = qrv::nls::File{};
    client->table = row->table;
    if (name->lang == g.current) {
        client->file = &g.current_file;
    } else if (name->lang == g.primary) {
        client->file = &g.primary_file;
    } else if (qrv::nls::open(client->own, g.prefix, row->suffix)) {
        client->file = &client->own;
    } else {
        qrv::space::release_handle(qrv::space::Kind::nls_client, client);
        return nullptr;
    }
    return client;
}

QRV_API void msnlsmsg_end_client(msnlsmsg_client *client) noexcept {
    if (!qrv::space::retire(qrv::space::Kind::nls_client, client)) return;
    qrv::nls::close(client->own);
    qrv::space::release(client);
}

}  // extern "C"
