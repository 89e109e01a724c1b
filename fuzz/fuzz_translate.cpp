// Translator records on arbitrary bytes, every pair of ids 2 to 9 in both
// directions, with the built-in installation: a conversion that succeeds
// consumed the whole input, gives the same bytes into a buffer of exactly
// its size (and fails one byte short without writing past it), and agrees
// with the string-buffer form on the text before the first terminator.
// Where the mapping is one-to-one the output converts back to the input:
// UTF8 <-> Wchar always, and what UTF8 or Wchar became in ASCII, LATIN1 or
// EUC_KR (CP932, GBK and EUC-JP map some characters one way only). A
// conversion to UTF8 and one to Wchar of the same input agree.
//
// Input: the pair (first byte), the direction and an odd source address
// (second byte), then the source.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "msbasic.h"
#include "mscs.h"

#define CHECK(ok) ((ok) ? void() : (std::fprintf(stderr, "fuzz_translate: line %d: %s\n", __LINE__, #ok), std::abort()))

namespace {

using Bytes = std::string;

constexpr int kFirst = MSCS_WCHAR, kLast = MSCS_SJIS;

mscstrans_trans *record(int cs1, int cs2) {
    static mscstrans_trans records[kLast + 1][kLast + 1];
    static bool ready = [] {
        unsetenv("QUORVELPATH");  // the built-in installation
        return msbasic_init_main(msbasic_init_cascade) == 1;
    }();
    CHECK(ready);
    mscstrans_trans *t = &records[cs1][cs2];
    if (t->magic != MSCSTRANS_MAGIC) {
        CHECK(mscstrans_init_trans(t) == 1);
        CHECK(mscstrans_open_trans(cs1, cs2, t) == 1);
    }
    return t;
}

int unit_of(int cs) { return cs == MSCS_WCHAR ? 2 : 1; }

// Converts src from one set to another (a record opened as given, the
// direction chosen); the output, or false when the conversion fails.
bool translate(int cs1, int cs2, int direction, const char *src, size_t n, Bytes *out) {
    mscstrans_trans *t = record(cs1, cs2);
    std::vector<char> big(n * 4 + 16);
    int out_len = -1, status = -1;
    int ok = mscstrans_cs1_cs2(t, direction, src, static_cast<int>(n), big.data(), static_cast<int>(big.size()),
                               &out_len, &status);
    CHECK(ok == 0 || ok == 1);
    if (ok == 0) {
        CHECK(status == MSCSTRANS_STATUS_PARTIAL);
        return false;
    }
    CHECK(status == MSCSTRANS_STATUS_OK && out_len >= 0 && static_cast<size_t>(out_len) <= big.size());
    out->assign(big.data(), static_cast<size_t>(out_len));

    // Exactly the room it needs, on the heap so that a write past it shows.
    auto *exact = new char[static_cast<size_t>(out_len) + 1];
    int again = -1;
    CHECK(mscstrans_cs1_cs2(t, direction, src, static_cast<int>(n), exact, out_len, &again, &status) == 1);
    CHECK(again == out_len && std::memcmp(exact, out->data(), out->size()) == 0);
    delete[] exact;
    if (out_len > 0) {
        auto *shorter = new char[static_cast<size_t>(out_len) - 1 + 1];  // never empty
        CHECK(mscstrans_cs1_cs2(t, direction, src, static_cast<int>(n), shorter, out_len - 1, &again, &status) == 0);
        CHECK(status == MSCSTRANS_STATUS_PARTIAL);
        delete[] shorter;
    }
    return true;
}

bool translate(int from, int to, const Bytes &src, Bytes *out) {
    return from == to ? (*out = src, true) : translate(from, to, 0, src.data(), src.size(), out);
}

// The string-buffer form on the text up to the first terminator agrees
// with the plain form on that text and its terminator.
void check_string(int cs1, int cs2, int direction, const Bytes &src) {
    int from = direction == 0 ? cs1 : cs2, to = direction == 0 ? cs2 : cs1;
    size_t unit = static_cast<size_t>(unit_of(from));
    const Bytes zero(unit, '\0');
    Bytes text;
    for (size_t i = 0; i + unit <= src.size(); i += unit) {
        if (src.compare(i, unit, zero) == 0) break;
        text.append(src, i, unit);
    }
    text.append(unit, '\0');
    Bytes expected;
    bool expected_ok = translate(cs1, cs2, direction, text.data(), text.size(), &expected);
    mscstrans_trans *t = record(cs1, cs2);
    if (t->kind == MSCSTRANS_PLATFORM && expected.size() >= 2) {  // its leading mark is skipped
        if (to == MSCS_UTF8 && expected.compare(0, 3, "\xEF\xBB\xBF") == 0) expected.erase(0, 3);
        if (to == MSCS_WCHAR && expected.compare(0, 2, "\xFF\xFE") == 0) expected.erase(0, 2);
    }
    mscstrans_strbuf b;
    mscstrans_strbuf_init(&b);
    for (int round = 0; round < 2; ++round) {  // the second reuses the storage
        int status = -1;
        int ok = mscstrans_cs1_cs2_str_ex(t, direction, text.data(), -1, &b, &status);
        CHECK((ok != 0) == expected_ok);
        if (!expected_ok) {
            CHECK(status == MSCSTRANS_STATUS_PARTIAL);
            break;
        }
        CHECK(status == MSCSTRANS_STATUS_OK && b.text != nullptr && b.text >= b.storage);
        CHECK(b.text + b.length <= b.storage + b.size);
        CHECK(Bytes(b.text, static_cast<size_t>(b.length)) == expected);
    }
    mscstrans_strbuf_destroy(&b);
}

bool one_to_one(int cs) { return cs == MSCS_ASCII || cs == MSCS_LATIN1 || cs == MSCS_EUC_KR; }
bool unicode(int cs) { return cs == MSCS_UTF8 || cs == MSCS_WCHAR; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    int cs1 = kFirst + data[0] % 8;
    int cs2 = kFirst + (cs1 - kFirst + 1 + (data[0] >> 3) % 7) % 8;
    int direction = data[1] & 1;
    int from = direction == 0 ? cs1 : cs2, to = direction == 0 ? cs2 : cs1;
    Bytes src(reinterpret_cast<const char *>(data + 2), size - 2);

    Bytes out;
    bool ok = translate(cs1, cs2, direction, src.data(), src.size(), &out);

    // An odd address for a Wchar source: the same conversion, or refused;
    // never read as misaligned units.
    if ((data[1] & 2) != 0 && from == MSCS_WCHAR) {
        std::vector<char> odd(src.size() + 1);
        std::memcpy(odd.data() + 1, src.data(), src.size());
        Bytes odd_out;
        if (translate(cs1, cs2, direction, odd.data() + 1, src.size(), &odd_out)) CHECK(ok && odd_out == out);
    }
    check_string(cs1, cs2, direction, src);
    if (!ok) return 0;

    if (unicode(from)) {
        Bytes back;
        bool back_ok = translate(to, from, out, &back);
        CHECK(back_ok);  // what a conversion wrote, the other direction reads
        if (unicode(to) || one_to_one(to)) CHECK(back == src);
    } else if (unicode(to)) {
        // The other Unicode form of the same input, and the two agree.
        int other = to == MSCS_UTF8 ? MSCS_WCHAR : MSCS_UTF8;
        Bytes direct, via;
        CHECK(translate(from, other, src, &direct));
        CHECK(translate(to, other, out, &via) && via == direct);
    }
    return 0;
}
