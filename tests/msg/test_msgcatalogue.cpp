// The message catalogue: the exported language tables, the built-in message
// tables generated from data/messages, and the NLS files the build makes
// from the same sources (read back with the NLS compiler's reader).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "msnlsmsg.h"
#include "nlsc.h"

namespace {

using IdSet = std::set<int32_t>;

// Every id of the library's catalogue, as ranges.
IdSet catalogue_ids() {
    static const int32_t kRanges[][2] = {{16001, 16007}, {16051, 16065}, {16067, 16067}, {16110, 16114}, {16116, 16116},
                                         {16123, 16123}, {16125, 16126}, {16129, 16132}, {16134, 16137}, {16151, 16157},
                                         {16201, 16210}, {16251, 16254}, {16301, 16303}, {16305, 16310}, {16351, 16351},
                                         {16401, 16407}, {16451, 16463}, {16467, 16475}, {16477, 16478}, {16480, 16490},
                                         {16492, 16500}, {16511, 16517}, {16519, 16544}, {16801, 16831}};
    IdSet ids;
    for (const auto &r : kRanges) {
        for (int32_t id = r[0]; id <= r[1]; ++id) ids.insert(id);
    }
    return ids;
}

IdSet without(IdSet ids, const std::vector<int32_t> &gone) {
    for (int32_t id : gone) ids.erase(id);
    return ids;
}

// Ids rendered only from NLS files: the build tools and host lookups.
const IdSet kFileOnlyIds = {10601, 10602, 10603, 10604, 10607, 10612, 10659, 10660, 10661, 10665, 10678, 10679,
                            10680, 10690, 10691, 10811, 10829, 16545, 16546, 16547, 16548, 16549, 17051, 17359};

// The rows msnlsmsgtables_tabmap must hold, in order, with their table's ids.
struct Language {
    int32_t lang;
    const char *name;
    const char *suffix;
    const char *source;
    IdSet table_ids;
};
const Language kLanguages[] = {
    {MSNLSMSG_LANG_ENGLISH, "english", "utf8_en", "en", catalogue_ids()},
    {MSNLSMSG_LANG_FRENCH, "french", "utf8_fr", "fr", {}},
    {MSNLSMSG_LANG_JAPANESE, "japanese", "utf8_jp", "ja", without(catalogue_ids(), {16490, 16517})},
    {MSNLSMSG_LANG_CHINESE, "chinese", "utf8_cn", "zh",
     without(catalogue_ids(), {16135, 16136, 16137, 16152, 16153, 16154, 16155, 16156, 16157, 16490, 16517, 16537,
                               16538, 16539, 16540, 16541, 16542, 16543, 16544})},
};

using Texts = std::map<int32_t, std::string>;

Texts table_texts(const msnlsmsg_entry *e) {
    Texts texts;
    for (; e->id != 0; ++e) texts[e->id] = e->text;
    return texts;
}

std::string contents(const std::string &path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

Texts texts_of(const std::vector<qrv::nlsc::Message> &messages) {
    Texts texts;
    for (const auto &m : messages) texts[static_cast<int32_t>(m.id)] = m.text;
    return texts;
}

Texts nls_file_texts(const std::string &suffix) {
    std::vector<qrv::nlsc::Message> messages;
    std::string error;
    EXPECT_TRUE(qrv::nlsc::read_all(contents(std::string(QRV_NLS_BUILD_DIR) + "/nlsfile_" + suffix), messages, error))
        << suffix << ": " << error;
    return texts_of(messages);
}

Texts source_texts(const std::string &name) {
    std::vector<qrv::nlsc::Message> messages;
    qrv::nlsc::Diagnostic diag;
    EXPECT_TRUE(qrv::nlsc::parse_source(contents(std::string(QRV_MESSAGES_DIR) + "/" + name + ".txt"), messages, diag))
        << name << ":" << diag.line;
    return texts_of(messages);
}

IdSet keys(const Texts &texts) {
    IdSet ids;
    for (const auto &[id, text] : texts) ids.insert(id);
    return ids;
}

TEST(MsgCatalogue, LanguageNamesInOrder) {
    std::string rows;
    for (const msnlsmsgtables_offlang_row *row = msnlsmsgtables_offlang; row->name != nullptr; ++row) {
        rows += std::string(row->name) + "=" + std::to_string(row->lang) + " ";
    }
    EXPECT_EQ(rows, "english=0 en=0 french=1 fr=1 chinese=2 zh_CN=2 zh=2 japanese=4 ja_JP=4 ja=4 primary=0 ");
}

TEST(MsgCatalogue, LanguageMapRowsAndTableIds) {
    const msnlsmsgtables_tabmap_row *row = msnlsmsgtables_tabmap;
    for (const Language &want : kLanguages) {
        ASSERT_NE(row->name, nullptr);
        EXPECT_EQ(row->lang, want.lang);
        EXPECT_STREQ(row->name, want.name);
        EXPECT_STREQ(row->suffix, want.suffix);
        // Sorted strictly by id, every text present, ended by id 0 and null.
        IdSet ids;
        const msnlsmsg_entry *e = row->table;
        for (int32_t last = 0; e->id != 0; last = e->id, ++e) {
            EXPECT_GT(e->id, last) << want.name;
            EXPECT_NE(e->text, nullptr) << want.name << " " << e->id;
            ids.insert(e->id);
        }
        EXPECT_EQ(e->text, nullptr) << want.name;
        EXPECT_EQ(ids, want.table_ids) << want.name;
        ++row;
    }
    EXPECT_EQ(row->name, nullptr);
    EXPECT_EQ(catalogue_ids().size(), 186u);
    EXPECT_EQ(kLanguages[2].table_ids.size(), 184u);
    EXPECT_EQ(kLanguages[3].table_ids.size(), 167u);
}

TEST(MsgCatalogue, EnglishTextsAreExact) {
    const std::map<int32_t, std::string> kSample = {
        {16151, "O/S error %ld: %s"},
        {16156, "%s (num %ld) (errno 0x%x)"},
        {16307, "Cannot get registry subkey '%s' from the registry key '%s'"},
        {16517, "Socket wait error; socket number (%d) needs to be smaller than FD_SETSIZE(%d)"},
        {16543,
         "The monotonic clock value stored in '%s' is greater than current clock value. The Quorvel command "
         "'qrvsettime' probably was not run after system reboot."},
        {16817, "May"},
        {16831, "Saturday"},
    };
    Texts english = table_texts(msnlsmsgtables_tabmap[0].table);
    for (const auto &[id, text] : kSample) EXPECT_EQ(english[id], text) << id;
}

// Each NLS file the build made holds every id with the texts of its source,
// equal to the built-in ones where the language has them, and every text
// takes the English placeholders in order, but for three that keep fewer.
TEST(MsgCatalogue, NlsFilesAgreeWithTablesAndPlaceholders) {
    IdSet all = catalogue_ids();
    all.insert(kFileOnlyIds.begin(), kFileOnlyIds.end());
    Texts english = nls_file_texts("utf8_en");
    ASSERT_EQ(keys(english), all);
    const std::map<std::pair<std::string, int32_t>, size_t> kKept = {
        {{"japanese", 16307}, 1}, {{"chinese", 16307}, 0}, {{"chinese", 16470}, 0}};
    for (size_t i = 0; i < std::size(kLanguages); ++i) {
        const std::string name = kLanguages[i].name;
        Texts file = nls_file_texts(kLanguages[i].suffix);
        EXPECT_EQ(keys(file), all) << name;
        EXPECT_EQ(file, source_texts(kLanguages[i].source)) << name;  // the built file holds its source
        for (const auto &[id, text] : table_texts(msnlsmsgtables_tabmap[i].table)) EXPECT_EQ(file[id], text) << id;
        for (const auto &[id, text] : file) {
            auto want = qrv::nlsc::placeholders(english[id]);
            if (auto kept = kKept.find({name, id}); kept != kKept.end()) want.resize(kept->second);
            EXPECT_EQ(qrv::nlsc::placeholders(text), want) << name << " " << id << ": " << text;
        }
    }
}

}  // namespace
