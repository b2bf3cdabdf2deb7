#include "report/report.h"

#include "io/csv.h"
#include "mediadb/databaselist.h"
#include "mediadb/databaseload.h"
#include "mediadb/essencetext.h"
#include "mediadb/filefacts.h"
#include "mediadb/mediacatalog.h"
#include "platform/directory.h"
#include "platform/systemtext.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ostream>

namespace {

const char* statusOf(const MediaRecord& record) {
    if (IsMissing(record))
        return "missing";
    const auto attributes = static_cast<std::uint32_t>(record.attributes);
    if (attributes & platform::kAttrDirectory)
        return "folder";
    if (attributes & platform::kAttrReadOnly)
        return "locked";
    return "present";
}

// Text gathered in a buffer and handed to the stream in large pieces: a
// million records are a million lines.
class Chunked {
public:
    explicit Chunked(std::ostream& out) : m_out(out) { m_text.reserve(kPiece + 4096); }
    ~Chunked() { Flush(); }
    Chunked(const Chunked&) = delete;
    Chunked& operator=(const Chunked&) = delete;

    std::string& Text() { return m_text; }
    // Hands the text on once it is a piece's worth.
    void Next() {
        if (m_text.size() >= kPiece)
            Flush();
    }
    void Flush() {
        m_out.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
        m_text.clear();
    }

private:
    static constexpr std::size_t kPiece = 1 << 20;
    std::ostream& m_out;
    std::string m_text;
};

// A record's folder as written, made once for all the records in a row that
// share the folder's text.
class FolderText {
public:
    template <class Write> const std::string& Of(const MediaRecord& record, Write write) {
        if (!m_valid || !record.folder.shared().sharesWith(m_folder)) {
            m_folder = record.folder.shared();
            m_text.clear();
            write(m_text, record.folder.view());
            m_valid = true;
        }
        return m_text;
    }

private:
    SharedText m_folder;
    std::string m_text;
    bool m_valid = false;
};

void appendNumber(std::string& out, std::uint64_t n) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

// A number with up to `places` decimals, without trailing zeros.
void appendDecimal(std::string& out, double value, int places) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", places, value);
    std::string_view digits = text;
    if (digits.find('.') != std::string_view::npos) {
        while (digits.back() == '0')
            digits.remove_suffix(1);
        if (digits.back() == '.')
            digits.remove_suffix(1);
    }
    out += digits;
}

// An MXF file's essence as JSON members after its status: a picture's
// frames, frame rate and displayed size, or sound's channels, sample rate
// and seconds. Nothing for other files and files that cannot be read.
void appendEssence(std::string& line, const MediaRecord& record, FactsReader& reader) {
    if (IsMissing(record) || !IsMxfName(record.fileName.view()))
        return;
    const std::optional<FileFacts> facts = reader.Read(record, kFactEssence);
    reader.Close();
    if (!facts || facts->kind != FileFacts::Kind::Mxf)
        return;
    MediaRecord read;
    ApplyFacts(*facts, kFactEssence, read);
    if (IsSound(read)) {
        if (read.channels != 0) {
            line += ", \"channels\": ";
            appendNumber(line, read.channels);
        }
        line += ", \"sample_rate\": ";
        appendNumber(line, read.sampleRate);
        line += ", \"duration_seconds\": ";
        appendDecimal(line, DurationSeconds(read), 6);
        return;
    }
    if (read.rate != 0) {
        line += ", \"duration_frames\": ";
        appendNumber(line, read.duration);
        line += ", \"frame_rate\": ";
        line += RateText(read.rate);
    }
    if (read.width != 0) {
        line += ", \"width\": ";
        appendNumber(line, read.width);
        line += ", \"height\": ";
        appendNumber(line, read.height);
    }
}

void writeCsv(const MediaCatalog& catalog, std::ostream& out) {
    Chunked text(out);
    text.Text() += CsvLine({"project", "file", "folder", "size", "status"});
    FolderText folder;
    std::string project;
    for (const auto& [key, entry] : catalog.Projects()) {
        project.clear();
        AppendCsvField(project, entry.name);
        for (const auto& [name, record] : entry.files) {
            std::string& line = text.Text();
            line += project;
            line += ',';
            AppendCsvField(line, record.fileName);
            line += ',';
            line += folder.Of(record, AppendCsvField);
            line += ',';
            appendNumber(line, record.size);
            line += ',';
            line += statusOf(record);
            line += "\r\n";
            text.Next();
        }
    }
}

// A name as a JSON member, and when it is not UTF-8 its exact bytes beside
// it: the readable string has lost them to U+FFFD, and a script needs them to
// find the file.
void appendJsonName(std::string& text, const char* member, std::string_view name) {
    text += '"';
    text += member;
    text += "\": ";
    AppendJsonString(text, name);
    if (!IsUtf8(name)) {
        text.append(", \"").append(member).append("_bytes\": \"");
        text.append(Base64(name)).append("\"");
    }
}

std::string jsonName(const char* member, std::string_view name) {
    std::string text;
    appendJsonName(text, member, name);
    return text;
}

void writeJson(const MediaCatalog& catalog, const std::vector<DatabaseOutcome>& databases,
               std::ostream& out) {
    std::uint64_t missing = 0;
    std::uint64_t unreferenced = 0;
    out << "{\n  \"databases\": [";
    for (std::size_t i = 0; i < databases.size(); ++i) {
        out << (i == 0 ? "\n" : ",\n") << "    {" << jsonName("path", databases[i].path)
            << ", \"loaded\": " << (databases[i].error.empty() ? "true" : "false");
        if (!databases[i].error.empty())
            out << ", \"error\": " << JsonString(databases[i].error);
        out << "}";
    }
    out << "\n  ],\n  \"projects\": [";
    bool firstProject = true;
    FolderText folder;
    // MXF files are read for their essence; OMF files tell none cheaply.
    FactsReader reader;
    auto folderMember = [](std::string& text, std::string_view name) {
        appendJsonName(text, "folder", name);
    };
    for (const auto& [key, project] : catalog.Projects()) {
        std::uint64_t projectMissing = 0;
        for (const auto& [name, record] : project.files)
            projectMissing += IsMissing(record) ? 1 : 0;
        missing += projectMissing;
        if (project.name == kUnreferencedProject)
            unreferenced += project.files.size();
        out << (firstProject ? "\n" : ",\n") << "    {\"name\": " << JsonString(project.name)
            << ", \"bytes\": " << project.totalSize << ", \"files\": " << project.files.size()
            << ", \"missing\": " << projectMissing << ", \"media\": [";
        firstProject = false;
        bool firstFile = true;
        {
            Chunked text(out);
            for (const auto& [name, record] : project.files) {
                std::string& line = text.Text();
                line += firstFile ? "\n      {" : ",\n      {";
                appendJsonName(line, "file", record.fileName);
                line += ", ";
                line += folder.Of(record, folderMember);
                line += ", \"size\": ";
                appendNumber(line, record.size);
                line += ", \"status\": \"";
                line += statusOf(record);
                line += '"';
                appendEssence(line, record, reader);
                line += '}';
                firstFile = false;
                text.Next();
            }
        }
        out << (firstFile ? "]}" : "\n    ]}");
    }
    out << "\n  ],\n  \"totals\": {\"projects\": " << catalog.ProjectCount()
        << ", \"files\": " << catalog.FileCount() << ", \"bytes\": " << catalog.TotalSize()
        << ", \"unreferenced\": " << unreferenced << ", \"missing\": " << missing << "}\n}\n";
}

} // namespace

int RunReport(const ReportRequest& request, const std::vector<platform::Volume>& volumes,
              std::ostream& out, std::ostream& err, Progress* progress) {
    int exitCode = 0;
    std::vector<std::string> paths = request.databases;
    if (paths.empty()) {
        DatabaseList found;
        for (const SearchProblem& problem : found.Discover(volumes)) {
            err << "tolvane: " << TerminalText(problem.path) << ": " << problem.reason << "\n";
            exitCode = 1;
        }
        paths = found.CheckedPaths();
        if (paths.empty())
            err << "tolvane: no media databases found on the mounted volumes\n";
    }
    // A volume may stop answering after discovery, or hold a database named
    // on the command line.
    std::vector<SearchProblem> silent;
    paths = DatabasesThatAnswer(paths, volumes, silent);
    for (const SearchProblem& problem : silent) {
        err << "tolvane: " << TerminalText(problem.path) << ": " << problem.reason << "\n";
        exitCode = 1;
    }
    MediaCatalog catalog;
    const std::vector<DatabaseOutcome> databases =
        LoadDatabases(catalog, paths, !request.verify, progress);
    for (const DatabaseOutcome& database : databases) {
        if (!database.error.empty()) {
            err << "tolvane: " << TerminalText(database.path) << ": " << database.error << "\n";
            exitCode = 1;
        }
    }
    // A write that fails leaves its cause in errno; the stream keeps only
    // that it failed.
    errno = 0;
    if (request.format == ReportRequest::Format::Json)
        writeJson(catalog, databases, out);
    else
        writeCsv(catalog, out);
    out.flush();
    if (!out) {
        const int cause = errno;
        err << "tolvane: the report could not be written";
        if (cause != 0)
            err << ": " << platform::SystemErrorText(cause);
        err << "\n";
        return 3;
    }
    return exitCode;
}

TerminalProgress::~TerminalProgress() {
    if (m_shown)
        m_terminal << "\r\033[K" << std::flush;
}

void TerminalProgress::Step(std::uint64_t current, std::uint64_t total) {
    const int percent =
        total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(current, total) * 100 / total);
    if (percent == m_percent)
        return;
    m_percent = percent;
    Show();
}

void TerminalProgress::SetText(const std::string& text) {
    m_text = text;
    m_percent = -1;
    Show();
}

void TerminalProgress::Show() {
    m_terminal << "\r\033[K" << TerminalText(m_text);
    if (m_percent >= 0)
        m_terminal << " " << m_percent << "%";
    m_terminal << std::flush;
    m_shown = true;
}
