// The variable-file reader and writer: the grammar over files (lines keep
// their line ends) and text buffers, write-back round trips, range reading,
// reference counts, the built-in store, and every kind of bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "config/store.h"
#include "mssio.h"
#include "mssp.h"
#include "msvars.h"
#include "support.h"
#include "vars_support.h"

namespace {

using Entries = std::vector<std::string>;

struct GrammarCase {
    const char *label;
    const char *text;
    Entries expected;
};

class VarsTest : public LibraryTest {
protected:
    void SetUp() override {
        setenv("QRV_T_HOME", "/h", 1);
        unsetenv("QRV_T_NOPE");
        unsetenv("QUORVELPATH");
        LibraryTest::SetUp();
    }
    ScratchDir dir;
};

class Grammar : public VarsTest, public ::testing::WithParamInterface<GrammarCase> {};

const GrammarCase kGrammar[] = {
    {"spaces_trimmed", "A = 1 \n", {"A=1"}},
    {"name_only", "A\n", {"A"}},
    {"empty_value", "A=\n", {"A"}},
    {"duplicates_in_order", "A=1\nA=2\n", {"A=1", "A=2"}},
    {"comments_only", "# c\n: d\n   # e\n\n  \n", {}},
    {"no_trailing_comment", "A=1 # x\n", {"A=1 # x"}},
    {"crlf", "A=1\r\nB = two \r\n", {"A=1", "B=two"}},
    {"unterminated_quote", "A=\"x\nB='y \n", {"A=\"x", "B='y"}},
    {"single_quotes", "A='a b'\n", {"A=a b"}},
    {"empty_quotes", "A=\"\"\nB=''\n", {"A", "B"}},
    {"lone_quote", "A=\"\n", {"A=\""}},
    {"after_closing_quote", "A=\"a\" b\n", {"A=\"a\" b"}},
    {"platform_word", "A=[SYS_OS_LINUX]v\nB=[SYS_OS_LINUX_X64] w\nC=[ALL]x\n", {"A=v", "B=w", "C=x"}},
    {"other_platform", "A=[SYS_OS_WIN32]v\n", {"A"}},
    {"bracket_unclosed", "A=[ALL v\n", {"A"}},
    {"platform_then_quotes", "A=[ALL]  \"q \"\n", {"A=q "}},
    {"selection", "A=\\\n[SYS_OS_WIN32]w\n[SYS_OS_LINUX_X64]l\n[ALL]a\nB=1\n", {"A=l", "B=1"}},
    {"selection_skips_comments", "A=\\\n# c\n\n  [ALL] a\n", {"A=a"}},
    {"selection_at_end", "A=\\\n", {"A"}},
    {"selection_no_candidate", "A=\\\nB=1\n", {"A", "B=1"}},
    {"selection_none_matches", "A=\\\n[SYS_OS_WIN32]w\nB\n", {"A", "B"}},
    {"selection_crlf", "A=\\\r\n[ALL]x\r\n", {"A=x"}},
    {"backslash_value", "A=\\x\n", {"A=\\x"}},
    {"no_final_newline", "A=1\nB", {"A=1", "B"}},
    {"expand_quoted", "A=\"$QRV_T_HOME/x\"\n", {"A=/h/x"}},
    {"no_expand_unquoted", "A=$QRV_T_HOME\n", {"A=$QRV_T_HOME"}},
    {"escaped_dollar", "A=\"\\$QRV_T_HOME\"\n", {"A=$QRV_T_HOME"}},
    {"braces", "A='${QRV_T_HOME}x'\n", {"A=/hx"}},
    {"unknown_expands_empty", "A=\"$QRV_T_NOPE.x\"\n", {"A=.x"}},
    {"literal_dollars", "A=\"$1 $ -$\"\n", {"A=$1 $ -$"}},
    {"brace_unclosed", "A=\"x${QRV_T_HOME\"\n", {"A=x/h"}},
    {"self_reference", "QRV_T_NOPE=\"<$QRV_T_NOPE>\"\n", {"QRV_T_NOPE=<>"}},
    {"expands_to_nothing", "A=\"$QRV_T_NOPE\"\n", {"A"}},
    {"installation_fallback", "A=\"$QUORVELPATH/x\"\n", {"A=<INMEM>/x"}},
    {"nameless_line_ignored", "=abc\nA=1\n", {"A=1"}},
    {"utf8_names", "\xC3\x84=\"$\xC3\xA9x\"\n", {"\xC3\x84"}},
};

TEST_P(Grammar, FileGivesEntriesAndRoundTrips) {
    const GrammarCase &c = GetParam();
    msvars_set *set = msvars_readfile(dir.file("vars.txt", c.text).c_str());
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(entries(set), c.expected);

    // What the writer writes reads back into the same entries, from a
    // buffer and from a file.
    int length = -1;
    char *text = msvars_genbuf(set, nullptr, nullptr, &length);
    if (c.expected.empty()) {
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(length, 0);
    } else {
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(length, static_cast<int>(std::strlen(text)) + 1);
        msvars_set *again = msvars_readbuf(text);
        EXPECT_EQ(entries(again), c.expected) << text;
        msvars_set *from_file = msvars_readfile(dir.file("again.txt", text).c_str());
        EXPECT_EQ(entries(from_file), c.expected) << text;
        msvars_freevars(again);
        msvars_freevars(from_file);
        mssp_free_rv(text);
    }
    EXPECT_EQ(msvars_freevars(set), 1);
}

INSTANTIATE_TEST_SUITE_P(Lines, Grammar, ::testing::ValuesIn(kGrammar),
                         [](const auto &info) { return std::string(info.param.label); });

// Text buffers have no line ends: "NAME=\" is an ordinary value.
TEST_F(VarsTest, BufferLinesHaveNoLineEnds) {
    const std::pair<const char *, Entries> cases[] = {
        {"A=1\n\n\nB=2", {"A=1", "B=2"}},
        {"A=\\\n[ALL]x", {"A=\\", "[ALL]x"}},
        {"  \nA=1", {"A=1"}},
        {"", {}},
    };
    for (const auto &[text, expected] : cases) {
        msvars_set *set = msvars_readbuf(text);
        ASSERT_NE(set, nullptr) << text;
        EXPECT_EQ(entries(set), expected) << text;
        msvars_freevars(set);
    }
    EXPECT_EQ(msvars_readbuf(nullptr), nullptr);
    EXPECT_EQ(mserror_geterr_id(), 0);

    const char *cursor = "A=1\nB=2";
    msvars_set *set = msvars_read(&cursor, MSVARS_SOURCE_BUFFER);
    EXPECT_EQ(entries(set), (Entries{"A=1", "B=2"}));
    EXPECT_EQ(cursor, nullptr);
    msvars_freevars(set);
    EXPECT_EQ(msvars_read(nullptr, MSVARS_SOURCE_BUFFER), nullptr);
}

// An open stream is read from where it stands, with line ends.
TEST_F(VarsTest, StreamSource) {
    mssio_stream *stream = mssio_open(dir.file("s.txt", "A=1\nL=\\\n[ALL]x\nB\n").c_str(), "r");
    ASSERT_NE(stream, nullptr);
    char first[16];
    EXPECT_EQ(mssio_readline(stream, first, sizeof first), 4);
    msvars_set *set = msvars_read(stream, MSVARS_SOURCE_STREAM);
    EXPECT_EQ(entries(set), (Entries{"L=x", "B"}));
    msvars_freevars(set);
    mssio_close(stream);
    EXPECT_EQ(msvars_read(nullptr, MSVARS_SOURCE_STREAM), nullptr);
    EXPECT_EQ(msvars_read(&stream, 7), nullptr);
}

TEST_F(VarsTest, CommentModeRewritesTheFileFaithfully) {
    const char *text = "# head\n\n  : colon\n  A = 1\nB\nC=\n=nameless\n\tD=\"q $x\"\n";
    msvars_set *set = msvars_readfile_ex(dir.file("c.txt", text).c_str(), 1);
    ASSERT_NE(set, nullptr);
    Entries expected = {"## head", "#", "#  : colon", "A=1", "B", "C", "#=nameless", "D=q "};
    EXPECT_EQ(entries(set), expected);
    int length = 0;
    char *written = msvars_genbuf(set, nullptr, nullptr, &length);
    ASSERT_NE(written, nullptr);
    EXPECT_STREQ(written, "# head\n\n  : colon\n  A=1\nB\nC=\n=nameless\n\tD=\"q \"\n");
    msvars_set *again = msvars_readfile_ex(dir.file("d.txt", written).c_str(), 1);
    EXPECT_EQ(entries(again), expected);
    mssp_free_rv(written);
    msvars_freevars(again);
    msvars_freevars(set);

    // A comment ending in a carriage return of its own keeps it.
    set = msvars_readfile_ex(dir.file("cr.txt", "#x\r\r\n#y\r\r").c_str(), 1);
    EXPECT_EQ(entries(set), (Entries{"##x\r", "##y\r"}));
    written = msvars_genbuf(set, nullptr, nullptr, &length);
    again = msvars_readfile_ex(dir.file("cr2.txt", written).c_str(), 1);
    EXPECT_EQ(entries(again), entries(set));
    mssp_free_rv(written);
    msvars_freevars(again);
    msvars_freevars(set);
}

TEST_F(VarsTest, RangesAndPartialWrites) {
    std::string path = dir.file("r.txt", "A=0\nBEGIN\nX=1\n# c\nEND\nB=2\nEND\n");
    msvars_set *in = msvars_readfile_include(path.c_str(), "BEGIN", "END");
    EXPECT_EQ(entries(in), (Entries{"BEGIN", "X=1", "END"}));
    msvars_set *out = msvars_readfile_exclude(path.c_str(), "BEGIN", "END");
    EXPECT_EQ(entries(out), (Entries{"A=0", "B=2", "END"}));
    EXPECT_EQ(msvars_readfile_include(path.c_str(), nullptr, "END"), nullptr);
    EXPECT_EQ(msvars_readfile_exclude(path.c_str(), "BEGIN", nullptr), nullptr);
    EXPECT_EQ(mserror_geterr_id(), 0);

    // Half-open index ranges of the writer, and ranges it refuses.
    const msvars_entry *x = nullptr;
    EXPECT_STREQ(msvars_getvar_limits(in, "X", &x, nullptr, nullptr), "1");
    int length = -1;
    char *text = msvars_genbuf(in, x, x + 2, &length);
    EXPECT_STREQ(text, "X=1\n");
    EXPECT_EQ(length, 5);
    mssp_free_rv(text);
    const msvars_entry *bad[][2] = {{x, x}, {x + 2, x}, {x + 1, nullptr}, {x + 40, nullptr}};
    for (auto &range : bad) {
        length = -1;
        EXPECT_EQ(msvars_genbuf(in, range[0], range[1], &length), nullptr);
        EXPECT_EQ(length, 0);
    }
    EXPECT_EQ(msvars_genbuf(nullptr, nullptr, nullptr, &length), nullptr);
    msvars_freevars(in);
    msvars_freevars(out);
}

TEST_F(VarsTest, ReferenceCounts) {
    msvars_set *set = msvars_readbuf("A=1");
    EXPECT_EQ(msvars_reopen(set), set);
    EXPECT_EQ(msvars_freevars(set), 1);
    EXPECT_STREQ(msvars_getvar(set, "A"), "1");  // one holder left
    EXPECT_EQ(msvars_freevars(set), 1);
    EXPECT_EQ(msvars_freevars(nullptr), 1);
    EXPECT_EQ(msvars_reopen(nullptr), nullptr);
    uint32_t not_a_set[4] = {0x12345678u};
    EXPECT_EQ(msvars_freevars(reinterpret_cast<msvars_set *>(not_a_set)), 0);
}

TEST_F(VarsTest, BuiltInStoreFiles) {
    msromf_file *file = msromf_open("config/initfile.txt");
    ASSERT_NE(file, nullptr);
    Canary line(MSROMF_LINE_SIZE + 1);
    int count = msromf_read(file, line.chars());
    EXPECT_GT(count, 0);
    EXPECT_EQ(line.chars()[count - 1], '\n');
    EXPECT_TRUE(line.untouched_from(static_cast<size_t>(count) + 1));
    msvars_set *rest = msvars_read(file, MSVARS_SOURCE_ROMFILE);
    EXPECT_STREQ(msvars_getvar(rest, "QRV_CONFIG_ORIGIN"), "built-in");
    EXPECT_EQ(msromf_read(file, line.chars()), -1);
    msromf_close(file);
    msvars_freevars(rest);

    msvars_set *set = msvars_readromfile("config/initfile.txt");
    EXPECT_STREQ(msvars_getvar(set, "QRV_CONFIG_ORIGIN"), "built-in");
    msvars_freevars(set);
    EXPECT_EQ(msromf_open("config/missing.txt"), nullptr);
    EXPECT_EQ(msromf_open(nullptr), nullptr);
    EXPECT_EQ(msvars_readromfile("config/missing.txt"), nullptr);
    EXPECT_EQ(msromf_read(nullptr, line.chars()), -1);
    EXPECT_EQ(mserror_geterr_id(), 0);
    EXPECT_TRUE(qrv::store::find("config/initfile.txt").has_value());
}

// Bad input: the cause, then 16545 with the file and line on top; no set.
struct BadCase {
    const char *label;
    std::string text;
    int32_t cause;
    long line;
};

class BadInput : public VarsTest, public ::testing::WithParamInterface<BadCase> {};

const BadCase kBad[] = {
    {"line_too_long", "A=1\nB=" + std::string(1100, 'x') + "\n", 16546, 2},
    {"line_of_one_mebibyte", std::string(1 << 20, 'y'), 16546, 1},
    {"longest_line_plus_one", std::string(1023, 'n') + "x\n", 16546, 1},
    {"nul_byte", "A=1\nB=x" + std::string(1, '\0') + "y\n", 16547, 2},
    {"invalid_utf8", "A=\xC3(\n", 16548, 1},
    {"lone_continuation", "# \x80\n", 16548, 1},
    {"overlong", "A=\xC0\xAF\n", 16548, 1},
    {"cut_sequence_at_end", "A=\xF0\x9F", 16548, 1},
    {"surrogate", "A=\xED\xA0\x80\n", 16548, 1},
    {"bad_selection_line", "A=\\\n[ALL]\xFF\n", 16548, 2},
};

TEST_P(BadInput, FileIsRefusedWithNameAndLine) {
    const BadCase &c = GetParam();
    std::string path = dir.file("bad.txt", c.text);
    EXPECT_EQ(msvars_readfile(path.c_str()), nullptr);
    EXPECT_EQ(string_arg(0), path);
    EXPECT_EQ(number_arg(1), c.line);
    EXPECT_TRUE(mserror_pop() && mserror_geterr_id() == c.cause);
    EXPECT_TRUE(c.cause != 16546 || number_arg(0) == 1023) << "16546 names the longest line's content";
    EXPECT_EQ(error_ids(), (std::vector<int32_t>{c.cause}));
}

INSTANTIATE_TEST_SUITE_P(Files, BadInput, ::testing::ValuesIn(kBad),
                         [](const auto &info) { return std::string(info.param.label); });

TEST_F(VarsTest, LongestLineIsAccepted) {
    std::string name(1021, 'n');
    msvars_set *set = msvars_readfile(dir.file("ok.txt", name + "=1\n").c_str());
    EXPECT_STREQ(msvars_getvar(set, name.c_str()), "1");
    msvars_freevars(set);
}

TEST_F(VarsTest, BufferLineTooLong) {
    std::string text = "A=1\n" + std::string(1024, 'z');
    EXPECT_EQ(msvars_readbuf(text.c_str()), nullptr);
    EXPECT_EQ(string_arg(0), "<buffer>");
    EXPECT_EQ(number_arg(1), 2);
    EXPECT_EQ(error_ids(), (std::vector<int32_t>{16545, 16546}));
}

TEST_F(VarsTest, FilesThatCannotBeRead) {
    const std::pair<std::string, std::vector<int32_t>> cases[] = {
        {dir.str() + "/missing.txt", {16545, 16473, 16151}},
        {dir.str() + "/missing.txt/child", {16545, 16473, 16151}},
        {dir.str(), {16545, 16473, 16151}},  // a directory
        {"/proc/self/mem", {16545, 16116}},  // opens, but every read fails
    };
    for (const auto &[path, ids] : cases) {
        EXPECT_EQ(msvars_readfile(path.c_str()), nullptr) << path;
        EXPECT_EQ(string_arg(0), path);
        EXPECT_EQ(error_ids(), ids) << path;
    }
    EXPECT_EQ(msvars_readfile(nullptr), nullptr);
}

TEST_F(VarsTest, ExpansionCannotGrowWithoutBound) {
    setenv("QRV_T_BIG", std::string(100000, 'b').c_str(), 1);
    msvars_envinit();
    std::string line = "A=\"";
    for (int i = 0; i < 11; ++i) line += "$QRV_T_BIG";
    EXPECT_EQ(msvars_readbuf((line + "\"").c_str()), nullptr);
    EXPECT_EQ(error_ids(), (std::vector<int32_t>{16545, 16549}));
    line.resize(line.size() - 20);
    msvars_set *set = msvars_readbuf((line + "\"").c_str());
    EXPECT_EQ(std::strlen(msvars_getvar(set, "A")), 900000u);
    msvars_freevars(set);
}

TEST_F(VarsTest, AllocationFailureGivesNull) {
    std::string text;
    for (int i = 0; i < 200; ++i) text += "NAME" + std::to_string(i) + "=value\n";
    for (long n = 1; n <= 6; ++n) {
        qrv::space::fail_nth_allocation(n);
        msvars_set *set = msvars_readbuf(text.c_str());
        qrv::space::fail_nth_allocation(0);
        EXPECT_EQ(set, nullptr) << n;
        std::vector<int32_t> ids = error_ids();
        ASSERT_FALSE(ids.empty());
        EXPECT_EQ(ids.front(), 16545);
    }
}

}  // namespace
