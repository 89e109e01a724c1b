// Strict UTF-8 and UTF-16 in the wide-string converters, and the code-page
// service checked against glibc's iconv in each code page of the table.
#include <iconv.h>

#include <random>

#include "msos.h"
#include "support.h"

namespace {

std::string bytes(const void *p, size_t n) { return std::string(static_cast<const char *>(p), n); }
std::string units(const std::u16string &s) { return bytes(s.data(), s.size() * 2); }

// What glibc makes of the input, stopping at the first invalid or cut
// sequence as the service does.
struct Converted {
    size_t read;
    std::string out;
};
Converted oracle(const char *to, const char *from, const std::string &in) {
    iconv_t cd = iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << from << " -> " << to;
    std::string out(in.size() * 4 + 16, '\0');
    char *src = const_cast<char *>(in.data()), *dst = out.data();
    size_t left = in.size(), room = out.size();
    iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    out.resize(out.size() - room);
    return {in.size() - left, out};
}

// ---- Wide strings ------------------------------------------------------------

const std::string kAscii20(20, 'x');  // past the 16-byte fast path

TEST(WideStrings, ValidTextRoundTrips) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"", u""},
        {"a/b/c", u"a/b/c"},  // paths keep their '/'
        {"\u00e9\u65e5\u672c\u8a9e", u"\u00e9\u65e5\u672c\u8a9e"},
        {"\U00010000\U0001F600\U0010FFFF", u"\U00010000\U0001F600\U0010FFFF"},
        {kAscii20 + "\u00e9" + kAscii20 + "\U0001F600", u"xxxxxxxxxxxxxxxxxxxx\u00e9xxxxxxxxxxxxxxxxxxxx\U0001F600"}};
    for (const auto &[utf8, utf16] : cases) {
        for (auto convert : {win32_MultiByteToWideChar, win32_MultiBytePathToWideCharPath}) {
            qrv_wchar *w = convert(utf8.c_str());
            ASSERT_NE(w, nullptr) << utf8;
            EXPECT_EQ(bytes(w, (utf16.size() + 1) * 2), units(utf16) + std::string(2, '\0')) << utf8;
            char *back = win32_WideCharToMultiByte(w);
            EXPECT_EQ(std::string(back != nullptr ? back : "<null>"), utf8);
            std::free(back);
            std::free(w);
        }
    }
}

TEST(WideStrings, InvalidInputGivesNull) {
    const std::vector<std::string> utf8[] = {
        {"\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\xE0\x9F\xBF", "\xF0\x80\x80\xAF", "\xF0\x8F\xBF\xBF"},  // overlong
        {"\xED\xA0\x80", "\xED\xBF\xBF", "\xED\xA0\x80\xED\xB0\x80"},                                      // surrogates
        {"\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF7\xBF\xBF\xBF"},  // past U+10FFFF
        {"\xC3", "\xE6\x97", "\xF0\x9F\x98", "\xE6\x97\x61\x62"},      // cut short
        {"\x80", "a\xBF\x62", "\xFE", "\xFF"}};                        // lone continuation, no lead
    for (const auto &kind : utf8) {
        for (const std::string &bad : kind) {
            for (const std::string &prefix : {std::string(), kAscii20}) {
                std::string text = prefix + bad;
                EXPECT_EQ(win32_MultiByteToWideChar(text.c_str()), nullptr) << testing::PrintToString(text);
                EXPECT_EQ(win32_MultiBytePathToWideCharPath(text.c_str()), nullptr);
            }
        }
    }
    const std::u16string utf16[] = {{0xD800},       {0xDBFF, u'a'},   {0xDC00},
                                    {u'a', 0xDFFF}, {0xDC00, 0xD800}, {0xD800, 0xD800, 0xDC00}};
    for (const std::u16string &bad : utf16) {
        for (const std::u16string &prefix : {std::u16string(), std::u16string(20, u'x')}) {
            std::u16string text = prefix + bad;
            EXPECT_EQ(win32_WideCharToMultiByte(reinterpret_cast<const qrv_wchar *>(text.c_str())), nullptr)
                << testing::PrintToString(units(text));
        }
    }
    EXPECT_EQ(win32_MultiByteToWideChar(nullptr), nullptr);
    EXPECT_EQ(win32_WideCharToMultiByte(nullptr), nullptr);
    EXPECT_EQ(win32_MultiBytePathToWideCharPath(nullptr), nullptr);
}

// ---- The code-page service -----------------------------------------------------

constexpr int kWide = 1200, kUtf8 = 65001;

// iconv's name for a code page of the table.
const char *iconv_name(int page) {
    const std::pair<int, const char *> kNames[] = {{kWide, "UTF-16LE"}, {kUtf8, "UTF-8"}, {932, "CP932"},
                                                   {51932, "EUC-JP"},   {936, "GBK"},     {51949, "EUC-KR"},
                                                   {1252, "CP1252"}};
    for (const auto &[p, name] : kNames) {
        if (p == page) return name;
    }
    return nullptr;
}

// One service call: the UTF-16 side of a conversion takes the unit forms,
// so the counts of that side are 16-bit units.
int32_t service(int from, int to, const char *src, int *src_len, char *dst, int *dst_len) {
    uint32_t mode = 0;
    if (from == kWide) {
        return msos_ConvertINetUnicodeToMultiByte(&mode, to, reinterpret_cast<const qrv_wchar *>(src), src_len, dst,
                                                  dst_len);
    }
    if (to == kWide) {
        return msos_ConvertINetMultiByteToUnicode(&mode, from, src, src_len, reinterpret_cast<qrv_wchar *>(dst),
                                                  dst_len);
    }
    return msos_ConvertINetString(&mode, from, to, src, src_len, dst, dst_len);
}

// Checks the service from one code page to another over src against the
// oracle's output for it.
void check_against(int from, int to, const std::string &src) {
    SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
    const char *from_name = iconv_name(from), *to_name = iconv_name(to);
    const Converted want = oracle(to_name, from_name, src);
    ASSERT_EQ(want.read, src.size()) << "the sample converts whole";
    const int in_unit = from == kWide ? 2 : 1, out_unit = to == kWide ? 2 : 1;
    const int whole = static_cast<int>(src.size()) / in_unit, needed = static_cast<int>(want.out.size()) / out_unit;

    // Whole, measured (dst null, or room 0), and with nothing to convert.
    for (auto [n, room] : {std::pair{whole, needed + 4}, {whole, -1}, {whole, 0}, {0, 4}}) {
        const size_t written = n > 0 && room > 0 ? want.out.size() : 0;
        Canary dst(want.out.size() + 8);
        int src_len = n, dst_len = room < 0 ? 77 : room;
        ASSERT_EQ(service(from, to, src.data(), &src_len, room < 0 ? nullptr : dst.chars(), &dst_len), 0);
        EXPECT_EQ(src_len, n);
        EXPECT_EQ(dst_len, n > 0 ? needed : 0);
        EXPECT_EQ(bytes(dst.data(), written), want.out.substr(0, written));
        EXPECT_TRUE(dst.untouched_from(written));
    }

    // Up to a terminator, which is not converted.
    std::string terminated = src + std::string(2, '\0');
    std::vector<char> out(want.out.size() + 8);
    int src_len = -1, dst_len = needed + 4;
    ASSERT_EQ(service(from, to, terminated.data(), &src_len, out.data(), &dst_len), 0);
    EXPECT_EQ(src_len, whole);
    EXPECT_EQ(bytes(out.data(), static_cast<size_t>(dst_len * out_unit)), want.out);

    // One unit short: a consistent prefix, nothing written past the room.
    Canary dst(want.out.size());
    src_len = whole, dst_len = needed - 1;
    ASSERT_EQ(service(from, to, src.data(), &src_len, dst.chars(), &dst_len), 0);
    EXPECT_LT(src_len, whole);
    EXPECT_LE(dst_len, needed - 1);
    const Converted prefix = oracle(to_name, from_name, src.substr(0, static_cast<size_t>(src_len * in_unit)));
    EXPECT_EQ(bytes(dst.data(), static_cast<size_t>(dst_len * out_unit)), prefix.out);
    EXPECT_TRUE(dst.untouched_from(want.out.size() - static_cast<size_t>(out_unit)));
}

struct Sample {
    int page;
    std::vector<std::pair<char32_t, char32_t>> ranges;
    int also = 0;  // a second code page that must hold the text
};

// Text of n characters from the ranges that the code page can hold.
std::string generate(const Sample &s, int n) {
    std::mt19937 random(static_cast<unsigned>(s.page));
    std::string text;
    while (n > 0) {
        const auto &[first, last] = s.ranges[random() % s.ranges.size()];
        char32_t code = first + static_cast<char32_t>(random() % (last - first + 1));
        std::string c = oracle("UTF-8", "UTF-32LE", bytes(&code, 4)).out;
        if (oracle(iconv_name(s.page), "UTF-8", c).read != c.size()) continue;
        if (s.also != 0 && oracle(iconv_name(s.also), "UTF-8", c).read != c.size()) continue;
        text += c;
        --n;
    }
    return text;
}

const std::pair<char32_t, char32_t> kAscii{0x20, 0x7E}, kKana{0x3041, 0x30FA}, kHan{0x4E00, 0x9FA0};
const Sample kSamples[] = {{932, {kAscii, kKana, kHan, {0xFF61, 0xFF9F}}},  // Japanese with half-width kana
                           {51932, {kAscii, kKana, kHan, {0xFF61, 0xFF9F}, {0xC0, 0xFF}}},
                           {936, {kAscii, kHan, {0x3000, 0x3011}}},                           // Chinese
                           {51949, {kAscii, {0xAC00, 0xD7A3}}},                               // Korean
                           {1252, {kAscii, {0xA0, 0xFF}, {0x152, 0x153}, {0x20AC, 0x20AC}}},  // French and the euro
                           {kUtf8, {kAscii, kKana, {0xE0, 0xFF}, {0x1F600, 0x1F64F}, {0x10000, 0x1000F}}}};

TEST(CodePageService, EveryTableCodePageMatchesIconv) {
    for (const Sample &s : kSamples) {
        const std::string text = generate(s, 3000);
        const std::string native = oracle(iconv_name(s.page), "UTF-8", text).out;
        if (s.page != kUtf8) {
            check_against(kUtf8, s.page, text);
            check_against(s.page, kUtf8, native);
        }
        check_against(s.page, kWide, native);
        check_against(kWide, s.page, oracle("UTF-16LE", "UTF-8", text).out);
    }
    // Between two code pages of one language.
    check_against(932, 51932, oracle("CP932", "UTF-8", generate({932, {kKana, kHan}, 51932}, 500)).out);
}

TEST(CodePageService, InvalidInputStopsWhereIconvStops) {
    // The last row is a hole in the code page.
    const struct {
        int from, to;
        std::string src;
    } cases[] = {{kUtf8, kWide, "ab\xC0\xAF"},
                 {kUtf8, kWide, "ab\xE0\x80\xAF"},
                 {kUtf8, kWide, "ab\xED\xA0\x80z"},
                 {kUtf8, kWide, "ab\xF4\x90\x80\x80"},
                 {kUtf8, kWide, kAscii20 + "\xE6\x97"},
                 {kUtf8, kWide, kAscii20 + "\x80\x61"},
                 {kUtf8, 932, "ab\xED\xA0\x80"},
                 {kUtf8, 932, "ab\xE6\x97"},
                 {kWide, kUtf8, units(u"ab") + units({0xD800})},
                 {kWide, kUtf8, units(u"ab") + units({0xDC00, u'c'})},
                 {kWide, kUtf8, units(std::u16string(20, u'x')) + units({0xD800, u'c'})},
                 {kWide, 932, units(u"ab") + units({0xD800, u'c'})},
                 {932, kWide, "ab\x81"},
                 {51932, kUtf8, "ab\xA4"},
                 {51949, kUtf8, "ab\xFF\xFF"},
                 {1252, kWide, "ab\x81"}};
    for (const auto &c : cases) {
        const Converted want = oracle(iconv_name(c.to), iconv_name(c.from), c.src);
        const int in_unit = c.from == kWide ? 2 : 1, out_unit = c.to == kWide ? 2 : 1;
        Canary dst(c.src.size() * 4);
        int src_len = static_cast<int>(c.src.size()) / in_unit, dst_len = static_cast<int>(c.src.size()) * 4 / out_unit;
        SCOPED_TRACE(testing::PrintToString(c.src) + " " + std::to_string(c.from) + " -> " + std::to_string(c.to));
        ASSERT_LT(want.read, c.src.size());
        EXPECT_EQ(service(c.from, c.to, c.src.data(), &src_len, dst.chars(), &dst_len), 0);
        EXPECT_EQ(static_cast<size_t>(src_len * in_unit), want.read);
        EXPECT_EQ(bytes(dst.data(), static_cast<size_t>(dst_len * out_unit)), want.out);
        src_len = static_cast<int>(c.src.size()) / in_unit;
        EXPECT_EQ(service(c.from, c.to, c.src.data(), &src_len, nullptr, &dst_len), 0);  // measured alike
        EXPECT_EQ(static_cast<size_t>(src_len * in_unit), want.read);
        EXPECT_EQ(static_cast<size_t>(dst_len * out_unit), want.out.size());
    }
}

TEST(CodePageService, UnknownCodePagesAndBadCounts) {
    const struct {
        int from, to;
        int32_t available;
    } pairs[] = {{932, kUtf8, 0},   {kUtf8, 932, 0},   {kWide, 51949, 0}, {932, 932, 0},  {20866, kWide, 0},
                 {12345, kUtf8, 1}, {kUtf8, 12345, 1}, {0, 932, 1},       {-1, kWide, 1}, {kWide, 4, 1}};
    char dst[16];
    for (const auto &p : pairs) {
        EXPECT_EQ(msos_IsConvertINetStringAvailable(p.from, p.to), p.available) << p.from << " -> " << p.to;
        int src_len = 2, dst_len = 8;
        if (p.available != 0) {
            EXPECT_EQ(service(p.from, p.to, "ab\0\0", &src_len, dst, &dst_len), 1);
        }
    }
    const char16_t wide_ab[] = u"ab";
    for (auto [from, to] : {std::pair{kUtf8, 932}, std::pair{kWide, 932}, std::pair{932, kWide}}) {
        const char *src = from == kWide ? reinterpret_cast<const char *>(wide_ab) : "ab";
        int two = 2, minus_two = -2, eight = 8, minus_one = -1;
        const struct {
            const char *src;
            int *src_len, *dst_len;
        } bad[] = {{src, nullptr, &eight},  {src, &two, nullptr},    {src, &minus_two, &eight},
                   {src, &two, &minus_one}, {nullptr, &two, &eight}, {nullptr, &minus_one, &eight}};
        for (const auto &b : bad) {
            Canary out(8);
            int src_before = b.src_len ? *b.src_len : 0, dst_before = b.dst_len ? *b.dst_len : 0;
            EXPECT_EQ(service(from, to, b.src, b.src_len, out.chars(), b.dst_len), MSOS_CONVERT_BAD_ARGUMENT);
            EXPECT_TRUE(out.untouched_from(0));
            EXPECT_EQ(b.src_len ? *b.src_len : 0, src_before);
            EXPECT_EQ(b.dst_len ? *b.dst_len : 0, dst_before);
        }
    }
}

}  // namespace
