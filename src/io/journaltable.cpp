#include "io/journaltable.h"

#include "io/csv.h"

#include <algorithm>
#include <cstring>

const char* const JournalTable::kTitles[kColumns] = {
    "Time", "User", "Host", "Operation", "Source", "Target", "Bytes", "Result", "Message"};

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

void JournalTable::append(const JournalEntry& entry) {
    m_starts.push_back(m_text.size());
    for (const std::string* field :
         {&entry.time, &entry.user, &entry.host, &entry.operation, &entry.source, &entry.target}) {
        m_text += *field;
        m_text += '\0';
    }
    m_text += std::to_string(entry.bytes);
    m_text += '\0';
    m_text += entry.result;
    m_text += '\0';
    m_text += entry.message;
    m_text += '\0';
}

JournalRead JournalTable::Load(const std::string& path) {
    m_text.clear();
    m_starts.clear();
    return ReadJournal(path, [this](JournalEntry&& entry) { append(entry); });
}

void JournalTable::Add(const JournalEntry& entry) {
    append(entry);
}

std::string_view JournalTable::Field(std::size_t row, int column) const {
    if (row >= m_starts.size() || column < 0 || column >= kColumns)
        return {};
    const char* p = m_text.data() + m_starts[m_starts.size() - 1 - row];
    for (int c = 0; c < column; ++c)
        p += std::strlen(p) + 1;
    return {p, std::strlen(p)};
}

std::vector<std::uint32_t> JournalTable::Matching(std::string_view text) const {
    std::vector<std::uint32_t> rows;
    rows.reserve(text.empty() ? m_starts.size() : 0);
    std::string needle(text);
    std::transform(needle.begin(), needle.end(), needle.begin(), lower);
    const std::size_t n = m_starts.size();
    for (std::size_t row = 0; row < n; ++row) {
        const std::size_t i = n - 1 - row;
        const std::size_t end = i + 1 < n ? m_starts[i + 1] : m_text.size();
        const std::string_view entry(m_text.data() + m_starts[i], end - m_starts[i]);
        // The needle holds no zero byte, so no match runs across two fields.
        const auto found = std::search(entry.begin(), entry.end(), needle.begin(), needle.end(),
                                       [](char a, char b) { return lower(a) == b; });
        if (needle.empty() || found != entry.end())
            rows.push_back(static_cast<std::uint32_t>(row));
    }
    return rows;
}

std::string JournalTable::Csv(const std::vector<std::uint32_t>& rows) const {
    std::string out = CsvLine(std::vector<std::string>(std::begin(kTitles), std::end(kTitles)));
    for (const std::uint32_t row : rows) {
        for (int c = 0; c < kColumns; ++c) {
            if (c != 0)
                out += ',';
            AppendCsvField(out, Field(row, c));
        }
        out += "\r\n";
    }
    return out;
}
