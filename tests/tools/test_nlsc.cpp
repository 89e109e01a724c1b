// The NLS compiler: its source parser, the placeholder scanner, the file
// layout (round trips through its own reader) and the reader's refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "nlsc.h"

namespace {

using qrv::nlsc::Message;

std::vector<Message> parse_ok(const std::string &source) {
    std::vector<Message> messages;
    qrv::nlsc::Diagnostic diag;
    EXPECT_TRUE(qrv::nlsc::parse_source(source, messages, diag)) << diag.line << ": " << diag.what;
    return messages;
}

TEST(Nlsc, ParsesSectionsCommentsAndEscapes) {
    auto m = parse_ok(
        "\xEF\xBB\xBF# comment\r\n"
        "\n"
        "7\ta\\tb\\nc\\\\d\\x41\\r\r\n"
        "[file-only]  \n"
        "65535\t\n"
        "[builtin]\n"
        "300\t caf\xC3\xA9 '%s' ");
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(std::tuple(m[0].id, m[0].text, m[0].builtin, m[0].line), std::tuple(7u, "a\tb\nc\\dA\r", true, 3));
    EXPECT_EQ(std::tuple(m[1].id, m[1].text, m[1].builtin), std::tuple(65535u, "", false));
    EXPECT_EQ(std::tuple(m[2].text, m[2].builtin), std::tuple(" caf\xC3\xA9 '%s' ", true));
}

TEST(Nlsc, RefusesBadLinesWithTheirLineNumber) {
    struct Case {
        std::string source;
        int line;
    };
    const Case kCases[] = {
        {"1\tok\n0\tzero", 2},
        {"65536\ttoo big", 1},
        {"012\tleading zero", 1},
        {"+12\tsign", 1},
        {"12 text without tab", 1},
        {"12\tdup\n# x\n12\tagain", 3},
        {"[tables]", 1},
        {"12\tbad \\q escape", 1},
        {"12\ttrailing \\", 1},
        {"12\t\\x4", 1},
        {"12\t\\x00", 1},
        {"12\traw\ttab", 1},
        {std::string("12\tnul\0x", 8), 1},
        {"12\t\xC3(", 1},             // cut sequence
        {"12\t\xC0\xAF", 1},          // overlong
        {"12\t\xED\xA0\x80", 1},      // surrogate
        {"12\t\xF4\x90\x80\x80", 1},  // above U+10FFFF
        {"12\t\\xFF", 1},             // escapes must make UTF-8 too
        {"12\t" + std::string(8192, 'a'), 1},
    };
    for (const Case &c : kCases) {
        std::vector<Message> messages;
        qrv::nlsc::Diagnostic diag;
        EXPECT_FALSE(qrv::nlsc::parse_source(c.source, messages, diag)) << c.source;
        EXPECT_EQ(diag.line, c.line) << c.source << ": " << diag.what;
        EXPECT_FALSE(diag.what.empty());
    }
    EXPECT_EQ(parse_ok("12\t" + std::string(8191, 'a'))[0].text.size(), 8191u);
}

TEST(Nlsc, PlaceholdersFollowTheEngine) {
    struct Case {
        const char *format;
        std::vector<std::string> want;
    };
    const Case kCases[] = {
        {"no placeholders", {}},
        {"100%% of %s", {"%s"}},
        {"O/S error %ld: %s", {"%ld", "%s"}},
        {"%2$s %1$s", {"%2$s", "%1$s"}},
        {"%-5.2s|%08.3d|%+lld|% d|%#x", {"%-5.2s", "%08.3d", "%+lld", "% d", "%#x"}},
        {"%*d %*2$d %.*s", {"%*d", "%*2$d", "%.*s"}},
        {"%Q %lQ %lX %llu %p %lc %ls %lE", {"%Q", "%lQ", "%lX", "%llu", "%p", "%lc", "%ls", "%lE"}},
        {"%y and %hd", {"%", "%"}},  // unknown conversions still take an argument
        {"ends in %", {}},
        {"日本 '%s' 語", {"%s"}},
    };
    for (const Case &c : kCases) EXPECT_EQ(qrv::nlsc::placeholders(c.format), c.want) << c.format;
}

uint32_t be(const std::string &s, size_t at, int bytes) {
    uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) v = v << 8 | static_cast<unsigned char>(s[at + k]);
    return v;
}

std::string image_of(const std::vector<Message> &messages) {
    std::string image, error;
    EXPECT_TRUE(qrv::nlsc::build_image(messages, image, error)) << error;
    return image;
}

// Every id sits in its bucket (id mod N) within B bytes, B is no larger than
// the fullest bucket needs, each text reads back, and a reader fetching it in
// pieces that end on 1024-byte boundaries stays inside 8192 bytes.
void expect_round_trip(const std::vector<Message> &messages) {
    std::string image = image_of(messages), error, text;
    qrv::nlsc::Header h;
    ASSERT_TRUE(qrv::nlsc::read_header(image, h, error)) << error;
    EXPECT_EQ(h.version, qrv::nlsc::kVersion);
    EXPECT_LE(h.bucket_count, std::max<size_t>(2 * messages.size(), 1));
    std::vector<uint32_t> fill(h.bucket_count);
    uint32_t fullest = 1;
    for (const Message &m : messages) {
        size_t bucket = 1024 + (m.id % h.bucket_count) * h.bucket_size, entry = bucket;
        while (entry < bucket + h.bucket_size && be(image, entry, 2) != m.id) entry += 6;
        ASSERT_LT(entry, bucket + h.bucket_size) << m.id;
        fullest = std::max(fullest, ++fill[m.id % h.bucket_count]);
        uint32_t offset = be(image, entry + 2, 4);
        EXPECT_LE((offset + m.text.size() + 1 + 1023) / 1024 * 1024 - offset, 8192u) << m.id;
        ASSERT_EQ(qrv::nlsc::find_message(image, h, m.id, text, error), qrv::nlsc::Lookup::found) << m.id;
        EXPECT_EQ(text, m.text) << m.id;
    }
    EXPECT_EQ(h.bucket_size, fullest * qrv::nlsc::kEntrySize);
    std::vector<Message> back;
    ASSERT_TRUE(qrv::nlsc::read_all(image, back, error)) << error;
    EXPECT_EQ(back.size(), messages.size());
    EXPECT_EQ(qrv::nlsc::find_message(image, h, 0, text, error), qrv::nlsc::Lookup::absent);
}

TEST(Nlsc, RoundTrips) {
    std::vector<std::vector<uint32_t>> id_sets = {{}, {1}, {65535}, {1, 2, 3}, {5, 10, 15, 20, 25}, {}, {}};
    for (uint32_t i = 1; i <= 2000; ++i) id_sets[5].push_back(i);
    for (uint32_t i = 0; i < 300; ++i) id_sets[6].push_back(1000 * (i % 30) + i / 30 + 1);
    for (const auto &ids : id_sets) {
        std::vector<Message> messages;
        for (uint32_t id : ids) messages.push_back({id, "text " + std::to_string(id) + std::string(id % 37, 'x')});
        expect_round_trip(messages);
    }
    // Long texts of every length class, some repeated (stored once).
    std::vector<Message> long_texts;
    for (uint32_t id = 1; id <= 13; ++id) long_texts.push_back({id, std::string(8191 - 700 * (id % 3), 'a' + id % 4)});
    expect_round_trip(long_texts);
}

TEST(Nlsc, WriterRefusesWhatTheFormatCannotHold) {
    const std::vector<std::vector<Message>> kBad = {
        {{0, "zero"}}, {{65536, "big"}}, {{3, "a"}, {3, "b"}}, {{4, std::string(8192, 'a')}}, {{5, {"a\0b", 3}}},
    };
    for (const auto &messages : kBad) {
        std::string image, error;
        EXPECT_FALSE(qrv::nlsc::build_image(messages, image, error)) << messages[0].id;
    }
}

void put(std::string &s, size_t at, uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) s[at + k] = static_cast<char>(value >> (8 * (bytes - 1 - k)));
}

// Untrusted files: every defect is refused, and nothing is read outside.
TEST(Nlsc, ReaderRefusesDamagedFiles) {
    const std::string good = image_of({{1, "one"}, {2, "two"}, {3, "three"}});
    qrv::nlsc::Header h;
    std::string error;
    ASSERT_TRUE(qrv::nlsc::read_header(good, h, error));
    ASSERT_GE(h.bucket_count, 3u);
    const size_t entry = 1024 + h.bucket_size;  // the first entry of bucket 1: id 1
    const struct {
        const char *what;
        size_t at;
        uint32_t value;
        int bytes;
    } kPatches[] = {
        {"magic", 0, 0x199D6698, 4},
        {"version too old", 4, 0x0813FFFF, 4},
        {"version too new", 4, 0x0A150000, 4},
        {"bucket size 0", 8, 0, 4},
        {"bucket size above 8192", 8, 8198, 4},
        {"bucket count 0", 12, 0, 4},
        {"id in another bucket", entry, h.bucket_count + 2, 2},
        {"offset inside the header", entry + 2, 16, 4},
        {"offset past the end", entry + 2, static_cast<uint32_t>(good.size()), 4},
        {"last text without its NUL", good.size() - 1, 'x', 1},
    };
    std::vector<std::pair<std::string, std::string>> cases = {
        {"empty", ""},
        {"short header", good.substr(0, 1023)},
        {"hash area cut", good.substr(0, 1024 + h.bucket_count * h.bucket_size - 1)},
    };
    for (const auto &p : kPatches) {
        cases.emplace_back(p.what, good);
        put(cases.back().second, p.at, p.value, p.bytes);
    }
    for (const auto &[what, image] : cases) {
        std::vector<Message> messages;
        EXPECT_FALSE(qrv::nlsc::read_all(image, messages, error)) << what;
    }
    // A newer low half of the library's own major.minor is still readable.
    std::string newer = good;
    put(newer, 4, 0x0A14FFFF, 4);
    std::vector<Message> messages;
    EXPECT_TRUE(qrv::nlsc::read_all(newer, messages, error)) << error;
}

}  // namespace
