// Reports made before the NLS files are open: every id of the library
// renders with its text before init and after an init that failed ahead of
// the message step, and the init failures that used to lose their cause
// (an over-long installation directory or NLS prefix) show it.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "config/store.h"
#include "msg/nlsfile.h"
#include "msnlsmsg.h"
#include "support.h"
#include "vars_support.h"

namespace {

// Every id of the library's range that the English NLS file of the store
// holds, with its text: all the library can push.
std::map<int32_t, std::string> library_texts() {
    std::map<int32_t, std::string> texts;
    auto bytes = qrv::store::find("nls/nlsfile_utf8_en");
    qrv::nls::File file;
    if (!bytes || !qrv::nls::open_bytes(file, *bytes)) return texts;
    char area[qrv::nls::kAreaSize];
    for (int32_t id = 16001; id <= 16999; ++id) {
        if (qrv::nls::read(file, static_cast<uint32_t>(id), area)) texts[id] = area;
    }
    return texts;
}

std::string rendered() {
    char text[8192];
    msnlsmsg_error_msg_all(text, sizeof text, nullptr);
    return text;
}

class Early : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : kVariables) unsetenv(name);
        setenv("MSLANG", "english", 1);
    }
    void TearDown() override {
        msbasic_end_all();
        for (const char *name : kVariables) unsetenv(name);
        EXPECT_EQ(qrv::space::live_spaces(), 0);
    }
    // The ids of the stack top first with the string argument of 16114,
    // 16473 and 16545 and the number of 16151 (restored after).
    static std::string report() {
        int32_t top = 0, used = 0;
        mserror_stack_save(&top, &used);
        std::string out;
        for (int32_t id; (id = mserror_geterr_id()) != 0; mserror_pop()) {
            out += std::to_string(id);
            if (id == 16114 || id == 16473 || id == 16545) out += "(" + string_arg(0) + ")";
            if (id == 16151) out += "(" + std::to_string(number_arg(0)) + ")";
            out += " ";
        }
        mserror_stack_restore(top, used);
        return out;
    }
    static constexpr const char *kVariables[] = {"MSLANG", "LANG", "QUORVELPATH", "MSENVFILE", "MSNLSFILE"};
    ScratchDir dir;
};

TEST_F(Early, EveryLibraryIdHasItsTextBeforeInit) {
    auto texts = library_texts();
    ASSERT_GT(texts.size(), 186u) << "the built-in ids and those only the files hold";
    for (const auto &[id, text] : texts) EXPECT_STREQ(msnlsmsg_str_real(id, nullptr), text.c_str()) << id;
}

// The variable reader's refusals happen before the message step.
struct Refusal {
    const char *label;
    const char *initfile, *envfile;
    const char *report, *text;
};
const Refusal kRefusals[] = {
    {"initfile", "A=1\nB=\xC3(\n", nullptr, "16302 16545(@/inst/config/initfile.txt) 16548 ",
     "initialization file error\nerror in variable file '@/inst/config/initfile.txt' at line 2\n"
     "line is not valid UTF-8"},
    {"envfile", "A=1\n", "E=\xFF\n", "16519 16545(@/env.txt) 16548 ",
     "environment file error\nerror in variable file '@/env.txt' at line 1\nline is not valid UTF-8"},
};
class EarlyRefusal : public Early, public ::testing::WithParamInterface<Refusal> {};

std::string place(std::string text, const std::string &dir) {
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir);
    return text;
}

TEST_P(EarlyRefusal, RendersTheFileAndLineAndEveryIdRenders) {
    const Refusal &c = GetParam();
    dir.file("inst/config/initfile.txt", c.initfile);
    setenv("QUORVELPATH", (dir.str() + "/inst").c_str(), 1);
    if (c.envfile != nullptr) setenv("MSENVFILE", dir.file("env.txt", c.envfile).c_str(), 1);
    ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 0);
    EXPECT_EQ(report(), place(c.report, dir.str()));
    EXPECT_EQ(rendered(), place(c.text, dir.str()));
    for (const auto &[id, text] : library_texts()) {
        mserror_reset_seterr(id, 0);
        char line[1024];
        ASSERT_EQ(msnlsmsg_error_msg(line, sizeof line, nullptr), 1);
        EXPECT_EQ(std::string(line).find("no message"), std::string::npos) << id << ": " << line;
    }
}
INSTANTIATE_TEST_SUITE_P(Files, EarlyRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto &info) { return std::string(info.param.label); });

// A directory more than 1024 bytes long, made of real folders.
std::string long_folder(const std::string &base) {
    std::string path = base;
    for (int i = 0; i < 5; ++i) path += "/" + std::string(240, static_cast<char>('a' + i));
    std::filesystem::create_directories(path);
    return path;
}

TEST_F(Early, InstallationTooLongToNameItsInitfileIsRefused) {
    const std::string deep = long_folder(dir.str());  // a broken initfile the built-in one must not hide
    dir.file(deep.substr(dir.str().size() + 1) + "/config/initfile.txt", "B=\xC3(\n");
    const std::string no_room = "/" + std::string(1010, 'f');  // fits, but config/initfile.txt does not
    for (const std::string &folder : {deep, no_room}) {
        setenv("QUORVELPATH", folder.c_str(), 1);
        ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 0) << folder.size();
        EXPECT_EQ(report(), "16302 16114(" + folder + ") 16151(" + std::to_string(ENAMETOOLONG) + ") ");
        EXPECT_EQ(
            rendered().rfind("initialization file error\ncannot access directory '" + folder + "'\nO/S error ", 0), 0u);
        msbasic_end_all();
    }
}

TEST_F(Early, NlsPrefixTooLongNamesItself) {
    for (size_t length : {1100u, 1020u}) {  // past the prefix's room; no room left for the suffix
        const std::string prefix(length, 'n');
        setenv("MSNLSFILE", prefix.c_str(), 1);
        ASSERT_EQ(msbasic_init_main(msbasic_init_cascade), 0);
        EXPECT_EQ(report(), "16303 16473(" + prefix + ") 16151(" + std::to_string(ENAMETOOLONG) + ") ") << length;
        EXPECT_EQ(rendered(), "NLS file error\ncannot open file '" + prefix + "'\nO/S error " +
                                  std::to_string(ENAMETOOLONG) + ": " + std::strerror(ENAMETOOLONG));
        msbasic_end_all();
    }
}

}  // namespace
