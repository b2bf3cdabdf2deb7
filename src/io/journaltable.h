#pragma once
// The operation journal held for a window: every entry's fields in one block
// of text, newest first, so that a journal of a million lines takes little
// more memory than its file, and a find over all of it is one pass.

#include "io/journal.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JournalTable {
public:
    // The columns, in the journal's order of fields.
    enum Column { Time, User, Host, Operation, Source, Target, Bytes, Result, Message };
    static constexpr int kColumns = 9;
    static const char* const kTitles[kColumns];

    // Reads the journal anew; its entries newest first.
    JournalRead Load(const std::string& path);
    // Adds one entry as the newest (for tests and benchmarks that build a
    // table without a file).
    void Add(const JournalEntry& entry);

    std::size_t size() const { return m_starts.size(); }
    // Row 0 is the newest entry.
    std::string_view Field(std::size_t row, int column) const;
    // The rows any of whose fields holds text, ignoring the case of ASCII
    // letters; all rows for an empty text. In row order.
    std::vector<std::uint32_t> Matching(std::string_view text) const;
    // The rows as CSV (RFC 4180), under a line of the column titles.
    std::string Csv(const std::vector<std::uint32_t>& rows) const;

private:
    void append(const JournalEntry& entry);

    // Entries in the order written, each its fields separated by a zero byte
    // (no field holds one: paths cannot, and the journal escapes it).
    std::string m_text;
    std::vector<std::uint64_t> m_starts;
};
