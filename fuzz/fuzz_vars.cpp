// The variable-file reader on arbitrary bytes, through a text buffer, a
// file (lines keep their line ends) and a read-only-memory file of the
// store: the file and the store read alike, and what the writer writes of
// a set reads back into the same entries (comment mode included).
// The files are memory files (memfd) opened through /proc/self/fd: the
// library opens and reads them as any file, without the disk writes that
// rewriting a real file for every input costs.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/store.h"
#include "config/varset.h"
#include "msbasic.h"
#include "mserror.h"
#include "mssp.h"
#include "msvars.h"

namespace {

struct MemoryFile {
    int fd = -1;
    std::string path;
};
MemoryFile g_input, g_output;

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_vars: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> entries(const msvars_set *set) {
    std::vector<std::string> out;
    for (int32_t i = 0; set != nullptr && i < set->index_used; i += 2) {
        std::string e = set->text + set->index[i];
        if (set->index[i + 1] != 0) e.append("=").append(set->text + set->index[i + 1]);
        out.push_back(e);
    }
    return out;
}

MemoryFile make_file(const char *name) {
    MemoryFile f;
    f.fd = memfd_create(name, MFD_CLOEXEC);
    if (f.fd < 0) std::abort();
    f.path = "/proc/self/fd/" + std::to_string(f.fd);
    return f;
}

bool write_file(const MemoryFile &f, const char *data, size_t size) {
    if (ftruncate(f.fd, 0) != 0) return false;
    for (size_t done = 0; done < size;) {
        ssize_t n = pwrite(f.fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The set written out and read again, from a buffer or (comment mode) a file.
void round_trip(msvars_set *set, int keep_comments) {
    int length = 0;
    char *text = msvars_genbuf(set, nullptr, nullptr, &length);
    if (text == nullptr) {
        check(set->index_used == 0, "genbuf gave nothing for a set with entries");
        return;
    }
    check(length == static_cast<int>(std::strlen(text)) + 1, "genbuf length");
    msvars_set *again = nullptr;
    if (keep_comments) {
        check(write_file(g_output, text, std::strlen(text)), "write");
        again = msvars_readfile_ex(g_output.path.c_str(), 1);
    } else {
        again = msvars_readbuf(text);
    }
    if (again == nullptr) {
        // Escaping may make a written line longer than a line may be.
        mserror_pop();
        check(mserror_geterr_id() == 16546, "written text does not read back");
    } else {
        check(entries(again) == entries(set), "round trip changed the entries");
    }
    msvars_freevars(again);
    mssp_free_rv(text);
    mserror_reset();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("FUZZ_HOME", "/home/fuzz", 1);
    if (!msbasic_init_main(msbasic_init_cascade)) std::abort();
    g_input = make_file("fuzz_vars.in");
    g_output = make_file("fuzz_vars.out");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // First byte: the comment-keeping flag; the rest is the file.
    if (size < 1) return 0;
    int keep_comments = data[0] & 1;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    size_t n = size - 1;

    std::string text(bytes, n);  // a buffer ends at its first NUL
    msvars_set *from_buffer = msvars_readbuf(text.c_str());
    if (from_buffer != nullptr) round_trip(from_buffer, 0);
    msvars_freevars(from_buffer);
    mserror_reset();

    check(write_file(g_input, bytes, n), "write");
    msvars_set *from_file = msvars_readfile_ex(g_input.path.c_str(), keep_comments);
    int32_t file_error = from_file == nullptr ? (mserror_pop(), mserror_geterr_id()) : 0;
    mserror_reset();

    msvars_set *from_store = nullptr;
    if (msromf_file *rom = qrv::store::open_bytes("fuzz", std::string_view(bytes, n))) {
        from_store = keep_comments ? nullptr : msvars_read(rom, MSVARS_SOURCE_ROMFILE);
        msromf_close(rom);
        if (!keep_comments) {
            int32_t store_error = from_store == nullptr ? (mserror_pop(), mserror_geterr_id()) : 0;
            check((from_file == nullptr) == (from_store == nullptr) && file_error == store_error,
                  "file and store disagree on failure");
            if (from_file != nullptr) check(entries(from_file) == entries(from_store), "file and store disagree");
        }
    }
    if (from_file != nullptr) round_trip(from_file, keep_comments);
    msvars_freevars(from_file);
    msvars_freevars(from_store);
    mserror_reset();
    return 0;
}
