#include "report/history.h"

#include "io/csv.h"
#include "io/journal.h"
#include "platform/systemtext.h"

#include <cerrno>
#include <ostream>

int RunHistory(const HistoryRequest& request, const std::string& journalPath, std::ostream& out,
               std::ostream& err) {
    const bool json = request.format == HistoryRequest::Format::Json;
    errno = 0;
    if (json)
        out << "[";
    else
        out << CsvLine({"time", "user", "host", "operation", "source", "target", "bytes", "result",
                        "message"});
    bool first = true;
    std::string text;
    const JournalRead read = ReadJournal(journalPath, [&](JournalEntry&& entry) {
        // Journal times sort as text.
        if (!request.since.empty() && entry.time < request.since)
            return;
        text.clear();
        if (json) {
            text += first ? "\n  " : ",\n  ";
            std::string line = JournalLine(entry);
            line.pop_back();
            text += line;
        } else {
            for (const std::string* field : {&entry.time, &entry.user, &entry.host,
                                             &entry.operation, &entry.source, &entry.target}) {
                AppendCsvField(text, *field);
                text += ',';
            }
            text += std::to_string(entry.bytes);
            text += ',';
            AppendCsvField(text, entry.result);
            text += ',';
            AppendCsvField(text, entry.message);
            text += "\r\n";
        }
        first = false;
        out << text;
    });
    if (json)
        out << (first ? "]\n" : "\n]\n");
    out.flush();
    if (!out) {
        const int cause = errno;
        err << "tolvane: the history could not be written";
        if (cause != 0)
            err << ": " << platform::SystemErrorText(cause);
        err << "\n";
        return 3;
    }
    int exitCode = 0;
    if (read.error != 0 && read.error != ENOENT) {
        err << "tolvane: " << TerminalText(journalPath) << ": "
            << platform::SystemErrorText(read.error) << "\n";
        exitCode = 1;
    }
    if (read.skipped != 0) {
        err << "tolvane: " << TerminalText(journalPath) << ": " << read.skipped
            << " damaged line(s) left out\n";
        exitCode = 1;
    }
    return exitCode;
}
