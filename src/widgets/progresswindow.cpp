#include "widgets/progresswindow.h"

#include "feedback/log.h"
#include "platform/clock.h"
#include "platform/qtext.h"
#include "resources/dialogtemplate.h"

#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <cstdio>
#include <limits>

ProgressWindow::ProgressWindow(QWidget* owner, Clock clock)
    : TemplateDialog(owner),
      m_clock(clock ? std::move(clock) : Clock(platform::ProcessMilliseconds)) {
    m_startTime = m_clock();
    m_lastTick = m_startTime;
    connect(&m_timer, &QTimer::timeout, this, &ProgressWindow::OnTimer);
}

ProgressWindow::~ProgressWindow() {
    m_timer.stop();
}

bool ProgressWindow::Create(int templateId) {
    if (!CreateFromTemplate(templateId) ||
        ControlAs<QProgressBar>(res::IDC_PROGRESS_BAR) == nullptr)
        return false;
    for (int id :
         {res::IDC_PROGRESS_ELAPSED, res::IDC_PROGRESS_ESTIMATE, res::IDC_PROGRESS_PERCENT}) {
        if (ControlAs<QLabel>(id) == nullptr)
            return false;
    }
    setModal(false);
    auto* bar = ControlAs<QProgressBar>(res::IDC_PROGRESS_BAR);
    bar->setRange(0, 100);
    bar->setValue(0);
    m_total = 0;
    m_current = 0;
    m_shift = 0;
    m_lastPosition = 0;
    m_rangeMaximum = 100;
    m_estimateDue = true;
    m_timer.start(kTimerMs);
    return true;
}

std::unique_ptr<ProgressWindow> ProgressWindow::Start(QWidget* owner, int templateId, bool show) {
    auto window = std::make_unique<ProgressWindow>(owner);
    if (!window->Create(templateId)) {
        Log("Error creating Progress Window");
        return nullptr;
    }
    if (show)
        window->show();
    return window;
}

void ProgressWindow::Step(std::uint64_t current, std::uint64_t total) {
    m_current = current;
    m_estimateDue = true;
    if (total != m_total) {
        m_total = total;
        int shift = 0;
        while ((total >> shift) > 255)
            ++shift;
        m_shift = shift;
        m_rangeMaximum = static_cast<std::int16_t>(total >> shift);
        // A range of 0 to 0 would turn the bar into a busy indicator; an
        // empty total shows an empty bar.
        if (auto* bar = ControlAs<QProgressBar>(res::IDC_PROGRESS_BAR)) {
            bar->setRange(0, std::max<int>(m_rangeMaximum, 1));
            bar->setValue(std::min(bar->value(), bar->maximum()));
        }
    }
    const auto position = static_cast<std::uint32_t>(current >> m_shift);
    if (position == m_lastPosition)
        return;
    // A total of 0 after a larger one leaves no range to divide by.
    const int percent =
        m_rangeMaximum != 0 ? static_cast<std::int16_t>(position) * 100 / m_rangeMaximum : 0;
    SetControlText(res::IDC_PROGRESS_PERCENT, std::to_string(percent) + " %");
    // A position beyond the total stands the bar at its end (the bar would
    // ignore a value outside its range and stay where it was).
    if (auto* bar = ControlAs<QProgressBar>(res::IDC_PROGRESS_BAR))
        bar->setValue(m_rangeMaximum != 0
                          ? static_cast<int>(std::min<std::uint32_t>(
                                position, static_cast<std::uint32_t>(bar->maximum())))
                          : 0);
    // The operation keeps the event loop from running; the clock's tick that
    // is due is the one message the window handles before it is redrawn.
    if (m_timer.isActive() && m_clock() - m_lastTick >= static_cast<std::uint32_t>(kTimerMs))
        OnTimer();
    if (isVisible())
        repaint();
    m_lastPosition = position;
    ++m_displayUpdates;
}

void ProgressWindow::SetText(const std::string& text) {
    setWindowTitle(ToQt(text));
}

void ProgressWindow::OnTimer() {
    const std::uint32_t now = m_clock();
    m_lastTick = now;
    m_elapsed = now - m_startTime;
    SetControlText(res::IDC_PROGRESS_ELAPSED,
                   FormatDuration(static_cast<std::int32_t>(std::min<std::uint32_t>(
                       m_elapsed, std::numeric_limits<std::int32_t>::max()))));
    if (m_estimateDue) {
        double estimate = 0;
        if (m_current != 0)
            estimate = static_cast<double>(m_total) / static_cast<double>(m_current) *
                       static_cast<double>(m_elapsed);
        // Far beyond any real duration; also keeps the conversion defined.
        if (estimate > std::numeric_limits<std::int32_t>::max())
            estimate = std::numeric_limits<std::int32_t>::max();
        m_estimate = static_cast<std::uint32_t>(estimate);
        SetControlText(res::IDC_PROGRESS_ESTIMATE,
                       FormatDuration(static_cast<std::int32_t>(m_estimate)));
        m_estimateDue = false;
    }
}

std::string ProgressWindow::FormatDuration(std::int32_t t) {
    const std::int32_t hours = t / 3600000;
    const std::int32_t r = t % 3600000;
    const std::int32_t minutes = r / 60000;
    const std::int32_t s = r % 60000;
    const std::int32_t seconds = s / 1000;
    const std::int32_t tenths = (s % 1000) / 100;
    char text[100] = {};
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%01u", static_cast<unsigned>(hours),
                  static_cast<unsigned>(minutes), static_cast<unsigned>(seconds),
                  static_cast<unsigned>(tenths));
    return text;
}

QString ProgressWindow::ControlText(int id) const {
    const auto* label = ControlAs<QLabel>(id);
    return label != nullptr ? label->text() : QString();
}

void ProgressWindow::SetControlText(int id, const std::string& text) {
    if (auto* label = ControlAs<QLabel>(id))
        label->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}
