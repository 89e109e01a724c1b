// Each MSDEBUG word by what it switches on while the library is up, and by
// what it prints when a second user of the library ends (nothing) and when
// the program's layer built on it ends last. Each case runs in its own process, so
// the process-wide switches start off.
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>
#include <thread>

#include "msnlsmsg.h"
#include "msos.h"
#include "mssp.h"
#include "support.h"

namespace {

int other_init(int) { return 1; }
void other_end(int, int) {}
void other_cascade() {
    msbasic_init_cascade();
    msbasic_init_end_register(other_init, other_end);
}

enum Effect : unsigned {
    kStatm = 1,        // operating-system space statistics asked for
    kPureTasking = 2,  // msos_exit on a second thread ends only that thread
    kIdOnly = 4,       // messages render as their id only
    kEndCheck = 8,     // check of a thread the library never saw warns
};

void *exit_seven(void *) {
    msos_exit(7);
    return nullptr;
}

// In a child, so that a whole-process exit does not end the test.
bool exit_ends_only_the_thread() {
    pid_t child = fork();
    if (child == 0) {
        pthread_t thread;
        if (pthread_create(&thread, nullptr, exit_seven, nullptr) != 0) _exit(2);
        pthread_join(thread, nullptr);
        _exit(0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 7)) << status;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

unsigned effects() {
    unsigned on = 0;
    if (qrv::space::os_stats_on()) on |= kStatm;
    if (exit_ends_only_the_thread()) on |= kPureTasking;
    if (std::strcmp(msnlsmsg_str_real(16801, nullptr), "NLS Message 16801") == 0) on |= kIdOnly;
    ::testing::internal::CaptureStderr();
    std::thread(msbasic_check_end_task).join();
    std::string warned = ::testing::internal::GetCapturedStderr();
    if (warned == "\nWarning: no current task\n") {
        on |= kEndCheck;
    } else {
        EXPECT_EQ(warned, "");
    }
    return on;
}

struct WordCase {
    const char *msdebug;
    unsigned effects;
    bool leak;
    const char *last_end;  // printed by the last end, in this order ("" nothing)
};
const WordCase kWordCases[] = {
    {"", 0, true, ""},
    {"statm", kStatm, false, ""},
    {"puretasking", kPureTasking, false, ""},
    {"nlsmessage", kIdOnly, false, ""},
    {"endcheck", kEndCheck, false, ""},
    {"memuse", 0, false, "\nQuorvel internal Memory Allocation Accounting: [HWM = High Water Mark]\n"},
    {"memchk", 0, false, ""},
    {"memchk", 0, true, "\n*** Warning: 1 space(s) still allocated (pid="},
    {"memuse,memchk,statm,nlsmessage,puretasking,endcheck", kStatm | kPureTasking | kIdOnly | kEndCheck, true,
     "Memory Allocation Accounting|space(s) still allocated"},
};
class DebugWords : public ::testing::TestWithParam<WordCase> {};

// Each expected piece (separated by '|') appears, in order.
bool contains_in_order(const std::string &text, const std::string &pieces) {
    size_t at = 0;
    for (size_t start = 0; start <= pieces.size();) {
        size_t bar = pieces.find('|', start);
        if (bar == std::string::npos) bar = pieces.size();
        at = text.find(pieces.substr(start, bar - start), at);
        if (at == std::string::npos) return false;
        start = bar + 1;
    }
    return true;
}

TEST_P(DebugWords, SwitchWhileUpAndReportAfterTheLastEnd) {
    const WordCase &c = GetParam();
    setenv("MSDEBUG", c.msdebug, 1);
    ASSERT_EQ(msbasic_init_main(other_cascade), 1);
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
    EXPECT_EQ(effects(), c.effects);
    void *leaked = c.leak ? mssp_get_ex(10, 1) : nullptr;

    ::testing::internal::CaptureStderr();
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the frame is still held";
    ::testing::internal::CaptureStderr();
    msbasic_end_main(other_cascade);
    std::string out = ::testing::internal::GetCapturedStderr();
    if (*c.last_end == '\0') {
        EXPECT_EQ(out, "");
    } else {
        EXPECT_TRUE(contains_in_order(out, c.last_end)) << out;
        std::string pid = std::to_string(getpid());
        EXPECT_TRUE(out.find("PID: " + pid + "\n") != std::string::npos ||
                    out.find("(pid=" + pid + ")") != std::string::npos)
            << out;
    }
    mssp_free_rv(leaked);
    EXPECT_EQ(msbasic_get_init_pid(), 0);
}
INSTANTIATE_TEST_SUITE_P(Words, DebugWords, ::testing::ValuesIn(kWordCases), [](const auto &info) {
    std::string name = *info.param.msdebug == '\0' ? "none" : info.param.msdebug;
    for (char &ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name + (info.param.leak ? "_leak" : "");
});

}  // namespace
