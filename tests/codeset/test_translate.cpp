// Translator records through the built-in store: what open gives for each
// kind of pair and each error, conversion into a caller buffer, the string
// buffer's size rule, capped sources, byte-order marks, partner lists.
#include <deque>
#include <memory>
#include <tuple>

#include "mscs.h"
#include "os/syscall.h"
#include "support.h"

namespace {

const char *g_codeset = nullptr;
const char *injected_codeset(char *buffer, size_t size) {
    std::snprintf(buffer, size, "%s", g_codeset);
    return buffer;
}

std::string bytes(const void *p, int n) { return std::string(static_cast<const char *>(p), static_cast<size_t>(n)); }
std::string wide(const char16_t *s) { return bytes(s, static_cast<int>(std::char_traits<char16_t>::length(s) * 2)); }
auto record_fields(const mscstrans_trans &r) {
    return std::tuple(r.kind, r.codeset1, r.codeset2, r.codepage1, r.codepage2, r.forward_ratio, r.backward_ratio,
                      r.unit_bytes1, r.unit_bytes2, r.max_bytes1, r.max_bytes2);
}

class Translate : public LibraryTest {
protected:
    void TearDown() override {
        for (mscstrans_trans &t : records_) mscstrans_close_trans(&t);
        qrv::os::restore_syscalls();
        LibraryTest::TearDown();
    }
    // A record opened for the pair; it is closed at the end of the test.
    mscstrans_trans *open(int cs1, int cs2) {
        records_.emplace_back();
        mscstrans_init_trans(&records_.back());
        EXPECT_EQ(mscstrans_open_trans(cs1, cs2, &records_.back()), 1) << cs1 << "<->" << cs2;
        return &records_.back();
    }
    static int fill_locale(const char *codeset) {
        g_codeset = codeset;
        qrv::os::g_sys.locale_codeset = injected_codeset;
        return mscs_init_locale();
    }
    std::deque<mscstrans_trans> records_;  // records stay where open() left them
};

TEST_F(Translate, OpenResultsAndErrorIds) {
    struct Case {
        int cs1, cs2, result, error;
        int64_t arg;
    };
    // Before and after the Locale entry is filled (with code page 932).
    const Case unfilled[] = {{3, 3, 1, 0, 0},      {1000, 1000, 1, 0, 0},  {1, 3, 0, 0, 0},
                             {3, 1, 0, 0, 0},      {1, 1000, 0, 0, 0},     {1000, 1, 0, 16525, 1000},
                             {0, 1, 0, 16525, 0},  {-1, 3, 0, 16532, 0},   {0, 3, 0, 16532, 0},
                             {10, 2, 0, 16532, 0}, {2, 1000, 0, 16532, 0}, {4, 4, 1, 0, 0}};
    const Case filled[] = {{1, 1000, 0, 16525, 1000}, {-1, 1, 0, 16525, -1}, {1, 10, 0, 16525, 10}, {1, 4, 0, 0, 0},
                           {4, 1, 0, 0, 0},           {1, 3, 1, 0, 0},       {1, 1, 1, 0, 0}};
    auto check = [](const Case &c) {
        mserror_reset();
        mscstrans_trans t;
        mscstrans_init_trans(&t);
        SCOPED_TRACE(std::to_string(c.cs1) + "<->" + std::to_string(c.cs2));
        EXPECT_EQ(mscstrans_open_trans(c.cs1, c.cs2, &t), c.result);
        EXPECT_EQ(mserror_geterr_id(), c.error);
        EXPECT_EQ(entry_count(), c.error != 0 ? 1 : 0);
        EXPECT_EQ(number_arg(0), c.error == 16525 ? c.arg : -12345);  // no argument otherwise
        mscstrans_close_trans(&t);
    };
    for (const Case &c : unfilled) check(c);
    ASSERT_EQ(fill_locale("SHIFT_JIS"), MSCS_SJIS);
    for (const Case &c : filled) check(c);

    mscstrans_trans t{};  // no magic: refused, nothing recorded
    mserror_reset();
    EXPECT_EQ(mscstrans_open_trans(2, 3, &t), 0);
    EXPECT_EQ(mscstrans_open_trans(2, 3, nullptr), 0);
    EXPECT_EQ(mserror_geterr_id(), 0);
    EXPECT_EQ(t.codeset1, 0);
}

TEST_F(Translate, PlatformAndPluginRecordsCarryTheirRatiosAndWidths) {
    constexpr int kPlatform = MSCSTRANS_PLATFORM, kPlugin = MSCSTRANS_PLUGIN;
    // kind, code sets, code pages, ratios, unit and largest character widths. A
    // two-byte UTF-8 character may take three bytes in EUC-JP (3<->7).
    const decltype(record_fields(mscstrans_trans{})) cases[] = {
        {kPlatform, 2, 9, 1200, 932, 1.0, 2.0, 2, 1, 2, 2},   {kPlatform, 9, 2, 932, 1200, 2.0, 1.0, 1, 2, 2, 2},
        {kPlatform, 2, 7, 1200, 51932, 1.5, 2.0, 2, 1, 2, 3}, {kPlatform, 5, 2, 1252, 1200, 2.0, 0.5, 1, 2, 1, 2},
        {kPlugin, 2, 3, 0, 0, 1.5, 2.0, 2, 1, 2, 4},          {kPlugin, 3, 2, 0, 0, 2.0, 1.5, 1, 2, 4, 2},
        {kPlugin, 9, 3, 0, 0, 3.0, 1.0, 1, 1, 2, 4},          {kPlugin, 3, 7, 0, 0, 1.5, 3.0, 1, 1, 4, 2},
        {kPlugin, 2, 4, 0, 0, 0.5, 2.0, 2, 1, 2, 1}};
    for (const auto &c : cases) {
        const mscstrans_trans &t = *open(std::get<1>(c), std::get<2>(c));
        SCOPED_TRACE(testing::PrintToString(c));
        EXPECT_EQ(record_fields(t), c);
        const bool platform = std::get<0>(c) == kPlatform;
        EXPECT_EQ(t.magic, MSCSTRANS_MAGIC);
        EXPECT_EQ(t.library == nullptr, platform);
        EXPECT_EQ(t.forward == MSCSTRANS_PLATFORM_FN && t.backward == MSCSTRANS_PLATFORM_FN, platform);
        EXPECT_TRUE(t.forward != nullptr && t.backward != nullptr);
    }
    EXPECT_EQ(mserror_geterr_id(), 0);
}

TEST_F(Translate, ConvertingIntoACallerBuffer) {
    // Platform pairs (9<->2), then plug-ins. A row that converts is also
    // refused with one byte less room; a bad source (half a unit, a lone
    // surrogate, a cut or overlong sequence) is refused with room.
    const std::string ri = "\xE5\x65", ri_sjis = "\x93\xFA", ri_utf8 = "\xE6\x97\xA5";  // U+65E5
    const std::string high("\x00\xD8", 2), low("\x00\xDC", 2);
    const struct {
        int cs1, cs2, direction;
        std::string src;
        bool converts;
        std::string out;
    } cases[] = {{9, 2, 0, ri_sjis, true, ri},      {9, 2, 0, "\x81", false, ""},
                 {2, 9, 0, ri, true, ri_sjis},      {2, 9, 0, "a", false, ""},
                 {2, 9, 0, high, false, ""},        {2, 9, 0, "", true, ""},
                 {2, 3, 0, ri, true, ri_utf8},      {2, 3, 0, low, false, ""},
                 {2, 3, 1, ri_utf8, true, ri},      {2, 3, 1, "\xE6\x97", false, ""},
                 {2, 3, 1, "\xC0\xAF", false, ""},  {9, 3, 0, ri_sjis + "a", true, ri_utf8 + "a"},
                 {9, 3, 1, ri_utf8, true, ri_sjis}, {9, 3, 1, "\xFF", false, ""}};
    for (const auto &c : cases) {
        mscstrans_trans *t = open(c.cs1, c.cs2);
        const int fits = static_cast<int>(c.out.size());
        for (int room : c.converts ? std::vector{fits, fits - 1} : std::vector{4}) {
            if (room < 0) continue;
            const bool ok = c.converts && room == fits;
            Canary dst(static_cast<size_t>(room));
            int out_len = -1, status = -1;
            SCOPED_TRACE(std::to_string(c.cs1) + "<->" + std::to_string(c.cs2) + " dir " + std::to_string(c.direction) +
                         " room " + std::to_string(room));
            EXPECT_EQ(mscstrans_cs1_cs2(t, c.direction, c.src.data(), static_cast<int>(c.src.size()), dst.data(), room,
                                        &out_len, &status),
                      ok ? 1 : 0);
            EXPECT_EQ(status, ok ? 0 : 256);
            if (ok) {
                EXPECT_EQ(bytes(dst.data(), out_len), c.out);
            }
            EXPECT_TRUE(dst.untouched_from(static_cast<size_t>(room)));
        }
    }
    // The source as the destination: refused before anything is converted.
    mscstrans_trans *t = open(2, 3);
    char16_t same[] = u"ab";
    int out_len = -1, status = -1;
    EXPECT_EQ(mscstrans_cs1_cs2(t, 0, same, 4, same, 6, &out_len, &status), 0);
    EXPECT_EQ(status, 4096);
    EXPECT_EQ(out_len, -1);
    EXPECT_EQ(wide(same), wide(u"ab"));
    // Arguments that cannot be converted with.
    EXPECT_EQ(mscstrans_cs1_cs2(nullptr, 0, "a", 1, same, 6, &out_len, &status), 0);
    EXPECT_EQ(mscstrans_cs1_cs2(t, 0, "a", -1, same, 6, &out_len, &status), 0);
    EXPECT_EQ(status, 256);
    EXPECT_EQ(mscstrans_cs1_cs2(t, 0, "a", 1, same, 6, nullptr, &status), 0);
    EXPECT_EQ(mscstrans_cs1_cs2(t, 0, "a", 1, same, 6, &out_len, nullptr), 0);
}

TEST_F(Translate, StringBufferGrowsAndShrinksByTheRule) {
    // UTF8 -> ASCII has ratio 1: a text of n bytes needs n + 3.
    mscstrans_trans *t = open(MSCS_UTF8, MSCS_ASCII);
    const struct {
        int text, size;
    } steps[] = {{4997, 5000}, {97, 100},    {98, 101},    {4997, 5000}, {3997, 5000},
                 {3973, 5000}, {3972, 3975}, {4997, 5000}, {0, 3}};
    mscstrans_strbuf b;
    mscstrans_strbuf_init(&b);
    for (const auto &s : steps) {
        std::string text(static_cast<size_t>(s.text), 'q');
        int status = -1;
        ASSERT_NE(mscstrans_cs1_cs2_str_ex(t, 0, text.c_str(), -1, &b, &status), 0) << s.text;
        EXPECT_EQ(b.size, s.size) << s.text;
        EXPECT_EQ(b.length, s.text + 1);
        EXPECT_EQ(b.text, b.storage);
        EXPECT_EQ(b.text, text);
    }
    EXPECT_EQ(mscstrans_strbuf_destroy(&b), 1);
    EXPECT_EQ(b.storage, nullptr);
    EXPECT_EQ(b.size, 0);
}

TEST_F(Translate, StringsFromCappedAndUnterminatedSources) {
    mscstrans_trans *utf8_wchar = open(MSCS_UTF8, MSCS_WCHAR), *wchar_sjis = open(MSCS_WCHAR, MSCS_SJIS);
    mscstrans_trans *utf8_eucjp = open(MSCS_UTF8, MSCS_EUC_JP);
    std::string cafe_utf8, cafe_eucjp;
    for (int i = 0; i < 40; ++i) cafe_utf8 += "\xC3\xA9", cafe_eucjp += "\x8F\xAB\xB1";
    // The source sits at the end of an allocation of its own size; the text
    // comes with its converted terminator, if any ("": refused).
    const struct {
        mscstrans_trans *t;
        int direction;
        std::string src;
        int src_len;
        std::string text;
    } cases[] = {
        {utf8_wchar, 0, "abc", 3, wide(u"abc")},
        {utf8_wchar, 0, std::string("ab\0zz", 5), 5, wide(u"ab") + std::string(2, '\0')},
        {utf8_wchar, 0, "\xC3\xA9", 1, ""},  // cut inside a character
        {utf8_wchar, 0, std::string("abc\0", 4), -1, wide(u"abc") + std::string(2, '\0')},
        {utf8_wchar, 1, wide(u"abc"), 6, "abc"},
        {utf8_wchar, 1, wide(u"abc"), 5, ""},
        {wchar_sjis, 0, wide(u"\u65e5\u672c"), 4, "\x93\xFA\x96\x7B"},
        {wchar_sjis, 0, wide(u"\u65e5\u672c") + std::string(2, '\0'), -1, std::string("\x93\xFA\x96\x7B\0", 5)},
        {utf8_eucjp, 0, cafe_utf8 + '\0', -1, cafe_eucjp + '\0'}};
    mscstrans_strbuf b;
    mscstrans_strbuf_init(&b);
    for (const auto &c : cases) {
        // What the buffer held before: the terminator must be written, not found.
        int status = -1;
        ASSERT_NE(mscstrans_cs1_cs2_str_ex(utf8_wchar, 0, "\u65e5\u65e5\u65e5\u65e5\u65e5\u65e5", -1, &b, &status), 0);
        std::unique_ptr<char[]> src(new char[c.src.size()]);
        std::memcpy(src.get(), c.src.data(), c.src.size());
        SCOPED_TRACE(testing::PrintToString(c.src) + " capped at " + std::to_string(c.src_len));
        const bool ok = !c.text.empty();
        const int terminator = c.t == utf8_wchar && c.direction == 0 ? 2 : 1;
        EXPECT_EQ(mscstrans_cs1_cs2_str_ex(c.t, c.direction, src.get(), c.src_len, &b, &status) != 0, ok);
        EXPECT_EQ(status, ok ? 0 : 256);
        if (!ok) continue;
        EXPECT_EQ(bytes(b.text, b.length), c.text);
        ASSERT_LE(static_cast<int>(b.text - b.storage) + b.length + terminator, b.size);
        EXPECT_EQ(bytes(b.text + b.length, terminator), std::string(static_cast<size_t>(terminator), '\0'));
    }
    EXPECT_EQ(mscstrans_cs1_cs2_str_ex(utf8_wchar, 0, nullptr, -1, &b, nullptr), 0);
    mscstrans_strbuf_destroy(&b);
}

TEST_F(Translate, OnlyThePlatformTranslatorDropsAByteOrderMark) {
    ASSERT_EQ(fill_locale("UTF-8"), MSCS_UTF8);
    mscstrans_trans *platform = open(MSCS_WCHAR, MSCS_LOCALE), *plugin = open(MSCS_WCHAR, MSCS_UTF8);
    ASSERT_EQ(platform->kind, MSCSTRANS_PLATFORM);
    ASSERT_EQ(platform->codepage2, 65001);
    const std::string marked_utf8 = std::string("\xEF\xBB\xBF") + "abc";
    const struct {
        mscstrans_trans *t;
        int direction;
        std::string src, text;
    } cases[] = {{platform, 0, wide(u"\ufeffabc"), std::string("abc", 4)},
                 {platform, 1, marked_utf8, wide(u"abc") + std::string(2, '\0')},
                 {platform, 0, wide(u"ab\ufeff"), std::string("ab\xEF\xBB\xBF", 6)},
                 {plugin, 0, wide(u"\ufeffabc"), marked_utf8 + '\0'},
                 {plugin, 1, marked_utf8, wide(u"\ufeffabc") + std::string(2, '\0')}};
    mscstrans_strbuf b;
    mscstrans_strbuf_init(&b);
    for (const auto &c : cases) {
        std::string src = c.src + std::string(2, '\0');
        int status = -1;
        ASSERT_NE(mscstrans_cs1_cs2_str_ex(c.t, c.direction, src.data(), -1, &b, &status), 0);
        EXPECT_EQ(bytes(b.text, b.length), c.text) << testing::PrintToString(c.src);
    }
    mscstrans_strbuf_destroy(&b);
}

TEST_F(Translate, PartnerListsAndClosing) {
    const struct {
        int cs, max;
        std::vector<int> partners;
    } cases[] = {
        {3, 0, {}},   {3, 3, {2, 4, 5}}, {3, 100, {2, 4, 5, 6, 7, 8, 9}}, {9, 100, {2, 3, 4, 5, 6, 7, 8}}, {1, 100, {}},
        {0, 100, {}}, {3, -1, {}}};
    for (const auto &c : cases) {
        Canary place(12 * sizeof(int));
        auto *partners = reinterpret_cast<int *>(place.data());
        const int count = static_cast<int>(c.partners.size());
        ASSERT_EQ(mscstrans_get_translist(c.cs, partners, c.max), count) << c.cs << " max " << c.max;
        EXPECT_EQ(std::vector<int>(partners, partners + count), c.partners);
        EXPECT_TRUE(place.untouched_from(static_cast<size_t>(count) * sizeof(int)));
        EXPECT_EQ(mscstrans_get_translist(c.cs, nullptr, c.max), count);
    }
    EXPECT_EQ(mserror_geterr_id(), 0);

    mscstrans_trans t;
    mscstrans_init_trans(&t);
    ASSERT_EQ(mscstrans_open_trans(MSCS_WCHAR, MSCS_UTF8, &t), 1);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(mscstrans_close_trans(&t), 1);
        EXPECT_TRUE(t.magic == MSCSTRANS_MAGIC && t.library == nullptr && t.forward == nullptr);
    }
    mscstrans_trans stale{};  // never initialised: its library is not ours to unload
    stale.library = &stale;
    EXPECT_EQ(mscstrans_close_trans(&stale), 1);
    EXPECT_EQ(stale.magic, MSCSTRANS_MAGIC);
}

}  // namespace

// The default record a caller copies in, and null records and buffers.
TEST(TranslateRecords, DefaultRecordAndNulls) {
    mscstrans_trans t;
    std::memset(&t, 0x5A, sizeof t);
    ASSERT_EQ(mscstrans_set_default_trans(&t), 1);
    EXPECT_EQ(t.magic, MSCSTRANS_MAGIC);
    EXPECT_EQ(record_fields(t), std::tuple(0, 0, 0, 0, 0, 1.0, 1.0, 1, 1, 1, 1));
    EXPECT_TRUE(t.library == nullptr && t.forward == nullptr && t.backward == nullptr);
    EXPECT_EQ(mscstrans_set_default_trans(nullptr), 0);
    EXPECT_EQ(mscstrans_init_trans(nullptr), 0);
    EXPECT_EQ(mscstrans_close_trans(nullptr), 0);
    EXPECT_EQ(mscstrans_strbuf_init(nullptr), 0);
    EXPECT_EQ(mscstrans_strbuf_destroy(nullptr), 0);
}
