// The translator plug-ins as installed: every pair through them, and broken
// installations (missing, not libraries, no entry point) with their messages.
#include <dlfcn.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "mscs.h"
#include "msfmt.h"
#include "msnlsmsg.h"
#include "os_support.h"
#include "support.h"

namespace {

const std::string kPrefix = QRV_TEST_PREFIX;
const char *const kFiles[] = {"config/initfile.txt", "nls/translate/libmstoc.so", "nls/translate/libmstrans_wchar.so",
                              "nls/translate/libmstrans_iconv.so"};

// iconv's name for each code set id; the tests' own encoder of the samples.
const char *const kIconvNames[] = {nullptr,  nullptr, "UTF-16LE", "UTF-8",  "ASCII",
                                   "CP1252", "GBK",   "EUC-JP",   "EUC-KR", "CP932"};

bool encode(int id, const std::string &utf8, std::string *out) {
    iconv_t cd = iconv_open(kIconvNames[id], "UTF-8");
    std::string buffer(utf8.size() * 4 + 4, '\0');
    char *src = const_cast<char *>(utf8.data()), *dst = buffer.data();
    size_t left = utf8.size(), room = buffer.size();
    bool whole = iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1) && left == 0;
    iconv_close(cd);
    *out = buffer.substr(0, buffer.size() - room);
    return whole;
}

class Plugins : public ::testing::Test {
protected:
    void TearDown() override {
        if (msbasic_get_init_pid() != 0) msbasic_end_main(msbasic_init_cascade);
        unsetenv("QUORVELPATH");
        EXPECT_EQ(qrv::space::live_spaces(), 0);
    }
    static void start(const std::string &installation) {
        setenv("QUORVELPATH", installation.c_str(), 1);
        ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 1);
        ASSERT_EQ(msbasic_quorvelpath_is_real(), 1);
        ASSERT_EQ(std::string(msbasic_get_quorvelpath()), installation);
    }
    // A copy of the installed translators, with file replaced by the text
    // "text:..." or by a copy of another file, or removed (""). Files are
    // replaced, never rewritten, as a loaded library may still be mapped.
    std::string stage(const std::string &file, const std::string &replacement) {
        std::system(("mkdir -p '" + dir_.path() + "/config' '" + dir_.path() + "/nls/translate'").c_str());
        auto put = [this](const std::string &name, const std::string &text) {
            write_file(dir_ / (name + ".new"), text);
            std::rename((dir_ / (name + ".new")).c_str(), (dir_ / name).c_str());
        };
        for (const char *f : kFiles) put(f, read_file(kPrefix + "/" + f));
        if (replacement.empty()) {
            std::remove((dir_ / file).c_str());
        } else {
            put(file, replacement.rfind("text:", 0) == 0 ? replacement.substr(5) : read_file(replacement));
        }
        return dir_.path();
    }
    TempDir dir_;
};

TEST_F(Plugins, EveryPairThroughTheInstalledLibraries) {
    start(kPrefix);
    const std::string samples[] = {"Quorvel 123",
                                   "caf\u00e9 cr\u00e8me \u20ac",
                                   "\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8",
                                   "\u6c49\u8bed\u6587\u672c",
                                   "\ud55c\uad6d\uc5b4 \ud14d\uc2a4\ud2b8",
                                   "\uff76\uff80\uff76\uff85"};
    int converted = 0;
    for (int a = MSCS_WCHAR; a <= MSCS_SJIS; ++a) {
        for (int b = MSCS_WCHAR; b <= MSCS_SJIS; ++b) {
            if (a == b) continue;
            SCOPED_TRACE(std::to_string(a) + "<->" + std::to_string(b));
            mscstrans_trans t;
            mscstrans_init_trans(&t);
            ASSERT_EQ(mscstrans_open_trans(a, b, &t), 1);
            bool platform = (a == MSCS_WCHAR && b >= MSCS_LATIN1) || (b == MSCS_WCHAR && a >= MSCS_LATIN1);
            EXPECT_EQ(t.kind, platform ? MSCSTRANS_PLATFORM : MSCSTRANS_PLUGIN);
            if (!platform) {  // the functions come from the installed library the entry names
                Dl_info info{};
                ASSERT_NE(dladdr(reinterpret_cast<void *>(t.forward), &info), 0);
                bool wchar_pair = (a == MSCS_WCHAR && b == MSCS_UTF8) || (a == MSCS_UTF8 && b == MSCS_WCHAR);
                EXPECT_EQ(std::string(info.dli_fname),
                          kPrefix + "/nls/translate/libmstrans_" + (wchar_pair ? "wchar" : "iconv") + ".so");
            }
            mscstrans_strbuf buffer;
            mscstrans_strbuf_init(&buffer);
            for (const std::string &sample : samples) {
                std::string in_a, in_b;
                if (!encode(a, sample, &in_a) || !encode(b, sample, &in_b)) continue;
                for (int direction : {0, 1}) {
                    const std::string &src = direction == 0 ? in_a : in_b, &want = direction == 0 ? in_b : in_a;
                    const size_t terminator = (direction == 0 ? b : a) == MSCS_WCHAR ? 2 : 1;
                    std::string terminated = src + std::string(2, '\0');
                    int status = -1;
                    ASSERT_NE(mscstrans_cs1_cs2_str_ex(&t, direction, terminated.data(), -1, &buffer, &status), 0)
                        << sample << " direction " << direction;
                    EXPECT_EQ(std::string(buffer.text, static_cast<size_t>(buffer.length)),
                              want + std::string(terminator, '\0'));
                    ++converted;
                }
            }
            mscstrans_strbuf_destroy(&buffer);
            EXPECT_EQ(mscstrans_close_trans(&t), 1);
            EXPECT_EQ(mscstrans_close_trans(&t), 1);
        }
    }
    EXPECT_GE(converted, 200);
    int partners[8];
    EXPECT_EQ(mscstrans_get_translist(MSCS_UTF8, partners, 8), 7);
    char text[64];
    msfmt_buffer(text, "%ls|%lc", u"\u65e5\u672c\u8a9e", 0x3042);
    EXPECT_STREQ(text, "\u65e5\u672c\u8a9e|\u3042");
    EXPECT_EQ(mserror_geterr_id(), 0);
}

// The loader's own message for a file, or for a symbol in it.
std::string loader_message(const std::string &path, const char *symbol) {
    void *library = dlopen(path.c_str(), RTLD_NOW);
    if (library == nullptr) return dlerror();
    dlerror();
    std::string message = dlsym(library, symbol) == nullptr ? dlerror() : "found";
    dlclose(library);
    return message;
}

TEST_F(Plugins, BrokenInstallationsNameTheLibraryAndTheLoadersMessage) {
    const std::string toc = "nls/translate/libmstoc.so", wchar = "nls/translate/libmstrans_wchar.so",
                      iconv = "nls/translate/libmstrans_iconv.so";
    const struct {
        std::string file, replacement;
        int cs1, cs2, id;
        std::string shown, symbol;  // the library or symbol the message names
        int partners;
        const char *wide;  // what "%ls|%lc" of (u"ab", 'c') renders
    } cases[] = {
        {toc, "text:" + std::string(200, '#'), 2, 3, 16530, toc, "", 0, "(?..?)|?"},
        {toc, "", 2, 3, 16530, toc, "", 0, "(?..?)|?"},
        {toc, QRV_TEST_TOC_WITHOUT_FIND, 2, 3, 16531, toc, "mstrans_find_cvset", 0, "(?..?)|?"},
        {wchar, kPrefix + "/" + toc, 2, 3, 16531, wchar, "mstrans_wchar_to_utf8", 7, "(?..?)|?"},
        {iconv, "", 9, 3, 16530, iconv, "", 7, "ab|c"},
        {iconv, "text:\x7F\x45LF", 4, 5, 16530, iconv, "", 7, "ab|c"},
        {toc, kPrefix + "/" + toc, 0, 3, 16532, "", "", 7, "ab|c"},  // no translator for the pair
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file + " as " + c.replacement);
        std::string installation = stage(c.file, c.replacement), path = installation + "/" + c.shown;
        start(installation);
        mserror_seterr(16001, 0);  // an earlier report, which the failure replaces
        mscstrans_trans t;
        mscstrans_init_trans(&t);
        EXPECT_EQ(mscstrans_open_trans(c.cs1, c.cs2, &t), 0);
        EXPECT_EQ(entry_count(), 1);
        std::string want =
            c.id == 16532   ? "cannot open translator"
            : c.id == 16531 ? "cannot find shared symbol '" + c.symbol + "': " + loader_message(path, c.symbol.c_str())
                            : "cannot open shared library '" + path + "': " + loader_message(path, "");
        char text[1024];
        ASSERT_EQ(msnlsmsg_error_msg_all(text, sizeof text, nullptr), 1);
        EXPECT_EQ(text, want);
        mserror_reset();
        EXPECT_EQ(mscstrans_get_translist(MSCS_UTF8, nullptr, 100), c.partners);
        EXPECT_EQ(mserror_geterr_id(), 0);
        msfmt_buffer(text, "%ls|%lc", u"ab", 'c');
        EXPECT_STREQ(text, c.wide);
        mscstrans_close_trans(&t);
        msbasic_end_main(msbasic_init_cascade);
    }
}

}  // namespace
