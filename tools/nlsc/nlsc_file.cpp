// NLS files: choosing the hash geometry, laying a file out, and reading one
// back without trusting it.
#include <algorithm>
#include <map>
#include <set>

#include "nlsc.h"

namespace qrv::nlsc {
namespace {

void put_be32(std::string &out, size_t at, uint32_t v) {
    out[at] = static_cast<char>(v >> 24);
    out[at + 1] = static_cast<char>(v >> 16);
    out[at + 2] = static_cast<char>(v >> 8);
    out[at + 3] = static_cast<char>(v);
}

void put_be16(std::string &out, size_t at, uint32_t v) {
    out[at] = static_cast<char>(v >> 8);
    out[at + 1] = static_cast<char>(v);
}

uint32_t be32(std::string_view in, size_t at) {
    auto b = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(in[at + k])); };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

uint32_t be16(std::string_view in, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(in[at])) << 8 | static_cast<unsigned char>(in[at + 1]);
}

// Readers fetch a text in pieces that end on 1024-byte boundaries of the
// file, up to the piece holding the NUL, into an area of kAreaSize bytes.
// A text placed so that those pieces would overrun the area starts on the
// next boundary instead, where the pieces add up to at most kAreaSize.
constexpr uint64_t kPiece = 1024;

uint64_t text_offset(uint64_t next, uint64_t length_with_nul) {
    uint64_t read_end = (next + length_with_nul + kPiece - 1) / kPiece * kPiece;
    if (read_end - next <= kAreaSize) return next;
    return (next + kPiece - 1) / kPiece * kPiece;
}

}  // namespace

Geometry choose_geometry(const std::vector<uint32_t> &ids) {
    if (ids.empty()) return {kEntrySize, 1};
    const uint64_t limit = std::min<uint64_t>(2 * ids.size(), uint64_t{kMaxId} + 1);
    uint32_t best_fill = static_cast<uint32_t>(ids.size()) + 1, best_count = 1;
    std::vector<uint32_t> fill;
    for (uint32_t n = 1; n <= limit && best_fill > 1; ++n) {
        fill.assign(n, 0);
        uint32_t worst = 0;
        for (uint32_t id : ids) {
            worst = std::max(worst, ++fill[id % n]);
            if (worst >= best_fill) break;  // cannot beat what we have
        }
        if (worst < best_fill) best_fill = worst, best_count = n;
    }
    return {best_fill * kEntrySize, best_count};
}

bool build_image(const std::vector<Message> &messages, std::string &image, std::string &error) {
    std::vector<const Message *> sorted;
    for (const Message &m : messages) sorted.push_back(&m);
    std::sort(sorted.begin(), sorted.end(), [](const Message *a, const Message *b) { return a->id < b->id; });
    std::vector<uint32_t> ids;
    for (const Message *m : sorted) {
        if (m->id < 1 || m->id > kMaxId) {
            error = "id " + std::to_string(m->id) + " is outside 1 to 65535";
            return false;
        }
        if (!ids.empty() && ids.back() == m->id) {
            error = "id " + std::to_string(m->id) + " is given twice";
            return false;
        }
        if (m->text.size() > kMaxTextLength || m->text.find('\0') != std::string::npos) {
            error = "the text of id " + std::to_string(m->id) + " is too long or holds a NUL";
            return false;
        }
        ids.push_back(m->id);
    }
    const Geometry g = choose_geometry(ids);
    if (g.bucket_size > kAreaSize) {
        error = "too many messages share a bucket";  // only with more ids than the format can hold
        return false;
    }
    const uint64_t hash_end = kHeaderSize + uint64_t{g.bucket_count} * g.bucket_size;

    // Texts in id order; equal texts are stored once.
    std::map<std::string_view, uint64_t> placed;
    std::vector<uint64_t> offsets;
    uint64_t next = hash_end;
    for (const Message *m : sorted) {
        auto it = placed.find(m->text);
        if (it == placed.end()) {
            uint64_t at = text_offset(next, m->text.size() + 1);
            it = placed.emplace(m->text, at).first;
            next = at + m->text.size() + 1;
        }
        offsets.push_back(it->second);
    }
    if (next > UINT32_MAX) {
        error = "the texts do not fit in a file of 4 GiB";
        return false;
    }

    image.assign(next, '\0');
    put_be32(image, 0, kMagic);
    put_be32(image, 4, kVersion);
    put_be32(image, 8, g.bucket_size);
    put_be32(image, 12, g.bucket_count);
    std::vector<uint32_t> used(g.bucket_count, 0);
    for (size_t i = 0; i < sorted.size(); ++i) {
        const Message &m = *sorted[i];
        uint32_t bucket = m.id % g.bucket_count;
        size_t at = kHeaderSize + size_t{bucket} * g.bucket_size + size_t{used[bucket]++} * kEntrySize;
        put_be16(image, at, m.id);
        put_be32(image, at + 2, static_cast<uint32_t>(offsets[i]));
        image.replace(offsets[i], m.text.size(), m.text);
    }
    return true;
}

bool version_supported(uint32_t version) { return version >= kOldestVersion && (version & 0xFFFF0000u) <= kVersion; }

bool read_header(std::string_view image, Header &header, std::string &error) {
    if (image.size() < kHeaderSize) {
        error = "the file is shorter than its 1024-byte header";
        return false;
    }
    if (be32(image, 0) != kMagic) {
        error = "not an NLS file (wrong magic)";
        return false;
    }
    Header h{be32(image, 4), be32(image, 8), be32(image, 12)};
    if (!version_supported(h.version)) {
        error = "unsupported NLS file version";
        return false;
    }
    if (h.bucket_size < kEntrySize || h.bucket_size > kAreaSize) {
        error = "bucket size " + std::to_string(h.bucket_size) + " is outside 6 to 8192";
        return false;
    }
    if (h.bucket_count == 0) {
        error = "bucket count 0";
        return false;
    }
    if (kHeaderSize + uint64_t{h.bucket_count} * h.bucket_size > image.size()) {
        error = "the hash area runs past the end of the file";
        return false;
    }
    header = h;
    return true;
}

namespace {

// The NUL-terminated text at an offset, checked against the file and the
// readers' area.
bool text_at(std::string_view image, uint32_t offset, std::string &text, std::string &error) {
    if (offset < kHeaderSize || offset >= image.size()) {
        error = "text offset " + std::to_string(offset) + " lies outside the file's texts";
        return false;
    }
    std::string_view rest = image.substr(offset, kAreaSize);
    size_t nul = rest.find('\0');
    if (nul == std::string_view::npos) {
        error = "the text at offset " + std::to_string(offset) + " has no NUL within 8192 bytes or the file";
        return false;
    }
    text.assign(rest.substr(0, nul));
    return true;
}

}  // namespace

Lookup find_message(std::string_view image, const Header &h, uint32_t id, std::string &text, std::string &error) {
    if (id < 1 || id > kMaxId) return Lookup::absent;
    size_t bucket = kHeaderSize + size_t{id % h.bucket_count} * h.bucket_size;
    for (size_t at = bucket; at + kEntrySize <= bucket + h.bucket_size; at += kEntrySize) {
        uint32_t entry_id = be16(image, at);
        if (entry_id == 0) break;
        if (entry_id == id) return text_at(image, be32(image, at + 2), text, error) ? Lookup::found : Lookup::bad;
    }
    return Lookup::absent;
}

bool read_all(std::string_view image, std::vector<Message> &messages, std::string &error) {
    messages.clear();
    Header h;
    if (!read_header(image, h, error)) return false;
    std::set<uint32_t> seen;
    for (uint32_t k = 0; k < h.bucket_count; ++k) {
        size_t bucket = kHeaderSize + size_t{k} * h.bucket_size;
        for (size_t at = bucket; at + kEntrySize <= bucket + h.bucket_size; at += kEntrySize) {
            uint32_t id = be16(image, at);
            if (id == 0) break;
            if (id % h.bucket_count != k) {
                error = "id " + std::to_string(id) + " is in bucket " + std::to_string(k) + " instead of " +
                        std::to_string(id % h.bucket_count);
                return false;
            }
            if (!seen.insert(id).second) {
                error = "id " + std::to_string(id) + " is given twice";
                return false;
            }
            Message m;
            m.id = id;
            if (!text_at(image, be32(image, at + 2), m.text, error)) return false;
            messages.push_back(std::move(m));
        }
    }
    std::sort(messages.begin(), messages.end(), [](const Message &a, const Message &b) { return a.id < b.id; });
    return true;
}

}  // namespace qrv::nlsc
