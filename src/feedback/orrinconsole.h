#pragma once
// The debug console: a resizable top-level window holding the log's lines,
// oldest first, with "Clear" and "Hide" buttons. It is the program's only log.

#include "feedback/templatedialog.h"
#include "resources/dialogtemplate.h"

#include <cstddef>
#include <string>

class QListView;
class ConsoleLines;

class OrrinConsole : public TemplateDialog {
    Q_OBJECT

public:
    static constexpr int kMaxLines = 65536;
    static constexpr std::size_t kLineBufferSize = 3072;
    // Lines formatted into m_line are cut at 1023 characters.
    static constexpr std::size_t kFormatLimit = 1024;
    // Smallest outer size the user can drag the window to.
    static constexpr int kMinWidth = 200;
    static constexpr int kMinHeight = 100;

    OrrinConsole();
    ~OrrinConsole() override;

    // Creates the window from its template, hidden. False when it cannot be
    // created; the caller then switches logging off.
    bool Create(int templateId = res::IDD_CONSOLE);

    void Log(const char* text);
    void Log(const std::string& text);
    // Writes m_line as one line, then clears it.
    void LogBuffer();
    void LogError(int code, const char* what);
    void LogResource(int id);

    int lineCount() const;
    std::string line(int index) const;

    // Composition buffer: format a line here, then call LogBuffer.
    char m_line[kLineBufferSize] = {};

protected:
    void OnCommand(int id) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void AppendLine(const char* text, bool insert);
    void ScrollToEnd();
    void LayoutControls();
    void ApplyMinimumSize();

    ConsoleLines* m_lines = nullptr;
    QListView* m_list = nullptr;
    bool m_scrollPending = false;
};
