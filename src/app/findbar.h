#pragma once
// The find bar over the media file list: a line for the text and a choice of
// status, built from its template as a part of the main window. It asks for
// a find once typing pauses, at once when the status changes or Enter is
// pressed, and to be closed on Escape. Attached to the list, it takes the
// list's top when open and has the list's rows found.

#include "app/mediafilter.h"
#include "widgets/templatedialog.h"

#include <QTimer>

class CatalogLists;
class QComboBox;
class QLineEdit;

class FindBar : public TemplateDialog {
    Q_OBJECT

public:
    // How long typing pauses before the rows are filtered: a find over a
    // million rows runs once for a word typed, not once for each letter.
    static constexpr int kPauseMilliseconds = 150;

    explicit FindBar(QWidget* parent);
    // A hidden bar over list, attached to it, that closes on Escape; null
    // when it cannot be made.
    static FindBar* Over(QWidget* parent, QWidget* list, CatalogLists* lists);
    // Builds the bar from its template; false when it cannot be made.
    bool Create();

    FindRequest Request() const;
    QLineEdit& TextLine() const { return *m_text; }
    QComboBox& StatusChoice() const { return *m_status; }
    // Asks for the find of what is typed now, without waiting for a pause.
    void FindNow();

    // The list the bar opens over, whose rows lists finds.
    void Attach(QWidget* list, CatalogLists* lists);
    // Shows the bar over the top of the list, the list moved down below
    // it, and puts the focus in its text; what it still shows is found again.
    void Open();
    // Hides the bar, gives the list its place back and shows every row.
    void Close();
    // Follows the list's width.
    void FitToList();
    // While a job is at work its rows keep their numbers: a find asked for
    // meanwhile runs once it has ended.
    void SetBusy(bool busy);

Q_SIGNALS:
    void findRequested(const FindRequest& request);
    void closeRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Find(const FindRequest& request);

    QWidget* m_list = nullptr;
    CatalogLists* m_lists = nullptr;
    // How far the list moved down to make room for the bar.
    int m_shift = 0;
    bool m_busy = false;
    bool m_pending = false;
    QLineEdit* m_text = nullptr;
    QComboBox* m_status = nullptr;
    QTimer m_pause;
};
