#pragma once
// The debug console: a resizable top-level window holding the log's lines,
// oldest first, with "Clear" and "Hide" buttons. It is the program's only log.

#include "feedback/log.h"
#include "resources/dialogtemplate.h"
#include "widgets/templatedialog.h"

#include <cstddef>
#include <string>

class QListView;
class ConsoleLines;

class DebugConsole : public TemplateDialog, public LogSink {
    Q_OBJECT

public:
    static constexpr int kMaxLines = 65536;
    // Smallest outer size the user can drag the window to.
    static constexpr int kMinWidth = 200;
    static constexpr int kMinHeight = 100;

    DebugConsole();
    ~DebugConsole() override;

    // Creates the window from its template, hidden. False when it cannot be
    // created; the caller then switches logging off.
    bool Create(int templateId = res::IDD_CONSOLE);

    void WriteLine(std::string_view line) override;

    int LineCount() const;
    std::string Line(int index) const;

protected:
    void OnCommand(int id) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ScrollToEnd();
    void LayoutControls();
    void ApplyMinimumSize();

    ConsoleLines* m_lines = nullptr;
    QListView* m_list = nullptr;
    bool m_scrollPending = false;
};
