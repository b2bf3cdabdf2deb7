#pragma once
// The find bar over the media file list: a line for the text and a choice of
// status, built from its template as a part of the main window. It asks for
// a find once typing pauses, at once when the status changes or Enter is
// pressed, and to be closed on Escape; the main window does the rest.

#include "app/mediafilter.h"
#include "widgets/templatedialog.h"

#include <QTimer>

class QComboBox;
class QLineEdit;

class FindBar : public TemplateDialog {
    Q_OBJECT

public:
    // How long typing pauses before the rows are filtered: a find over a
    // million rows runs once for a word typed, not once for each letter.
    static constexpr int kPauseMilliseconds = 150;

    explicit FindBar(QWidget* parent);
    // Builds the bar from its template; false when it cannot be made.
    bool Create();

    FindRequest Request() const;
    QLineEdit& TextLine() const { return *m_text; }
    QComboBox& StatusChoice() const { return *m_status; }
    // Asks for the find of what is typed now, without waiting for a pause.
    void FindNow();

Q_SIGNALS:
    void findRequested(const FindRequest& request);
    void closeRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* m_text = nullptr;
    QComboBox* m_status = nullptr;
    QTimer m_pause;
};
