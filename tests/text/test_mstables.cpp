// The character tables against glibc's <ctype.h> in the C locale, with the
// library's deliberate differences spelled out: "_" counts as an upper-case
// letter and not as punctuation, and bytes 0x80-0xF7 are multibyte bytes.
#include <cctype>
#include <string>

#include "mstables.h"
#include "text_support.h"

namespace {

unsigned expected_type(int c) {
    if (c >= 0x80) return c <= 0xF7 ? MSTABLES_MULTI : 0;
    unsigned bits = 0;
    if (std::isupper(c) || c == '_') bits |= MSTABLES_UPPER;
    if (std::islower(c)) bits |= MSTABLES_LOWER;
    if (std::isdigit(c)) bits |= MSTABLES_DIGIT;
    if (std::ispunct(c) && c != '_') bits |= MSTABLES_PUNCT;
    if (c == '\t') bits |= MSTABLES_TAB;
    if (std::isspace(c) && c != '\t' && c != ' ') bits |= MSTABLES_OTHER_WHITE;
    if (c == ' ') bits |= MSTABLES_SPACE;
    if (std::isxdigit(c) && std::isalpha(c)) bits |= MSTABLES_HEX_LETTER;
    return bits;
}

TEST(Mstables, CharTypeMatchesCtype) {
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(mstables_char_type[c], expected_type(c)) << "byte " << c;
        EXPECT_EQ((mstables_char_type[c] & MSTABLES_WHITE) != 0, c < 0x80 && std::isspace(c)) << "byte " << c;
    }
}

TEST(Mstables, CaseMapsTouchOnlyAsciiLetters) {
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(mstables_char_lc[c], c < 0x80 ? std::tolower(c) : c) << "byte " << c;
        EXPECT_EQ(mstables_char_uc[c], c < 0x80 ? std::toupper(c) : c) << "byte " << c;
    }
}

}  // namespace
