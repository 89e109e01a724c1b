// The start-up helpers: redirection options taken off command lines (table),
// the streams they reopen, the user's name and the month abbreviations.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "msgust.h"
#include "mssio.h"
#include "support.h"
#include "vars_support.h"

namespace {

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs msgust_stdio over words (X stands for the scratch file "x").
struct Line {
    std::vector<std::string> words;
    std::vector<char *> argv;
    int argc;
    explicit Line(std::vector<std::string> w) : words(std::move(w)) {
        for (std::string &word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        argc = static_cast<int>(words.size());
    }
    std::string joined() const {
        std::ostringstream out;
        for (int i = 0; i < argc; ++i) out << (i ? " " : "") << argv[static_cast<size_t>(i)];
        if (argv[static_cast<size_t>(argc)] != nullptr) out << " <unterminated>";
        return out.str();
    }
};

class Gust : public LibraryTest {
protected:
    ScratchDir dir;
    std::string out = (dir.path / "out.txt").string();
};

TEST_F(Gust, OptionsComeOffTheFrontOnly) {
    const struct {
        std::vector<std::string> in;
        const char *left;
    } cases[] = {
        {{"prog", "-x", "file"}, "prog -x file"},
        {{"prog", "file", "-MSSTDIN", "in"}, "prog file -MSSTDIN in"},
        {{"prog", "-msprogname", "other", "+z", "a"}, "other +z a"},
        {{"prog", "-MSPROGNAME", "one", "-MSPROGNAME", "two"}, "two"},
        {{"prog", "-x", "-MSPROGNAME"}, "prog -x"},
        {{"prog"}, "prog"},
    };
    for (const auto &c : cases) {
        Line line(c.in);
        char **argv = line.argv.data();
        EXPECT_EQ(msgust_stdio(&line.argc, &argv), 1);
        EXPECT_EQ(line.joined(), c.left);
    }
}

TEST_F(Gust, StandardOutputAndErrorShareOneFile) {
    Line line({"prog", "-msstdout", out, "+MSSTDERR", out, "-x", "file"});
    char **argv = line.argv.data();
    ASSERT_EQ(msgust_stdio(&line.argc, &argv), 1);
    EXPECT_EQ(line.joined(), "prog -x file");
    EXPECT_EQ(mssio_get_stderr(), mssio_get_stdout());
    EXPECT_STREQ(mssio_get_stderr_name(), out.c_str());
    mssio_printf("to out\n");
    mssio_eprintf("to err\n");
    mssio_flush(mssio_get_stdout());
    EXPECT_EQ(read_file(out), "to out\nto err\n");
}

TEST_F(Gust, AFileThatCannotBeOpenedLeavesEarlierRedirections) {
    std::string in = dir.file("in.txt", "hello\n");
    mssio_stream *err_before = mssio_get_stderr();
    Line line({"prog", "-MSSTDIN", in, "-MSSTDOUT", (dir.path / "no/such/dir/f").string(), "-MSSTDERR", out});
    char **argv = line.argv.data();
    EXPECT_EQ(msgust_stdio(&line.argc, &argv), 0);
    EXPECT_STREQ(mssio_get_stdin_name(), in.c_str());
    EXPECT_EQ(mssio_get_stdout_name(), nullptr);
    EXPECT_EQ(mssio_get_stderr(), err_before);
    EXPECT_NE(error_ids(), std::vector<int32_t>{});
}

TEST_F(Gust, WideCommandLine) {
    std::u16string words[] = {u"prog", u"-MSSTDOUT", std::u16string(out.begin(), out.end()), u"rest"};
    std::vector<qrv_wchar *> argv;
    for (std::u16string &w : words) argv.push_back(reinterpret_cast<qrv_wchar *>(w.data()));
    argv.push_back(nullptr);
    int argc = 4;
    qrv_wchar **p = argv.data();
    ASSERT_EQ(msgust_stdio_wchar(&argc, &p), 1);
    EXPECT_EQ(argc, 2);
    EXPECT_EQ(argv[2], nullptr);
    EXPECT_STREQ(mssio_get_stdout_name(), out.c_str());
}

TEST_F(Gust, UserNameAndMonths) {
    char name[64];
    ASSERT_EQ(msgust_user_name_get(name, sizeof name), name);
    EXPECT_GT(std::string(name).size(), 0u);
    Canary small(4);
    ASSERT_EQ(msgust_user_name_get(small.chars(), 2), small.chars());
    EXPECT_EQ(std::strlen(small.chars()), 1u);
    EXPECT_TRUE(small.untouched_from(2));
    EXPECT_EQ(msgust_user_name_get(name, 1), nullptr);
    EXPECT_EQ(msgust_user_name_get(nullptr, 8), nullptr);
    EXPECT_STREQ(msgustdate_month_abbrev(5), "May");
    EXPECT_STREQ(msgustdate_month_abbrev(1), "Jan");
    EXPECT_STREQ(msgustdate_month_abbrev(12), "Dec");
    EXPECT_EQ(msgustdate_month_abbrev(0), nullptr);
    EXPECT_EQ(msgustdate_month_abbrev(13), nullptr);
}

}  // namespace
