// Message sources: the line parser, the escapes and the placeholder scanner.
#include <cstdio>
#include <map>

#include "nlsc.h"
#include "text/utf8.h"

namespace qrv::nlsc {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string byte_name(unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", c);
    return buf;
}

// Decodes the text part of a message line.
bool decode_text(std::string_view raw, std::string &text, std::string &error) {
    text.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            error = "control character " + byte_name(u) + " in the text (write a tab as \\t, other bytes as \\xHH)";
            return false;
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++i == raw.size()) {
            error = "backslash at the end of the line (write it as \\\\)";
            return false;
        }
        switch (raw[i]) {
            case 't':
                text += '\t';
                break;
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            case '\\':
                text += '\\';
                break;
            case 'x': {
                int hi = i + 1 < raw.size() ? hex_value(raw[i + 1]) : -1;
                int lo = i + 2 < raw.size() ? hex_value(raw[i + 2]) : -1;
                if (hi < 0 || lo < 0) {
                    error = "\\x needs two hexadecimal digits";
                    return false;
                }
                if (hi == 0 && lo == 0) {
                    error = "\\x00 would end the text early";
                    return false;
                }
                text += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                error = std::string("unknown escape \\") + raw[i];
                return false;
        }
    }
    if (size_t bad = qrv::utf8::first_invalid(text); bad != std::string_view::npos) {
        error = "the text is not valid UTF-8 (byte " + std::to_string(bad + 1) + ")";
        return false;
    }
    if (text.size() > kMaxTextLength) {
        error = "the text is " + std::to_string(text.size()) + " bytes long; at most " +
                std::to_string(kMaxTextLength) + " fit";
        return false;
    }
    return true;
}

// "1" to "65535" without leading zeros or signs.
bool parse_id(std::string_view field, uint32_t &id) {
    if (field.empty() || field.size() > 5 || field[0] == '0') return false;
    uint32_t value = 0;
    for (char c : field) {
        if (!is_digit(c)) return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > kMaxId) return false;
    id = value;
    return true;
}

std::string_view trim_right(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

bool parse_source(std::string_view source, std::vector<Message> &messages, Diagnostic &error) {
    if (source.substr(0, 3) == "\xEF\xBB\xBF") source.remove_prefix(3);
    messages.clear();
    std::map<uint32_t, int> seen;  // id -> line
    bool builtin = true;
    int line_no = 0;
    size_t pos = 0;
    while (pos < source.size()) {
        size_t end = source.find('\n', pos);
        if (end == std::string_view::npos) end = source.size();
        std::string_view line = source.substr(pos, end - pos);
        pos = end + 1;
        ++line_no;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        auto fail = [&](std::string what) {
            error = {line_no, std::move(what)};
            return false;
        };
        if (line.find('\0') != std::string_view::npos) return fail("NUL byte in the line");
        if (trim_right(line).empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            std::string_view section = trim_right(line);
            if (section == "[builtin]") {
                builtin = true;
            } else if (section == "[file-only]") {
                builtin = false;
            } else {
                return fail("unknown section " + std::string(section) + " (use [builtin] or [file-only])");
            }
            continue;
        }
        size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return fail("no tab between the id and the text");
        Message m;
        m.line = line_no;
        m.builtin = builtin;
        if (!parse_id(line.substr(0, tab), m.id)) return fail("the id must be a number from 1 to 65535");
        std::string what;
        if (!decode_text(line.substr(tab + 1), m.text, what)) return fail(what);
        auto [it, fresh] = seen.emplace(m.id, line_no);
        if (!fresh)
            return fail("id " + std::to_string(m.id) + " is already defined on line " + std::to_string(it->second));
        messages.push_back(std::move(m));
    }
    return true;
}

std::string escape_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\x%02X", u);
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::vector<std::string> placeholders(std::string_view f) {
    // Follows the engine's reading of a conversion: position "N$", one of
    // " #+", one of "-0", width, precision, "l" or "ll", the conversion.
    static constexpr std::string_view kConversions = "cdiuoxXpsQeEfgG";
    std::vector<std::string> found;
    auto at = [&](size_t i) { return i < f.size() ? f[i] : '\0'; };
    auto skip_position = [&](size_t &i) {
        if (at(i) >= '1' && at(i) <= '9' && at(i + 1) == '$') i += 2;
    };
    auto skip_number = [&](size_t &i) {
        if (at(i) == '*') {
            ++i;
            skip_position(i);
        } else {
            while (is_digit(at(i))) ++i;
        }
    };
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') continue;
        size_t start = i++;
        if (i == f.size()) break;
        if (f[i] == '%') continue;
        skip_position(i);
        if (at(i) == ' ' || at(i) == '#' || at(i) == '+') ++i;
        if (at(i) == '-' || at(i) == '0') ++i;
        skip_number(i);
        if (at(i) == '.') {
            ++i;
            skip_number(i);
        }
        if (at(i) == 'l') ++i;
        if (at(i) == 'l') ++i;
        if (at(i) != '\0' && kConversions.find(at(i)) != std::string_view::npos) ++i;
        found.emplace_back(f.substr(start, i - start));
        --i;
    }
    return found;
}

}  // namespace qrv::nlsc
