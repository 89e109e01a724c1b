// String utilities: white space, searching, booleans, lengths by bytes,
// characters and display columns, copying without cutting characters, and
// account-name validation. Cut UTF-8 sequences appear in every table
// ("\303\251" is "é", "\342\202\254" is "€").
#include <cstring>
#include <memory>
#include <string>

#include "msstr.h"
#include "text_support.h"

namespace {

constexpr const char *kNull = nullptr;
int offset(const char *p, const char *s) { return p == nullptr ? -1 : static_cast<int>(p - s); }

TEST(Msstr, WhiteSpaceEnds) {
    const struct {
        const char *s;
        int head, tail, blank;
    } kCases[] = {
        {"", 0, 0, 1},    {"  ", 2, 0, 1},        {"ab  ", 0, 2, 0}, {" \t\n\v\f\ra\r", 6, 7, 0},
        {"a b", 0, 3, 0}, {"\303\251 ", 0, 2, 0}, {"\001", 0, 1, 0}, {" \240", 1, 2, 0},
    };
    for (const auto &c : kCases) {
        EXPECT_EQ(offset(msstr_head(c.s), c.s), c.head) << c.s;
        EXPECT_EQ(offset(msstr_tail(c.s), c.s), c.tail) << c.s;
        EXPECT_EQ(msstr_qspace(c.s), c.blank) << c.s;
    }
    EXPECT_EQ(msstr_head(kNull), nullptr);
    EXPECT_EQ(msstr_tail(kNull), nullptr);
    EXPECT_EQ(msstr_qspace(kNull), 1);
}

using Finder = const char *(*)(const char *, const char *, int);
const char *index_fn(const char *s, const char *sub, int) { return msstr_index(s, sub); }
const char *dindex_fn(const char *s, const char *sub, int) { return msstr_dindex(s, sub); }

// The fuzz target compares the searches with strstr, strcasestr and a plain
// backward scan; these rows hold the null arguments, case folding and n.
TEST(Msstr, Searching) {
    const struct {
        Finder fn;
        const char *s, *sub;
        int n, pos;
    } kCases[] = {
        {index_fn, kNull, "a", 0, -1},        {index_fn, "a", kNull, 0, -1},
        {dindex_fn, "xABcab", "cA", 0, 3},    {dindex_fn, "abc", "", 0, 0},
        {dindex_fn, "ab", "abc", 0, -1},      {dindex_fn, "\303\211a", "\303\251A", 0, -1},  // only ASCII letters fold
        {dindex_fn, kNull, "", 0, -1},        {msstr_rindex, "abab", "ab", 1, 2},
        {msstr_rindex, "abab", "ab", 2, 0},   {msstr_rindex, "abab", "ab", 3, -1},
        {msstr_rindex, "aaa", "aa", 2, 0},  // occurrences may overlap
        {msstr_rindex, "abab", "abab", 1, 0}, {msstr_rindex, "abab", "ab", 0, -1},
        {msstr_rindex, "abc", "", 1, -1},     {msstr_rindex, kNull, "a", 1, -1},
    };
    for (const auto &c : kCases) {
        EXPECT_EQ(offset(c.fn(c.s, c.sub, c.n), c.s), c.pos) << (c.s ? c.s : "(null)") << " / " << c.sub;
    }
    const struct {
        const char *s, *prefix;
        int result;
    } kHeads[] = {
        {"abc", "ab", 1}, {"abc", "abc", 1}, {"ab", "abc", 0}, {"abc", "", 0},
        {"", "", 0},      {kNull, "a", 0},   {"a", kNull, 0},  {"Abc", "ab", 0},
    };
    for (const auto &c : kHeads) EXPECT_EQ(msstr_headeq(c.s, c.prefix), c.result);
}

TEST(Msstr, BooleanWords) {
    for (const char *no : {"n", "No", "OFF", "FaLsE", " no ", "\toff\n", "", "  "}) {
        EXPECT_EQ(msstr_parse_str_boolean(no), 0) << '"' << no << '"';
    }
    EXPECT_EQ(msstr_parse_str_boolean(kNull), 0);
    for (const char *yes : {"yes", "0", "f", "nope", "falsee", "of", "n o", "\303\251", "y"}) {
        EXPECT_EQ(msstr_parse_str_boolean(yes), 1) << '"' << yes << '"';
    }
}

TEST(Msstr, LengthsInCharactersAndColumns) {
    const struct {
        const char *s;
        int chars, columns;
    } kWhole[] = {
        {"", 0, 0},         {"a\303\251", 2, 3}, {"a\bb", 3, 1},      {"\001\177\370", 3, 0},
        {"\t\n", 2, 2},     {"\303", 1, 2},      {"a\342\202", 2, 3}, {"\360\237\230\200x", 2, 3},
        {"\200\200", 2, 4},
    };
    for (const auto &c : kWhole) {
        EXPECT_EQ(msstr_length_ch(c.s), c.chars) << c.s;
        EXPECT_EQ(msstr_length_disp(c.s), c.columns) << c.s;
        EXPECT_EQ(msstr_nlength_ch(c.s, INT32_MAX), c.chars) << c.s;
    }
    EXPECT_EQ(msstr_length_ch(kNull), 0);
    // "a", "é" (2 bytes), "b": counts by where each character starts.
    const char *s = "a\303\251b";
    const int kPrefix[][4] = {{-1, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1},  {2, 2, 2, 3},  // n, bytes, chars, columns
                              {3, 3, 2, 3},  {4, 4, 3, 4}, {100, 4, 3, 4}};
    for (const auto &c : kPrefix) {
        EXPECT_EQ(msstr_nlength(s, c[0]), c[1]) << c[0];
        EXPECT_EQ(msstr_nlength_ch(s, c[0]), c[2]) << c[0];
        EXPECT_EQ(msstr_nlength_disp(s, c[0]), c[3]) << c[0];
    }
    // Exactly 3 bytes, not terminated and ending inside a character: the
    // sanitizer build catches any read past them.
    std::unique_ptr<char[]> exact(new char[3]{'a', '\343', '\201'});
    EXPECT_EQ(msstr_nlength_ch(exact.get(), 3), 2);
    EXPECT_EQ(msstr_nlength_disp(exact.get(), 3), 3);
    EXPECT_EQ(msstr_nlength_disp(exact.get(), 1), 1);
}

TEST(Msstr, CopyBytes) {
    const struct {
        const char *src;
        int n;
        const char *written;
        int length, result;
    } kCases[] = {
        {"abcdef", 3, "abc", 3, 3}, {"ab", 3, "ab", 3, 2}, {"ab", 2, "ab", 2, 2}, {"", 1, "", 1, 0},
        {"abc", 0, "", 0, 0},       {"abc", -5, "", 0, 0}, {kNull, 2, "", 1, 0},
    };
    for (const auto &c : kCases) {
        Canary dst(c.n > 0 ? static_cast<size_t>(c.n) : 0);
        EXPECT_EQ(msstr_ncopy(dst.chars(), c.src, c.n), dst.chars() + c.result) << c.src << " " << c.n;
        EXPECT_EQ(std::memcmp(dst.chars(), c.written, static_cast<size_t>(c.length)), 0);
        EXPECT_TRUE(dst.untouched_from(static_cast<size_t>(c.length)));
    }
    EXPECT_EQ(msstr_ncopy(nullptr, "a", 1), nullptr);
}

TEST(Msstr, CopyWholeCharacters) {
    const struct {
        const char *src;
        int n;
        const char *copied;
    } kCases[] = {
        {"a\303\251", 2, "a"},
        {"a\303\251", 3, "a\303\251"},
        {"a\303\251", 0, ""},
        {"abc", -1, ""},
        {"abc", 2, "ab"},
        {"\342\202\254\342\202\254", 5, "\342\202\254"},
        {"a\342\202", 10, "a\342\202"},
        {"a\342\202", 2, "a"},
        {kNull, 3, ""},
    };
    for (const auto &c : kCases) {
        Canary dst(c.n > 0 ? static_cast<size_t>(c.n) + 1 : 1);
        size_t length = std::strlen(c.copied);
        EXPECT_EQ(msstr_ncopy_ch(dst.chars(), c.src, c.n), dst.chars() + length) << c.src << " " << c.n;
        EXPECT_STREQ(dst.chars(), c.copied);
        EXPECT_TRUE(dst.untouched_from(length + 1));
    }
    EXPECT_EQ(msstr_ncopy_ch(nullptr, "a", 1), nullptr);
}

TEST(Msstr, AccountNamesAsciiCharacterByCharacter) {
    const char *login_chars = " !$&'()-.0123456789@ABCDEFGHIJKLMNOPQRSTUVWXYZ^_`abcdefghijklmnopqrstuvwxyz{}~";
    for (int c = 1; c < 128; ++c) {
        char s[3] = {'x', static_cast<char>(c), '\0'};
        EXPECT_EQ(msstr_check_login(s), std::strchr(login_chars, c) != nullptr) << "byte " << c;
        EXPECT_EQ(msstr_check_passwd(s), c >= 0x20 && c < 0x7F) << "byte " << c;
    }
}

TEST(Msstr, AccountNamesNamedCases) {
    const struct {
        const char *s;
        int login, passwd;
    } kCases[] = {
        {" bob", 0, 1},         {"", 1, 1},
        {kNull, 0, 0},          {"b\303", 0, 0},
        {"b\303\251", 1, 1},    {"\303a", 0, 0},
        {"\200", 1, 1},         {"\370", 0, 0},
        {"\377", 0, 0},         {"\360\237\230\200", 1, 1},
        {"\360\237\230", 0, 0}, {"\342\202\254", 1, 1},
        {"\303\303\251", 0, 0},  // a lead byte where a continuation byte must be
    };
    for (const auto &c : kCases) {
        EXPECT_EQ(msstr_check_login(c.s), c.login) << (c.s ? c.s : "(null)");
        EXPECT_EQ(msstr_check_passwd(c.s), c.passwd) << (c.s ? c.s : "(null)");
    }
}

}  // namespace
