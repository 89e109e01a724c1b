// The NLS compiler on arbitrary input. As a message source: whatever the
// parser accepts compiles, reads back through the compiler's reader to the
// same messages, and each text survives escaping and parsing again. As an
// NLS file: the reader refuses or reads it without leaving the image.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "nlsc.h"

#define CHECK(ok) ((ok) ? void() : (std::fprintf(stderr, "fuzz_nlsc: %s\n", #ok), std::abort()))

namespace {

void as_source(std::string_view input) {
    std::vector<qrv::nlsc::Message> messages;
    qrv::nlsc::Diagnostic diag;
    if (!qrv::nlsc::parse_source(input, messages, diag)) {
        CHECK(diag.line > 0 && !diag.what.empty());
        return;
    }
    std::string image, error;
    CHECK(qrv::nlsc::build_image(messages, image, error));
    qrv::nlsc::Header header;
    CHECK(qrv::nlsc::read_header(image, header, error));
    for (const auto &m : messages) {
        std::string text;
        CHECK(qrv::nlsc::find_message(image, header, m.id, text, error) == qrv::nlsc::Lookup::found);
        CHECK(text == m.text);
        std::vector<qrv::nlsc::Message> again;
        CHECK(qrv::nlsc::parse_source("1\t" + qrv::nlsc::escape_text(m.text), again, diag));
        CHECK(again.size() == 1 && again[0].text == m.text);
    }
    std::vector<qrv::nlsc::Message> back;
    CHECK(qrv::nlsc::read_all(image, back, error));
    CHECK(back.size() == messages.size());
}

void as_file(std::string_view input) {
    qrv::nlsc::Header header;
    std::string error, text;
    if (!qrv::nlsc::read_header(input, header, error)) return;
    std::vector<qrv::nlsc::Message> messages;
    qrv::nlsc::read_all(input, messages, error);
    for (uint32_t id : {1u, 2u, 16001u, 65535u}) qrv::nlsc::find_message(input, header, id, text, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    as_source(input);
    as_file(input);
    return 0;
}
