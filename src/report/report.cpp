#include "report/report.h"

#include "io/csv.h"
#include "mediadb/databaselist.h"
#include "mediadb/databaseload.h"
#include "mediadb/mediacatalog.h"
#include "platform/directory.h"
#include "platform/systemtext.h"

#include <algorithm>
#include <cerrno>
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

void writeCsv(const MediaCatalog& catalog, std::ostream& out) {
    out << CsvLine({"project", "file", "folder", "size", "status"});
    for (const auto& [key, project] : catalog.Projects()) {
        for (const auto& [name, record] : project.files) {
            out << CsvLine({project.name, record.fileName.str(), record.folder.str(),
                            std::to_string(record.size), statusOf(record)});
        }
    }
}

// A name as a JSON member, and when it is not UTF-8 its exact bytes beside
// it: the readable string has lost them to U+FFFD, and a script needs them to
// find the file.
std::string jsonName(const char* member, std::string_view name) {
    // Appended piece by piece: GCC 12 takes "..." + std::string at -O3 for
    // an overlapping copy.
    std::string text = "\"";
    text.append(member).append("\": ").append(JsonString(name));
    if (!IsUtf8(name))
        text.append(", \"").append(member).append("_bytes\": \"").append(Base64(name)).append("\"");
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
        for (const auto& [name, record] : project.files) {
            out << (firstFile ? "\n" : ",\n") << "      {" << jsonName("file", record.fileName)
                << ", " << jsonName("folder", record.folder) << ", \"size\": " << record.size
                << ", \"status\": \"" << statusOf(record) << "\"}";
            firstFile = false;
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
