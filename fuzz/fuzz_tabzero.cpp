// The database description file upgrade on arbitrary file contents: the
// result is a class or 0, the caller's buffers are never overrun, a failure
// leaves the file as it was, and no new file is left beside it.
// The file is written into one scratch directory per run; syncing is
// switched off through the system-call table, as it only costs time here.
// Every input creates, renames and removes files, so the directory belongs
// in memory: scripts/fuzz.sh points TMPDIR at a tmpfs folder, where a run is
// several times faster than on a disk.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "msbasic.h"
#include "msbin.h"
#include "mserror.h"
#include "os/syscall.h"

namespace {

std::string g_dir, g_file;
constexpr int kPad = 16;

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_tabzero: %s\n", what);
        std::abort();
    }
}

std::string read_all(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void remove_dir() { std::filesystem::remove_all(g_dir); }

void write_file(const std::string &path, const std::string &text) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    check(fd >= 0, "open");
    for (size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        check(n > 0, "write");
        done += static_cast<size_t>(n);
    }
    check(close(fd) == 0, "close");
}

size_t count_entries(const std::string &dir) {
    DIR *d = opendir(dir.c_str());
    check(d != nullptr, "opendir");
    size_t n = 0;
    while (const dirent *e = readdir(d)) n += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
    closedir(d);
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!msbasic_init_main(msbasic_init_cascade)) std::abort();
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz_tabzero.XXXXXX").string();
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    g_dir = pattern;
    g_file = g_dir + "/tabzero.txt";
    std::atexit(remove_dir);
    qrv::os::g_sys.fsync = [](int) { return 0; };
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string input(reinterpret_cast<const char *>(data), size);
    write_file(g_file, input);
    static char buffers[3][MSBIN_TABZERO_VALUE_SIZE + 2 * kPad];
    std::memset(buffers, 0x5A, sizeof buffers);
    int result = msbin_upd_tabzero(g_dir.c_str(), buffers[0] + kPad, buffers[1] + kPad, buffers[2] + kPad);
    check(result >= 0 && result <= 3, "result out of range");
    for (auto &b : buffers) {
        for (int i = 0; i < kPad; ++i) {
            check(b[i] == 0x5A && b[kPad + MSBIN_TABZERO_VALUE_SIZE + i] == 0x5A, "buffer overrun");
        }
        check(std::memchr(b + kPad, '\0', MSBIN_TABZERO_VALUE_SIZE) != nullptr, "value not terminated");
    }
    if (result == 0 && mserror_geterr_id() != 0) check(read_all(g_file) == input, "failure changed the file");
    check(count_entries(g_dir) == 1, "a file was left beside the description file");
    mserror_reset();
    return 0;
}
