#include "mediadb/report.h"

#include "io/csv.h"
#include "mediadb/databaselist.h"
#include "mediadb/mediacatalog.h"
#include "platform/directory.h"
#include "platform/systemtext.h"

#include <algorithm>
#include <cerrno>
#include <ostream>

const char kCommandLineHelp[] =
    "Usage: tolvane [--report [--format csv|json] [--verify|--no-verify] [DATABASE ...]]\n"
    "\n"
    "Without options, Tolvane opens its windows.\n"
    "\n"
    "  --report       Load media databases (msmFMID.pmr) as \"Scan!\" does and print\n"
    "                 their media files, without windows or a display. Without\n"
    "                 DATABASE, every database in the \"OMFI MediaFiles\" and\n"
    "                 \"AVID MediaFiles\" folders of the mounted volumes is loaded.\n"
    "  --format csv   One line per media file: project,file,folder,size,status\n"
    "                 (RFC 4180, a header line first; size in bytes; status is\n"
    "                 present, missing, locked or folder). The default.\n"
    "  --format json  One document: the databases, the totals, and every project\n"
    "                 with its size, its file count, its missing files and its\n"
    "                 media files. A name that is not UTF-8 is shown with U+FFFD\n"
    "                 for its foreign bytes and given exactly, in base64, beside\n"
    "                 it: path_bytes, file_bytes, folder_bytes.\n"
    "  --verify       Leave out files the databases name but that do not exist\n"
    "                 (the default, as the Options menu).\n"
    "  --no-verify    List such files as missing.\n"
    "  --help, -h     Print this text.\n"
    "\n"
    "Progress goes to standard error when it is a terminal. Exit status: 0; 1 when\n"
    "a database or a media folder could not be read or a volume did not answer\n"
    "within 3 seconds (the rest is still reported; what and why is on standard\n"
    "error); 2 for a wrong command line; 3 when the report could not be written\n"
    "(a full disk).\n";

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    bool report = false;
    bool help = false;
    for (const std::string& a : arguments) {
        report = report || a == "--report";
        help = help || a == "--help" || a == "-h";
    }
    if (help) {
        line.mode = CommandLine::Mode::Help;
        return line;
    }
    if (!report)
        return line;
    line.mode = CommandLine::Mode::Report;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--report") {
            continue;
        } else if (a == "--format" || a.starts_with("--format=")) {
            std::string value;
            if (a == "--format") {
                if (i + 1 < arguments.size())
                    value = arguments[++i];
            } else {
                value = a.substr(9);
            }
            if (value == "csv") {
                line.request.format = ReportRequest::Format::Csv;
            } else if (value == "json") {
                line.request.format = ReportRequest::Format::Json;
            } else {
                line.mode = CommandLine::Mode::Error;
                line.error = "--format takes csv or json";
                return line;
            }
        } else if (a == "--verify") {
            line.request.verify = true;
        } else if (a == "--no-verify") {
            line.request.verify = false;
        } else if (a.starts_with("-") && a != "-") {
            line.mode = CommandLine::Mode::Error;
            line.error = "unknown option " + a;
            return line;
        } else {
            line.request.databases.push_back(a);
        }
    }
    return line;
}

namespace {

// Why a database or its folder could not be read, as the report says it.
std::string causeOf(const platform::OpenError& failure) {
    if (failure.systemCode == ETIMEDOUT)
        return "does not answer";
    if (!failure.reason.empty())
        return "cannot be read: " + failure.reason;
    if (failure.systemCode > 0)
        return "cannot be read: " + platform::SystemErrorText(failure.systemCode);
    return "cannot be read";
}

const char* statusOf(const MediaRecord& record) {
    if (record.attributes == -1)
        return "missing";
    const auto attributes = static_cast<std::uint32_t>(record.attributes);
    if (attributes & platform::kAttrDirectory)
        return "folder";
    if (attributes & platform::kAttrReadOnly)
        return "locked";
    return "present";
}

struct LoadedDatabase {
    std::string path;
    std::string error; // empty when it loaded
};

void writeCsv(const MediaCatalog& catalog, std::ostream& out) {
    out << CsvLine({"project", "file", "folder", "size", "status"});
    for (const auto& [key, project] : catalog.Projects()) {
        for (const auto& [name, record] : project.files) {
            out << CsvLine({project.name, record.fileName, record.folder,
                            std::to_string(record.size), statusOf(record)});
        }
    }
}

// A name as a JSON member, and when it is not UTF-8 its exact bytes beside
// it: the readable string has lost them to U+FFFD, and a script needs them to
// find the file.
std::string jsonName(const char* member, const std::string& name) {
    std::string text = "\"" + std::string(member) + "\": " + JsonString(name);
    if (!IsUtf8(name))
        text += ", \"" + std::string(member) + "_bytes\": \"" + Base64(name) + "\"";
    return text;
}

void writeJson(const MediaCatalog& catalog, const std::vector<LoadedDatabase>& databases,
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
            projectMissing += record.attributes == -1 ? 1 : 0;
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
    std::vector<LoadedDatabase> databases;
    for (const std::string& path : paths) {
        LoadedDatabase loaded{path, {}};
        switch (catalog.LoadDatabase(path, !request.verify, progress)) {
        case MediaCatalog::LoadResult::Loaded:
            break;
        case MediaCatalog::LoadResult::TooSmall:
            loaded.error = "too small to be a media database";
            break;
        case MediaCatalog::LoadResult::EmptyPath:
            loaded.error = "does not exist";
            break;
        case MediaCatalog::LoadResult::CannotOpen: {
            const platform::OpenError& failure = catalog.LoadFailure();
            if (failure.fileName != path)
                loaded.error = failure.systemCode > 0 ? "its folder " + causeOf(failure)
                                                      : "its folder's path is too long";
            else if (failure.systemCode == ENOENT || failure.systemCode == ENOTDIR)
                loaded.error = "does not exist";
            else
                loaded.error = causeOf(failure);
            break;
        }
        case MediaCatalog::LoadResult::Broken:
            loaded.error = "could not be read to its end: " + causeOf(catalog.LoadFailure());
            break;
        }
        if (!loaded.error.empty()) {
            err << "tolvane: " << TerminalText(path) << ": " << loaded.error << "\n";
            exitCode = 1;
        }
        databases.push_back(std::move(loaded));
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
        err << "tolvane: the report could not be written"
            << (cause != 0 ? ": " + platform::SystemErrorText(cause) : std::string()) << "\n";
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
