#pragma once
// What a long job needs of the window it runs for, and the loop every job
// walks its items with: a progress window, the cancel question between two
// items, the window greyed while it works and kept painted.

#include "feedback/cancel.h"
#include "feedback/progress.h"

#include <cstdint>
#include <memory>
#include <string>

class JobContext : public CancelCheck {
public:
    // Shows a progress window, with that caption unless it is empty; null
    // when none can be made.
    virtual std::unique_ptr<Progress> StartProgress(const std::string& caption) = 0;
    // Greys the load and scan commands while a job works, and back.
    virtual void SetBusy(bool busy) = 0;
    // Lets the window handle what is waiting for it between two items.
    virtual void HandleWaiting() = 0;
};

// One job's walk over its items. Made at the start of a job, it shows the
// progress window and, when the job keeps the window busy, greys it; its
// end undoes both, however the job ends.
class JobRun {
public:
    enum class Busy { No, Yes };

    JobRun(JobContext& context, const std::string& caption, Busy busy = Busy::Yes);
    ~JobRun();
    JobRun(const JobRun&) = delete;
    JobRun& operator=(const JobRun&) = delete;

    // Between two items: false when the user chose to cancel; else the
    // window handles what waits for it and the job goes on.
    bool Next();
    // Moves the progress window on.
    void Step(std::uint64_t done, std::uint64_t total);
    // The progress window, null when there is none.
    Progress* Window() const { return m_progress.get(); }

private:
    JobContext& m_context;
    std::unique_ptr<Progress> m_progress;
    bool m_busy;
};
