// Code-set conversions beside glibc iconv, in one process:
// - UTF-8 -> UTF-16 and back of 1 MiB of mixed text (ASCII runs, Latin
//   letters with accents, CJK): the code-page service (65001 <-> 1200) and
//   text/utf16.h called directly, against one iconv call with a reused
//   descriptor;
// - Shift-JIS -> UTF-8 of 1 MiB through an open translator record
//   (mscstrans_cs1_cs2, built-in installation) against the same iconv call;
// - msfmt "%ls" of a 40-character wide string against "%s" of the same
//   text in UTF-8.
// Each checks its output against the peer's before timing.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "msbasic.h"
#include "mscs.h"
#include "msfmt.h"
#include "msos.h"
#include "text/utf16.h"

namespace {

struct Library {
    Library() {
        unsetenv("QUORVELPATH");  // the built-in installation
        msbasic_init_main(msbasic_init_cascade);
    }
    ~Library() { msbasic_end_main(msbasic_init_cascade); }
};

Library &library() {
    static Library lib;
    return lib;
}

constexpr size_t kMiB = 1 << 20;

// Whole pieces of text in turn until about 1 MiB.
std::string build(const std::vector<const char *> &pieces) {
    std::string s;
    for (size_t i = 0; s.size() < kMiB; ++i) s += pieces[(i * 7) % pieces.size()];
    return s;
}

const std::string &mixed_utf8() {
    static const std::string text = build({
        "The quick brown fox jumps over the lazy dog; 0123456789. ",
        "SELECT name, price FROM items WHERE id = 42 ORDER BY name;\n",
        "Grüße aus Köln, café crème, señor Ñúñez, naïve Ångström. ",
        "Ça va? Élève, déjà vu, smørrebrød, Œuvre, Łódź, Dvořák. ",
        "日本語の文章をここに書きます。東京都千代田区。",
        "中文文本的例子，数据库系统。",
        "한국어 텍스트 예제입니다. ",
        "Plain ASCII again, a longer run of it to keep the fast path busy. ",
    });
    return text;
}

// Shift-JIS (CP932) text: Japanese with ASCII runs and half-width kana.
const std::string &sjis_text() {
    static const std::string text = [] {
        std::string utf8 = build({
            "日本語の文章をここに書きます。東京都千代田区一丁目。",
            "The quick brown fox jumps over the lazy dog 12345. ",
            "ｶﾀｶﾅ ﾃｷｽﾄ ﾃﾞｽ。",
            "データベースの表と索引、トランザクション処理。",
        });
        iconv_t cd = iconv_open("CP932", "UTF-8");
        std::string out(utf8.size(), '\0');
        char *in = utf8.data(), *o = out.data();
        size_t left = utf8.size(), room = out.size();
        iconv(cd, &in, &left, &o, &room);
        iconv_close(cd);
        out.resize(out.size() - room);
        return out;
    }();
    return text;
}

// One iconv call over the whole input with a descriptor made once.
size_t run_iconv(iconv_t cd, const char *src, size_t n, char *dst, size_t room) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *in = const_cast<char *>(src), *out = dst;
    size_t left = n, free_bytes = room;
    if (iconv(cd, &in, &left, &out, &free_bytes) == static_cast<size_t>(-1) || left != 0) return 0;
    return room - free_bytes;
}

bool same(benchmark::State &state, const void *a, size_t a_bytes, const void *b, size_t b_bytes) {
    if (a_bytes == b_bytes && a_bytes > 0 && std::memcmp(a, b, a_bytes) == 0) return true;
    state.SkipWithError("the outputs differ");
    return false;
}

// ---- UTF-8 <-> UTF-16 ----------------------------------------------------------

const std::u16string &mixed_utf16() {
    static const std::u16string units = [] {
        const std::string &s = mixed_utf8();
        std::u16string u(s.size(), u'\0');
        u.resize(qrv::utf16::from_utf8(s.data(), s.size(), u.data(), u.size()).written);
        return u;
    }();
    return units;
}

size_t iconv_to_utf16(std::u16string *out) {
    static iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    const std::string &s = mixed_utf8();
    return run_iconv(cd, s.data(), s.size(), reinterpret_cast<char *>(out->data()), out->size() * 2) / 2;
}

size_t iconv_to_utf8(std::string *out) {
    static iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    const std::u16string &u = mixed_utf16();
    return run_iconv(cd, reinterpret_cast<const char *>(u.data()), u.size() * 2, out->data(), out->size());
}

void BM_Utf8ToUtf16_Service(benchmark::State &state) {
    library();
    const std::string &s = mixed_utf8();
    std::u16string out(s.size(), u'\0'), peer(s.size(), u'\0');
    auto call = [&] {
        uint32_t mode = 0;
        int src_len = static_cast<int>(s.size()), dst_len = static_cast<int>(out.size());
        msos_ConvertINetMultiByteToUnicode(&mode, 65001, s.data(), &src_len, reinterpret_cast<qrv_wchar *>(out.data()),
                                           &dst_len);
        return static_cast<size_t>(dst_len);
    };
    if (!same(state, out.data(), call() * 2, peer.data(), iconv_to_utf16(&peer) * 2)) return;
    for (auto _ : state) benchmark::DoNotOptimize(call());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(BM_Utf8ToUtf16_Service)->Unit(benchmark::kMicrosecond);

// The peer's side of a conversion: convert(out) into a buffer of room
// units, timed; bytes is the input size each call processes.
template <typename Out, typename Convert>
void iconv_peer(benchmark::State &state, size_t room, size_t bytes, Convert convert) {
    Out out(room, typename Out::value_type{});
    if (convert(&out) == 0) {
        state.SkipWithError("iconv failed");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(convert(&out));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_Utf8ToUtf16_Direct(benchmark::State &state) {
    const std::string &s = mixed_utf8();
    std::u16string out(s.size(), u'\0'), peer(s.size(), u'\0');
    auto call = [&] { return qrv::utf16::from_utf8(s.data(), s.size(), out.data(), out.size()).written; };
    if (!same(state, out.data(), call() * 2, peer.data(), iconv_to_utf16(&peer) * 2)) return;
    for (auto _ : state) benchmark::DoNotOptimize(call());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(BM_Utf8ToUtf16_Direct)->Unit(benchmark::kMicrosecond);

void BM_Utf8ToUtf16_Iconv(benchmark::State &state) {
    iconv_peer<std::u16string>(state, mixed_utf8().size(), mixed_utf8().size(), iconv_to_utf16);
}
BENCHMARK(BM_Utf8ToUtf16_Iconv)->Unit(benchmark::kMicrosecond);

void BM_Utf16ToUtf8_Service(benchmark::State &state) {
    library();
    const std::u16string &u = mixed_utf16();
    std::string out(u.size() * 3, '\0'), peer(u.size() * 3, '\0');
    auto call = [&] {
        uint32_t mode = 0;
        int src_len = static_cast<int>(u.size()), dst_len = static_cast<int>(out.size());
        msos_ConvertINetUnicodeToMultiByte(&mode, 65001, reinterpret_cast<const qrv_wchar *>(u.data()), &src_len,
                                           out.data(), &dst_len);
        return static_cast<size_t>(dst_len);
    };
    if (!same(state, out.data(), call(), peer.data(), iconv_to_utf8(&peer))) return;
    for (auto _ : state) benchmark::DoNotOptimize(call());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * mixed_utf8().size()));
}
BENCHMARK(BM_Utf16ToUtf8_Service)->Unit(benchmark::kMicrosecond);

void BM_Utf16ToUtf8_Direct(benchmark::State &state) {
    const std::u16string &u = mixed_utf16();
    std::string out(u.size() * 3, '\0'), peer(u.size() * 3, '\0');
    auto call = [&] { return qrv::utf16::to_utf8(u.data(), u.size(), out.data(), out.size()).written; };
    if (!same(state, out.data(), call(), peer.data(), iconv_to_utf8(&peer))) return;
    for (auto _ : state) benchmark::DoNotOptimize(call());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * mixed_utf8().size()));
}
BENCHMARK(BM_Utf16ToUtf8_Direct)->Unit(benchmark::kMicrosecond);

void BM_Utf16ToUtf8_Iconv(benchmark::State &state) {
    iconv_peer<std::string>(state, mixed_utf16().size() * 3, mixed_utf8().size(), iconv_to_utf8);
}
BENCHMARK(BM_Utf16ToUtf8_Iconv)->Unit(benchmark::kMicrosecond);

// ---- Shift-JIS -> UTF-8 ------------------------------------------------------------

size_t iconv_sjis(std::string *out) {
    static iconv_t cd = iconv_open("UTF-8", "CP932");
    const std::string &s = sjis_text();
    return run_iconv(cd, s.data(), s.size(), out->data(), out->size());
}

void BM_SjisToUtf8_Translator(benchmark::State &state) {
    library();
    const std::string &s = sjis_text();
    mscstrans_trans t;
    mscstrans_init_trans(&t);
    if (mscstrans_open_trans(MSCS_SJIS, MSCS_UTF8, &t) != 1) {
        state.SkipWithError("mscstrans_open_trans failed");
        return;
    }
    std::string out(s.size() * 3, '\0'), peer(s.size() * 3, '\0');
    auto call = [&] {
        int out_len = 0, status = 0;
        mscstrans_cs1_cs2(&t, 0, s.data(), static_cast<int>(s.size()), out.data(), static_cast<int>(out.size()),
                          &out_len, &status);
        return static_cast<size_t>(out_len);
    };
    if (same(state, out.data(), call(), peer.data(), iconv_sjis(&peer))) {
        for (auto _ : state) benchmark::DoNotOptimize(call());
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
    }
    mscstrans_close_trans(&t);
}
BENCHMARK(BM_SjisToUtf8_Translator)->Unit(benchmark::kMicrosecond);

void BM_SjisToUtf8_Iconv(benchmark::State &state) {
    iconv_peer<std::string>(state, sjis_text().size() * 3, sjis_text().size(), iconv_sjis);
}
BENCHMARK(BM_SjisToUtf8_Iconv)->Unit(benchmark::kMicrosecond);

// ---- msfmt %ls ------------------------------------------------------------------

// 40 characters: ASCII, Latin letters with accents and CJK.
constexpr char kText[] = "Grüße aus Köln: café crème, 日本語のテキストを表示。";
constexpr char16_t kWide[] = u"Grüße aus Köln: café crème, 日本語のテキストを表示。";
static_assert(sizeof kWide / 2 - 1 == 40, "40 characters");

void BM_FormatWideString(benchmark::State &state) {
    library();
    char buf[256];
    msfmt_buffer_lim(buf, sizeof buf, "name=%ls;", kWide);
    if (std::strcmp(buf, (std::string("name=") + kText + ";").c_str()) != 0) {
        state.SkipWithError(buf);
        return;
    }
    for (auto _ : state) {
        msfmt_buffer_lim(buf, sizeof buf, "name=%ls;", kWide);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_FormatWideString);

void BM_FormatUtf8String(benchmark::State &state) {
    library();
    char buf[256];
    for (auto _ : state) {
        msfmt_buffer_lim(buf, sizeof buf, "name=%s;", kText);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_FormatUtf8String);

}  // namespace

BENCHMARK_MAIN();
