#include "feedback/jobcontext.h"

JobRun::JobRun(JobContext& context, const std::string& caption, Busy busy)
    : m_context(context), m_progress(context.StartProgress(caption)), m_busy(busy == Busy::Yes) {
    if (m_busy)
        m_context.SetBusy(true);
}

JobRun::~JobRun() {
    if (m_busy)
        m_context.SetBusy(false);
}

bool JobRun::Next() {
    if (m_context.CheckCancel())
        return false;
    m_context.HandleWaiting();
    return true;
}

void JobRun::Step(std::uint64_t done, std::uint64_t total) {
    if (m_progress != nullptr)
        m_progress->Step(done, total);
}
