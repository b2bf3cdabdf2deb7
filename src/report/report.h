#pragma once
// The catalog without windows: `tolvane --report` loads the media databases
// as SCAN! does and prints what they hold, for scripts and cron jobs.

#include "feedback/progress.h"
#include "platform/volumes.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct ReportRequest {
    enum class Format { Csv, Json };
    Format format = Format::Csv;
    // As the Options menu's "Verify database against existing files": on,
    // files that do not exist are left out; off, they are listed missing.
    bool verify = true;
    // None: every database found on the mounted volumes.
    std::vector<std::string> databases;
};

// Loads the databases into a catalog and writes the report to out: CSV, a
// line per media file (project, file, folder, size in bytes, status), or
// one JSON document (databases, totals, projects with their files). Without
// databases in the request, the volumes are searched for them. A database or
// media folder that cannot be read, and a volume that does not answer, is
// said on err and left out. Returns the exit code: 0; 1 when anything was
// left out so; 3 when out could not be written.
int RunReport(const ReportRequest& request, const std::vector<platform::Volume>& volumes,
              std::ostream& out, std::ostream& err, Progress* progress);

// Progress as one line on a terminal, rewritten in place and cleared at the
// end. Texts are names, shown with their control characters escaped.
class TerminalProgress final : public Progress {
public:
    explicit TerminalProgress(std::ostream& terminal) : m_terminal(terminal) {}
    ~TerminalProgress() override;
    void Step(std::uint64_t current, std::uint64_t total) override;
    void SetText(const std::string& text) override;

private:
    void Show();

    std::ostream& m_terminal;
    std::string m_text;
    int m_percent = -1;
    bool m_shown = false;
};
