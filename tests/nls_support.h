// NLS file images for the message tests: whole files from messages (through
// the NLS compiler's writer) and hand-laid ones for the reader's refusals.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "nlsc.h"

// Big-endian bytes of the low `bytes` bytes of v.
inline std::string be_bytes(uint32_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

inline std::string nls_header(uint32_t bucket_size, uint32_t bucket_count, uint32_t magic = qrv::nlsc::kMagic,
                              uint32_t version = qrv::nlsc::kVersion) {
    std::string h = be_bytes(magic, 4) + be_bytes(version, 4) + be_bytes(bucket_size, 4) + be_bytes(bucket_count, 4);
    return h + std::string(1024 - h.size(), '\0');
}

// A file holding the given messages, as qrvnlsc writes it.
inline std::string nls_image(const std::vector<std::pair<uint32_t, std::string>> &texts) {
    std::vector<qrv::nlsc::Message> messages;
    for (const auto &[id, text] : texts) messages.push_back({id, text, false, 0});
    std::string image, error;
    return qrv::nlsc::build_image(messages, image, error) ? image : "build failed: " + error;
}
