#include "SheetXml.h"

#include "ColumnWidths.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace corvalis::workbook {

namespace {

bool isXmlSpace(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isHexDigit(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "_x0041_" in a cell is read back as the character it names, so such a literal text keeps its
// underscore by writing the underscore itself that way. The pattern is ASCII, so the same test
// serves UTF-16 units and UTF-8 bytes.
template <typename Units> bool looksLikeEscape(const Units& text, std::size_t size, std::size_t at) {
    if (at + 6 >= size || text[at + 1] != 'x' || text[at + 6] != '_')
        return false;
    for (std::size_t i = at + 2; i < at + 6; ++i) {
        if (!isHexDigit(char32_t(text[i])))
            return false;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(char(code));
    } else if (code < 0x800) {
        out.push_back(char(0xC0 | (code >> 6)));
        out.push_back(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(char(0xE0 | (code >> 12)));
        out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(char(0x80 | (code & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (code >> 18)));
        out.push_back(char(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(char(0x80 | (code & 0x3F)));
    }
}

void appendControl(std::string& out, unsigned code) {
    char name[8];
    std::snprintf(name, sizeof name, "_x%04X_", code);
    out += name;
}

// One character below 0x80, escaped as the cell text needs it; `at` is its place in the text.
template <typename Units>
void appendAscii(std::string& out, const Units& text, std::size_t size, std::size_t at, unsigned c) {
    switch (c) {
    case '&':
        out += "&amp;";
        break;
    case '<':
        out += "&lt;";
        break;
    case '>':
        out += "&gt;";
        break;
    case '_':
        out += looksLikeEscape(text, size, at) ? "_x005F_" : "_";
        break;
    default:
        if (c < 0x20 && c != '\t' && c != '\n')
            appendControl(out, c);
        else
            out += char(c);
    }
}

// A character below 0x80 that the cell text holds as it is.
bool isPlainAscii(unsigned c) {
    return c >= 0x20 ? c != '&' && c != '<' && c != '>' && c != '_' : c == '\t' || c == '\n';
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `at` with its character, or 0 for bytes that
// are none (overlong forms, surrogates, beyond U+10FFFF, cut short).
std::size_t utf8Sequence(const unsigned char* bytes, std::size_t size, std::size_t at, char32_t& code) {
    const unsigned char lead = bytes[at];
    const std::size_t left = size - at;
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (left < 2 || !isContinuation(bytes[at + 1]))
            return 0;
        code = char32_t(lead & 0x1F) << 6 | (bytes[at + 1] & 0x3F);
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (left < 3 || !isContinuation(bytes[at + 1]) || !isContinuation(bytes[at + 2]))
            return 0;
        code = char32_t(lead & 0x0F) << 12 | char32_t(bytes[at + 1] & 0x3F) << 6 | (bytes[at + 2] & 0x3F);
        return code >= 0x800 && (code < 0xD800 || code > 0xDFFF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (left < 4 || !isContinuation(bytes[at + 1]) || !isContinuation(bytes[at + 2]) ||
            !isContinuation(bytes[at + 3]))
            return 0;
        code = char32_t(lead & 0x07) << 18 | char32_t(bytes[at + 1] & 0x3F) << 12 |
               char32_t(bytes[at + 2] & 0x3F) << 6 | (bytes[at + 3] & 0x3F);
        return code >= 0x10000 && code <= 0x10FFFF ? 4 : 0;
    }
    return 0;
}

} // namespace

void appendEscapedText(std::string& out, const QString& text) {
    const std::size_t size = std::size_t(text.size());
    const auto* units = reinterpret_cast<const char16_t*>(text.constData());
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t u = units[i];
        if (u < 0x80) {
            appendAscii(out, units, size, i, u);
            continue;
        }
        char32_t code = u;
        if (QChar::isHighSurrogate(u) && i + 1 < size && QChar::isLowSurrogate(units[i + 1]))
            code = QChar::surrogateToUcs4(u, units[++i]);
        else if (QChar::isSurrogate(u) || u == 0xFFFE || u == 0xFFFF)
            code = 0xFFFD; // not a character XML can hold
        appendUtf8(out, code);
    }
}

char* writeEscapedUtf8(char* out, const char* data, std::size_t size, double& width) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    width = 0;
    // QString::fromUtf8() drops a byte order mark at the start: that text takes its way.
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return nullptr;
    double lineWidth = 0;
    for (std::size_t i = 0; i < size;) {
        const unsigned char byte = bytes[i];
        if (byte < 0x80) {
            if (byte == '\n') {
                width = std::max(width, lineWidth);
                lineWidth = 0;
            } else {
                lineWidth += 1;
            }
            if (!isPlainAscii(byte)) {
                std::string escaped;
                appendAscii(escaped, bytes, size, i, byte);
                std::memcpy(out, escaped.data(), escaped.size());
                out += escaped.size();
            } else {
                *out++ = char(byte);
            }
            ++i;
            continue;
        }
        char32_t code = 0;
        const std::size_t length = utf8Sequence(bytes, size, i, code);
        if (length == 0)
            return nullptr;
        // Beyond the basic plane a character is two UTF-16 units, counted 2 together.
        lineWidth += code >= 0x10000 || isWideCharacter(code) ? 2 : 1;
        if (code == 0xFFFE || code == 0xFFFF) {
            std::memcpy(out, "\xEF\xBF\xBD", 3); // U+FFFD
            out += 3;
        } else {
            std::memcpy(out, data + i, length);
            out += length;
        }
        i += length;
    }
    width = std::max(width, lineWidth);
    return out;
}

bool needsPreservedSpace(const QString& text) {
    return !text.isEmpty() && (isXmlSpace(text.front().unicode()) || isXmlSpace(text.back().unicode()));
}

bool needsPreservedSpace(const char* data, std::size_t size) {
    return size != 0 && (isXmlSpace(char32_t(data[0])) || isXmlSpace(char32_t(data[size - 1])));
}

void appendNumber(std::string& out, double value) {
    char digits[32];
    std::to_chars_result written{};
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        written = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(value));
    } else {
        written = std::to_chars(digits, digits + sizeof digits, value);
        for (char* c = digits; c != written.ptr; ++c)
            *c = *c == 'e' ? 'E' : *c;
    }
    out.append(digits, std::size_t(written.ptr - digits));
}

} // namespace corvalis::workbook
