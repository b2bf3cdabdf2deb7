#pragma once
// Reads CSV text as RFC 4180 defines it, independently of the program's
// writer: fields separated by commas, lines by CR LF, a quoted field may hold
// commas, line breaks and doubled quotes. Malformed text throws.

#include <stdexcept>
#include <string>
#include <vector>

using CsvRows = std::vector<std::vector<std::string>>;

inline CsvRows ReadCsv(const std::string& text) {
    CsvRows rows;
    std::vector<std::string> row;
    std::string field;
    std::size_t i = 0;
    bool atFieldStart = true;
    while (i < text.size()) {
        const char c = text[i];
        if (atFieldStart && c == '"') {
            ++i;
            for (;;) {
                if (i >= text.size())
                    throw std::runtime_error("unterminated quoted field");
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            atFieldStart = false;
            if (i < text.size() && text[i] != ',' && text[i] != '\r')
                throw std::runtime_error("text after a closing quote");
            continue;
        }
        if (c == ',') {
            row.push_back(field);
            field.clear();
            atFieldStart = true;
            ++i;
        } else if (c == '\r') {
            if (i + 1 >= text.size() || text[i + 1] != '\n')
                throw std::runtime_error("CR without LF");
            row.push_back(field);
            rows.push_back(row);
            row.clear();
            field.clear();
            atFieldStart = true;
            i += 2;
        } else if (c == '"' || c == '\n') {
            throw std::runtime_error("quote or line break in an unquoted field");
        } else {
            field += c;
            atFieldStart = false;
            ++i;
        }
    }
    if (!row.empty() || !field.empty())
        throw std::runtime_error("last line without CR LF");
    return rows;
}
