#include "io/csv.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

void AppendCsvField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

std::string CsvField(std::string_view text) {
    std::string out;
    AppendCsvField(out, text);
    return out;
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i != 0)
            line += ',';
        line += CsvField(fields[i]);
    }
    line += "\r\n";
    return line;
}

namespace {

// The length of the UTF-8 sequence at text[i], 0 when it is none.
std::size_t sequenceLength(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = 0;
    unsigned minimum = 0;
    unsigned code = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        code = c & 0x1F;
        minimum = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        code = c & 0x0F;
        minimum = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        code = c & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto d = static_cast<unsigned char>(text[i + k]);
        if ((d & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (d & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = sequenceLength(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

std::optional<std::string> FromBase64(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    auto digit = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    };
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        // Padding only at the end: "xx==" holds one byte, "xxx=" two.
        const std::size_t pad = last && text[i + 3] == '=' ? (text[i + 2] == '=' ? 2 : 1) : 0;
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const int value = k >= 4 - pad ? 0 : digit(text[i + k]);
            if (value < 0)
                return std::nullopt;
            group = group << 6 | static_cast<std::uint32_t>(value);
        }
        for (std::size_t k = 0; k < 3 - pad; ++k)
            out += static_cast<char>((group >> (16 - 8 * k)) & 0xFF);
    }
    return out;
}

std::string TerminalText(std::string_view text) {
    std::string out;
    auto escape = [&out](std::string_view bytes) {
        for (const char c : bytes) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
            out += escaped;
        }
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = sequenceLength(text, i);
        const std::size_t n = length == 0 ? 1 : length;
        // U+0080 to U+009F, the C1 controls, are two bytes: C2 80 to C2 9F.
        const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (length == 0 || c < 0x20 || c == 0x7F || c1)
            escape(text.substr(i, n));
        else if (c == '\\')
            out += "\\\\";
        else
            out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const std::size_t n = sequenceLength(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(text.substr(i, n));
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
        i += n;
    }
    out += '"';
}

std::string JsonString(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}
