// Messages: the language choice, the error stack rendered in each language,
// the lookup order, clients, the rotating buffers, printing on standard
// error, and the init failures of the message step.
#include <fstream>
#include <sstream>

#include "config/store.h"
#include "msg/messages.h"
#include "msnlsmsg.h"
#include "nls_support.h"
#include "os/os_internal.h"
#include "support.h"
#include "vars_support.h"

namespace {

void setenv_or_unset(const char *name, const char *value) { value ? setenv(name, value, 1) : unsetenv(name); }

// Each test brings the library up with its own language variables.
class Messages : public ::testing::Test {
protected:
    int start(const char *mslang, const char *lang, const std::string &nlsfile = "", const char *debug = nullptr) {
        setenv_or_unset("MSLANG", mslang);
        setenv_or_unset("LANG", lang);
        setenv_or_unset("MSNLSFILE", nlsfile.empty() ? nullptr : nlsfile.c_str());
        setenv_or_unset("MSDEBUG", debug);
        return msbasic_init_main(msbasic_init_cascade);
    }
    void TearDown() override {
        msbasic_end_main(msbasic_init_cascade);
        EXPECT_EQ(qrv::space::live_spaces(), 0);
    }
    static std::string all(msnlsmsg_client *client = nullptr) {
        char text[4096];
        msnlsmsg_error_msg_all(text, sizeof text, client);
        return text;
    }
};

struct LangCase {
    const char *mslang, *lang, *name;
    bool os_japanese;
};
const LangCase kLangCases[] = {
    {nullptr, nullptr, "english", false},         {nullptr, "POSIX", "english", false},
    {nullptr, "C.UTF-8", "english", false},       {nullptr, "de_DE", "english", false},
    {nullptr, "fr_FR.UTF-8", "french", false},    {nullptr, "ja_JP.UTF-8", "japanese", false},
    {nullptr, "zh_TW.Big5", "chinese", false},    {nullptr, "ZH", "chinese", false},
    {"japanese", nullptr, "japanese", true},      {"Japanese", "C", "japanese", false},
    {"english", "ja_JP.UTF-8", "english", false}, {"", "zh_CN.UTF-8", "chinese", false},
};
class LanguageChoice : public Messages, public ::testing::WithParamInterface<LangCase> {};

TEST_P(LanguageChoice, FromMslangThenLang) {
    ASSERT_EQ(start(GetParam().mslang, GetParam().lang), 1);
    EXPECT_STREQ(msnlsmsg_lang(), GetParam().name);
    EXPECT_EQ(qrv::os::errormsg_language(), GetParam().os_japanese ? 0x0411u : 0x0409u);
}
INSTANTIATE_TEST_SUITE_P(Names, LanguageChoice, ::testing::ValuesIn(kLangCases));

// A number entry on a string entry on the system's error, rendered whole; a
// month name; an id only the NLS files hold.
struct RenderCase {
    const char *label, *lang, *debug, *stack, *january, *file_only;
};
const RenderCase kRenderCases[] = {
    {"english", "C", nullptr,
     "cannot bind socket to port 8080\ncannot open file '/x/y'\nO/S error 2: No such file or directory", "January",
     "cannot read the options file"},
    // French has no built-in table: the English table answers before the file.
    {"french", "fr_FR.UTF-8", nullptr,
     "cannot bind socket to port 8080\ncannot open file '/x/y'\nO/S error 2: No such file or directory", "January",
     "impossible de lire le fichier d'options"},
    {"japanese", "ja_JP.UTF-8", nullptr,
     "ソケットをポート 8080 にバインドできません\nファイル '/x/y' を開けません\nO/S エラー 2: No such file or "
     "directory",
     "1月", "オプション ファイルを読み取れません"},
    {"chinese", "zh_CN.UTF-8", nullptr,
     "无法将套接字绑定到端口 8080\n无法打开文件 '/x/y'\nO/S 错误 2: No such file or directory", "一月",
     "无法读取选项文件"},
    {"id_only", "ja_JP.UTF-8", "nlsmessage", "NLS Message 16453\nNLS Message 16473\nNLS Message 16151",
     "NLS Message 16801", "NLS Message 10601"},
};
class Rendering : public Messages, public ::testing::WithParamInterface<RenderCase> {};

TEST_P(Rendering, WholeStackTopFirst) {
    const RenderCase &c = GetParam();
    ASSERT_EQ(start(nullptr, c.lang, "", c.debug), 1);
    mserror_seterr_os(2);
    mserror_seterr_1arg_str(16473, "/x/y");
    mserror_seterr_1arg(16453, 8080);
    EXPECT_EQ(all(), c.stack);
    EXPECT_EQ(entry_count(), 3);  // left as it was
    EXPECT_STREQ(msnlsmsg_str_real(16801, nullptr), c.january);
    EXPECT_STREQ(msnlsmsg_str_real(10601, nullptr), c.file_only);
}
INSTANTIATE_TEST_SUITE_P(Languages, Rendering, ::testing::ValuesIn(kRenderCases),
                         [](const auto &info) { return std::string(info.param.label); });

// Japanese with files of its own: a Japanese one and an English one.
class Lookup : public Messages {
protected:
    ScratchDir dir;
    void SetUp() override {
        dir.file(
            "utf8_jp",
            nls_image({{16473, "JP-FILE"}, {16490, "JP-FILE"}, {30001, "JP %s"}, {30004, "%sy%sz%ld%99999999999d"}}));
        dir.file("utf8_en", nls_image({{30001, "EN %s"}, {30002, "EN-FILE %s"}}));
        ASSERT_EQ(start(nullptr, "ja_JP.UTF-8", dir.str() + "/"), 1);
    }
    std::string render(int32_t id) {
        mserror_reset_seterr_1arg_str(id, "a");
        return all();
    }
};

TEST_F(Lookup, CurrentTablePrimaryTableThenFiles) {
    EXPECT_EQ(render(16473), "ファイル 'a' を開けません");    // current built-in table
    EXPECT_EQ(render(16490), "cannot remove directory 'a'");  // English table
    EXPECT_EQ(render(30001), "JP a");                         // current language's file
    EXPECT_EQ(render(30002), "EN-FILE a");                    // English file
    EXPECT_EQ(render(30004),
              "ay(nil)z099999999999d");  // missing arguments render as null; an overlong width stays text
    EXPECT_EQ(string_arg(0), "a");       // the entry as it was
    EXPECT_EQ(error_ids(), std::vector<int32_t>{30004});
    EXPECT_EQ(render(30003), "no message for error id 30003");
    EXPECT_EQ(error_ids(), std::vector<int32_t>{30003});  // the lookup's report stayed out
    EXPECT_STREQ(msnlsmsg_str_real(70000, nullptr), "メッセージ ID 70000 が NLS ファイルに見つかりません");
    EXPECT_EQ(mserror_geterr_id(), 16208);
}

TEST_F(Lookup, ClientsOfOtherLanguages) {
    for (const char *bad : {"klingon", " zh", static_cast<const char *>(nullptr)}) {
        EXPECT_EQ(msnlsmsg_init_client(bad, '|'), nullptr);
    }
    msnlsmsg_end_client(nullptr);
    msnlsmsg_client *zh = msnlsmsg_init_client("CHINESE", '|'), *fr = msnlsmsg_init_client("fr", ';');
    msnlsmsg_client *en = msnlsmsg_init_client("en", ' ');
    ASSERT_TRUE(zh && fr && en);
    mserror_seterr_os(2);
    mserror_seterr_1arg_str(16473, "/x");
    EXPECT_EQ(all(zh), "无法打开文件 '/x'|O/S 错误 2: No such file or directory");
    EXPECT_EQ(all(fr), "cannot open file '/x';O/S error 2: No such file or directory");
    EXPECT_STREQ(msnlsmsg_str_real(10601, zh), "无法读取选项文件");  // its own file
    EXPECT_STREQ(msnlsmsg_str_real(10601, fr), "impossible de lire le fichier d'options");
    EXPECT_STREQ(msnlsmsg_str_real(30001, en), "EN %s");
    EXPECT_STREQ(msnlsmsg_str_real(30001, fr), "EN %s");  // then the English file
    for (msnlsmsg_client *c : {zh, fr, en}) msnlsmsg_end_client(c);
    dir.file("utf8_cn", "not an NLS file");  // a refused third file gives no client
    EXPECT_EQ(msnlsmsg_init_client("zh", '|'), nullptr);
    EXPECT_EQ(error_ids(), std::vector<int32_t>{16201});
}

TEST_F(Messages, RotatingBuffersAndTheirGrowth) {
    ASSERT_EQ(start(nullptr, "C"), 1);
    const char *a = msnlsmsg_str_real(10601, nullptr), *b = msnlsmsg_str_real(10603, nullptr);
    const char *c = msnlsmsg_str_real(10607, nullptr);
    EXPECT_STREQ(a, "cannot read the options file");  // still valid after two more
    EXPECT_TRUE(a != b && b != c && a != c);
    EXPECT_EQ(msnlsmsg_str_real(10678, nullptr), a);  // the fourth reuses the first
    qrv::msg::keep(std::string(1024, 'a'));           // buffer 1: 1025 bytes needed
    qrv::msg::keep(std::string(2048, 'b'));           // buffer 2, 1024 bytes: 2049 needed
    EXPECT_EQ(qrv::msg::buffer_size(1), 2048);
    EXPECT_EQ(qrv::msg::buffer_size(2), 3072);
}

// Caller buffers of any size: nothing written outside, the stack as it was.
TEST_F(Messages, SmallBuffersStopInside) {
    ASSERT_EQ(start(nullptr, "C"), 1);
    mserror_seterr(16053, 0);  // "number too large"
    mserror_seterr(16052, 0);  // "no digits"
    const std::pair<int, std::string> kSizes[] = {
        {0, ""}, {1, ""}, {5, "no d"}, {11, "no digits\n"}, {13, "no digits\nnu"}};
    for (const auto &[size, text] : kSizes) {
        Canary out(16);
        EXPECT_EQ(msnlsmsg_error_msg_all(out.chars(), size, nullptr), 1);
        EXPECT_TRUE(out.untouched_from(size > 0 ? text.size() + 1 : 0)) << size;
        EXPECT_TRUE(size == 0 || out.chars() == text) << size;
        EXPECT_EQ(entry_count(), 2);
    }
    Canary one(8);
    EXPECT_EQ(msnlsmsg_error_msg(one.chars(), 4, nullptr), 1);
    EXPECT_TRUE(one.untouched_from(4) && std::string(one.chars()) == "no ");
    mserror_reset();
    EXPECT_EQ(msnlsmsg_error_msg_all(one.chars(), 8, nullptr), 0);
    EXPECT_STREQ(one.chars(), "");
}

// Arguments are data, never formats, whatever their bytes and length.
TEST_F(Messages, ArgumentsRenderAsTheyAre) {
    ASSERT_EQ(start(nullptr, "C"), 1);
    for (const std::string &arg : {std::string(5000, 'L'), std::string("%s%n%d%%%1$s"), std::string("\xff\xc3(\xe3")}) {
        mserror_reset_seterr_1arg_str(16473, arg.c_str());
        EXPECT_EQ(all(), ("cannot open file '" + arg + "'").substr(0, 4095));
    }
}

TEST_F(Messages, PrintedOnTheTasksStandardError) {
    ScratchDir dir;
    setenv("MSSTDERR", (dir.str() + "/err.txt").c_str(), 1);
    ASSERT_EQ(start(nullptr, "C"), 1);
    unsetenv("MSSTDERR");
    EXPECT_EQ(msprtmsg_stderr_arg(nullptr), 1);
    msbasic_set_progname("/usr/bin/qrvtool");
    mserror_seterr_os(2);
    mserror_seterr_1arg_str(16473, "%s");
    EXPECT_EQ(msprtmsg_stderr(), 1);
    EXPECT_EQ(msprtmsg_stderr_arg("p"), 1);
    EXPECT_EQ(entry_count(), 2);
    msbasic_end_main(msbasic_init_cascade);
    std::stringstream got;
    got << std::ifstream(dir.str() + "/err.txt").rdbuf();
    EXPECT_EQ(got.str(),
              "no error information\nqrvtool: cannot open file '%s'\nO/S error 2: No such file or directory\n"
              "p: cannot open file '%s'\nO/S error 2: No such file or directory\n");
}

// Before init the built-in tables answer, in the environment's language,
// then the store's NLS files.
TEST(MessagesUninitialised, BuiltInTablesThenStoredFiles) {
    setenv("LANG", "zh_CN.UTF-8", 1);
    unsetenv("MSLANG");
    msvars_envinit();
    EXPECT_STREQ(msnlsmsg_str_real(16473, nullptr), "无法打开文件 '%s'");
    EXPECT_STREQ(msnlsmsg_str_real(10601, nullptr), "无法读取选项文件");
    EXPECT_STREQ(msnlsmsg_str_real(20001, nullptr), "NLS internal error");
    EXPECT_EQ(msnlsmsg_init_client("zh", '|'), nullptr);
    msvars_envend();
}

// The message step fails the init with 16303 on top of the file's report.
struct InitFailure {
    const char *label, *lang;
    std::string utf8_en, prefix;
    bool hide_store;
    std::vector<int32_t> errors;
};
const InitFailure kInitFailures[] = {
    {"bad_current_file", "C", "x", "", false, {16303, 16201}},
    {"bad_primary_file", "ja_JP.UTF-8", nls_header(6, 1, 1), "", false, {16303, 16202}},
    {"prefix_too_long", "C", "", std::string(1100, 'n'), false, {16303, 16473, 16151}},
    {"no_file_anywhere", "C", "", "", true, {16303}},
};
class MessageInit : public ::testing::TestWithParam<InitFailure> {};

TEST_P(MessageInit, FailsWith16303) {
    const InitFailure &c = GetParam();
    ScratchDir dir;
    dir.file("inst/config/initfile.txt", "A=1\n");
    if (!c.utf8_en.empty()) dir.file("utf8_en", c.utf8_en);
    setenv("QUORVELPATH", (dir.str() + "/inst").c_str(), 1);
    setenv("MSNLSFILE", c.prefix.empty() ? (dir.str() + "/").c_str() : c.prefix.c_str(), 1);
    setenv("LANG", c.lang, 1);
    qrv::store::set_hidden(c.hide_store);
    EXPECT_EQ(msbasic_init_main(msbasic_init_cascade), 0);
    EXPECT_EQ(error_ids(), c.errors);
    msbasic_end_main(msbasic_init_cascade);
    qrv::store::set_hidden(false);
    for (const char *name : {"QUORVELPATH", "MSNLSFILE", "LANG"}) unsetenv(name);
}
INSTANTIATE_TEST_SUITE_P(Steps, MessageInit, ::testing::ValuesIn(kInitFailures),
                         [](const auto &info) { return std::string(info.param.label); });

}  // namespace
