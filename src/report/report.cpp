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
#include <future>
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

// One line of a report's listing: a project's opening, one of its media
// files, or its closing. A CSV report has media file lines only.
struct Line {
    enum class Kind : std::uint8_t { Opening, File, Closing };
    const ProjectRecord* project = nullptr;
    const MediaRecord* record = nullptr;
    Kind kind = Kind::File;
    // The project's place in the listing.
    std::uint32_t place = 0;
};

// Writes the text of lines [0, count) in order, made in pieces of lines by
// make(from, to, text) two pieces at a time, on two threads: a million
// lines are a million records to format.
template <class Make> void writePieces(std::size_t count, std::ostream& out, Make make) {
    constexpr std::size_t kPieceLines = 8192;
    std::string first;
    std::string second;
    for (std::size_t from = 0; from < count; from += 2 * kPieceLines) {
        const std::size_t middle = std::min(count, from + kPieceLines);
        const std::size_t to = std::min(count, middle + kPieceLines);
        second.clear();
        std::future<void> other;
        if (middle < to) {
            try {
                other = std::async(std::launch::async, [&] { make(middle, to, second); });
            } catch (const std::system_error&) {
                // No thread to spare: made after the first piece.
            }
        }
        first.clear();
        make(from, middle, first);
        if (other.valid())
            other.get();
        else if (middle < to)
            make(middle, to, second);
        out.write(first.data(), static_cast<std::streamsize>(first.size()));
        out.write(second.data(), static_cast<std::streamsize>(second.size()));
    }
}

void writeCsv(const MediaCatalog& catalog, std::ostream& out) {
    out << CsvLine({"project", "file", "folder", "size", "status"});
    std::vector<Line> lines;
    lines.reserve(catalog.FileCount());
    for (const auto& [key, entry] : catalog.Projects()) {
        for (const auto& [name, record] : entry.files)
            lines.push_back({&entry, &record, Line::Kind::File, 0});
    }
    writePieces(lines.size(), out, [&lines](std::size_t from, std::size_t to, std::string& text) {
        FolderText folder;
        const ProjectRecord* project = nullptr;
        std::string projectText;
        for (std::size_t i = from; i < to; ++i) {
            const MediaRecord& record = *lines[i].record;
            if (lines[i].project != project) {
                project = lines[i].project;
                projectText.clear();
                AppendCsvField(projectText, project->name);
            }
            text += projectText;
            text += ',';
            AppendCsvField(text, record.fileName);
            text += ',';
            text += folder.Of(record, AppendCsvField);
            text += ',';
            appendNumber(text, record.size);
            text += ',';
            text += statusOf(record);
            text += "\r\n";
        }
    });
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
    // Each project's missing files, known before its opening is written.
    std::vector<std::uint64_t> missingOf;
    std::vector<Line> lines;
    lines.reserve(catalog.FileCount() + 2 * catalog.ProjectCount());
    for (const auto& [key, project] : catalog.Projects()) {
        const auto place = static_cast<std::uint32_t>(missingOf.size());
        std::uint64_t projectMissing = 0;
        lines.push_back({&project, nullptr, Line::Kind::Opening, place});
        for (const auto& [name, record] : project.files) {
            projectMissing += IsMissing(record) ? 1 : 0;
            lines.push_back({&project, &record, Line::Kind::File, place});
        }
        lines.push_back({&project, nullptr, Line::Kind::Closing, place});
        missingOf.push_back(projectMissing);
        missing += projectMissing;
        if (project.name == kUnreferencedProject)
            unreferenced += project.files.size();
    }
    auto folderMember = [](std::string& text, std::string_view name) {
        appendJsonName(text, "folder", name);
    };
    writePieces(lines.size(), out, [&](std::size_t from, std::size_t to, std::string& text) {
        FolderText folder;
        // MXF files are read for their essence; OMF files tell none cheaply.
        FactsReader reader;
        for (std::size_t i = from; i < to; ++i) {
            const Line& line = lines[i];
            const ProjectRecord& project = *line.project;
            // Right after its project's opening is a project's first file,
            // or the closing of a project without files.
            const bool afterOpening = i > 0 && lines[i - 1].kind == Line::Kind::Opening;
            if (line.kind == Line::Kind::Opening) {
                text += line.place == 0 ? "\n" : ",\n";
                text += "    {\"name\": ";
                text += JsonString(project.name);
                text += ", \"bytes\": ";
                appendNumber(text, project.totalSize);
                text += ", \"files\": ";
                appendNumber(text, project.files.size());
                text += ", \"missing\": ";
                appendNumber(text, missingOf[line.place]);
                text += ", \"media\": [";
            } else if (line.kind == Line::Kind::Closing) {
                text += afterOpening ? "]}" : "\n    ]}";
            } else {
                const MediaRecord& record = *line.record;
                text += afterOpening ? "\n      {" : ",\n      {";
                appendJsonName(text, "file", record.fileName);
                text += ", ";
                text += folder.Of(record, folderMember);
                text += ", \"size\": ";
                appendNumber(text, record.size);
                text += ", \"status\": \"";
                text += statusOf(record);
                text += '"';
                appendEssence(text, record, reader);
                text += '}';
            }
        }
    });
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
