// Shared by the tests of the operating-system and file layers: a temporary
// directory made for one test and removed after it, guarded buffers, and a
// scope that restores the system-call table.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "os/syscall.h"

class TempDir {
public:
    TempDir() {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/qrvtest.XXXXXX";
        path_ = pattern;
        if (mkdtemp(path_.data()) == nullptr) path_.clear();
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A buffer of n usable bytes between two runs of canary bytes.
class Guarded {
public:
    explicit Guarded(size_t n) : n_(n), bytes_(n + 2 * kGuard, kCanary) { std::memset(data(), '\x5A', n); }
    char *data() { return bytes_.data() + kGuard; }
    bool canaries_intact() const {
        for (size_t i = 0; i < kGuard; ++i) {
            if (bytes_[i] != kCanary || bytes_[kGuard + n_ + i] != kCanary) return false;
        }
        return true;
    }
    std::string text() const { return std::string(bytes_.data() + kGuard); }

private:
    static constexpr size_t kGuard = 16;
    static constexpr char kCanary = '\x7E';
    size_t n_;
    std::string bytes_;
};

// Restores every system call when the scope ends.
struct SyscallScope {
    SyscallScope() = default;
    ~SyscallScope() { qrv::os::restore_syscalls(); }
    SyscallScope(const SyscallScope &) = delete;
    SyscallScope &operator=(const SyscallScope &) = delete;
};
