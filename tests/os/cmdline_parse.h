// Splits a command line the way the Microsoft C runtime does, for the
// lines msos_win32_make_cmdline writes: blanks outside quotes separate
// arguments, a quote opens or closes a quoted part, 2n backslashes before a
// quote are n backslashes (the quote still counts), 2n+1 are n and a
// literal quote, other backslashes are literal.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> parse_cmdline(const std::string &line) {
    std::vector<std::string> args;
    size_t i = 0, n = line.size();
    for (;;) {
        while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i == n) return args;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            if (line[i] == '\\') {
                size_t m = 0;
                while (i < n && line[i] == '\\') ++m, ++i;
                if (i < n && line[i] == '"') {
                    arg.append(m / 2, '\\');
                    if (m % 2 == 1) arg += line[i++];
                } else {
                    arg.append(m, '\\');
                }
            } else if (line[i] == '"') {
                quoted = !quoted;
                ++i;
            } else {
                arg += line[i++];
            }
        }
        args.push_back(arg);
    }
}
