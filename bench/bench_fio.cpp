// Reading a 64 MiB file in 64 KiB pieces through msfio_read beside read(2),
// on the same file in the page cache. Each pass folds what it read into a
// digest; both readers must produce the digest of the data written.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "msbasic.h"
#include "msfio.h"

namespace {

constexpr size_t kFileSize = size_t{64} << 20;
constexpr int kPiece = 64 << 10;

// One word per piece is enough to tell a wrong, short or reordered read.
uint64_t fold(uint64_t digest, const char *piece, size_t n) {
    uint64_t word = 0;
    for (size_t i = 0; i < n && i < 8; ++i) word |= uint64_t{static_cast<unsigned char>(piece[i])} << (8 * i);
    return digest * 1099511628211ull + word + n;
}

struct Fixture {
    std::string dir;
    std::string path;
    uint64_t expected = 0;
    Fixture() {
        msbasic_init_main(msbasic_init_cascade);
        const char *base = std::getenv("TMPDIR");
        dir = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/qrvbench.XXXXXX";
        if (mkdtemp(dir.data()) == nullptr) std::abort();
        path = dir + "/data";
        std::vector<char> piece(kPiece);
        uint64_t x = 0x9E3779B97F4A7C15ull;  // fixed seed
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        for (size_t done = 0; done < kFileSize; done += kPiece) {
            for (char &c : piece) {
                x ^= x << 13, x ^= x >> 7, x ^= x << 17;
                c = static_cast<char>(x);
            }
            if (write(fd, piece.data(), piece.size()) != kPiece) std::abort();
            expected = fold(expected, piece.data(), piece.size());
        }
        close(fd);
    }
    ~Fixture() {
        unlink(path.c_str());
        rmdir(dir.c_str());
        msbasic_end_main(msbasic_init_cascade);
    }
};

Fixture &fixture() {
    static Fixture f;
    return f;
}

void finish(benchmark::State &state, uint64_t digest, int64_t pieces) {
    if (digest != fixture().expected) state.SkipWithError("the data read differs from the data written");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kFileSize));
    state.SetItemsProcessed(pieces);
}

void BM_Read64MiB_msfio_read(benchmark::State &state) {
    std::vector<char> buffer(kPiece);
    uint64_t digest = 0;
    int64_t pieces = 0;
    for (auto _ : state) {
        msfio_fd fd = msfio_open(fixture().path.c_str(), 1, 'r');
        digest = 0;
        int n;
        while ((n = msfio_read(fd, buffer.data(), kPiece)) > 0) {
            digest = fold(digest, buffer.data(), static_cast<size_t>(n));
            ++pieces;
        }
        msfio_close(fd);
    }
    finish(state, digest, pieces);
}
BENCHMARK(BM_Read64MiB_msfio_read)->Unit(benchmark::kMillisecond);

void BM_Read64MiB_read2(benchmark::State &state) {
    std::vector<char> buffer(kPiece);
    uint64_t digest = 0;
    int64_t pieces = 0;
    for (auto _ : state) {
        int fd = open(fixture().path.c_str(), O_RDONLY | O_CLOEXEC);
        digest = 0;
        ssize_t n;
        while ((n = read(fd, buffer.data(), kPiece)) > 0) {
            digest = fold(digest, buffer.data(), static_cast<size_t>(n));
            ++pieces;
        }
        close(fd);
    }
    finish(state, digest, pieces);
}
BENCHMARK(BM_Read64MiB_read2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
