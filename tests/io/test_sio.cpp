// Buffered streams: line buffering, the write rules, reads that flush the
// task's pending output, positions, the standard streams and bad requests.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "io/fio.h"
#include "msfmt.h"
#include "mssio.h"
#include "os_support.h"
#include "support.h"

namespace {

class Streams : public LibraryTest {
protected:
    TempDir dir;
    std::string path = dir / "f";

    mssio_stream *open(const char *access, int binary = 1) { return mssio_open_ex(path.c_str(), binary, access); }
    // What one readline into a buffer of 16 bytes delivered.
    static std::string readline(mssio_stream *s) {
        char buf[16];
        int n = mssio_readline(s, buf, sizeof buf);
        return n < 0 ? "<failed>" : std::string(buf, static_cast<size_t>(n));
    }
};

// The write rules (the buffer holds 512 bytes): what a second write puts in
// the file at once, after a first one left its bytes buffered, and what the
// second write returns. Close writes the rest.
TEST_F(Streams, WritesBufferUntilALineOrAFullBuffer) {
    const std::string p300(300, 'p'), q300(300, 'q'), r600(600, 'r'), r800(800, 'r');
    const struct {
        std::string before, data, in_file;
        int result;
    } kRules[] = {
        {"", "abc", "", 3},                               // no line: buffered
        {"abc", "x\n", "abcx\n", 2},                      // a line writes buffer and line
        {"", r600, r600, 600},                            // long write to an empty buffer goes straight
        {p300, q300, p300 + std::string(212, 'q'), 300},  // overflow: the full buffer goes, the rest stays
        {p300, r800, p300 + r800, 800},                   // twice overfull: both go
        {p300, q300 + "\n", p300 + q300 + "\n", 301},     // long line: buffer, then line
    };
    for (const auto &c : kRules) {
        mssio_stream *s = open("w");
        ASSERT_NE(s, nullptr);
        const int before = static_cast<int>(c.before.size());
        ASSERT_EQ(mssio_write(s, c.before.data(), before), before);
        EXPECT_EQ(mssio_write(s, c.data.data(), static_cast<int>(c.data.size())), c.result) << c.data.size();
        EXPECT_EQ(read_file(path), c.in_file) << c.before.size() << "+" << c.data.size();
        ASSERT_EQ(mssio_close(s), 1);
        EXPECT_EQ(read_file(path), c.before + c.data) << "close writes the rest";
    }
}

TEST_F(Streams, ReadFlushesPendingOutputFirst) {
    mssio_stream *out = open("w");
    mssio_stream *pipe[2];
    ASSERT_EQ(mssio_pipe(pipe), 1);
    ASSERT_EQ(mssio_set_stdout_ex(out, "prompt-file"), 1);
    EXPECT_STREQ(mssio_get_stdout_name(), "prompt-file");
    ASSERT_EQ(mssio_printf("prompt: "), 1);
    EXPECT_EQ(read_file(path), "");
    ASSERT_EQ(mssio_write(pipe[1], "y\n", 2), 2);
    EXPECT_EQ(readline(pipe[0]), "y\n");
    EXPECT_EQ(read_file(path), "prompt: ") << "the read flushed the prompt";
    mssio_close(pipe[0]);
    mssio_close(pipe[1]);
}

TEST_F(Streams, ReadlineSplitsLongLinesAndTerminatesShortOnes) {
    write_file(path, "0123456789abcdefghi\nend");
    mssio_stream *s = open("r");
    char line[16];
    std::memset(line, '#', sizeof line);
    EXPECT_EQ(mssio_readline(s, line, 10), 10);
    EXPECT_EQ(std::string(line, 10), "0123456789");
    EXPECT_EQ(line[10], '#') << "a full buffer gets no terminator";
    EXPECT_EQ(mssio_readline(s, line, 16), 10);
    EXPECT_STREQ(line, "abcdefghi\n");
    EXPECT_EQ(mssio_readline_ex(s, line, 16, 'x'), 3);
    EXPECT_STREQ(line, "end");
    EXPECT_EQ(mssio_readline(s, line, 16), 0);
    EXPECT_STREQ(line, "");
    mssio_close(s);
}

TEST_F(Streams, ReadFillsTheCountAcrossRefills) {
    const std::string text = std::string(1499, 'z') + "!";
    write_file(path, text);
    mssio_stream *s = open("r");
    std::string got(1600, '\0');
    EXPECT_EQ(mssio_read(s, got.data(), 1600), 1500);
    EXPECT_EQ(got.substr(0, 1500), text);
    EXPECT_EQ(mssio_read(s, got.data(), 10), 0);
    EXPECT_EQ(mssio_size(s), 1500);
    mssio_close(s);
}

TEST_F(Streams, AppendCreatesOrAppends) {
    for (const char *access : {"a", "e"}) {
        mssio_remove(path.c_str());
        mssio_stream *s = open(access);
        ASSERT_NE(s, nullptr) << access;
        EXPECT_EQ(mserror_geterr_id(), 0) << "the failed open left no report";
        mssio_fprintf(s, "one\n");
        mssio_close(s);
        s = open(access);
        mssio_fprintf(s, "two %d\n", 2);
        mssio_close(s);
        EXPECT_EQ(read_file(path), "one\ntwo 2\n") << access;
    }
}

TEST_F(Streams, TellAndSeekInsideTheInputBuffer) {
    write_file(path, "line1\nline2\nline3\n");
    mssio_stream *s = open("r");
    readline(s);
    EXPECT_EQ(mssio_tell(s), 6);
    EXPECT_EQ(mssio_seek(s, 12), 12) << "inside the buffered window";
    EXPECT_EQ(readline(s), "line3\n");
    EXPECT_EQ(mssio_seek(s, 0), 0);
    EXPECT_EQ(readline(s), "line1\n");
    EXPECT_EQ(mssio_seek(s, -1), 18) << "-1 is the end";
    mssio_close(s);
}

TEST_F(Streams, TextModeTellCountsALineFeedTwice) {
    qrv::fio::set_text_mode(true);
    write_file(path, "ab\r\ncd\r\n");
    mssio_stream *s = open("r", 0);
    char c;
    EXPECT_EQ(mssio_read(s, &c, 1), 1);
    EXPECT_EQ(mssio_tell(s), 1);
    char rest[3];
    EXPECT_EQ(mssio_read(s, rest, 3), 3);
    EXPECT_EQ(std::string(rest, 3), "b\nc");
    EXPECT_EQ(mssio_tell(s), 5) << "the line feed stands for two bytes";
    mssio_close(s);
    qrv::fio::set_text_mode(false);
}

TEST_F(Streams, WrongDirectionAndBadArguments) {
    write_file(path, "data\n");
    mssio_stream *in = open("r");
    mssio_stream *out = mssio_open_ex((dir / "o").c_str(), 1, "w");
    char buf[4] = {'k', 'k', 'k', 'k'};
    const struct {
        const char *name;
        std::function<int()> call;
        int result;
        int32_t id;
    } kCases[] = {
        {"write input", [&] { return mssio_write(in, "x", 1); }, -1, 16253},
        {"flush input", [&] { return mssio_flush(in); }, 0, 16253},
        {"read output", [&] { return mssio_read(out, buf, 4); }, -1, 16252},
        {"readline output", [&] { return mssio_readline(out, buf, 4); }, -1, 16252},
        {"read null buffer", [&] { return mssio_read(in, nullptr, 4); }, -1, 16474},
        {"read negative count", [&] { return mssio_read(in, buf, -1); }, -1, 16474},
        {"write null buffer", [&] { return mssio_write(out, nullptr, 4); }, -1, 16478},
    };
    for (const auto &c : kCases) {
        mserror_reset();
        EXPECT_EQ(c.call(), c.result) << c.name;
        EXPECT_EQ(mserror_geterr_id(), c.id) << c.name;
    }
    EXPECT_EQ(std::string(buf, 4), "kkkk") << "nothing written into the caller's buffer";
    for (const char *access : {"x", "rw", "", static_cast<const char *>(nullptr)}) {
        mserror_seterr(16999, 0);
        EXPECT_EQ(mssio_open(path.c_str(), access), nullptr);
        EXPECT_EQ(mserror_geterr_id(), 16254);
        EXPECT_EQ(entry_count(), 1);
    }
    EXPECT_EQ(mssio_read(nullptr, buf, 4), 0);
    EXPECT_EQ(mssio_write(nullptr, buf, 4), 0);
    EXPECT_EQ(mssio_close(nullptr), 0);
    mssio_close(in);
    mssio_close(out);
}

TEST_F(Streams, BufferingOffNeedsAnEmptyInputBuffer) {
    write_file(path, "abc\ndef\n");
    mssio_stream *s = open("r");
    char c;
    mssio_read(s, &c, 1);
    EXPECT_EQ(mssio_buf_off(s), 0);
    EXPECT_EQ(mserror_geterr_id(), 16251) << "a byte is still buffered";
    EXPECT_EQ(mssio_buf_reset(s), 1);
    EXPECT_EQ(mssio_buf_off(s), 1);
    char line[8];
    EXPECT_EQ(mssio_readline(s, line, sizeof line), 0) << "the reset discarded the rest of the file's first block";
    mssio_close(s);
    mssio_stream *out = open("w");
    mssio_write(out, "kept", 4);
    EXPECT_EQ(mssio_buf_off(out), 1) << "output is flushed first";
    EXPECT_EQ(read_file(path), "kept");
    EXPECT_EQ(mssio_write(out, "x", 1), 1);
    EXPECT_EQ(read_file(path), "keptx") << "unbuffered writes go straight through";
    mssio_close(out);
}

ssize_t disk_full(int, const void *, size_t) {
    errno = ENOSPC;
    return -1;
}

// A full disk: nothing already accepted is dropped, and counts are honest.
TEST_F(Streams, FullDiskKeepsBufferedBytesAndReportsHonestly) {
    mssio_stream *s = open("w");
    ASSERT_EQ(mssio_write(s, "abc", 3), 3);
    {
        SyscallScope scope;
        qrv::os::g_sys.write = disk_full;
        EXPECT_EQ(mssio_write(s, "x\n", 2), -1);
        EXPECT_EQ(mssio_flush(s), 0);
        EXPECT_EQ(mssio_close(s), 0) << "the failed flush keeps the stream";
    }
    EXPECT_EQ(read_file(path), "");
    EXPECT_EQ(mssio_flush(s), 1) << "the space came back";
    EXPECT_EQ(read_file(path), "abc");
    EXPECT_EQ(mssio_close(s), 1);
}

// A stream whose last flush fails at the task's end is still closed: no
// space and no descriptor are left behind.
TEST_F(Streams, TaskEndClosesAStreamItCannotFlush) {
    mssio_stream *s = open("w");
    ASSERT_EQ(mssio_write(s, "abc", 3), 3);
    SyscallScope scope;
    qrv::os::g_sys.write = disk_full;
    EXPECT_EQ(mssio_close(s), 0);
    msbasic_end_main(msbasic_init_cascade);
    EXPECT_EQ(qrv::space::live_spaces(), 0);
}

TEST_F(Streams, FormattedOutputAndItsEdges) {
    mssio_stream *s = open("w");
    EXPECT_EQ(mssio_fprintf(s, "%s=%d %5.2lf\n", "x", 42, 3.14159), 1);
    EXPECT_EQ(mssio_fprintf(s, nullptr), 1);
    EXPECT_EQ(mssio_fprintf(nullptr, "lost"), 1);
    mssio_close(s);
    EXPECT_EQ(read_file(path), "x=42  3.14\n(NILFORMAT)");
}

// Each write(2) as the system saw it.
std::vector<std::string> g_writes;
ssize_t recording_write(int fd, const void *data, size_t n) {
    g_writes.emplace_back(static_cast<const char *>(data), n);
    return ::write(fd, data, n);
}

bool g_whole = true;
void write_piece(void *stream, const char *data, int length) {
    if (mssio_write(static_cast<mssio_stream *>(stream), data, length) != length) g_whole = false;
}

// Formatted output goes into the buffer in place. It makes the writes, and
// returns what, the engine's pieces written one at a time would: after
// bytes left buffered, after a flush (the stream no longer dirty), for text
// longer than the buffer, line feeds inside arguments, positional formats
// (three passes) and a full disk.
TEST_F(Streams, FormattedOutputWritesAsItsPiecesWould) {
    const std::string long_text(700, 'L'), mid_text(300, 'M');
    const struct {
        const char *before;  // written first; "!" writes and flushes
        const char *format;
        const char *text;
        bool disk_full;
    } kCases[] = {
        {"", "record %.0s%6d of the nightly batch: ok\n", "", false},
        {"pre", "%s|%d\n", "a\nb", false},
        {"!", "x%%y\n%5d", "", false},
        {"pre", "%s", long_text.c_str(), false},
        {"", "%s\n", long_text.c_str(), false},
        {"pre", "%s tail %d\n", mid_text.c_str(), false},
        {"pre", "%2$d %1$s\n", "positional", false},
        {"", "no line %d", "", false},
        {"pre", "abcd\ne%.0s|0123456789\nabcdefghij %d", "", false},
        {"pre", "%s %d\n", "full", true},
    };
    for (const auto &c : kCases) {
        std::vector<std::string> writes[2];
        std::string contents[2];
        int results[2];
        for (int way = 0; way < 2; ++way) {
            mssio_stream *s = open("w");
            ASSERT_NE(s, nullptr);
            if (std::strcmp(c.before, "!") == 0) {
                mssio_write(s, "b", 1);
                mssio_flush(s);
            } else {
                mssio_write(s, c.before, static_cast<int>(std::strlen(c.before)));
            }
            SyscallScope scope;
            qrv::os::g_sys.write = c.disk_full ? disk_full : recording_write;
            g_writes.clear();
            g_whole = true;
            if (way == 0) {
                results[way] = mssio_fprintf(s, c.format, c.text, 42);
            } else {
                msfmt_args(write_piece, s, c.format, c.text, 42);
                results[way] = g_whole;
            }
            writes[way] = g_writes;
            qrv::os::restore_syscalls();
            mssio_close(s);
            contents[way] = read_file(path);
        }
        EXPECT_EQ(writes[0], writes[1]) << c.format;
        EXPECT_EQ(results[0], results[1]) << c.format;
        EXPECT_EQ(contents[0], contents[1]) << c.format;
    }
}

TEST_F(Streams, StandardStreamsExistPerTask) {
    ASSERT_TRUE(mssio_get_stdin() != nullptr && mssio_get_stdout() != nullptr && mssio_get_stderr() != nullptr);
    EXPECT_EQ(mssio_get_stdout_name(), nullptr);
    mssio_stream *file = open("w");
    EXPECT_EQ(mssio_isatty(file), 0);
    ASSERT_EQ(mssio_set_stderr_ex(file, "errors"), 1);
    mssio_eprintf("warn %d\n", 7);
    EXPECT_EQ(read_file(path), "warn 7\n");
    EXPECT_EQ(mssio_close(file), 1);
    EXPECT_EQ(mssio_get_stderr(), nullptr) << "closing a standard stream empties its slot";
    EXPECT_EQ(mssio_eprintf("nowhere\n"), 0);
}

// Every allocation of an open failed in turn: a clean failure, no space and
// no descriptor left behind, and the next open works.
TEST_F(Streams, AllocationFailureAtEveryStepOfOpen) {
    write_file(path, "x\n");
    mserror_seterr_1arg_str(16999, path.c_str());  // the error stack's string buffer exists from here on
    const long before = qrv::space::live_spaces();
    bool opened = false;
    // A handle's making may take a few more allocations while the allocator
    // offers addresses of handles closed by the failed attempts.
    for (long n = 1; n < 64 && !opened; ++n) {
        qrv::space::fail_nth_allocation(n);
        mssio_stream *s = open("r");
        qrv::space::fail_nth_allocation(0);
        opened = s != nullptr;
        if (s == nullptr) {
            EXPECT_NE(mserror_geterr_id(), 0) << "failing allocation " << n;
        } else {
            mssio_close(s);
        }
        EXPECT_EQ(qrv::space::live_spaces(), before) << "failing allocation " << n;
    }
    EXPECT_TRUE(opened);
}

}  // namespace
