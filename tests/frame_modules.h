// Toy layers for the frame tests: each records its init and end calls.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "msbasic.h"

namespace frame_test {

inline std::vector<std::string> g_calls;
inline bool g_fail_init[8] = {};

template <int N>
int init(int mode) {
    g_calls.push_back("init" + std::to_string(N) + "(" + std::to_string(mode) + ")");
    return g_fail_init[N] ? 0 : 1;
}

template <int N>
void end(int mode, int orderly) {
    g_calls.push_back("end" + std::to_string(N) + "(" + std::to_string(mode) + "," + std::to_string(orderly) + ")");
}

template <int N>
void reg() {
    msbasic_init_end_register(init<N>, end<N>);
}

// Calls made since the last take.
inline std::vector<std::string> take() {
    std::vector<std::string> calls;
    calls.swap(g_calls);
    return calls;
}

}  // namespace frame_test
