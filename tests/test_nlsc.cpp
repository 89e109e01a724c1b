// The NLS compiler: its source parser, the placeholder scanner, the file
// layout (round trips through its own reader) and the reader's refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
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
    EXPECT_EQ(m[0].id, 7u);
    EXPECT_EQ(m[0].text, "a\tb\nc\\dA\r");
    EXPECT_TRUE(m[0].builtin);
    EXPECT_EQ(m[0].line, 3);
    EXPECT_EQ(m[1].id, 65535u);
    EXPECT_EQ(m[1].text, "");
    EXPECT_FALSE(m[1].builtin);
    EXPECT_EQ(m[2].text, " caf\xC3\xA9 '%s' ");
    EXPECT_TRUE(m[2].builtin);
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

TEST(Nlsc, EscapeIsTheInverseOfTheParser) {
    const std::string text = "tab\there\nnl\\bs\r\x01\x7F \xE6\x97\xA5";
    auto m = parse_ok("5\t" + qrv::nlsc::escape_text(text));
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].text, text);
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

// Every id sits in bucket id mod N within B bytes, and nothing better was
// possible among smaller bucket counts.
void expect_geometry_holds(const std::vector<uint32_t> &ids) {
    auto g = qrv::nlsc::choose_geometry(ids);
    ASSERT_GE(g.bucket_count, 1u);
    ASSERT_EQ(g.bucket_size % qrv::nlsc::kEntrySize, 0u);
    std::vector<uint32_t> fill(g.bucket_count);
    uint32_t worst = 0;
    for (uint32_t id : ids) worst = std::max(worst, ++fill[id % g.bucket_count]);
    EXPECT_EQ(g.bucket_size, std::max(worst, 1u) * qrv::nlsc::kEntrySize);
    EXPECT_LE(g.bucket_count, std::max<size_t>(2 * ids.size(), 1));
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

void expect_round_trip(const std::vector<Message> &messages) {
    std::string image = image_of(messages), error;
    qrv::nlsc::Header h;
    ASSERT_TRUE(qrv::nlsc::read_header(image, h, error)) << error;
    EXPECT_EQ(h.version, qrv::nlsc::kVersion);
    for (const Message &m : messages) {
        std::string text;
        ASSERT_EQ(qrv::nlsc::find_message(image, h, m.id, text, error), qrv::nlsc::Lookup::found) << m.id;
        EXPECT_EQ(text, m.text) << m.id;
    }
    std::vector<Message> back;
    ASSERT_TRUE(qrv::nlsc::read_all(image, back, error)) << error;
    ASSERT_EQ(back.size(), messages.size());
    std::string text;
    EXPECT_EQ(qrv::nlsc::find_message(image, h, 0, text, error), qrv::nlsc::Lookup::absent);
}

TEST(Nlsc, RoundTripsAndGeometry) {
    std::mt19937 rng(7);
    std::vector<std::vector<uint32_t>> id_sets = {
        {}, {1}, {65535}, {1, 2, 3}, {5, 10, 15, 20, 25}, {16001, 16002, 17051, 10601},
    };
    std::vector<uint32_t> dense, clustered, random_ids;
    for (uint32_t i = 1; i <= 2000; ++i) dense.push_back(i);
    for (uint32_t i = 0; i < 300; ++i) clustered.push_back(1000 * (i % 30) + i / 30 + 1);
    std::uniform_int_distribution<uint32_t> any(1, 65535);
    std::set<uint32_t> chosen;
    while (chosen.size() < 500) chosen.insert(any(rng));
    random_ids.assign(chosen.begin(), chosen.end());
    id_sets.insert(id_sets.end(), {dense, clustered, random_ids});
    for (const auto &ids : id_sets) {
        expect_geometry_holds(ids);
        std::vector<Message> messages;
        for (uint32_t id : ids) messages.push_back({id, "text " + std::to_string(id) + std::string(id % 37, 'x')});
        expect_round_trip(messages);
    }
}

// Long texts: each is readable in 1024-byte pieces without passing 8192
// bytes, whatever its length, and equal texts are stored once.
TEST(Nlsc, LongTextsStayInsideTheReadersArea) {
    std::vector<Message> messages;
    for (uint32_t id = 1; id <= 12; ++id) messages.push_back({id, std::string(8191 - 700 * (id % 3), 'a' + id)});
    messages.push_back({13, messages[0].text});
    expect_round_trip(messages);
    std::string image = image_of(messages), error;
    qrv::nlsc::Header h;
    ASSERT_TRUE(qrv::nlsc::read_header(image, h, error));
    std::set<uint32_t> offsets;
    for (const Message &m : messages) {
        size_t entry = 1024 + (m.id % h.bucket_count) * h.bucket_size;
        while (be(image, entry, 2) != m.id) entry += 6;
        uint32_t off = be(image, entry + 2, 4);
        uint64_t read_end = (off + m.text.size() + 1 + 1023) / 1024 * 1024;
        EXPECT_LE(read_end - off, 8192u) << m.id;
        offsets.insert(off);
    }
    EXPECT_EQ(offsets.size(), 12u);
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

void put32(std::string &s, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) s[at + k] = static_cast<char>(v >> (24 - 8 * k));
}

// Untrusted files: every defect is refused, and nothing is read outside.
TEST(Nlsc, ReaderRefusesDamagedFiles) {
    const std::string good = image_of({{1, "one"}, {2, "two"}, {3, "three"}});
    qrv::nlsc::Header gh;
    std::string error;
    ASSERT_TRUE(qrv::nlsc::read_header(good, gh, error));
    const size_t entry = 1024 + (1 % gh.bucket_count) * gh.bucket_size;  // id 1's entry
    struct Case {
        const char *what;
        std::string image;
    };
    std::vector<Case> cases = {
        {"empty", ""},
        {"short header", good.substr(0, 1023)},
        {"hash area cut", good.substr(0, 1024 + gh.bucket_count * gh.bucket_size - 1)},
    };
    auto patched = [&](const char *what, size_t at, uint32_t v) {
        std::string s = good;
        put32(s, at, v);
        cases.push_back({what, s});
    };
    patched("magic", 0, 0x199D6698);
    patched("version too old", 4, 0x0813FFFF);
    patched("version too new", 4, 0x0A150000);
    patched("bucket size 0", 8, 0);
    patched("bucket size above 8192", 8, 8198);
    patched("bucket count 0", 12, 0);
    patched("offset past the end", entry + 2, static_cast<uint32_t>(good.size()));
    patched("offset inside the header", entry + 2, 16);
    {
        std::string s = good;
        s.back() = 'x';  // the last text loses its NUL
        cases.push_back({"no NUL", s});
    }
    {
        std::string s = good;  // id 1's entry now names an id of another bucket
        ASSERT_GE(gh.bucket_count, 3u);
        uint32_t moved = gh.bucket_count + 2;
        s[entry] = static_cast<char>(moved >> 8), s[entry + 1] = static_cast<char>(moved);
        cases.push_back({"wrong bucket", s});
    }
    for (const Case &c : cases) {
        std::vector<Message> messages;
        EXPECT_FALSE(qrv::nlsc::read_all(c.image, messages, error)) << c.what;
    }
    // A version with a newer low half of our own major.minor is still ours.
    std::string s = good;
    put32(s, 4, 0x0A14FFFF);
    std::vector<Message> messages;
    EXPECT_TRUE(qrv::nlsc::read_all(s, messages, error)) << error;
}

}  // namespace
