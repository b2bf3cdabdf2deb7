#include "report/commandline.h"

#include "io/journal.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

const char kCommandLineHelp[] =
    "Usage: tolvane [--report [--format csv|json] [--verify|--no-verify] [DATABASE ...]]\n"
    "       tolvane --history [--format csv|json] [--since DATE]\n"
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
    "  --history      Print the operation journal: every copy, move, delete, store\n"
    "                 and database deletion, oldest first, with its time (UTC),\n"
    "                 user, host, operation, source, target, bytes, result and\n"
    "                 message. CSV by default; --format json prints one array.\n"
    "  --since DATE   With --history: only what was done from DATE on\n"
    "                 (2026-12-01 or 2026-12-01T09:30, in UTC).\n"
    "  --help, -h     Print this text.\n"
    "\n"
    "Progress goes to standard error when it is a terminal. Exit status: 0; 1 when\n"
    "a database or a media folder could not be read or a volume did not answer\n"
    "within 3 seconds (the rest is still reported; what and why is on standard\n"
    "error); 2 for a wrong command line; 3 when the report could not be written\n"
    "(a full disk).\n";

namespace {

// Arguments go through the parser as Latin-1: every byte one character, so
// that a database path with bytes of any kind comes back exactly.
QString argumentText(const std::string& argument) {
    return QString::fromLatin1(argument.data(), static_cast<qsizetype>(argument.size()));
}

std::string argumentBytes(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Whether an argument is one of the report's options as the command line
// may write them: long options with two dashes, a value of --format also
// after "=". Anything else with a leading dash but "-" alone is refused
// before the parser sees it, which would take -verify and "--" too.
bool knownOption(const std::string& a) {
    return a == "--report" || a == "--verify" || a == "--no-verify" || a == "--format" ||
           a.starts_with("--format=");
}

bool knownHistoryOption(const std::string& a) {
    return a == "--history" || a == "--format" || a.starts_with("--format=") || a == "--since" ||
           a.starts_with("--since=");
}

// --history and its options, read by the same parser as the report's.
CommandLine parseHistory(const std::vector<std::string>& arguments) {
    CommandLine line;
    line.mode = CommandLine::Mode::Error;
    for (const std::string& a : arguments) {
        if (a == "--report") {
            line.error = "--history and --report do not go together";
            return line;
        }
        if (a.starts_with("-") && a != "-" && !knownHistoryOption(a)) {
            line.error = "unknown option " + a;
            return line;
        }
    }
    QCommandLineParser parser;
    const QCommandLineOption historyOption(QStringLiteral("history"));
    const QCommandLineOption formatOption(QStringLiteral("format"), QString(),
                                          QStringLiteral("csv|json"));
    const QCommandLineOption sinceOption(QStringLiteral("since"), QString(),
                                         QStringLiteral("date"));
    parser.addOptions({historyOption, formatOption, sinceOption});
    QStringList texts{QStringLiteral("tolvane")};
    for (const std::string& a : arguments)
        texts.append(argumentText(a));
    if (!parser.parse(texts)) {
        line.error = parser.errorText().toStdString();
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.error = "--history takes no paths";
        return line;
    }
    if (parser.isSet(formatOption)) {
        const QString value = parser.values(formatOption).last();
        if (value == QStringLiteral("json")) {
            line.history.format = HistoryRequest::Format::Json;
        } else if (value != QStringLiteral("csv")) {
            line.error = "--format takes csv or json";
            return line;
        }
    }
    if (parser.isSet(sinceOption)) {
        const std::string value = argumentBytes(parser.values(sinceOption).last());
        const std::optional<std::string> since = JournalSince(value);
        if (!since) {
            line.error = "--since takes a date: 2026-12-01 or 2026-12-01T09:30";
            return line;
        }
        line.history.since = *since;
    }
    line.mode = CommandLine::Mode::History;
    return line;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    bool report = false;
    bool history = false;
    bool help = false;
    for (const std::string& a : arguments) {
        report = report || a == "--report";
        history = history || a == "--history";
        help = help || a == "--help" || a == "-h";
    }
    if (help) {
        line.mode = CommandLine::Mode::Help;
        return line;
    }
    if (history)
        return parseHistory(arguments);
    // Without them the arguments are Qt's own (-platform offscreen, ...).
    if (!report)
        return line;

    for (const std::string& a : arguments) {
        if (a.starts_with("-") && a != "-" && !knownOption(a)) {
            line.mode = CommandLine::Mode::Error;
            line.error = "unknown option " + a;
            return line;
        }
    }
    QCommandLineParser parser;
    const QCommandLineOption reportOption(QStringLiteral("report"));
    const QCommandLineOption formatOption(QStringLiteral("format"), QString(),
                                          QStringLiteral("csv|json"));
    const QCommandLineOption verifyOption(QStringLiteral("verify"));
    const QCommandLineOption noVerifyOption(QStringLiteral("no-verify"));
    parser.addOptions({reportOption, formatOption, verifyOption, noVerifyOption});
    QStringList texts{QStringLiteral("tolvane")};
    for (const std::string& a : arguments)
        texts.append(argumentText(a));
    if (!parser.parse(texts)) {
        // Only --format can lack its value.
        line.mode = CommandLine::Mode::Error;
        line.error = "--format takes csv or json";
        return line;
    }
    line.mode = CommandLine::Mode::Report;
    // The last of --verify and --no-verify counts, as the last --format does.
    for (const QString& name : parser.optionNames()) {
        if (name == verifyOption.names().first())
            line.request.verify = true;
        else if (name == noVerifyOption.names().first())
            line.request.verify = false;
    }
    if (parser.isSet(formatOption)) {
        const QString value = parser.values(formatOption).last();
        if (value == QStringLiteral("csv")) {
            line.request.format = ReportRequest::Format::Csv;
        } else if (value == QStringLiteral("json")) {
            line.request.format = ReportRequest::Format::Json;
        } else {
            line.mode = CommandLine::Mode::Error;
            line.error = "--format takes csv or json";
            return line;
        }
    }
    for (const QString& database : parser.positionalArguments())
        line.request.databases.push_back(argumentBytes(database));
    return line;
}
