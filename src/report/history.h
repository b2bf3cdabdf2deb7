#pragma once
// `tolvane --history` prints the operation journal without windows: who
// copied, moved or deleted which file, when, and how it ended.

#include <iosfwd>
#include <string>

struct HistoryRequest {
    enum class Format { Csv, Json };
    Format format = Format::Csv;
    // A journal time ("2026-12-01T00:00:00Z"): entries before it are left
    // out. Empty: all.
    std::string since;
};

// Writes the journal's entries in the order they were written (oldest
// first: the journal is streamed, never held whole): CSV with a header line,
// or one JSON array of the journal's own objects. Returns the exit code: 0;
// 1 when the journal could not be read or held damaged lines (said on err,
// the rest is still printed); 3 when out could not be written. No journal
// yet is no error: nothing has been done.
int RunHistory(const HistoryRequest& request, const std::string& journalPath, std::ostream& out,
               std::ostream& err);
