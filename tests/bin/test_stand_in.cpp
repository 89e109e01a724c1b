// The body of the stand-in program the build tools' tests start, defined
// once in the folder's test program (its files share bin_support.h).
#include "bin/bin_support.h"

// Runs only as a stand-in program (GTEST_FILTER from the environment):
// writes its argument vector, one element per line, to QRV_RECORD and
// exits with QRV_RECORD_EXIT. A shell script could not show element 0.
TEST(Child, Record) {
    const char *record = std::getenv("QRV_RECORD");
    if (record == nullptr || std::getenv("QRV_RECORDING") == nullptr) GTEST_SKIP() << "runs as a stand-in";
    std::string args = read_file("/proc/self/cmdline");
    for (char &c : args) c = c == '\0' ? '\n' : c;
    write_file(std::string(record) + ".tmp", args);
    std::rename((std::string(record) + ".tmp").c_str(), record);
    const char *code = std::getenv("QRV_RECORD_EXIT");
    std::_Exit(code != nullptr ? std::atoi(code) : 0);
}
