// The command line of an argument vector read back by a parser of the same
// rules: quoted, it gives the same vector (a first ".bat" argument stands
// as written); unquoted, it is the arguments joined by spaces. The line is
// allocated at its computed size, so a write past it is caught here.
// Input: the quote flag in the first byte's low bit, then the arguments
// separated by NUL bytes.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "msos.h"
#include "tests/os/cmdline_parse.h"

#define CHECK(ok) ((ok) ? void() : (std::fprintf(stderr, "fuzz_cmdline: %s\n", #ok), std::abort()))

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const int quote = data[0] & 1;
    std::vector<std::string> args;
    if (size > 1) {
        const char *p = reinterpret_cast<const char *>(data + 1), *end = p + size - 1;
        for (;;) {
            const char *nul = static_cast<const char *>(std::memchr(p, '\0', static_cast<size_t>(end - p)));
            args.emplace_back(p, nul != nullptr ? nul : end);
            if (nul == nullptr) break;
            p = nul + 1;
        }
    }
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    char *made = msos_win32_make_cmdline(argv.data(), quote);
    CHECK(made != nullptr);
    const std::string line = made;
    std::free(made);

    if (!quote) {
        std::string joined;
        for (size_t i = 0; i < args.size(); ++i) joined.append(i > 0 ? " " : "").append(args[i]);
        CHECK(line == joined);
        return 0;
    }
    const bool batch =
        !args.empty() && args[0].size() > 4 && strcasecmp(args[0].c_str() + args[0].size() - 4, ".bat") == 0;
    if (!batch) {
        CHECK(parse_cmdline(line) == args);
        return 0;
    }
    CHECK(line.compare(0, args[0].size(), args[0]) == 0);
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (rest.empty()) {
        CHECK(line == args[0]);
    } else {
        CHECK(line.size() > args[0].size() && line[args[0].size()] == ' ');
        CHECK(parse_cmdline(line.substr(args[0].size() + 1)) == rest);
    }
    return 0;
}
