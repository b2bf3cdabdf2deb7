#pragma once
// The operation journal: every copy, move, delete, store and database
// deletion appends one line of JSON to $XDG_STATE_HOME/tolvane/journal.jsonl
// (~/.local/state/tolvane/ without it), so that an administrator can see
// afterwards who did what to which file. The file is only ever appended to
// (O_APPEND, one write a line, so that two programs writing at once never
// mix their lines) and never read to be written: a journal of any length
// costs nothing to add to. A journal that cannot be written is said once a
// run; the operation goes on.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct JournalEntry {
    // ISO 8601 in UTC to the second: "2026-12-10T14:03:05Z".
    std::string time;
    std::string user;
    std::string host;
    // "copy", "move", "trash", "delete", "store copy", "store move" or
    // "delete database".
    std::string operation;
    std::string source;
    // The file's final path; empty for a delete.
    std::string target;
    std::uint64_t bytes = 0;
    // "done", "failed", "aborted" or "not exist".
    std::string result;
    // The message the user was shown, if any.
    std::string message;
};

// Where the journal is: $XDG_STATE_HOME/tolvane/journal.jsonl when that is
// an absolute path, else $HOME/.local/state/tolvane/journal.jsonl, else the
// home folder of the user in the password database.
std::string JournalPath();

// Now, as the journal writes times.
std::string JournalTime();

// One line of the journal, with its line feed. A path that is not UTF-8 is
// written readable, with U+FFFD for its foreign bytes, and exactly, in
// base64, beside it (source_bytes, target_bytes).
std::string JournalLine(const JournalEntry& entry);
// The entry of one line (without its line feed); nothing when the line is
// not one the journal writes. Members it does not know are passed over.
std::optional<JournalEntry> ParseJournalLine(std::string_view line);

// The lines one run appends. The first line made fills in the user and the
// host; each line is written at once, and Finish puts them on disk.
class JournalWriter {
public:
    explicit JournalWriter(std::string path = JournalPath());
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // Appends the entry, with the time, user and host filled in where they
    // are empty. False when it could not be written; the first failure of
    // the run is kept for TakeFailure. A journal whose volume does not answer
    // within the deadline fails, and every append after it at once.
    bool Append(JournalEntry entry);
    // Syncs what the run wrote to disk and closes the file.
    bool Finish();
    // What went wrong, the first time it is asked after a failure: empty
    // otherwise, so that a run says it once.
    std::string TakeFailure();
    const std::string& Path() const { return m_path; }
    void SetDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }

private:
    struct Io;
    // How a call into the file ended: what could not be done, and errno.
    struct Step {
        const char* what = "";
        int error = 0;
    };
    Step InTime(std::function<Step(int& fd)> work);
    bool Open();
    void Failed(const char* what, int error);

    std::string m_path;
    std::shared_ptr<Io> m_io;
    std::chrono::milliseconds m_deadline;
    bool m_opened = false;
    bool m_failed = false;
    bool m_said = false;
    std::string m_failure;
    std::string m_user;
    std::string m_host;
};

// What reading a journal came to.
struct JournalRead {
    std::uint64_t entries = 0;
    // Lines that were not journal lines (damaged, cut short, too long).
    std::uint64_t skipped = 0;
    // errno of a failure to open or read; ENOENT when there is no journal.
    int error = 0;
};

// Hands every entry of the journal to each, in the order written; lines
// longer than kMaxJournalLine are skipped, never held whole. A journal that
// stops answering ends the reading at the volume deadline, with ETIMEDOUT.
inline constexpr std::size_t kMaxJournalLine = 1 << 20;
JournalRead ReadJournal(const std::string& path, const std::function<void(JournalEntry&&)>& each);

// A --since value as a journal time ("2026-12-01" is
// "2026-12-01T00:00:00Z"); nothing when it is no date.
std::optional<std::string> JournalSince(std::string_view date);
