// Shared by the spawning tests: argument vectors, the report of
// echo_child and descriptor identities.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "msos.h"

inline const char *const kChild = QRV_ECHO_CHILD;

// A null-terminated vector over strings that outlive it.
struct Argv {
    std::vector<std::string> text;
    std::vector<char *> pointers;
    explicit Argv(std::vector<std::string> args) : text(std::move(args)) {
        for (auto &s : text) pointers.push_back(s.data());
        pointers.push_back(nullptr);
    }
    char *const *get() { return pointers.data(); }
};

// What echo_child received; ok is false when the text is not a whole report.
struct Report {
    bool ok = false;
    long pid = -1;
    std::string std_ids, fds, in;
    std::vector<std::string> args;
};

inline Report parse_report(const std::string &text) {
    Report r;
    size_t at = 0;
    auto line = [&](const char *key, std::string &value) {
        std::string prefix = std::string(key) + " ";
        size_t end = text.find('\n', at);
        if (end == std::string::npos || text.compare(at, prefix.size(), prefix) != 0) return false;
        value = text.substr(at + prefix.size(), end - at - prefix.size());
        at = end + 1;
        return true;
    };
    auto counted = [&](std::string &value) {
        size_t colon = text.find(':', at);
        if (colon == std::string::npos) return false;
        size_t n = std::stoul(text.substr(at, colon - at));
        if (colon + 1 + n >= text.size() || text[colon + 1 + n] != '\n') return false;
        value = text.substr(colon + 1, n);
        at = colon + 2 + n;
        return true;
    };
    std::string pid, argc;
    if (!line("pid", pid) || !line("std", r.std_ids) || !line("fds", r.fds)) return r;
    if (text.compare(at, 3, "in ") == 0 && !(at += 3, counted(r.in))) return r;
    if (!line("argc", argc)) return r;
    r.pid = std::stol(pid);
    r.args.resize(std::stoul(argc));
    for (auto &arg : r.args) {
        if (!counted(arg)) return r;
    }
    r.ok = at == text.size();
    return r;
}

// "device:inode" of a descriptor as echo_child writes it, "-" when closed.
inline std::string identity(int fd) {
    struct stat s;
    if (fstat(fd, &s) != 0) return "-";
    return std::to_string(static_cast<unsigned long>(s.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long>(s.st_ino));
}

// No child of this process exists, not even a zombie.
inline bool no_children() {
    errno = 0;
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

inline std::string read_all(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}
