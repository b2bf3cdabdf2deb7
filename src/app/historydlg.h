#pragma once
// File, "Operation History...": the operation journal newest first, one row
// an operation, with a find line over every column and an export of the rows
// shown as CSV.

#include "io/journaltable.h"
#include "widgets/templatedialog.h"

#include <functional>
#include <string>

class ListView;
class QLabel;
class QLineEdit;
class QTimer;

class HistoryDlg : public TemplateDialog {
    Q_OBJECT

public:
    // Saves CSV text where the user chooses.
    using Exporter = std::function<void(const std::function<std::string()>& csv)>;

    HistoryDlg(std::string journalPath, Exporter exporter, QWidget* parent = nullptr);

    // Builds the window and reads the journal; false when it cannot be made.
    bool Create();

    ListView& List() const;
    QLineEdit& FindLine() const;
    const JournalTable& Table() const { return m_table; }
    // Shows the rows the find line's text matches (the window does it a
    // moment after the last key).
    void ApplyFind();
    // The rows shown as CSV, as Export... saves them.
    std::string ShownCsv() const;
    void OnCommand(int id) override;

protected:
    QWidget* CreateControl(const res::ControlTemplate& control) override;

private:
    void ShowCount();

    std::string m_path;
    Exporter m_export;
    JournalTable m_table;
    JournalRead m_read;
    QTimer* m_findTimer = nullptr;
};
