#include "io/journal.h"

#include "io/csv.h"
#include "platform/systemtext.h"
#include "platform/volumes.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <future>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A field of this user's account entry; empty when there is none.
std::string accountField(char* passwd::*field) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->*field != nullptr)
        return found->*field;
    return {};
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return home;
    const std::string home = accountField(&passwd::pw_dir);
    return home.empty() ? "/" : home;
}

std::string userName() {
    const std::string name = accountField(&passwd::pw_name);
    return name.empty() ? std::to_string(::geteuid()) : name;
}

// Makes the folders of path that are missing, readable by the user alone.
int makeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash == std::string::npos)
            return 0;
    }
}

void appendMember(std::string& line, const char* name, std::string_view text, bool exact) {
    line += ", \"";
    line += name;
    line += "\": ";
    AppendJsonString(line, text);
    if (exact && !IsUtf8(text)) {
        line += ", \"";
        line += name;
        line += "_bytes\": \"";
        line += Base64(text);
        line += '"';
    }
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Reads the flat objects the journal writes: members whose values are
// strings, whole numbers, true, false or null.
class ObjectReader {
public:
    explicit ObjectReader(std::string_view text) : m_text(text) {}

    template <class Member> bool Read(Member&& member) {
        space();
        if (!take('{'))
            return false;
        space();
        if (take('}'))
            return atEnd();
        for (;;) {
            std::string name;
            space();
            if (!memberName(name))
                return false;
            if (!member(name, *this))
                return false;
            space();
            if (take('}'))
                return atEnd();
            if (!take(','))
                return false;
        }
    }

    // A member's name and its colon, and the blanks after them.
    bool memberName(std::string& name) {
        if (!string(name))
            return false;
        space();
        if (!take(':'))
            return false;
        space();
        return true;
    }

    bool string(std::string& out) {
        if (!take('"'))
            return false;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size())
                return false;
            switch (m_text[m_at++]) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::uint32_t code = 0;
                if (!hex4(code))
                    return false;
                if (code >= 0xD800 && code < 0xDC00 && m_text.substr(m_at, 2) == "\\u") {
                    m_at += 2;
                    std::uint32_t low = 0;
                    if (!hex4(low))
                        return false;
                    if (low >= 0xDC00 && low < 0xE000) {
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else {
                        appendUtf8(out, 0xFFFD);
                        code = low;
                    }
                }
                // A zero would end the field in a table of the journal.
                appendUtf8(out, code == 0 || (code >= 0xD800 && code < 0xE000) ? 0xFFFD : code);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    bool number(std::uint64_t& out) {
        const std::size_t start = m_at;
        out = 0;
        while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') {
            const auto digit = static_cast<std::uint64_t>(m_text[m_at] - '0');
            if (out > (UINT64_MAX - digit) / 10)
                return false;
            out = out * 10 + digit;
            ++m_at;
        }
        return m_at > start;
    }

    // A value of a member the journal does not know: any JSON value, nested
    // at most a few levels.
    bool skip(int depth = 0) {
        if (depth > 8 || m_at >= m_text.size())
            return false;
        if (m_text[m_at] == '"') {
            std::string ignored;
            return string(ignored);
        }
        if (m_text[m_at] == '[' || m_text[m_at] == '{') {
            const char close = m_text[m_at] == '[' ? ']' : '}';
            ++m_at;
            space();
            if (take(close))
                return true;
            for (;;) {
                space();
                std::string name;
                if (close == '}' && !memberName(name))
                    return false;
                if (!skip(depth + 1))
                    return false;
                space();
                if (take(close))
                    return true;
                if (!take(','))
                    return false;
            }
        }
        for (const std::string_view word : {"true", "false", "null"}) {
            if (m_text.substr(m_at, word.size()) == word) {
                m_at += word.size();
                return true;
            }
        }
        take('-');
        std::uint64_t ignored = 0;
        if (!number(ignored))
            return false;
        if (take('.') && !number(ignored))
            return false;
        if (take('e') || take('E')) {
            if (!take('+'))
                take('-');
            return number(ignored);
        }
        return true;
    }

private:
    void space() {
        while (m_at < m_text.size() &&
               (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\r'))
            ++m_at;
    }
    bool take(char c) {
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool atEnd() {
        space();
        return m_at == m_text.size();
    }
    bool hex4(std::uint32_t& code) {
        if (m_text.size() - m_at < 4)
            return false;
        for (int k = 0; k < 4; ++k) {
            const char c = m_text[m_at++];
            std::uint32_t value = 0;
            if (c >= '0' && c <= '9')
                value = static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value = static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value = static_cast<std::uint32_t>(c - 'A' + 10);
            else
                return false;
            code = code << 4 | value;
        }
        return true;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

bool digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size())
        return false;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

int twoDigits(std::string_view text, std::size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

} // namespace

std::string JournalPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // A relative XDG path is to be ignored, as the base directory rules say.
    const std::string base = state != nullptr && state[0] == '/'
                                 ? std::string(state)
                                 : homeFolder() + (homeFolder() == "/" ? "" : "/") + ".local/state";
    return base + "/tolvane/journal.jsonl";
}

std::string JournalTime() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    ::gmtime_r(&now.tv_sec, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string JournalLine(const JournalEntry& entry) {
    std::string line = "{\"time\": ";
    AppendJsonString(line, entry.time);
    appendMember(line, "user", entry.user, false);
    appendMember(line, "host", entry.host, false);
    appendMember(line, "operation", entry.operation, false);
    appendMember(line, "source", entry.source, true);
    appendMember(line, "target", entry.target, true);
    line += ", \"bytes\": " + std::to_string(entry.bytes);
    appendMember(line, "result", entry.result, false);
    appendMember(line, "message", entry.message, false);
    line += "}\n";
    return line;
}

namespace {

// The text members of a line; a line lacks none of the required ones.
struct TextMember {
    std::string_view name;
    std::string JournalEntry::*field;
    bool required;
};
constexpr TextMember kTextMembers[] = {
    {"time", &JournalEntry::time, true},      {"user", &JournalEntry::user, false},
    {"host", &JournalEntry::host, false},     {"operation", &JournalEntry::operation, true},
    {"source", &JournalEntry::source, false}, {"target", &JournalEntry::target, false},
    {"result", &JournalEntry::result, true},  {"message", &JournalEntry::message, false},
};

} // namespace

std::optional<JournalEntry> ParseJournalLine(std::string_view line) {
    JournalEntry entry;
    unsigned found = 0; // a bit for each text member read
    std::optional<std::string> sourceBytes;
    std::optional<std::string> targetBytes;
    ObjectReader reader(line);
    const bool read = reader.Read([&](const std::string& name, ObjectReader& r) {
        for (std::size_t i = 0; i < std::size(kTextMembers); ++i) {
            if (name == kTextMembers[i].name) {
                found |= 1u << i;
                std::string& text = entry.*kTextMembers[i].field;
                text.clear();
                return r.string(text);
            }
        }
        if (name == "bytes")
            return r.number(entry.bytes);
        if (name == "source_bytes" || name == "target_bytes") {
            std::string encoded;
            if (!r.string(encoded))
                return false;
            std::optional<std::string> bytes = FromBase64(encoded);
            // No path holds a zero byte; a line that says one does is damaged.
            if (!bytes || bytes->find('\0') != std::string::npos)
                return false;
            (name == "source_bytes" ? sourceBytes : targetBytes) = std::move(bytes);
            return true;
        }
        return r.skip();
    });
    if (!read)
        return std::nullopt;
    for (std::size_t i = 0; i < std::size(kTextMembers); ++i) {
        if (kTextMembers[i].required && (found & (1u << i)) == 0)
            return std::nullopt;
    }
    if (sourceBytes)
        entry.source = std::move(*sourceBytes);
    if (targetBytes)
        entry.target = std::move(*targetBytes);
    return entry;
}

// The file's calls run on a thread of the writer's own and are awaited for
// at most the volume deadline: a journal on a network share whose server is
// gone must not hold up the run that writes it. A call that does not return
// in time is left to its thread, which owns what it touches.
struct JournalWriter::Io {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool quit = false;
    int fd = -1;

    static void Serve(const std::shared_ptr<Io>& io) {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(io->mutex);
                io->wake.wait(lock, [&] { return io->quit || !io->tasks.empty(); });
                if (io->tasks.empty()) {
                    if (io->fd >= 0)
                        ::close(io->fd);
                    return;
                }
                task = std::move(io->tasks.front());
                io->tasks.pop_front();
            }
            task();
        }
    }
};

JournalWriter::JournalWriter(std::string path)
    : m_path(std::move(path)), m_deadline(platform::kVolumeDeadline) {}

JournalWriter::~JournalWriter() {
    if (m_io == nullptr)
        return;
    {
        std::lock_guard lock(m_io->mutex);
        m_io->quit = true;
    }
    m_io->wake.notify_one();
}

JournalWriter::Step JournalWriter::InTime(std::function<Step(int& fd)> work) {
    if (m_io == nullptr) {
        m_io = std::make_shared<Io>();
        try {
            std::thread(Io::Serve, m_io).detach();
        } catch (const std::system_error& error) {
            m_io.reset();
            return {"written", error.code().value()};
        }
    }
    auto result = std::make_shared<std::promise<Step>>();
    std::future<Step> answer = result->get_future();
    {
        std::lock_guard lock(m_io->mutex);
        m_io->tasks.push_back(
            [io = m_io.get(), result, work = std::move(work)] { result->set_value(work(io->fd)); });
    }
    m_io->wake.notify_one();
    if (answer.wait_for(m_deadline) != std::future_status::ready)
        return {"written", ETIMEDOUT};
    return answer.get();
}

void JournalWriter::Failed(const char* what, int error) {
    if (!m_failed) {
        m_failure = std::string("The operation journal ") + m_path + " could not be " + what +
                    ": " +
                    (error == ETIMEDOUT ? std::string("its volume does not answer")
                                        : platform::SystemErrorText(error));
    }
    m_failed = true;
}

bool JournalWriter::Open() {
    if (m_opened)
        return true;
    m_user = userName();
    m_host = platform::HostName();
    const Step opened = InTime([path = m_path](int& fd) -> Step {
        const std::size_t slash = path.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            if (const int error = makeFolders(path.substr(0, slash)); error != 0)
                return {"made", error};
        }
        // Read and written: its last byte is read, never more.
        fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return {"opened", errno};
        // A line cut short by a full disk or a crash must not swallow the
        // next one: it is ended first, and stays a damaged line of its own.
        struct stat st {};
        char last = '\n';
        if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) != 1)
            last = '\n';
        if (last != '\n' && ::write(fd, "\n", 1) != 1)
            return {"written", errno};
        return {};
    });
    if (opened.error != 0) {
        Failed(opened.what, opened.error);
        return false;
    }
    m_opened = true;
    return true;
}

bool JournalWriter::Append(JournalEntry entry) {
    if (m_failed || !Open())
        return false;
    if (entry.time.empty())
        entry.time = JournalTime();
    if (entry.user.empty())
        entry.user = m_user;
    if (entry.host.empty())
        entry.host = m_host;
    // One write a line: with O_APPEND the line lands whole at the end even
    // when another program appends at the same time.
    const Step written = InTime([line = JournalLine(entry)](int& fd) -> Step {
        const ssize_t n = ::write(fd, line.data(), line.size());
        if (n != static_cast<ssize_t>(line.size()))
            return {"written", n < 0 ? errno : ENOSPC};
        return {};
    });
    if (written.error != 0) {
        Failed(written.what, written.error);
        return false;
    }
    return true;
}

bool JournalWriter::Finish() {
    if (m_failed || !m_opened)
        return !m_failed;
    const Step synced = InTime([](int& fd) -> Step {
        const int result = ::fsync(fd);
        const int error = result != 0 ? errno : 0;
        const int closed = ::close(fd);
        fd = -1;
        if (error != 0 || closed != 0)
            return {"written", error != 0 ? error : errno};
        return {};
    });
    m_opened = false;
    if (synced.error != 0) {
        Failed(synced.what, synced.error);
        return false;
    }
    return true;
}

std::string JournalWriter::TakeFailure() {
    if (!m_failed || m_said)
        return {};
    m_said = true;
    return m_failure;
}

namespace {

// Reads a file a piece at a time on a thread of its own, a few pieces ahead
// of whoever takes them. A journal on a share that stops answering blocks
// that thread for good, not the window or the command that reads: a piece
// that does not come within the deadline ends the reading. The thread owns
// only what it shares with the reader, and goes when its call returns.
class PieceReader {
public:
    static constexpr std::size_t kPiece = std::size_t{1} << 20;
    static constexpr std::size_t kAhead = 4;

    PieceReader(std::string path, std::chrono::milliseconds deadline)
        : m_shared(std::make_shared<Shared>()), m_deadline(deadline) {
        try {
            std::thread([shared = m_shared, path = std::move(path)] {
                shared->Run(path);
            }).detach();
        } catch (const std::system_error& e) {
            m_shared->error = e.code().value() != 0 ? e.code().value() : EAGAIN;
            m_shared->done = true;
        }
    }
    ~PieceReader() {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->abandoned = true;
        m_shared->changed.notify_all();
    }
    PieceReader(const PieceReader&) = delete;
    PieceReader& operator=(const PieceReader&) = delete;

    // The next piece; empty at the end, with error set on a failure (or
    // ETIMEDOUT when the file stopped answering).
    std::vector<char> Next(int& error) {
        std::unique_lock lock(m_shared->mutex);
        if (!m_shared->changed.wait_for(
                lock, m_deadline, [this] { return !m_shared->pieces.empty() || m_shared->done; })) {
            error = ETIMEDOUT;
            return {};
        }
        if (m_shared->pieces.empty()) {
            error = m_shared->error;
            return {};
        }
        std::vector<char> piece = std::move(m_shared->pieces.front());
        m_shared->pieces.pop_front();
        m_shared->changed.notify_all();
        return piece;
    }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::vector<char>> pieces;
        bool done = false;
        bool abandoned = false;
        int error = 0;

        void Run(const std::string& path) {
            // Opened without waiting (a pipe would wait for a writer), then
            // read as a file is.
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
            int failure = fd < 0 ? errno : 0;
            // A journal is a file: a device or a pipe in its place may
            // never end.
            struct stat st {};
            if (failure == 0 && ::fstat(fd, &st) != 0)
                failure = errno;
            else if (failure == 0 && !S_ISREG(st.st_mode))
                failure = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            else if (failure == 0 && ::fcntl(fd, F_SETFL, O_RDONLY) != 0)
                failure = errno;
            while (failure == 0) {
                std::vector<char> piece(kPiece);
                const ssize_t n = ::read(fd, piece.data(), piece.size());
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    failure = n < 0 ? errno : 0;
                    break;
                }
                piece.resize(static_cast<std::size_t>(n));
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return pieces.size() < kAhead || abandoned; });
                if (abandoned)
                    break;
                pieces.push_back(std::move(piece));
                changed.notify_all();
            }
            if (fd >= 0)
                ::close(fd);
            const std::lock_guard lock(mutex);
            error = failure;
            done = true;
            changed.notify_all();
        }
    };
    std::shared_ptr<Shared> m_shared;
    std::chrono::milliseconds m_deadline;
};

} // namespace

JournalRead ReadJournal(const std::string& path, const std::function<void(JournalEntry&&)>& each) {
    JournalRead read;
    PieceReader pieces(path, platform::kVolumeDeadline);
    std::string line;
    bool overlong = false;
    auto finishLine = [&] {
        if (overlong) {
            ++read.skipped;
        } else if (!line.empty()) {
            if (std::optional<JournalEntry> entry = ParseJournalLine(line)) {
                ++read.entries;
                each(std::move(*entry));
            } else {
                ++read.skipped;
            }
        }
        line.clear();
        overlong = false;
    };
    for (;;) {
        const std::vector<char> piece = pieces.Next(read.error);
        if (piece.empty())
            break;
        std::string_view chunk(piece.data(), piece.size());
        while (!chunk.empty()) {
            const std::size_t end = chunk.find('\n');
            const std::string_view part = chunk.substr(0, end);
            if (!overlong && line.size() + part.size() <= kMaxJournalLine)
                line.append(part);
            else {
                overlong = true;
                line.clear();
            }
            if (end == std::string_view::npos)
                break;
            finishLine();
            chunk.remove_prefix(end + 1);
        }
    }
    // The last line may lack its line feed: it counts when it is whole, and
    // is no damage when it is not (another program may be writing it).
    if (read.error == 0 && !overlong && !line.empty()) {
        if (std::optional<JournalEntry> entry = ParseJournalLine(line)) {
            ++read.entries;
            each(std::move(*entry));
        }
    }
    return read;
}

std::optional<std::string> JournalSince(std::string_view date) {
    if (!digits(date, 0, 4) || date.size() < 10 || date[4] != '-' || !digits(date, 5, 2) ||
        date[7] != '-' || !digits(date, 8, 2))
        return std::nullopt;
    const int month = twoDigits(date, 5);
    const int day = twoDigits(date, 8);
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    std::string time = "00:00:00";
    std::string_view rest = date.substr(10);
    if (!rest.empty()) {
        if (rest[0] != 'T' && rest[0] != ' ')
            return std::nullopt;
        rest.remove_prefix(1);
        if (rest.ends_with('Z'))
            rest.remove_suffix(1);
        if ((rest.size() != 5 && rest.size() != 8) || !digits(rest, 0, 2) || rest[2] != ':' ||
            !digits(rest, 3, 2) || (rest.size() == 8 && (rest[5] != ':' || !digits(rest, 6, 2))))
            return std::nullopt;
        if (twoDigits(rest, 0) > 23 || twoDigits(rest, 3) > 59 ||
            (rest.size() == 8 && twoDigits(rest, 6) > 60))
            return std::nullopt;
        time = std::string(rest) + (rest.size() == 5 ? ":00" : "");
    }
    return std::string(date.substr(0, 10)) + "T" + time + "Z";
}
