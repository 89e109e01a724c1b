// The built-in store: the files under data/ compiled into the library, so
// that a program runs on the product's defaults with no installation. Paths
// are relative and use '/' ("config/initfile.txt"). Read-only; any thread.
#pragma once

#include <optional>
#include <string_view>

struct msromf_file;

namespace qrv::store {

struct Entry {
    const char *path;
    const unsigned char *data;
    int size;
};

// The generated table, sorted by path (store_data.cpp in the build tree).
extern const Entry kEntries[];
extern const int kEntryCount;

// The contents of the stored file at path, or nothing.
std::optional<std::string_view> find(std::string_view path) noexcept;

// The name a read-only-memory file was opened by.
const char *file_name(const msromf_file *file) noexcept;

// A read-only-memory file over data (which must outlive it), as if the
// store held it under name; null when no space is left. For tests.
msromf_file *open_bytes(const char *name, std::string_view data) noexcept;

// Test hook: a hidden store finds nothing (the fallback of a library built
// without one).
void set_hidden(bool hidden) noexcept;

}  // namespace qrv::store
