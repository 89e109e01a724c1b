// The code set registry: names and aliases, the name list, the Locale entry
// filled from an injected locale encoding with the translator it gives, and
// the console code-page warning.
#include <pty.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <tuple>

#include "codeset/registry.h"
#include "mscs.h"
#include "msos.h"
#include "os_support.h"
#include "support.h"

namespace {

TEST(Registry, AliasesIgnoreCaseAndAreOnlyTheTable) {
    const struct {
        const char *alias;
        int id;
    } cases[] = {{"shift_jis", 9}, {"Shift-JIS", 9}, {"sjis", 9},       {"utf-8", 3},      {"Utf8", 3},
                 {"latin1", 5},    {"iso8859_1", 5}, {"ISO8859-1", 5},  {"iso-8859-1", 5}, {"euc-cn", 6},
                 {"EUCCN", 6},     {"Euc_Cn", 6},    {"EUC-JP", 7},     {"eucjp", 7},      {"euc_jp_linux", 7},
                 {"euc_jp", 7},    {"euc-kr", 8},    {"EUCKR", 8},      {"EUC_KR", 8},     {"ASCII", 0},
                 {"Wchar", 0},     {"Locale", 0},    {"Unknown", 0},    {"", 0},           {nullptr, 0},
                 {"UTF", 0},       {"UTF-8 ", 0},    {"SHIFT_JISX", 0}, {"CP932", 0},      {"ISO-8859-15", 0}};
    for (const auto &c : cases) EXPECT_EQ(mscs_get_id_from_alias(c.alias), c.id) << (c.alias ? c.alias : "null");
}

TEST(Registry, NamesAndTheExtendedNames) {
    const struct {
        const char *name;
        int id, id_ex;
    } cases[] = {{"wchar", 0, 2}, {"WCHAR", 0, 2},     {"locale", 0, 1}, {"Unknown", 0, 0}, {"latin1", 5, 5},
                 {"ascii", 4, 4}, {"utf8", 3, 3},      {"SJIS", 9, 9},   {"euc_kr", 8, 8},  {"EUC_CN", 6, 6},
                 {"UTF-8", 0, 0}, {"Shift_JIS", 0, 0}, {"", 0, 0},       {nullptr, 0, 0},   {"UTF8x", 0, 0}};
    for (const auto &c : cases) {
        const char *shown = c.name ? c.name : "null";
        EXPECT_EQ(mscs_get_id_from_name(c.name), c.id) << shown;
        EXPECT_EQ(mscs_get_id_from_name_ex(c.name), c.id_ex) << shown;
    }
    const struct {
        int id;
        const char *name;
    } by_id[] = {{INT_MIN, nullptr}, {-1, nullptr}, {0, nullptr},  {1, nullptr},   {2, nullptr},
                 {3, "UTF8"},        {4, "ASCII"},  {5, "LATIN1"}, {6, "EUC_CN"},  {7, "EUC_JP"},
                 {8, "EUC_KR"},      {9, "SJIS"},   {10, nullptr}, {1000, nullptr}};
    for (const auto &c : by_id) EXPECT_STREQ(mscs_get_name_from_id(c.id), c.name) << c.id;  // null for null
}

TEST(Registry, NameListHoldsAtMostMaxNamesAndANullEntry) {
    const char *all[] = {"UTF8", "ASCII", "LATIN1", "EUC_CN", "EUC_JP", "EUC_KR", "SJIS"};
    for (int max : {0, 3, 7, 10}) {
        Canary place(12 * sizeof(const char *));
        auto **list = reinterpret_cast<const char **>(place.data());
        ASSERT_EQ(mscs_get_codeset_namelist(list, max), list);
        int n = max < 7 ? max : 7;
        for (int i = 0; i < n; ++i) EXPECT_STREQ(list[i], all[i]) << max;
        EXPECT_EQ(list[n], nullptr) << max;
        EXPECT_TRUE(place.untouched_from((n + 1) * sizeof(const char *))) << max;
    }
    Canary place(4 * sizeof(const char *));
    auto **list = reinterpret_cast<const char **>(place.data());
    EXPECT_EQ(mscs_get_codeset_namelist(list, -1), list);
    EXPECT_EQ(mscs_get_codeset_namelist(nullptr, 3), nullptr);
    EXPECT_TRUE(place.untouched_from(0));
}

// ---- The Locale entry from an injected locale encoding ---------------------

const char *g_codeset = nullptr;

const char *injected_codeset(char *buffer, size_t size) {
    if (g_codeset == nullptr) return nullptr;
    std::snprintf(buffer, size, "%s", g_codeset);
    return buffer;
}

class Locale : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        qrv::os::g_sys.locale_codeset = injected_codeset;
    }
    void TearDown() override {
        qrv::os::restore_syscalls();
        LibraryTest::TearDown();
    }
    static int init(const char *codeset) {
        g_codeset = codeset;
        return mscs_init_locale();
    }
};

TEST_F(Locale, EncodingsFillTheEntryByAliasThenByCodePage) {
    const struct {
        const char *codeset;
        int result, page, unit, max, acp;
    } cases[] = {{"BOGUS", -1, -1, 0, 0, 0},
                 {"UTF-8", 3, 65001, 1, 4, 65001},
                 {"SHIFT_JIS", 9, 932, 1, 2, 932},
                 {"EUC-JP", 7, 51932, 1, 2, 51932},
                 {"ISO-8859-1", 5, 1252, 1, 1, 28591},
                 {"GB2312", 6, 936, 1, 2, 936},
                 {"CP1251", 1, 1251, 1, 1, 1251},
                 {nullptr, -1, 1251, 1, 1, 0},
                 {"KOI8-R", 1, 20866, 1, 1, 20866},
                 {"BOGUS", -1, 20866, 1, 1, 0},
                 {"ANSI_X3.4-1968", 1, 20127, 1, 1, 20127},
                 {"utf8", 3, 65001, 1, 4, 65001}};
    for (const auto &c : cases) {  // a failure leaves the entry as the row before left it
        const int result = init(c.codeset);
        const qrv::codeset::Widths w = qrv::codeset::widths(MSCS_LOCALE);
        EXPECT_EQ(std::tuple(result, msos_GetACP(), qrv::codeset::code_page(MSCS_LOCALE), w.unit_bytes, w.max_bytes,
                             mserror_geterr_id()),
                  std::tuple(c.result, c.acp, c.page, c.unit, c.max, 0))
            << (c.codeset ? c.codeset : "null");
    }
}

TEST_F(Locale, TheTranslatorConvertsWithTheLocaleCodePage) {
    const struct {
        const char *codeset;
        int other, kind, cs1, cs2, page1, page2;
        double forward, backward;
    } cases[] = {// Identity pairs first.
                 {"UTF-8", MSCS_UTF8, MSCSTRANS_PLUGIN, 3, 3, 65001, 65001, 1.0, 1.0},
                 {"SHIFT_JIS", MSCS_SJIS, MSCSTRANS_PLUGIN, 9, 9, 932, 932, 1.0, 1.0},
                 {"SHIFT_JIS", MSCS_UTF8, MSCSTRANS_PLATFORM, 1, 3, 932, 65001, 4.0, 2.0},
                 {"CP1251", MSCS_UTF8, MSCSTRANS_PLATFORM, 1, 3, 1251, 65001, 4.0, 1.0},
                 {"CP1251", MSCS_WCHAR, MSCSTRANS_PLATFORM, 1, 2, 1251, 1200, 2.0, 0.5},
                 {"EUC-JP", MSCS_WCHAR, MSCSTRANS_PLATFORM, 1, 2, 51932, 1200, 2.0, 1.5}};
    for (const auto &c : cases) {
        ASSERT_NE(init(c.codeset), -1);
        mscstrans_trans t;
        mscstrans_init_trans(&t);
        ASSERT_EQ(mscstrans_open_trans(MSCS_LOCALE, c.other, &t), 1) << c.codeset << " " << c.other;
        EXPECT_EQ(
            std::tuple(t.kind, t.codeset1, t.codeset2, t.codepage1, t.codepage2, t.forward_ratio, t.backward_ratio),
            std::tuple(c.kind, c.cs1, c.cs2, c.page1, c.page2, c.forward, c.backward));
        EXPECT_EQ(t.forward, c.kind == MSCSTRANS_PLATFORM ? MSCSTRANS_PLATFORM_FN : nullptr);
        EXPECT_EQ(mscstrans_close_trans(&t), 1);
    }
    // "Привет" in code page 1251 and back.
    ASSERT_EQ(init("CP1251"), 1);
    mscstrans_trans t;
    mscstrans_init_trans(&t);
    ASSERT_EQ(mscstrans_open_trans(MSCS_LOCALE, MSCS_UTF8, &t), 1);
    const char utf8[] = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", cp1251[] = "\xCF\xF0\xE8\xE2\xE5\xF2";
    mscstrans_strbuf b;
    mscstrans_strbuf_init(&b);
    int status = -1;
    ASSERT_NE(mscstrans_cs1_cs2_str_ex(&t, 1, utf8, -1, &b, &status), 0);
    EXPECT_STREQ(b.text, cp1251);
    ASSERT_NE(mscstrans_cs1_cs2_str_ex(&t, 0, cp1251, -1, &b, &status), 0);
    EXPECT_STREQ(b.text, utf8);
    mscstrans_strbuf_destroy(&b);
}

// Standard input as a terminal, a pipe or nothing; the warning goes to the
// task's standard error, redirected to a file here.
TEST(CodePageCheck, WarnsOnlyForATerminalOutsideUtf8) {
    int master = -1, slave = -1, pipe_fds[2];
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(pipe(pipe_fds), 0);
    TempDir dir;
    const qrv_handle tty = slave, piped = pipe_fds[0];
    const auto warning = [](const char *page) {
        return "*** Warning *** Incorrect code page " + std::string(page) + ", please use UTF-8 codepage 65001\n";
    };
    const struct {
        qrv_handle input;
        const char *codeset;
        std::string text;
    } cases[] = {{tty, "SHIFT_JIS", warning("932")},
                 {tty, "BOGUS", warning("0")},
                 {tty, "UTF-8", ""},
                 {piped, "SHIFT_JIS", ""},
                 {QRV_INVALID_HANDLE, "SHIFT_JIS", ""}};
    std::string log = dir / "stderr";
    setenv("MSSTDERR", log.c_str(), 1);
    for (const auto &c : cases) {
        ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
        qrv::os::g_sys.locale_codeset = injected_codeset;
        g_codeset = c.codeset;
        qrv_handle input = msos_getstdhandle(MSOS_STD_INPUT_HANDLE);
        msos_setstdhandle(MSOS_STD_INPUT_HANDLE, c.input);
        mscs_win32_codepage_chk();
        msos_setstdhandle(MSOS_STD_INPUT_HANDLE, input);
        qrv::os::restore_syscalls();
        msbasic_end_main(msbasic_init_cascade);
        EXPECT_EQ(read_file(log), c.text) << c.codeset << " on " << c.input;
    }
    unsetenv("MSSTDERR");
    for (int fd : {master, slave, pipe_fds[0], pipe_fds[1]}) close(fd);
}

}  // namespace
