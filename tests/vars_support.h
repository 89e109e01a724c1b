// Shared by the configuration tests: scratch directories, files, the
// entries of a set as text, and running this test program again as a child
// with a prepared environment.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "config/varset.h"
#include "mserror.h"
#include "msvars.h"
#include "support.h"

extern char **environ;

// A directory made for one test and removed with everything in it.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qrvtest.XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~ScratchDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string &name, const std::string &content) const {
        std::filesystem::path p = path / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    std::string str() const { return path.string(); }
};

// Every entry as "name=value", "name" without value, "#line" for a kept
// comment line.
inline std::vector<std::string> entries(const msvars_set *set) {
    std::vector<std::string> out;
    if (set == nullptr) return out;
    for (int32_t i = 0; i < set->index_used; i += 2) {
        const char *name = set->text + set->index[i];
        const char *value = set->index[i + 1] != 0 ? set->text + set->index[i + 1] : nullptr;
        if (name[0] == '\0') {
            out.push_back(std::string("#") + (value != nullptr ? value : ""));
        } else {
            out.push_back(value != nullptr ? std::string(name) + "=" + value : std::string(name));
        }
    }
    return out;
}

// Runs program (this test program or a copy) with only the given variables
// (plus the sanitizers' and PATH) and the test filter Child.Report; the
// child prints "@@key=value" lines, returned here with "status".
inline std::map<std::string, std::string> run_child(const std::string &program, const std::vector<std::string> &env) {
    std::vector<std::string> strings = env;
    strings.push_back("QRV_TEST_CHILD=1");
    for (char **e = environ; *e != nullptr; ++e) {
        for (const char *keep : {"ASAN_", "UBSAN_", "TSAN_", "LSAN_", "PATH="}) {
            if (std::strncmp(*e, keep, std::strlen(keep)) == 0) strings.push_back(*e);
        }
    }
    std::vector<char *> envp;
    for (std::string &s : strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=Child.Report";
    char *argv[] = {const_cast<char *>(program.c_str()), filter.data(), nullptr};
    int out[2];
    if (pipe(out) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    std::map<std::string, std::string> result;
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid) return result;
    result["status"] = std::to_string(status);
    size_t at = 0;
    while ((at = text.find("@@", at)) != std::string::npos) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at + 2, end - at - 2);
        size_t equals = line.find('=');
        result[line.substr(0, equals)] = equals == std::string::npos ? "" : line.substr(equals + 1);
        at = end;
    }
    return result;
}

inline std::string self_program() { return std::filesystem::read_symlink("/proc/self/exe").string(); }
