// The NLS file reader on untrusted files: each refusal and its error id,
// reads that stay inside the file and the caller's 8192-byte area, and the
// piecewise reading of texts.
#include <gtest/gtest.h>

#include "msg/nlsfile.h"
#include "nls_support.h"
#include "support.h"
#include "vars_support.h"

namespace {

// Bucket entries as bytes: id and text offset.
std::string entries(const std::vector<std::pair<uint32_t, uint32_t>> &list) {
    std::string out;
    for (const auto &[id, offset] : list) out += be_bytes(id, 2) + be_bytes(offset, 4);
    return out;
}
std::string pad_to(std::string s, size_t size) { return s + std::string(size - s.size(), 'p'); }

// One bucket of one entry (id 5) followed by its text at 1030.
const std::string kSmall = nls_header(6, 1) + entries({{5, 1030}}) + std::string("hello", 6);

struct Case {
    const char *label;
    std::string image;
    std::vector<int32_t> open_errors;  // empty: the file opens
    uint32_t id;
    const char *text;  // null: not read
    std::vector<int32_t> read_errors;
};

// clang-format off
const Case kCases[] = {
    {"empty_file", "", {16201}, 0, nullptr, {}},
    {"short_header", kSmall.substr(0, 1000), {16201}, 0, nullptr, {}},
    {"wrong_magic", nls_header(6, 1, 0x199D6698) + kSmall.substr(1024), {16202}, 0, nullptr, {}},
    {"version_too_old", nls_header(6, 1, qrv::nlsc::kMagic, 0x08130000), {16203}, 0, nullptr, {}},
    {"version_too_new", nls_header(6, 1, qrv::nlsc::kMagic, 0x0A150000), {16203}, 0, nullptr, {}},
    {"version_low_bits_ignored", nls_header(6, 1, qrv::nlsc::kMagic, 0x0A14FFFF) + kSmall.substr(1024), {}, 5, "hello", {}},
    {"no_buckets", nls_header(6, 0) + kSmall.substr(1024), {16202}, 0, nullptr, {}},
    {"bucket_above_area", nls_header(8198, 1) + kSmall.substr(1024), {16202}, 0, nullptr, {}},
    {"hash_area_cut", nls_header(8192, 1) + entries({{5, 1030}}), {}, 5, nullptr, {16207}},
    {"offset_past_end", nls_header(6, 1) + entries({{5, 5000}}) + "x", {}, 5, nullptr, {16210}},
    {"text_without_nul", nls_header(6, 1) + entries({{5, 1030}}) + "hello", {}, 5, nullptr, {16210}},
    {"text_beyond_area", nls_header(6, 1) + entries({{5, 1030}}) + std::string(9000, 't') + '\0', {}, 5, nullptr, {16210}},
    {"id_in_wrong_bucket", nls_header(6, 2) + entries({{5, 1036}, {0, 0}}) + "hi" + '\0', {}, 5, nullptr, {}},
    {"id_zero_ends_bucket", nls_header(12, 1) + entries({{0, 0}, {5, 1036}}) + "hi" + '\0', {}, 5, nullptr, {}},
    {"id_beyond_16_bits", kSmall, {}, 65536 + 5, nullptr, {}},
    {"one_bucket_holds_all", nls_header(18, 1) + entries({{7, 1042}, {6, 1042}, {5, 1045}}) + "ab" + '\0' + "c" + '\0', {}, 5, "c", {}},
    {"text_10_bytes_before_boundary", pad_to(nls_header(6, 1) + entries({{5, 2038}}), 2038) + "0123456789abcdef" + '\0', {}, 5, "0123456789abcdef", {}},
};
// clang-format on

class NlsFileReader : public LibraryTest, public ::testing::WithParamInterface<Case> {};

TEST_P(NlsFileReader, RefusesOrReadsInsideTheFile) {
    const Case &c = GetParam();
    ScratchDir dir;
    dir.file("nlsfile_utf8_xx", c.image);
    qrv::nls::File f;
    mserror_reset();
    bool opened = qrv::nls::open(f, (dir.str() + "/nlsfile_").c_str(), "utf8_xx");
    EXPECT_EQ(opened, c.open_errors.empty());
    EXPECT_EQ(error_ids(), c.open_errors);
    if (!opened) {
        EXPECT_FALSE(qrv::nls::is_open(f));
        return;
    }
    Canary area(qrv::nls::kAreaSize);
    EXPECT_EQ(qrv::nls::read(f, c.id, area.chars()), c.text != nullptr);
    if (c.text != nullptr) {
        EXPECT_STREQ(area.chars(), c.text);
    }
    EXPECT_EQ(error_ids(), c.read_errors);
    EXPECT_TRUE(area.untouched_from(qrv::nls::kAreaSize));
    qrv::nls::close(f);
    EXPECT_FALSE(qrv::nls::read(f, 5, area.chars()));  // closed
    EXPECT_EQ(error_ids(), std::vector<int32_t>{16204});
}

INSTANTIATE_TEST_SUITE_P(Files, NlsFileReader, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.label); });

}  // namespace
