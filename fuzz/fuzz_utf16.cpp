// UTF-8 <-> UTF-16 on arbitrary bytes, through text/utf16.h and through the
// exported functions (win32_* whole strings, msos_ConvertINet* 65001 <->
// 1200, aligned and not, the latter by iconv). Valid input round-trips
// exactly; invalid input stops at the first bad offset (which
// utf8::first_invalid and a plain surrogate scan confirm) as kInvalid or,
// when the input ends inside a sequence that could still be valid,
// kTruncated; a full output stops at a character boundary with the prefix
// of the whole conversion; nothing is written past the room given.
//
// Input: one control byte (the room of the short-output runs), then the
// text, read both as UTF-8 bytes and as UTF-16 units.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "msos.h"
#include "text/utf16.h"
#include "text/utf8.h"

#define CHECK(ok) ((ok) ? void() : (std::fprintf(stderr, "fuzz_utf16: line %d: %s\n", __LINE__, #ok), std::abort()))

namespace {

using qrv::utf16::Result;
using qrv::utf16::Stop;
using Units = std::u16string;

constexpr char kFill = '\x5A';

// Whether the bytes left at the first bad offset are the start of a valid
// sequence cut by the end of the input.
bool cut_sequence(std::string_view rest) {
    if (rest.empty() || rest.size() >= 4) return false;
    for (int second = 0x80; second <= 0xBF; ++second) {
        unsigned char full[4] = {0x80, 0x80, 0x80, 0x80};
        std::memcpy(full, rest.data(), rest.size());
        if (rest.size() == 1) full[1] = static_cast<unsigned char>(second);
        if (qrv::utf8::sequence_length(full, 4) > static_cast<int>(rest.size())) return true;
        if (rest.size() > 1) break;
    }
    return false;
}

// Offset of the first unit that is not part of a valid pair (or plain
// unit), or npos; *cut when it is a high surrogate at the very end.
size_t first_bad_unit(const Units &u, bool *cut) {
    *cut = false;
    for (size_t i = 0; i < u.size(); ++i) {
        char16_t c = u[i];
        if (c >= 0xDC00 && c <= 0xDFFF) return i;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == u.size()) {
                *cut = true;
                return i;
            }
            if (u[i + 1] < 0xDC00 || u[i + 1] > 0xDFFF) return i;
            ++i;
        }
    }
    return Units::npos;
}

Units from_utf8(std::string_view s, Result *r) {
    Result need = qrv::utf16::from_utf8(s.data(), s.size(), static_cast<char16_t *>(nullptr), 0);
    Units out(need.written, u'\0');
    *r = qrv::utf16::from_utf8(s.data(), s.size(), out.data(), out.size());
    CHECK(r->read == need.read && r->written == need.written && r->stop == need.stop);
    return out;
}

std::string to_utf8(const Units &u, Result *r) {
    Result need = qrv::utf16::to_utf8(u.data(), u.size(), static_cast<char *>(nullptr), 0);
    std::string out(need.written, '\0');
    *r = qrv::utf16::to_utf8(u.data(), u.size(), out.data(), out.size());
    CHECK(r->read == need.read && r->written == need.written && r->stop == need.stop);
    return out;
}

// The exported service, 65001 -> 1200, into exactly the room it asks for
// (unit-aligned, or one byte off so that iconv converts).
Units service_to_units(std::string_view s, bool aligned, int *consumed) {
    uint32_t mode = 0;
    int src_len = static_cast<int>(s.size()), need = 0;
    CHECK(msos_ConvertINetMultiByteToUnicode(&mode, 65001, s.data(), &src_len, nullptr, &need) == MSOS_CONVERT_OK);
    std::vector<char> buffer(static_cast<size_t>(need) * 2 + 1 + 8, kFill);
    char *at = buffer.data() + (aligned ? 0 : 1);
    src_len = static_cast<int>(s.size());
    int room = need;
    int32_t rc;
    if (aligned) {
        rc = msos_ConvertINetMultiByteToUnicode(&mode, 65001, s.data(), &src_len, reinterpret_cast<qrv_wchar *>(at),
                                                &room);
    } else {
        room = need * 2;
        rc = msos_ConvertINetString(&mode, 65001, 1200, s.data(), &src_len, at, &room);
        room /= 2;
    }
    CHECK(rc == MSOS_CONVERT_OK && room == need);
    for (size_t i = static_cast<size_t>(need) * 2 + (aligned ? 0 : 1); i < buffer.size(); ++i)
        CHECK(buffer[i] == kFill);
    *consumed = src_len;
    Units out(static_cast<size_t>(need), u'\0');
    if (need > 0) std::memcpy(out.data(), at, static_cast<size_t>(need) * 2);
    return out;
}

// The exported service, 1200 -> 65001, into exactly the room it asks for;
// the source unaligned sends it through iconv.
std::string service_to_bytes(const Units &u, bool aligned, int *consumed) {
    std::vector<char> source(u.size() * 2 + 1);
    char *from = source.data() + (aligned ? 0 : 1);
    if (!u.empty()) std::memcpy(from, u.data(), u.size() * 2);
    uint32_t mode = 0;
    int src_len = static_cast<int>(u.size() * 2), need = 0;
    auto call = [&](char *dst, int *room) {
        src_len = static_cast<int>(u.size() * 2);
        if (aligned) {
            src_len /= 2;
            int32_t rc = msos_ConvertINetUnicodeToMultiByte(&mode, 65001, reinterpret_cast<const qrv_wchar *>(from),
                                                            &src_len, dst, room);
            src_len *= 2;
            return rc;
        }
        return msos_ConvertINetString(&mode, 1200, 65001, from, &src_len, dst, room);
    };
    CHECK(call(nullptr, &need) == MSOS_CONVERT_OK);
    std::vector<char> buffer(static_cast<size_t>(need) + 8, kFill);
    int room = need;
    CHECK(call(buffer.data(), &room) == MSOS_CONVERT_OK && room == need);
    for (size_t i = static_cast<size_t>(need); i < buffer.size(); ++i) CHECK(buffer[i] == kFill);
    *consumed = src_len / 2;
    return std::string(buffer.data(), static_cast<size_t>(need));
}

void check_utf8(std::string_view s, size_t room) {
    Result r;
    Units units = from_utf8(s, &r);
    size_t bad = qrv::utf8::first_invalid(s);
    if (bad == std::string_view::npos) {
        CHECK(r.stop == Stop::kDone && r.read == s.size());
        Result back;
        CHECK(to_utf8(units, &back) == s && back.stop == Stop::kDone);
    } else {
        CHECK(r.read == bad);
        CHECK(r.stop == (cut_sequence(s.substr(bad)) ? Stop::kTruncated : Stop::kInvalid));
        Result back;
        CHECK(to_utf8(units, &back) == s.substr(0, bad) && back.stop == Stop::kDone);
    }

    // A short output: the longest whole-character prefix that fits.
    if (room < units.size()) {
        std::vector<char16_t> out(room + 4, u'\x5A5A');
        Result part = qrv::utf16::from_utf8(s.data(), s.size(), out.data(), room);
        CHECK(part.stop == Stop::kFull && part.written <= room && room - part.written <= 1);
        CHECK(Units(out.data(), part.written) == units.substr(0, part.written));
        CHECK(qrv::utf8::first_invalid(s.substr(0, part.read)) == std::string_view::npos);
        for (size_t i = room; i < out.size(); ++i) CHECK(out[i] == u'\x5A5A');
    }

    // The exported functions agree with the converter.
    for (bool aligned : {true, false}) {
        int consumed = -1;
        Units service = service_to_units(s, aligned, &consumed);
        CHECK(static_cast<size_t>(consumed) == r.read && service == units);
    }
    std::string text(s.substr(0, s.find('\0')));
    qrv_wchar *wide = win32_MultiByteToWideChar(text.c_str());
    CHECK((wide != nullptr) == qrv::utf8::valid(text));
    if (wide != nullptr) {
        Result whole;
        Units expected = from_utf8(text, &whole);
        CHECK(std::memcmp(wide, expected.c_str(), (expected.size() + 1) * 2) == 0);
        char *narrow = win32_WideCharToMultiByte(wide);
        CHECK(narrow != nullptr && text == narrow);
        std::free(narrow);
    }
    std::free(wide);
}

void check_units(const Units &u, size_t room) {
    Result r;
    std::string bytes = to_utf8(u, &r);
    bool cut = false;
    size_t bad = first_bad_unit(u, &cut);
    if (bad == Units::npos) {
        CHECK(r.stop == Stop::kDone && r.read == u.size());
        Result back;
        CHECK(from_utf8(bytes, &back) == u && back.stop == Stop::kDone);
    } else {
        CHECK(r.read == bad && r.stop == (cut ? Stop::kTruncated : Stop::kInvalid));
        Result back;
        CHECK(from_utf8(bytes, &back) == u.substr(0, bad) && back.stop == Stop::kDone);
    }

    if (room < bytes.size()) {
        std::vector<char> out(room + 4, kFill);
        Result part = qrv::utf16::to_utf8(u.data(), u.size(), out.data(), room);
        CHECK(part.stop == Stop::kFull && part.written <= room && room - part.written <= 3);
        CHECK(std::string_view(out.data(), part.written) == std::string_view(bytes).substr(0, part.written));
        for (size_t i = room; i < out.size(); ++i) CHECK(out[i] == kFill);
    }

    for (bool aligned : {true, false}) {
        int consumed = -1;
        std::string service = service_to_bytes(u, aligned, &consumed);
        CHECK(static_cast<size_t>(consumed) == r.read && service == bytes);
    }
    Units text = u.substr(0, u.find(u'\0'));
    char *narrow = win32_WideCharToMultiByte(reinterpret_cast<const qrv_wchar *>(text.c_str()));
    bool cut_text = false;
    CHECK((narrow != nullptr) == (first_bad_unit(text, &cut_text) == Units::npos));
    if (narrow != nullptr) {
        qrv_wchar *wide = win32_MultiByteToWideChar(narrow);
        CHECK(wide != nullptr && std::memcmp(wide, text.c_str(), (text.size() + 1) * 2) == 0);
        std::free(wide);
    }
    std::free(narrow);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    size_t room = data[0];
    std::string_view s(reinterpret_cast<const char *>(data + 1), size - 1);
    check_utf8(s, room);
    Units units(s.size() / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), s.data(), units.size() * 2);
    check_units(units, room);
    return 0;
}
