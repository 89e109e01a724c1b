// The formatting engine. Integer, character and string conversions are
// checked against glibc where the rules agree with C99; every deliberate
// difference has its own table written from the engine's rules. Every
// rendering also runs one byte short through msfmt_buffer_lim, with canary
// bytes around the buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fmt/engine.h"
#include "mscv.h"
#include "msfmt.h"
#include "support.h"
#include "test_translator.h"

namespace {

std::string render(const char *format, ...) {
    va_list a, b;
    va_start(a, format);
    va_copy(b, a);
    static char full[8192];
    char *end = msfmt_buffer_lim_valist(full, sizeof full, format, a);
    std::string text(full, static_cast<size_t>(end - full));
    // One byte short: the text loses its last byte, nothing else changes.
    const int size = static_cast<int>(text.size());
    std::vector<char> area(text.size() + 16, 0x5A), want = area;
    char *cut_end = msfmt_buffer_lim_valist(area.data() + 8, size, format, b);
    va_end(a);
    va_end(b);
    if (size > 0) {
        std::memcpy(want.data() + 8, text.data(), static_cast<size_t>(size - 1));
        want[static_cast<size_t>(8 + size - 1)] = '\0';
    }
    EXPECT_EQ(cut_end, area.data() + 8 + (size > 0 ? size - 1 : 0)) << format;
    EXPECT_EQ(area, want) << format;
    return text;
}

// ---- C99 oracle: integer, character and string conversions -----------------

const char *const kFirstFlags[] = {"", " ", "+", "#"};
const char *const kSecondFlags[] = {"", "-", "0"};
const int kWidths[] = {-1, 1, 5, 12, 25};
const int kPrecisions[] = {-1, 0, 1, 3, 12, 20};
const long long kLadder[] = {
    0, 1, -1, 99, 100, 1000000, -99, INT_MIN, INT_MAX, UINT_MAX, 0x1ffffffffLL, LLONG_MIN, LLONG_MAX, 0xdeadbeefLL};

std::string directive(const char *flags1, const char *flags2, int width, int precision, const std::string &conversion) {
    char text[64];
    int n = std::snprintf(text, sizeof text, "%%%s%s", flags1, flags2);
    if (width >= 0) n += std::snprintf(text + n, sizeof text - n, "%d", width);
    if (precision >= 0) n += std::snprintf(text + n, sizeof text - n, ".%d", precision);
    std::snprintf(text + n, sizeof text - n, "%s", conversion.c_str());
    return text;
}

class IntegerOracle : public ::testing::TestWithParam<const char *> {};

TEST_P(IntegerOracle, MatchesGlibcWhereTheRulesAgree) {
    const std::string conversion = GetParam();
    const char letter = conversion.back();
    const size_t ls = conversion.size() - 1;  // 0, 1 ("l") or 2 ("ll")
    for (const char *f1 : kFirstFlags) {
        for (const char *f2 : kSecondFlags) {
            for (int width : kWidths) {
                for (int precision : kPrecisions) {
                    for (long long v : kLadder) {
                        // Differences with their own tables: "#" on decimal
                        // conversions and zero values, precision 0 of zero,
                        // and ".0x", which reads as a hexadecimal number.
                        const bool zero = ls == 2 ? v == 0 : static_cast<uint32_t>(v) == 0;
                        if (*f1 == '#' && (letter == 'd' || letter == 'i' || letter == 'u' || zero)) continue;
                        if (precision == 0 && (zero || letter == 'x' || letter == 'X')) continue;
                        std::string ours = directive(f1, f2, width, precision, conversion);
                        std::string c =
                            directive(f1, f2, width, precision, ls == 2 ? conversion : conversion.substr(ls));
                        char expect[256];
                        bool is_signed = letter == 'd' || letter == 'i';
                        if (ls == 2) {
                            std::snprintf(expect, sizeof expect, c.c_str(), v);
                        } else if (is_signed) {
                            std::snprintf(expect, sizeof expect, c.c_str(), static_cast<int>(v));
                        } else {
                            std::snprintf(expect, sizeof expect, c.c_str(), static_cast<unsigned>(v));
                        }
                        std::string want = expect;
                        if (width > 0 && static_cast<int>(want.size()) > width) want.assign(width, '*');
                        std::string got = ls == 2   ? render(ours.c_str(), v)
                                          : ls == 1 ? render(ours.c_str(), static_cast<long>(v))
                                                    : render(ours.c_str(), static_cast<int>(v));
                        ASSERT_EQ(got, want) << ours << " of " << v;
                    }
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Conversions, IntegerOracle,
                         ::testing::Values("d", "i", "u", "o", "x", "X", "ld", "li", "lu", "lo", "lx", "lX", "lld",
                                           "lli", "llu", "llo", "llx", "llX"));

TEST(CharStringOracle, MatchesGlibcForAsciiText) {
    const char *const strings[] = {"", "a", "hello", "a longer string of text"};
    for (const char *f2 : {"", "-"}) {
        for (int width : kWidths) {
            for (int precision : kPrecisions) {
                for (const char *s : strings) {
                    std::string f = directive("", f2, width, precision, "s");
                    char expect[256];
                    std::snprintf(expect, sizeof expect, f.c_str(), s);
                    std::string want = expect;
                    if (width > 0 && static_cast<int>(want.size()) > width) want.assign(width, '*');
                    ASSERT_EQ(render(f.c_str(), s), want) << f << " of " << s;
                }
                for (int ch : {'A', '~', ' '}) {
                    std::string f = directive("", f2, width, -1, "c");
                    char expect[64];
                    std::snprintf(expect, sizeof expect, f.c_str(), ch);
                    ASSERT_EQ(render(f.c_str(), ch), expect) << f;
                }
            }
        }
    }
}

// ---- deliberate differences, one table each ---------------------------------

struct Case {
    std::function<std::string()> run;
    const char *want;
};

void check(const std::vector<Case> &cases) {
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].run(), cases[i].want) << "case " << i;
}

TEST(Differences, StarFillAndFlagOrder) {
    check({
        {[] { return render("%5d|%3s|%-2x|%4.1f", 12345678, "abcd", 0x123, 123.456); }, "*****|***|**|****"},
        // "+" after "-" is no flag, one second flag only, one first flag only
        {[] { return render("%-+5d|%0-5d|%+#x", 5, 5, 255); }, "+5d|-5d|#x"},
        {[] { return render("%#x %#o|%.0d|%.00x", 0, 0, 0, 0); }, "0x0 00|0|0"},  // zero stays visible
        {[] { return render("%.0x|%-0X|%-0x1fd|", 1, 2, 3); }, "0x|0X||"},        // "0x" starts a hexadecimal number
        {[] { return render("%05s|%#06X", "-ab", 255); }, "-00ab|0X00FF"},        // zero padding after a sign
    });
}

TEST(Differences, PositionalArguments) {
    check({
        {[] { return render("%2$s %1$s", "a", "b"); }, "b a"},
        {[] { return render("%*d|%*d", 5, 42, -5, 42); }, "   42|42"},
        {[] { return render("%2$*1$d", 5, 42); }, "   42"},
        {[] { return render("%1$*1$d", 4); }, "   4"},
        {[] { return render("%.*f|%.*f", 2, 3.14159, -3, 1.5); }, "3.14|1.500000"},
        {[] { return render("%3$d", 1, 2, 3); }, "3"},       // gaps are read as ints
        {[] { return render("%2$d %d", 1, 2); }, "2 1"},     // own sequential counter
        {[] { return render("%1$d %1$s", 7); }, "7 (nil)"},  // a slot keeps its first type
        {[] { return render("%10$d", 5); }, "$d"},           // one digit only
        {[] { return render("%1$-*2$s|", "ab", 4); }, "ab  |"},
    });
}

TEST(Differences, QuotesNullsAndUnknownConversions) {
    check({
        {[] { return render("%Q|%lQ|%6Q|%-6Q|%.1Q", "it", "x", "ab", "ab", "abc"); },
         "'it'|'x'|    'ab'|'ab'    |'abc'"},
        {[] { return render("%Q|%s|%p|%.3s", nullptr, nullptr, nullptr, nullptr); }, "NULL|(nil)|0x0|(ni"},
        {[] { return render("%.4p", reinterpret_cast<void *>(0xab)); }, "0x00ab"},
        {[] { return render("%hd|%d", 1, 2); }, "hd|2"},  // unknown conversions take a slot
        {[] { return render("%5y%n|%d", 1, 2, 3); }, "yn|3"},
        {[] { return render("%lp%lF%llld", 1, 2, 3); }, "pFld"},
        {[] { return render("a%%b%"); }, "a%b%"},
        {[] { return render("%ld %lu %lx", -1L, 0x100000001L, -1L); }, "-1 1 ffffffff"},
    });
    EXPECT_EQ(render("%c|", 0), std::string("\0|", 2));
}

// Widths and string precisions count display columns, and a precision
// never cuts a multibyte character ("\303\251" is one two-byte character).
TEST(Differences, DisplayColumns) {
    check({
        // one two-column character
        {[] { return render("%4s|%-4s|%1s", "\342\202\254", "\342\202\254", "\342\202\254"); },
         "  \342\202\254|\342\202\254  |*"},
        {[] { return render("%3s|%2s", "a\bb", "\001"); }, "  a\bb|  \001"},  // backspace -1, control characters 0
        {[] { return render("%.2s|%.1s|", "\303\251ab", "\303\251ab"); }, "\303\251||"},
        {[] { return render("%.3s|", "a\342\202\254b"); }, "a\342\202\254|"},
        {[] { return render("%.1s|", "ab\b"); }, "ab\b|"},  // width 1 fits: no cut
        {[] { return render("%4c|", 0xC3); }, "  \303|"},
    });
}

// Conversions of doubles: what the engine adds to the float layout (the
// default precisions, "l" for 15 digits, flags, padding, the special values).
TEST(Differences, FloatingConversions) {
    check({
        {[] { return render("%e|%le", 1.0, 1.0); }, "1.000000e+000|1.000000000000000e+000"},
        {[] { return render("%E|%G|%lE", 12345.678, 1e-10, 12345.678); },
         "1.234568E+004|1E-010|1.234567800000000E+004"},
        {[] { return render("%f|%lf", 0.1, 0.1); }, "0.100000|0.100000000000000"},
        {[] { return render("%g|%lg|%g|%g", 1e-5, 1e-5, 1e5, 1e6); }, "1e-005|0.00001|100000|1e+006"},
        {[] { return render("%#.0f|%#.0e|%#g|%.3g", 2.0, 2.0, 1.0, 0.0001234); }, "2.|2.e+000|1.00000|0.000123"},
        {[] { return render("%08.2f|%010f", 3.14159, -1.5); }, "    3.14|-01.500000"},
        {[] { return render("%f|%+f|%011f", INFINITY, INFINITY, -INFINITY); }, "Infinity|+Infinity|-00Infinity"},
        {[] { return render("%f|%+e|% g", NAN, NAN, NAN); }, "NaN|NaN|NaN"},
        {[] { return render("% f|%+.1e", -0.0, 0.0); }, " 0.000000|+0.0e+000"},
    });
}

// ---- limits ----------------------------------------------------------------

std::string render_args(const std::string &format, const std::vector<qrv::fmt::Arg> &args) {
    static char out[16384];
    qrv::fmt::BufferSink b{out, out + sizeof out - 1};
    qrv::fmt::format_args(qrv::fmt::buffer_sink, &b, format.c_str(), args.data(), static_cast<int>(args.size()));
    return std::string(out, static_cast<size_t>(b.pos - out));
}

std::string repeat(const std::string &s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

TEST(Limits, ConversionsSlotsRewrittenFormatAndWidth) {
    std::vector<qrv::fmt::Arg> ones(60, qrv::fmt::Arg::of(int64_t{1}));
    EXPECT_EQ(render_args(repeat("%d", 50), ones), repeat("1", 50));
    EXPECT_EQ(render_args(repeat("%d", 51) + "%%", ones), repeat("1", 50) + "%d%%");
    EXPECT_EQ(render_args(repeat("%*.*d", 17), ones), repeat("1", 16) + "%*.*d");  // slots 48-50
    EXPECT_EQ(render_args(std::string(5117, 'a') + "%d", ones), std::string(5117, 'a') + "1");
    EXPECT_EQ(render_args(std::string(5118, 'a') + "%d", ones), std::string(5118, 'a') + "%d");
    EXPECT_EQ(render("%1024d", 7), std::string(1023, ' ') + "7");
    EXPECT_EQ(render("%1025d|%d", 7, 8), "%1025d|%d");
    EXPECT_EQ(render("%*d", 5000, 7), std::string(1023, ' ') + "7");
    EXPECT_EQ(render("%.600f", 1.0), "1." + std::string(512, '0'));
    EXPECT_EQ(render("%.600d", 1), std::string(511, '0') + "1");
    EXPECT_EQ(render("%.512lf", -DBL_MAX).size(), 1u + 309 + 1 + 512);
}

TEST(Limits, CutAndEmbeddedMultibyteSequences) {
    for (const char *tail : {"\xE2", "\xE2\x82", "\xF0\x9F\x98"}) {
        std::string f = std::string("ab") + tail;
        std::vector<char> exact(f.begin(), f.end());
        exact.push_back('\0');  // nothing after the terminator to read
        EXPECT_EQ(render(exact.data()), f);
    }
    EXPECT_EQ(render("\xE0%d|%d", 7), "\xE0%d|7");  // "%d" lies inside a 3-byte character
}

// ---- buffers, sinks, errors -------------------------------------------------

TEST(Buffers, SizesZeroOneAndUnbounded) {
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(msfmt_buffer_lim(buf, 0, "abc"), buf);
    EXPECT_EQ(msfmt_buffer_lim(buf, -5, "abc"), buf);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(msfmt_buffer_lim(buf, 1, "abc"), buf);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], 'x');
    EXPECT_EQ(msfmt_buffer(buf, "%s=%d", "n", 42), buf + 4);
    EXPECT_STREQ(buf, "n=42");
    buf[0] = 'x';
    EXPECT_EQ(msfmt_buffer(buf, "%s", ""), buf);
    EXPECT_EQ(buf[0], '\0');
}

void collect_pieces(void *context, const char *data, int length) {
    ASSERT_GE(length, 0);
    static_cast<std::vector<std::string> *>(context)->emplace_back(data, static_cast<size_t>(length));
}

TEST(Sinks, PiecesArriveInOrderWithPaddingInOnePiece) {
    std::vector<std::string> pieces;
    msfmt_args(collect_pieces, &pieces, "x%-6Q|%06d", "ab", -7);
    std::string joined;
    for (const std::string &p : pieces) joined += p;
    EXPECT_EQ(joined, "x'ab'    |-00007");
    EXPECT_NE(std::find(pieces.begin(), pieces.end(), "0000"), pieces.end());
    msfmt_args(nullptr, nullptr, "%d", 1);  // no sink: nothing happens
}

// Formats without positional references take a single pass: the sink must
// get the pieces the three passes give it, at the limits too.
TEST(Sinks, SinglePassGivesThePiecesOfTheThreePasses) {
    using qrv::fmt::Arg;
    const std::vector<Arg> args = {Arg::of(int64_t{-7}), Arg::of(int64_t{12}), Arg::of("s\nt"),    Arg::of(2.5),
                                   Arg::of(int64_t{3}),  Arg::of("u"),         Arg::of(int64_t{9})};
    const std::string formats[] = {
        "",
        "a\nb%%c%",
        "%d%%%s|%-5d|%05d|%+d|% d\n",
        "%*d|%.*s|%-*.*d|%#x|%lld",
        "%hd %n %q%d",
        "%.0x|%00x5d|%99999999999d",
        "\xC3%d|%d|\xE2\x82\xAC%5s\xE2\x82\xAC%c",
        repeat("%d", 51) + "%%",
        repeat("%*.*d", 17),
        std::string(5117, 'a') + "%d",
        std::string(5118, 'a') + "%%%d",
        std::string(6000, 'a') + "%d",
        std::string(5118, 'a') + "\xC3\xA9%d",
        "%1025d|%d",
    };
    for (const std::string &format : formats) {
        std::vector<std::string> single, staged;
        qrv::fmt::format_args(collect_pieces, &single, format.c_str(), args.data(), static_cast<int>(args.size()));
        qrv::fmt::format_args_staged(collect_pieces, &staged, format.c_str(), args.data(),
                                     static_cast<int>(args.size()));
        EXPECT_EQ(single, staged) << format.substr(0, 40);
    }
}

TEST_F(LibraryTest, WidthOverflowLeavesTheReadError) {
    mserror_seterr(1, 0);
    EXPECT_EQ(render("%99999999999d|%.99999999999d", 5, 6), "99999999999d|99999999999d");
    EXPECT_EQ(mserror_geterr_id(), 16053);
    EXPECT_EQ(entry_count(), 1);  // the read starts a new report
}

TEST(TypedEntry, ArgumentsConvertToWhatTheConversionReads) {
    using qrv::fmt::Arg;
    EXPECT_EQ(render_args("%d %ld %lld %x %.1f %s %Q",
                          {Arg::of(int64_t{-1}), Arg::of(int64_t{0x100000002}), Arg::of(int64_t{1} << 40), Arg::of(2.9),
                           Arg::of(int64_t{3}), Arg::of("s"), Arg::of(int64_t{5})}),
              "-1 2 1099511627776 2 3.0 s NULL");
    EXPECT_EQ(render_args("%d|%s|%f|%ls", {}), "0|(nil)|0.000000|(nil)");
    EXPECT_EQ(render_args("%d", {Arg::of(NAN)}), "0");
}

// ---- wide conversions --------------------------------------------------------

// The library's own translator, built in: Japanese text, and the failure
// texts for an unpaired surrogate.
TEST_F(LibraryTest, WideConversionsThroughTheBuiltInTranslator) {
    EXPECT_EQ(render("%lc|%ls|%llc|%lls|%ls", 'a', u"ab", 'b', u"cd", nullptr), "a|ab|b|cd|(nil)");
    EXPECT_EQ(render("%ls|%lc", u"\u65e5\u672c\u8a9e", 0x3042), "\u65e5\u672c\u8a9e|\u3042");
    const char16_t unpaired[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(render("%ls|%lc|%s", unpaired, 0xDC00, "x"), "(?..?)|?|x");
}

// Around the engine's fixed buffer for short texts (255 bytes of text):
// longer ones take the growable buffer.
TEST_F(LibraryTest, LongWideTextsThroughTheBuiltInTranslator) {
    for (size_t units : {1, 85, 86, 300}) {
        std::u16string wide(units, u'\u65e5');
        std::string expected;
        for (size_t i = 0; i < units; ++i) expected += "\u65e5";
        EXPECT_EQ(render("%ls|%ls", wide.c_str(), wide.c_str()), expected + "|" + expected) << units;
    }
}

TEST_F(LibraryTest, WideConversionsThroughTheTranslator) {
    qrv::fmt::set_wide_translator(&kTestTranslator);
    g_translator_opens = 0;
    EXPECT_EQ(render("%lc|%ls|%.3ls|%6ls|", 0xE9, u"h\u00e9llo", u"h\u00e9llo", u"\u20acx"),
              "\xC3\xA9|h\xC3\xA9llo|h\xC3\xA9|   \xE2\x82\xACx|");
    EXPECT_EQ(g_translator_opens, 1);  // render() runs twice; the translator opens once
    qrv::fmt::set_wide_translator(nullptr);
}

TEST_F(LibraryTest, FailedOpenIsRetriedAndLeavesItsRecord) {
    qrv::fmt::set_wide_translator(&kTestTranslator);
    g_translator_opens = 0;
    g_translator_open_ok = false;
    char buf[32];
    msfmt_buffer(buf, "%lc%ls", 'a', u"b");
    EXPECT_STREQ(buf, "?(?..?)");
    EXPECT_EQ(g_translator_opens, 2);
    EXPECT_EQ(mserror_geterr_id(), 16532);
    g_translator_open_ok = true;
    msfmt_buffer(buf, "%lc", 'a');
    EXPECT_STREQ(buf, "a");
    qrv::fmt::set_wide_translator(nullptr);
}

}  // namespace
