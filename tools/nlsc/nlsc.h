// The parts of the NLS message compiler, shared by qrvnlsc, the generator of
// the built-in message tables, the tests and the fuzzer: the message-source
// parser, the placeholder scanner, and the writer and reader of NLS files.
//
// An NLS file is a 1024-byte header (magic, version, bucket size B, bucket
// count N as big-endian 32-bit words, the rest zero), N buckets of B bytes,
// and NUL-terminated texts. A bucket is a run of 6-byte entries (16-bit id,
// 32-bit absolute offset of the text), ended by an entry with id 0 or by the
// end of the bucket; message m lives in bucket m mod N.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qrv::nlsc {

inline constexpr uint32_t kMagic = 0x199D6699;
inline constexpr uint32_t kVersion = 0x0A140007;  // the library's own version
inline constexpr uint32_t kOldestVersion = 0x08140000;
inline constexpr uint32_t kHeaderSize = 1024;
inline constexpr uint32_t kEntrySize = 6;
// Readers take a bucket, and a text with its NUL, into areas of this size.
inline constexpr uint32_t kAreaSize = 8192;
inline constexpr uint32_t kMaxTextLength = kAreaSize - 1;
inline constexpr uint32_t kMaxId = 65535;

// One message of a source. The text is decoded (escapes replaced), valid
// UTF-8 and free of NUL bytes.
struct Message {
    uint32_t id = 0;
    std::string text;
    bool builtin = true;  // false under [file-only]: the NLS file only
    int line = 0;         // where the source defines it
};

struct Diagnostic {
    int line = 0;  // 0: not tied to a line
    std::string what;
};

// --- Sources ---------------------------------------------------------------

// Parses a message source: lines "id<TAB>text", comment lines starting with
// "#", blank lines, and the section lines "[builtin]" (the default) and
// "[file-only]". Escapes in texts: \t \n \r \\ and \xHH. A UTF-8 byte-order
// mark and CR LF line ends are accepted. Returns false at the first error,
// with the messages read before it.
bool parse_source(std::string_view source, std::vector<Message> &messages, Diagnostic &error);

// A text in source form: the inverse of the parser's decoding.
std::string escape_text(std::string_view text);

// The conversions of a format for the library's formatting
// engine, in order and as written ("%ld", "%1$s", "%-5.2Q"). "%%" and a "%"
// that ends the format print a percent sign and are not conversions; an
// unknown conversion character ends its conversion without being part
// of it ("%y" gives "%"), as the engine still gives it an argument.
std::vector<std::string> placeholders(std::string_view format);

// --- Writing ---------------------------------------------------------------

struct Geometry {
    uint32_t bucket_size = 0;   // B, a multiple of 6
    uint32_t bucket_count = 0;  // N, at least 1
};

// The geometry for a set of distinct ids: the smallest fullest bucket over
// the bucket counts 1 to 2 x ids (so a lookup reads as little as it can and
// the hash area stays within twice its densest size), and the smallest
// bucket count among equals.
Geometry choose_geometry(const std::vector<uint32_t> &ids);

// Lays out a whole NLS file. Fails on ids outside 1..65535, repeated ids and
// texts longer than kMaxTextLength.
bool build_image(const std::vector<Message> &messages, std::string &image, std::string &error);

// --- Reading ---------------------------------------------------------------

struct Header {
    uint32_t version = 0;
    uint32_t bucket_size = 0;
    uint32_t bucket_count = 0;
};

// The library's version rule: at least 0x08140000 and, without its low 16
// bits, not above the library's own version.
bool version_supported(uint32_t version);

// Checks the header of a file image: its length, magic and version, a bucket
// size of one entry to kAreaSize bytes, a bucket count of at least 1 and a
// hash area inside the file.
bool read_header(std::string_view image, Header &header, std::string &error);

enum class Lookup { found, absent, bad };

// Looks one id up as the library does. Everything it reads lies inside the
// image; a text must end with a NUL inside the image and within kAreaSize
// bytes of its start.
Lookup find_message(std::string_view image, const Header &header, uint32_t id, std::string &text, std::string &error);

// Every message of a file, sorted by id. Fails on an entry in the wrong
// bucket, an id given twice or a text that find_message would refuse.
bool read_all(std::string_view image, std::vector<Message> &messages, std::string &error);

}  // namespace qrv::nlsc
