// Text mode: CR LF becomes LF on reading over every split of the input,
// LF becomes CR LF on writing, and nothing changes when the process has
// text mode off or the descriptor is binary.
#include "io/fio.h"
#include "msfio.h"
#include "os_support.h"
#include "support.h"

namespace {

class TextMode : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        qrv::fio::set_text_mode(true);
    }
    void TearDown() override {
        qrv::fio::set_text_mode(false);
        LibraryTest::TearDown();
    }
    // Reads the whole file through buffers of size bytes; each read's
    // result is kept in reads.
    std::string read_all(const std::string &content, int size, int binary = 0) {
        write_file(dir_ / "t", content);
        msfio_fd fd = msfio_open((dir_ / "t").c_str(), binary, 'r');
        std::string all;
        reads.clear();
        for (int guard = 0; guard < 100; ++guard) {
            Guarded buffer(static_cast<size_t>(size));
            int n = msfio_read(fd, buffer.data(), size);
            EXPECT_TRUE(buffer.canaries_intact()) << "size " << size;
            EXPECT_LE(n, size);
            if (n <= 0) break;
            reads.emplace_back(buffer.data(), static_cast<size_t>(n));
            all += reads.back();
        }
        EXPECT_EQ(msfio_close(fd), 1);
        return all;
    }
    std::string write_through(const std::string &text, int expected, int binary = 0) {
        msfio_fd fd = msfio_create((dir_ / "w").c_str(), binary, 0, 0);
        EXPECT_EQ(msfio_write(fd, text.data(), static_cast<int>(text.size())), expected);
        EXPECT_EQ(msfio_close(fd), 1);
        return read_file(dir_ / "w");
    }
    TempDir dir_;
    std::vector<std::string> reads;
};

class TextSplits : public TextMode, public ::testing::WithParamInterface<int> {};

TEST_P(TextSplits, CrLfBecomesLfWhereverTheBufferEnds) {
    int size = GetParam();
    EXPECT_EQ(read_all("a\r\nb\r\n", size), "a\nb\n");
    EXPECT_EQ(read_all("a\rb\r", size), "a\rb\r") << "lone CRs are data";
    EXPECT_EQ(read_all("\r\r\n\r", size), "\r\n\r") << "only the CR before the LF goes";
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, TextSplits, ::testing::Range(1, 9));

TEST_F(TextMode, TheLineEndIsDeliveredWithTheReadItEnds) {
    EXPECT_EQ(read_all("a\r\nb\r\n", 2), "a\nb\n");
    ASSERT_GE(reads.size(), 2u);
    EXPECT_EQ(reads[0], "a\n");
    EXPECT_EQ(reads[1], "b\n");
    read_all("a\r\nb\r\n", 4);
    EXPECT_EQ(reads[0], "a\nb\n") << "reading continues into the freed room";
}

TEST_F(TextMode, TellAndSeekAccountForTheByteReadAhead) {
    write_file(dir_ / "t", "a\rbc");
    msfio_fd fd = msfio_open((dir_ / "t").c_str(), 0, 'r');
    char buf[2];
    ASSERT_EQ(msfio_read(fd, buf, 2), 2);
    EXPECT_EQ(msfio_tell(fd), 2) << "'b' is pending, not yet delivered";
    EXPECT_EQ(msfio_seek_relative(fd, 1), 3);
    ASSERT_EQ(msfio_read(fd, buf, 2), 1);
    EXPECT_EQ(buf[0], 'c');
    EXPECT_EQ(msfio_seek(fd, 0), 0);
    ASSERT_EQ(msfio_read(fd, buf, 1), 1);
    EXPECT_EQ(buf[0], 'a') << "a seek forgets the pending byte";
    EXPECT_EQ(msfio_close(fd), 1);
}

TEST_F(TextMode, WritesInsertCrBeforeBareLineFeeds) {
    EXPECT_EQ(write_through("a\nb", 3), "a\r\nb");
    EXPECT_EQ(write_through("a\r\nb", 4), "a\r\nb");
    EXPECT_EQ(write_through("\n\n", 2), "\r\n\r\n");
    EXPECT_EQ(write_through("a\nb", 3, 1), "a\nb") << "binary";
    std::string many(5000, '\n');
    std::string expected;
    for (int i = 0; i < 5000; ++i) expected += "\r\n";
    EXPECT_EQ(write_through(many, 5000), expected) << "across chunks";
}

TEST_F(TextMode, BinaryDescriptorsAndTextModeOffPassBytesUnchanged) {
    EXPECT_EQ(read_all("a\r\nb\r\n", 3, 1), "a\r\nb\r\n");
    qrv::fio::set_text_mode(false);
    EXPECT_EQ(read_all("a\r\nb\r\n", 3), "a\r\nb\r\n");
    EXPECT_EQ(write_through("a\nb", 3), "a\nb");
}

}  // namespace
