// Translator libraries from the installation or built into the library.
// The built-in ones carry the same file and function names as the plug-ins
// built beside the library, so the translation code cannot tell them apart:
// the table of contents, the Wchar <-> UTF8 translator (the library's own
// converter) and a translator for every other pair of ids 2 to 9 over the
// code-page service.
#include "codeset/loader.h"

#include <cstring>

#include "codeset/pairs.h"
#include "codeset/wchar_translator.h"
#include "msbasic.h"
#include "msfmt.h"
#include "msos.h"
#include "mstmp.h"

namespace qrv::codeset {
namespace {

using pairs::Set;

// A conversion between two code pages through the code-page service.
template <const Set &From, const Set &To>
int convert(const void *src, int src_len, void *dst, int dst_size, void *, int *out_len, int *status) noexcept {
    if (wchar_translator::refused(src, src_len, dst, dst_size, out_len, status)) return 0;
    uint32_t mode = 0;
    int read = src_len, written = dst_size;
    int32_t rc = dst_size == 0
                     ? MSOS_CONVERT_OK
                     : msos_ConvertINetString(&mode, From.code_page, To.code_page, static_cast<const char *>(src),
                                              &read, static_cast<char *>(dst), &written);
    if (dst_size == 0) read = written = 0;
    if (rc != MSOS_CONVERT_OK) {
        *status = MSCSTRANS_STATUS_PARTIAL;
        return 0;
    }
    *out_len = written;
    *status = read == src_len ? MSCSTRANS_STATUS_OK : MSCSTRANS_STATUS_PARTIAL;
    return read == src_len ? 1 : 0;
}

template <const Set &From, const Set &To>
constexpr mscstrans_fn function() noexcept {
    if constexpr (From.id == MSCS_WCHAR && To.id == MSCS_UTF8) {
        return wchar_translator::to_utf8;
    } else if constexpr (From.id == MSCS_UTF8 && To.id == MSCS_WCHAR) {
        return wchar_translator::from_utf8;
    } else {
        return convert<From, To>;
    }
}

int find_cvset(int cs1, int cs2, mscstrans_entry *out) { return out != nullptr && pairs::find(cs1, cs2, out); }

mscstrans_entry g_list[] = {QRV_TRANSLATOR_PAIRS(QRV_TOC_ENTRY)};

mscstrans_entry *get_trlist(int *count) {
    if (count != nullptr) *count = pairs::kEntryCount;
    return g_list;
}

struct Symbol {
    const char *name;
    void *address;
};

template <typename F>
void *address_of(F f) noexcept {
    return reinterpret_cast<void *>(f);
}

#define QRV_BUILTIN_SYMBOLS(a, b)                                                      \
    {"mstrans_" #a "_to_" #b, address_of(function<pairs::sets::a, pairs::sets::b>())}, \
        {"mstrans_" #b "_to_" #a, address_of(function<pairs::sets::b, pairs::sets::a>())},

const Symbol kToc[] = {
    {"mstrans_find_cvset", address_of(&find_cvset)},
    {"mstrans_get_trlist", address_of(&get_trlist)},
};
const Symbol kTranslators[] = {QRV_TRANSLATOR_PAIRS(QRV_BUILTIN_SYMBOLS)};

struct Library {
    const char *file;
    const Symbol *symbols;
    size_t count;
};

// Both translator files resolve every translator function: which file an
// entry names decides nothing here.
const Library kLibraries[] = {
    {pairs::kTocLibrary, kToc, sizeof kToc / sizeof kToc[0]},
    {pairs::kWcharLibrary, kTranslators, sizeof kTranslators / sizeof kTranslators[0]},
    {pairs::kIconvLibrary, kTranslators, sizeof kTranslators / sizeof kTranslators[0]},
};

const Library *builtin(const void *library) noexcept {
    for (const Library &l : kLibraries) {
        if (library == &l) return &l;
    }
    return nullptr;
}

thread_local char t_message[160];

const char *message(const char *what, const char *name) noexcept {
    msfmt_buffer_lim(t_message, sizeof t_message, "%s: %s", name, what);
    return t_message;
}

}  // namespace

void *loader::open(const char *file, char *path, int path_size, const char **error) noexcept {
    *error = nullptr;
    const char *installation = msbasic_get_quorvelpath();
    if (installation == nullptr || path_size < 1) return nullptr;
    if (mspath_mkpath_multi(path, path_size, installation, "nls", "translate", file, static_cast<char *>(nullptr)) ==
        0) {
        *error = "path too long";
        return nullptr;
    }
    if (!msbasic_quorvelpath_is_real()) {
        for (const Library &l : kLibraries) {
            if (std::strcmp(l.file, file) == 0) return const_cast<Library *>(&l);
        }
        *error = message("not built into the library", file);
        return nullptr;
    }
    void *library = msos_dlopen(path);
    if (library == nullptr) *error = msos_dlerror();
    return library;
}

void *loader::symbol(void *library, const char *name, const char **error) noexcept {
    *error = nullptr;
    if (const Library *l = builtin(library)) {
        for (size_t i = 0; i < l->count; ++i) {
            if (std::strcmp(l->symbols[i].name, name) == 0) return l->symbols[i].address;
        }
        *error = message("undefined symbol", name);
        return nullptr;
    }
    void *address = nullptr;
    *error = msos_dlsym(library, name, &address);
    return address;
}

void loader::close(void *library) noexcept {
    if (library != nullptr && builtin(library) == nullptr) msos_dlclose(library);
}

}  // namespace qrv::codeset
