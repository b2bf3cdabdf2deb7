#pragma once
// The small window every long operation shows while it works: a progress bar,
// the percentage, the time elapsed since the window was made and an estimate
// of the operation's whole duration. The operation runs on the user-interface
// thread, so the window keeps itself up to date from Step.

#include "feedback/progress.h"
#include "widgets/templatedialog.h"

#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class ProgressWindow : public TemplateDialog, public Progress {
    Q_OBJECT

public:
    using Clock = std::function<std::uint32_t()>;
    static constexpr int kTimerMs = 50;

    // The clock gives milliseconds; the process clock unless a test supplies one.
    explicit ProgressWindow(QWidget* owner, Clock clock = {});
    ~ProgressWindow() override;

    // Creates the window (hidden) and starts its timer; false on failure.
    bool Create(int templateId);
    // Makes, creates and (unless show is false) shows a progress window owned
    // by owner. When it cannot be created, logs "Error creating Progress
    // Window" and returns null: the operation then runs without one.
    static std::unique_ptr<ProgressWindow> Start(QWidget* owner, int templateId, bool show = true);

    void Step(std::uint64_t current, std::uint64_t total) override;
    void SetText(const std::string& text) override;
    // One tick of the 50 ms clock: the elapsed time and, after a Step, the
    // estimate.
    void OnTimer();

    // "%02u:%02u:%02u.%01u" of hours, minutes, seconds and tenths.
    static std::string FormatDuration(std::int32_t milliseconds);

    int RangeMaximum() const { return m_rangeMaximum; }
    int Shift() const { return m_shift; }
    std::uint32_t LastPosition() const { return m_lastPosition; }
    // How often a Step changed what the window shows.
    int DisplayUpdates() const { return m_displayUpdates; }
    QString ControlText(int id) const;

private:
    void SetControlText(int id, const std::string& text);

    Clock m_clock;
    std::uint64_t m_total = 0;
    std::uint64_t m_current = 0;
    std::int16_t m_rangeMaximum = 100;
    int m_shift = 0;
    std::uint32_t m_lastPosition = 0;
    bool m_estimateDue = true;
    std::uint32_t m_startTime = 0;
    std::uint32_t m_lastTick = 0;
    std::uint32_t m_elapsed = 0;
    std::uint32_t m_estimate = 0;
    int m_displayUpdates = 0;
    QTimer m_timer;
};
