// Lookup in the built-in store and the read-only-memory file family that
// reads its files line by line.
#include "config/store.h"

#include <atomic>
#include <cstring>

#include "base/registry.h"
#include "base/space.h"
#include "msvars.h"

namespace qrv::store {
namespace {

std::atomic<bool> g_hidden{false};

}  // namespace

std::optional<std::string_view> find(std::string_view path) noexcept {
    if (g_hidden.load(std::memory_order_relaxed)) return std::nullopt;
    int low = 0, high = kEntryCount;
    while (low < high) {
        int mid = low + (high - low) / 2;
        std::string_view key(kEntries[mid].path);
        if (key == path) {
            return std::string_view(reinterpret_cast<const char *>(kEntries[mid].data),
                                    static_cast<size_t>(kEntries[mid].size));
        }
        if (key < path) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return std::nullopt;
}

void set_hidden(bool hidden) noexcept { g_hidden.store(hidden, std::memory_order_relaxed); }

}  // namespace qrv::store

// A read-only-memory file: a cursor over one stored file, with the name it
// was opened by (kept for error reports).
struct msromf_file {
    const char *data;
    int size;
    int position;
    char name[1];  // the rest of the record
};

extern "C" {

QRV_API msromf_file *msromf_open(const char *name) noexcept {
    if (name == nullptr) return nullptr;
    auto contents = qrv::store::find(name);
    return contents ? qrv::store::open_bytes(name, *contents) : nullptr;
}

QRV_API int msromf_read(msromf_file *file, char *line) noexcept {
    if (!qrv::space::is_live(qrv::space::Kind::romfile, file) || line == nullptr || file->position >= file->size) {
        return -1;
    }
    const char *start = file->data + file->position;
    int left = file->size - file->position;
    int limit = left < MSROMF_LINE_SIZE ? left : MSROMF_LINE_SIZE;
    const void *newline = std::memchr(start, '\n', static_cast<size_t>(limit));
    int count = newline != nullptr ? static_cast<int>(static_cast<const char *>(newline) - start) + 1 : limit;
    std::memcpy(line, start, static_cast<size_t>(count));
    line[count] = '\0';
    file->position += count;
    return count;
}

QRV_API int msromf_close(msromf_file *file) noexcept {
    return file == nullptr || qrv::space::release_handle(qrv::space::Kind::romfile, file) ? 1 : 0;
}

}  // extern "C"

msromf_file *qrv::store::open_bytes(const char *name, std::string_view data) noexcept {
    size_t length = std::strlen(name);
    auto *file = static_cast<msromf_file *>(
        qrv::space::get_handle(qrv::space::Kind::romfile, static_cast<int>(sizeof(msromf_file) + length)));
    if (file == nullptr) return nullptr;
    file->data = data.data();
    file->size = static_cast<int>(data.size());
    file->position = 0;
    std::memcpy(file->name, name, length + 1);
    return file;
}

const char *qrv::store::file_name(const msromf_file *file) noexcept {
    return qrv::space::is_live(qrv::space::Kind::romfile, file) ? file->name : nullptr;
}
